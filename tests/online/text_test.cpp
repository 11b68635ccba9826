// The text functions of the online clients: encoding, escaping, ids, positions and addresses.
#include "online/discogs.h"
#include "online/musicbrainz.h"
#include "online/services.h"
#include "online/text.h"
#include "tests/support/process.h"

#include <gtest/gtest.h>

namespace {

using namespace online;

TEST(OnlineText, PercentEncodingKeepsOnlyUnreservedBytes) {
    EXPECT_EQ(url_encode("aZ09-._~"), "aZ09-._~");
    EXPECT_EQ(url_encode("release:(\"a b\\\")"), "release%3A%28%22a%20b%5C%22%29");
    EXPECT_EQ(url_encode("é+&=/"), "%C3%A9%2B%26%3D%2F");
    EXPECT_EQ(musicbrainz::url_encode("a b"), "a%20b");
}

TEST(OnlineText, LuceneEscapingAndCatalogNormalising) {
    EXPECT_EQ(musicbrainz::lucene_escape(R"(Say "Hi" \ bye)"), R"(Say \"Hi\" \\ bye)");
    EXPECT_EQ(musicbrainz::lucene_escape("a:b (c)"), "a:b (c)");
    EXPECT_EQ(musicbrainz::norm_catno("ABC-123"), "abc123");
    EXPECT_EQ(musicbrainz::norm_catno("abc 123"), "abc123");
    EXPECT_EQ(musicbrainz::norm_catno("Ä/ß-7"), "7");
    EXPECT_EQ(musicbrainz::norm_catno(" - "), "");
}

TEST(OnlineText, YearOfADate) {
    const std::pair<const char*, std::uint16_t> cases[] = {
        {"1999-05-12", 1999}, {"1999", 1999}, {" 2003 ", 2003}, {"199", 0}, {"c. 1999", 0}, {"", 0}, {"19x9", 0},
    };
    for (auto [date, year] : cases) EXPECT_EQ(musicbrainz::year_from_date(date), year) << date;
}

TEST(OnlineText, MbidFromInput) {
    const std::string id = "a1b2c3d4-0000-4000-8000-000000000001";
    const std::pair<std::string, std::string> cases[] = {
        {"  " + id + "  ", id},
        {"https://musicbrainz.org/release/" + id, id},
        {"https://musicbrainz.org/release/" + id + "#tracks", id},
        {"https://musicbrainz.org/release/" + id + "/cover-art", id},
        {"https://musicbrainz.org/release/" + id + "?tab=x", id},
        {"https://musicbrainz.org/release/", ""},
        {"release/ " + id + " release/other", id},
    };
    for (const auto& [input, mbid] : cases) EXPECT_EQ(musicbrainz::mbid_from_input(input), mbid) << input;
}

TEST(OnlineText, DiscogsReleaseIds) {
    const std::pair<const char*, std::optional<std::uint64_t>> cases[] = {
        {"1234", 1234},
        {" +1234 ", 1234},
        {"https://www.discogs.com/release/1234-Some-Title", 1234},
        {"https://www.discogs.com/ru/release/1234", 1234},
        {"18446744073709551615", UINT64_MAX},
        {"18446744073709551616", std::nullopt},
        {"https://www.discogs.com/release/18446744073709551616", std::nullopt},
        {"https://www.discogs.com/master/1234-Some-Title", std::nullopt},
        {"https://www.discogs.com/release/x1234", std::nullopt},
        {"-5", std::nullopt},
        {"12 34", std::nullopt},
        {"", std::nullopt},
    };
    for (auto [text, id] : cases) EXPECT_EQ(discogs::parse_release_id(text), id) << text;
}

TEST(OnlineText, DiscogsArtistNamesAndDiscPositions) {
    EXPECT_EQ(discogs::clean_artist(" Name (2) "), "Name");
    EXPECT_EQ(discogs::clean_artist("Name ()"), "Name");
    EXPECT_EQ(discogs::clean_artist("A (B) (12)"), "A (B)");
    EXPECT_EQ(discogs::clean_artist("Name (live)"), "Name (live)");
    EXPECT_EQ(discogs::clean_artist("Name(2)"), "Name(2)");

    const std::tuple<const char*, std::uint32_t, std::uint32_t> positions[] = {
        {"2-05", 0, 2}, {"CD2-05", 0, 2}, {"A1", 3, 1},   {"05", 3, 1},     {"", 0, 1},
        {" ", 3, 3},    {"-3", 2, 1},     {"CD-1", 2, 1}, {"99999999999-1", 2, 1},
    };
    for (auto [position, fallback, disc] : positions)
        EXPECT_EQ(discogs::disc_of_or(position, fallback), disc) << position;
}

TEST(OnlineText, AddressHostsAndDomains) {
    const std::pair<const char*, std::optional<std::string>> hosts[] = {
        {"https://api.discogs.com/database/search?q=1", "api.discogs.com"},
        {"HTTP://User@API.Discogs.COM:443/x", "api.discogs.com"},
        {"https://discogs.com@evil.example/", "evil.example"},
        {"https://evil.example\\@discogs.com/", "evil.example"},
        {"https://evil.example#@discogs.com", "evil.example"},
        {"ftp://discogs.com/", std::nullopt},
        {"discogs.com/release/1", std::nullopt},
    };
    for (const auto& [url, host] : hosts) EXPECT_EQ(url_host(url), host) << url;

    EXPECT_TRUE(discogs::is_discogs_address("https://api.discogs.com/releases/1", "discogs.com"));
    EXPECT_TRUE(discogs::is_discogs_address("https://discogs.com/", "discogs.com"));
    EXPECT_FALSE(discogs::is_discogs_address("https://notdiscogs.com/", "discogs.com"));
    EXPECT_FALSE(discogs::is_discogs_address("https://discogs.com.evil.example/", "discogs.com"));
    EXPECT_FALSE(discogs::is_discogs_address("ftp://api.discogs.com/", "discogs.com"));
}

TEST(OnlineText, LossyUtf8AndTrimming) {
    EXPECT_EQ(utf8_lossy("ok \xC3\xA9"), "ok \xC3\xA9");
    EXPECT_EQ(utf8_lossy("a\xFF" "b\xE2\x82"), "a\uFFFDb\uFFFD");
    EXPECT_EQ(trim("\u00A0\t x y \u3000\n"), "x y");
    EXPECT_EQ(split_white_space("  a\u2003b  c "), (std::vector<std::string_view>{"a", "b", "c"}));
}

TEST(OnlineServices, DefaultsAndOverrides) {
    for (const char* v : {"VELMORA_DISCOGS_API", "VELMORA_MUSICBRAINZ_API", "VELMORA_HTTP_TIMEOUT_MS"}) ::unsetenv(v);
    auto defaults = services();
    ASSERT_TRUE(defaults);
    EXPECT_EQ(defaults->discogs_api.base, "https://api.discogs.com");
    EXPECT_EQ(defaults->discogs_api.domain, "discogs.com");
    EXPECT_EQ(defaults->musicbrainz_api.domain, "musicbrainz.org");
    EXPECT_EQ(defaults->coverart_images.domain, "archive.org");
    EXPECT_EQ(defaults->request_timeout_ms, 30000);

    {
        testsupport::ScopedEnv api("VELMORA_DISCOGS_API", "HTTP://Mirror.Example:8080/");
        testsupport::ScopedEnv timeout("VELMORA_HTTP_TIMEOUT_MS", "250");
        auto s = services();
        ASSERT_TRUE(s);
        EXPECT_EQ(s->discogs_api.base, "HTTP://Mirror.Example:8080");
        EXPECT_EQ(s->discogs_api.domain, "mirror.example");
        EXPECT_EQ(s->request_timeout_ms, 250);
    }
    for (const char* bad : {"mirror.example", "ftp://mirror.example", "http://", "http://h/path", "http://h:0",
                            "http://h:70000", "http://u@h"}) {
        testsupport::ScopedEnv api("VELMORA_MUSICBRAINZ_API", bad);
        auto s = services();
        ASSERT_FALSE(s) << bad;
        EXPECT_EQ(s.error(), "VELMORA_MUSICBRAINZ_API must be a base address of the form scheme://host[:port] (got '" +
                                 std::string(bad) + "')");
    }
    testsupport::ScopedEnv timeout("VELMORA_HTTP_TIMEOUT_MS", "0");
    EXPECT_FALSE(services());
}

}  // namespace
