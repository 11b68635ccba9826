// The lookup command end to end: the real binary on builder images against the fake service.
#include "tools/image_builder/image_builder.h"
#include "tests/support/fake_web_service.h"
#include "tests/support/process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using testsupport::FakeWebService;
using testsupport::run_cli;
using testsupport::TempDir;
using Json = nlohmann::json;

const Json kNoResults = {{"results", Json::array()}};

std::string make_image(const TempDir& dir, const std::string& album_catalog, const std::string& disc_catalog) {
    auto spec = image_builder::sample_spec(1, 75);
    spec.album_catalog = album_catalog;
    spec.disc_catalog = disc_catalog;
    const std::string path = dir.file("disc.iso");
    auto built = image_builder::build_image(spec, path);
    EXPECT_TRUE(built) << built.error();
    return path;
}

Json discogs_hit(std::uint64_t id, const char* title, Json year, const char* catno, Json format, const char* country) {
    return {{"id", id}, {"title", title}, {"year", year}, {"catno", catno}, {"format", format}, {"country", country},
            {"thumb", "https://img.example/" + std::to_string(id) + ".jpg"}, {"type", "release"}, {"label", {"VLM"}}};
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Every file under a folder with its contents.
std::map<std::string, std::string> snapshot(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder))
        if (e.is_regular_file()) files[e.path().string()] = read_file(e.path().string());
    return files;
}

TEST(Lookup, DiscogsListsRankedHitsWithLinks) {
    TempDir dir;
    const std::string iso = make_image(dir, "0724355123456", " VLM-0001 ");
    FakeWebService fake;
    const Json hits = {{"results",
                        {discogs_hit(11, "Other - Release", "2001", "XYZ 1", {"CD", "Album"}, "US"),
                         discogs_hit(22, "Velmora - Harbour Lights", 2004, "VLM-0001", {"SACD", "Hybrid"}, "Europe"),
                         discogs_hit(33, "Velmora - Harbour Lights", 0, " ", Json::array(), "")}}};
    fake.set_routes({{"routes",
                      {{{"path", "/database/search"}, {"query_has", {"barcode=0724355123456", "format=SACD"}},
                        {"json", hits}}}},
                     {"fallback", {{"json", kNoResults}}}});
    auto r = run_cli({"lookup", iso, "--discogs-token", "tok"}, fake.env());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::string web = fake.base() + "/release/";
    EXPECT_EQ(r.out, "Releases found: 3 (a star marks a catalog match)\n"
                     "*1. 22  Velmora - Harbour Lights  (2004)  [VLM-0001]  SACD, Hybrid Europe (SACD)  " + web + "22\n"
                     " 2. 11  Other - Release  (2001)  [XYZ 1]  CD, Album US  " + web + "11\n"
                     " 3. 33  Velmora - Harbour Lights  (-)  [-]  - -  " + web + "33\n");
    const auto requests = fake.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0]["target"], "/database/search?type=release&per_page=25&barcode=0724355123456&format=SACD");
    EXPECT_EQ(testsupport::header(requests[0], "Authorization"), "Discogs token=tok");

    // The same hits for scripts: SearchHit objects, keys in field order (jq as the judge).
    auto json = run_cli({"lookup", iso, "--json", "--discogs-token", "tok"}, fake.env());
    ASSERT_EQ(json.status, 0) << json.err;
    std::ofstream(dir.file("hits.json")) << json.out;
    auto keys =
        testsupport::run_process("/usr/bin/jq", {"-r", ".[0] | keys_unsorted | join(\",\")", dir.file("hits.json")});
    EXPECT_EQ(keys.out, "id,source,title,catno,format,country,thumb,year,catalog_match,is_sacd\n");
    auto ids = testsupport::run_process(
        "/usr/bin/jq",
        {"-c", "[.[] | [.id, .source, .year, .catalog_match, .is_sacd, .thumb]]", dir.file("hits.json")});
    EXPECT_EQ(ids.out, "[[\"22\",\"discogs\",2004,true,true,\"https://img.example/22.jpg\"],"
                       "[\"11\",\"discogs\",2001,false,false,\"https://img.example/11.jpg\"],"
                       "[\"33\",\"discogs\",0,false,false,\"https://img.example/33.jpg\"]]\n");
}

