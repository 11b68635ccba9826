// One audio frame in memory and the pull functions through which the container writers
// receive a track's frames.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/result.h"
#include "sacd/audio/container_error.h"

namespace sacd::audio {

// A frame is 1/75 s: 37632 one-bit samples per channel at 64 x 44.1 kHz, 4704 bytes.
inline constexpr std::uint32_t kFramesPerSecond = 75;
inline constexpr std::uint32_t kSamplesPerFrame = 37632;
inline constexpr std::uint32_t kFrameBytesPerChannel = kSamplesPerFrame / 8;
inline constexpr std::uint32_t kDsdSamplingFrequency = 2822400;

// Planar: channels[c] holds channel c's bytes, the most significant bit being the earliest
// sample. A plain-DSD frame from disc is always 2 channels x 4704 bytes.
struct DsdFrame {
    std::vector<std::vector<std::uint8_t>> channels;
    std::uint32_t frame_len = kFrameBytesPerChannel;  // bytes per channel
    std::uint8_t channel_count = 0;
};

// A source fills the frame it is handed with the track's next frame. The writer passes the same
// object on every call, so a source that fills it in place (or swaps its own buffers in) keeps
// the per-frame path free of allocations. An error ends the writer and is returned unchanged.
using DsdFrameSource = std::function<platform::Result<void, ContainerError>(DsdFrame& frame)>;

// The same for frames that are one byte vector: an interleaved DSD frame (byte i of channel c
// at i x channels + c) or one DST-coded frame.
using ByteFrameSource = std::function<platform::Result<void, ContainerError>(std::vector<std::uint8_t>& frame)>;

}  // namespace sacd::audio
