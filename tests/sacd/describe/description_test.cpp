#include "sacd/describe/description.h"

#include <gtest/gtest.h>

#include "tests/sacd/describe/disc_fixture.h"

using namespace sacd;
using namespace sacd::describe;
using namespace describe_fixture;

namespace {

CatalogNumber catalog(std::initializer_list<std::uint8_t> bytes) {
    CatalogNumber c{};
    std::size_t i = 0;
    for (auto b : bytes) c[i++] = b;
    return c;
}

CatalogNumber catalog_text(std::string_view text, std::uint8_t fill) {
    CatalogNumber c;
    c.fill(fill);
    std::memcpy(c.data(), text.data(), text.size());
    return c;
}

// Places raw bytes in a Master Text heap and points a field at them, for texts the writer would
// refuse to store.
void set_raw_field(MasterText& text, MasterField field, std::uint16_t position, Bytes bytes) {
    text.positions[master_field_index(field)] = position;
    std::copy(bytes.begin(), bytes.end(), text.data.begin() + (position - MasterText::kDataOffset));
}

}  // namespace

TEST(TrimCatalog, TrailingSpacesAndZerosOnly) {
    struct Case {
        CatalogNumber field;
        std::optional<std::string> want;
    };
    const Case cases[] = {
        {catalog_text("ABC-123", ' '), "ABC-123"},
        {catalog({}), std::nullopt},
        {catalog_text("", ' '), std::nullopt},
        {catalog({' ', ' ', 'X'}), "  X"},
        {catalog_text("A B", 0), "A B"},
        {catalog({'N', 0xC3, 0x9C}), "N\xC3\x9C"},  // valid UTF-8 stays as it is
        {catalog({'N', 0xE9, ' '}), "N\xC3\xA9"},   // otherwise each byte is a Latin-1 character
        {catalog({0xE0, 0x80, 0x80}), "\xC3\xA0\xC2\x80\xC2\x80"},  // an overlong form is not UTF-8
    };
    for (const auto& c : cases) EXPECT_EQ(trim_catalog_opt(c.field), c.want);
}

TEST(GenreRefs, OnlyValidSetsGiveTheirUsedCodes) {
    struct Case {
        Genre4 codes;
        std::vector<GenreRef> want;
    };
    const Case cases[] = {
        {{GenreCode{1, 0, 14}, {}, {}, {}}, {{1, 14}}},
        {{GenreCode{1, 0, 14}, GenreCode{1, 0, 3}, {}, {}}, {{1, 14}, {1, 3}}},
        {{GenreCode{1, 0, 14}, {}, GenreCode{1, 0, 3}, {}}, {}},  // not packed
        {{GenreCode{1, 1, 14}, {}, {}, {}}, {}},                  // reserved byte set
        {{GenreCode{0, 0, 5}, {}, {}, {}}, {}},                   // index without a table
        {{GenreCode{7, 0, 2}, {}, {}, {}}, {{7, 2}}},             // unknown tables are kept
        {{}, {}},
    };
    for (const auto& c : cases) EXPECT_EQ(genre_refs(c.codes), c.want);
}

