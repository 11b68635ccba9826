// Helpers shared by the libFuzzer targets: a failed property stops the run, and an input is
// turned into a record that gets past its signature check.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace fuzz {

// A property that does not hold aborts, so that libFuzzer keeps the input that broke it.
inline void check(bool ok) {
    if (!ok) std::abort();
}

// A zeroed block of `length` bytes that starts with the input's first bytes, its first bytes
// then overwritten by `signature` (none when empty): the parser reaches the fields behind it.
inline std::vector<std::uint8_t> signed_block(const std::uint8_t* data, std::size_t size, std::string_view signature,
                                              std::size_t length) {
    std::vector<std::uint8_t> block(length, 0);
    std::copy_n(data, std::min(size, length), block.begin());
    std::copy(signature.begin(), signature.end(), block.begin());
    return block;
}

}  // namespace fuzz
