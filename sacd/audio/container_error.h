// The error of the audio container writers (DSF, DSDIFF, edit master) and of the frame
// sources that feed them.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

namespace sacd::audio {

namespace container_errors {

// The channel count has no DSF/DSDIFF layout (only 2, 5 and 6 have one).
struct BadChannelCount { std::uint32_t channels = 0; };
// A frame's byte count differs from what the index or the format announced.
struct FrameLengthMismatch { std::uint64_t frame = 0, expected = 0, got = 0; };
struct ChannelCountMismatch { std::uint64_t frame = 0; std::uint32_t expected = 0, got = 0; };
// The DSF writer emitted a different number of block rounds than its header announced.
struct DsfBlockCount { std::uint64_t emitted = 0, expected = 0; };
struct SourceEndedEarly { std::uint64_t expected = 0, got = 0; };
struct TooManyFrames { std::uint64_t frames = 0; };
struct MarkerModel { std::string error; };
// A write failure, or a frame source's own failure (read error, cancellation) carried as text.
struct Io { std::string error; };

}  // namespace container_errors

struct ContainerError {
    using Value = std::variant<container_errors::BadChannelCount, container_errors::FrameLengthMismatch,
                               container_errors::ChannelCountMismatch, container_errors::DsfBlockCount,
                               container_errors::SourceEndedEarly, container_errors::TooManyFrames,
                               container_errors::MarkerModel, container_errors::Io>;
    Value value;

    template <class K>
    ContainerError(K kind) : value(std::move(kind)) {}

    static ContainerError io(std::string text) { return ContainerError{container_errors::Io{std::move(text)}}; }

    template <class K>
    const K* as() const { return std::get_if<K>(&value); }

    // The fixed message with its values filled in, in the selected language.
    std::string message() const;
};

}  // namespace sacd::audio
