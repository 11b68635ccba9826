// Byte strings compared in an assertion that says where they part.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace testsupport {

// Equal byte strings, or the first offset where they differ (else the lengths).
inline ::testing::AssertionResult same_bytes(const std::vector<std::uint8_t>& actual,
                                             const std::vector<std::uint8_t>& expected) {
    const std::size_t n = std::min(actual.size(), expected.size());
    for (std::size_t i = 0; i < n; ++i)
        if (actual[i] != expected[i])
            return ::testing::AssertionFailure() << "first difference at offset " << i << ": got 0x" << std::hex
                                                 << int(actual[i]) << ", expected 0x" << int(expected[i]);
    if (actual.size() != expected.size())
        return ::testing::AssertionFailure() << "length " << actual.size() << ", expected " << expected.size();
    return ::testing::AssertionSuccess();
}

}  // namespace testsupport
