// Reading a frame's bytes back from the image by its piece list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/result.h"
#include "sacd/audio/container_error.h"
#include "sacd/audio/demux.h"
#include "sacd/audio/dsd_frame.h"
#include "sacd/image.h"

namespace sacd::audio {

// Serves pieces from a window of the image read in large blocks, so that reading a track's
// frames in order costs one read per window instead of one per packet.
class PieceReader {
public:
    static constexpr std::uint64_t kWindow = std::uint64_t{4} << 20;

    explicit PieceReader(ByteSource& source, std::uint64_t window = kWindow) : source_(source), window_size_(window) {}

    // Appends the piece's bytes to `out`.
    platform::Result<void, FsError> append(const Piece& piece, std::vector<std::uint8_t>& out);

private:
    ByteSource& source_;
    std::uint64_t window_size_;
    std::uint64_t window_start_ = 0;
    Bytes window_;
};

// The next DST frame's bytes; `next` is advanced on success.
platform::Result<void, ContainerError> read_frame_dst(const FrameList& list, std::span<const MultiplexedFrame> frames,
                                                      std::size_t& next, PieceReader& reader,
                                                      std::vector<std::uint8_t>& out);

// A plain-DSD frame: exactly 9408 bytes alternating between the two channels.
platform::Result<void, ContainerError> read_plain_dsd_frame(std::span<const Piece> pieces, PieceReader& reader,
                                                            DsdFrame& out);

}  // namespace sacd::audio
