#include "sacd/master_toc.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "tests/support/same_bytes.h"

using namespace sacd;
using namespace sacd::edit_errors;
using testsupport::same_bytes;

namespace {

// Sectors are written here byte by byte from the layout table, not by the emitter.
struct SectorFixture {
    Bytes b = Bytes(kSectorSize, 0);

    SectorFixture() { text(0, "SACDMTOC"); }
    SectorFixture& u8(std::size_t at, std::uint8_t v) { b[at] = v; return *this; }
    SectorFixture& u16(std::size_t at, std::uint16_t v) {
        b[at] = static_cast<std::uint8_t>(v >> 8);
        b[at + 1] = static_cast<std::uint8_t>(v);
        return *this;
    }
    SectorFixture& u32(std::size_t at, std::uint32_t v) {
        u16(at, static_cast<std::uint16_t>(v >> 16));
        return u16(at + 2, static_cast<std::uint16_t>(v));
    }
    SectorFixture& text(std::size_t at, std::string_view s) {
        std::memcpy(b.data() + at, s.data(), s.size());
        return *this;
    }
    SectorFixture& fill(std::size_t at, std::size_t n, std::uint8_t v) {
        std::fill_n(b.begin() + static_cast<std::ptrdiff_t>(at), n, v);
        return *this;
    }
};

Bytes ascii(std::string_view s) { return Bytes(s.begin(), s.end()); }

MasterToc parsed(const Bytes& sector) {
    auto toc = MasterToc::parse(sector);
    EXPECT_TRUE(toc.ok());
    return toc.ok() ? *toc : MasterToc{};
}

Bytes field_bytes(const Bytes& sector, std::size_t at, std::size_t n) {
    return Bytes(sector.begin() + static_cast<std::ptrdiff_t>(at), sector.begin() + static_cast<std::ptrdiff_t>(at + n));
}

}  // namespace

