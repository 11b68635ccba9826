#include "sacd/track_text.h"

#include <gtest/gtest.h>

#include <random>

#include "tests/sacd/area_fixtures.h"

namespace sacd {
namespace {

using fixture::put;
using fixture::put_u16;

const CharSet kIso646 = CharSet::Value::Iso646;
const CharSet kShiftJis = CharSet::Value::RisShiftJis;

// A block with the signature and positions written at 8 + 2 (c x T + t).
struct Block {
    fixture::Bytes bytes;
    std::size_t tracks;
    Block(std::size_t len, std::size_t track_count) : bytes(len, 0), tracks(track_count) { put(bytes, 0, "SACDTTxt"); }
    void position(std::size_t c, std::size_t t, std::uint16_t pos) { put_u16(bytes, 8 + 2 * (c * tracks + t), pos); }
};

// The one-channel, two-track block: entries at 16 and 48, a non-zero byte in the gap after the
// table, one inside the heap between the entries, and trailing bytes after the heap.
Block two_track_block() {
    Block b(2048, 2);
    b.position(0, 0, 16);
    b.position(0, 1, 48);
    put(b.bytes, 14, {0x77});
    put(b.bytes, 16, {2, 0xAA, 0xBB, 0xCC});
    put(b.bytes, 20, {0x01, 0x20, 'H', 'e', 'l', 'l', 'o', 0});
    put(b.bytes, 28, {0x02, 0x20, 'B', 'o', 'b', 0, 0, 0});
    put(b.bytes, 40, {0x99});
    put(b.bytes, 48, {1, 0, 0, 0});
    put(b.bytes, 52, {0x01, 0x20, 'W', 'o', 'r', 'l', 'd', '!', 0, 0, 0, 0});
    put(b.bytes, 100, "junk");
    return b;
}

TrackText parse_ok(const fixture::Bytes& block, std::uint8_t n, std::uint8_t t, std::vector<CharSet> charsets) {
    auto text = TrackText::parse(block, n, t, charsets);
    EXPECT_TRUE(text.ok()) << (text.ok() ? "" : text.error().display());
    return text.ok() ? std::move(text).value() : TrackText{};
}

std::string read(const TrackText& text, std::size_t c, std::size_t t, TrackField f, CharSet cs = kIso646) {
    auto r = text.read_entry_field_decoded(c, t, f, cs);
    return r.kind == TrackFieldText::Kind::Absent ? "<absent>" : r.text;
}

TrackItem item(TrackField field, std::string_view text) {
    return TrackItem{track_field_code(field), 0x20, fixture::Bytes(text.begin(), text.end())};
}

TEST(TrackField, TableMatchesTheItemCodes) {
    EXPECT_EQ(track_field_code(TrackField::Title), 0x01);
    EXPECT_EQ(track_field_code(TrackField::Copyright), 0x08);
    EXPECT_EQ(track_field_code(TrackField::TitlePhonetic), 0x81);
    EXPECT_EQ(track_field_code(TrackField::CopyrightPhonetic), 0x88);
    EXPECT_EQ(track_field_name(TrackField::ExtraMessagePhonetic), "ExtraMessagePhonetic");
    EXPECT_EQ(track_field_from_code(0x85), TrackField::ArrangerPhonetic);
    EXPECT_EQ(track_field_from_code(0x09), std::nullopt);
    for (std::size_t i = 0; i < kTrackFieldCount; ++i) EXPECT_EQ(is_phonetic(*track_field_at(i)), i >= 8);
}

TEST(TrackText, ParsesTheBlockAndEmitsItByteForByte) {
    const auto b = two_track_block();
    auto text = parse_ok(b.bytes, 1, 2, {kIso646});
    EXPECT_EQ(text.first_entry_offset, 16u);
    EXPECT_EQ(text.heap.size(), 48u);
    EXPECT_EQ(text.trailing.size(), 40u);  // 64..104, ending at the last non-zero byte
    EXPECT_EQ(text.padding_len, 2048u - 104);
    EXPECT_EQ(text.table_gap, (fixture::Bytes{0, 0, 0x77, 0}));
    EXPECT_EQ(text.entries[0][0]->entry.header, (std::array<std::uint8_t, 3>{0xAA, 0xBB, 0xCC}));
    EXPECT_EQ(read(text, 0, 0, TrackField::Title), "Hello");
    EXPECT_EQ(read(text, 0, 0, TrackField::Performer), "Bob");
    EXPECT_EQ(read(text, 0, 1, TrackField::Title), "World!");
    EXPECT_EQ(read(text, 0, 0, TrackField::Composer), "<absent>");
    EXPECT_EQ(read(text, 0, 2, TrackField::Title), "<absent>");
    EXPECT_EQ(read(text, 1, 0, TrackField::Title), "<absent>");
    auto out = text.emit();
    ASSERT_TRUE(out.ok()) << out.error().message();
    EXPECT_TRUE(fixture::same_bytes(*out, b.bytes));
}

TEST(TrackText, RefusesMalformedBlocksWithTheirReason) {
    struct Case {
        const char* name;
        std::size_t len;
        std::vector<std::pair<std::size_t, fixture::Bytes>> pokes;
        std::uint8_t n;
        std::vector<CharSet> charsets;
        std::string message;
    };
    const fixture::Bytes sig{'S', 'A', 'C', 'D', 'T', 'T', 'x', 't'};
    const std::vector<Case> cases = {
        {"length not whole sectors", 2047, {{0, sig}}, 1, {kIso646},
         "SACDTTxt block is 2047 bytes - must be 1..=32 whole sectors (spec §3.2.6)"},
        {"33 sectors", 33 * 2048, {{0, sig}}, 1, {kIso646},
         "SACDTTxt block is 67584 bytes - must be 1..=32 whole sectors (spec §3.2.6)"},
        {"empty", 0, {}, 1, {kIso646}, "SACDTTxt block is 0 bytes - must be 1..=32 whole sectors (spec §3.2.6)"},
        {"signature", 4096, {{0, {'S', 'A', 'C', 'D', 'T', 'T', 'X', 't'}}}, 1, {kIso646}, "missing SACDTTxt magic"},
        {"charset count", 4096, {{0, sig}}, 2, {kIso646},
         "SACDTTxt charsets.len() = 1 but n_text_channels = 2 (every locale needs its declared Character_Set_Code)"},
        {"position not a multiple of 4", 2048, {{0, sig}, {8, {0, 18}}}, 1, {kIso646},
         "bad SACDTTxt entry for locale 0 track 0"},
        {"position inside the table", 2048, {{0, sig}, {10, {0, 8}}}, 1, {kIso646},
         "SACDTTxt entry for locale 0 track 1 points inside the position-table region (pos = 8, table ends at 12)"},
        {"position at the block end", 2048, {{0, sig}, {8, {0x08, 0x00}}}, 1, {kIso646},
         "bad SACDTTxt entry for locale 0 track 0"},
        {"text without terminator", 2048, {{0, sig}, {8, {0x07, 0xF8}}, {2040, {1, 0, 0, 0, 1, 0x20, 'A', 'B'}}}, 1,
         {kIso646}, "bad SACDTTxt entry for locale 0 track 0"},
        {"item header past the end", 2048, {{0, sig}, {8, {0x07, 0xFC}}, {2044, {2, 0, 0, 0}}}, 1, {kIso646},
         "bad SACDTTxt entry for locale 0 track 0"},
        {"double-byte unit past the end", 2048, {{0, sig}, {8, {0x07, 0xF8}}, {2040, {1, 0, 0, 0, 1, 0x20, 0x41, 0}}},
         1, {kShiftJis}, "bad SACDTTxt entry for locale 0 track 0"},
        {"no entries in one sector", 2048, {{0, sig}}, 1, {kIso646},
         "SACDTTxt block is 2048 bytes - too small for the empty-block heap start 0x1000 (spec §3.2.6: 1..=32 "
         "sectors)"},
    };
    for (const auto& c : cases) {
        fixture::Bytes block(c.len, 0);
        for (const auto& [at, bytes] : c.pokes)
            for (std::size_t i = 0; i < bytes.size() && at + i < block.size(); ++i) block[at + i] = bytes[i];
        auto r = TrackText::parse(block, c.n, 2, c.charsets);
        ASSERT_FALSE(r.ok()) << c.name;
        EXPECT_EQ(*r.error().malformed_text(), c.message) << c.name;
    }
}

TEST(TrackText, RefusesAnEmptyBlockWhoseTableWouldOverrunTheHeapStart) {
    // 9 channels x 255 tracks need a 4598-byte table; without entries the heap starts at 4096.
    Block b(8192, 255);
    auto r = TrackText::parse(b.bytes, 9, 255, std::vector<CharSet>(9, kIso646));
    ASSERT_FALSE(r.ok());
    EXPECT_NE(r.error().malformed_text()->find("past the heap start 4096"), std::string::npos);
    // 8 x 255, the most a standard disc declares, fits.
    EXPECT_TRUE(TrackText::parse(b.bytes, 8, 255, std::vector<CharSet>(8, kIso646)).ok());

    // Found by fuzzing: with an entry behind it the long table parsed, but emptying that entry
    // left a block that could not be read back. Such a table is refused whatever follows it.
    Block e(8192, 240);
    e.position(0, 0, 5376);
    auto with_entry = TrackText::parse(e.bytes, 9, 240, std::vector<CharSet>(9, kIso646));
    ASSERT_FALSE(with_entry.ok());
    EXPECT_EQ(*with_entry.error().malformed_text(),
              "SACDTTxt position table for 9 locale(s) x 240 track(s) ends at 4328, past the heap start 4096");
}

TEST(TrackText, DoubleByteTextsEndOnlyAtAZeroUnit) {
    Block b(4096, 1);
    b.position(0, 0, 12);
    put(b.bytes, 12, {2, 0, 0, 0});
    put(b.bytes, 16, {0x01, 0x20, 0x82, 0xA0, 0x00, 0x41, 0x00, 0x00});
    put(b.bytes, 24, {0x02, 0x20, 0x82, 0xFF, 0x00, 0x00, 0x00, 0x00});  // malformed Shift_JIS
    auto text = parse_ok(b.bytes, 1, 1, {kShiftJis});
    EXPECT_EQ(text.entry(0, 0)->items[0].text, (fixture::Bytes{0x82, 0xA0, 0x00, 0x41}));
    auto title = text.read_entry_field_decoded(0, 0, TrackField::Title, kShiftJis);
    EXPECT_EQ(title.kind, TrackFieldText::Kind::Clean);
    EXPECT_EQ(title.text, std::string("\u3042\0A", 5));
    auto performer = text.read_entry_field_decoded(0, 0, TrackField::Performer, kShiftJis);
    EXPECT_EQ(performer.kind, TrackFieldText::Kind::Lossy);
    EXPECT_EQ(performer.clean_text(), std::nullopt);
    EXPECT_EQ(performer.field, TrackField::Performer);
    EXPECT_TRUE(fixture::same_bytes(text.emit().value(), b.bytes));
}

TEST(TrackText, EncodedLengthRoundsEveryItemToFourBytes) {
    struct Case {
        std::size_t text_len, unit;
        std::uint64_t entry_len;
    };
    for (const auto& c : {Case{5, 1, 12}, Case{6, 1, 16}, Case{0, 1, 8}, Case{1, 1, 8}, Case{2, 1, 12}, Case{4, 2, 12},
                          Case{2, 2, 12}, Case{0, 2, 8}}) {
        TrackEntry e{{}, {TrackItem{1, 0x20, fixture::Bytes(c.text_len, 'x')}}};
        EXPECT_EQ(e.encoded_len(c.unit), c.entry_len) << c.text_len << " bytes, unit " << c.unit;
    }
}

TEST(TrackText, RepackLaysEntriesOutBackToBackAndKeepsTheTrailingBytes) {
    auto text = parse_ok(two_track_block().bytes, 1, 2, {kIso646});
    ASSERT_TRUE(text.replace_entry(0, 1, TrackEntry{{}, {item(TrackField::Title, "Hi")}}).ok());

    Block expected(2048, 2);
    expected.position(0, 0, 16);
    expected.position(0, 1, 36);
    put(expected.bytes, 14, {0x77});
    put(expected.bytes, 16, {2, 0xAA, 0xBB, 0xCC});
    put(expected.bytes, 20, {0x01, 0x20, 'H', 'e', 'l', 'l', 'o', 0});
    put(expected.bytes, 28, {0x02, 0x20, 'B', 'o', 'b', 0, 0, 0});
    put(expected.bytes, 36, {1, 0, 0, 0, 0x01, 0x20, 'H', 'i', 0, 0, 0, 0});
    put(expected.bytes, 48 + 36, "junk");  // the 40 trailing bytes follow the heap directly
    auto out = text.emit();
    ASSERT_TRUE(out.ok()) << out.error().message();
    EXPECT_TRUE(fixture::same_bytes(*out, expected.bytes));
    EXPECT_EQ(text.padding_len, 2048u - 16 - 32 - 40);

    // Emptying a slot takes its entry out of the heap.
    ASSERT_TRUE(text.replace_entry(0, 0, std::nullopt).ok());
    auto reparsed = parse_ok(text.emit().value(), 1, 2, {kIso646});
    EXPECT_EQ(read(reparsed, 0, 0, TrackField::Title), "<absent>");
    EXPECT_EQ(read(reparsed, 0, 1, TrackField::Title), "Hi");
    EXPECT_EQ(reparsed.entries[0][1]->position, 16u);
}

TEST(TrackText, RepackOverTheBudgetFailsAndChangesNothing) {
    auto text = parse_ok(two_track_block().bytes, 1, 2, {kIso646});
    const auto before = text;
    // Budget 2048 - 16 - 40 = 1992; entry 0 takes 20 bytes, the new one 4 + round4(2 + 2000 + 1).
    auto r = text.replace_entry(0, 1, TrackEntry{{}, {item(TrackField::Title, std::string(2000, 'x'))}});
    ASSERT_FALSE(r.ok());
    auto* e = r.error().as<edit_errors::FieldTooLong>();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->field, "TrackText.block");
    EXPECT_EQ(e->actual_bytes, 2028u);
    EXPECT_EQ(e->limit_bytes, 1992u);
    EXPECT_EQ(text, before);
    // Exactly the budget fits: 20 + 4 + 1968 = 1992.
    EXPECT_TRUE(text.replace_entry(0, 1, TrackEntry{{}, {item(TrackField::Title, std::string(1965, 'x'))}}).ok());
    EXPECT_EQ(text.padding_len, 0u);
}

TEST(TrackText, RepackRefusesEntriesThatWouldReadBackDifferently) {
    auto text = TrackText::make_empty({kIso646}, 1, 6144).value();
    auto embedded_nul = text.replace_entry(0, 0, TrackEntry{{}, {TrackItem{1, 0x20, {'a', 0, 'b'}}}});
    EXPECT_FALSE(embedded_nul.ok());
    EXPECT_FALSE(text.replace_entry(0, 0, TrackEntry{{}, std::vector<TrackItem>(256)}).ok());
    EXPECT_FALSE(text.replace_entry(1, 0, TrackEntry{}).ok());  // no such channel
    EXPECT_EQ(text, TrackText::make_empty({kIso646}, 1, 6144).value());
}

TEST(TrackText, OddLengthDoubleByteTextReadsBackWithoutItsPadByte) {
    auto text = TrackText::make_empty({kShiftJis}, 1, 6144).value();
    auto abc = kShiftJis.encode("ABC", "TrackText.Title").value();
    ASSERT_TRUE(text.replace_entry(0, 0, TrackEntry{{}, {TrackItem{1, 0x20, abc}}}).ok());
    auto reparsed = parse_ok(text.emit().value(), 1, 1, {kShiftJis});
    EXPECT_EQ(reparsed, text);
    EXPECT_EQ(read(reparsed, 0, 0, TrackField::Title, kShiftJis), "ABC");
}

TEST(TrackText, EmitRefusesEntriesChangedWithoutARepack) {
    auto text = parse_ok(two_track_block().bytes, 1, 2, {kIso646});
    text.entries[0][1]->entry.items[0].text = {'W', 'o', 'r', 'l', 'd', '?'};
    auto out = text.emit();
    ASSERT_FALSE(out.ok());
    EXPECT_NE(out.error().message().find("locale 0 track 1"), std::string::npos);
    ASSERT_TRUE(text.repack().ok());
    auto reparsed = parse_ok(text.emit().value(), 1, 2, {kIso646});
    EXPECT_EQ(read(reparsed, 0, 1, TrackField::Title), "World?");
}

TEST(TrackText, AliasedSlotsGetTheirOwnCopiesOnRepack) {
    Block b(4096, 3);
    b.position(0, 0, 16);
    b.position(0, 1, 16);
    b.position(0, 2, 16);
    put(b.bytes, 16, {1, 0, 0, 0, 0x01, 0x20, 'S', 'a', 'm', 'e', 0, 0});
    auto text = parse_ok(b.bytes, 1, 3, {kIso646});
    EXPECT_EQ(text.aliased_slot_count(0), 2u);
    ASSERT_TRUE(text.repack().ok());
    EXPECT_EQ(text.aliased_slot_count(0), 0u);
    auto reparsed = parse_ok(text.emit().value(), 1, 3, {kIso646});
    for (std::size_t t = 0; t < 3; ++t) {
        EXPECT_EQ(read(reparsed, 0, t, TrackField::Title), "Same");
        EXPECT_EQ(reparsed.entries[0][t]->position, 16u + 12 * t);
    }
}

TEST(TrackText, GrowToAddsWholeSectorsOfPadding) {
    auto text = parse_ok(two_track_block().bytes, 1, 2, {kIso646});
    ASSERT_TRUE(text.grow_to(2048).ok());
    EXPECT_EQ(text.padding_len, 2048u - 104);
    auto one_byte = text.grow_to(2049);
    ASSERT_FALSE(one_byte.ok());
    EXPECT_EQ(one_byte.error().message(), "grow_to: 2049 is not a whole sector multiple");
    EXPECT_EQ(text.grow_to(33 * 2048).error().message(),
              "grow_to: 33 sectors exceeds the Track_Text max of 32 (spec §3.2.6)");
    ASSERT_TRUE(text.grow_to(3 * 2048).ok());
    EXPECT_EQ(text.grow_to(2048).error().message(), "grow_to: 2048 is smaller than the current block_len 6144 (grow only)");
    auto out = text.emit().value();
    ASSERT_EQ(out.size(), 6144u);
    auto original = two_track_block().bytes;
    original.resize(6144, 0);
    EXPECT_TRUE(fixture::same_bytes(out, original));
}

TEST(TrackText, PushLocaleNeedsRoomForTheLargerTable) {
    Block b(2048, 2);
    b.position(0, 0, 12);
    put(b.bytes, 12, {1, 0, 0, 0, 0x01, 0x20, 'A', 0});
    auto tight = parse_ok(b.bytes, 1, 2, {kIso646});
    const auto before = tight;
    auto r = tight.push_locale(kShiftJis);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().message(),
              "TrackText::push_locale: post-push position-table needs 16 bytes but first_entry_offset is only 12 — "
              "cannot fit a new locale without re-laying-out the heap (which Task 6.2 does not do)");
    EXPECT_EQ(tight, before);

