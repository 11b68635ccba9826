#include "sacd/master_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "tests/support/same_bytes.h"

using namespace sacd;
using namespace sacd::edit_errors;
using testsupport::same_bytes;

namespace {

const CharSet kLatin1(CharSet::Value::Iso8859_1);
const CharSet kIso646(CharSet::Value::Iso646);
const CharSet kShiftJis(CharSet::Value::RisShiftJis);

// Sectors are written here byte by byte from the layout table, not by the emitter.
struct SectorFixture {
    Bytes b = Bytes(kSectorSize, 0);

    SectorFixture() { bytes(0, "SACDText"); }
    SectorFixture& position(MasterField f, std::uint16_t p) {
        const std::size_t at = 16 + 2 * static_cast<std::size_t>(f);
        b[at] = static_cast<std::uint8_t>(p >> 8);
        b[at + 1] = static_cast<std::uint8_t>(p);
        return *this;
    }
    SectorFixture& bytes(std::size_t at, std::string_view s) {
        std::memcpy(b.data() + at, s.data(), s.size());
        return *this;
    }
    SectorFixture& field(MasterField f, std::uint16_t p, std::string_view s) { return position(f, p).bytes(p, s); }
    SectorFixture& fill(std::size_t at, std::size_t n, std::uint8_t v) {
        std::fill_n(b.begin() + static_cast<std::ptrdiff_t>(at), n, v);
        return *this;
    }
};

MasterText parsed(const Bytes& sector, std::uint8_t channels = 1, std::size_t slot = 0) {
    auto text = MasterText::parse(sector, channels, slot);
    EXPECT_TRUE(text.ok());
    return text.ok() ? *text : MasterText{};
}

Bytes emitted(const MasterText& text) {
    auto sector = text.emit();
    EXPECT_TRUE(sector.ok()) << (sector.ok() ? "" : sector.error().message());
    return sector.ok() ? *sector : Bytes{};
}

std::string clean(const MasterText& text, MasterField f, CharSet charset = kLatin1) {
    const auto read = text.read_field_decoded(f, charset);
    return read.clean_text() ? *read.clean_text() : "<not clean>";
}

}  // namespace

TEST(MasterField, NamesAndKindsFollowThePositionOrder) {
    const char* names[] = {"AlbumTitle",        "AlbumArtist",         "AlbumPublisher",         "AlbumCopyright",
                           "AlbumTitlePhonetic", "AlbumArtistPhonetic", "AlbumPublisherPhonetic", "AlbumCopyrightPhonetic",
                           "DiscTitle",         "DiscArtist",          "DiscPublisher",          "DiscCopyright",
                           "DiscTitlePhonetic", "DiscArtistPhonetic",  "DiscPublisherPhonetic",  "DiscCopyrightPhonetic"};
    for (std::size_t i = 0; i < kMasterFieldCount; ++i) {
        const MasterField f = *master_field_at(i);
        EXPECT_EQ(master_field_index(f), i);
        EXPECT_EQ(master_field_name(f), names[i]);
        EXPECT_EQ(is_phonetic(f), (i >= 4 && i <= 7) || i >= 12) << names[i];
    }
    EXPECT_FALSE(master_field_at(16).has_value());
}