TEST(MasterToc, ParsesEveryFieldAtItsTableOffset) {
    SectorFixture f;
    f.u8(8, 1).u8(9, 20).fill(10, 6, 0xA1)
        .u16(16, 3).u16(18, 2).fill(20, 4, 0xA2)
        .text(24, "EMI 5099        ")
        .u8(40, 1).u8(41, 0).u16(42, 25).u8(44, 1).u16(46, 3)
        .fill(56, 8, 0xA3)
        .u32(64, 544).u32(68, 100000).u32(72, 600).u32(76, 200000)
        .u8(80, 0x85).u16(81, 0xBEEF).u8(83, 0x77)
        .u16(84, 5).u16(86, 6)
        .text(88, "DISC-1")
        .u8(104, 1).u16(106, 14)
        .u16(120, 2011).u8(122, 9).u8(123, 26).fill(124, 4, 0xA4)
        .u8(128, 2).fill(129, 7, 0xA5).text(136, "en").u8(138, 2).u8(139, 0x11).text(140, "ja").u8(142, 3)
        .text(168, "http://example.com/\xE9")
        .u32(296, 0).u32(300, 0).u32(304, 0).u32(308, 0x0B0B0B0B).fill(312, 4, 0xA6)
        .u16(316, 0x1234).u16(318, 0x5678).u32(320, 0).u16(324, 0x9ABC).fill(326, 2, 0xA7)
        .u32(328, 0x01020304).u32(332, 0xCAFEBABE).u32(336, 7).u32(340, 0).u32(344, 9).u32(348, 0xDEADBEEF)
        .fill(352, 8, 0xA8).fill(360, 1688, 0x5A).u8(2047, 0xFE);

    const MasterToc toc = parsed(f.b);
    EXPECT_EQ(toc.spec_version_major, 1);
    EXPECT_EQ(toc.spec_version_minor, 20);
    EXPECT_EQ(toc.reserved_10[5], 0xA1);
    EXPECT_EQ(toc.album_set_size, 3);
    EXPECT_EQ(toc.album_sequence_number, 2);
    EXPECT_EQ(toc.reserved_20[0], 0xA2);
    EXPECT_EQ(std::string(toc.album_catalog_number.begin(), toc.album_catalog_number.end()), "EMI 5099        ");
    EXPECT_EQ(toc.album_genre[0], (GenreCode{1, 0, 25}));
    EXPECT_EQ(toc.album_genre[1], (GenreCode{1, 0, 3}));
    EXPECT_EQ(toc.album_genre[2], GenreCode{});
    EXPECT_EQ(toc.reserved_56[7], 0xA3);
    EXPECT_EQ(toc.stereo_toc1_lsn, 544u);
    EXPECT_EQ(toc.stereo_toc2_lsn, 100000u);
    EXPECT_EQ(toc.multichannel_toc1_lsn, 600u);
    EXPECT_EQ(toc.multichannel_toc2_lsn, 200000u);
    EXPECT_EQ(toc.disc_flags, 0x85);
    EXPECT_TRUE(toc.hybrid());
    EXPECT_EQ(toc.reserved_81, 0xBEEF);
    EXPECT_EQ(toc.reserved_83, 0x77);
    EXPECT_EQ(toc.stereo_toc_length, 5);
    EXPECT_EQ(toc.multichannel_toc_length, 6);
    EXPECT_EQ(toc.disc_catalog_number[5], '1');
    EXPECT_EQ(toc.disc_catalog_number[6], 0);
    EXPECT_EQ(toc.disc_genre[0], (GenreCode{1, 0, 14}));
    EXPECT_EQ(toc.disc_date_year, 2011);
    EXPECT_EQ(toc.disc_date_month, 9);
    EXPECT_EQ(toc.disc_date_day, 26);
    EXPECT_EQ(toc.reserved_124[3], 0xA4);
    EXPECT_EQ(toc.text_channel_count(), 2);
    EXPECT_EQ(toc.text_channel(0), (TextChannel{{'e', 'n'}, 2, 0x11}));
    EXPECT_EQ(toc.text_channel(1), (TextChannel{{'j', 'a'}, 3, 0}));
    EXPECT_EQ(toc.text_channel(1)->charset(), CharSet(CharSet::Value::RisShiftJis));
    EXPECT_EQ(toc.text_channel(2), (TextChannel{}));
    EXPECT_FALSE(toc.text_channel(8).has_value());
    EXPECT_EQ(toc.weblink(), "http://example.com/\u00E9");
    EXPECT_EQ(toc.area_toc_b_words[3], 0x0B0B0B0Bu);
    EXPECT_TRUE(toc.has_area_toc_b());
    EXPECT_EQ(toc.reserved_312[0], 0xA6);
    EXPECT_EQ(toc.extension_half_words[0], 0x1234);
    EXPECT_EQ(toc.extension_half_words[1], 0x5678);
    EXPECT_EQ(toc.extension_half_word_324, 0x9ABC);
    EXPECT_EQ(toc.reserved_326[1], 0xA7);
    EXPECT_EQ(toc.extension_area_pointer, 0x01020304u);
    EXPECT_TRUE(toc.has_extension_area());
    EXPECT_EQ(toc.extension_word_332, 0xCAFEBABEu);
    EXPECT_TRUE(toc.has_ekb1());
    EXPECT_FALSE(toc.has_ekb2());
    EXPECT_TRUE(toc.has_revocation_data());
    EXPECT_EQ(toc.extension_word_348, 0xDEADBEEFu);
    EXPECT_EQ(toc.reserved_352[0], 0xA8);
    EXPECT_EQ(toc.remainder.front(), 0x5A);
    EXPECT_EQ(toc.remainder.back(), 0xFE);

    EXPECT_TRUE(same_bytes(toc.emit(), f.b));
}

TEST(MasterToc, EmitReproducesAnySignedSector) {
    std::mt19937 rng(20110926);
    for (int round = 0; round < 200; ++round) {
        SectorFixture f;
        for (std::size_t i = 8; i < kSectorSize; ++i) f.b[i] = static_cast<std::uint8_t>(rng());
        const MasterToc toc = parsed(f.b);
        ASSERT_TRUE(same_bytes(toc.emit(), f.b)) << "round " << round;
    }
}

TEST(MasterToc, ExtensionAreaIsFlaggedByEitherWord) {
    struct Case {
        std::uint32_t word, pointer;
        bool has;
    };
    for (const Case c : {Case{0, 0, false}, Case{1, 0, true}, Case{0, 0x80000000, true}}) {
        const MasterToc toc = parsed(SectorFixture().u32(320, c.word).u32(328, c.pointer).b);
        EXPECT_EQ(toc.has_extension_area(), c.has) << c.word << " " << c.pointer;
    }
}

