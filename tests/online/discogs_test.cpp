// The Discogs client against the fake service: search order and encoding, decoding of real-shaped
// answers, ranking, and release fetching with track list flattening, credits and discs.
#include "online/discogs.h"
#include "tests/online/model_print.h"
#include "tests/support/fake_web_service.h"

#include <gtest/gtest.h>

namespace {

using namespace online;
using discogs::ApiCredit;
using discogs::ApiTrack;
using model::SearchHit;
using testsupport::FakeWebService;
using testsupport::ScopedEnvs;
using Json = nlohmann::json;

const Json kNoResults = {
    {"pagination", {{"page", 1}, {"pages", 0}, {"per_page", 25}, {"items", 0}, {"urls", Json::object()}}},
    {"results", Json::array()}};

// A search result as the API gives it, with the keys the client does not read.
Json api_hit(std::uint64_t id, const std::string& catno, Json format, Json year = "2004") {
    return {{"country", "Europe"},      {"year", year},        {"format", format},
            {"label", {"EMI"}},         {"type", "release"},   {"genre", {"Jazz"}},
            {"id", id},                 {"barcode", {"5099"}}, {"user_data", {{"in_wantlist", false}}},
            {"master_id", 0},           {"master_url", nullptr}, {"uri", "/release/" + std::to_string(id) + "-X"},
            {"catno", catno},           {"title", " Artist - Title "}, {"thumb", "https://img.example/t.jpg"},
            {"community", {{"want", 3}, {"have", 9}}}, {"formats", {{{"name", "SACD"}, {"qty", "1"}}}}};
}

std::vector<std::string> queries(const FakeWebService& fake) {
    std::vector<std::string> out;
    for (const auto& r : fake.requests()) {
        EXPECT_EQ(r["path"], "/database/search");
        out.push_back(r["query"]);
    }
    return out;
}

TEST(Discogs, SearchTriesCatalogNumbersThenArtistAndTitleThenTitle) {
    FakeWebService fake;
    ScopedEnvs env(fake.env());
    fake.answer("/database/search", {{"json", kNoResults}});
    auto hits = discogs::search_releases(" Art & Co ", " Caf\u00E9 ", {" 1234567 ", "", "0724355123456"}, "tok");
    ASSERT_TRUE(hits) << hits.error();
    EXPECT_TRUE(hits->empty());
    const std::string p = "type=release&per_page=25&";
    EXPECT_EQ(queries(fake), (std::vector<std::string>{
                                 p + "catno=1234567&format=SACD",
                                 p + "catno=1234567",
                                 p + "barcode=1234567&format=SACD",
                                 p + "barcode=1234567",
                                 p + "barcode=0724355123456&format=SACD",
                                 p + "barcode=0724355123456",
                                 p + "catno=0724355123456&format=SACD",
                                 p + "catno=0724355123456",
                                 p + "artist=Art%20%26%20Co&release_title=Caf%C3%A9&format=SACD",
                                 p + "artist=Art%20%26%20Co&release_title=Caf%C3%A9",
                                 p + "release_title=Caf%C3%A9&format=SACD",
                             }));

    fake.clear_requests();
    ASSERT_TRUE(discogs::search_releases("Artist only", "", {}, "tok"));
    EXPECT_TRUE(fake.requests().empty());
}

TEST(Discogs, FirstQueryWithHitsWinsAndIsRanked) {
    FakeWebService fake;
    ScopedEnvs env(fake.env());
    const Json hits = {{"results",
                        {api_hit(1, "OTHER 1", {"CD", "Album"}), api_hit(2, "x", {"SACD", "Hybrid"}),
                         api_hit(1, "dup", {"SACD"}), api_hit(3, " vlm 0001 ", {"CD"}), api_hit(0, "none", {"SACD"})}}};
    fake.set_routes({{"routes", {{{"path", "/database/search"}, {"query_has", {"catno=VLM-0001"}}, {"json", hits}}}},
                     {"fallback", {{"json", kNoResults}}}});
    auto found = discogs::search_releases("A", "T", {"VLM-0001"}, "tok");
    ASSERT_TRUE(found) << found.error();
    ASSERT_EQ(found->size(), 3u);
    EXPECT_EQ(fake.requests().size(), 1u);
    const SearchHit& first = found->at(0);
    EXPECT_EQ(first.id, "3");
    EXPECT_TRUE(first.catalog_match);
    EXPECT_EQ(first.catno, "vlm 0001");
    EXPECT_EQ(found->at(1).id, "2");  // SACD before CD
    EXPECT_EQ(found->at(2).id, "1");
    EXPECT_EQ(found->at(2).catno, "OTHER 1");  // the first of the two hits with id 1
    EXPECT_EQ(first.source, "discogs");
    EXPECT_EQ(first.title, "Artist - Title");
    EXPECT_EQ(first.format, "CD");
    EXPECT_EQ(found->at(1).format, "SACD, Hybrid");
    EXPECT_TRUE(found->at(1).is_sacd);
    EXPECT_EQ(first.country, "Europe");
    EXPECT_EQ(first.thumb, "https://img.example/t.jpg");
    EXPECT_EQ(first.year, 2004);
}

TEST(Discogs, AFailingQueryEndsTheSearch) {
    FakeWebService fake;
    ScopedEnvs env(fake.env());
    fake.answer("/database/search", {{"status", 429}});
    auto r = discogs::search_releases("A", "T", {"123"}, "tok");
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error(), "Discogs rate limit reached - wait a minute and retry");
    EXPECT_EQ(fake.requests().size(), 1u);
}

