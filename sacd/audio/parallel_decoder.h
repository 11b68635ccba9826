// Decoding a DST-coded track on many threads while its frames reach the container writer
// strictly in order. The track is read from the image in large chunks; a pool of workers decodes
// one chunk while the next is being read, and a writer thread runs the DSF or DSDIFF writer on
// frames that arrive through a bounded channel. Memory stays near two chunks plus the channel.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <thread>
#include <vector>

#include "dst/dst_frame.h"
#include "platform/buffered_writer.h"
#include "platform/result.h"
#include "sacd/audio/container_error.h"
#include "sacd/audio/demux.h"
#include "sacd/audio/dsd_frame.h"
#include "sacd/audio/track_meta.h"
#include "sacd/image.h"

namespace sacd::audio {

// Frames held between the producer and the writer thread.
inline constexpr std::size_t kDecodedFrameQueue = 256;
// Workers claim this many frame indexes per atomic add.
inline constexpr std::size_t kFramesPerClaim = 8;
// A chunk whose frames lie within this many bytes of the image is read as one span...
inline constexpr std::uint64_t kMaxChunkSpanBytes = std::uint64_t{256} << 20;
// ...in reads of at most this many bytes.
inline constexpr std::uint64_t kChunkReadBytes = std::uint64_t{32} << 20;

// The chunk size in MiB of decoded audio when SACD_CHUNK_MIB is not set: 32 for up to 13
// workers, growing with the worker count up to 128.
std::size_t default_chunk_mib(std::size_t workers);
// SACD_CHUNK_MIB (1..1024) when set, otherwise the default for `workers`.
std::size_t chunk_mib(std::size_t workers);
// Frames per chunk: `mib` MiB of decoded frames, but at least one frame per worker and 8.
std::size_t chunk_frames(std::size_t mib, std::size_t channels, std::size_t workers);

struct DecodeTuning {
    std::size_t workers = 1;
    std::size_t chunk_frames = 8;

    // decode_threads() workers and the chunk size the environment asks for.
    static DecodeTuning from_environment(std::size_t channels);
};

// A chunk of coded frames in one buffer: frame i is bytes [ends[i - 1], ends[i]).
class CodedChunk {
public:
    CodedChunk() = default;
    // Takes over frames already laid end to end in `bytes`.
    CodedChunk(std::vector<std::uint8_t> bytes, std::vector<std::size_t> ends)
        : bytes_(std::move(bytes)), ends_(std::move(ends)) {}

    // Adds a whole frame.
    void append(std::span<const std::uint8_t> frame) {
        extend(frame);
        end_frame();
    }
    // Adds bytes to the frame being built (a frame may come in several pieces); end_frame closes it.
    void extend(std::span<const std::uint8_t> bytes) { bytes_.insert(bytes_.end(), bytes.begin(), bytes.end()); }
    void end_frame() { ends_.push_back(bytes_.size()); }
    std::size_t size() const { return ends_.size(); }
    std::span<const std::uint8_t> frame(std::size_t i) const {
        const std::size_t begin = i == 0 ? 0 : ends_[i - 1];
        return std::span<const std::uint8_t>(bytes_).subspan(begin, ends_[i] - begin);
    }
    std::size_t byte_size() const { return bytes_.size(); }
    // Hands the byte buffer over for reuse, leaving the chunk empty.
    std::vector<std::uint8_t> take_bytes() {
        ends_.clear();
        return std::move(bytes_);
    }
    void reserve_bytes(std::size_t n) { bytes_.reserve(n); }

private:
    std::vector<std::uint8_t> bytes_;
    std::vector<std::size_t> ends_;
};

// What a worker turns a decoded frame into; it may take the planar buffers over.
template <class T>
using FrameMapping = T (*)(dst::PlanarChannels& planar);

// For DSF: the planar channels as they are.
DsdFrame map_channels(dst::PlanarChannels& planar);
// For DSDIFF: one vector, byte i of channel c at i x channels + c.
std::vector<std::uint8_t> map_interleave(dst::PlanarChannels& planar);

template <class T>
using DecodedFrame = platform::Result<T, dst::DstError>;

// Decodes every frame of `frames` on min(frame count, workers) threads (at least one) and
// returns each frame's mapped result or its error, in frame order. A frame's error does not
// stop the others. Fails as a whole only when a worker died (the worker-panicked error).
// With `stop` set, workers claim no further frames and the unclaimed ones are left out.
template <class T>
platform::Result<std::vector<DecodedFrame<T>>, dst::DstError> decode_frames_parallel_map(
    const CodedChunk& frames, std::uint32_t channels, std::uint32_t frame_length, FrameMapping<T> mapping,
    std::size_t workers, const std::atomic<bool>* stop = nullptr);

// One track's frames: read in chunks, each chunk decoded on its own thread by a worker pool.
template <class T>
class ParallelDecoder {
public:
    ParallelDecoder(const FrameList& list, std::span<const MultiplexedFrame> frames, ByteSource& source,
                    std::uint32_t channels, std::uint32_t frame_length, FrameMapping<T> mapping,
                    DecodeTuning tuning);
    // Abandons a decode in flight and waits for its thread.
    ~ParallelDecoder();
    ParallelDecoder(const ParallelDecoder&) = delete;
    ParallelDecoder& operator=(const ParallelDecoder&) = delete;