TEST(MasterText, ReadsFieldsAtTheirPositions) {
    const SectorFixture f = SectorFixture()
                                .field(MasterField::AlbumTitle, 64, "Kind of Blue")
                                .field(MasterField::AlbumArtist, 77, "Miles Davis")
                                .field(MasterField::DiscTitle, 89, "")  // first byte zero: empty, not absent
                                .field(MasterField::DiscArtist, 200, "Caf\xE9")
                                .position(MasterField::DiscPublisher, 48)  // reserved data bytes, not text
                                .position(MasterField::DiscCopyright, 63)
                                .position(MasterField::AlbumCopyright, 2048)
                                .position(MasterField::AlbumPublisher, 0xFFFF)
                                .field(MasterField::DiscTitlePhonetic, 2044, "ABCD");  // runs to the sector end
    const MasterText text = parsed(f.b);
    EXPECT_EQ(clean(text, MasterField::AlbumTitle), "Kind of Blue");
    EXPECT_EQ(clean(text, MasterField::AlbumArtist), "Miles Davis");
    EXPECT_EQ(clean(text, MasterField::DiscTitle), "");
    EXPECT_EQ(clean(text, MasterField::DiscArtist), "Caf\u00E9");
    EXPECT_EQ(clean(text, MasterField::DiscTitlePhonetic), "ABCD");
    for (MasterField absent : {MasterField::AlbumTitlePhonetic, MasterField::DiscPublisher, MasterField::DiscCopyright,
                               MasterField::AlbumCopyright, MasterField::AlbumPublisher})
        EXPECT_TRUE(text.read_field_decoded(absent, kLatin1).absent()) << master_field_name(absent);
}

TEST(MasterText, DoubleByteFieldsEndAtAnAlignedZeroUnit) {
    const SectorFixture f = SectorFixture()
                                .field(MasterField::AlbumTitle, 64, std::string_view("\x82\xA0\x00\x41\x00\x00", 6))
                                .field(MasterField::AlbumArtist, 2044, "\x82\xA2\x82\xA0");
    const MasterText text = parsed(f.b);
    // 00 41 is a unit that is not all zero: it belongs to the text.
    EXPECT_EQ(clean(text, MasterField::AlbumTitle, kShiftJis), std::string("\u3042\0A", 5));
    EXPECT_EQ(clean(text, MasterField::AlbumArtist, kShiftJis), "\u3044\u3042");

    // A unit at 2047 would run past the sector end: empty text, while one byte is a whole unit.
    const MasterText last = parsed(SectorFixture().field(MasterField::DiscTitle, 2047, "A").b);
    EXPECT_EQ(clean(last, MasterField::DiscTitle, kShiftJis), "");
    EXPECT_EQ(clean(last, MasterField::DiscTitle, kLatin1), "A");
}

TEST(MasterText, MalformedDoubleByteTextIsLossy) {
    const MasterText text = parsed(SectorFixture().field(MasterField::AlbumTitle, 64, "\x82\x20").b);
    const auto read = text.read_field_decoded(MasterField::AlbumTitle, kShiftJis);
    ASSERT_TRUE(read.lossy());
    const auto& lossy = std::get<MasterFieldRead::Lossy>(read.value);
    EXPECT_EQ(lossy.text, "\uFFFD ");
    EXPECT_EQ(lossy.charset, kShiftJis);
    EXPECT_EQ(lossy.field, MasterField::AlbumTitle);
    EXPECT_EQ(read.clean_text(), nullptr);
    // An unknown character set reads as Latin-1.
    EXPECT_EQ(clean(text, MasterField::AlbumTitle, CharSet::from_disc_code(9)), "\u0082 ");
}

TEST(MasterText, EmitReproducesParsedSectors) {
    std::mt19937 rng(1984);
    for (int round = 0; round < 100; ++round) {
        SectorFixture f;
        for (std::size_t i = 8; i < kSectorSize; ++i) f.b[i] = static_cast<std::uint8_t>(rng());
        for (std::size_t slot : {0, 1, 7}) {
            const MasterText text = parsed(f.b, 2, slot);
            EXPECT_EQ(text.verbatim_magic_only.has_value(), slot >= 2);
            ASSERT_TRUE(same_bytes(emitted(text), f.b)) << "round " << round << " slot " << slot;
        }
    }
}

TEST(MasterText, RefusesSectorsWithoutTheSignature) {
    const Bytes wrong = SectorFixture().bytes(0, "SACDTexT").b;
    auto text = MasterText::parse(wrong, 1, 0);
    ASSERT_FALSE(text.ok());
    ASSERT_NE(text.error().malformed_text(), nullptr);
    EXPECT_EQ(*text.error().malformed_text(), "missing SACDText magic");
    for (std::size_t n : {0, 8, 2047, 2049}) {
        Bytes buffer = SectorFixture().b;
        buffer.resize(n, 0);
        EXPECT_FALSE(MasterText::parse(buffer, 1, 0).ok()) << n;
    }
}

