// The JSON report, judged by jq as an independent reader: key order, nulls, escaping, numbers.
#include "sacd/describe/json_report.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <nlohmann/json.hpp>

#include "tests/support/process.h"

using namespace sacd;
using namespace sacd::describe;

namespace {

const char* jq_path() {
    for (const char* p : {"/usr/bin/jq", "/usr/local/bin/jq", "/bin/jq"})
        if (std::filesystem::exists(p)) return p;
    return nullptr;
}

// Runs a jq filter over a document and returns its compact output without the final line break.
class Jq {
public:
    explicit Jq(const std::string& document) : file_(dir_.file("report.json")) {
        std::ofstream(file_, std::ios::binary) << document;
    }
    std::string operator()(const std::string& filter, const std::string& mode = "-c") const {
        auto r = testsupport::run_process(jq_path(), {mode, filter, file_});
        EXPECT_EQ(r.status, 0) << filter << ": " << r.err;
        if (!r.out.empty() && r.out.back() == '\n') r.out.pop_back();
        return r.out;
    }

private:
    testsupport::TempDir dir_;
    std::string file_;
};

std::string keys(std::initializer_list<const char*> names) {
    std::string s = "[";
    for (const char* n : names) s += (s.size() > 1 ? ",\"" : "\"") + std::string(n) + "\"";
    return s + "]";
}

const std::string kTrackTextKeyList =
    "\"title\",\"performer\",\"songwriter\",\"composer\",\"arranger\",\"message\",\"extra_message\",\"copyright\","
    "\"title_phonetic\",\"performer_phonetic\",\"songwriter_phonetic\",\"composer_phonetic\",\"arranger_phonetic\","
    "\"message_phonetic\",\"extra_message_phonetic\",\"copyright_phonetic\"";

DiscDescription full_description() {
    DiscDescription d;
    d.spec_version = "1.20";
    d.set_size = 2;
    d.set_sequence = 1;
    d.album_catalog = "ABC-123";
    d.date = "2005-03-07";
    d.hybrid = true;
    d.weblink = "http://velmora.example";
    d.locales = {{0, "en", "Iso8859_1"}, {1, "ja", "RisShiftJis"}};
    MasterTextDescription mt;
    mt.album_title = "Line one\nLine two";
    mt.album_artist = "\xE6\x97\xA5\xE6\x9C\xAC";
    mt.disc_copyright_phonetic = "q\"b\\s/\b\f\r\t\x01\x1F\x7F";
    d.master_text = {mt};

    AreaDescription a;
    a.index = 0;
    a.kind = "Stereo";
    a.channel_count = 2;
    a.max_available_channels = 2;
    a.loudspeaker_config = "Stereo";
    a.frame_format = 2;
    a.track_count = 2;
    a.area_mute_flags = {false, true, false, false};
    a.total_area_play_time = "--:--:--";
    a.audio_lsn_start = 1000;
    a.audio_lsn_end = 999;
    a.audio_sectors = 0xFFFFFFFF;
    a.area_text = {{"Stereo mix", std::nullopt, std::nullopt, std::nullopt}};
    a.track_weblinks = {"http://a.example/1", std::nullopt};
    a.playlists = {{"Best", {{3, 1}, {4, 2}}}, {std::nullopt, {}}};

    TrackDescription t1;
    t1.index = 1;
    t1.title = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E";
    TrackLocaleText en;
    en.title = "Nihongo";
    TrackLocaleText ja;
    ja.locale = 1;
    ja.title = *t1.title;
    t1.text_by_locale = {en, ja};
    t1.start_time = "00:02:00";
    t1.duration = "04:10:03";
    t1.start_frames = 150;
    t1.duration_frames = 18753;
    t1.pause_frames = 150;
    t1.lsn_start = 1000;
    t1.lsn_length = 500;
    t1.isrc = "GBF080500201";
    t1.isrc_components = IsrcComponents{"GB", "F08", "05", "00201"};
    t1.genre = GenreRef{1, 14};
    t1.index_list_present = true;
    t1.track_mute_flags = {true, false, false, true};
    t1.extra_use = 5;
    TrackDescription t2;
    t2.index = 2;
    a.tracks = {t1, t2};
    d.areas = {a};
    return d;
}

}  // namespace