TEST(FromDisc, DiscLevelFields) {
    MasterToc toc = master_toc();
    toc.spec_version_minor = 2;
    toc.album_set_size = 3;
    toc.album_sequence_number = 2;
    toc.album_catalog_number = catalog_text("ABC-123", ' ');
    toc.album_genre = {GenreCode{1, 0, 14}, {}, {}, {}};
    toc.disc_genre = {GenreCode{1, 0, 14}, {}, GenreCode{1, 0, 3}, {}};
    toc.disc_date_year = 2005;
    toc.disc_date_month = 3;
    toc.disc_date_day = 7;
    toc.disc_flags = 0x81;
    const std::string link = "http://velmora.example/caf\xE9";
    std::copy(link.begin(), link.end(), toc.disc_weblink.begin());
    toc.extension_area_pointer = 9;
    toc.ekb2_pointer = 1;

    auto d = DiscDescription::from_disc(disc(toc));
    ASSERT_TRUE(d);
    EXPECT_EQ(d->spec_version, "1.02");
    EXPECT_EQ(d->set_size, 3);
    EXPECT_EQ(d->set_sequence, 2);
    EXPECT_EQ(d->album_catalog, "ABC-123");
    EXPECT_EQ(d->disc_catalog, std::nullopt);
    EXPECT_EQ(d->album_genre, (std::vector<GenreRef>{{1, 14}}));
    EXPECT_TRUE(d->disc_genre.empty());
    EXPECT_EQ(d->date, "2005-03-07");
    EXPECT_TRUE(d->hybrid);
    EXPECT_EQ(d->weblink, "http://velmora.example/caf\xC3\xA9");
    EXPECT_TRUE(d->has_extension_area);
    EXPECT_FALSE(d->has_ekb1);
    EXPECT_TRUE(d->has_ekb2);
    EXPECT_FALSE(d->has_revocation_data);
    EXPECT_TRUE(d->locales.empty());
    EXPECT_TRUE(d->master_text.empty());
    EXPECT_TRUE(d->areas.empty());

    toc.spec_version_minor = 20;
    toc.disc_flags = 0x7F;
    toc.disc_weblink.fill(0);
    toc.extension_area_pointer = 0;
    toc.extension_area_word = 1;
    d = DiscDescription::from_disc(disc(toc));
    ASSERT_TRUE(d);
    EXPECT_EQ(d->spec_version, "1.20");
    EXPECT_FALSE(d->hybrid);
    EXPECT_EQ(d->weblink, std::nullopt);
    EXPECT_TRUE(d->has_extension_area);
}

TEST(FromDisc, DateIsPrintedUnlessAllZero) {
    struct Case {
        std::uint16_t y;
        std::uint8_t m, day;
        std::optional<std::string> want;
    };
    const Case cases[] = {{2005, 3, 7, "2005-03-07"}, {0, 0, 0, std::nullopt}, {0, 5, 0, "0000-05-00"},
                          {12345, 13, 99, "12345-13-99"}};
    for (const auto& c : cases) {
        MasterToc toc = master_toc();
        toc.disc_date_year = c.y;
        toc.disc_date_month = c.m;
        toc.disc_date_day = c.day;
        EXPECT_EQ(DiscDescription::from_disc(disc(toc))->date, c.want);
    }
}

TEST(FromDisc, NothingWithoutTheTypedMasterTocAtLsn510) {
    MasterToc toc = master_toc();
    Disc d = disc(toc);
    d.regions[1] = Region::untyped(lsn_offset(kMasterTocLsn), kSectorSize, RangeKind::MasterToc);
    EXPECT_FALSE(DiscDescription::from_disc(d));
    EXPECT_FALSE(editable_meta(d));

    // Regions that step over LSN 510 instead of starting a region there.
    d = disc(toc);
    d.regions[0] = Region::untyped(0, lsn_offset(kMasterTocLsn) + 1, RangeKind::PreMaster);
    EXPECT_FALSE(DiscDescription::from_disc(d));

    d = disc(toc);
    d.regions.resize(1);
    EXPECT_FALSE(DiscDescription::from_disc(d));
}

