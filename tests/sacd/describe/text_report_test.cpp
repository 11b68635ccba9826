#include "sacd/describe/text_report.h"

#include <gtest/gtest.h>

#include "i18n/i18n.h"

using namespace sacd;
using namespace sacd::describe;

namespace {

// Restores the language switch whatever a test does with it.
struct Language {
    explicit Language(bool russian) : saved(i18n::LANG) { i18n::LANG = russian; }
    ~Language() { i18n::LANG = saved; }
    bool saved;
};

TrackDescription track(std::uint64_t index, OptText title, std::uint64_t duration_frames) {
    TrackDescription t;
    t.index = index;
    t.title = std::move(title);
    t.duration_frames = duration_frames;
    return t;
}

AreaDescription area(std::uint64_t index, std::string_view kind, std::vector<TrackDescription> tracks) {
    AreaDescription a;
    a.index = index;
    a.kind = std::string(kind);
    a.channel_count = kind == kKindStereo ? 2 : 6;
    a.loudspeaker_config = kind == kKindStereo ? "Stereo" : "FivePointOne";
    a.track_count = static_cast<std::uint8_t>(tracks.size());
    a.tracks = std::move(tracks);
    return a;
}

DiscDescription base_disc() {
    DiscDescription d;
    d.spec_version = "1.20";
    d.set_size = 1;
    d.set_sequence = 1;
    return d;
}

// The value of a header row of the disc part, found by its label.
std::string row_value(const std::string& report, const std::string& label) {
    const std::string key = "\n  " + label + ":";
    const auto at = report.find(key);
    if (at == std::string::npos) return "<no row " + label + ">";
    const auto start = report.find_first_not_of(' ', at + key.size());
    return report.substr(start, report.find('\n', start) - start);
}

}  // namespace