TEST(MasterText, EmptyRecordsEmitTheSignatureAndZeros) {
    const Bytes signature_only = SectorFixture().b;
    const MasterText unused = MasterText::magic_only_default();
    ASSERT_TRUE(unused.verbatim_magic_only.has_value());
    EXPECT_TRUE(same_bytes(emitted(unused), signature_only));
    EXPECT_TRUE(same_bytes(emitted(MasterText{}), signature_only));
}

TEST(MasterText, UnusedSlotKeepsItsBytesUntilAFieldIsSet) {
    const SectorFixture f = SectorFixture().fill(8, 2040, 0x00).bytes(8, "odd").position(MasterField::AlbumTitle, 0x1234)
                                .fill(1000, 40, 0xEE);
    MasterText text = parsed(f.b, 1, 3);
    ASSERT_TRUE(text.verbatim_magic_only.has_value());
    EXPECT_TRUE(same_bytes(emitted(text), f.b));

    // A change that does not go through set_field must not be written over the kept copy.
    MasterText tampered = text;
    tampered.positions[2] = 64;
    auto stale = tampered.emit();
    ASSERT_FALSE(stale.ok());
    EXPECT_EQ(stale.error().message(),
              "MasterText: verbatim_magic_only is stale — some in-crate path mutated positions / data / reserved "
              "without clearing the cache. Only set_field is allowed to invalidate the cache.");

    ASSERT_TRUE(text.set_field(MasterField::DiscTitle, "New", kLatin1).ok());
    EXPECT_FALSE(text.verbatim_magic_only.has_value());
    const Bytes sector = emitted(text);
    EXPECT_EQ(Bytes(sector.begin() + 8, sector.begin() + 16), Bytes(f.b.begin() + 8, f.b.begin() + 16));
    EXPECT_EQ(clean(text, MasterField::DiscTitle), "New");
}

TEST(MasterText, SetFieldRepacksTheHeapInFieldOrder) {
    // Reserved bytes and the 16 reserved data bytes survive; the old heap is rebuilt from the fields.
    const SectorFixture before = SectorFixture()
                                     .fill(8, 8, 0xA5)
                                     .fill(48, 16, 0xB6)
                                     .field(MasterField::DiscArtist, 300, "Xy")
                                     .field(MasterField::AlbumTitle, 100, "Old")
                                     .fill(1500, 10, 0x77);  // unreferenced heap bytes are not kept
    MasterText text = parsed(before.b);
    ASSERT_TRUE(text.set_field(MasterField::AlbumArtist, "Abc", kLatin1).ok());

    const SectorFixture want = SectorFixture()
                                   .fill(8, 8, 0xA5)
                                   .fill(48, 16, 0xB6)
                                   .field(MasterField::AlbumTitle, 64, "Old")
                                   .field(MasterField::AlbumArtist, 68, "Abc")
                                   .field(MasterField::DiscArtist, 72, "Xy");
    EXPECT_TRUE(same_bytes(emitted(text), want.b));
}

TEST(MasterText, ClearingAFieldShiftsTheFollowingFields) {
    MasterText text;
    ASSERT_TRUE(text.set_field(MasterField::AlbumTitle, "First", kLatin1).ok());
    ASSERT_TRUE(text.set_field(MasterField::AlbumArtist, "Second", kLatin1).ok());
    ASSERT_TRUE(text.set_field(MasterField::DiscCopyrightPhonetic, "Last", kLatin1).ok());
    EXPECT_EQ(text.positions[1], 70);
    EXPECT_EQ(text.positions[15], 77);

    ASSERT_TRUE(text.set_field(MasterField::AlbumTitle, std::nullopt, kLatin1).ok());
    const SectorFixture want = SectorFixture()
                                   .field(MasterField::AlbumArtist, 64, "Second")
                                   .field(MasterField::DiscCopyrightPhonetic, 71, "Last");
    EXPECT_TRUE(same_bytes(emitted(text), want.b));
    EXPECT_TRUE(text.read_field_decoded(MasterField::AlbumTitle, kLatin1).absent());

    // An empty text clears a field the same way.
    ASSERT_TRUE(text.set_field(MasterField::AlbumArtist, "", kLatin1).ok());
    EXPECT_EQ(text.positions[1], 0);
    EXPECT_EQ(text.positions[15], 64);
}