TEST(FromDisc, LocalesAndMasterText) {
    MasterToc toc = master_toc({channel("en", 2), channel("e?", 2), channel("fr", 9), channel("ja", 3)});
    toc.text_channels[9 + 4] = 0x00;  // channel 1's language: 'e', 0x00
    toc.text_channels[8 + 12] = 0x7F;

    MasterText en = master_text({{MasterField::AlbumTitle, "Caf\xC3\xA9 Noir"},
                                 {MasterField::AlbumArtist, "Marbleweir"},
                                 {MasterField::DiscTitlePhonetic, "Kafe"}});
    set_raw_field(en, MasterField::DiscCopyright, 2040, {0, 0});  // an empty text
    MasterText second = master_text({{MasterField::AlbumTitle, "Second"}});
    MasterText reserved = master_text({{MasterField::AlbumTitle, "Hidden"}});
    MasterText ja = master_text({{MasterField::AlbumTitle, "\xE6\x97\xA5\xE6\x9C\xAC"}}, CharSet::Value::RisShiftJis);
    set_raw_field(ja, MasterField::AlbumArtist, 2000, {0x82, 0x00, 0x00, 0x00});  // a lead byte alone

    auto d = DiscDescription::from_disc(disc(toc, {en, second, reserved, ja}));
    ASSERT_TRUE(d);
    ASSERT_EQ(d->locales.size(), 4u);
    const LocaleDescription want_locales[] = {
        {0, "en", "Iso8859_1"}, {1, "e?", "Iso8859_1"}, {2, "fr", "Reserved"}, {3, "?a", "RisShiftJis"}};
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(d->locales[i], want_locales[i]);

    // The channel with code 9 has no record; the lossy Shift_JIS field is absent.
    ASSERT_EQ(d->master_text.size(), 3u);
    EXPECT_EQ(d->master_text[0].locale, 0);
    EXPECT_EQ(d->master_text[0].album_title, "Caf\xC3\xA9 Noir");
    EXPECT_EQ(d->master_text[0].album_artist, "Marbleweir");
    EXPECT_EQ(d->master_text[0].disc_title_phonetic, "Kafe");
    EXPECT_EQ(d->master_text[0].disc_copyright, std::nullopt);
    EXPECT_EQ(d->master_text[0].album_publisher, std::nullopt);
    EXPECT_EQ(d->master_text[1].locale, 1);
    EXPECT_EQ(d->master_text[2].locale, 3);
    EXPECT_EQ(d->master_text[2].album_title, "\xE6\x97\xA5\xE6\x9C\xAC");
    EXPECT_EQ(d->master_text[2].album_artist, std::nullopt);
}

TEST(FromDisc, AtMostEightChannelsAreListed) {
    MasterToc toc = master_toc();
    toc.text_channels[0] = 9;
    for (std::size_t i = 0; i < 8; ++i) {
        toc.text_channels[8 + 4 * i] = 'e';
        toc.text_channels[9 + 4 * i] = 'n';
        toc.text_channels[10 + 4 * i] = 1;
    }
    auto d = DiscDescription::from_disc(disc(toc));
    ASSERT_TRUE(d);
    EXPECT_EQ(d->locales.size(), 8u);
}