    // The next chunk, nothing once every frame has been read, or the read error.
    platform::Result<std::optional<CodedChunk>, ContainerError> read_chunk();
    // Starts decoding `chunk` on a new thread. At most one decode is in flight: the previous one
    // must have been joined.
    void spawn_decode(CodedChunk chunk);
    bool decode_in_flight() const { return in_flight_pending_; }
    // Tells the workers of a decode in flight to stop claiming frames and waits for it.
    void abandon();
    // Waits for the decode in flight and hands over its results.
    platform::Result<std::vector<DecodedFrame<T>>, ContainerError> join_decode();

    std::size_t frame_count() const { return frames_.size(); }
    std::size_t chunk_frames() const { return tuning_.chunk_frames; }
    std::size_t workers() const { return tuning_.workers; }
    std::uint32_t channels() const { return channels_; }
    std::uint32_t frame_length() const { return frame_length_; }
    double read_seconds() const { return read_ns_ / 1e9; }
    std::size_t chunks_read() const { return chunks_read_; }

private:
    struct DecodeOutcome {
        std::optional<platform::Result<std::vector<DecodedFrame<T>>, dst::DstError>> result;
        bool died = false;
    };

    const FrameList& list_;
    std::span<const MultiplexedFrame> frames_;
    ByteSource& source_;
    std::uint32_t channels_;
    std::uint32_t frame_length_;
    FrameMapping<T> mapping_;
    DecodeTuning tuning_;
    std::size_t next_ = 0;
    std::thread decode_;
    bool in_flight_pending_ = false;  // a decode was started and its results not taken yet
    CodedChunk in_flight_;
    // The buffer of the last decoded chunk, reused for the next read: fresh memory for every
    // chunk costs more in page faults than the reads themselves.
    std::vector<std::uint8_t> spare_;
    DecodeOutcome outcome_;
    std::atomic<bool> stop_{false};
    std::uint64_t read_ns_ = 0;
    std::size_t chunks_read_ = 0;
};

// A frame source for the writer thread: it fills the frame it is handed with the next one.
template <class T>
using FrameSourceOf = std::function<platform::Result<void, ContainerError>(T& frame)>;
// Runs a container writer (write_dsf, write_dff_dsd) on `frame_count` frames of a source.
template <class T>
using ContainerWriterOf =
    std::function<platform::Result<void, ContainerError>(std::uint32_t frame_count, const FrameSourceOf<T>& source)>;

struct TrackHooks {
    // Asked on the producer before every chunk is read and every frame is handed on; true ends
    // the track with the cancellation text.
    std::function<bool()> cancelled;
    // Receives the timing line when timings are on.
    std::function<void(std::string_view line)> log;
    bool timings = false;
};

// Runs the whole track: the writer thread takes `frame_count` frames from the channel while this
// thread reads chunks, decodes them and sends their frames in order. The result is the first
// reading, decoding or cancellation error of the producer when there was one, else the writer's.
template <class T>
platform::Result<void, ContainerError> run_track_writer(ParallelDecoder<T>& decoder, const ContainerWriterOf<T>& write,
                                                        std::uint32_t frame_count, const TrackHooks& hooks = {});

// The unpacked containers a DST-coded track can be decoded into.
enum class DecodedContainer : std::uint8_t { Dsf, Dsdiff };

// Writes one DST-coded track of `channels` channels as DSF (planar frames) or DSDIFF (interleaved
// frames), decoding on decode_threads() workers in chunks of the size the environment asks for.
[[nodiscard]] platform::Result<void, ContainerError> write_decoded_dst_track(
    DecodedContainer container, platform::BufferedWriter& out, const TrackMeta& meta, const FrameList& list,
    std::span<const MultiplexedFrame> frames, ByteSource& source, std::uint32_t channels, const TrackHooks& hooks);

}  // namespace sacd::audio
