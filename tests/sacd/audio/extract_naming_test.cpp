// The pipeline's pure parts: the track selection grammar, file and folder names, and the
// tuning switches read from the environment.
#include "sacd/audio/extract.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "i18n/i18n.h"
#include "platform/system.h"
#include "sacd/genre_table.h"
#include "tests/support/process.h"

using namespace sacd::audio;
using testsupport::ScopedEnv;

TEST(TrackSelection, Grammar) {
    struct Case {
        const char* text;
        std::size_t tracks;
        std::vector<std::uint8_t> selected;  // empty: refused with `message`
        const char* message;
    };
    const Case cases[] = {
        {"3", 10, {3}, ""},
        {"+2", 10, {2}, ""},
        {"3-3", 10, {3}, ""},
        {"2-5,3,7", 10, {2, 3, 4, 5, 7}, ""},
        {"7,2,7", 10, {2, 7}, ""},
        {" 1 , 2 - 3 ,\t9", 10, {1, 2, 3, 9}, ""},
        {"+1-+2", 10, {1, 2}, ""},
        {"1-255", 255, {}, ""},  // checked below: every number
        {"010", 10, {10}, ""},
        {"5-3", 10, {}, "incorrect track range: \"5-3\""},
        {"0-2", 10, {}, "incorrect track range: \"0-2\""},
        {"-3", 10, {}, "incorrect track range: \"-3\""},
        {"3-", 10, {}, "incorrect track range: \"3-\""},
        {"1-2-3", 10, {}, "incorrect track range: \"1-2-3\""},
        {"+-2", 10, {}, "incorrect track range: \"+-2\""},
        {"1 - x", 10, {}, "incorrect track range: \"1 - x\""},
        {"1-99999999999999999999", 10, {}, "incorrect track range: \"1-99999999999999999999\""},
        {"a", 10, {}, "incorrect track number: \"a\""},
        {"+", 10, {}, "incorrect track number: \"+\""},
        {"++1", 10, {}, "incorrect track number: \"++1\""},
        {"3 4", 10, {}, "incorrect track number: \"3 4\""},
        {"0x3", 10, {}, "incorrect track number: \"0x3\""},
        {"99999999999999999999", 10, {}, "incorrect track number: \"99999999999999999999\""},
        {"0", 10, {}, "track 0 out of range (tracks in area: 10)"},
        {"11", 10, {}, "track 11 out of range (tracks in area: 10)"},
        {"2-11", 10, {}, "track 11 out of range (tracks in area: 10)"},
        {"4294967297", 10, {}, "track 4294967297 out of range (tracks in area: 10)"},
        {"", 10, {}, "empty item in track selection: \"\""},
        {"1,,2", 10, {}, "empty item in track selection: \"1,,2\""},
        {"1, ", 10, {}, "empty item in track selection: \"1, \""},
        // The first failing item decides.
        {"11,x", 10, {}, "track 11 out of range (tracks in area: 10)"},
    };
    i18n::LANG = false;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        auto r = parse_track_selection(c.text, c.tracks);
        if (*c.message) {
            ASSERT_FALSE(r.ok());
            EXPECT_EQ(r.error(), c.message);
        } else if (std::string(c.text) == "1-255") {
            ASSERT_TRUE(r.ok()) << r.error();
            ASSERT_EQ(r->size(), 255u);
            EXPECT_EQ(r->front(), 1);
            EXPECT_EQ(r->back(), 255);
        } else {
            ASSERT_TRUE(r.ok()) << r.error();
            EXPECT_EQ(*r, c.selected);
        }
    }
    i18n::LANG = true;
    auto ru = parse_track_selection("5-3", 10);
    i18n::LANG = false;
    ASSERT_FALSE(ru.ok());
    EXPECT_EQ(ru.error(), "неверный диапазон треков: \"5-3\"");
}