TEST(FromDisc, AreaFields) {
    struct Case {
        std::uint8_t speaker_setup;
        const char* kind;
        const char* config;
        std::uint8_t extra;
    };
    const Case cases[] = {
        {0, "Stereo", "Stereo", 0},           {3, "MultiChannel", "FiveChannel", 0},
        {4, "MultiChannel", "FivePointOne", 0}, {1, "MultiChannel", "Reserved", 0},
        {2, "MultiChannel", "Reserved", 0},   {0xA3, "MultiChannel", "FiveChannel", 5},
        {0x20, "Stereo", "Stereo", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.speaker_setup));
        AreaToc toc = area_toc(0);
        toc.speaker_setup = c.speaker_setup;
        auto d = DiscDescription::from_disc(disc(master_toc(), {}, {disc_area({toc})}));
        ASSERT_TRUE(d);
        ASSERT_EQ(d->areas.size(), 1u);
        EXPECT_EQ(d->areas[0].kind, c.kind);
        EXPECT_EQ(d->areas[0].loudspeaker_config, c.config);
        EXPECT_EQ(d->areas[0].extra_setting, c.extra);
    }

    AreaToc toc = area_toc(0);
    toc.channel_count = 6;
    toc.max_available_channels = 5;
    toc.frame_format = 0x10;
    toc.area_mute_flags = 0x49;  // AMF1 and AMF4, plus a kept bit
    toc.track_attribute = 0x85;
    toc.track_offset = 2;
    toc.first_bonus_track_number = 7;
    toc.total_area_play_time = TimeCode{45, 12, 34};
    toc.audio_lsn_start = 1000;
    toc.audio_lsn_end = 999;
    set_area_channels(toc, {channel("en", 2), channel("de", 2)});
    set_area_text(toc, 0, 0, 100, "Stereo mix");
    set_area_text(toc, 1, 1, 200, "(C) Velmora");

    // The first area has no typed Area TOC: it is left out and the second keeps its index.
    AreaParts untyped{area_toc(0)};
    untyped.typed_toc = false;
    auto d = DiscDescription::from_disc(disc(master_toc(), {}, {disc_area(untyped), disc_area({toc}, 3000)}));
    ASSERT_TRUE(d);
    ASSERT_EQ(d->areas.size(), 1u);
    const AreaDescription& a = d->areas[0];
    EXPECT_EQ(a.index, 1u);
    EXPECT_EQ(a.channel_count, 6);
    EXPECT_EQ(a.max_available_channels, 5);
    EXPECT_EQ(a.frame_format, 0);
    EXPECT_TRUE(a.dst_coded);
    EXPECT_EQ(a.track_offset, 2);
    EXPECT_EQ(a.first_bonus_track_number, 7);
    EXPECT_EQ(a.area_mute_flags, (std::array<bool, 4>{true, false, false, true}));
    EXPECT_EQ(a.track_attribute, 5);
    EXPECT_EQ(a.total_area_play_time, "45:12:34");
    EXPECT_EQ(a.total_area_play_time_frames, 203434u);
    EXPECT_EQ(a.audio_sectors, 1u);
    ASSERT_EQ(a.area_text.size(), 2u);
    EXPECT_EQ(a.area_text[0].description, "Stereo mix");
    EXPECT_EQ(a.area_text[1].copyright, "(C) Velmora");
    EXPECT_TRUE(a.track_weblinks.empty());
    EXPECT_TRUE(a.playlists.empty());
    EXPECT_TRUE(a.tracks.empty());

    toc.total_area_play_time = TimeCode::none();
    toc.audio_lsn_start = 0;
    toc.audio_lsn_end = 0xFFFFFFFF;
    d = DiscDescription::from_disc(disc(master_toc(), {}, {disc_area({toc})}));
    EXPECT_EQ(d->areas[0].total_area_play_time, "--:--:--");
    EXPECT_EQ(d->areas[0].total_area_play_time_frames, 0u);
    EXPECT_EQ(d->areas[0].audio_sectors, 0xFFFFFFFFu);
}