TEST(MasterText, OddLengthDoubleByteTextsStayApart) {
    // "BIS" is three bytes in Shift_JIS; without a pad byte its terminator would straddle a unit
    // and the title would read on into the artist.
    MasterText text;
    ASSERT_TRUE(text.set_field(MasterField::AlbumTitle, "BIS", kShiftJis).ok());
    ASSERT_TRUE(text.set_field(MasterField::AlbumArtist, "\u3042", kShiftJis).ok());
    ASSERT_TRUE(text.set_field(MasterField::DiscTitle, "A\u3044", kShiftJis).ok());

    const SectorFixture want = SectorFixture()
                                   .field(MasterField::AlbumTitle, 64, std::string_view("BIS\0\0\0", 6))
                                   .field(MasterField::AlbumArtist, 70, std::string_view("\x82\xA0\0\0", 4))
                                   .field(MasterField::DiscTitle, 74, std::string_view("A\x82\xA2\0\0\0", 6));
    EXPECT_TRUE(same_bytes(emitted(text), want.b));
    EXPECT_EQ(clean(text, MasterField::AlbumTitle, kShiftJis), "BIS");
    EXPECT_EQ(clean(text, MasterField::AlbumArtist, kShiftJis), "\u3042");
    EXPECT_EQ(clean(text, MasterField::DiscTitle, kShiftJis), "A\u3044");

    // Repacking again leaves the padded texts as they are.
    ASSERT_TRUE(text.set_field(MasterField::DiscArtist, "Z", kShiftJis).ok());
    EXPECT_EQ(clean(text, MasterField::AlbumTitle, kShiftJis), "BIS");
    EXPECT_EQ(text.positions[8], 74);
}

TEST(MasterText, HeapBudgetIsSixteenTimes124) {
    const CharSet sets[] = {kLatin1, kShiftJis};
    for (const CharSet charset : sets) {
        const bool wide = charset.is_double_byte();
        // 123 one-byte characters (with one pad byte in a double-byte set) plus a terminator unit.
        const std::string fits(wide ? 122 : 123, 'a');
        MasterText text;
        for (std::size_t i = 0; i < kMasterFieldCount; ++i)
            ASSERT_TRUE(text.set_field(*master_field_at(i), fits, charset).ok()) << i;
        EXPECT_EQ(text.positions[15], 64 + 15 * 124);
        EXPECT_EQ(clean(text, MasterField::DiscCopyrightPhonetic, charset), fits);
    }

    MasterText text;
    const std::string longer(124, 'a');
    for (std::size_t i = 0; i < 15; ++i) ASSERT_TRUE(text.set_field(*master_field_at(i), longer, kLatin1).ok()) << i;
    const MasterText before = text;
    auto refused = text.set_field(MasterField::DiscCopyrightPhonetic, longer, kLatin1);
    ASSERT_FALSE(refused.ok());
    const auto* e = refused.error().as<FieldTooLong>();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->field, "MasterText.heap");
    EXPECT_EQ(e->actual_bytes, 2000u);
    EXPECT_EQ(e->limit_bytes, 1984u);
    EXPECT_EQ(text, before);
}