TEST(Discogs, SearchHitYears) {
    FakeWebService fake;
    ScopedEnvs env(fake.env());
    const std::pair<Json, std::uint16_t> years[] = {
        {1999, 1999}, {70000, 65535}, {" 2001 ", 2001}, {"+1998", 1998}, {"65536", 0}, {"-5", 0},  {-5, 0},
        {1999.0, 0},  {"19.5", 0},    {"", 0},          {nullptr, 0},    {Json::array(), 0}, {true, 0},
    };
    Json results = Json::array();
    for (std::size_t i = 0; i < std::size(years); ++i) results.push_back(api_hit(i + 1, "c", {"CD"}, years[i].first));
    fake.answer("/database/search", {{"json", {{"results", results}}}});
    auto hits = discogs::run_search({}, "tok");
    ASSERT_TRUE(hits) << hits.error();
    ASSERT_EQ(hits->size(), std::size(years));
    for (std::size_t i = 0; i < std::size(years); ++i) EXPECT_EQ(hits->at(i).year, years[i].second) << years[i].first;
}

TEST(Discogs, AnswersOfTheWrongShapeAreRefused) {
    FakeWebService fake;
    ScopedEnvs env(fake.env());
    Json null_title = api_hit(1, "c", {"CD"});
    null_title["title"] = nullptr;
    Json negative_id = api_hit(1, "c", {"CD"});
    negative_id["id"] = -1;
    Json format_text = api_hit(1, "c", {"CD"});
    format_text["format"] = "CD";
    const std::pair<Json, std::string> cases[] = {
        {{{"json", {{"results", {null_title}}}}}, "response.results[0].title: expected a string, found null"},
        {{{"json", {{"results", {negative_id}}}}},
         "response.results[0].id: expected an unsigned whole number up to 18446744073709551615, found -1"},
        {{{"json", {{"results", {format_text}}}}}, "response.results[0].format: expected a list, found string"},
        {{{"json", {{"results", nullptr}}}}, "response.results: expected a list, found null"},
        {{{"json", Json::array()}}, "response: expected an object, found array"},
        {{{"body", "<html>busy</html>"}},
         "[json.exception.parse_error.101] parse error at line 1, column 1: syntax error while parsing value - "
         "invalid literal; last read: '<'"},
        {{{"body", "{\"results\": []} x"}},
         "[json.exception.parse_error.101] parse error at line 1, column 17: syntax error while parsing value - "
         "invalid literal; last read: '\"results\": []} x'; expected end of input"},
    };
    for (const auto& [answer, error] : cases) {
        fake.answer("/database/search", answer);
        auto r = discogs::run_search({}, "tok");
        ASSERT_FALSE(r) << answer.dump();
        EXPECT_EQ(r.error(), "unexpected Discogs response: " + error);
    }
}

TEST(Discogs, RankingDeduplicatesAndOrdersStably) {
    auto hit = [](std::string id, std::string catno, bool sacd) {
        SearchHit h;
        h.id = std::move(id);
        h.catno = std::move(catno);
        h.is_sacd = sacd;
        return h;
    };
    auto ranked = discogs::rank({hit("1", "", true), hit("2", "abc-123", false), hit("3", "ZZ", false),
                                 hit("2", "abc-123", true), hit("4", "ABC 123", true), hit("5", "", false),
                                 hit("6", "-", true)},
                                {"  ", "---", "Abc123"});
    std::vector<std::string> order;
    for (const auto& h : ranked) order.push_back(h.id + (h.catalog_match ? "*" : ""));
    EXPECT_EQ(order, (std::vector<std::string>{"4*", "2*", "1", "6", "3", "5"}));
}

