#include "platform/bytes.h"

#include <gtest/gtest.h>

#include <array>

using namespace platform;

TEST(Bytes, BigEndianReadsAndWrites) {
    const std::uint8_t b[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
    EXPECT_EQ(read_u16_be(b), 0x0102);
    EXPECT_EQ(read_u24_be(b), 0x010203u);
    EXPECT_EQ(read_u32_be(b), 0x01020304u);
    EXPECT_EQ(read_u64_be(b), 0x0102030405060708ull);

    std::array<std::uint8_t, 8> out{};
    write_u16_be(out.data(), 0xA1B2);
    EXPECT_EQ(out[0], 0xA1); EXPECT_EQ(out[1], 0xB2);
    write_u24_be(out.data(), 0xC1D2E3);
    EXPECT_EQ(out[0], 0xC1); EXPECT_EQ(out[1], 0xD2); EXPECT_EQ(out[2], 0xE3);
    write_u32_be(out.data(), 0xDEADBEEF);
    EXPECT_EQ((std::array<std::uint8_t, 4>{out[0], out[1], out[2], out[3]}), (std::array<std::uint8_t, 4>{0xDE, 0xAD, 0xBE, 0xEF}));
    write_u64_be(out.data(), 0x1122334455667788ull);
    EXPECT_EQ(out, (std::array<std::uint8_t, 8>{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}));
}

TEST(Bytes, LittleEndianReadsAndWrites) {
    const std::uint8_t b[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
    EXPECT_EQ(read_u16_le(b), 0x0201);
    EXPECT_EQ(read_u32_le(b), 0x04030201u);
    EXPECT_EQ(read_u64_le(b), 0x0807060504030201ull);

    std::array<std::uint8_t, 8> out{};
    write_u16_le(out.data(), 0xA1B2);
    EXPECT_EQ(out[0], 0xB2); EXPECT_EQ(out[1], 0xA1);
    write_u32_le(out.data(), 0xDEADBEEF);
    EXPECT_EQ((std::array<std::uint8_t, 4>{out[0], out[1], out[2], out[3]}), (std::array<std::uint8_t, 4>{0xEF, 0xBE, 0xAD, 0xDE}));
    write_u64_le(out.data(), 0x1122334455667788ull);
    EXPECT_EQ(out, (std::array<std::uint8_t, 8>{0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11}));
}