TEST(MasterToc, HybridIsBitSevenOfTheFlagsByteOnly) {
    for (std::uint8_t flags : {0x00, 0x80, 0x7F, 0xFF, 0x01}) {
        const SectorFixture f = SectorFixture().u8(80, flags);
        const MasterToc toc = parsed(f.b);
        EXPECT_EQ(toc.hybrid(), (flags & 0x80) != 0) << int(flags);
        EXPECT_TRUE(same_bytes(toc.emit(), f.b)) << int(flags);
    }
}

TEST(MasterToc, RefusesSectorsWithoutTheSignature) {
    const Bytes wrong_case = SectorFixture().text(0, "sacdmtoc").b;
    const Bytes master_text = SectorFixture().text(0, "SACDText").b;
    const Bytes zeros(kSectorSize, 0);
    for (const Bytes* sector : {&wrong_case, &master_text, &zeros}) {
        auto toc = MasterToc::parse(*sector);
        ASSERT_FALSE(toc.ok());
        ASSERT_NE(toc.error().malformed_text(), nullptr);
        EXPECT_EQ(*toc.error().malformed_text(), "missing SACDMTOC magic");
    }
}

TEST(MasterToc, RefusesBuffersThatAreNotOneSector) {
    const Bytes signed_sector = SectorFixture().b;
    for (std::size_t n : {0, 7, 8, 2047, 2049}) {
        Bytes buffer(signed_sector.begin(), signed_sector.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(n, kSectorSize)));
        buffer.resize(n, 0);
        EXPECT_FALSE(MasterToc::parse(buffer).ok()) << n;
    }
}

TEST(MasterToc, DefaultRecordEmitsTheSignatureAndZeros) {
    const MasterToc toc;
    EXPECT_TRUE(same_bytes(toc.emit(), SectorFixture().b));
}

TEST(MasterToc, DiscDateValidation) {
    struct Case {
        std::uint16_t year;
        std::uint8_t month, day;
        bool ok;
    };
    const Case cases[] = {
        {2011, 9, 26, true}, {2000, 2, 29, true},  {1900, 2, 29, false}, {2023, 4, 31, false},
        {2011, 0, 0, true},  {2011, 9, 0, false},  {2011, 0, 5, false},  {2011, 13, 1, false},
        {2024, 2, 29, true}, {2023, 2, 29, false}, {2023, 12, 31, true}, {2023, 1, 32, false},
        {0, 0, 0, true},     {0, 6, 30, true},     {2023, 11, 31, false}, {2023, 8, 31, true},
    };
    for (const Case& c : cases) {
        MasterToc toc;
        toc.disc_date_year = 1999;
        toc.disc_date_month = 1;
        toc.disc_date_day = 2;
        auto set = toc.set_disc_date(c.year, c.month, c.day);
        const std::string label = std::to_string(c.year) + "-" + std::to_string(c.month) + "-" + std::to_string(c.day);
        ASSERT_EQ(set.ok(), c.ok) << label;
        if (c.ok) {
            const Bytes sector = toc.emit();
            EXPECT_EQ(field_bytes(sector, 120, 4),
                      (Bytes{static_cast<std::uint8_t>(c.year >> 8), static_cast<std::uint8_t>(c.year), c.month, c.day}))
                << label;
        } else {
            const auto* e = set.error().as<InvalidDate>();
            ASSERT_NE(e, nullptr) << label;
            EXPECT_EQ(e->year, c.year);
            EXPECT_EQ(e->month, c.month);
            EXPECT_EQ(e->day, c.day);
            EXPECT_EQ(toc.disc_date_year, 1999) << label;
            EXPECT_EQ(toc.disc_date_month, 1) << label;
            EXPECT_EQ(toc.disc_date_day, 2) << label;
        }
    }
}