TEST(MasterText, EncodingErrorsChangeNothing) {
    MasterText text = parsed(SectorFixture().field(MasterField::AlbumTitle, 64, "Keep").b);
    const MasterText before = text;
    struct Case {
        CharSet charset;
        const char* value;
        std::size_t value_size;
        char32_t bad;
        std::uint8_t code;
    };
    const Case cases[] = {
        {kIso646, "Caf\u00E9", 5, U'\u00E9', 1},
        {kLatin1, "\u20AC", 3, U'\u20AC', 2},
        // A zero byte would end the stored text early, so U+0000 is refused in every set.
        {kShiftJis, "A\0B", 3, U'\0', 3},
        {CharSet::from_disc_code(9), "x", 1, U'\0', 9},
    };
    for (const Case& c : cases) {
        auto refused = text.set_field(MasterField::DiscTitle, std::string_view(c.value, c.value_size), c.charset);
        ASSERT_FALSE(refused.ok()) << c.value;
        const auto* e = refused.error().as<CharacterNotInCharset>();
        ASSERT_NE(e, nullptr) << c.value;
        EXPECT_EQ(e->field, "DiscTitle");
        EXPECT_EQ(e->character, c.bad);
        EXPECT_EQ(e->charset_code, c.code);
        EXPECT_EQ(text, before);
    }
}

TEST(MasterText, AliasedRecordsMustBeRepairedBeforeWriting) {
    const SectorFixture f = SectorFixture()
                                .field(MasterField::AlbumTitle, 64, "Shared")
                                .position(MasterField::DiscTitle, 64)
                                .field(MasterField::AlbumArtist, 80, "Artist");
    MasterText text = parsed(f.b);
    EXPECT_EQ(clean(text, MasterField::AlbumTitle), "Shared");
    EXPECT_EQ(clean(text, MasterField::DiscTitle), "Shared");

    const MasterText before = text;
    auto refused = text.set_field(MasterField::AlbumArtist, "Other", kLatin1);
    ASSERT_FALSE(refused.ok());
    const auto* e = refused.error().as<AliasedPositionsRequireRepairFirst>();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->aliased_offsets, (std::vector<std::uint16_t>{64}));
    EXPECT_EQ(text, before);

    auto repaired = text.repair_aliased_positions(kLatin1);
    ASSERT_TRUE(repaired.ok());
    EXPECT_EQ(*repaired, 1);
    const SectorFixture want = SectorFixture()
                                   .field(MasterField::AlbumTitle, 64, "Shared")
                                   .field(MasterField::AlbumArtist, 71, "Artist")
                                   .field(MasterField::DiscTitle, 78, "Shared");
    EXPECT_TRUE(same_bytes(emitted(text), want.b));

    ASSERT_TRUE(text.set_field(MasterField::AlbumTitle, "Album", kLatin1).ok());
    EXPECT_EQ(clean(text, MasterField::AlbumTitle), "Album");
    EXPECT_EQ(clean(text, MasterField::DiscTitle), "Shared");
    EXPECT_EQ(clean(text, MasterField::AlbumArtist), "Artist");
}

TEST(MasterText, AliasListIsSortedWithoutRepeats) {
    const SectorFixture f = SectorFixture()
                                .field(MasterField::AlbumTitle, 200, "B")
                                .position(MasterField::AlbumArtist, 200)
                                .position(MasterField::AlbumPublisher, 200)
                                .field(MasterField::DiscTitle, 100, "A")
                                .position(MasterField::DiscArtist, 100)
                                .position(MasterField::DiscPublisher, 48)  // invalid positions never alias
                                .position(MasterField::DiscCopyright, 48);
    MasterText text = parsed(f.b);
    EXPECT_EQ(text.aliased_positions(), (std::vector<std::uint16_t>{100, 200}));
    auto repaired = text.repair_aliased_positions(kLatin1);
    ASSERT_TRUE(repaired.ok());
    EXPECT_EQ(*repaired, 3);
    EXPECT_TRUE(text.aliased_positions().empty());
    for (MasterField fld : {MasterField::AlbumTitle, MasterField::AlbumArtist, MasterField::AlbumPublisher})
        EXPECT_EQ(clean(text, fld), "B");
    EXPECT_EQ(clean(text, MasterField::DiscArtist), "A");
}

