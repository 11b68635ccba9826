#include "sacd/charset.h"

#include <gtest/gtest.h>

#include <random>

namespace sacd {
namespace {

using V = CharSet::Value;
using edit_errors::CharacterNotInCharset;

std::string u8(std::u8string_view s) { return std::string(s.begin(), s.end()); }

// A copy, so that it outlives the result it came from.
std::optional<CharacterNotInCharset> refusal_of(const platform::Result<Bytes, EditError>& r) {
    if (r.ok() || !r.error().as<CharacterNotInCharset>()) return std::nullopt;
    return *r.error().as<CharacterNotInCharset>();
}

TEST(CharSetCodes, DiscCodesAndWireNames) {
    const std::pair<std::uint8_t, std::string_view> sets[] = {
        {1, "Iso646"}, {2, "Iso8859_1"}, {3, "RisShiftJis"}, {4, "KscKorean"},
        {5, "GbChinese"}, {6, "Big5"}, {7, "Iso8859_1Esc"},
    };
    for (auto [code, name] : sets) {
        CharSet set = CharSet::from_disc_code(code);
        EXPECT_EQ(static_cast<int>(set.value()), code - 1) << name;
        EXPECT_EQ(set.disc_code(), code);
        EXPECT_EQ(set.wire_name(), name);
        EXPECT_EQ(set.is_double_byte(), code >= 3 && code <= 6) << name;
        EXPECT_EQ(CharSet::from_wire_name(name), set);
    }
    for (int code : {0, 8, 9, 200, 255}) {
        CharSet set = CharSet::from_disc_code(static_cast<std::uint8_t>(code));
        EXPECT_EQ(set.value(), V::Other);
        EXPECT_EQ(set.disc_code(), code) << "the raw code is kept";
        EXPECT_EQ(set.wire_name(), "");
        EXPECT_FALSE(set.is_double_byte());
    }
    EXPECT_FALSE(CharSet::from_disc_code(8) == CharSet::from_disc_code(9));
    for (std::string_view name : {"iso646", "ISO646", "Big5 ", "", "Other", "Shift_JIS"}) {
        EXPECT_FALSE(CharSet::from_wire_name(name)) << name;
    }
}

// Single-byte acceptance and refusal: the character reported, and the disc code with it.
TEST(CharSetEncode, SingleByteSets) {
    struct Case {
        V set;
        std::string text;
        std::optional<Bytes> bytes;  // nothing: refused
        char32_t refused = 0;
        std::uint8_t code = 0;
    };
    const Case cases[] = {
        {V::Iso646, " AZaz~", Bytes{0x20, 0x41, 0x5A, 0x61, 0x7A, 0x7E}},
        {V::Iso646, u8(u8"caf\u00E9"), std::nullopt, U'\u00E9', 1},
        {V::Iso646, "a\tb", std::nullopt, U'\t', 1},
        {V::Iso646, "a\x7F", std::nullopt, 0x7F, 1},
        {V::Iso646, "\x1B", std::nullopt, 0x1B, 1},
        {V::Iso8859_1, u8(u8"\u00E9\u0080\u00FF "), Bytes{0xE9, 0x80, 0xFF, 0x20}},
        {V::Iso8859_1, "a\tb", std::nullopt, U'\t', 2},
        {V::Iso8859_1, "a\x7F", std::nullopt, 0x7F, 2},
        {V::Iso8859_1, u8(u8"5\u20AC"), std::nullopt, U'\u20AC', 2},
        {V::Iso8859_1, "\x1B", std::nullopt, 0x1B, 2},
        {V::Iso8859_1, u8(u8"\u0100"), std::nullopt, U'\u0100', 2},
        {V::Iso8859_1Esc, u8(u8"\x1B\u00E9"), Bytes{0x1B, 0xE9}},
        {V::Iso8859_1Esc, "a\n", std::nullopt, U'\n', 7},
        {V::Iso8859_1Esc, "\x7F", std::nullopt, 0x7F, 7},
        {V::Iso8859_1Esc, u8(u8"\u20AC"), std::nullopt, U'\u20AC', 7},
        // Text that is not UTF-8 is refused, never stored as something else.
        {V::Iso8859_1, "ab\xFF", std::nullopt, U'\uFFFD', 2},
        {V::Iso646, "\xC3", std::nullopt, U'\uFFFD', 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << CharSet(c.set).wire_name() << " '" << c.text << "'");
        auto r = CharSet(c.set).encode(c.text, "Album_Title");
        if (c.bytes) {
            ASSERT_TRUE(r.ok()) << r.error().message();
            EXPECT_EQ(*r, *c.bytes);
        } else {
            auto e = refusal_of(r);
            ASSERT_TRUE(e);
            EXPECT_EQ(e->character, c.refused);
            EXPECT_EQ(e->charset_code, c.code);
            EXPECT_EQ(e->field, "Album_Title");
        }
    }
}

TEST(CharSetEncode, Iso8859_1EncoderTakesTheEscapeRuleAndCodeFromTheCaller) {
    auto with_escape = encode_iso8859_1("a\x1B", true, 42, "f");
    ASSERT_TRUE(with_escape.ok());
    EXPECT_EQ(*with_escape, (Bytes{0x61, 0x1B}));
    auto e = refusal_of(encode_iso8859_1("a\x1B", false, 42, "f"));
    ASSERT_TRUE(e);
    EXPECT_EQ(e->character, U'\x1B');
    EXPECT_EQ(e->charset_code, 42);
}

// The six characters Shift_JIS has no bytes for are stored as their full-width counterparts
// (bytes from the JIS X 0208 table).
TEST(CharSetEncode, RisShiftJisRewritesSixCharacters) {
    const std::pair<std::u8string_view, Bytes> cases[] = {
        {u8"\u00A2", {0x81, 0x91}}, {u8"\u00A3", {0x81, 0x92}}, {u8"\u00AC", {0x81, 0xCA}},
        {u8"\u2014", {0x81, 0x5C}}, {u8"\u2016", {0x81, 0x61}}, {u8"\u301C", {0x81, 0x60}},
        {u8"\uFF5E", {0x81, 0x60}}, {u8"\uFFE0", {0x81, 0x91}},
        {u8"A\u301C\u3042\u00A2", {0x41, 0x81, 0x60, 0x82, 0xA0, 0x81, 0x91}},
    };
    for (const auto& [text, bytes] : cases) {
        auto r = CharSet(V::RisShiftJis).encode(u8(text), "f");
        ASSERT_TRUE(r.ok()) << u8(text);
        EXPECT_EQ(*r, bytes) << u8(text);
    }
    // Only Shift_JIS gets the rewrite.
    EXPECT_FALSE(CharSet(V::Big5).encode(u8(u8"\u301C"), "f").ok());
}

// The first character in text order that the set cannot store, with the set's disc code.
TEST(CharSetEncode, DoubleByteSetsReportTheFirstFailingCharacter) {
    struct Case {
        V set;
        std::u8string_view text;
        char32_t refused;
        std::uint8_t code;
    };
    const Case cases[] = {
        {V::GbChinese, u8"\u4E2D\uD55C", U'\uD55C', 5},
        {V::Big5, u8"\u4E2D\uD55C", U'\uD55C', 6},
        {V::RisShiftJis, u8"ab\u00E9\uD55C", U'\u00E9', 3},
        {V::KscKorean, u8"\uD55C\u0E01\U0001F600", U'\u0E01', 4},
        {V::GbChinese, u8"x\U0001F600\u0E01", U'\U0001F600', 5},
        {V::GbChinese, u8"x\u0E01\U0001F600", U'\u0E01', 5},
        // GBK keeps no Latin-1 controls; the character is named, not the bytes.
        {V::GbChinese, u8"\u0080", U'\u0080', 5},
        {V::Big5, u8"abc\xFF", U'\uFFFD', 6},
    };
    for (const auto& c : cases) {
        const auto text = u8(c.text);
        auto e = refusal_of(CharSet(c.set).encode(text, "Disc_Title"));
        ASSERT_TRUE(e) << text;
        EXPECT_EQ(e->character, c.refused) << text;
        EXPECT_EQ(e->charset_code, c.code) << text;
        EXPECT_EQ(e->field, "Disc_Title");
    }
    // GBK's one single-byte extra.
    auto euro = CharSet(V::GbChinese).encode(u8(u8"\u20AC"), "f");
    ASSERT_TRUE(euro.ok());
    EXPECT_EQ(*euro, Bytes{0x80});
}

TEST(CharSetEncode, OtherRefusesEverythingAndEmptyTextIsEmptyElsewhere) {
    for (int code : {0, 8, 255}) {
        for (std::string_view text : {"", "A"}) {
            auto e = refusal_of(CharSet::from_disc_code(static_cast<std::uint8_t>(code)).encode(text, "f"));
            ASSERT_TRUE(e);
            EXPECT_EQ(e->character, 0U);
            EXPECT_EQ(e->charset_code, code);
        }
    }
    for (std::uint8_t code = 1; code <= 7; ++code) {
        auto r = CharSet::from_disc_code(code).encode("", "f");
        ASSERT_TRUE(r.ok());
        EXPECT_TRUE(r->empty());
    }
}

TEST(CharSetUnencodable, DistinctCharactersInOrderOfFirstAppearance) {
    struct Case {
        CharSet set;
        std::u8string_view text;
        std::u32string expected;
    };
    const Case cases[] = {
        {V::Iso8859_1, u8"ab\u20ACa\u20AC", U"\u20AC"},
        {V::Iso8859_1, u8"abc", U""},
        {V::Iso8859_1, u8"", U""},
        {V::Iso646, u8"\u00E9t\u00E9\t\u00E9", U"\u00E9\t"},
        {V::RisShiftJis, u8"\u00A2\u301C\uD55C\u0E01\uD55C", U"\uD55C\u0E01"},
        {V::Big5, u8"\u4E2D\uD55C\u6587", U"\uD55C"},
        {CharSet::from_disc_code(9), u8"abca", U"abc"},
    };
    for (const auto& c : cases) {
        auto got = c.set.unencodable_chars(u8(c.text));
        EXPECT_EQ(std::u32string(got.begin(), got.end()), c.expected) << u8(c.text);
    }
}

TEST(DecodeSpecialString, UnitsTerminatorsAndOddBytes) {
    struct Case {
        Bytes buffer;
        std::size_t offset;
        CharSet set;
        std::optional<std::u8string> expected;
    };
    const Case cases[] = {
        {{0x41, 0x42, 0x00, 0x43}, 0, V::Iso646, u8"AB"},
        {{0x78, 0x41, 0x42, 0x00}, 1, V::Iso646, u8"AB"},
        {{0x41, 0x42, 0x43}, 0, V::Iso8859_1, u8"ABC"},
        {{0xE9, 0xFF, 0x1B, 0x00}, 0, V::Iso8859_1Esc, u8"\u00E9\u00FF\x1B"},
        // Single-byte sets and "other" read Latin-1, whatever the byte.
        {{0xE9, 0x80}, 0, V::Iso646, u8"\u00E9\u0080"},
        {{0xE9, 0x41, 0x00}, 0, CharSet::from_disc_code(0), u8"\u00E9A"},
        {{0x82, 0xA0, 0x00, 0x00, 0x82, 0xA2}, 0, V::RisShiftJis, u8"\u3042"},
        {{0x82, 0xA0, 0x41}, 0, V::RisShiftJis, u8"\u3042A"},
        // In double-byte sets a single zero byte does not end the text; only an aligned zero unit.
        {{0x82, 0xA0, 0x00, 0x41, 0x00, 0x00}, 0, V::RisShiftJis, std::u8string(u8"\u3042") + u8'\0' + u8"A"},
        {{0x41, 0x00, 0x00, 0x42, 0x00, 0x00}, 0, V::RisShiftJis, std::u8string(u8"A\0\0B", 4)},
        // Malformed sequences become U+FFFD.
        {{0x82, 0xA0, 0x82}, 0, V::RisShiftJis, u8"\u3042\uFFFD"},
        {{0xFF, 0xFF, 0x00, 0x00}, 0, V::KscKorean, u8"\uFFFD\uFFFD"},
        {{0xB0, 0xA1, 0x00, 0x00}, 0, V::KscKorean, u8"\uAC00"},
        {{0x80, 0xD6, 0xD0}, 0, V::GbChinese, u8"\u20AC\u4E2D"},
        {{0xA4, 0xA4, 0x88, 0x62}, 0, V::Big5, u8"\u4E2D\u00CA\u0304"},
        // Nothing: offset at or past the end, or a first unit of zeros.
        {{0x41}, 1, V::Iso646, std::nullopt},
        {{0x41}, 7, V::Iso646, std::nullopt},
        {{}, 0, V::Iso646, std::nullopt},
        {{0x00, 0x41}, 0, V::Iso646, std::nullopt},
        {{0x00, 0x00, 0x82, 0xA0}, 0, V::RisShiftJis, std::nullopt},
        {{0x41, 0x42, 0x00, 0x00}, 2, V::Big5, std::nullopt},
        {{0x41, 0x00, 0x00, 0x42, 0x00, 0x00}, 1, V::RisShiftJis, std::nullopt},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        auto got = decode_special_string(c.buffer, c.offset, c.set);
        if (!c.expected) {
            EXPECT_FALSE(got) << "case " << i;
        } else {
            ASSERT_TRUE(got) << "case " << i;
            EXPECT_EQ(*got, u8(*c.expected)) << "case " << i;
        }
    }
}

TEST(DecodeWeblinkString, Latin1UpToTheFirstZero) {
    const Bytes link = {'h', 't', 't', 'p', ':', '/', '/', 0xE9, 0x00, 'x', 0x00};
    EXPECT_EQ(decode_weblink_string(link, 0), u8(u8"http://\u00E9"));
    EXPECT_EQ(decode_weblink_string(link, 9), "x");
    EXPECT_EQ(decode_weblink_string(Bytes{'a', 'b'}, 0), "ab");
    EXPECT_FALSE(decode_weblink_string(link, 8));
    EXPECT_FALSE(decode_weblink_string(link, link.size()));
    EXPECT_FALSE(decode_weblink_string(link, link.size() + 5));
    EXPECT_FALSE(decode_weblink_string(Bytes{}, 0));
}

TEST(Utf8, MalformedInputBecomesOneReplacementPerBrokenSequence) {
    const std::pair<std::string, std::u32string> cases[] = {
        {"a\xC3\xA9z", U"a\u00E9z"},
        {"\xF0\x9F\x98\x80", U"\U0001F600"},
        {"\xC3", U"\uFFFD"},
        {"\xE2\x82z", U"\uFFFDz"},
        {"\xED\xA0\x80", U"\uFFFD\uFFFD\uFFFD"},  // an encoded surrogate
        {"\xC0\xAF", U"\uFFFD\uFFFD"},            // an overlong form
        {"\xF4\x90\x80\x80", U"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"\xFFx", U"\uFFFDx"},
    };
    for (const auto& [text, expected] : cases) {
        auto got = utf8_to_chars(text);
        EXPECT_EQ(std::u32string(got.begin(), got.end()), expected);
    }
    const char32_t chars[] = {U'a', U'\u00E9', U'\u4E2D', U'\U0001F600', 0xD800, 0x110000};
    EXPECT_EQ(chars_to_utf8(chars), u8(u8"a\u00E9\u4E2D\U0001F600\uFFFD\uFFFD"));
}

// Encoding then reading back gives the text again, for random texts from each set's repertoire.
TEST(CharSetRoundTrip, RandomTextsSurviveEncodeAndDecode) {
    auto range = [](char32_t from, char32_t to) {
        std::u32string s;
        for (char32_t c = from; c <= to; ++c) s += c;
        return s;
    };
    const std::u32string ascii = range(0x20, 0x7E);
    const std::pair<V, std::u32string> repertoires[] = {
        {V::Iso646, ascii},
        {V::Iso8859_1, ascii + range(0x80, 0xFF)},
        {V::Iso8859_1Esc, ascii + range(0x80, 0xFF) + U"\x1B"},
        {V::RisShiftJis, ascii + range(0x3041, 0x3093) + range(0xFF61, 0xFF9F) + U"\u6F22\u5B57\u97F3\u697D\uFF5E"},
        {V::KscKorean, ascii + range(0xAC00, 0xD7A3)},
        {V::GbChinese, ascii + range(0x4E00, 0x9FA5) + U"\u20AC"},
        {V::Big5, ascii + U"\u4E2D\u6587\u97F3\u6A02\u5C08\u8F2F\u6B4C\u66F2\u7B2C\u4E00\u5F35"},
    };
    std::mt19937 random(20240611);
    for (const auto& [set, repertoire] : repertoires) {
        std::uniform_int_distribution<std::size_t> pick(0, repertoire.size() - 1), length(1, 24);
        for (int round = 0; round < 200; ++round) {
            std::u32string text;
            for (std::size_t n = length(random); n > 0; --n) text += repertoire[pick(random)];
            const std::string utf8 = chars_to_utf8(std::vector<char32_t>(text.begin(), text.end()));
            auto bytes = CharSet(set).encode(utf8, "f");
            ASSERT_TRUE(bytes.ok()) << CharSet(set).wire_name() << ": " << bytes.error().message();
            EXPECT_EQ(decode_special_string(*bytes, 0, set), utf8) << CharSet(set).wire_name();
            EXPECT_TRUE(CharSet(set).unencodable_chars(utf8).empty());
        }
    }
}

TEST(CharsetDetect, NoSingleRefusalListsWhatNoSetCanStore) {
    auto all_fit = charset_detect::no_single_refusal(u8(u8"Hello \u00E9 \u6F22\u5B57 \uD55C\u0E01"));
    EXPECT_EQ(std::u32string(all_fit.characters.begin(), all_fit.characters.end()), U"\u0E01");
    EXPECT_FALSE(all_fit.no_single_set);

    auto fits = charset_detect::no_single_refusal(u8(u8"Hello \u00E9 \u6F22\u5B57 \uD55C\u3042"));
    EXPECT_TRUE(fits.characters.empty());
    EXPECT_TRUE(fits.no_single_set);

    auto emoji = charset_detect::no_single_refusal(u8(u8"\U0001F3B5a\U0001F600\U0001F3B5"));
    EXPECT_EQ(std::u32string(emoji.characters.begin(), emoji.characters.end()), U"\U0001F3B5\U0001F600");
}

TEST(CharsetDetect, DecisiveWhenTheHintIsACandidate) {
    using charset_detect::Candidate;
    const std::vector<Candidate> candidates = {
        {V::Big5, 1}, {V::GbChinese, 2}, {V::Big5, 3}, {V::RisShiftJis, 4}, {V::GbChinese, 5}};
    auto decided = charset_detect::decisive_or_refuse("x", V::GbChinese, 7, candidates);
    ASSERT_TRUE(decided.ok());
    EXPECT_EQ(decided->charset, CharSet(V::GbChinese));
    EXPECT_EQ(decided->reason, 7);
    ASSERT_EQ(decided->others.size(), 3U);
    EXPECT_EQ(decided->others[0].tag, 1);
    EXPECT_EQ(decided->others[1].tag, 3);
    EXPECT_EQ(decided->others[2].tag, 4);

    auto refused = charset_detect::decisive_or_refuse(u8(u8"a\u0E01"), V::KscKorean, 7, candidates);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(std::u32string(refused.error().characters.begin(), refused.error().characters.end()), U"\u0E01");

    auto no_candidates = charset_detect::decisive_or_refuse("abc", V::Iso646, 1, {});
    ASSERT_FALSE(no_candidates.ok());
    EXPECT_TRUE(no_candidates.error().no_single_set);

    // "Other" sets match only with the same raw code.
    auto other = charset_detect::decisive_or_refuse("a", CharSet::from_disc_code(9), 1,
                                                    {{CharSet::from_disc_code(8), 1}});
    EXPECT_FALSE(other.ok());
}

TEST(AreaMatch, Norm) {
    const std::pair<std::u8string_view, std::u8string_view> cases[] = {
        {u8"  Hello   World ", u8"hello world"},
        {u8"A\tB\n\u3000C\u00A0D\u2003E", u8"a b c d e"},
        {u8"", u8""},
        {u8" \t ", u8""},
        {u8"\u00C0\u00C9\u00CE \u0414\u041E\u041C", u8"\u00E0\u00E9\u00EE \u0434\u043E\u043C"},
        // Full lower-casing: one character can become two, and a final sigma takes its final form.
        {u8"\u0130stanbul", u8"i\u0307stanbul"},
        {u8"\u039F\u0394\u039F\u03A3 \u03A3\u0391", u8"\u03BF\u03B4\u03BF\u03C2 \u03C3\u03B1"},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(area_match::norm(u8(text)), u8(expected)) << u8(text);
    }
}

TEST(AreaMatch, NormForMatchLoose) {
    const std::pair<std::u8string_view, std::u8string_view> cases[] = {
        {u8"01. Intro", u8"intro"},
        {u8"1999 - Live", u8"1999 live"},
        {u8"12", u8"12"},
        {u8"3) Song", u8"song"},
        {u8"007: Bond", u8"bond"},
        {u8"05 \u2013 Finale", u8"finale"},
        {u8"  02 -- Intro", u8"intro"},
        {u8"1.2. Two", u8"2. two"},
        {u8"12abc", u8"12abc"},
        {u8"1234. Track", u8"1234. track"},
        {u8"Track-01", u8"track 01"},
        {u8"A\u2010B\u2212C\u2015D", u8"a b c d"},
        {u8"7.", u8""},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(area_match::norm_for_match_loose(u8(text)), u8(expected)) << u8(text);
    }
}

}  // namespace
}  // namespace sacd
