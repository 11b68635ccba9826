// The builder's audio sector packer against sectors written by hand from the sector layout.
#include "tools/image_builder/audio_sectors.h"

#include <gtest/gtest.h>

using namespace image_builder;

namespace {

std::vector<std::uint8_t> pattern(std::size_t n, std::uint8_t seed) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(seed + i * 7);
    return v;
}

std::vector<SectorBytes> pack(PackerOptions options, const std::vector<std::vector<std::uint8_t>>& frames) {
    std::vector<SectorBytes> out;
    AudioSectorPacker packer(options, [&](const SectorBytes& s) { out.push_back(s); });
    for (std::size_t i = 0; i < frames.size(); ++i) packer.add_frame(frames[i], time_code_of_frame(static_cast<std::uint32_t>(i)));
    EXPECT_TRUE(packer.finish().ok());
    return out;
}

// Sector by hand: header byte, packet records, frame records, payload, zero stuffing.
SectorBytes sector(std::uint8_t head, std::vector<std::uint16_t> packets, std::vector<std::uint8_t> infos,
                   std::vector<std::uint8_t> payload) {
    SectorBytes s{};
    std::size_t at = 0;
    s[at++] = head;
    for (std::uint16_t p : packets) s[at++] = static_cast<std::uint8_t>(p >> 8), s[at++] = static_cast<std::uint8_t>(p);
    for (std::uint8_t b : infos) s[at++] = b;
    for (std::uint8_t b : payload) s[at++] = b;
    return s;
}

std::vector<std::uint8_t> concat(std::vector<std::uint8_t> a, const std::vector<std::uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

TEST(AudioSectorPacker, PlainFramesAcrossTwoSectors) {
    auto f0 = pattern(3000, 1), f1 = pattern(100, 9);
    auto sectors = pack(PackerOptions{}, {f0, f1});
    ASSERT_EQ(sectors.size(), 2u);
    // Sector 0: one packet (Frame_Start, audio, 2042 bytes), Time_Code 00:00:00.
    EXPECT_EQ(sectors[0], sector(0x24, {0x97FA}, {0, 0, 0}, std::vector<std::uint8_t>(f0.begin(), f0.begin() + 2042)));
    // Sector 1: the rest of frame 0 (958 bytes), then frame 1 starts (100 bytes), Time_Code 00:00:01.
    EXPECT_EQ(sectors[1], sector(0x44, {0x13BE, 0x9064}, {0, 0, 1},
                                 concat(std::vector<std::uint8_t>(f0.begin() + 2042, f0.end()), f1)));
}

TEST(AudioSectorPacker, DstFrameInfoCarriesSectorCountAndChannelBits) {
    PackerOptions options;
    options.dst = true;
    options.channel_bit_1 = true;
    auto f0 = pattern(3000, 3);
    auto sectors = pack(options, {f0});
    ASSERT_EQ(sectors.size(), 2u);
    // Header 1 + 2 + 4 = 7: 2041 payload bytes; N_Sectors 2 with channel bit 1 (bit 7).
    EXPECT_EQ(sectors[0], sector(0x25, {0x97F9}, {0, 0, 0, 0x80 | (2 << 2)},
                                 std::vector<std::uint8_t>(f0.begin(), f0.begin() + 2041)));
    EXPECT_EQ(sectors[1], sector(0x21, {0x1000 | 959}, {}, std::vector<std::uint8_t>(f0.begin() + 2041, f0.end())));
}

TEST(AudioSectorPacker, SmallPacketsAndPaddingPackets) {
    PackerOptions options;
    options.max_packet = 500;
    options.padding_every = 1;
    auto sectors = pack(options, {pattern(1200, 5)});
    ASSERT_EQ(sectors.size(), 1u);
    // A 16-byte padding packet, then the frame in packets of 500, 500 and 200 bytes.
    std::vector<std::uint8_t> payload(16, 0);
    payload = concat(payload, pattern(1200, 5));
    EXPECT_EQ(sectors[0], sector(static_cast<std::uint8_t>((4 << 5) | (1 << 2)), {0x3810, 0x8000 | 0x1000 | 500, 0x1000 | 500, 0x1000 | 200},
                                 {0, 0, 0}, payload));
}

TEST(AudioSectorPacker, RefusesWhatTheFormatCannotHold) {
    PackerOptions options;
    options.dst = true;
    AudioSectorPacker packer(options, [](const SectorBytes&) {});
    packer.add_frame(std::vector<std::uint8_t>(17 * 2048, 1), time_code_of_frame(0));
    auto r = packer.finish();
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error(), "DST frame spread over more than 16 sectors");
}