TEST(JsonReport, LayoutOfASmallDocument) {
    DiscDescription d;
    d.spec_version = "1.02";
    d.set_size = 1;
    d.set_sequence = 1;
    d.disc_catalog = "EMI 5099";
    d.album_genre = {{1, 14}};
    d.has_revocation_data = true;
    auto json = render_json(d);
    ASSERT_TRUE(json.ok());
    EXPECT_EQ(*json,
              "{\n"
              "  \"disc\": {\n"
              "    \"spec_version\": \"1.02\",\n"
              "    \"set_size\": 1,\n"
              "    \"set_sequence\": 1,\n"
              "    \"album_catalog\": null,\n"
              "    \"disc_catalog\": \"EMI 5099\",\n"
              "    \"album_genre\": [\n"
              "      {\n"
              "        \"table\": 1,\n"
              "        \"index\": 14\n"
              "      }\n"
              "    ],\n"
              "    \"disc_genre\": [],\n"
              "    \"date\": null,\n"
              "    \"hybrid\": false,\n"
              "    \"weblink\": null,\n"
              "    \"has_extension_area\": false,\n"
              "    \"has_ekb1\": false,\n"
              "    \"has_ekb2\": false,\n"
              "    \"has_revocation_data\": true\n"
              "  },\n"
              "  \"locales\": [],\n"
              "  \"master_text\": [],\n"
              "  \"areas\": []\n"
              "}");
}