TEST(MasterText, RepairLeavesUnaliasedRecordsUntouched) {
    const SectorFixture f = SectorFixture().field(MasterField::AlbumTitle, 900, "Far").fill(8, 8, 0x42);
    MasterText text = parsed(f.b, 1, 4);
    auto repaired = text.repair_aliased_positions(kLatin1);
    ASSERT_TRUE(repaired.ok());
    EXPECT_EQ(*repaired, 0);
    EXPECT_TRUE(text.verbatim_magic_only.has_value());
    EXPECT_TRUE(same_bytes(emitted(text), f.b));
}

TEST(MasterText, RepairThatWouldOverflowTheHeapChangesNothing) {
    const SectorFixture f = SectorFixture()
                                .position(MasterField::AlbumTitle, 64)
                                .position(MasterField::DiscTitle, 64)
                                .fill(64, 1000, 'x');
    MasterText text = parsed(f.b);
    const MasterText before = text;
    auto refused = text.repair_aliased_positions(kLatin1);
    ASSERT_FALSE(refused.ok());
    const auto* e = refused.error().as<RepairExceedsHeapBudget>();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->used, 2002u);
    EXPECT_EQ(e->budget, 1984u);
    EXPECT_EQ(text, before);
}

TEST(MasterText, OverlappingTextsEachKeepTheirOwnCopy) {
    // The artist points into the middle of the title: not aliased, but a repack must copy both.
    const SectorFixture f = SectorFixture().field(MasterField::AlbumTitle, 64, "Hello").position(MasterField::AlbumArtist, 66);
    MasterText text = parsed(f.b);
    ASSERT_TRUE(text.set_field(MasterField::DiscTitle, "D", kLatin1).ok());
    EXPECT_EQ(clean(text, MasterField::AlbumTitle), "Hello");
    EXPECT_EQ(clean(text, MasterField::AlbumArtist), "llo");
    EXPECT_EQ(clean(text, MasterField::DiscTitle), "D");
}

TEST(MasterText, TextRunningToTheSectorEndGetsATerminatorWhenRepacked) {
    const SectorFixture f = SectorFixture().field(MasterField::AlbumTitle, 2040, "ABCDEFGH");
    MasterText text = parsed(f.b);
    ASSERT_TRUE(text.set_field(MasterField::AlbumArtist, "Z", kLatin1).ok());
    const SectorFixture want =
        SectorFixture().field(MasterField::AlbumTitle, 64, "ABCDEFGH").field(MasterField::AlbumArtist, 73, "Z");
    EXPECT_TRUE(same_bytes(emitted(text), want.b));
}

TEST(MasterText, WrongSizedDataIsAnInternalError) {
    MasterText text;
    text.data.resize(1999);
    auto sector = text.emit();
    ASSERT_FALSE(sector.ok());
    EXPECT_EQ(sector.error().message(),
              "MasterText: data.len() = 1999 but expected 2000 (= SECTOR - 48); emit splices data into bytes [48, "
              "SECTOR) of the sector");
    auto fields = text.emit_from_fields();
    ASSERT_FALSE(fields.ok());
    EXPECT_EQ(fields.error().message(), "MasterText: data.len() = 1999 but expected 2000 (= SECTOR - 48)");
    auto repaired = text.repair_aliased_positions(kLatin1);
    ASSERT_FALSE(repaired.ok());
    EXPECT_EQ(repaired.error().message(),
              "MasterText::repair_aliased_positions: data.len() = 1999 but expected 2000 (= SECTOR - 48); repair "
              "splices a 1984-byte heap into bytes [HEAP_OFFSET, SECTOR) of the sector");
    EXPECT_FALSE(text.set_field(MasterField::AlbumTitle, "x", kLatin1).ok());
    EXPECT_EQ(text.data.size(), 1999u);

    MasterText cached = MasterText::magic_only_default();
    cached.verbatim_magic_only->pop_back();
    auto short_copy = cached.emit();
    ASSERT_FALSE(short_copy.ok());
    EXPECT_EQ(short_copy.error().message(), "MasterText: verbatim_magic_only.len() = 2047 but expected 2048 (= SECTOR)");
}
