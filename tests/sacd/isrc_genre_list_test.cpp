#include "sacd/isrc_genre_list.h"

#include <gtest/gtest.h>

#include "sacd/genre_table.h"
#include "tests/sacd/area_fixtures.h"

namespace sacd {
namespace {

using fixture::put;
using fixture::put_u16;

// Five used tracks; everything after them (unused entries and both reserved words) non-zero.
fixture::Bytes five_track_fixture() {
    fixture::Bytes b(4096, 0);
    put(b, 0, "SACD_IGL");
    put(b, 8 + 0 * 12, "GBF080500201");
    put(b, 8 + 2 * 12, "gbf080500201");  // lower case: stored, but not a valid ISRC
    put(b, 8 + 3 * 12, {'U', 'S', 0xFF, '1', '2', '3', '4', '5', '6', '7', '8', '9'});
    put(b, 8 + 4 * 12, "JPX123400007");
    fixture::fill_pattern(b, 8 + 5 * 12, 3072, 0x10);
    put(b, 3072 + 0 * 4, {1, 0});
    put_u16(b, 3072 + 2, 14);
    put(b, 3072 + 1 * 4, {1, 0});
    put_u16(b, 3072 + 4 + 2, 0x0102);
    put(b, 3072 + 3 * 4, {7, 9});
    put_u16(b, 3072 + 12 + 2, 0xFFFF);
    fixture::fill_pattern(b, 3072 + 5 * 4, 4096, 0x20);
    return b;
}

TEST(IsrcGenreList, ParsesUsedEntriesKeepsTheRestAndEmitsTheSameBlock) {
    const auto block = five_track_fixture();
    auto list = IsrcGenreList::parse(block, 5);
    ASSERT_TRUE(list.ok());
    ASSERT_EQ(list->isrcs.size(), 5u);
    EXPECT_EQ(list->isrc_tail.size(), 3064u - 60);
    EXPECT_EQ(list->genre_tail.size(), 1024u - 20);
    EXPECT_EQ(list->genres[0], (GenreCode{1, 0, 14}));
    EXPECT_EQ(list->genres[1], (GenreCode{1, 0, 0x0102}));
    EXPECT_EQ(list->genres[2], GenreCode{});
    EXPECT_EQ(list->genres[3], (GenreCode{7, 9, 0xFFFF}));
    auto out = list->emit();
    ASSERT_TRUE(out.ok());
    EXPECT_TRUE(fixture::same_bytes(*out, block));

    EXPECT_EQ(list->read_isrc(0), "GBF080500201");
    EXPECT_EQ(list->read_isrc(1), std::nullopt);  // all zero
    EXPECT_EQ(list->read_isrc(2), std::nullopt);  // lower case
    EXPECT_EQ(list->read_isrc(3), std::nullopt);  // not text
    EXPECT_EQ(list->read_isrc(4), "JPX123400007");
    EXPECT_EQ(list->read_isrc(5), std::nullopt);  // beyond the track count
}

TEST(IsrcGenreList, EdgeTrackCountsRoundTrip) {
    const auto block = five_track_fixture();
    for (std::uint8_t count : {0, 1, 254, 255}) {
        auto list = IsrcGenreList::parse(block, count);
        ASSERT_TRUE(list.ok());
        EXPECT_TRUE(fixture::same_bytes(list->emit().value(), block)) << int(count);
    }
}

TEST(IsrcGenreList, RefusesWrongSizesAndSignatures) {
    auto block = five_track_fixture();
    for (std::size_t len : {0u, 2048u, 4095u, 4097u, 6144u}) {
        fixture::Bytes other(len, 0);
        if (len >= 8) put(other, 0, "SACD_IGL");
        auto r = IsrcGenreList::parse(other, 1);
        ASSERT_FALSE(r.ok());
        EXPECT_EQ(*r.error().malformed_text(), "SACD_IGL block is not 4096 bytes");
    }
    put(block, 0, "SACD_IGX");
    EXPECT_EQ(*IsrcGenreList::parse(block, 1).error().malformed_text(), "missing SACD_IGL magic");
}

TEST(IsrcGenreList, MadeListsEmitAndBrokenOnesAreRefused) {
    auto list = IsrcGenreList::make(3);
    list.isrcs[1] = IsrcGenreList::isrc_bytes("GBF080500201").value();
    list.genres[2] = GenreCode{1, 0, 29};
    auto block = list.emit();
    ASSERT_TRUE(block.ok());
    fixture::Bytes expected(4096, 0);
    put(expected, 0, "SACD_IGL");
    put(expected, 8 + 12, "GBF080500201");
    put(expected, 3072 + 8, {1, 0, 0, 29});
    EXPECT_TRUE(fixture::same_bytes(*block, expected));

    auto uneven = list;
    uneven.genres.pop_back();
    EXPECT_FALSE(uneven.emit().ok());
    auto stale_tail = list;
    stale_tail.isrcs.push_back({});
    stale_tail.genres.push_back({});
    EXPECT_FALSE(stale_tail.emit().ok());
}

TEST(Isrc, ShapeAndStoredForm) {
    for (std::string_view good : {"GBF080500201", "USRC17607839", "JP1234500001"})
        EXPECT_TRUE(is_valid_isrc(good)) << good;
    for (std::string_view bad : {"gbf080500201", "GBF08050020", "GB-F080500201", "GBF0805002O1", "GBF0805002011",
                                 "1BF080500201", "GBF08050020\xC3\xA9", ""})
        EXPECT_FALSE(is_valid_isrc(bad)) << bad;

    EXPECT_EQ(IsrcGenreList::isrc_bytes("").value(), IsrcCode{});
    auto invalid = IsrcGenreList::isrc_bytes("GB-F080500201");
    ASSERT_FALSE(invalid.ok());
    ASSERT_NE(invalid.error().as<edit_errors::InvalidIsrc>(), nullptr);
    EXPECT_EQ(invalid.error().as<edit_errors::InvalidIsrc>()->value, "GB-F080500201");
}

TEST(GeneralGenreTable, NameLookups) {
    struct Case {
        std::string_view name;
        std::optional<std::uint16_t> index;
    };
    for (const auto& c : {Case{"  rhythm & blues ", 24}, Case{"Jazz", 14}, Case{"jazz music", std::nullopt},
                          Case{"NOT DEFINED", 1}, Case{"\tblues\n", 29}, Case{"\u00A0Children's Music\u3000", 4},
                          Case{"", std::nullopt}, Case{"Jazzz", std::nullopt}})
        EXPECT_EQ(general_genre_index(c.name), c.index) << "'" << c.name << "'";

    EXPECT_EQ(genre_ref_name(1, 29), "Blues");
    EXPECT_EQ(genre_ref_name(1, 1), "Not defined");
    EXPECT_EQ(genre_ref_name(1, 0), std::nullopt);
    EXPECT_EQ(genre_ref_name(1, 30), std::nullopt);
    EXPECT_EQ(genre_ref_name(2, 14), std::nullopt);
    // Every name finds its own index.
    for (std::uint16_t i = 1; i <= kGeneralGenreNames.size(); ++i)
        EXPECT_EQ(general_genre_index(*genre_ref_name(1, i)), i);
}

}  // namespace
}  // namespace sacd
