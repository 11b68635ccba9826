// Writes one track as a Philips DSDIFF file, with unpacked DSD ("DSD " chunk) or DST-coded
// frames ("DST " chunk of "DSTF" chunks), and offers the chunk writers that the edit-master
// writer shares. Every chunk is an id, a big-endian u64 content size, the content and a zero pad
// byte when the content length is odd. Files are written strictly sequentially, so each writer
// computes every size before its first byte.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "platform/buffered_writer.h"
#include "platform/result.h"
#include "sacd/audio/container_error.h"
#include "sacd/audio/dsd_frame.h"
#include "sacd/audio/track_meta.h"

namespace sacd::audio {

inline constexpr std::uint16_t kDstFrameRate = 75;
inline constexpr std::uint64_t kChunkHeaderSize = 12;

// Bytes a chunk with `content_size` bytes of content occupies in the file, pad byte included.
constexpr std::uint64_t chunk_on_disk(std::uint64_t content_size) {
    return kChunkHeaderSize + content_size + content_size % 2;
}

// The CHNL channel ids in the disc's channel order; empty when the count has no DSDIFF layout
// (only 2, 5 and 6 channels have one).
std::span<const char* const> dsdiff_channel_ids(std::uint32_t channels);

// One DSTI entry: the file offset of a DSTF chunk's content and the frame's length.
struct DstiEntry {
    std::uint64_t offset = 0;
    std::uint32_t length = 0;
};

// Chunk writers. Write errors are latched by the writer and surface when the caller checks it.
void write_chunk_header(platform::BufferedWriter& out, const char (&id)[5], std::uint64_t size);
void write_pad_if_odd(platform::BufferedWriter& out, std::uint64_t length);
void write_fver(platform::BufferedWriter& out);
void write_fs(platform::BufferedWriter& out, std::uint32_t frequency);
[[nodiscard]] platform::Result<void, ContainerError> write_chnl(platform::BufferedWriter& out, std::uint32_t channels);
void write_cmpr_dsd(platform::BufferedWriter& out);
void write_cmpr_dst(platform::BufferedWriter& out);
void write_abss(platform::BufferedWriter& out);  // absolute start time 00:00:00, sample 0
void write_lsco(platform::BufferedWriter& out, std::uint16_t configuration);
void write_frte(platform::BufferedWriter& out, std::uint32_t frame_count);
void write_dstf(platform::BufferedWriter& out, std::span<const std::uint8_t> frame);
void write_dsti(platform::BufferedWriter& out, std::span<const DstiEntry> entries);
// A text chunk such as DIAR or DITI: u32 byte length, then the UTF-8 text.
void write_text_chunk(platform::BufferedWriter& out, const char (&id)[5], std::string_view text);
// COMT with one comment, a general remark (type 3, reference 0), dated as given with hour and minute 0.
void write_comt(platform::BufferedWriter& out, std::uint16_t year, std::uint8_t month, std::uint8_t day,
                std::string_view text);
void write_id3_chunk(platform::BufferedWriter& out, std::span<const std::uint8_t> tag);

// The tags after a track's sound data: DIIN (DIAR artist, DITI title) when either is present,
// COMT holding the album when present, and the ID3 tag when it renders. Nothing when
// `meta.has_tags()` is false.
void write_track_tags(platform::BufferedWriter& out, const TrackMeta& meta);
// The bytes write_track_tags writes for `meta`.
std::uint64_t track_tags_on_disk(const TrackMeta& meta);

// A track of `frame_count` interleaved DSD frames of `frame_len` bytes each (4704 x channels).
[[nodiscard]] platform::Result<void, ContainerError> write_dff_dsd(platform::BufferedWriter& out,
                                                                   const TrackMeta& meta,
                                                                   std::uint32_t frame_count, std::uint32_t frame_len,
                                                                   const ByteFrameSource& source);

// A track of DST frames whose lengths are known in advance; each pulled frame must match its length.
[[nodiscard]] platform::Result<void, ContainerError> write_dff_dst(platform::BufferedWriter& out,
                                                                   const TrackMeta& meta,
                                                                   std::span<const std::uint32_t> frame_lengths,
                                                                   const ByteFrameSource& source);

}  // namespace sacd::audio
