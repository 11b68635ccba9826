// Genre codes as stored in the Master TOC and the ISRC and genre list.
#pragma once

#include <array>
#include <cstdint>

namespace sacd {

struct GenreCode {
    std::uint8_t table = 0;     // 0 = slot unused, 1 = the General Genre Table; others kept as read
    std::uint8_t reserved = 0;  // must be 0
    std::uint16_t index = 0;    // the entry's index in its table

    friend bool operator==(const GenreCode&, const GenreCode&) = default;
};

// The four genre codes of an album or a disc: used codes first, unused (0, 0, 0) after them.
using Genre4 = std::array<GenreCode, 4>;

}  // namespace sacd
