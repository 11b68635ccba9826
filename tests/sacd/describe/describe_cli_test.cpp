// The describe command on whole synthetic images, through the real binary: reports in both
// languages and time formats, links read from the image, the text-channel warning and the
// error paths.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

#include "tests/support/process.h"
#include "tools/image_builder/image_builder.h"

using testsupport::run_cli;
using namespace image_builder;

namespace {

// Replaces each {name} in a hand-written report with a value the builder reports.
std::string fill(std::string text, const std::map<std::string, std::uint32_t>& values) {
    for (const auto& [name, value] : values) {
        const std::string key = "{" + name + "}";
        for (auto at = text.find(key); at != std::string::npos; at = text.find(key, at))
            text.replace(at, key.size(), std::to_string(value));
    }
    return text;
}

// Layout numbers of the tracks, named A1L1 (area 1, track 1, start LSN) and A1S1 (its sectors).
std::map<std::string, std::uint32_t> layout_values(const BuiltImage& built) {
    std::map<std::string, std::uint32_t> v;
    for (std::size_t a = 0; a < built.areas.size(); ++a)
        for (std::size_t t = 0; t < built.areas[a].track_lsns.size(); ++t) {
            const std::string at = std::to_string(a + 1) + "L" + std::to_string(t + 1);
            v["A" + at] = built.areas[a].track_lsns[t];
            v["A" + std::to_string(a + 1) + "S" + std::to_string(t + 1)] = built.areas[a].track_sectors[t];
        }
    return v;
}

// Audio that repeats every frame keeps the images cheap to make.
ImageSpec cheap(ImageSpec spec) {
    for (auto& a : spec.areas) a.audio_period_frames = 1;
    return spec;
}

struct Image {
    testsupport::TempDir dir;
    std::string path;
    BuiltImage built;

    explicit Image(const ImageSpec& spec) : path(dir.file("disc.iso")) {
        auto b = build_image(cheap(spec), path);
        EXPECT_TRUE(b.ok()) << (b.ok() ? "" : b.error());
        if (b.ok()) built = *b;
    }
};

Bytes weblink_block() {
    Bytes b(64, 0);
    std::memcpy(b.data(), "SACD_WLL", 8);
    b[9] = 16;  // track 1's link at 16; track 2 has none
    std::memcpy(b.data() + 16, "http://velmora.example/t1", 25);
    return b;
}

Bytes playlist_block() {
    Bytes b(2560, 0);
    std::memcpy(b.data(), "SACDPLAY", 8);
    b[8] = 1;
    b[17] = 32;
    std::memcpy(b.data() + 32, "Best", 4);
    b[2048] = 2;
    b[2050] = 1, b[2051] = 1, b[2052] = 2, b[2053] = 1;
    return b;
}

// Stereo and multichannel areas with the same titles (up to case and spaces), a disc web link,
// and a web link list and a playlist in the stereo area.
ImageSpec two_area_spec() {
    ImageSpec spec = sample_spec(2, 75);
    spec.hybrid = true;
    spec.weblink = "http://velmora.example";
    spec.areas[0].weblink_list = weblink_block();
    spec.areas[0].playlists = playlist_block();
    AreaSpec mc;
    mc.multichannel = true;
    mc.channel_count = 6;
    mc.frame_format = 0;
    mc.dst_frame = [](std::uint32_t) { return Bytes(64, 0x5A); };
    for (const char* title : {"TIDE CHART", " lantern row"}) {
        TrackSpec t;
        t.frames = 75;
        t.texts.resize(1);
        t.texts[0][sacd::TrackField::Title] = title;
        mc.tracks.push_back(t);
    }
    spec.areas.push_back(mc);
    return spec;
}

// Three text channels, one of them Shift_JIS, with album, area and track texts in each.
ImageSpec text_channel_spec() {
    using sacd::MasterField;
    using sacd::TrackField;
    ImageSpec spec;
    spec.text_channels = {{"en", sacd::CharSet::Value::Iso646},
                          {"ja", sacd::CharSet::Value::RisShiftJis},
                          {"de", sacd::CharSet::Value::Iso8859_1}};
    spec.master_texts = {
        {{MasterField::AlbumTitle, "Harbour Lights"}, {MasterField::AlbumArtist, "Velmora"}},
        {{MasterField::AlbumTitle, "港の灯り"},
         {MasterField::AlbumArtist, "ヴェルモラ"},
         {MasterField::AlbumTitlePhonetic, "みなとのあかり"}},
        {{MasterField::AlbumTitle, "Hafenlichter"}, {MasterField::AlbumArtist, "Velmora"}},
    };
    AreaSpec area;
    area.area_texts = {{"Stereo", std::nullopt, std::nullopt, std::nullopt},
                       {"ステレオ", "ヴェルモラ", std::nullopt, std::nullopt}};
    TrackSpec t1;
    t1.frames = 75;
    t1.texts = {{{TrackField::Title, "Tide Chart"}, {TrackField::Composer, "Ravel"}},
                {{TrackField::Title, "潮見表"}},
                {{TrackField::Title, "Gezeitentafel"}}};
    TrackSpec t2;
    t2.frames = 75;
    t2.pause_frames = 15;
    t2.texts = {{{TrackField::Title, "Lantern Row"}}, {}, {{TrackField::Title, "Laternenreihe"}}};
    area.tracks = {t1, t2};
    spec.areas = {area};
    return spec;
}

}  // namespace

