#include "sacd/audio/parallel_decoder.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <system_error>

#include "platform/channel.h"
#include "sacd/audio/dsdiff_writer.h"
#include "sacd/audio/dsf_writer.h"
#include "platform/system.h"
#include "sacd/audio/extract.h"
#include "sacd/audio/extract_messages.h"
#include "sacd/audio/frame_reader.h"
#include "sacd/audio/parallel_messages.h"

namespace sacd::audio {

using i18n::tr;
using i18n::trf;
using platform::err;
namespace m = parallel_msg;

std::size_t default_chunk_mib(std::size_t workers) { return std::min<std::size_t>(128, std::max<std::size_t>(32, workers * 5 / 2)); }

std::size_t chunk_mib(std::size_t workers) {
    if (auto mib = env_usize_knob("SACD_CHUNK_MIB", 1024)) return *mib;
    return default_chunk_mib(workers);
}

std::size_t chunk_frames(std::size_t mib, std::size_t channels, std::size_t workers) {
    const std::size_t frame_bytes = std::max<std::size_t>(channels, 1) * kFrameBytesPerChannel;
    return std::max({mib * 1048576 / frame_bytes, workers, std::size_t{8}});
}

DecodeTuning DecodeTuning::from_environment(std::size_t channels) {
    const std::size_t workers = decode_threads();
    return DecodeTuning{workers, audio::chunk_frames(chunk_mib(workers), channels, workers)};
}

DsdFrame map_channels(dst::PlanarChannels& planar) {
    DsdFrame frame;
    frame.channel_count = static_cast<std::uint8_t>(planar.size());
    frame.frame_len = planar.empty() ? 0 : static_cast<std::uint32_t>(planar[0].size());
    frame.channels = std::move(planar);
    return frame;
}

std::vector<std::uint8_t> map_interleave(dst::PlanarChannels& planar) {
    const std::size_t channels = planar.size();
    const std::size_t length = channels ? planar[0].size() : 0;
    std::vector<std::uint8_t> out(channels * length);
    for (std::size_t c = 0; c < channels; ++c) {
        const std::uint8_t* in = planar[c].data();
        std::uint8_t* o = out.data() + c;
        for (std::size_t i = 0; i < length; ++i, o += channels) *o = in[i];
    }
    return out;
}

namespace {

std::string seconds_2(std::uint64_t ns) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", static_cast<double>(ns) / 1e9);
    return buf;
}

ContainerError decode_failure(const dst::DstError& e) { return ContainerError::io(trf(m::kDecode, {{"error", e.display()}})); }

}  // namespace

template <class T>
platform::Result<std::vector<DecodedFrame<T>>, dst::DstError> decode_frames_parallel_map(
    const CodedChunk& frames, std::uint32_t channels, std::uint32_t frame_length, FrameMapping<T> mapping,
    std::size_t workers, const std::atomic<bool>* stop) {
    const std::size_t n = frames.size();
    // Each index is written by the one worker that claimed it, so the slots need no lock.
    std::vector<std::optional<DecodedFrame<T>>> slots(n);
    std::atomic<std::size_t> next{0};
    std::atomic<bool> died{false};
    auto work = [&] {
        try {
            dst::PlanarChannels planar;  // reused from frame to frame by this worker
            while (!(stop && stop->load(std::memory_order_relaxed))) {
                const std::size_t first = next.fetch_add(kFramesPerClaim, std::memory_order_relaxed);
                if (first >= n) break;
                const std::size_t last = std::min(n, first + kFramesPerClaim);
                for (std::size_t i = first; i < last; ++i) {
                    auto decoded = dst::decode_frame(frames.frame(i), channels, frame_length, planar);
                    if (decoded) slots[i].emplace(mapping(planar));
                    else slots[i].emplace(err(std::move(decoded).error()));
                }
            }
        } catch (...) {
            died.store(true);
        }
    };
    {
        const std::size_t count = std::max<std::size_t>(1, std::min(n, workers));
        std::vector<std::jthread> pool;
        pool.reserve(count);
        for (std::size_t w = 0; w < count; ++w) {
            try {
                pool.emplace_back(work);
            } catch (const std::system_error&) {
                break;  // the workers already started take the remaining frames
            }
        }
        if (pool.empty()) work();
    }  // joined here
    if (died.load()) return err(dst::DstError::worker_panicked());

    // Claims are handed out in ascending order and always finished, so after a stop the decoded
    // frames are a prefix of the chunk.
    std::vector<DecodedFrame<T>> results;
    results.reserve(n);
    for (auto& slot : slots) {
        if (!slot) break;
        results.push_back(std::move(*slot));
    }
    return results;
}