TEST(MasterToc, GenreValidation) {
    const std::string not_packed = "used Genre_Codes must be packed first; zeros must follow";
    const std::string unused_index = "GenreCode with Genre_Table == 0 must have Genre_Index == 0 per spec section 1.7.2.2.2";
    const std::string reserved = "GenreCode reserved byte must be 0 per spec section 1.7.2.2";
    struct Case {
        Genre4 codes;
        std::string reason;  // empty: accepted
    };
    const Case cases[] = {
        {{{{1, 0, 25}, {0, 0, 0}, {1, 0, 3}, {0, 0, 0}}}, not_packed},
        {{{{0, 0, 0}, {1, 0, 3}, {0, 0, 0}, {0, 0, 0}}}, not_packed},
        {{{{0, 0, 7}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}}}, unused_index},
        // The reserved byte is judged before packing, even when a later code breaks the packing.
        {{{{1, 1, 2}, {0, 0, 0}, {1, 0, 3}, {0, 0, 0}}}, reserved},
        // Codes are judged in order: the first code's rule decides.
        {{{{0, 0, 7}, {1, 1, 2}, {0, 0, 0}, {0, 0, 0}}}, unused_index},
        {{{{1, 0, 25}, {1, 0, 3}, {0, 0, 0}, {0, 0, 0}}}, ""},
        {{{{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}}}, ""},
        {{{{5, 0, 1}, {1, 0, 2}, {2, 0, 3}, {1, 0, 65535}}}, ""},
    };
    const Genre4 before{{{1, 0, 9}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}}};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        for (bool album : {true, false}) {
            MasterToc toc;
            toc.album_genre = before;
            toc.disc_genre = before;
            auto set = album ? toc.set_album_genre(c.codes) : toc.set_disc_genre(c.codes);
            if (c.reason.empty()) {
                ASSERT_TRUE(set.ok()) << "case " << i;
                const std::size_t at = album ? 40 : 104;
                Bytes want;
                for (const GenreCode& g : c.codes)
                    want.insert(want.end(), {g.table, 0, static_cast<std::uint8_t>(g.index >> 8),
                                             static_cast<std::uint8_t>(g.index)});
                EXPECT_EQ(field_bytes(toc.emit(), at, 16), want) << "case " << i;
                EXPECT_EQ(album ? toc.disc_genre : toc.album_genre, before) << "case " << i;
            } else {
                ASSERT_FALSE(set.ok()) << "case " << i;
                const auto* e = set.error().as<InvalidGenre4>();
                ASSERT_NE(e, nullptr) << "case " << i;
                EXPECT_EQ(e->reason, c.reason) << "case " << i;
                EXPECT_EQ(toc.album_genre, before) << "case " << i;
                EXPECT_EQ(toc.disc_genre, before) << "case " << i;
            }
        }
    }
}

TEST(MasterToc, CatalogNumbersArePaddedWithSpaces) {
    auto emi = write_fixed_16_ascii("EMI 5099", "AlbumCatalogNumber");
    ASSERT_TRUE(emi.ok());
    EXPECT_EQ(std::string(emi->begin(), emi->end()), "EMI 5099        ");

    auto empty = write_fixed_16_ascii("", "AlbumCatalogNumber");
    ASSERT_TRUE(empty.ok());
    EXPECT_EQ(*empty, CatalogNumber{});

    auto full = write_fixed_16_ascii("ABCDEFGHIJKLMNOP", "DiscCatalogNumber");
    ASSERT_TRUE(full.ok());
    EXPECT_EQ(std::string(full->begin(), full->end()), "ABCDEFGHIJKLMNOP");

    auto spaces = write_fixed_16_ascii(" ", "DiscCatalogNumber");
    ASSERT_TRUE(spaces.ok());
    EXPECT_EQ(std::string(spaces->begin(), spaces->end()), std::string(16, ' '));
}

TEST(MasterToc, CatalogNumberErrorsNameTheField) {
    auto too_long = write_fixed_16_ascii("ABCDEFGHIJKLMNOPQ", "DiscCatalogNumber");
    ASSERT_FALSE(too_long.ok());
    const auto* e = too_long.error().as<FieldTooLong>();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->field, "DiscCatalogNumber");
    EXPECT_EQ(e->actual_bytes, 17u);
    EXPECT_EQ(e->limit_bytes, 16u);

    struct Case {
        const char* text;
        char32_t bad;
    };
    for (const Case c : {Case{"EMI\t1", U'\t'}, Case{"Caf\u00E9", U'\u00E9'}, Case{"A\x7F", U'\x7F'}}) {
        auto refused = write_fixed_16_ascii(c.text, "AlbumCatalogNumber");
        ASSERT_FALSE(refused.ok()) << c.text;
        const auto* n = refused.error().as<CharacterNotInCharset>();
        ASSERT_NE(n, nullptr) << c.text;
        EXPECT_EQ(n->character, c.bad);
        EXPECT_EQ(n->charset_code, 1);
        EXPECT_EQ(n->field, "AlbumCatalogNumber");
    }
}

