#include "sacd/audio/frame_reader.h"

#include <algorithm>
#include <cstring>

namespace sacd::audio {

using platform::err;

platform::Result<void, FsError> PieceReader::append(const Piece& piece, std::vector<std::uint8_t>& out) {
    const std::uint64_t end = piece.offset + piece.length;
    if (piece.offset < window_start_ || end > window_start_ + window_.size()) {
        // Refill from the piece on; near the end of the image take only what is there.
        std::uint64_t len = std::max<std::uint64_t>(window_size_, piece.length);
        if (piece.offset < source_.size()) len = std::min(len, source_.size() - piece.offset);
        len = std::max<std::uint64_t>(len, piece.length);
        auto bytes = source_.read_at(piece.offset, len);
        if (!bytes) {
            window_.clear();
            return err(std::move(bytes).error());
        }
        window_ = std::move(bytes).value();
        window_start_ = piece.offset;
    }
    const auto* p = window_.data() + (piece.offset - window_start_);
    out.insert(out.end(), p, p + piece.length);
    return {};
}

platform::Result<void, ContainerError> read_frame_dst(const FrameList& list, std::span<const MultiplexedFrame> frames,
                                                      std::size_t& next, PieceReader& reader,
                                                      std::vector<std::uint8_t>& out) {
    if (next >= frames.size())
        return err(ContainerError{container_errors::SourceEndedEarly{frames.size(), next}});
    const MultiplexedFrame& frame = frames[next];
    out.clear();
    for (const Piece& piece : list.pieces_of(frame)) {
        auto r = reader.append(piece, out);
        if (!r) return err(ContainerError::io("read: " + r.error().display()));
    }
    ++next;
    return {};
}

platform::Result<void, ContainerError> read_plain_dsd_frame(std::span<const Piece> pieces, PieceReader& reader,
                                                            DsdFrame& out) {
    constexpr std::size_t kFrameBytes = 2 * kFrameBytesPerChannel;
    thread_local std::vector<std::uint8_t> interleaved;
    interleaved.clear();
    for (const Piece& piece : pieces) {
        auto r = reader.append(piece, interleaved);
        if (!r) return err(ContainerError::io("read: " + r.error().display()));
    }
    if (interleaved.size() != kFrameBytes)
        return err(ContainerError::io("plain DSD frame: FrameLenMismatch { need: " + std::to_string(kFrameBytes) +
                                      ", have: " + std::to_string(interleaved.size()) + " }"));
    out.channel_count = 2;
    out.frame_len = kFrameBytesPerChannel;
    out.channels.resize(2);
    out.channels[0].resize(kFrameBytesPerChannel);
    out.channels[1].resize(kFrameBytesPerChannel);
    std::uint8_t* left = out.channels[0].data();
    std::uint8_t* right = out.channels[1].data();
    const std::uint8_t* in = interleaved.data();
    for (std::size_t k = 0; k < kFrameBytesPerChannel; ++k) {
        left[k] = in[2 * k];
        right[k] = in[2 * k + 1];
    }
    return {};
}

}  // namespace sacd::audio
