#include "sacd/track_list.h"

#include <gtest/gtest.h>

#include "tests/sacd/area_fixtures.h"

namespace sacd {
namespace {

using fixture::put;
using fixture::put_u32;

constexpr std::size_t kStarts = 8, kSecond = 1028;

// A list sector whose three used entries are given and whose unused entries hold a pattern.
fixture::Bytes list_fixture(std::string_view signature, std::size_t used) {
    fixture::Bytes s(2048, 0);
    put(s, 0, signature);
    fixture::fill_pattern(s, kStarts + 4 * used, kSecond, 0x21);
    fixture::fill_pattern(s, kSecond + 4 * used, 2048, 0x43);
    return s;
}

TEST(Trl1, ReadsUsedEntriesAndKeepsTheUnusedOnes) {
    auto s = list_fixture("SACDTRL1", 3);
    put_u32(s, kStarts + 0, 3000);
    put_u32(s, kStarts + 4, 0x00ABCDEF);
    put_u32(s, kStarts + 8, 0xFFFFFFFE);
    put_u32(s, kSecond + 0, 150);
    put_u32(s, kSecond + 4, 1);
    put_u32(s, kSecond + 8, 0x01020304);
    auto list = Trl1::parse(s, 3);
    ASSERT_TRUE(list.ok());
    EXPECT_EQ(list->start_lsns, (std::vector<std::uint32_t>{3000, 0x00ABCDEF, 0xFFFFFFFE}));
    EXPECT_EQ(list->lengths, (std::vector<std::uint32_t>{150, 1, 0x01020304}));
    EXPECT_EQ(list->start_tail.size(), 1020u - 12);
    EXPECT_EQ(list->start_tail[0], s[kStarts + 12]);
    auto out = list->emit();
    ASSERT_TRUE(out.ok());
    EXPECT_TRUE(fixture::same_bytes(*out, s));
}

TEST(TrackLists, EdgeTrackCountsRoundTrip) {
    for (std::uint8_t count : {0, 1, 254, 255}) {
        auto s1 = list_fixture("SACDTRL1", 0);
        auto l1 = Trl1::parse(s1, count);
        ASSERT_TRUE(l1.ok());
        EXPECT_EQ(l1->start_lsns.size(), count);
        EXPECT_EQ(l1->length_tail.size(), 1020u - 4 * count);
        EXPECT_TRUE(fixture::same_bytes(l1->emit().value(), s1)) << int(count);

        auto s2 = list_fixture("SACDTRL2", 0);
        auto l2 = Trl2::parse(s2, count);
        ASSERT_TRUE(l2.ok());
        EXPECT_EQ(l2->durations.size(), count);
        EXPECT_TRUE(fixture::same_bytes(l2->emit().value(), s2)) << int(count);
    }
}

TEST(TrackLists, RefuseTheOtherSignatureAndPartialSectors) {
    auto s = list_fixture("SACDTRL2", 0);
    auto as_trl1 = Trl1::parse(s, 1);
    ASSERT_FALSE(as_trl1.ok());
    EXPECT_EQ(*as_trl1.error().malformed_text(), "missing SACDTRL1 magic");
    put(s, 0, "SACDTRL1");
    auto as_trl2 = Trl2::parse(s, 1);
    ASSERT_FALSE(as_trl2.ok());
    EXPECT_EQ(*as_trl2.error().malformed_text(), "missing SACDTRL2 magic");
    for (std::size_t len : {0u, 8u, 2047u, 4096u}) {
        fixture::Bytes partial(len, 0);
        if (len >= 8) put(partial, 0, "SACDTRL1");
        EXPECT_FALSE(Trl1::parse(partial, 0).ok()) << len;
    }
}

TEST(Trl2, EntriesKeepTimeAndFlagBytes) {
    auto s = list_fixture("SACDTRL2", 2);
    put(s, kStarts, {0, 2, 0, 0xE1, 0xFF, 0xFF, 0xFF, 0x00});
    put(s, kSecond, {3, 57, 30, 0xC8, 4, 0, 0, 0x37});
    auto list = Trl2::parse(s, 2);
    ASSERT_TRUE(list.ok());
    EXPECT_EQ(list->starts[0], (Trl2Entry{TimeCode{0, 2, 0}, 0xE1}));
    EXPECT_TRUE(list->starts[1].time.is_none());
    EXPECT_EQ(extra_use(list->starts[0]), 7);
    // 0xC8 = 1100 1000: ILP, TMF1 (bit 3) and TMF4 (bit 6).
    const Trl2Entry& d = list->durations[0];
    EXPECT_TRUE(index_list_present(d));
    EXPECT_EQ((std::array<bool, 4>{track_mute_flag(d, 0), track_mute_flag(d, 1), track_mute_flag(d, 2),
                                   track_mute_flag(d, 3)}),
              (std::array<bool, 4>{true, false, false, true}));
    EXPECT_FALSE(index_list_present(list->durations[1]));
    EXPECT_TRUE(fixture::same_bytes(list->emit().value(), s));
}

TEST(TrackLists, EmitRefusesBrokenListsInsteadOfWritingThem) {
    auto good = Trl1::make({10, 20}, {5, 5});
    ASSERT_TRUE(good.emit().ok());

    auto uneven = good;
    uneven.lengths.pop_back();
    EXPECT_FALSE(uneven.emit().ok());
    auto stale_tail = good;
    stale_tail.start_lsns.push_back(30);
    stale_tail.lengths.push_back(5);
    auto e = stale_tail.emit();
    ASSERT_FALSE(e.ok());
    EXPECT_NE(e.error().message().find("SACDTRL1"), std::string::npos);
    auto too_many = Trl2::make(std::vector<Trl2Entry>(256), std::vector<Trl2Entry>(256));
    EXPECT_FALSE(too_many.emit().ok());
}

TEST(TimeCode, FramesTextAndNoTime) {
    EXPECT_EQ((TimeCode{74, 59, 74}).to_frames(), 337499u);
    EXPECT_EQ((TimeCode{45, 12, 34}).to_frames(), 203434u);
    EXPECT_EQ(TimeCode::none().to_frames(), 0u);
    EXPECT_EQ((TimeCode{255, 255, 254}).to_frames(), 255u * 4500 + 255 * 75 + 254);  // only FF FF FF is no time
    EXPECT_EQ((TimeCode{4, 0, 0}).to_string(), "04:00:00");
    EXPECT_EQ((TimeCode{123, 5, 74}).to_string(), "123:05:74");
    EXPECT_EQ(TimeCode::none().to_string(), "--:--:--");
    EXPECT_EQ(TimeCode::from_frames(337499), (TimeCode{74, 59, 74}));
    EXPECT_EQ(TimeCode::from_frames(256u * 4500 - 1), (TimeCode{255, 59, 74}));
    EXPECT_EQ(TimeCode::from_frames(256u * 4500), std::nullopt);
}

TEST(TrackListValues, DerivedFromBothLists) {
    const auto none = TimeCode::none();
    auto trl1 = Trl1::make({1000, 5000, 9000}, {4000, 4000, 10});
    auto trl2 = Trl2::make({{TimeCode{0, 2, 0}, 0x40}, {TimeCode{4, 0, 0}, 0}, {TimeCode{8, 0, 0}, 0}},
                           {{TimeCode{3, 57, 30}, 0xC8}, {none, 0}, {TimeCode{0, 1, 0}, 0}});

    auto first = track_list_values(&trl1, &trl2, 0);
    EXPECT_EQ(first.lsn_start, 1000u);
    EXPECT_EQ(first.lsn_length, 4000u);
    EXPECT_EQ(first.start_time, "00:02:00");
    EXPECT_EQ(first.duration, "03:57:30");
    EXPECT_EQ(first.pause_frames, 150u);  // the first track's pause is its start
    EXPECT_EQ(first.extra_use, 2);
    EXPECT_TRUE(first.index_list_present);
    EXPECT_EQ(first.track_mute_flags, (std::array<bool, 4>{true, false, false, true}));

    // 4 x 4500 - (150 + 3 x 4500 + 57 x 75 + 30) = 45.
    EXPECT_EQ(track_list_values(&trl1, &trl2, 1).pause_frames, 45u);
    // The previous duration is no time: it drops out of the sum.
    auto third = track_list_values(&trl1, &trl2, 2);
    EXPECT_EQ(third.pause_frames, 8u * 4500 - 4u * 4500);
    EXPECT_EQ(track_list_values(&trl1, &trl2, 1).duration, "--:--:--");

    // A track starting before the previous one ends has no pause rather than a negative one.
    auto overlap = Trl2::make({{TimeCode{0, 0, 0}, 0}, {TimeCode{0, 1, 0}, 0}}, {{TimeCode{0, 5, 0}, 0}, {none, 0}});
    EXPECT_EQ(track_list_values(nullptr, &overlap, 1).pause_frames, 0u);

    // Missing lists or entries give the neutral values.
    EXPECT_EQ(track_list_values(nullptr, nullptr, 0), TrackListValues{});
    auto beyond = track_list_values(&trl1, &trl2, 7);
    EXPECT_EQ(beyond.lsn_start, 0u);
    EXPECT_EQ(beyond.start_time, "--:--:--");
    EXPECT_EQ(beyond.pause_frames, 0u);
}

}  // namespace
}  // namespace sacd