template <class T>
ParallelDecoder<T>::ParallelDecoder(const FrameList& list, std::span<const MultiplexedFrame> frames,
                                    ByteSource& source, std::uint32_t channels, std::uint32_t frame_length,
                                    FrameMapping<T> mapping, DecodeTuning tuning)
    : list_(list), frames_(frames), source_(source), channels_(channels), frame_length_(frame_length),
      mapping_(mapping), tuning_(tuning) {
    tuning_.workers = std::max<std::size_t>(1, tuning_.workers);
    tuning_.chunk_frames = std::max<std::size_t>(1, tuning_.chunk_frames);
}

template <class T>
ParallelDecoder<T>::~ParallelDecoder() {
    abandon();
}

template <class T>
void ParallelDecoder<T>::abandon() {
    stop_.store(true);
    if (decode_.joinable()) decode_.join();
    in_flight_pending_ = false;
    in_flight_ = CodedChunk();
    outcome_ = DecodeOutcome{};
    stop_.store(false);
}

template <class T>
platform::Result<std::optional<CodedChunk>, ContainerError> ParallelDecoder<T>::read_chunk() {
    if (next_ >= frames_.size()) return std::optional<CodedChunk>();
    const std::uint64_t t0 = platform::monotonic_ns();
    const std::size_t count = std::min(tuning_.chunk_frames, frames_.size() - next_);
    const std::span<const MultiplexedFrame> batch = frames_.subspan(next_, count);

    std::uint64_t lo = std::numeric_limits<std::uint64_t>::max(), hi = 0, coded = 0;
    for (const MultiplexedFrame& f : batch)
        for (const Piece& p : list_.pieces_of(f)) {
            lo = std::min(lo, p.offset);
            hi = std::max(hi, p.offset + p.length);
            coded += p.length;
        }
    if (hi < lo) lo = hi = 0;  // frames without pieces

    CodedChunk chunk;
    if (hi - lo <= kMaxChunkSpanBytes) {
        // A few large sequential reads instead of one per packet.
        const auto span_bytes = static_cast<std::size_t>(hi - lo);
        Bytes span = std::move(spare_);
        if (span.capacity() < span_bytes) {
            // Released before the new one is taken (growing would copy it); the slack lets the
            // next chunks, whose spans differ by a few packet headers, fit without this.
            span = Bytes();
            span.reserve(span_bytes + span_bytes / 16);
        }
        span.resize(span_bytes);
        for (std::uint64_t at = lo; at < hi;) {
            const std::uint64_t len = std::min(kChunkReadBytes, hi - at);
            const auto into = std::span<std::uint8_t>(span).subspan(static_cast<std::size_t>(at - lo), static_cast<std::size_t>(len));
            if (auto read = source_.read_into(at, into); !read)
                return err(ContainerError::io(trf(m::kRead, {{"error", read.error().display()}})));
            at += len;
        }
        bool ascending = true;
        std::uint64_t previous_end = lo;
        for (const MultiplexedFrame& f : batch)
            for (const Piece& p : list_.pieces_of(f)) {
                if (p.offset < lo || p.offset + p.length > lo + span.size())
                    return err(ContainerError::io(tr(m::kSliceOutsideSpan)));
                ascending = ascending && p.offset >= previous_end;
                previous_end = p.offset + p.length;
            }
        if (ascending) {
            // Pieces in image order (as on every disc) are moved to the front of the span in
            // place, which spares a second buffer of the chunk's size.
            std::vector<std::size_t> ends;
            ends.reserve(batch.size());
            std::size_t to = 0;
            for (const MultiplexedFrame& f : batch) {
                for (const Piece& p : list_.pieces_of(f)) {
                    std::memmove(span.data() + to, span.data() + (p.offset - lo), p.length);
                    to += p.length;
                }
                ends.push_back(to);
            }
            span.resize(to);
            chunk = CodedChunk(std::move(span), std::move(ends));
        } else {
            chunk.reserve_bytes(static_cast<std::size_t>(coded));
            for (const MultiplexedFrame& f : batch) {
                for (const Piece& p : list_.pieces_of(f))
                    chunk.extend(std::span<const std::uint8_t>(span).subspan(static_cast<std::size_t>(p.offset - lo), p.length));
                chunk.end_frame();
            }
        }
    } else {
        // Frames scattered too widely to read as one span are read one by one.
        PieceReader reader(source_);
        chunk.reserve_bytes(static_cast<std::size_t>(coded));
        std::vector<std::uint8_t> frame;
        for (std::size_t i = next_; i < next_ + count;) {
            if (auto r = read_frame_dst(list_, frames_, i, reader, frame); !r) return err(std::move(r).error());
            chunk.append(frame);
        }
    }
    next_ += count;
    ++chunks_read_;
    read_ns_ += platform::monotonic_ns() - t0;
    return std::optional<CodedChunk>(std::move(chunk));
}

