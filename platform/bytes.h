// Fixed-width integer access with the byte order in the name. Callers check bounds first;
// these helpers only read and write.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

inline std::uint16_t read_u16_be(const std::uint8_t* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}
inline std::uint32_t read_u24_be(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
}
inline std::uint32_t read_u32_be(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}
inline std::uint64_t read_u64_be(const std::uint8_t* p) {
    return (std::uint64_t{read_u32_be(p)} << 32) | read_u32_be(p + 4);
}
inline std::uint16_t read_u16_le(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t read_u32_le(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}
inline std::uint64_t read_u64_le(const std::uint8_t* p) {
    return std::uint64_t{read_u32_le(p)} | (std::uint64_t{read_u32_le(p + 4)} << 32);
}

inline void write_u16_be(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 8);
    p[1] = static_cast<std::uint8_t>(v);
}
inline void write_u24_be(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 16);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v);
}
inline void write_u32_be(std::uint8_t* p, std::uint32_t v) {
    write_u16_be(p, static_cast<std::uint16_t>(v >> 16));
    write_u16_be(p + 2, static_cast<std::uint16_t>(v));
}
inline void write_u64_be(std::uint8_t* p, std::uint64_t v) {
    write_u32_be(p, static_cast<std::uint32_t>(v >> 32));
    write_u32_be(p + 4, static_cast<std::uint32_t>(v));
}
inline void write_u16_le(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void write_u32_le(std::uint8_t* p, std::uint32_t v) {
    write_u16_le(p, static_cast<std::uint16_t>(v));
    write_u16_le(p + 2, static_cast<std::uint16_t>(v >> 16));
}
inline void write_u64_le(std::uint8_t* p, std::uint64_t v) {
    write_u32_le(p, static_cast<std::uint32_t>(v));
    write_u32_le(p + 4, static_cast<std::uint32_t>(v >> 32));
}

}  // namespace platform