TEST(TextReport, TimeFormats) {
    struct Case {
        std::uint64_t frames;
        const char* frames_text;
        const char* ms_text;
    };
    const Case cases[] = {
        {18753, "04:10:03", "04:10.040"}, {0, "00:00:00", "00:00.000"},     {74, "00:00:74", "00:00.986"},
        {150, "00:02:00", "00:02.000"},   {450000, "100:00:00", "100:00.000"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(format_time(c.frames, false), c.frames_text);
        EXPECT_EQ(format_time(c.frames, true), c.ms_text);
    }
    EXPECT_EQ(fmt_flags({true, false, false, true}), "1001");
}

TEST(TextReport, Summary) {
    Language en(false);
    DiscDescription d = base_disc();
    d.album_catalog = "ABC-123";
    d.date = "2005-03-07";
    MasterTextDescription mt;
    mt.album_title = "Caf\xC3\xA9 Noir";
    mt.album_artist = "Marbleweir";
    d.master_text = {mt};
    d.areas = {area(0, kKindStereo,
                    {track(1, "Sun", 18753), track(2, "Blue Horizon", 4500), track(3, "Evening", 4576)})};
    d.areas[0].total_area_play_time_frames = 203434;

    const std::string want =
        "Disc:\n"
        "  Version:         1.20\n"
        "  Album:           Caf\xC3\xA9 Noir\n"
        "  Artist:          Marbleweir\n"
        "  Catalog (album): ABC-123\n"
        "  Catalog (disc):  --\n"
        "  Date:            2005-03-07\n"
        "  Disc in set:     1 of 1\n"
        "  Areas:           stereo only\n"
        "\n"
        "Area 1: Stereo (2 ch., DSD), tracks: 3, time: 45:12:34\n"
        "  Tracks:\n"
        "      1. Sun           [04:10:03]\n"
        "      2. Blue Horizon  [01:00:00]\n"
        "      3. Evening       [01:01:01]\n";
    EXPECT_EQ(render(d, {}, false), want);
}

TEST(TextReport, FullWithMilliseconds) {
    Language en(false);
    DiscDescription d = base_disc();
    d.set_size = 3;
    d.set_sequence = 2;
    d.hybrid = true;
    d.has_ekb1 = true;
    d.weblink = "http://velmora.example";
    d.locales = {{0, "en", "Iso8859_1"}, {1, "ja", "RisShiftJis"}};
    MasterTextDescription mt;
    mt.album_title = "Caf\xC3\xA9 Noir";
    mt.album_artist = "Marbleweir";
    mt.album_copyright_phonetic = "Kopi";
    d.master_text = {mt};

    TrackDescription t1 = track(1, "Sunrise", 18753);
    t1.performer = "Quillory";
    t1.composer = "Ravel";
    t1.isrc = "GBF080500201";
    t1.genre = GenreRef{1, 14};
    t1.dst_coded = true;
    t1.pause_frames = 150;
    t1.start_frames = 150;
    t1.lsn_start = 1000;
    t1.lsn_length = 500;
    t1.index_list_present = true;
    t1.track_mute_flags = {true, false, false, true};
    t1.extra_use = 5;
    TrackLocaleText t1_en;
    t1_en.title = "Sunrise";
    t1_en.performer = "Quillory";
    t1_en.composer = "Ravel";
    t1.text_by_locale = {t1_en};

    const std::string nihongo = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E";
    TrackDescription t2 = track(2, nihongo, 4500);
    t2.dst_coded = true;
    t2.start_frames = 18903;
    t2.lsn_start = 1500;
    t2.lsn_length = 400;
    TrackLocaleText l0, l1, l2, l3;
    l0.title = "Nihongo";
    l1.locale = 1;
    l1.title = nihongo;
    l1.title_phonetic = "\xE3\x81\xAB\xE3\x81\xBB\xE3\x82\x93\xE3\x81\x94";
    l2.locale = 2;  // nothing in it: skipped
    l3.locale = 3;  // not among the disc's locales
    l3.message = "M";
    t2.text_by_locale = {l0, l1, l2, l3};

    AreaDescription stereo = area(0, kKindStereo, {t1, t2});
    stereo.dst_coded = true;
    stereo.max_available_channels = 2;
    stereo.area_mute_flags = {false, true, false, false};
    stereo.total_area_play_time_frames = 18753;
    stereo.area_text = {{"Stereo mix", std::nullopt, std::nullopt, std::nullopt},
                        {std::nullopt, std::nullopt, "phonetic only", std::nullopt},
                        {std::nullopt, "(C) V", std::nullopt, std::nullopt}};
    stereo.track_weblinks = {"http://a.example/1", std::nullopt, "http://a.example/3"};
    stereo.playlists = {{"Best", {{3, 1}, {4, 2}}}, {std::nullopt, {}}};

    // Titles that normalise equal: the areas count as identical.
    AreaDescription multi = area(1, kKindMultiChannel, {track(1, "  SUNRISE ", 0), track(2, nihongo, 0)});
    multi.max_available_channels = 4;
    multi.first_bonus_track_number = 2;
    multi.track_attribute = 3;
    d.areas = {stereo, multi};

    const std::string want =
        "Disc:\n"
        "  Version:                    1.20\n"
        "  Album:                      Caf\xC3\xA9 Noir\n"
        "  Artist:                     Marbleweir\n"
        "  Catalog (album):            --\n"
        "  Catalog (disc):             --\n"
        "  Date:                       --\n"
        "  Disc in set:                2 of 3\n"
        "  Areas:                      stereo + multichannel (identical)\n"
        "  Hybrid (SACD+CD):           yes\n"
        "  Extra areas:                Extension=no EKB1=yes EKB2=no Revocation=no\n"
        "  Web link:                   http://velmora.example\n"
        "  Master_Text (locale 0):\n"
        "    Album_Title:              Caf\xC3\xA9 Noir\n"
        "    Album_Artist:             Marbleweir\n"
        "    Album_Publisher:          --\n"
        "    Album_Copyright:          --\n"
        "    Disc_Title:               --\n"
        "    Disc_Artist:              --\n"
        "    Disc_Publisher:           --\n"
        "    Disc_Copyright:           --\n"
        "    Album_Copyright_Phonetic: Kopi\n"
        "\n"
        "Area 1: Stereo (2 ch., DST), tracks: 2, time: 04:10.040\n"
        "  Loudspeaker_Config:  Stereo\n"
        "  Area_Mute [AMF1..4]: 0100\n"
        "  Track_Attribute:     0\n"
        "  First bonus track:   0\n"
        "  Area_Text (channel 0): description=Stereo mix, copyright=--\n"
        "  Area_Text (channel 2): description=--, copyright=(C) V\n"
        "  Tracks:\n"
        "    pause: 00:02.000\n"
        "      1. Sunrise  [04:10.040]\n"
        "         start: 00:02.000\n"
        "         ISRC: GBF080500201  Genre: 1/14  coding: DST  Performer: Quillory\n"
        "         Composer: Ravel\n"
        "         on disc: sector 1000 (+500 sectors)\n"
        "         ILP: yes, Track_Mute [TMF1..4]: 1001, Extra_Use: 5\n"
        "      2. \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E      [01:00.000]\n"
        "         start: 04:12.040\n"
        "         ISRC: --  Genre: --  coding: DST\n"
        "         Locale 0 (en / Iso8859_1):\n"
        "           Title: Nihongo\n"
        "         Locale 1 (ja / RisShiftJis):\n"
        "           Title: \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\n"
        "           Title (phonetic): \xE3\x81\xAB\xE3\x81\xBB\xE3\x82\x93\xE3\x81\x94\n"
        "         Locale 3 (?\? / ?\?):\n"
        "           Message: M\n"
        "         on disc: sector 1500 (+400 sectors)\n"
        "         ILP: no, Track_Mute [TMF1..4]: 0000, Extra_Use: 0\n"
        "  Track WebLink 1: http://a.example/1\n"
        "  Track WebLink 3: http://a.example/3\n"
        "  PlayList 1: Best [3.1, 4.2]\n"
        "  PlayList 2: -- []\n"
        "\n"
        "Area 2: Multichannel (6 ch., DSD), tracks: 2, time: 00:00.000\n"
        "  Loudspeaker_Config:  Quad (4)\n"
        "  Area_Mute [AMF1..4]: 0000\n"
        "  Track_Attribute:     3\n"
        "  First bonus track:   2\n"
        "  Tracks:\n"
        "      1.   SUNRISE   [00:00.000]\n"
        "         start: 00:00.000\n"
        "         ISRC: --  Genre: --  coding: DSD  Performer: --\n"
        "         on disc: sector 0 (+0 sectors)\n"
        "         ILP: no, Track_Mute [TMF1..4]: 0000, Extra_Use: 0\n"
        "      2. \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E         [00:00.000]\n"
        "         start: 00:00.000\n"
        "         ISRC: --  Genre: --  coding: DSD  Performer: --\n"
        "         on disc: sector 0 (+0 sectors)\n"
        "         ILP: no, Track_Mute [TMF1..4]: 0000, Extra_Use: 0\n";
    EXPECT_EQ(render(d, {true, true, true, true}, true), want);

    // Each section alone adds only its own lines.
    const std::string tracks_only = render(d, {true, false, false, false}, false);
    EXPECT_NE(tracks_only.find("    pause: 00:02:00\n      1. Sunrise  [04:10:03]\n         start: 00:02:00\n"),
              std::string::npos);
    EXPECT_EQ(tracks_only.find("ILP:"), std::string::npos);
    EXPECT_EQ(tracks_only.find("Master_Text"), std::string::npos);
    EXPECT_EQ(tracks_only.find("PlayList"), std::string::npos);
    EXPECT_EQ(tracks_only.find("Loudspeaker_Config"), std::string::npos);
    const std::string links_only = render(d, {false, false, false, true}, false);
    EXPECT_NE(links_only.find("  Web link:        http://velmora.example\n"), std::string::npos);
    EXPECT_NE(links_only.find("  PlayList 1: Best [3.1, 4.2]\n"), std::string::npos);
    EXPECT_EQ(links_only.find("start:"), std::string::npos);
}

TEST(TextReport, RussianLabelsAreCountedInCharacters) {
    Language ru(true);
    DiscDescription d = base_disc();
    TrackDescription t = track(1, std::nullopt, 75);
    t.pause_frames = 1;
    t.start_frames = 1;
    d.areas = {area(0, kKindStereo, {t})};
    d.areas[0].total_area_play_time_frames = 75;
    d.areas[0].track_weblinks = {"http://a.example/1"};

    const std::string want =
        "Диск:\n"
        "  Версия:           1.20\n"
        "  Альбом:           --\n"
        "  Исполнитель:      --\n"
        "  Каталог (альбом): --\n"
        "  Каталог (диск):   --\n"
        "  Дата:             --\n"
        "  Диск в комплекте: 1 из 1\n"
        "  Области:          только стерео\n"
        "  Гибрид (SACD+CD): нет\n"
        "  Доп. области:     Extension=нет EKB1=нет EKB2=нет Revocation=нет\n"
        "  Веб-ссылка:       --\n"
        "  Текст (Master_Text): блок отсутствует\n"
        "\n"
        "Область 1: Стерео (2 кан., DSD), треков: 1, время: 00:01:00\n"
        "  Loudspeaker_Config:  Стерео\n"
        "  Area_Mute [AMF1..4]: 0000\n"
        "  Track_Attribute:     0\n"
        "  Первый бонус-трек:   0\n"
        "  Треки:\n"
        "    пауза: 00:00:01\n"
        "      1. --  [00:01:00]\n"
        "         начало: 00:00:01\n"
        "         ISRC: --  Genre: --  кодирование: DSD  Performer: --\n"
        "         на диске: сектор 0 (+0 секторов)\n"
        "         ILP: нет, Track_Mute [TMF1..4]: 0000, Extra_Use: 0\n"
        "  Веб-ссылка трека 1: http://a.example/1\n";
    EXPECT_EQ(render(d, {true, true, true, true}, false), want);

    MasterTextDescription mt;
    mt.album_title = "Альбом";
    d.master_text = {mt};
    const std::string text = render(d, {false, true, false, false}, false);
    EXPECT_NE(text.find("  Master_Text (локаль 0):\n    Album_Title:     Альбом\n"), std::string::npos);
}

TEST(TextReport, AreaSummary) {
    Language en(false);
    auto titled = [](std::vector<OptText> titles) {
        std::vector<TrackDescription> out;
        for (std::size_t i = 0; i < titles.size(); ++i) out.push_back(track(i + 1, titles[i], 0));
        return out;
    };
    struct Case {
        std::vector<AreaDescription> areas;
        const char* want;
    };
    const std::vector<OptText> five(5, "x"), six(6, "x");
    const Case cases[] = {
        {{}, "none"},
        {{area(0, kKindStereo, {})}, "stereo only"},
        {{area(1, kKindMultiChannel, titled({"a"}))}, "multichannel only"},
        {{area(0, kKindStereo, titled(five)), area(1, kKindMultiChannel, titled(six))},
         "stereo + multichannel (different content)"},
        {{area(0, kKindStereo, {}), area(1, kKindMultiChannel, {})},
         "stereo + multichannel (treated identical, no titles)"},
        {{area(0, kKindStereo, titled({std::nullopt, " "})), area(1, kKindMultiChannel, titled({"\t", std::nullopt}))},
         "stereo + multichannel (treated identical, no titles)"},
        {{area(0, kKindStereo, titled({"Time", " Money"})), area(1, kKindMultiChannel, titled({"TIME ", "money"}))},
         "stereo + multichannel (identical)"},
        {{area(0, kKindStereo, titled({"Time", std::nullopt})), area(1, kKindMultiChannel, titled({"Time", "Money"}))},
         "stereo + multichannel (different content)"},
        // The first area of each kind is the one compared.
        {{area(0, kKindStereo, titled({"A"})), area(1, kKindStereo, titled({"B"})),
          area(2, kKindMultiChannel, titled({"a"}))},
         "stereo + multichannel (identical)"},
    };
    for (const auto& c : cases) {
        DiscDescription d = base_disc();
        d.areas = c.areas;
        EXPECT_EQ(row_value(render(d, {}, false), "Areas"), c.want);
    }
}

TEST(TextReport, LoudspeakerConfig) {
    Language en(false);
    struct Case {
        std::uint8_t max_available, channels;
        const char* config;
        const char* want;
    };
    const Case cases[] = {
        {4, 2, "Stereo", "Quad (4)"}, {0, 6, "FivePointOne", "6"}, {0, 4, "FivePointOne", "Quad (4)"},
        {5, 5, "FiveChannel", "5"},   {7, 2, "Stereo", "Stereo"},  {2, 2, "Reserved", "Reserved"},
    };
    for (const auto& c : cases) {
        AreaDescription a = area(0, kKindMultiChannel, {});
        a.max_available_channels = c.max_available;
        a.channel_count = c.channels;
        a.loudspeaker_config = c.config;
        std::string out;
        render_area(out, a, {}, {false, false, true, false}, false);
        EXPECT_NE(out.find("  Loudspeaker_Config:  " + std::string(c.want) + "\n"), std::string::npos) << out;
    }
}

TEST(TextReport, ControlCharactersInDiscTextsCannotReachTheTerminal) {
    Language en(false);
    const std::string clear_screen = "\x1B[2J";
    DiscDescription d = base_disc();
    MasterTextDescription mt;
    mt.album_title = "Evil" + clear_screen;
    mt.disc_title_phonetic = "two\nlines\x7F";
    d.master_text = {mt};
    d.locales = {{0, "en", "Iso8859_1"}};
    TrackDescription t = track(1, "a\tb", 0);
    t.performer = "p\rq";
    t.composer = "c\xC2\x9B";  // U+009B, the one-character CSI
    TrackLocaleText l0, l1;
    l0.title = "x\x07";
    l1.locale = 1;
    l1.title = "y";
    TrackDescription t2 = track(2, "Caf\xC3\xA9", 0);
    t2.text_by_locale = {l0, l1};
    d.areas = {area(0, kKindStereo, {t, t2})};
    d.areas[0].track_weblinks = {"http://x" + clear_screen};
    d.areas[0].playlists = {{"n\x1B", {}}};

    const std::string out = render(d, {true, true, true, true}, false);
    for (char c : out) EXPECT_FALSE((static_cast<unsigned char>(c) < 0x20 && c != '\n') || c == 0x7F) << int(c);
    EXPECT_EQ(out.find("\xC2\x9B"), std::string::npos);
    const std::string r = "\xEF\xBF\xBD";
    for (const std::string& shown : std::vector<std::string>{
             "Album:                 Evil" + r + "[2J\n", "Disc_Title_Phonetic: two" + r + "lines" + r + "\n",
          "      1. a" + r + "b   [00:00:00]\n", "      2. Caf\xC3\xA9  [00:00:00]\n",
          "Performer: p" + r + "q\n", "Composer: c" + r + "\n", "Title: x" + r + "\n",
          "Track WebLink 1: http://x" + r + "[2J\n", "PlayList 1: n" + r + " []\n"})
        EXPECT_NE(out.find(shown), std::string::npos) << shown;
}
