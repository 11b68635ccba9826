// One audio frame as stored in a DST area, decoded to planar one-bit samples: DST-coded frames
// through the decoder, plain frames by de-interleaving their bytes.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/result.h"

namespace dst {

// Planar channel bytes: element c holds channel c's bytes, the earliest sample in the most
// significant bit (the layout of a DsdFrame's channels).
using PlanarChannels = std::vector<std::vector<std::uint8_t>>;

struct DstError {
    enum class Kind : std::uint8_t {
        BadChannelCount,   // value: the channel count
        BadFrameLength,    // value: the frame length
        ReservedField,     // text: the field's name
        RawSizeMismatch,   // value: the frame's length, expected: the plain frame size
        FrameTooLarge,     // a DST frame longer than any its area can hold
        Decoder,           // code: the decoder's negative status
        EmptyFrame,        // no byte to read DST_Coded from
        Read,              // text: the read error's own text
        WorkerPanicked,
    };

    Kind kind = Kind::Decoder;
    std::uint64_t value = 0;
    std::uint64_t expected = 0;
    int code = 0;
    std::string text;

    static DstError decoder(int code) { return DstError{Kind::Decoder, 0, 0, code, {}}; }
    static DstError read(std::string error_text) { return DstError{Kind::Read, 0, 0, 0, std::move(error_text)}; }
    static DstError worker_panicked() { return DstError{Kind::WorkerPanicked, 0, 0, 0, {}}; }

    // The text shown to users, in the selected language.
    std::string display() const;
};

// Name of the reserved bits of a plain frame's first byte.
inline constexpr const char* kPlainReservedName = "DST Processing_Mode 0 Reserved";

// Decodes one frame of an area with `channels` channels and `frame_length` bytes per channel
// into `out`, which is resized to channels x frame_length (its buffers are reused, so a caller
// decoding frame after frame allocates nothing). After a failure `out` holds no meaningful
// samples. Callable from any number of threads at once.
[[nodiscard]] platform::Result<void, DstError> decode_frame(std::span<const std::uint8_t> frame, std::uint32_t channels,
                                                            std::uint32_t frame_length, PlanarChannels& out);

}  // namespace dst