template <class T>
void ParallelDecoder<T>::spawn_decode(CodedChunk chunk) {
    assert(!in_flight_pending_ && "the decode in flight must be joined first");
    if (decode_.joinable()) decode_.join();
    in_flight_ = std::move(chunk);
    outcome_ = DecodeOutcome{};
    in_flight_pending_ = true;
    auto run = [this] {
        try {
            outcome_.result.emplace(decode_frames_parallel_map<T>(in_flight_, channels_, frame_length_, mapping_,
                                                                  tuning_.workers, &stop_));
        } catch (...) {
            outcome_.died = true;
        }
    };
    try {
        decode_ = std::thread(run);
    } catch (const std::system_error&) {
        run();  // no thread to spare: decode here, joined at once
    }
}

template <class T>
platform::Result<std::vector<DecodedFrame<T>>, ContainerError> ParallelDecoder<T>::join_decode() {
    if (decode_.joinable()) decode_.join();
    in_flight_pending_ = false;
    spare_ = in_flight_.take_bytes();  // the coded bytes are no longer needed
    DecodeOutcome outcome = std::move(outcome_);
    outcome_ = DecodeOutcome{};
    if (outcome.died || !outcome.result) return err(ContainerError::io(tr(m::kDecodeThreadPanicked)));
    if (!*outcome.result) return err(decode_failure(outcome.result->error()));
    return std::move(*outcome.result).value();
}

template <class T>
platform::Result<void, ContainerError> run_track_writer(ParallelDecoder<T>& decoder, const ContainerWriterOf<T>& write,
                                                        std::uint32_t frame_count, const TrackHooks& hooks) {
    platform::BoundedChannel<T> channel(kDecodedFrameQueue);

    // Writer thread. Everything it records is read only after it has been joined.
    std::optional<platform::Result<void, ContainerError>> written;
    bool writer_died = false;
    std::uint64_t writer_ns = 0, recv_block_ns = 0;
    auto writer_body = [&] {
        const std::uint64_t t0 = platform::monotonic_ns();
        try {
            const FrameSourceOf<T> source = [&](T& frame) -> platform::Result<void, ContainerError> {
                const std::uint64_t r0 = platform::monotonic_ns();
                std::optional<T> value = channel.receive();
                recv_block_ns += platform::monotonic_ns() - r0;
                if (!value) return err(ContainerError::io(tr(m::kProducerStopped)));
                frame = std::move(*value);
                return {};
            };
            written.emplace(write(frame_count, source));
        } catch (...) {
            writer_died = true;
        }
        // A writer that ended early must not leave the producer waiting on a full channel.
        channel.close();
        writer_ns = platform::monotonic_ns() - t0;
    };
    std::thread writer;
    try {
        writer = std::thread(writer_body);
    } catch (const std::system_error& e) {
        return err(ContainerError::io(trf(m::kThreadStart, {{"error", e.what()}})));
    }
    // Whatever way this function is left, the writer is released and joined.
    struct WriterJoin {
        platform::BoundedChannel<T>& channel;
        std::thread& thread;
        ~WriterJoin() {
            channel.close();
            if (thread.joinable()) thread.join();
        }
    } writer_join{channel, writer};

    std::optional<ContainerError> failure;
    std::uint64_t send_block_ns = 0;
    auto cancelled = [&] { return hooks.cancelled && hooks.cancelled(); };
    auto read_next = [&]() -> platform::Result<std::optional<CodedChunk>, ContainerError> {
        if (cancelled()) return err(ContainerError::io(tr(extract_msg::kCancelled)));
        return decoder.read_chunk();
    };

    std::optional<CodedChunk> ahead;  // read, its decode not started yet
    if (auto first = read_next(); !first) {
        failure = std::move(first).error();
    } else if (*first) {
        decoder.spawn_decode(std::move(**first));
        if (auto second = read_next(); !second) failure = std::move(second).error();
        else ahead = std::move(*second);
    }
    bool writer_gone = false;
    while (!failure && !writer_gone && decoder.decode_in_flight()) {
        auto decoded = decoder.join_decode();
        if (!decoded) {
            failure = std::move(decoded).error();
            break;
        }
        // Chunk k + 1 decodes (and chunk k + 2 is read) while chunk k goes to the writer.
        if (ahead) {
            decoder.spawn_decode(std::move(*ahead));
            ahead.reset();
            auto more = read_next();
            if (!more) {
                failure = std::move(more).error();
                break;
            }
            ahead = std::move(*more);
        }
        for (DecodedFrame<T>& frame : *decoded) {
            if (cancelled()) {
                failure = ContainerError::io(tr(extract_msg::kCancelled));
                break;
            }
            if (!frame) {
                failure = decode_failure(frame.error());
                break;
            }
            const std::uint64_t s0 = platform::monotonic_ns();
            const bool sent = channel.send(std::move(frame).value());
            send_block_ns += platform::monotonic_ns() - s0;
            if (!sent) {  // the writer stopped on its own error, which is the track's result
                writer_gone = true;
                break;
            }
        }
    }
    ahead.reset();
    if (failure || writer_gone) decoder.abandon();  // the chunk in flight is not needed any more

    channel.close();
    writer.join();
    if (hooks.timings && hooks.log)
        hooks.log("[extract-timings] writer: total=" + seconds_2(writer_ns) + "s recv-block=" + seconds_2(recv_block_ns) +
                  "s write-work=" + seconds_2(writer_ns - std::min(writer_ns, recv_block_ns)) +
                  "s; producer send-block=" + seconds_2(send_block_ns) + "s");
    if (failure) return err(std::move(*failure));
    if (writer_died || !written) return err(ContainerError::io(tr(m::kWriterThreadPanicked)));
    return std::move(*written);
}