TEST(FromDisc, TracksFromTheListsAndTheTextChannels) {
    AreaToc toc = area_toc(3);
    set_area_channels(toc, {channel("en", 2), channel("ja", 3)});
    const Bytes overture_sjis = {0x8F, 0x98, 0x8B, 0xC8};  // "序曲" in Shift_JIS
    AreaParts p{toc};
    p.text = track_text({CharSet::Value::Iso8859_1, CharSet::Value::RisShiftJis}, 3,
                        {{{item(TrackField::Title, ascii("Intro")), item(TrackField::Performer, ascii("Quillory")),
                           item(TrackField::CopyrightPhonetic, ascii("Kopi"))},
                          {},
                          {item(TrackField::Title, ascii("Coda"))}},
                         {{item(TrackField::Title, overture_sjis)},
                          {item(TrackField::Title, overture_sjis)},
                          {item(TrackField::Title, Bytes{0x82})}}});
    p.trl1 = Trl1::make({1000, 1500, 1900}, {500, 400, 100});
    p.trl2 = Trl2::make({time_entry(0, 2, 0, 0xA0), time_entry(4, 0, 0), Trl2Entry{TimeCode::none(), 0}},
                        {time_entry(3, 57, 30, 0xC8), time_entry(1, 0, 0), time_entry(0, 10, 0)});
    IsrcGenreList igl = IsrcGenreList::make(3);
    igl.isrcs = {isrc("GBF080500201"), isrc("gbf080500201"), IsrcCode{}};
    igl.genres = {GenreCode{1, 0, 14}, GenreCode{}, GenreCode{0, 0, 5}};
    p.igl = igl;

    auto d = DiscDescription::from_disc(disc(master_toc(), {}, {disc_area(p)}));
    ASSERT_TRUE(d);
    ASSERT_EQ(d->areas.size(), 1u);
    const auto& tracks = d->areas[0].tracks;
    ASSERT_EQ(tracks.size(), 3u);

    const TrackDescription& t0 = tracks[0];
    EXPECT_EQ(t0.index, 1u);
    EXPECT_EQ(t0.title, "Intro");
    EXPECT_EQ(t0.performer, "Quillory");
    EXPECT_EQ(t0.copyright_phonetic, "Kopi");
    EXPECT_EQ(t0.composer, std::nullopt);
    ASSERT_EQ(t0.text_by_locale.size(), 2u);
    EXPECT_EQ(t0.text_by_locale[0].locale, 0);
    EXPECT_EQ(t0.text_by_locale[0].composer, "");
    EXPECT_EQ(t0.text_by_locale[1].locale, 1);
    EXPECT_EQ(t0.text_by_locale[1].title, "\xE5\xBA\x8F\xE6\x9B\xB2");
    EXPECT_EQ(t0.start_time, "00:02:00");
    EXPECT_EQ(t0.duration, "03:57:30");
    EXPECT_EQ(t0.start_frames, 150u);
    EXPECT_EQ(t0.duration_frames, 3 * 4500u + 57 * 75 + 30);
    EXPECT_EQ(t0.pause_frames, 150u);
    EXPECT_EQ(t0.lsn_start, 1000u);
    EXPECT_EQ(t0.lsn_length, 500u);
    EXPECT_EQ(t0.isrc, "GBF080500201");
    ASSERT_TRUE(t0.isrc_components);
    EXPECT_EQ(*t0.isrc_components, (IsrcComponents{"GB", "F08", "05", "00201"}));
    EXPECT_EQ(t0.genre, (GenreRef{1, 14}));
    EXPECT_FALSE(t0.dst_coded);
    EXPECT_TRUE(t0.index_list_present);
    EXPECT_EQ(t0.track_mute_flags, (std::array<bool, 4>{true, false, false, true}));
    EXPECT_EQ(t0.extra_use, 5);

    // The first channel's empty slot leaves every text absent; the other channel still counts.
    const TrackDescription& t1 = tracks[1];
    EXPECT_EQ(t1.title, std::nullopt);
    EXPECT_EQ(t1.text_by_locale[1].title, "\xE5\xBA\x8F\xE6\x9B\xB2");
    EXPECT_EQ(t1.pause_frames, 45u);
    EXPECT_EQ(t1.isrc, std::nullopt);
    EXPECT_FALSE(t1.isrc_components);
    EXPECT_FALSE(t1.genre);
    EXPECT_FALSE(t1.index_list_present);

    // A lossy decoding is the empty text; a genre with only an index still counts as set.
    const TrackDescription& t2 = tracks[2];
    EXPECT_EQ(t2.title, "Coda");
    EXPECT_EQ(t2.text_by_locale[1].title, "");
    EXPECT_EQ(t2.start_time, "--:--:--");
    EXPECT_EQ(t2.isrc, std::nullopt);
    EXPECT_EQ(t2.genre, (GenreRef{0, 5}));
}

