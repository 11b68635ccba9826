// The MusicBrainz client: query forms and order, hits from real-shaped answers, and release
// lookup with relationship credits, discs and the cover address. Every request through the fake
// service costs a second of spacing, so each test sends few.
#include "online/musicbrainz.h"
#include "tests/online/model_print.h"
#include "tests/support/fake_web_service.h"

#include <gtest/gtest.h>

namespace {

using namespace online;
using model::PerformerCredit;
using model::ReleaseTrack;
using testsupport::FakeWebService;
using testsupport::ScopedEnvs;
using Json = nlohmann::json;

const std::string kMbid = "a1b2c3d4-0000-4000-8000-000000000001";

TEST(MusicBrainz, QueryFormsAndOrder) {
    EXPECT_EQ(musicbrainz::search_queries(" Art ", " Say \"Hi\" \\ ", {" 0724355123456 ", "", "SACD-1234"}),
              (std::vector<std::string>{
                  "barcode:0724355123456",
                  "catno:\"0724355123456\"",
                  "catno:\"SACD-1234\"",
                  "barcode:SACD-1234",
                  "artist:\"Art\" AND release:\"Say \\\"Hi\\\" \\\\\"",
                  "artist:\"Art\" AND release:(Say \\\"Hi\\\" \\\\)",
              }));
    EXPECT_EQ(musicbrainz::search_queries("", "T", {}), (std::vector<std::string>{"release:(T)"}));
    EXPECT_TRUE(musicbrainz::search_queries("Artist only", " ", {" "}).empty());
}

// A search answer's release as the service gives it, with keys the client does not read.
Json mb_release(const std::string& id, Json label_info, Json media, Json date = "2003-04-01") {
    return {{"id", id},
            {"score", 100},
            {"status-id", "4e304316"},
            {"count", 1},
            {"title", " Harbour Lights "},
            {"status", "Official"},
            {"text-representation", {{"language", "eng"}, {"script", "Latn"}}},
            {"artist-credit", {{{"name", "The Velmora Quartet"}, {"artist", {{"id", "x"}, {"name", "V"}}}}}},
            {"release-group", {{"id", "rg"}, {"primary-type", "Album"}}},
            {"date", date},
            {"country", " XE "},
            {"release-events", {{{"date", "2003"}, {"area", {{"name", "Europe"}}}}}},
            {"barcode", "0724355123456"},
            {"label-info", label_info},
            {"track-count", 9},
            {"media", media},
            {"tags", {{{"count", 1}, {"name", "jazz"}}}}};
}

TEST(MusicBrainz, SearchSendsEncodedQueriesAndRanksHits) {
    FakeWebService fake;
    ScopedEnvs env(fake.env());
    const Json label_info = {
        {{"label", {{"name", "VLM"}}}}, {{"catalog-number", "  "}}, {{"catalog-number", " VLM-0001 "}}};
    const Json answer = {
        {"created", "2024-01-01T00:00:00.000Z"},
        {"count", 4},
        {"offset", 0},
        {"releases",
         {mb_release("id-cd", {{{"catalog-number", "OTHER"}}}, {{{"format", "CD"}, {"track-count", 9}}}),
          mb_release(" id-sacd ", Json::array(), {{{"format", " Hybrid SACD "}}, {{"format", "Hybrid SACD"}}}, "2003"),
          mb_release("id-cd", Json::array(), Json::array()),
          mb_release("id-match", label_info, {{{"format", "SACD"}}, {{"format", "CD"}}, {{"format", ""}}}, ""),
          mb_release("  ", label_info, Json::array())}}};
    fake.set_routes(
        {{"routes",
          {{{"path", "/ws/2/release/"}, {"query_has", {"AND%20release%3A%28"}}, {"json", answer}},
           {{"path", "/ws/2/release/"}, {"json", {{"releases", {mb_release("", label_info, Json::array())}}}}}}}});

    auto hits = musicbrainz::search_releases(" Velmora ", "Say \"Hi\"", {});
    ASSERT_TRUE(hits) << hits.error();
    const auto requests = fake.requests();
    ASSERT_EQ(requests.size(), 2u);  // the exact phrase had only a release without id
    EXPECT_EQ(
        requests[0]["target"],
        "/ws/2/release/?query=artist%3A%22Velmora%22%20AND%20release%3A%22Say%20%5C%22Hi%5C%22%22&fmt=json&limit=25");
    EXPECT_EQ(
        requests[1]["target"],
        "/ws/2/release/?query=artist%3A%22Velmora%22%20AND%20release%3A%28Say%20%5C%22Hi%5C%22%29&fmt=json&limit=25");

    ASSERT_EQ(hits->size(), 3u);
    EXPECT_EQ(hits->at(0).id, "id-sacd");  // no catalog numbers: SACD formats first
    EXPECT_EQ(hits->at(0).format, "Hybrid SACD");
    EXPECT_EQ(hits->at(0).year, 2003);
    EXPECT_EQ(hits->at(1).id, "id-match");
    EXPECT_EQ(hits->at(1).format, "SACD, CD");
    EXPECT_EQ(hits->at(1).catno, "VLM-0001");
    EXPECT_EQ(hits->at(1).year, 0);
    EXPECT_TRUE(hits->at(1).is_sacd);
    const auto& cd = hits->at(2);
    EXPECT_EQ(cd.id, "id-cd");
    EXPECT_EQ(cd.catno, "OTHER");
    EXPECT_EQ(cd.source, "musicbrainz");
    EXPECT_EQ(cd.title, "Harbour Lights");
    EXPECT_EQ(cd.country, "XE");
    EXPECT_EQ(cd.thumb, "");
    EXPECT_FALSE(cd.is_sacd);
}

TEST(MusicBrainz, SearchStopsAtTheFirstFailureAndRefusesWrongShapes) {
    FakeWebService fake;
    ScopedEnvs env(fake.env());
    EXPECT_TRUE(musicbrainz::search_releases("A", "", {}));  // nothing to search for: no request
    fake.answer("/ws/2/release/", {{"json", {{"releases", {mb_release("x", Json::array(), Json::array(), nullptr)}}}}});
    auto null_date = musicbrainz::search_releases("", "T", {"123", "456"});
    ASSERT_FALSE(null_date);
    EXPECT_EQ(null_date.error(),
              "unexpected MusicBrainz response: response.releases[0].date: expected a string, found null");
    fake.answer("/ws/2/release/", {{"body", "{\"releases\": [}"}});
    auto broken = musicbrainz::search_releases("", "T", {});
    ASSERT_FALSE(broken);
    EXPECT_EQ(broken.error().rfind("unexpected MusicBrainz response: [json.exception.parse_error.101] parse error at "
                                   "line 1, column 15",
                                   0),
              0u)
        << broken.error();
    EXPECT_EQ(fake.requests().size(), 2u);
}

// A release lookup answer as the service gives it (inc=recordings+artist-credits+labels+...).
Json lookup_answer() {
    auto artist = [](const char* name) {
        return Json{{"id", "aid"}, {"name", name}, {"sort-name", name}, {"type", nullptr}};
    };
    auto relation = [&](const char* type, Json attributes, Json who) {
        return Json{{"type", type}, {"type-id", "t"}, {"direction", "backward"}, {"attributes", attributes},
                    {"attribute-values", Json::object()}, {"target-type", "artist"}, {"artist", who}, {"ended", false}};
    };
    Json work = {{"id", "wid"},
                 {"title", "The Work"},
                 {"relations",
                  {relation("composer", Json::array(), artist(" Composer Person ")),
                   {{"type", "lyricist"}, {"attributes", Json::array()}, {"target-type", "artist"}},
                   relation("arranger", Json::array(), nullptr)}}};
    Json recording1 = {{"id", "r1"},
                       {"title", "x"},
                       {"length", 1000},
                       {"relations",
                        {relation("instrument", {"piano", " "}, artist("Pianist")),
                         relation("instrument", {"violin", "viola"}, artist("Strings Person")),
                         relation("vocal", Json::array(), artist("Singer")),
                         {{"type", "performance"}, {"attributes", {"live"}}, {"target-type", "work"}, {"work", work}},
                         relation("producer", Json::array(), artist("Producer Person"))}}};
    auto track = [](unsigned position, const char* title, Json recording) {
        return Json{{"id", "tid"}, {"position", position}, {"number", std::to_string(position)},
                    {"title", title}, {"length", 1000}, {"recording", recording}};
    };
    return {
        {"id", " " + kMbid + " "},
        {"title", " Harbour \u2018Lights\u2019 "},
        {"date", "2003"},
        {"barcode", "0-7243 55123 45 6"},
        {"country", " XE "},
        {"status", "Official"},
        {"cover-art-archive", {{"front", true}, {"count", 1}}},
        {"artist-credit", {{{"name", " "}, {"joinphrase", ""}}, {{"name", " The Velmora Quartet "}}}},
        {"label-info", {{{"catalog-number", ""}, {"label", {{"name", "VLM"}}}}, {{"catalog-number", " VLM-0001 "}}}},
        {"media",
         {{{"position", 2}, {"format", "SACD"}, {"tracks", {track(1, "Second Disc", nullptr)}}},
          {{"position", 1},
           {"format", "SACD"},
           {"track-count", 3},
           {"tracks",
            {track(3, " Third ", {{"id", "r3"}}), track(1, "First", recording1),
             track(2, "Second", {{"id", "r2"}, {"relations", Json::array()}})}}}}}};
}

TEST(MusicBrainz, FetchReleaseBuildsTheReleaseRecord) {
    FakeWebService fake;
    ScopedEnvs env(fake.env());
    fake.answer("/ws/2/release/" + kMbid, {{"json", lookup_answer()}});
    auto r = musicbrainz::fetch_release(" https://musicbrainz.example/release/" + kMbid + "#tracks ");
    ASSERT_TRUE(r) << r.error();
    ASSERT_EQ(fake.requests().size(), 1u);
    EXPECT_EQ(fake.requests()[0]["target"],
              "/ws/2/release/" + kMbid +
                  "?inc=recordings+artist-credits+labels+artist-rels+recording-level-rels+work-rels+work-level-rels"
                  "&fmt=json");

    EXPECT_EQ(r->artist, "The Velmora Quartet");
    EXPECT_EQ(r->title, "Harbour 'Lights'");
    EXPECT_EQ(r->disc_catalog, "VLM-0001");
    EXPECT_EQ(r->album_catalog, "0724355123456");
    EXPECT_EQ(r->cover_image, fake.base() + "/release/" + kMbid + "/front");
    EXPECT_EQ(r->country, "XE");
    EXPECT_EQ(r->web_page, fake.base() + "/release/" + kMbid);
    EXPECT_EQ(r->year, 2003);

    const std::vector<PerformerCredit> performers{
        {"Pianist", "piano"}, {"Strings Person", "violin and viola"}, {"Singer", std::nullopt}};
    const std::vector<model::ReleaseDisc> discs = {
        {{ReleaseTrack{"First", "Pianist (piano); Strings Person (violin and viola); Singer", performers, "",
                       "Composer Person", ""},
          ReleaseTrack{"Second", "", {}, "", "", ""}, ReleaseTrack{"Third", "", {}, "", "", ""}},
         1},
        {{ReleaseTrack{"Second Disc", "", {}, "", "", ""}}, 2},
    };
    EXPECT_EQ(r->discs, discs);
}

TEST(MusicBrainz, ReleaseAnswersOfTheWrongShapeAndFailedLookups) {
    auto decode = [](const Json& answer) {
        return musicbrainz::release_from_answer(answer.dump(), kMbid, "https://caa.example", "https://web.example");
    };
    auto empty = decode(Json::object());
    ASSERT_TRUE(empty) << empty.error();
    EXPECT_EQ(empty->web_page, "");
    EXPECT_EQ(empty->cover_image, "https://caa.example/release/" + kMbid + "/front");
    EXPECT_TRUE(empty->discs.empty());

    const std::pair<Json, std::string> bad[] = {
        {{{"barcode", nullptr}}, "response.barcode: expected a string, found null"},
        {{{"media", {{{"position", -1}}}}},
         "response.media[0].position: expected an unsigned whole number up to 4294967295, found -1"},
        {{{"media", {{{"tracks", {{{"recording", {{"relations", {{{"artist", "Name"}}}}}}}}}}}}},
         "response.media[0].tracks[0].recording.relations[0].artist: expected an object, found string"},
        {{{"media", {{{"tracks", {{{"title", nullptr}}}}}}}},
         "response.media[0].tracks[0].title: expected a string, found null"},
    };
    for (const auto& [answer, error] : bad) {
        auto r = decode(answer);
        ASSERT_FALSE(r) << answer.dump();
        EXPECT_EQ(r.error(), "unexpected MusicBrainz response: " + error);
    }

    // Nesting far beyond any real answer is refused before the readers walk it.
    std::string deep = "{\"media\": [{\"tracks\": [{\"recording\": {\"relations\": [";
    for (int i = 0; i < 40; ++i) deep += "{\"type\": \"performance\", \"work\": {\"relations\": [";
    for (int i = 0; i < 40; ++i) deep += "]}}";
    deep += "]}}]}]}";
    ASSERT_TRUE(Json::accept(deep));
    auto too_deep = musicbrainz::release_from_answer(deep, kMbid, "c", "w");
    ASSERT_FALSE(too_deep);
    EXPECT_EQ(too_deep.error(), "unexpected MusicBrainz response: values nested deeper than 64 levels");

    FakeWebService fake;
    ScopedEnvs env(fake.env());
    auto nothing = musicbrainz::fetch_release("https://musicbrainz.example/release/");
    ASSERT_FALSE(nothing);
    EXPECT_EQ(nothing.error(), "MusicBrainz found nothing for that request");
    EXPECT_TRUE(fake.requests().empty());
    auto missing = musicbrainz::fetch_release(kMbid);  // the fake answers 404
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error(), "MusicBrainz found nothing for that request");
    EXPECT_EQ(fake.requests().size(), 1u);
}

}  // namespace