// A release answer shaped like the API's, with the keys the client does not read.
Json release_answer() {
    auto credit = [](const char* name, const char* anv, const char* role, const char* tracks = "") {
        return Json{{"name", name}, {"anv", anv}, {"join", ""}, {"role", role}, {"tracks", tracks},
                    {"id", 99}, {"resource_url", "https://api.example/artists/99"}, {"thumbnail_url", ""}};
    };
    auto track = [](const char* position, const char* type, const char* title, Json extra = Json::array()) {
        return Json{
            {"position", position}, {"type_", type}, {"title", title}, {"duration", "3:01"}, {"extraartists", extra}};
    };
    Json index = track("", "index", "Suite", {credit("Conductor Person", "", "Conductor")});
    index["sub_tracks"] = {track("2-1", "track", "Part One"), track("2-2", "track", "Part Two")};
    return {{"id", 123},
            {"status", "Accepted"},
            {"year", 70000},
            {"resource_url", "https://api.example/releases/123"},
            {"uri", "https://www.discogs.com/release/123"},
            {"artists", {{{"name", "The Velmora Quartet (2)"}, {"anv", ""}, {"id", 5}}, {{"name", "Second"}}}},
            {"labels", {{{"name", "VLM"}, {"catno", " VLM-0001 "}, {"entity_type", "1"}}, {{"catno", "later"}}}},
            {"series", Json::array()},
            {"formats", {{{"name", "SACD"}, {"qty", "2"}, {"descriptions", {"Hybrid"}}}}},
            {"community", {{"rating", {{"average", 4.5}}}}},
            {"title", "Harbour \u201CLights\u201D"},
            {"country", " Europe "},
            {"extraartists",
             {credit("Rec Person", "", "Recorded By"), credit("Writer Person", "", "Written-By"),
              credit("Only Three", "", "Composed By", "1 to 3")}},
            {"identifiers",
             {{{"type", "Matrix / Runout"}, {"value", "X1"}},
              {{"type", "Barcode"}, {"value", "5 099 123"}, {"description", "Scanned"}},
              {{"type", "BARCODE"}, {"value", "5-099923-456789"}, {"description", "Text"}}}},
            {"images",
             {{{"type", "secondary"}, {"uri", "https://img.example/2.jpg"}, {"width", 600}},
              {{"type", "primary"}, {"uri", "https://img.example/1.jpg"}}}},
            {"tracklist",
             {track("", "heading", "Act I", {credit("Soprano Person", "S. Person (3)", "Vocals [Soprano]")}),
              track("1-1", "track", "Overture", {credit("Pianist (2)", "", "Piano")}),
              track("1-2", "track", "Aria"),
              track("", "heading", "Act II"),
              track("1-3", "track", "Finale \u2026"),
              index,
              track("", "heading", "")}}};
}

TEST(Discogs, FetchReleaseBuildsTheReleaseRecord) {
    FakeWebService fake;
    ScopedEnvs env(fake.env());
    fake.answer("/releases/123", {{"json", release_answer()}});
    auto r = discogs::fetch_release(123, "tok");
    ASSERT_TRUE(r) << r.error();
    ASSERT_EQ(fake.requests().size(), 1u);
    EXPECT_EQ(fake.requests()[0]["target"], "/releases/123");

    EXPECT_EQ(r->artist, "The Velmora Quartet");
    EXPECT_EQ(r->title, "Harbour \"Lights\"");
    EXPECT_EQ(r->disc_catalog, "VLM-0001");
    EXPECT_EQ(r->album_catalog, "5099923456789");  // 8 to 14 digits beats the scanned short one
    EXPECT_EQ(r->cover_image, "https://img.example/1.jpg");
    EXPECT_EQ(r->country, "Europe");
    EXPECT_EQ(r->web_page, fake.base() + "/release/123");
    EXPECT_EQ(r->year, 65535);

    using model::PerformerCredit;
    using model::ReleaseTrack;
    // "Soprano" is a voice, not an instrument word: the credit has no instrument.
    const std::vector<PerformerCredit> soprano{{"S. Person", std::nullopt}};
    const std::vector<PerformerCredit> overture{{"Pianist", "piano"}, {"S. Person", std::nullopt}};
    const std::vector<PerformerCredit> conductor{{"Conductor Person", std::nullopt}};
    const std::vector<model::ReleaseDisc> discs = {
        {{ReleaseTrack{"Act I - Overture", "Pianist (piano); S. Person", overture, "Writer Person", "", ""},
          ReleaseTrack{"Act I - Aria", "S. Person", soprano, "Writer Person", "", ""},
          ReleaseTrack{"Act II - Finale ...", "", {}, "Writer Person", "", ""}},
         1},
        {{ReleaseTrack{"Suite - Part One", "Conductor Person", conductor, "Writer Person", "", ""},
          ReleaseTrack{"Suite - Part Two", "Conductor Person", conductor, "Writer Person", "", ""}},
         2},
    };
    EXPECT_EQ(r->discs, discs);
}