TEST(FromDisc, TracksWithoutListsOrChannels) {
    AreaToc toc = area_toc(2);
    toc.frame_format = 0;
    auto d = DiscDescription::from_disc(disc(master_toc(), {}, {disc_area({toc})}));
    ASSERT_TRUE(d);
    const auto& tracks = d->areas[0].tracks;
    ASSERT_EQ(tracks.size(), 2u);
    for (const auto& t : tracks) {
        EXPECT_TRUE(t.text_by_locale.empty());
        for (const auto& k : kTrackTextKeys<OptText>) EXPECT_EQ(t.*k.member, std::nullopt) << k.key;
        EXPECT_EQ(t.start_time, "--:--:--");
        EXPECT_EQ(t.duration, "--:--:--");
        EXPECT_EQ(t.lsn_start, 0u);
        EXPECT_EQ(t.isrc, std::nullopt);
        EXPECT_TRUE(t.dst_coded);
    }
    EXPECT_EQ(tracks[1].index, 2u);

    // A declared channel with an unknown character set gives an element of empty texts.
    set_area_channels(toc, {channel("xx", 9)});
    AreaParts p{toc};
    p.text = track_text({CharSet::Value::Iso646}, 2, {{{item(TrackField::Title, ascii("T"))}}});
    d = DiscDescription::from_disc(disc(master_toc(), {}, {disc_area(p)}));
    ASSERT_EQ(d->areas[0].tracks[0].text_by_locale.size(), 1u);
    EXPECT_EQ(d->areas[0].tracks[0].text_by_locale[0].title, "");
    EXPECT_EQ(d->areas[0].tracks[0].title, std::nullopt);
}

TEST(ParseTrackWeblinkList, PointersIntoTheBlock) {
    Bytes block(8192, 0);
    std::memcpy(block.data(), "SACD_WLL", 8);
    block[9] = 64;                       // track 1 at 64
    block[12] = 0x01, block[13] = 0x00;  // track 3 at 256
    std::memcpy(block.data() + 64, "http://velmora.example/1", 24);
    block[256] = 'x', block[257] = 0xE9;  // Latin-1
    EXPECT_EQ(parse_track_weblink_list(block, 3),
              (std::vector<OptText>{"http://velmora.example/1", std::nullopt, "x\xC3\xA9"}));

    EXPECT_TRUE(parse_track_weblink_list(block, 0).empty());
    // Pointers past the end of a short block are absent; the list still has one entry per track.
    EXPECT_EQ(parse_track_weblink_list(std::span(block).first(12), 3),
              (std::vector<OptText>{std::nullopt, std::nullopt, std::nullopt}));
    EXPECT_TRUE(parse_track_weblink_list(std::span(block).first(7), 3).empty());
    block[0] = 's';
    EXPECT_TRUE(parse_track_weblink_list(block, 3).empty());
}