    auto text = parse_ok(two_track_block().bytes, 1, 2, {kIso646});
    ASSERT_TRUE(text.push_locale(kShiftJis).ok());
    EXPECT_EQ(text.n_text_channels, 2);
    auto out = text.emit().value();
    auto reparsed = parse_ok(out, 2, 2, {kIso646, kShiftJis});
    EXPECT_EQ(reparsed, text);
    EXPECT_EQ(read(reparsed, 0, 1, TrackField::Title), "World!");
    // The new channel's empty cells took over the gap byte at 14.
    EXPECT_EQ(out[14], 0);

    auto full = TrackText::make_empty(std::vector<CharSet>(8, kIso646), 2, 6144).value();
    auto limit = full.push_locale(kIso646);
    ASSERT_FALSE(limit.ok());
    ASSERT_NE(limit.error().as<edit_errors::LocaleLimitReached>(), nullptr);
    EXPECT_EQ(limit.error().as<edit_errors::LocaleLimitReached>()->current, 8);
}

TEST(TrackText, RemoveLocaleMovesTheLaterChannelsDownAndRepacks) {
    Block b(4096, 2);
    b.position(0, 0, 20);
    b.position(1, 0, 28);
    b.position(1, 1, 40);
    put(b.bytes, 20, {1, 0, 0, 0, 0x01, 0x20, 'e', 0});
    put(b.bytes, 28, {1, 0, 0, 0, 0x01, 0x20, 0x82, 0xA0, 0, 0, 0, 0});
    put(b.bytes, 40, {1, 0, 0, 0, 0x02, 0x20, 0x82, 0xA2, 0, 0, 0, 0});
    auto text = parse_ok(b.bytes, 2, 2, {kIso646, kShiftJis});

    auto bad = text.remove_locale(2);
    ASSERT_FALSE(bad.ok());
    EXPECT_EQ(bad.error().as<edit_errors::LocaleOutOfRange>()->n_text_channels, 2);

    ASSERT_TRUE(text.remove_locale(0).ok());
    EXPECT_EQ(text.n_text_channels, 1);
    EXPECT_EQ(text.first_entry_offset, 20u);
    auto out = text.emit().value();
    Block expected(4096, 2);
    expected.position(0, 0, 20);
    expected.position(0, 1, 32);
    put(expected.bytes, 20, {1, 0, 0, 0, 0x01, 0x20, 0x82, 0xA0, 0, 0, 0, 0});
    put(expected.bytes, 32, {1, 0, 0, 0, 0x02, 0x20, 0x82, 0xA2, 0, 0, 0, 0});
    EXPECT_TRUE(fixture::same_bytes(out, expected.bytes));
    EXPECT_EQ(parse_ok(out, 1, 2, {kShiftJis}), text);
}

