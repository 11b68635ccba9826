// Helpers that write byte fixtures field by field at the offsets of the layout tables, and a
// comparison that names the first differing byte.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/same_bytes.h"

namespace fixture {

using Bytes = std::vector<std::uint8_t>;

inline void put(Bytes& b, std::size_t at, std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) b.at(at + i) = static_cast<std::uint8_t>(text[i]);
}
inline void put(Bytes& b, std::size_t at, std::initializer_list<std::uint8_t> bytes) {
    for (std::uint8_t v : bytes) b.at(at++) = v;
}
inline void put_u16(Bytes& b, std::size_t at, std::uint16_t v) {
    b.at(at) = static_cast<std::uint8_t>(v >> 8);
    b.at(at + 1) = static_cast<std::uint8_t>(v);
}
inline void put_u32(Bytes& b, std::size_t at, std::uint32_t v) {
    put_u16(b, at, static_cast<std::uint16_t>(v >> 16));
    put_u16(b, at + 2, static_cast<std::uint16_t>(v));
}
// Bytes [from, to) set to a non-zero pattern that differs from offset to offset.
inline void fill_pattern(Bytes& b, std::size_t from, std::size_t to, std::uint8_t seed = 0x5A) {
    for (std::size_t i = from; i < to; ++i) b.at(i) = static_cast<std::uint8_t>((i * 31 + seed) % 255 + 1);
}
inline Bytes random_bytes(std::size_t n, std::mt19937& rng) {
    Bytes b(n);
    for (auto& v : b) v = static_cast<std::uint8_t>(rng());
    return b;
}

using testsupport::same_bytes;

}  // namespace fixture