TEST(Discogs, ReleaseFieldsFromSparseAnswers) {
    auto info = [](const Json& answer) {
        auto decoded = discogs::parse_release_response(answer.dump());
        EXPECT_TRUE(decoded) << decoded.error();
        return discogs::release_info(*decoded, "https://web.example");
    };
    const model::ReleaseInfo empty = info(Json::object());
    EXPECT_EQ(empty, model::ReleaseInfo{});  // no id: no web page either

    auto barcode = [&](Json identifiers) { return info({{"identifiers", identifiers}}).album_catalog; };
    auto id = [](const char* type, const char* value, const char* description) {
        return Json{{"type", type}, {"value", value}, {"description", description}};
    };
    EXPECT_EQ(barcode({id("Barcode", "111", "scanned"), id("Barcode", "22222222", ""),
                       id("Barcode", "33333333", "Scanned, sticker")}),
              "33333333");
    EXPECT_EQ(barcode({id("Barcode", "111", ""), id("Barcode", "22222222", "")}), "22222222");
    EXPECT_EQ(barcode({id("Barcode", "111", ""), id("Barcode", "444", "(scanned)")}), "444");
    EXPECT_EQ(barcode({id("Barcode", "1-11", ""), id("Other", "22222222", "scanned")}), "111");
    EXPECT_EQ(
        info({{"images", {{{"type", "secondary"}, {"uri", "a"}}, {{"type", "Primary"}, {"uri", "b"}}}}}).cover_image,
        "a");

    // Positions split discs; no positions take the default disc, at least 1.
    Json tracks = Json::array();
    for (const char* p : {"2-1", "1-1", "", "1-2"})
        tracks.push_back({{"type_", "track"}, {"title", p}, {"position", p}});
    const auto grouped = info({{"tracklist", tracks}}).discs;
    ASSERT_EQ(grouped.size(), 2u);
    EXPECT_EQ(grouped[0].number, 1u);
    EXPECT_EQ(grouped[0].tracks.size(), 3u);
    EXPECT_EQ(grouped[0].tracks[1].title, "");
    EXPECT_EQ(grouped[1].number, 2u);

    for (const Json& bad :
         {Json{{"year", -1}}, Json{{"year", 4294967296}}, Json{{"tracklist", {{{"sub_tracks", nullptr}}}}},
          Json{{"artists", {{{"name", 5}}}}}, Json{{"images", {"uri"}}}}) {
        auto decoded = discogs::parse_release_response(bad.dump());
        ASSERT_FALSE(decoded) << bad.dump();
        EXPECT_EQ(decoded.error().rfind("unexpected Discogs response: response.", 0), 0u) << decoded.error();
    }
}

TEST(Discogs, FlatteningPassesHeadingsAndCreditsDown) {
    auto track = [](std::string type, std::string title, std::vector<ApiCredit> credits = {},
                    std::vector<ApiTrack> subs = {}) {
        return ApiTrack{"", std::move(type), std::move(title), std::move(credits), std::move(subs)};
    };
    const ApiCredit a{"A", "", "Violin", ""}, b{"B", "", "Cello", ""}, c{"C", "", "Viola", ""};
    // A later heading replaces the credits of an earlier one; an index without sub-tracks is a
    // heading; an empty heading changes nothing.
    std::vector<ApiTrack> list = {track("heading", "H1", {a}),
                                  track("track", "t1"),
                                  track("index", "Ix", {b}),
                                  track("track", "t2"),
                                  track("heading", ""),
                                  track("index", "", {c}, {track("track", "s1")}),
                                  track("track", "t3", {c})};
    std::vector<std::pair<std::uint32_t, model::ReleaseTrack>> out;
    discogs::collect_flat(list, "", {}, 0, out);
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[0].second.title, "H1 - t1");
    EXPECT_EQ(out[0].second.performer, "A (violin)");
    EXPECT_EQ(out[1].second.title, "Ix - t2");
    EXPECT_EQ(out[1].second.performer, "B (cello)");
    EXPECT_EQ(out[2].second.title, "Ix - s1");  // an index without a title keeps the heading
    EXPECT_EQ(out[2].second.performer, "C (viola); B (cello)");
    EXPECT_EQ(out[3].second.performer, "C (viola); B (cello)");
    EXPECT_EQ(out[3].first, 1u);
}

}  // namespace