TEST(Lookup, MusicBrainzListsHitsWithoutAToken) {
    TempDir dir;
    const std::string iso = make_image(dir, "VLM-0001", "VLM-0001");
    FakeWebService fake;
    const Json answer = {{"created", "2024-01-01T00:00:00.000Z"},
                         {"count", 1},
                         {"releases",
                          {{{"id", "a1b2c3d4-0000-4000-8000-000000000001"},
                            {"score", 100},
                            {"title", "Harbour Lights"},
                            {"date", "2004-05-17"},
                            {"country", "XE"},
                            {"label-info", {{{"catalog-number", "VLM-0001"}, {"label", {{"name", "VLM"}}}}}},
                            {"media", {{{"format", "Hybrid SACD"}, {"disc-count", 1}}}}}}}};
    fake.answer("/ws/2/release/", {{"json", answer}});
    auto r = run_cli({"lookup", "--source", "musicbrainz", iso}, fake.env());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Releases found: 1 (a star marks a catalog match)\n"
                     "*1. a1b2c3d4-0000-4000-8000-000000000001  Harbour Lights  (2004)  [VLM-0001]  Hybrid SACD XE "
                     "(SACD)  " + fake.base() + "/release/a1b2c3d4-0000-4000-8000-000000000001\n");
    const auto requests = fake.requests();
    ASSERT_EQ(requests.size(), 1u);  // the one catalog number, tried as catalog number first
    EXPECT_EQ(requests[0]["target"], "/ws/2/release/?query=catno%3A%22VLM-0001%22&fmt=json&limit=25");
    EXPECT_FALSE(testsupport::has_header(requests[0], "Authorization"));

    auto json = run_cli({"lookup", "--source", "musicbrainz", iso, "--json"}, fake.env());
    ASSERT_EQ(json.status, 0) << json.err;
    const Json parsed = Json::parse(json.out);
    EXPECT_EQ(parsed.at(0).at("source"), "musicbrainz");
    EXPECT_EQ(parsed.at(0).at("thumb"), "");
}

TEST(Lookup, NothingFoundAndFailures) {
    TempDir dir;
    const std::string iso = make_image(dir, "VLM-0001", "VLM-0001");
    FakeWebService fake;
    fake.answer("/database/search", {{"json", kNoResults}});
    auto none = run_cli({"lookup", iso, "--discogs-token", "tok"}, fake.env());
    EXPECT_EQ(none.status, 0) << none.err;
    EXPECT_EQ(none.out, "Nothing found.\n");
    EXPECT_EQ(fake.requests().size(), 7u);  // catno and barcode with and without SACD, two artist forms, title
    auto none_json = run_cli({"lookup", iso, "--json", "--discogs-token", "tok"}, fake.env());
    EXPECT_EQ(none_json.out, "[]\n");

    struct Case {
        std::vector<std::string> args;
        Json answer;
        std::string err;
    };
    const Case cases[] = {
        {{"--discogs-token", "tok"},
         {{"status", 401}},
         "lookup: Discogs rejected the request - check your API token\n"},
        {{"--discogs-token", "tok", "--lang", "ru"},
         {{"status", 404}},
         "lookup: Discogs ничего не нашёл по этому запросу\n"},
        {{"--discogs-token", "tok"},
         {{"body", "[1"}},
         "lookup: unexpected Discogs response: [json.exception.parse_error.101] parse error at line 1, column 3: "
         "syntax error while parsing array - unexpected end of input; expected ']'\n"},
        {{"--source", "musicbrainz"}, {{"status", 503}}, "lookup: MusicBrainz is busy - wait a moment and retry\n"},
        {{"--source", "musicbrainz"},
         {{"close", "before"}},
         "lookup: could not reach MusicBrainz - check your internet connection\n"},
    };
    for (const auto& c : cases) {
        fake.set_routes({{"fallback", c.answer}});
        std::vector<std::string> args{"lookup", iso};
        args.insert(args.end(), c.args.begin(), c.args.end());
        auto r = run_cli(args, fake.env());
        EXPECT_EQ(r.status, 1) << c.err;
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, "");
    }

    auto bad_address = fake.env();
    bad_address["VELMORA_DISCOGS_API"] = "api.discogs.example";
    auto r = run_cli({"lookup", iso, "--discogs-token", "tok"}, bad_address);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "lookup: VELMORA_DISCOGS_API must be a base address of the form scheme://host[:port] (got "
                     "'api.discogs.example')\n");
}

