#include "sacd/area_toc.h"

#include <gtest/gtest.h>

#include <random>

#include "tests/sacd/area_fixtures.h"

namespace sacd {
namespace {

using fixture::put;
using fixture::put_u16;
using fixture::put_u32;

// A stereo Area TOC with a distinct value in every field and non-zero reserved groups.
fixture::Bytes stereo_fixture() {
    fixture::Bytes s(2048, 0);
    put(s, 0, "TWOCHTOC");
    put(s, 8, {2, 1});
    put_u16(s, 10, 0x0105);
    fixture::fill_pattern(s, 12, 16);
    put_u32(s, 16, 0x0004A520);
    put(s, 20, {4, 0xF2});
    fixture::fill_pattern(s, 22, 32);
    put(s, 32, {6, 0xE4, 6, 0xAF});
    fixture::fill_pattern(s, 36, 48);
    put(s, 48, {0x85});
    fixture::fill_pattern(s, 49, 64);
    put(s, 64, {74, 59, 74, 0x99, 3, 12, 11, 0x42});
    put_u32(s, 72, 0x1234);
    put_u32(s, 76, 0x89AB);
    put(s, 80, {1, 7, 7, 7, 7, 7, 7, 7, 'e', 'n', 2, 0x33});
    fixture::fill_pattern(s, 120, 128);
    put_u16(s, 128, 5);
    put_u16(s, 130, 21);
    put_u16(s, 132, 0x10);
    put_u16(s, 134, 22);
    put_u16(s, 136, 23);
    put_u16(s, 138, 24);
    fixture::fill_pattern(s, 140, 144);
    fixture::fill_pattern(s, 144, 2048, 0x11);
    return s;
}

TEST(AreaToc, ParsesEveryFieldAtItsOffsetAndEmitsTheSameSector) {
    const auto sector = stereo_fixture();
    auto toc = AreaToc::parse(sector);
    ASSERT_TRUE(toc.ok()) << toc.error().display();
    EXPECT_FALSE(toc->multichannel);
    EXPECT_EQ(toc->spec_version_major, 2);
    EXPECT_EQ(toc->spec_version_minor, 1);
    EXPECT_EQ(toc->toc_length, 0x0105);
    EXPECT_EQ(toc->max_byte_rate, 0x0004A520u);
    EXPECT_EQ(toc->fs_code, 4);
    EXPECT_EQ(toc->frame_format_code(), 2);
    EXPECT_FALSE(toc->dst_coded());
    EXPECT_EQ(toc->channel_count, 6);
    EXPECT_EQ(toc->loudspeaker_config(), 4);
    EXPECT_EQ(toc->extra_setting(), 7);
    EXPECT_EQ(toc->max_available_channels, 6);
    // 0xAF = 1010 1111: bits 3 and 5 set among 3..6.
    EXPECT_TRUE(toc->area_mute_flag(0));
    EXPECT_FALSE(toc->area_mute_flag(1));
    EXPECT_TRUE(toc->area_mute_flag(2));
    EXPECT_FALSE(toc->area_mute_flag(3));
    EXPECT_EQ(toc->track_attribute_value(), 5);
    EXPECT_EQ(toc->total_area_play_time, (TimeCode{74, 59, 74}));
    EXPECT_EQ(toc->total_play_frames(), 337499u);
    EXPECT_EQ(toc->reserved_67, 0x99);
    EXPECT_EQ(toc->track_offset, 3);
    EXPECT_EQ(toc->track_count, 12);
    EXPECT_EQ(toc->first_bonus_track_number, 11);
    EXPECT_EQ(toc->reserved_71, 0x42);
    EXPECT_EQ(toc->audio_lsn_start, 0x1234u);
    EXPECT_EQ(toc->audio_lsn_end, 0x89ABu);
    EXPECT_EQ(toc->text_channel_count(), 1);
    EXPECT_EQ(toc->channel_charset(0), CharSet(CharSet::Value::Iso8859_1));
    EXPECT_EQ(toc->track_text_ptr, 5);
    EXPECT_EQ(toc->list_ptr_a, 21);
    EXPECT_EQ(toc->list_ptr_b, 0x10);
    EXPECT_EQ(toc->track_weblink_list_ptr, 22);
    EXPECT_EQ(toc->list_ptr_c, 23);
    EXPECT_EQ(toc->set_of_playlists_ptr, 24);
    EXPECT_EQ(toc->area_text[0], sector[144]);
    EXPECT_TRUE(fixture::same_bytes(toc->emit(), sector));
}

TEST(AreaToc, AnySectorWithEitherSignatureRoundTrips) {
    std::mt19937 rng(7);
    for (int round = 0; round < 50; ++round) {
        auto sector = fixture::random_bytes(2048, rng);
        const bool multi = round % 2 == 1;
        put(sector, 0, multi ? "MULCHTOC" : "TWOCHTOC");
        auto toc = AreaToc::parse(sector);
        ASSERT_TRUE(toc.ok());
        EXPECT_EQ(toc->multichannel, multi);
        ASSERT_TRUE(fixture::same_bytes(toc->emit(), sector)) << "round " << round;
    }
}

TEST(AreaToc, RefusesOtherSignaturesAndPartialSectors) {
    auto sector = stereo_fixture();
    put(sector, 0, "TWOCHTOX");
    auto bad = AreaToc::parse(sector);
    ASSERT_FALSE(bad.ok());
    EXPECT_EQ(*bad.error().malformed_text(), "missing TWOCHTOC/MULCHTOC magic");
    for (std::size_t len : {0u, 7u, 2047u, 2049u}) {
        fixture::Bytes partial(len, 0);
        if (len >= 8) put(partial, 0, "TWOCHTOC");
        EXPECT_FALSE(AreaToc::parse(partial).ok()) << len;
    }
}

TEST(AreaToc, DefaultRecordEmitsAValidEmptyStereoToc) {
    AreaToc toc;
    auto sector = toc.emit();
    ASSERT_EQ(sector.size(), 2048u);
    auto back = AreaToc::parse(sector);
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(*back, toc);
    EXPECT_EQ(toc.total_area_play_time.to_string(), "--:--:--");
    EXPECT_EQ(toc.total_play_frames(), 0u);
    EXPECT_TRUE(toc.area_text_decoded().empty());
}

// Channel entry i at text_channels offset 8 + 4i; area text pointers at sector offset 144 + 8i.
struct AreaTextFixture {
    fixture::Bytes sector = fixture::Bytes(2048, 0);
    AreaTextFixture() { put(sector, 0, "MULCHTOC"); }
    void channels(std::initializer_list<std::uint8_t> codes) {
        sector[80] = static_cast<std::uint8_t>(codes.size());
        std::size_t i = 0;
        for (auto code : codes) put(sector, 80 + 8 + 4 * i++, {'x', 'x', code, 0});
    }
    void pointer(std::size_t channel, std::size_t which, std::uint16_t ptr) {
        put_u16(sector, 144 + 8 * channel + 2 * which, ptr);
    }
    AreaToc parse() const { return AreaToc::parse(sector).value(); }
};

TEST(AreaToc, AreaTextFollowsPointersInEachChannelsCharacterSet) {
    AreaTextFixture f;
    f.channels({1, 3, 9});
    // Channel 0 (Iso646): description at 400, copyright at 143 (below the area: absent),
    // phonetic description at a zero byte (absent), phonetic copyright at 2047 (last byte).
    put(f.sector, 400, "Live at Abbey Road");
    f.pointer(0, 0, 400);
    f.pointer(0, 1, 143);
    f.pointer(0, 2, 600);
    put(f.sector, 2047, "Z");
    f.pointer(0, 3, 2047);
    // Channel 1 (Shift_JIS): an odd-length text stored with its pad byte and terminator unit.
    put(f.sector, 800, {0x82, 0xA0, 0x41, 0x00, 0x00, 0x00});
    f.pointer(1, 0, 800);
    f.pointer(1, 1, 2048);  // past the sector: absent
    // Channel 2 (code 9, "other"): read as Latin-1.
    put(f.sector, 900, {0x43, 0xE9, 0x00});
    f.pointer(2, 0, 900);

    auto channels = f.parse().area_text_decoded();
    ASSERT_EQ(channels.size(), 3u);
    EXPECT_EQ(channels[0].description, "Live at Abbey Road");
    EXPECT_EQ(channels[0].copyright, std::nullopt);
    EXPECT_EQ(channels[0].description_phonetic, std::nullopt);
    EXPECT_EQ(channels[0].copyright_phonetic, "Z");
    EXPECT_EQ(channels[1].description, "\u3042A");
    EXPECT_EQ(channels[1].copyright, std::nullopt);
    EXPECT_EQ(channels[2].description, "C\u00E9");
}

TEST(AreaToc, AreaTextNeedsADeclaredChannel) {
    AreaTextFixture f;
    put(f.sector, 400, "Description");
    f.pointer(0, 0, 400);
    EXPECT_TRUE(f.parse().area_text_decoded().empty());
    // More than 8 declared channels: only the 8 that have entries are read.
    f.sector[80] = 12;
    EXPECT_EQ(f.parse().area_text_decoded().size(), 8u);
}

TEST(AreaToc, TextChannelsRemoveShiftsLaterEntriesDown) {
    AreaToc toc;
    toc.text_channels = {2, 9, 9, 9, 9, 9, 9, 9, 'e', 'n', 1, 0x10, 'j', 'a', 3, 0x20};
    ASSERT_TRUE(toc.text_channels_remove(0).ok());
    EXPECT_EQ(toc.text_channel_count(), 1);
    EXPECT_EQ((std::array<std::uint8_t, 8>{toc.text_channels[1], toc.text_channels[8], toc.text_channels[9],
                                           toc.text_channels[10], toc.text_channels[11], toc.text_channels[12],
                                           toc.text_channels[14], toc.text_channels[15]}),
              (std::array<std::uint8_t, 8>{9, 'j', 'a', 3, 0x20, 0, 0, 0}));

    toc.text_channels[0] = 2;
    const auto before = toc;
    auto out_of_range = toc.text_channels_remove(2);
    ASSERT_FALSE(out_of_range.ok());
    auto* e = out_of_range.error().as<edit_errors::LocaleOutOfRange>();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->locale, 2);
    EXPECT_EQ(e->n_text_channels, 2);
    EXPECT_EQ(toc, before);

    toc.text_channels[0] = 9;  // a damaged count: entry 8 would lie past the block
    auto damaged = toc.text_channels_remove(0);
    ASSERT_FALSE(damaged.ok());
    EXPECT_EQ(damaged.error().message(),
              "AreaToc.text_channels is 40 bytes but removing locale 0 from 9 channel(s) needs at least 44 bytes "
              "(spec §1.7.2.8 mandates 40 bytes)");
}

TEST(AreaToc, AudioSectorCount) {
    struct Case {
        std::uint32_t start, end, sectors;
    };
    for (const auto& c : {Case{100, 199, 100}, Case{5, 5, 1}, Case{200, 100, 1}, Case{0, 0xFFFFFFFF, 0xFFFFFFFF},
                          Case{1, 0xFFFFFFFF, 0xFFFFFFFF}}) {
        AreaToc toc;
        toc.audio_lsn_start = c.start;
        toc.audio_lsn_end = c.end;
        EXPECT_EQ(toc.audio_sectors(), c.sectors) << c.start << ".." << c.end;
    }
}

}  // namespace
}  // namespace sacd
