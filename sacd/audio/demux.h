// From an area's audio sectors to frames (as lists of byte pieces in the image) and from
// frames to tracks. No audio is held in memory: a frame is only where its bytes lie.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/result.h"
#include "sacd/audio/audio_sector.h"
#include "sacd/image.h"

namespace sacd::audio {

// A run of a frame's bytes in the image.
struct Piece {
    std::uint64_t offset = 0;  // absolute byte offset in the image
    std::uint16_t length = 0;
};

// One frame of an area: its pieces are `pieces[first_piece .. first_piece + piece_count)` of the
// frame list that holds it.
struct MultiplexedFrame {
    std::uint32_t first_piece = 0;
    std::uint32_t piece_count = 0;
    std::uint32_t start_sector = 0;  // LSN of the sector whose Frame_Info opened the frame
    TimeCode time_code;
};

// An area's frames, and the pieces they refer to (kept flat: an area of several gigabytes
// costs a few tens of megabytes).
struct FrameList {
    std::vector<Piece> pieces;
    std::vector<MultiplexedFrame> frames;

    std::span<const Piece> pieces_of(const MultiplexedFrame& f) const {
        return std::span<const Piece>(pieces).subspan(f.first_piece, f.piece_count);
    }
};

struct DemuxRequest {
    std::uint64_t first_byte = 0;   // the area's first audio byte (audio_lsn_start x 2048)
    std::uint64_t byte_length = 0;  // the area's audio length in bytes
    std::uint8_t frame_format = 0;  // 0 DST, 2 or 3 plain DSD
    std::uint8_t channel_count = 2;
    std::optional<std::uint32_t> stop_frame;  // scan up to, not including, this frame number
};

struct DemuxStats {
    std::uint64_t sectors = 0;
    double io_seconds = 0, parse_seconds = 0;
};

// Scans the area's sectors in batches of at most 2048 (4 MiB).
platform::Result<FrameList, AudioError> demultiplex(ByteSource& source, const DemuxRequest& request,
                                                    DemuxStats* stats = nullptr);

// One track's share of an area.
struct TrackStream {
    std::vector<MultiplexedFrame> frames;  // pieces refer to the AreaTracks' frame list
    std::uint32_t start_address = 0;       // Track List 1 start LSN (track 1: the area's audio_lsn_start)
    std::uint8_t number = 0;               // 1-based
};

struct AreaTracks {
    FrameList frame_list;  // the pieces all tracks' frames refer to
    std::vector<TrackStream> tracks;  // index i = track i + 1
};

// The frame number that ends a scan for the selected tracks, or nothing for a whole-area scan.
std::optional<std::uint32_t> track_subset_stop_tc(std::span<const std::uint8_t> selected_tracks,
                                                  std::span<const TimeCode> starts,
                                                  std::span<const TimeCode> durations);

// Cuts the frame list into tracks by the time windows [start, start + duration).
platform::Result<AreaTracks, AudioError> segment(FrameList frames, std::span<const std::uint32_t> track_addresses,
                                                 std::uint32_t audio_lsn_start, std::span<const TimeCode> starts,
                                                 std::span<const TimeCode> durations);

}  // namespace sacd::audio