TEST(DescribeCli, StereoOnlySummaryAndFullWithMilliseconds) {
    Image image(sample_spec(3, 150));
    auto r = run_cli({"describe", image.path});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "Disc:\n"
              "  Version:         1.20\n"
              "  Album:           Harbour Lights\n"
              "  Artist:          The Velmora Quartet\n"
              "  Catalog (album): VLM-0001\n"
              "  Catalog (disc):  VLM-0001\n"
              "  Date:            2024-05-17\n"
              "  Disc in set:     1 of 1\n"
              "  Areas:           stereo only\n"
              "\n"
              "Area 1: Stereo (2 ch., DSD), tracks: 3, time: 00:06:30\n"
              "  Tracks:\n"
              "      1. Tide Chart   [00:02:00]\n"
              "      2. Lantern Row  [00:02:00]\n"
              "      3. North Pier   [00:02:00]\n");

    const std::string full =
        "Disc:\n"
        "  Version:           1.20\n"
        "  Album:             Harbour Lights\n"
        "  Artist:            The Velmora Quartet\n"
        "  Catalog (album):   VLM-0001\n"
        "  Catalog (disc):    VLM-0001\n"
        "  Date:              2024-05-17\n"
        "  Disc in set:       1 of 1\n"
        "  Areas:             stereo only\n"
        "  Hybrid (SACD+CD):  no\n"
        "  Extra areas:       Extension=no EKB1=no EKB2=no Revocation=no\n"
        "  Web link:          --\n"
        "  Master_Text (locale 0):\n"
        "    Album_Title:     Harbour Lights\n"
        "    Album_Artist:    The Velmora Quartet\n"
        "    Album_Publisher: --\n"
        "    Album_Copyright: --\n"
        "    Disc_Title:      Harbour Lights\n"
        "    Disc_Artist:     The Velmora Quartet\n"
        "    Disc_Publisher:  --\n"
        "    Disc_Copyright:  --\n"
        "\n"
        "Area 1: Stereo (2 ch., DSD), tracks: 3, time: 00:06.400\n"
        "  Loudspeaker_Config:  Stereo\n"
        "  Area_Mute [AMF1..4]: 0000\n"
        "  Track_Attribute:     0\n"
        "  First bonus track:   0\n"
        "  Tracks:\n"
        "      1. Tide Chart   [00:02.000]\n"
        "         start: 00:00.000\n"
        "         ISRC: NLA124001001  Genre: 1/14  coding: DSD  Performer: The Velmora Quartet\n"
        "         on disc: sector {A1L1} (+{A1S1} sectors)\n"
        "         ILP: no, Track_Mute [TMF1..4]: 0000, Extra_Use: 0\n"
        "    pause: 00:00.200\n"
        "      2. Lantern Row  [00:02.000]\n"
        "         start: 00:02.200\n"
        "         ISRC: NLA124001011  Genre: 1/14  coding: DSD  Performer: The Velmora Quartet\n"
        "         on disc: sector {A1L2} (+{A1S2} sectors)\n"
        "         ILP: no, Track_Mute [TMF1..4]: 0000, Extra_Use: 0\n"
        "    pause: 00:00.200\n"
        "      3. North Pier   [00:02.000]\n"
        "         start: 00:04.400\n"
        "         ISRC: NLA124001021  Genre: 1/14  coding: DSD  Performer: The Velmora Quartet\n"
        "         on disc: sector {A1L3} (+{A1S3} sectors)\n"
        "         ILP: no, Track_Mute [TMF1..4]: 0000, Extra_Use: 0\n";
    r = run_cli({"describe", "--full", "--ms", image.path});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, fill(full, layout_values(image.built)));
    // Switches may stand on either side of the path.
    EXPECT_EQ(run_cli({"describe", image.path, "--ms", "--full"}).out, r.out);
}