TEST(JsonReport, KeyOrderValuesAndEscapingAsJqReadsThem) {
    if (!jq_path()) GTEST_SKIP() << "jq is not installed";
    const DiscDescription d = full_description();
    auto json = render_json(d);
    ASSERT_TRUE(json.ok()) << json.error();
    Jq jq(*json);

    EXPECT_EQ(jq("keys_unsorted"), keys({"disc", "locales", "master_text", "areas"}));
    EXPECT_EQ(jq(".disc | keys_unsorted"),
              keys({"spec_version", "set_size", "set_sequence", "album_catalog", "disc_catalog", "album_genre",
                    "disc_genre", "date", "hybrid", "weblink", "has_extension_area", "has_ekb1", "has_ekb2",
                    "has_revocation_data"}));
    EXPECT_EQ(jq(".locales"),
              "[{\"index\":0,\"language\":\"en\",\"char_set\":\"Iso8859_1\"},"
              "{\"index\":1,\"language\":\"ja\",\"char_set\":\"RisShiftJis\"}]");
    EXPECT_EQ(jq(".master_text[0] | keys_unsorted"),
              keys({"locale", "album_title", "album_artist", "album_publisher", "album_copyright",
                    "album_title_phonetic", "album_artist_phonetic", "album_publisher_phonetic",
                    "album_copyright_phonetic", "disc_title", "disc_artist", "disc_publisher", "disc_copyright",
                    "disc_title_phonetic", "disc_artist_phonetic", "disc_publisher_phonetic",
                    "disc_copyright_phonetic"}));
    EXPECT_EQ(jq(".areas[0] | keys_unsorted"),
              keys({"index", "kind", "channel_count", "max_available_channels", "loudspeaker_config", "extra_setting",
                    "frame_format", "dst_coded", "track_count", "track_offset", "first_bonus_track_number",
                    "area_mute_flags", "track_attribute", "total_area_play_time", "total_area_play_time_frames",
                    "audio_lsn_start", "audio_lsn_end", "audio_sectors", "area_text", "track_weblinks", "playlists",
                    "tracks"}));
    EXPECT_EQ(jq(".areas[0].area_text"),
              "{\"channels\":[{\"description\":\"Stereo mix\",\"copyright\":null,\"description_phonetic\":null,"
              "\"copyright_phonetic\":null}]}");
    EXPECT_EQ(jq(".areas[0] | [.area_mute_flags, .total_area_play_time, .total_area_play_time_frames, .audio_sectors]"),
              "[[false,true,false,false],\"--:--:--\",0,4294967295]");
    EXPECT_EQ(jq(".areas[0].track_weblinks"), "[\"http://a.example/1\",null]");
    EXPECT_EQ(jq(".areas[0].playlists"),
              "[{\"name\":\"Best\",\"entries\":[{\"track\":3,\"index\":1},{\"track\":4,\"index\":2}]},"
              "{\"name\":null,\"entries\":[]}]");

    EXPECT_EQ(jq(".areas[0].tracks[0] | keys_unsorted"),
              "[\"index\"," + kTrackTextKeyList +
                  ",\"text_by_locale\",\"start_time\",\"duration\",\"start_frames\",\"duration_frames\","
                  "\"pause_frames\",\"lsn_start\",\"lsn_length\",\"isrc\",\"isrc_components\",\"genre\",\"dst_coded\","
                  "\"index_list_present\",\"track_mute_flags\",\"extra_use\"]");
    EXPECT_EQ(jq(".areas[0].tracks[0].text_by_locale | map(keys_unsorted) | unique"),
              "[[\"locale\"," + kTrackTextKeyList + "]]");
    EXPECT_EQ(jq(".areas[0].tracks[0] | [.start_time, .duration, .start_frames, .duration_frames, .pause_frames, "
                 ".lsn_start, .lsn_length, .isrc, .isrc_components, .genre, .dst_coded, .index_list_present, "
                 ".track_mute_flags, .extra_use]"),
              "[\"00:02:00\",\"04:10:03\",150,18753,150,1000,500,\"GBF080500201\",{\"country_code\":\"GB\","
              "\"owner_code\":\"F08\",\"recording_year\":\"05\",\"designation_code\":\"00201\"},"
              "{\"table\":1,\"index\":14},false,true,[true,false,false,true],5]");
    // Absent texts are null in the track, empty strings in the per-channel records.
    EXPECT_EQ(jq(".areas[0].tracks[0] | [.performer, .text_by_locale[0].title, .text_by_locale[0].performer, "
                 ".text_by_locale[1].locale]"),
              "[null,\"Nihongo\",\"\",1]");
    EXPECT_EQ(jq(".areas[0].tracks[1] | [.title, .text_by_locale, .isrc, .isrc_components, .genre, .start_time]"),
              "[null,[],null,null,null,\"--:--:--\"]");

    // Escapes as written, and the original texts as jq reads them back.
    EXPECT_NE(json->find("\"album_title\": \"Line one\\nLine two\""), std::string::npos);
    EXPECT_NE(json->find("\"disc_copyright_phonetic\": \"q\\\"b\\\\s/\\b\\f\\r\\t\\u0001\\u001f\x7F\""),
              std::string::npos);
    EXPECT_NE(json->find("\"album_artist\": \"\xE6\x97\xA5\xE6\x9C\xAC\""), std::string::npos);
    EXPECT_EQ(jq(".master_text[0].disc_copyright_phonetic", "-j"), *d.master_text[0].disc_copyright_phonetic);
    EXPECT_EQ(jq(".master_text[0].album_title", "-j"), "Line one\nLine two");
    EXPECT_EQ(jq(".areas[0].tracks[0].title", "-j"), "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E");
}

TEST(JsonReport, RoundTripsAndIsStable) {
    const DiscDescription d = full_description();
    auto first = render_json(d);
    auto second = render_json(d);
    ASSERT_TRUE(first.ok());
    ASSERT_TRUE(second.ok());
    EXPECT_EQ(*first, *second);
    EXPECT_EQ(nlohmann::ordered_json::parse(*first).dump(2), *first);
    EXPECT_NE(first->back(), '\n');
}

TEST(JsonReport, TextThatIsNotUtf8IsAnErrorNotAnAlteredValue) {
    DiscDescription d = full_description();
    d.areas[0].tracks[0].title = std::string("bad \xFF byte");
    auto json = render_json(d);
    ASSERT_FALSE(json.ok());
    EXPECT_FALSE(json.error().empty());
}
