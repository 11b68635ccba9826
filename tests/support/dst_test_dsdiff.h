// A test-only DSDIFF writer for handing DST frames and plain DSD to an independent decoder
// (FFmpeg): "DSD " sound data, or a "DST " chunk of "DSTF" frames.
#pragma once

#include <cstdint>
#include <vector>

namespace dst_test {

// `interleaved`: the whole track, byte i of channel c at i x channels + c. Channels 2, 5 or 6.
std::vector<std::uint8_t> dsdiff_dsd(int channels, const std::vector<std::uint8_t>& interleaved);

// One DSTF chunk per frame, each frame as coded.
std::vector<std::uint8_t> dsdiff_dst(int channels, const std::vector<std::vector<std::uint8_t>>& frames);

}  // namespace dst_test
