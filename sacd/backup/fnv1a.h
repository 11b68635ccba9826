// FNV-1a 64, the hash of backup payloads, manifests and fingerprints.
#pragma once

#include <cstdint>
#include <span>

namespace sacd::backup {

class Fnv1a64 {
public:
    static constexpr std::uint64_t kOffsetBasis = 0xcbf29ce484222325ull;
    static constexpr std::uint64_t kPrime = 0x100000001b3ull;

    // Continues the hash over `bytes`; several calls hash their inputs as one sequence.
    void update(std::span<const std::uint8_t> bytes) {
        for (std::uint8_t b : bytes) {
            value_ ^= b;
            value_ *= kPrime;
        }
    }
    std::uint64_t value() const { return value_; }

private:
    std::uint64_t value_ = kOffsetBasis;
};

inline std::uint64_t fnv1a64(std::span<const std::uint8_t> bytes) {
    Fnv1a64 h;
    h.update(bytes);
    return h.value();
}

}  // namespace sacd::backup