TEST(MasterToc, CatalogSettersWriteTheirOwnFieldAndKeepTheOldValueOnError) {
    MasterToc toc;
    ASSERT_TRUE(toc.set_album_catalog_number("EMI 5099").ok());
    ASSERT_TRUE(toc.set_disc_catalog_number("D-2").ok());
    const Bytes sector = toc.emit();
    EXPECT_EQ(field_bytes(sector, 24, 16), ascii("EMI 5099        "));
    EXPECT_EQ(field_bytes(sector, 88, 16), ascii("D-2             "));

    auto refused = toc.set_album_catalog_number("\u00C9MI");
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().as<CharacterNotInCharset>()->field, "AlbumCatalogNumber");
    EXPECT_TRUE(same_bytes(toc.emit(), sector));
    ASSERT_FALSE(toc.set_disc_catalog_number(std::string(17, 'X')).ok());
    EXPECT_TRUE(same_bytes(toc.emit(), sector));
}

TEST(MasterToc, AlbumSetNeedsSequenceWithinSize) {
    struct Case {
        std::uint16_t size, sequence;
        bool ok;
    };
    for (const Case c : {Case{1, 1, true}, Case{3, 2, true}, Case{3, 3, true}, Case{2, 3, false}, Case{0, 0, false},
                         Case{5, 0, false}}) {
        MasterToc toc;
        toc.album_set_size = 7;
        toc.album_sequence_number = 4;
        auto set = toc.set_album_set(c.size, c.sequence);
        ASSERT_EQ(set.ok(), c.ok) << c.size << "/" << c.sequence;
        if (c.ok) {
            EXPECT_EQ(field_bytes(toc.emit(), 16, 4), (Bytes{0, static_cast<std::uint8_t>(c.size), 0,
                                                              static_cast<std::uint8_t>(c.sequence)}));
        } else {
            const auto* e = set.error().as<InvalidAlbumSet>();
            ASSERT_NE(e, nullptr);
            EXPECT_EQ(e->size, c.size);
            EXPECT_EQ(e->sequence, c.sequence);
            EXPECT_EQ(toc.album_set_size, 7);
            EXPECT_EQ(toc.album_sequence_number, 4);
        }
    }
}

TEST(MasterToc, SetTextChannelsRewritesCountAndEntriesOnly) {
    const SectorFixture f = SectorFixture().u8(128, 3).fill(129, 7, 0xC3).fill(136, 32, 0xEE);
    MasterToc toc = parsed(f.b);
    const TextChannel channels[] = {{{'e', 'n'}, 2, 0}, {{'j', 'a'}, 3, 0}};
    ASSERT_TRUE(toc.set_text_channels(channels).ok());

    Bytes want(40, 0);
    want[0] = 2;
    std::fill(want.begin() + 1, want.begin() + 8, 0xC3);
    want[8] = 'e', want[9] = 'n', want[10] = 2;
    want[12] = 'j', want[13] = 'a', want[14] = 3;
    EXPECT_EQ(field_bytes(toc.emit(), 128, 40), want);

    const std::vector<TextChannel> nine(9, TextChannel{{'d', 'e'}, 2, 0});
    auto refused = toc.set_text_channels(nine);
    ASSERT_FALSE(refused.ok());
    EXPECT_NE(refused.error().as<LocaleLimitReached>(), nullptr);
    EXPECT_EQ(field_bytes(toc.emit(), 128, 40), want);
}

TEST(MasterToc, WeblinkIsLatin1UpToTheFirstZero) {
    EXPECT_FALSE(parsed(SectorFixture().b).weblink().has_value());
    EXPECT_EQ(parsed(SectorFixture().text(168, "a.b/c").text(174, "junk").b).weblink(), "a.b/c");
    // A link filling all 128 bytes ends at the field's end, not in the next field.
    EXPECT_EQ(parsed(SectorFixture().fill(168, 128, 'w').u32(296, 0x41414141).b).weblink(), std::string(128, 'w'));
}
