// Audio sectors written by hand from the sector layout, one per rule.
#include "sacd/audio/audio_sector.h"

#include "i18n/i18n.h"

#include <gtest/gtest.h>

#include <array>
#include <initializer_list>

using namespace sacd::audio;

namespace {

using SectorBytes = std::array<std::uint8_t, 2048>;

// Header byte 0: N_Packets (3 bits), N_Frame_Info (3 bits), reserved, DST_Coded.
std::uint8_t header0(int packets, int infos, int reserved, int dst) {
    return static_cast<std::uint8_t>((packets << 5) | (infos << 2) | (reserved << 1) | dst);
}

// Packet_Info: Frame_Start, reserved, Data_Type (3 bits), Packet_Length (11 bits).
void put_packet(SectorBytes& s, std::size_t at, int start, int reserved, int type, int length) {
    std::uint16_t v = static_cast<std::uint16_t>((start << 15) | (reserved << 14) | (type << 11) | length);
    s[at] = static_cast<std::uint8_t>(v >> 8);
    s[at + 1] = static_cast<std::uint8_t>(v);
}

struct Built {
    SectorBytes bytes{};
};

// A plain-DSD sector: one frame-start audio packet of `len` bytes filled with 0xAA.
SectorBytes plain_sector(int len) {
    SectorBytes s{};
    s[0] = header0(1, 1, 0, 0);
    put_packet(s, 1, 1, 0, 2, len);
    s[3] = 1; s[4] = 2; s[5] = 3;  // Time_Code 01:02:03
    for (int i = 0; i < len; ++i) s[6 + static_cast<std::size_t>(i)] = 0xAA;
    return s;
}

std::string english(const AudioError& e) {
    i18n::LANG = false;
    return e.display();
}

}  // namespace

TEST(AudioSector, PlainSectorParsesWithOffsets) {
    SectorBytes s = plain_sector(2042);  // header 1 + 2 + 3 = 6: exactly fills the sector
    auto r = AudioSector::parse(s, 2);
    ASSERT_TRUE(r.ok()) << english(r.error());
    EXPECT_FALSE(r->dst_coded);
    ASSERT_EQ(r->packets.size(), 1u);
    EXPECT_TRUE(r->packets[0].frame_start);
    EXPECT_EQ(r->packets[0].kind, PacketKind::Audio);
    ASSERT_EQ(r->frame_infos.size(), 1u);
    EXPECT_EQ(r->frame_infos[0].time_code, (TimeCode{1, 2, 3}));
    EXPECT_FALSE(r->frame_infos[0].n_sectors.has_value());
    EXPECT_EQ(r->payloads[0].size(), 2042u);
    auto offsets = r->packet_offsets(2);
    ASSERT_EQ(offsets.size(), 1u);
    EXPECT_EQ(offsets[0].first, 6u);
    EXPECT_EQ(offsets[0].second, 2042);
}

TEST(AudioSector, DstSectorWithTwoPacketsAndChannelBits) {
    SectorBytes s{};
    s[0] = header0(2, 1, 0, 1);
    put_packet(s, 1, 0, 0, 2, 100);  // continuation of an earlier frame
    put_packet(s, 3, 1, 0, 2, 50);   // a new frame starts
    s[5] = 0; s[6] = 0; s[7] = 74;
    s[8] = static_cast<std::uint8_t>(0x80 | (3 << 2) | 0x01);  // channel bit 1, N_Sectors 3, channel bit 3
    auto r = AudioSector::parse(s, 0);
    ASSERT_TRUE(r.ok()) << english(r.error());
    const FrameInfo& fi = r->frame_infos[0];
    EXPECT_EQ(fi.n_sectors, 3);
    EXPECT_EQ(fi.channel_bit_1, true);
    EXPECT_EQ(fi.channel_bit_2, false);
    EXPECT_EQ(fi.channel_bit_3, true);
    EXPECT_EQ(fi.time_code.to_frames(), 74u);
    auto offsets = r->packet_offsets(0);
    EXPECT_EQ(offsets[0], (std::pair<std::uint64_t, std::uint16_t>{9, 100}));
    EXPECT_EQ(offsets[1], (std::pair<std::uint64_t, std::uint16_t>{109, 50}));
}

