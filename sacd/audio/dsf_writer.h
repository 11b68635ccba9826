// Writes one track as a Sony DSF file: a 92-byte header, the sound in 4096-byte blocks per
// channel with the earliest sample in the least significant bit, and the ID3v2 tag at the end.
#pragma once

#include <cstdint>

#include "platform/buffered_writer.h"
#include "platform/result.h"
#include "sacd/audio/container_error.h"
#include "sacd/audio/dsd_frame.h"
#include "sacd/audio/track_meta.h"

namespace sacd::audio {

inline constexpr std::uint32_t kDsfBlockSize = 4096;
inline constexpr std::uint64_t kDsfHeaderSize = 92;

// Blocks per channel for a track of `frames` frames: the frames' bytes rounded up to whole blocks.
std::uint64_t dsf_blocks_per_channel(std::uint64_t frames);

// Pulls exactly `frame_count` frames of `meta.channel_count` channels x 4704 bytes from `source`
// and writes the whole file sequentially; it never seeks back, so every size in the header is
// computed from `frame_count` in advance. Nothing is written when the channel count has no layout.
[[nodiscard]] platform::Result<void, ContainerError> write_dsf(platform::BufferedWriter& out, const TrackMeta& meta,
                                                               std::uint32_t frame_count,
                                                               const DsdFrameSource& source);

}  // namespace sacd::audio
