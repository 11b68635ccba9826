// HTTP access through the fake web service: status and transport failures, headers, the token
// rule, the MusicBrainz allow-list and request spacing, the body cap and lossy UTF-8.
#include "online/discogs.h"
#include "i18n/i18n.h"
#include "online/http.h"
#include "online/musicbrainz.h"
#include "tests/support/fake_web_service.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

namespace {

using online::discogs::http_get;
using online::musicbrainz::GetFailure;
using testsupport::FakeWebService;
using testsupport::ScopedEnvs;
using Json = nlohmann::json;

constexpr const char* kUnreachable = "could not reach Discogs - check your internet connection";

std::string get_error(const std::string& url, std::string_view token = "") {
    auto r = http_get(url, token);
    return r ? "(success)" : r.error();
}

TEST(Http, DiscogsStatusesBecomeTheirMessages) {
    FakeWebService fake({"127.0.0.1", "127.0.0.2"});
    ScopedEnvs env(fake.env());
    const std::pair<Json, std::string> cases[] = {
        {{{"status", 401}}, "Discogs rejected the request - check your API token"},
        {{{"status", 403}}, "Discogs rejected the request - check your API token"},
        {{{"status", 404}}, "Discogs found nothing for that request"},
        {{{"status", 429}}, "Discogs rate limit reached - wait a minute and retry"},
        {{{"status", 500}}, "Discogs request failed: the server answered with status 500 Internal Server Error"},
        {{{"status", 503}, {"reason", "Down For Repairs"}},
         "Discogs request failed: the server answered with status 503 Down For Repairs"},
        {{{"status", 302}, {"headers", {{"Location", fake.base(1) + "/moved"}}}},
         "Discogs request failed: the server answered with status 302 Found"},
    };
    for (const auto& [answer, message] : cases) {
        fake.answer("/x", answer);
        EXPECT_EQ(get_error(fake.base() + "/x", "tok"), message) << answer.dump();
    }
    const auto requests = fake.requests();
    EXPECT_EQ(requests.size(), std::size(cases));  // nothing retried
    EXPECT_TRUE(std::all_of(requests.begin(), requests.end(), [](const Json& r) { return r["listener"] == 0; }))
        << "the redirect was followed";

    i18n::LANG = true;
    fake.answer("/x", {{"status", 429}});
    EXPECT_EQ(get_error(fake.base() + "/x"), "превышен лимит запросов к Discogs - подождите минуту и повторите");
    i18n::LANG = false;
}

TEST(Http, NoResponseIsTheConnectionMessage) {
    std::string dead_base;
    {
        FakeWebService gone;
        dead_base = gone.base();
    }
    FakeWebService fake;
    auto env_vars = fake.env();
    env_vars["VELMORA_HTTP_TIMEOUT_MS"] = "300";
    ScopedEnvs env(env_vars);

    EXPECT_EQ(get_error(dead_base + "/x"), kUnreachable);
    fake.answer("/x", {{"close", "before"}});
    EXPECT_EQ(get_error(fake.base() + "/x"), kUnreachable);
    fake.answer("/x", {{"delay", 1.5}, {"json", Json::object()}});
    EXPECT_EQ(get_error(fake.base() + "/x"), kUnreachable);

    // A body cut short is a reading error, told apart from an unreachable service.
    fake.answer("/x", {{"close", "mid-body"}, {"body", "{\"results\": []"}});
    auto cut = http_get(fake.base() + "/x", "");
    ASSERT_TRUE(cut);
    auto text = online::http::body_text(std::move(*cut));
    ASSERT_FALSE(text);
    EXPECT_FALSE(text.error().empty());
    EXPECT_NE(text.error(), kUnreachable);
}

TEST(Http, TlsPeersAreCheckedAgainstTheSystemStore) {
    FakeWebService fake({"127.0.0.1"}, FakeWebService::Scheme::Https);
    ScopedEnvs env(fake.env());
    ASSERT_EQ(fake.base().rfind("https://", 0), 0u);
    fake.answer("/x", {{"json", Json::object()}});
    EXPECT_EQ(get_error(fake.base() + "/x", "tok"), kUnreachable);
    auto mb = online::musicbrainz::mb_get_raw(fake.base() + "/x");
    ASSERT_FALSE(mb);
    EXPECT_EQ(mb.error().kind, GetFailure::Kind::Transport);
    EXPECT_TRUE(fake.requests().empty());  // no request got through the refused handshake
}

TEST(Http, BodiesAreCappedAtTenMebibytesAndReadAsLossyUtf8) {
    FakeWebService fake;
    ScopedEnvs env(fake.env());
    const Json hits = {{"results", {{{"id", 7}, {"title", "T"}}}}};
    fake.answer("/database/search", {{"json", hits}, {"pad_to", online::http::kMaxBodyBytes}});
    auto exact = online::discogs::run_search({}, "tok");
    ASSERT_TRUE(exact) << exact.error();
    EXPECT_EQ(exact->size(), 1u);

    fake.answer("/database/search", {{"json", hits}, {"pad_to", online::http::kMaxBodyBytes + 1}});
    auto over = online::discogs::run_search({}, "tok");
    ASSERT_FALSE(over);
    EXPECT_EQ(over.error(), "response too big for into_string");

    fake.answer("/database/search",
                {{"body_latin1", "{\"results\": [{\"id\": 1, \"title\": \"Caf\u00E9 \u00FF!\"}]}"}});
    auto lossy = online::discogs::run_search({}, "tok");
    ASSERT_TRUE(lossy) << lossy.error();
    EXPECT_EQ(lossy->at(0).title, "Caf\uFFFD \uFFFD!");
}

TEST(Http, HeadersAndTheTokenGoOnlyToTheDiscogsHost) {
    FakeWebService fake({"127.0.0.1", "127.0.0.2"});
    ScopedEnvs env(fake.env());
    fake.answer("/x", {{"json", Json::object()}});
    ASSERT_TRUE(http_get(fake.base(0) + "/x", " secret-token "));
    ASSERT_TRUE(http_get(fake.base(1) + "/x", " secret-token "));  // same port kind, another host
    ASSERT_TRUE(online::musicbrainz::mb_get_raw(fake.base(0) + "/x"));

    const auto requests = fake.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(testsupport::header(requests[0], "User-Agent"), "Velmora/2.4.0");
    EXPECT_EQ(testsupport::header(requests[0], "Authorization"), "Discogs token= secret-token ");
    EXPECT_EQ(requests[1]["listener"], 1);
    EXPECT_EQ(testsupport::header(requests[1], "User-Agent"), "Velmora/2.4.0");
    EXPECT_FALSE(testsupport::has_header(requests[1], "Authorization"));
    EXPECT_EQ(testsupport::header(requests[2], "User-Agent"), "velmora/2.4.0 ( support@velmora.example )");
    EXPECT_FALSE(testsupport::has_header(requests[2], "Authorization"));
    for (const auto& r : requests) EXPECT_EQ(r.dump().find("secret-token") != std::string::npos, &r == &requests[0]);
}

TEST(Http, MusicBrainzRefusesOtherHostsWithoutTraffic) {
    FakeWebService fake({"127.0.0.1", "127.0.0.2"});
    ScopedEnvs env(fake.env());
    for (const std::string& url : {fake.base(1) + "/ws/2/release/", std::string("https://musicbrainz.org/ws/2/"),
                                  std::string("file:///etc/passwd"), fake.base(0) + "@127.0.0.2/"}) {
        auto r = online::musicbrainz::mb_get_raw(url);
        ASSERT_FALSE(r) << url;
        EXPECT_EQ(r.error().kind, GetFailure::Kind::RefusedAddress);
        EXPECT_EQ(online::musicbrainz::map_get_error(r.error()),
                  "could not reach MusicBrainz - check your internet connection");
    }
    EXPECT_TRUE(fake.requests().empty());
}

TEST(Http, MusicBrainzFailuresBecomeTheirMessages) {
    using K = GetFailure::Kind;
    const std::pair<GetFailure, std::string> table[] = {
        {{K::Tls, 0, "x"}, "could not reach MusicBrainz - check your internet connection"},
        {{K::Transport, 0, "x"}, "could not reach MusicBrainz - check your internet connection"},
        {{K::Status, 404, "x"}, "MusicBrainz found nothing for that request"},
        {{K::Status, 429, "x"}, "MusicBrainz rate limit reached - wait a minute and retry"},
        {{K::Status, 503, "x"}, "MusicBrainz is busy - wait a moment and retry"},
        {{K::Status, 500, "the server answered with status 500"},
         "MusicBrainz request failed: the server answered with status 500"},
    };
    for (const auto& [failure, message] : table) EXPECT_EQ(online::musicbrainz::map_get_error(failure), message);

    // Through the service: a status and a redirect, which is not followed.
    FakeWebService fake({"127.0.0.1", "127.0.0.2"});
    ScopedEnvs env(fake.env());
    fake.set_routes({{"routes",
                      {{{"path", "/busy"}, {"status", 503}},
                       {{"path", "/moved"}, {"status", 307}, {"headers", {{"Location", fake.base(0) + "/busy"}}}}}}});
    auto busy = online::musicbrainz::mb_get_raw(fake.base() + "/busy");
    ASSERT_FALSE(busy);
    EXPECT_EQ(online::musicbrainz::map_get_error(busy.error()), "MusicBrainz is busy - wait a moment and retry");
    auto moved = online::musicbrainz::mb_get_raw(fake.base() + "/moved");
    ASSERT_FALSE(moved);
    EXPECT_EQ(moved.error().status, 307);
    EXPECT_EQ(online::musicbrainz::map_get_error(moved.error()),
              "MusicBrainz request failed: the server answered with status 307 Temporary Redirect");
    EXPECT_EQ(fake.requests().size(), 2u);
}

TEST(Http, MusicBrainzRequestsStartOneSecondApartFromAnyThread) {
    FakeWebService fake;
    ScopedEnvs env(fake.env());
    fake.answer("/ws/2/release/", {{"json", {{"releases", Json::array()}}}});
    const std::string url = fake.base() + "/ws/2/release/";
    ASSERT_TRUE(online::musicbrainz::mb_get_raw(url));
    std::vector<std::thread> threads;
    for (int i = 0; i < 2; ++i) threads.emplace_back([&] { (void)online::musicbrainz::mb_get_raw(url); });
    for (auto& t : threads) t.join();

    std::vector<double> starts;
    for (const auto& r : fake.requests()) starts.push_back(r["t"].get<double>());
    ASSERT_EQ(starts.size(), 3u);
    std::sort(starts.begin(), starts.end());
    // Arrival times on the server. The client's start instants are at least one second apart;
    // the margin absorbs scheduling delays of a loaded machine, while requests sent without
    // spacing would arrive milliseconds apart.
    EXPECT_GE(starts[1] - starts[0], 0.9);
    EXPECT_GE(starts[2] - starts[1], 0.9);
}

}  // namespace