TEST(ParseSetOfPlaylists, NamesAndEntries) {
    Bytes block(10240, 0);
    std::memcpy(block.data(), "SACDPLAY", 8);
    block[8] = 3;
    block[17] = 64;  // playlist 1's name at 64; playlist 2 has none
    block[20] = 0x00, block[21] = 100;
    std::memcpy(block.data() + 64, "Best of", 7);
    const Bytes sjis = {0x8F, 0x98, 0x8B, 0xC8};
    std::copy(sjis.begin(), sjis.end(), block.begin() + 100);
    block[2048] = 2;  // playlist 1: (3,1), (4,2)
    block[2048 + 2] = 3, block[2048 + 3] = 1, block[2048 + 4] = 4, block[2048 + 5] = 2;
    block[2560] = 0;  // playlist 2: no entries
    block[3072] = 255;
    for (std::size_t j = 0; j < 255; ++j) block[3072 + 2 + 2 * j] = static_cast<std::uint8_t>(j);

    auto lists = parse_set_of_playlists(block, CharSet::Value::Iso8859_1);
    ASSERT_EQ(lists.size(), 3u);
    EXPECT_EQ(lists[0].name, "Best of");
    EXPECT_EQ(lists[0].entries, (std::vector<PlaylistEntry>{{3, 1}, {4, 2}}));
    EXPECT_EQ(lists[1], PlaylistDescription{});
    ASSERT_EQ(lists[2].entries.size(), 255u);
    EXPECT_EQ(lists[2].entries[254], (PlaylistEntry{254, 0}));

    // Names are read in the area's character set, and only when it is known.
    EXPECT_EQ(parse_set_of_playlists(block, CharSet::Value::RisShiftJis)[2].name, "\xE5\xBA\x8F\xE6\x9B\xB2");
    for (const auto& p : parse_set_of_playlists(block, std::nullopt)) EXPECT_EQ(p.name, std::nullopt);

    // A short block still lists every playlist, with the names inside it but no entries.
    auto short_lists = parse_set_of_playlists(std::span(block).first(2100), CharSet::Value::Iso8859_1);
    ASSERT_EQ(short_lists.size(), 3u);
    EXPECT_EQ(short_lists[0].name, "Best of");
    for (const auto& p : short_lists) EXPECT_TRUE(p.entries.empty());
    EXPECT_EQ(parse_set_of_playlists(std::span(block).first(2560), CharSet::Value::Iso8859_1)[0].entries.size(), 2u);

    EXPECT_TRUE(parse_set_of_playlists(std::span(block).first(8), CharSet::Value::Iso8859_1).empty());
    block[8] = 0;
    EXPECT_TRUE(parse_set_of_playlists(block, CharSet::Value::Iso8859_1).empty());
    block[8] = 3;
    block[0] = 's';
    EXPECT_TRUE(parse_set_of_playlists(block, CharSet::Value::Iso8859_1).empty());
}

TEST(EditableMeta, PlainTextCopy) {
    MasterToc toc = master_toc({channel("en", 2)});
    toc.disc_date_year = 2011;
    toc.disc_date_month = 9;
    toc.disc_date_day = 26;
    toc.album_set_size = 2;
    toc.album_sequence_number = 1;
    toc.disc_catalog_number = catalog_text("EMI 5099", ' ');
    toc.album_genre = {GenreCode{1, 0, 5}, {}, {}, {}};
    AreaToc atoc = area_toc(1, true);
    set_area_channels(atoc, {channel("en", 2)});
    AreaParts p{atoc};
    p.text = track_text({CharSet::Value::Iso8859_1}, 1, {{{item(TrackField::Title, ascii("Time"))}}});

    auto m = editable_meta(disc(toc, {master_text({{MasterField::AlbumArtist, "Marbleweir"}})}, {disc_area(p)}));
    ASSERT_TRUE(m);
    ASSERT_EQ(m->locales.size(), 1u);
    EXPECT_EQ(m->locales[0].language, "en");
    EXPECT_EQ(m->locales[0].char_set, "Iso8859_1");
    ASSERT_EQ(m->master_text.size(), 1u);
    EXPECT_EQ(m->master_text[0].album_artist, "Marbleweir");
    EXPECT_EQ(m->master_text[0].album_title, "");
    EXPECT_EQ(m->album_catalog, "");
    EXPECT_EQ(m->disc_catalog, "EMI 5099");
    EXPECT_EQ(m->album_genre, (std::vector<GenreRef>{{1, 5}}));
    ASSERT_EQ(m->areas.size(), 1u);
    EXPECT_EQ(m->areas[0].kind, "MultiChannel");
    EXPECT_EQ(m->areas[0].channel_count, 6);
    EXPECT_EQ(m->areas[0].track_count, 1);
    ASSERT_EQ(m->areas[0].tracks.size(), 1u);
    EXPECT_EQ(m->areas[0].tracks[0].text_by_locale.at(0).title, "Time");
    EXPECT_EQ(m->disc_date_year, 2011);
    EXPECT_EQ(m->disc_date_month, 9);
    EXPECT_EQ(m->disc_date_day, 26);
    EXPECT_EQ(m->set_size, 2);
    EXPECT_EQ(m->set_sequence, 1);
}