TEST(Lookup, TheTokenGoesOnlyToDiscogsAndIsNeverShownOrWritten) {
    TempDir dir, appdata, home;
    const std::string iso = make_image(dir, "VLM-0001", "VLM-0001");
    const std::string settings_token = "settings-secret-7f3a";
    const std::string argument_token = "argument-secret-91bc";
    std::filesystem::create_directories(appdata.path() + "/velmora");
    std::ofstream(appdata.file("velmora/settings.json"))
        << Json{{"discogsToken", settings_token}, {"language", "ru"}}.dump();
    const auto before = snapshot(appdata.path());

    FakeWebService fake({"127.0.0.1", "127.0.0.2"});
    auto env = fake.env();
    env["APPDATA"] = appdata.path();
    env["HOME"] = home.path();
    env["TMPDIR"] = dir.path();
    // Discogs answers with a redirect to the other host, MusicBrainz (on the other host) with a 500.
    env["VELMORA_MUSICBRAINZ_API"] = fake.base(1);
    fake.set_routes({{"routes",
                      {{{"path", "/database/search"}, {"status", 302},
                        {"headers", {{"Location", fake.base(1) + "/database/search"}}}},
                       {{"path", "/ws/2/release/"}, {"status", 500}}}}});

    std::vector<testsupport::ProcessResult> runs = {
        run_cli({"lookup", iso}, env),
        run_cli({"lookup", iso, "--discogs-token", argument_token}, env),
        run_cli({"lookup", iso, "--source", "musicbrainz", "--discogs-token", argument_token}, env),
    };
    for (const auto& r : runs) {
        EXPECT_EQ(r.status, 1) << r.err;
        for (const auto& secret : {settings_token, argument_token}) {
            EXPECT_EQ(r.out.find(secret), std::string::npos);
            EXPECT_EQ(r.err.find(secret), std::string::npos);
        }
    }
    EXPECT_EQ(runs[0].err, "lookup: Discogs request failed: the server answered with status 302 Found\n");
    EXPECT_EQ(runs[2].err,
              "lookup: MusicBrainz request failed: the server answered with status 500 Internal Server Error\n");

    const auto requests = fake.requests();
    ASSERT_EQ(requests.size(), 3u);  // nothing retried, the redirects not followed
    EXPECT_EQ(requests[0]["listener"], 0);
    EXPECT_EQ(testsupport::header(requests[0], "Authorization"), "Discogs token=" + settings_token);
    EXPECT_EQ(requests[1]["listener"], 0);
    EXPECT_EQ(testsupport::header(requests[1], "Authorization"), "Discogs token=" + argument_token);
    EXPECT_EQ(requests[2]["listener"], 1);
    EXPECT_EQ(requests[2].dump().find("secret"), std::string::npos) << requests[2].dump();

    // Nothing written: the settings folder is as it was, and no file appeared anywhere else.
    EXPECT_EQ(snapshot(appdata.path()), before);
    EXPECT_TRUE(snapshot(home.path()).empty());
    EXPECT_EQ(snapshot(dir.path()).size(), 1u);  // the image
}

TEST(Lookup, ABlankTokenStopsBeforeAnyRequest) {
    TempDir dir, appdata;
    const std::string iso = make_image(dir, "VLM-0001", "VLM-0001");
    std::filesystem::create_directories(appdata.path() + "/velmora");
    std::ofstream(appdata.file("velmora/settings.json")) << R"({"discogsToken": " \t "})";
    FakeWebService fake;
    auto env = fake.env();
    env["APPDATA"] = appdata.path();
    for (const std::vector<std::string>& extra : {std::vector<std::string>{}, {"--discogs-token", "  "}}) {
        std::vector<std::string> args{"lookup", iso};
        args.insert(args.end(), extra.begin(), extra.end());
        auto r = run_cli(args, env);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, "lookup: a Discogs search needs a token - pass --discogs-token <t> or set it in the "
                         "application settings (MusicBrainz needs no token)\n");
    }
    EXPECT_TRUE(fake.requests().empty());
}

}  // namespace