TEST(AudioSector, EveryRuleRefusesWithItsText) {
    struct Case {
        const char* name;
        SectorBytes sector;
        std::uint8_t frame_format;
        const char* text;
    };
    std::vector<Case> cases;
    cases.push_back({"bad frame format", plain_sector(10), 1, "reserved Frame_Format value 1 (only 0, 2, 3 are defined)"});
    {
        SectorBytes s = plain_sector(10);
        s[0] = header0(1, 1, 1, 0);
        cases.push_back({"header reserved", s, 2, "reserved field Audio_Header.Reserved was not zero (refusing to guess)"});
    }
    cases.push_back({"dst flag in plain area", [] { SectorBytes s = plain_sector(10); s[0] |= 1; return s; }(), 3,
                     "DST_Coded=1 contradicts Frame_Format=3 (spec 5.3.1.1.3)"});
    cases.push_back({"plain flag in dst area", plain_sector(10), 0, "DST_Coded=0 contradicts Frame_Format=0 (spec 5.3.1.1.3)"});
    cases.push_back({"no packets", [] { SectorBytes s{}; s[0] = header0(0, 0, 0, 0); return s; }(), 2,
                     "N_Packets 0 below the spec minimum of 1"});
    {
        SectorBytes s = plain_sector(10);
        put_packet(s, 1, 1, 1, 2, 10);
        cases.push_back({"packet reserved", s, 2, "reserved field Packet_Info.Reserved was not zero (refusing to guess)"});
    }
    {
        SectorBytes s = plain_sector(10);
        put_packet(s, 1, 1, 0, 4, 10);
        cases.push_back({"data type", s, 2, "reserved Data_Type value 4 (only 2, 3, 7 are defined)"});
    }
    {
        SectorBytes s = plain_sector(10);
        put_packet(s, 1, 1, 0, 2, 0);
        cases.push_back({"zero length", s, 2, "Packet_Length 0 outside 1..=2045"});
        put_packet(s, 1, 1, 0, 2, 2046);
        cases.push_back({"length 2046", s, 2, "Packet_Length 2046 outside 1..=2045"});
    }
    {
        SectorBytes s{};
        s[0] = header0(1, 1, 0, 1);
        put_packet(s, 1, 1, 0, 2, 10);
        s[6] = static_cast<std::uint8_t>(17 << 2);
        cases.push_back({"n_sectors 17", s, 0, "N_Sectors 17 outside 1..=16"});
        s[6] = 0;
        cases.push_back({"n_sectors 0", s, 0, "N_Sectors 0 outside 1..=16"});
    }
    {
        SectorBytes s = plain_sector(10);
        put_packet(s, 1, 1, 0, 2, 2043);  // 6 + 2043 = 2049
        cases.push_back({"overflow", s, 2, "header (6 bytes) + packets (2043 bytes) exceed the 2048-byte sector"});
    }
    {
        SectorBytes s = plain_sector(10);
        s[2047] = 1;
        cases.push_back({"stuffing", s, 2, "stuffing byte at offset 2047 was not zero"});
        SectorBytes t = plain_sector(10);
        t[16] = 9;  // first byte after the payload (6 + 10)
        cases.push_back({"stuffing right after payload", t, 2, "stuffing byte at offset 16 was not zero"});
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = AudioSector::parse(c.sector, c.frame_format);
        ASSERT_FALSE(r.ok());
        EXPECT_EQ(english(r.error()), c.text);
    }
    std::vector<std::uint8_t> short_sector(2047);
    EXPECT_EQ(english(AudioSector::parse(short_sector, 2).error()), "audio sector is not 2048 bytes (got 2047)");
}

TEST(AudioSector, LengthLimitAndRussianText) {
    SectorBytes s = plain_sector(2042);
    put_packet(s, 1, 1, 0, 2, 2045);  // within range, but overflows with the header
    i18n::LANG = true;
    auto r = AudioSector::parse(s, 2);
    EXPECT_EQ(r.error().display(), "заголовок (6 байт) + пакеты (2045 байт) не помещаются в 2048-байтный сектор");
    i18n::LANG = false;
}