TEST(Naming, SanitizeComponent) {
    const std::pair<const char*, const char*> cases[] = {
        {"Live at A/B: Vol?", "Live at A_B_ Vol_"},
        {"a\"b*c<d>e\\f|g", "a_b_c_d_e_f_g"},
        {"tab\there\x01\x1f", "tab_here__"},
        {"con.txt", "_con.txt"},
        {"CON", "_CON"},
        {"nul.tar.gz", "_nul.tar.gz"},
        {"Aux", "_Aux"},
        {"prn", "_prn"},
        {"COM0", "COM0"},
        {"COM1", "_COM1"},
        {"com9.dsf", "_com9.dsf"},
        {"Lpt9", "_Lpt9"},
        {"LPT10", "LPT10"},
        {"CONSOLE", "CONSOLE"},
        {"Icon", "Icon"},
        {"AUX...", "_AUX"},
        {"The End...", "The End"},
        {"trailing . . ", "trailing"},
        {"   ", "_"},
        {"...", "_"},
        {"", "_"},
        {" leading", " leading"},
        {"Tr\u00e4umerei \u6771", "Tr\u00e4umerei \u6771"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(sanitize_component(in), out) << in;
}

TEST(Naming, TrackFilename) {
    struct Case {
        std::uint32_t number, count;
        std::optional<std::string> title;
        const char* extension;
        const char* name;
    };
    const Case cases[] = {
        {7, 9, "Nocturne", "dsf", "07 - Nocturne.dsf"},
        {7, 120, "Nocturne", "dsf", "007 - Nocturne.dsf"},
        {7, 9, std::nullopt, "dff", "07 - Track.dff"},
        {7, 9, "", "dff", "07 - Track.dff"},
        {7, 9, " \t ", "dsf", "07 - Track.dsf"},
        {1, 99, "  A/B: C?  ", "dsf", "01 - A_B_ C_.dsf"},
        {1, 100, "x", "dff", "001 - x.dff"},
        {12, 12, "Con", "dsf", "12 - _Con.dsf"},
        {3, 5, "...", "dsf", "03 - _.dsf"},
        {255, 255, "Last", "dff", "255 - Last.dff"},
    };
    for (const Case& c : cases) EXPECT_EQ(track_filename(c.number, c.count, c.title, c.extension), c.name) << c.name;
}

TEST(Naming, AlbumFolder) {
    ExtractOptions options;
    options.output_folder = "/out";
    ExtractTags full;
    full.album = "  Harbour Lights ";
    full.artist = " The Velmora Quartet";
    full.year = 2024;
    ExtractTags no_artist = full;
    no_artist.artist = "  ";
    no_artist.year.reset();
    ExtractTags no_album = full;
    no_album.album = " ";

    struct Case {
        const char* name;
        std::optional<std::string> album_name;
        const ExtractTags* tags;
        const char* image;
        const char* folder;
    };
    const ExtractTags none;
    const Case cases[] = {
        {"given name wins, sanitised as given", "  My: Album  ", &full, "/x/disc.iso", "/out/  My_ Album"},
        {"blank given name ignored", "   ", &full, "/x/disc.iso", "/out/The Velmora Quartet - Harbour Lights (2024)"},
        {"artist, album and year", std::nullopt, &full, "/x/disc.iso", "/out/The Velmora Quartet - Harbour Lights (2024)"},
        {"blank artist, no year", std::nullopt, &no_artist, "/x/disc.iso", "/out/Harbour Lights"},
        {"blank album: the image name", std::nullopt, &no_album, "/x/My Disc.v2.iso", "/out/My Disc.v2"},
        {"image name sanitised", std::nullopt, &none, "/x/aux.iso", "/out/_aux"},
        {"image without extension", std::nullopt, &none, "/x/image", "/out/image"},
        {"image named ..", std::nullopt, &none, "..", "/out/disc"},
        {"image name not UTF-8", std::nullopt, &none, "/x/\xff\xfe.iso", "/out/disc"},
        {"image name with a lone surrogate", std::nullopt, &none, "/x/a\xed\xa0\x80.iso", "/out/disc"},
        {"image name with an overlong form", std::nullopt, &none, "/x/\xc0\xaf.iso", "/out/disc"},
        {"image name beyond U+10FFFF", std::nullopt, &none, "/x/\xf4\x90\x80\x80.iso", "/out/disc"},
        {"image name outside the BMP", std::nullopt, &none, "/x/\xf0\x9f\x8e\xb5.iso", "/out/\xf0\x9f\x8e\xb5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        options.album_name = c.album_name;
        EXPECT_EQ(album_folder(options, *c.tags, c.image).string(), c.folder);
    }
    ExtractTags slash = full;
    slash.album = "A/B";
    slash.artist.reset();
    slash.year.reset();
    options.album_name.reset();
    EXPECT_EQ(album_folder(options, slash, "/x/disc.iso").string(), "/out/A_B");
}

TEST(Naming, PartialPath) {
    EXPECT_EQ(partial_path("/out/01 - A.b.dsf").string(), "/out/01 - A.b.dsf.partial");
}

TEST(TuningSwitches, DecodeThreadsAndKnobs) {
    const std::size_t processors = std::max<std::size_t>(1, platform::logical_processor_count());
    struct Case {
        const char* value;  // nullptr: unset
        std::size_t threads;
    };
    const Case cases[] = {{"0", 1},     {"+4", 4},         {"4", 4},           {"256", 256}, {"257", 256},
                          {"4x", processors}, {"", processors}, {"+", processors}, {" 4", processors},
                          {"-4", processors}, {"99999999999999999999999", processors}, {nullptr, processors}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value ? c.value : "(unset)");
        ScopedEnv env("SACD_DECODE_THREADS", c.value);
        EXPECT_EQ(decode_threads(), c.threads);
    }
    {
        ScopedEnv env("SACD_CHUNK_MIB", "5000");
        EXPECT_EQ(env_usize_knob("SACD_CHUNK_MIB", 1024), 1024u);
    }
    {
        ScopedEnv env("SACD_CHUNK_MIB", "0");
        EXPECT_EQ(env_usize_knob("SACD_CHUNK_MIB", 1024), 1u);
    }
    {
        ScopedEnv env("SACD_CHUNK_MIB", nullptr);
        EXPECT_EQ(env_usize_knob("SACD_CHUNK_MIB", 1024), std::nullopt);
    }
    {
        ScopedEnv env("SACD_EXTRACT_TIMINGS", "");  // present, whatever its value
        EXPECT_TRUE(extract_timings_on());
    }
    {
        ScopedEnv env("SACD_EXTRACT_TIMINGS", nullptr);
        EXPECT_FALSE(extract_timings_on());
    }
}

namespace {

using sacd::describe::DiscDescription;
using sacd::describe::GenreRef;
using sacd::describe::MasterTextDescription;

sacd::MasterToc master_toc(std::uint16_t set_size, std::uint16_t sequence, std::uint16_t year) {
    sacd::MasterToc toc;
    toc.album_set_size = set_size;
    toc.album_sequence_number = sequence;
    toc.disc_date_year = year;
    return toc;
}

}  // namespace

TEST(ExtractTags, AlbumArtistFallsBackInOrder) {
    using T = std::optional<std::string>;
    struct Case {
        T album_artist, album_phonetic, disc_artist, disc_phonetic;
        std::uint16_t set_size;  // 0: no typed Master TOC
        T artist;
    };
    const Case cases[] = {
        {"A", "Ap", "D", "Dp", 1, "A"},
        {"", "Ap", "D", "Dp", 1, "Ap"},
        {std::nullopt, "", "D", "Dp", 1, "D"},
        {std::nullopt, std::nullopt, "", "Dp", 1, "Dp"},
        {std::nullopt, std::nullopt, std::nullopt, std::nullopt, 1, std::nullopt},
        // In a set of discs, the disc's artist does not speak for the album.
        {std::nullopt, std::nullopt, "D", "Dp", 2, std::nullopt},
        {"A", std::nullopt, "D", std::nullopt, 2, "A"},
        {std::nullopt, std::nullopt, "D", std::nullopt, 0, "D"},
    };
    for (const Case& c : cases) {
        DiscDescription d;
        MasterTextDescription mt;
        mt.album_artist = c.album_artist;
        mt.album_artist_phonetic = c.album_phonetic;
        mt.disc_artist = c.disc_artist;
        mt.disc_artist_phonetic = c.disc_phonetic;
        d.master_text.push_back(mt);
        const sacd::MasterToc toc = master_toc(c.set_size, 1, 0);
        const ExtractTags tags = ExtractTags::build(d, c.set_size ? &toc : nullptr);
        EXPECT_EQ(tags.artist, c.artist) << c.album_artist.value_or("-") << "/" << c.album_phonetic.value_or("-") << "/"
                                         << c.disc_artist.value_or("-") << "/" << int(c.set_size);
    }
}

TEST(ExtractTags, AlbumValuesAndTracksByArea) {
    DiscDescription d;
    MasterTextDescription other, main;
    other.locale = 1;
    other.album_title = "Andere";
    main.locale = 0;
    main.album_title = "Harbour Lights";
    main.album_publisher = "";
    main.album_copyright = "(c) 2024";
    d.master_text = {other, main};
    d.album_catalog = "";
    d.disc_catalog = "VLM-0001";
    d.album_genre = {GenreRef{1, 0}, GenreRef{2, 5}};  // neither has a name in the general table
    d.disc_genre = {GenreRef{0, 0}, GenreRef{1, 14}};
    // The description of a disc whose first area is not typed lists only the second one.
    sacd::describe::AreaDescription area;
    area.index = 1;
    sacd::describe::TrackDescription track;
    track.title = "Tide Chart";
    track.performer = "";
    track.isrc = "NLA124001001";
    area.tracks = {track};
    d.areas = {area};

    const sacd::MasterToc toc = master_toc(3, 2, 0);
    const ExtractTags tags = ExtractTags::build(d, &toc);
    EXPECT_EQ(tags.album, "Harbour Lights");
    EXPECT_EQ(tags.publisher, std::nullopt);
    EXPECT_EQ(tags.copyright, "(c) 2024");
    EXPECT_EQ(tags.catalog, "VLM-0001");
    EXPECT_EQ(tags.genre, sacd::genre_ref_name(1, 14).value());
    EXPECT_EQ(tags.year, std::nullopt);  // year 0 is unknown
    EXPECT_EQ(tags.disc_number, 2);
    EXPECT_EQ(tags.disc_total, 3);
    ASSERT_EQ(tags.tracks.size(), 2u);
    EXPECT_TRUE(tags.tracks[0].empty());
    ASSERT_EQ(tags.tracks[1].size(), 1u);
    EXPECT_EQ(tags.tracks[1][0].title, "Tide Chart");
    EXPECT_EQ(tags.tracks[1][0].performer, std::nullopt);
    EXPECT_EQ(tags.tracks[1][0].isrc, "NLA124001001");

    // No locale-0 record: the first one; no description at all: only the Master TOC's values.
    d.master_text = {other};
    EXPECT_EQ(ExtractTags::build(d, &toc).album, "Andere");
    const sacd::MasterToc dated = master_toc(1, 1, 2024);
    const ExtractTags bare = ExtractTags::build(std::nullopt, &dated);
    EXPECT_EQ(bare.album, std::nullopt);
    EXPECT_EQ(bare.year, 2024);
    EXPECT_TRUE(bare.tracks.empty());
}