platform::Result<void, ContainerError> write_decoded_dst_track(DecodedContainer container, platform::BufferedWriter& out,
                                                               const TrackMeta& meta, const FrameList& list,
                                                               std::span<const MultiplexedFrame> frames,
                                                               ByteSource& source, std::uint32_t channels,
                                                               const TrackHooks& hooks) {
    const DecodeTuning tuning = DecodeTuning::from_environment(channels);
    const auto count = static_cast<std::uint32_t>(frames.size());
    if (container == DecodedContainer::Dsf) {
        ParallelDecoder<DsdFrame> decoder(list, frames, source, channels, kFrameBytesPerChannel, map_channels, tuning);
        return run_track_writer<DsdFrame>(
            decoder,
            [&](std::uint32_t n, const FrameSourceOf<DsdFrame>& next) { return write_dsf(out, meta, n, next); }, count,
            hooks);
    }
    ParallelDecoder<std::vector<std::uint8_t>> decoder(list, frames, source, channels, kFrameBytesPerChannel,
                                                       map_interleave, tuning);
    return run_track_writer<std::vector<std::uint8_t>>(
        decoder,
        [&](std::uint32_t n, const FrameSourceOf<std::vector<std::uint8_t>>& next) {
            return write_dff_dsd(out, meta, n, channels * kFrameBytesPerChannel, next);
        },
        count, hooks);
}

template class ParallelDecoder<DsdFrame>;
template class ParallelDecoder<std::vector<std::uint8_t>>;
template platform::Result<std::vector<DecodedFrame<DsdFrame>>, dst::DstError> decode_frames_parallel_map<DsdFrame>(
    const CodedChunk&, std::uint32_t, std::uint32_t, FrameMapping<DsdFrame>, std::size_t, const std::atomic<bool>*);
template platform::Result<std::vector<DecodedFrame<std::vector<std::uint8_t>>>, dst::DstError>
decode_frames_parallel_map<std::vector<std::uint8_t>>(const CodedChunk&, std::uint32_t, std::uint32_t,
                                                      FrameMapping<std::vector<std::uint8_t>>, std::size_t,
                                                      const std::atomic<bool>*);
template platform::Result<void, ContainerError> run_track_writer<DsdFrame>(ParallelDecoder<DsdFrame>&,
                                                                           const ContainerWriterOf<DsdFrame>&,
                                                                           std::uint32_t, const TrackHooks&);
template platform::Result<void, ContainerError> run_track_writer<std::vector<std::uint8_t>>(
    ParallelDecoder<std::vector<std::uint8_t>>&, const ContainerWriterOf<std::vector<std::uint8_t>>&, std::uint32_t,
    const TrackHooks&);

}  // namespace sacd::audio