TEST(DescribeCli, StereoAndMultichannelInRussianWithLinks) {
    Image image(two_area_spec());
    const std::string want =
        "Диск:\n"
        "  Версия:            1.20\n"
        "  Альбом:            Harbour Lights\n"
        "  Исполнитель:       The Velmora Quartet\n"
        "  Каталог (альбом):  VLM-0001\n"
        "  Каталог (диск):    VLM-0001\n"
        "  Дата:              2024-05-17\n"
        "  Диск в комплекте:  1 из 1\n"
        "  Области:           стерео + мультиканальная (идентичны)\n"
        "  Гибрид (SACD+CD):  да\n"
        "  Доп. области:      Extension=нет EKB1=нет EKB2=нет Revocation=нет\n"
        "  Веб-ссылка:        http://velmora.example\n"
        "  Master_Text (локаль 0):\n"
        "    Album_Title:     Harbour Lights\n"
        "    Album_Artist:    The Velmora Quartet\n"
        "    Album_Publisher: --\n"
        "    Album_Copyright: --\n"
        "    Disc_Title:      Harbour Lights\n"
        "    Disc_Artist:     The Velmora Quartet\n"
        "    Disc_Publisher:  --\n"
        "    Disc_Copyright:  --\n"
        "\n"
        "Область 1: Стерео (2 кан., DSD), треков: 2, время: 00:02:15\n"
        "  Loudspeaker_Config:  Стерео\n"
        "  Area_Mute [AMF1..4]: 0000\n"
        "  Track_Attribute:     0\n"
        "  Первый бонус-трек:   0\n"
        "  Треки:\n"
        "      1. Tide Chart   [00:01:00]\n"
        "         начало: 00:00:00\n"
        "         ISRC: NLA124001001  Genre: 1/14  кодирование: DSD  Performer: The Velmora Quartet\n"
        "         на диске: сектор {A1L1} (+{A1S1} секторов)\n"
        "         ILP: нет, Track_Mute [TMF1..4]: 0000, Extra_Use: 0\n"
        "    пауза: 00:00:15\n"
        "      2. Lantern Row  [00:01:00]\n"
        "         начало: 00:01:15\n"
        "         ISRC: NLA124001011  Genre: 1/14  кодирование: DSD  Performer: The Velmora Quartet\n"
        "         на диске: сектор {A1L2} (+{A1S2} секторов)\n"
        "         ILP: нет, Track_Mute [TMF1..4]: 0000, Extra_Use: 0\n"
        "  Веб-ссылка трека 1: http://velmora.example/t1\n"
        "  PlayList 1: Best [1.1, 2.1]\n"
        "\n"
        "Область 2: Мультиканальная (6 кан., DST), треков: 2, время: 00:02:00\n"
        "  Loudspeaker_Config:  6\n"
        "  Area_Mute [AMF1..4]: 0000\n"
        "  Track_Attribute:     0\n"
        "  Первый бонус-трек:   0\n"
        "  Треки:\n"
        "      1. TIDE CHART    [00:01:00]\n"
        "         начало: 00:00:00\n"
        "         ISRC: --  Genre: --  кодирование: DST  Performer: --\n"
        "         на диске: сектор {A2L1} (+{A2S1} секторов)\n"
        "         ILP: нет, Track_Mute [TMF1..4]: 0000, Extra_Use: 0\n"
        "      2.  lantern row  [00:01:00]\n"
        "         начало: 00:01:00\n"
        "         ISRC: --  Genre: --  кодирование: DST  Performer: --\n"
        "         на диске: сектор {A2L2} (+{A2S2} секторов)\n"
        "         ILP: нет, Track_Mute [TMF1..4]: 0000, Extra_Use: 0\n";
    auto r = run_cli({"--lang", "ru", "describe", image.path, "--full"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, fill(want, layout_values(image.built)));
}

TEST(DescribeCli, SeveralTextChannelsWithShiftJis) {
    Image image(text_channel_spec());
    const std::string want =
        "Disc:\n"
        "  Version:                1.20\n"
        "  Album:                  Harbour Lights\n"
        "  Artist:                 Velmora\n"
        "  Catalog (album):        --\n"
        "  Catalog (disc):         --\n"
        "  Date:                   --\n"
        "  Disc in set:            1 of 1\n"
        "  Areas:                  stereo only\n"
        "  Master_Text (locale 0):\n"
        "    Album_Title:          Harbour Lights\n"
        "    Album_Artist:         Velmora\n"
        "    Album_Publisher:      --\n"
        "    Album_Copyright:      --\n"
        "    Disc_Title:           --\n"
        "    Disc_Artist:          --\n"
        "    Disc_Publisher:       --\n"
        "    Disc_Copyright:       --\n"
        "  Master_Text (locale 1):\n"
        "    Album_Title:          港の灯り\n"
        "    Album_Artist:         ヴェルモラ\n"
        "    Album_Publisher:      --\n"
        "    Album_Copyright:      --\n"
        "    Disc_Title:           --\n"
        "    Disc_Artist:          --\n"
        "    Disc_Publisher:       --\n"
        "    Disc_Copyright:       --\n"
        "    Album_Title_Phonetic: みなとのあかり\n"
        "  Master_Text (locale 2):\n"
        "    Album_Title:          Hafenlichter\n"
        "    Album_Artist:         Velmora\n"
        "    Album_Publisher:      --\n"
        "    Album_Copyright:      --\n"
        "    Disc_Title:           --\n"
        "    Disc_Artist:          --\n"
        "    Disc_Publisher:       --\n"
        "    Disc_Copyright:       --\n"
        "\n"
        "Area 1: Stereo (2 ch., DSD), tracks: 2, time: 00:02:15\n"
        "  Area_Text (channel 0): description=Stereo, copyright=--\n"
        "  Area_Text (channel 1): description=ステレオ, copyright=ヴェルモラ\n"
        "  Tracks:\n"
        "      1. Tide Chart   [00:01:00]\n"
        "         start: 00:00:00\n"
        "         ISRC: --  Genre: --  coding: DSD\n"
        "         Locale 0 (en / Iso646):\n"
        "           Title: Tide Chart\n"
        "           Composer: Ravel\n"
        "         Locale 1 (ja / RisShiftJis):\n"
        "           Title: 潮見表\n"
        "         Locale 2 (de / Iso8859_1):\n"
        "           Title: Gezeitentafel\n"
        "         on disc: sector {A1L1} (+{A1S1} sectors)\n"
        "    pause: 00:00:15\n"
        "      2. Lantern Row  [00:01:00]\n"
        "         start: 00:01:15\n"
        "         ISRC: --  Genre: --  coding: DSD\n"
        "         Locale 0 (en / Iso646):\n"
        "           Title: Lantern Row\n"
        "         Locale 2 (de / Iso8859_1):\n"
        "           Title: Laternenreihe\n"
        "         on disc: sector {A1L2} (+{A1S2} sectors)\n";
    auto r = run_cli({"describe", image.path, "--text", "--tracks"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, fill(want, layout_values(image.built)));
}

TEST(DescribeCli, JsonCarriesTheImageLayoutAndIgnoresSections) {
    const char* jq = "/usr/bin/jq";
    if (!std::filesystem::exists(jq)) GTEST_SKIP() << "jq is not installed";
    Image image(two_area_spec());
    auto r = run_cli({"describe", image.path, "--json"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    ASSERT_GE(r.out.size(), 2u);
    EXPECT_EQ(r.out.substr(r.out.size() - 2), "}\n");
    EXPECT_EQ(run_cli({"describe", image.path, "--json", "--tracks"}).out, r.out);
    EXPECT_EQ(run_cli({"--lang", "ru", "describe", "--full", "--ms", "--json", image.path}).out, r.out);

    testsupport::TempDir dir;
    const std::string file = dir.file("report.json");
    std::ofstream(file, std::ios::binary) << r.out;
    auto query = [&](const std::string& filter) {
        auto q = testsupport::run_process(jq, {"-c", filter, file});
        EXPECT_EQ(q.status, 0) << q.err;
        return q.out;
    };
    const BuiltArea& stereo = image.built.areas[0];
    const BuiltArea& mc = image.built.areas[1];
    EXPECT_EQ(query("[.areas[] | [.index, .kind, .loudspeaker_config, .dst_coded, .audio_lsn_start, .audio_lsn_end]]"),
              "[[0,\"Stereo\",\"Stereo\",false," + std::to_string(stereo.audio_start) + "," +
                  std::to_string(stereo.audio_end) + "],[1,\"MultiChannel\",\"FivePointOne\",true," +
                  std::to_string(mc.audio_start) + "," + std::to_string(mc.audio_end) + "]]\n");
    EXPECT_EQ(query("[.areas[0].tracks[] | .lsn_start]"),
              "[" + std::to_string(stereo.track_lsns[0]) + "," + std::to_string(stereo.track_lsns[1]) + "]\n");
    EXPECT_EQ(query(".areas[0] | [.track_weblinks, .playlists]"),
              "[[\"http://velmora.example/t1\",null],[{\"name\":\"Best\",\"entries\":[{\"track\":1,\"index\":1},"
              "{\"track\":2,\"index\":1}]}]]\n");
    EXPECT_EQ(query(".areas[1] | [.track_weblinks, .playlists]"), "[[],[]]\n");
    EXPECT_EQ(query("[.disc.hybrid, .disc.weblink, .disc.album_genre]"),
              "[true,\"http://velmora.example\",[{\"table\":1,\"index\":14}]]\n");
}

TEST(DescribeCli, NineDeclaredTextChannelsWarnAndStillDescribe) {
    ImageSpec spec = sample_spec(1, 75);
    spec.declared_text_channels = 9;
    Image image(spec);
    auto r = run_cli({"describe", image.path});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err,
              "Warning: the disc declares 9 text channels, the spec allows at most 8 - the extras are not shown.\n");
    EXPECT_EQ(r.out.rfind("Disc:\n  Version:         1.20\n  Album:           Harbour Lights\n", 0), 0u) << r.out;

    r = run_cli({"describe", image.path, "--lang", "ru", "--json"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err,
              "Предупреждение: на диске заявлено 9 текстовых каналов, спецификация допускает максимум 8 - лишние не "
              "показаны.\n");
    // Only the eight channel entries the block has room for are listed.
    EXPECT_NE(r.out.find("\"char_set\": \"Iso646\""), std::string::npos);
    std::size_t locales = 0;
    for (auto at = r.out.find("\"char_set\""); at != std::string::npos; at = r.out.find("\"char_set\"", at + 1))
        ++locales;
    EXPECT_EQ(locales, 8u);

    // Eight declared channels are within the limit: no warning.
    spec.declared_text_channels = 8;
    Image eight(spec);
    EXPECT_EQ(run_cli({"describe", eight.path}).err, "");
}

TEST(DescribeCli, ErrorsSayWhatWentWrong) {
    testsupport::TempDir dir;
    const std::string small = dir.file("small.iso");
    std::ofstream(small, std::ios::binary) << std::string(4096, 'x');
    ImageSpec damaged_spec = sample_spec(1, 75);
    damaged_spec.defects.damage_primary_master_toc = true;
    Image damaged(damaged_spec);

    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    const Case cases[] = {
        {{"describe", dir.file("missing.iso")},
         "describe: could not read the image: The file could not be found - it may have been moved or deleted.\n"},
        {{"--lang", "ru", "describe", dir.file("missing.iso")},
         "describe: не удалось прочитать образ: Файл не найден - возможно, он был перемещён или удалён.\n"},
        {{"describe", small}, "describe: file not recognised as a SACD image\n"},
        {{"describe", small, "--json"}, "describe: file not recognised as a SACD image\n"},
        {{"describe", "--lang=ru", small}, "describe: файл не распознан как SACD-образ\n"},
        {{"describe", damaged.path, "--full"}, "describe: file not recognised as a SACD image\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.back());
        auto r = run_cli(c.args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, "");
    }
}
