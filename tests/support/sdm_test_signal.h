// A deterministic one-bit DSD test signal: a chord through the project's sigma-delta modulator,
// so that test frames have the noise-shaped character of real DSD (and compress like it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace testsupport {

// `channels` planar channels of `bytes_per_channel` bytes each at 64 x 44.1 kHz, the earliest
// sample in the most significant bit. Each channel plays a different chord.
std::vector<std::vector<std::uint8_t>> sdm_chord(int channels, std::size_t bytes_per_channel);

}  // namespace testsupport