TEST(TrackText, MakeEmptyMatchesParsingASignatureOnlyBlock) {
    Block b(6144, 4);
    auto parsed = parse_ok(b.bytes, 1, 4, {kIso646});
    auto made = TrackText::make_empty({kIso646}, 4, 6144);
    ASSERT_TRUE(made.ok());
    EXPECT_EQ(*made, parsed);
    EXPECT_FALSE(TrackText::make_empty({kIso646}, 4, 2048).ok());  // heap start beyond the block
    EXPECT_FALSE(TrackText::make_empty({kIso646}, 4, 6144, 14).ok());  // not a multiple of 4
}

// Random texts in every character set survive a build, emit and parse.
TEST(TrackText, RandomTextsRoundTripInEveryCharacterSet) {
    struct Alphabet {
        CharSet charset;
        std::vector<std::string> pieces;
    };
    const std::vector<Alphabet> alphabets = {
        {CharSet::Value::Iso646, {"a", "Z", " ", "~", "0"}},
        {CharSet::Value::Iso8859_1, {"e", "\u00E9", "\u00FF", "\u0080", " "}},
        {CharSet::Value::Iso8859_1Esc, {"x", "\x1B", "\u00C4"}},
        {CharSet::Value::RisShiftJis, {"A", "\u3042", "\u30AB", "\u6F22", "\uFF5E"}},
        {CharSet::Value::KscKorean, {"k", "\uD55C", "\uAE00"}},
        {CharSet::Value::GbChinese, {"g", "\u4E2D", "\u6587"}},
        {CharSet::Value::Big5, {"b", "\u4E2D", "\u6587"}},
    };
    std::mt19937 rng(11);
    for (const auto& a : alphabets) {
        auto text = TrackText::make_empty({kIso646, a.charset}, 3, 8192).value();
        std::vector<std::vector<std::string>> titles(3);
        for (std::size_t t = 0; t < 3; ++t) {
            TrackEntry entry;
            for (TrackField f : {TrackField::Title, TrackField::Performer, TrackField::ComposerPhonetic}) {
                std::string s;
                for (std::size_t n = rng() % 12; n > 0; --n) s += a.pieces[rng() % a.pieces.size()];
                titles[t].push_back(s);
                entry.items.push_back(TrackItem{track_field_code(f), 0x20, a.charset.encode(s, "test").value()});
            }
            ASSERT_TRUE(text.replace_entry(1, t, entry).ok());
        }
        auto reparsed = parse_ok(text.emit().value(), 2, 3, {kIso646, a.charset});
        EXPECT_EQ(reparsed, text);
        for (std::size_t t = 0; t < 3; ++t) {
            std::size_t i = 0;
            for (TrackField f : {TrackField::Title, TrackField::Performer, TrackField::ComposerPhonetic}) {
                auto r = reparsed.read_entry_field_decoded(1, t, f, a.charset);
                EXPECT_EQ(r.clean_text(), titles[t][i++]) << a.charset.wire_name() << " track " << t;
            }
        }
    }
}

// Whatever parses emits exactly what was parsed, down to the gap, heap and trailing bytes.
TEST(TrackText, MutatedBlocksThatParseEmitUnchanged) {
    std::mt19937 rng(5);
    const auto base = two_track_block().bytes;
    int parsed = 0;
    for (int round = 0; round < 2000; ++round) {
        auto block = base;
        for (int k = 0; k < 3; ++k) block[8 + rng() % 120] = static_cast<std::uint8_t>(rng());
        const bool double_byte = round % 2 == 1;
        const std::vector<CharSet> charsets{double_byte ? kShiftJis : kIso646};
        auto text = TrackText::parse(block, 1, 2, charsets);
        if (!text.ok()) continue;
        ++parsed;
        auto out = text->emit();
        ASSERT_TRUE(out.ok()) << "round " << round << ": " << out.error().message();
        ASSERT_TRUE(fixture::same_bytes(*out, block)) << "round " << round;
    }
    EXPECT_GT(parsed, 100);
}

}  // namespace
}  // namespace sacd
