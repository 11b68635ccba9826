// The parallel DST decoder on hand-laid frame maps: chunk sizing, order and exactness for every
// worker count and chunk size, and every way a track can end early (a corrupt frame, a read
// error, a writer that fails or dies, cancellation) without a deadlock.
#include "sacd/audio/parallel_decoder.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "i18n/i18n.h"
#include "tests/support/dst_test_encoder.h"
#include "tests/support/sdm_test_signal.h"

using sacd::Bytes;
using sacd::ByteSource;
using namespace sacd::audio;

namespace {

constexpr std::uint32_t kLength = 128;  // bytes per channel: the shortest a DST filter segment may be

// A track's frames laid out in an image the way sectors scatter them: every frame is cut into
// pieces of at most `piece` bytes with a few foreign bytes between them.
struct LaidOutTrack {
    Bytes image;
    FrameList list;
    std::vector<dst_test::Planar> expected;  // each frame's samples
};

// `frames` frames of `channels` channels; every `coded_every`-th frame is DST-coded, the others
// are uncoded frames.
LaidOutTrack lay_out(std::size_t frames, int channels, std::size_t coded_every = 4, std::size_t piece = 20) {
    const auto whole = testsupport::sdm_chord(channels, frames * kLength);
    LaidOutTrack t;
    t.image.assign(7, 0xEE);
    for (std::size_t f = 0; f < frames; ++f) {
        dst_test::Planar samples(static_cast<std::size_t>(channels));
        for (int c = 0; c < channels; ++c)
            samples[c].assign(whole[c].begin() + static_cast<std::ptrdiff_t>(f * kLength),
                              whole[c].begin() + static_cast<std::ptrdiff_t>((f + 1) * kLength));
        const Bytes coded = coded_every && f % coded_every == 0
                                ? dst_test::encode_frame(dst_test::design_spec(samples, 8, false), samples)
                                : dst_test::plain_frame(samples);
        MultiplexedFrame mf;
        mf.first_piece = static_cast<std::uint32_t>(t.list.pieces.size());
        for (std::size_t at = 0; at < coded.size(); at += piece) {
            const std::size_t n = std::min(piece, coded.size() - at);
            t.list.pieces.push_back(Piece{t.image.size(), static_cast<std::uint16_t>(n)});
            t.image.insert(t.image.end(), coded.begin() + static_cast<std::ptrdiff_t>(at),
                           coded.begin() + static_cast<std::ptrdiff_t>(at + n));
            t.image.insert(t.image.end(), 3, 0xEE);
        }
        mf.piece_count = static_cast<std::uint32_t>(t.list.pieces.size()) - mf.first_piece;
        t.list.frames.push_back(mf);
        t.expected.push_back(std::move(samples));
    }
    return t;
}

// The same track with its frames stored in the image in reverse order.
LaidOutTrack stored_backwards(const LaidOutTrack& t) {
    LaidOutTrack r = t;
    r.image.assign(5, 0xEE);
    for (std::size_t f = t.list.frames.size(); f-- > 0;) {
        const MultiplexedFrame& mf = t.list.frames[f];
        for (std::uint32_t p = 0; p < mf.piece_count; ++p) {
            const Piece& from = t.list.pieces[mf.first_piece + p];
            r.list.pieces[mf.first_piece + p].offset = r.image.size();
            r.image.insert(r.image.end(), t.image.begin() + static_cast<std::ptrdiff_t>(from.offset),
                           t.image.begin() + static_cast<std::ptrdiff_t>(from.offset + from.length));
            r.image.push_back(0xEE);
        }
    }
    return r;
}

Bytes interleaved(const dst_test::Planar& planar) {
    Bytes out(planar.size() * planar[0].size());
    for (std::size_t i = 0; i < planar[0].size(); ++i)
        for (std::size_t c = 0; c < planar.size(); ++c) out[i * planar.size() + c] = planar[c][i];
    return out;
}

// A container writer that keeps what it receives and can fail after a number of frames.
struct Collector {
    std::vector<Bytes> frames;
    std::optional<std::size_t> fail_after;
    std::optional<std::size_t> throw_after;

    ContainerWriterOf<Bytes> writer() {
        return [this](std::uint32_t count, const FrameSourceOf<Bytes>& source) -> platform::Result<void, ContainerError> {
            Bytes frame;
            for (std::uint32_t i = 0; i < count; ++i) {
                if (fail_after && i == *fail_after) return platform::err(ContainerError::io("disk full"));
                if (throw_after && i == *throw_after) throw std::runtime_error("writer bug");
                if (auto r = source(frame); !r) return r;
                frames.push_back(frame);
            }
            return {};
        };
    }
};

struct Outcome {
    platform::Result<void, ContainerError> result;
    std::vector<std::string> log;
};

Outcome run_track(const LaidOutTrack& t, Collector& collector, DecodeTuning tuning, int channels, TrackHooks hooks = {},
        std::span<const MultiplexedFrame> frames = {}) {
    if (frames.empty()) frames = t.list.frames;
    ByteSource source = ByteSource::memory(t.image);
    ParallelDecoder<Bytes> decoder(t.list, frames, source, static_cast<std::uint32_t>(channels), kLength,
                                   map_interleave, tuning);
    Outcome r{platform::Result<void, ContainerError>(), {}};
    hooks.log = [&](std::string_view line) { r.log.emplace_back(line); };
    r.result = run_track_writer<Bytes>(decoder, collector.writer(), static_cast<std::uint32_t>(frames.size()), hooks);
    return r;
}

std::string message(const platform::Result<void, ContainerError>& r) { return r.ok() ? "ok" : r.error().message(); }

}  // namespace

TEST(ChunkSize, FollowsWorkersChannelsAndTheEnvironment) {
    EXPECT_EQ(default_chunk_mib(1), 32u);
    EXPECT_EQ(default_chunk_mib(13), 32u);
    EXPECT_EQ(default_chunk_mib(14), 35u);
    EXPECT_EQ(default_chunk_mib(51), 127u);
    EXPECT_EQ(default_chunk_mib(52), 128u);
    EXPECT_EQ(default_chunk_mib(256), 128u);

    const struct {
        std::size_t mib, channels, workers, frames;
    } cases[] = {
        {32, 2, 4, 3566},   // 32 x 1048576 / 9408
        {32, 6, 4, 1188},
        {1, 6, 1, 37},      // 1048576 / 28224
        {1, 6, 64, 64},     // at least one frame per worker
        {1, 6, 40, 40},
        {0, 2, 1, 8},       // and at least 8
        {1, 0, 1, 222},     // a channel count of 0 counts as 1
        {1024, 2, 256, 114130},
    };
    for (const auto& c : cases)
        EXPECT_EQ(chunk_frames(c.mib, c.channels, c.workers), c.frames) << c.mib << " MiB " << c.channels << " ch "
                                                                         << c.workers << " workers";

    const struct {
        const char* threads;
        const char* mib;
        std::size_t channels, workers, frames;
    } env_cases[] = {
        {"4", nullptr, 2, 4, 3566},
        {"+4", "1", 6, 4, 37},
        {"0", "0", 2, 1, 111},        // 0 counts as 1
        {"20", "5000", 2, 20, 114130},  // capped at 1024 MiB
        {"40", "1x", 2, 40, 11145},   // not a number: the default, 40 x 5 / 2 = 100 MiB
    };
    for (const auto& c : env_cases) {
        setenv("SACD_DECODE_THREADS", c.threads, 1);
        if (c.mib) setenv("SACD_CHUNK_MIB", c.mib, 1);
        else unsetenv("SACD_CHUNK_MIB");
        const DecodeTuning t = DecodeTuning::from_environment(c.channels);
        EXPECT_EQ(t.workers, c.workers) << c.threads;
        EXPECT_EQ(t.chunk_frames, c.frames) << c.threads << " " << (c.mib ? c.mib : "-");
    }
    unsetenv("SACD_DECODE_THREADS");
    unsetenv("SACD_CHUNK_MIB");
}

namespace {

CodedChunk chunk_of(const LaidOutTrack& t) {
    CodedChunk chunk;
    for (const MultiplexedFrame& f : t.list.frames) {
        for (const Piece& p : t.list.pieces_of(f))
            chunk.extend(std::span<const std::uint8_t>(t.image).subspan(p.offset, p.length));
        chunk.end_frame();
    }
    return chunk;
}

// Sets a reserved bit in the first byte of an uncoded frame.
void corrupt(LaidOutTrack& t, std::size_t frame) {
    t.image[t.list.pieces[t.list.frames[frame].first_piece].offset] |= 0x01;
}

const std::string kReservedText = "reserved field DST Processing_Mode 0 Reserved was not zero (refusing to guess)";

Bytes throwing_map(dst::PlanarChannels&) { throw std::bad_alloc(); }

}  // namespace

TEST(DecodeFramesParallelMap, AnyWorkerCountGivesEveryFrameInOrder) {
    LaidOutTrack t = lay_out(41, 6, 3);
    corrupt(t, 13);
    const CodedChunk chunk = chunk_of(t);
    for (std::size_t workers : {1, 2, 3, 8, 64}) {
        SCOPED_TRACE(workers);
        auto interleaved_results = decode_frames_parallel_map<Bytes>(chunk, 6, kLength, map_interleave, workers);
        auto planar_results = decode_frames_parallel_map<DsdFrame>(chunk, 6, kLength, map_channels, workers);
        ASSERT_TRUE(interleaved_results.ok() && planar_results.ok());
        ASSERT_EQ(interleaved_results->size(), 41u);
        ASSERT_EQ(planar_results->size(), 41u);
        for (std::size_t i = 0; i < 41; ++i) {
            const auto& a = (*interleaved_results)[i];
            const auto& b = (*planar_results)[i];
            if (i == 13) {
                ASSERT_FALSE(a.ok() || b.ok());
                EXPECT_EQ(a.error().display(), kReservedText);
                continue;
            }
            ASSERT_TRUE(a.ok() && b.ok()) << "frame " << i;
            EXPECT_EQ(a.value(), interleaved(t.expected[i])) << "frame " << i;
            EXPECT_EQ(b.value().channels, t.expected[i]) << "frame " << i;
            EXPECT_EQ(b.value().channel_count, 6);
            EXPECT_EQ(b.value().frame_len, kLength);
        }
    }

    auto none = decode_frames_parallel_map<Bytes>(CodedChunk(), 2, kLength, map_interleave, 4);
    ASSERT_TRUE(none.ok());
    EXPECT_TRUE(none->empty());
    const std::atomic<bool> stopped{true};
    auto abandoned = decode_frames_parallel_map<Bytes>(chunk, 6, kLength, map_interleave, 4, &stopped);
    ASSERT_TRUE(abandoned.ok());
    EXPECT_TRUE(abandoned->empty());
    auto died = decode_frames_parallel_map<Bytes>(chunk, 6, kLength, throwing_map, 4);
    ASSERT_FALSE(died.ok());
    EXPECT_EQ(died.error().display(), "a parallel decode worker thread panicked");
}

TEST(ParallelDecoder, DeliversEveryFrameInOrderWhateverTheChunkSize) {
    // 300 frames: more than the channel holds, so the producer also waits for the writer.
    const LaidOutTrack stereo = lay_out(300, 2);
    const LaidOutTrack six = lay_out(300, 6, 5);
    const LaidOutTrack backwards = stored_backwards(stereo);
    const struct {
        const LaidOutTrack* track;
        int channels;
        std::size_t workers, chunk, chunks;
    } cases[] = {
        {&stereo, 2, 1, 1, 300}, {&stereo, 2, 1, 8, 38},  {&stereo, 2, 4, 3, 100}, {&stereo, 2, 4, 64, 5},
        {&six, 6, 4, 37, 9},     {&six, 6, 2, 300, 1},    {&six, 6, 3, 5000, 1},  // shorter than a chunk
        {&backwards, 2, 2, 64, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.channels) + " ch, " + std::to_string(c.workers) + " workers, chunk " +
                     std::to_string(c.chunk));
        ByteSource source = ByteSource::memory(c.track->image);
        ParallelDecoder<Bytes> decoder(c.track->list, c.track->list.frames, source, static_cast<std::uint32_t>(c.channels),
                                       kLength, map_interleave, DecodeTuning{c.workers, c.chunk});
        Collector collector;
        auto r = run_track_writer<Bytes>(decoder, collector.writer(), 300);
        ASSERT_TRUE(r.ok()) << message(r);
        EXPECT_EQ(decoder.chunks_read(), c.chunks);
        ASSERT_EQ(collector.frames.size(), 300u);
        for (std::size_t i = 0; i < 300; ++i)
            ASSERT_EQ(collector.frames[i], interleaved(c.track->expected[i])) << "frame " << i;
    }
}

TEST(ParallelDecoder, TrackEndsEarlyWithTheFirstProblem) {
    const LaidOutTrack clean = lay_out(600, 2, 0);
    struct Case {
        const char* name;
        std::optional<std::size_t> corrupt_frame, unreadable_frame, fail_after, throw_after, cancel_after;
        FrameMapping<Bytes> mapping;
        std::string text;
        std::optional<std::size_t> delivered;
    };
    const Case cases[] = {
        // A corrupt frame ends the track after every frame before it reached the writer.
        {"corrupt frame", 150, {}, {}, {}, {}, map_interleave, "container write I/O error: decode: " + kReservedText, 150},
        {"corrupt first frame", 0, {}, {}, {}, {}, map_interleave, "container write I/O error: decode: " + kReservedText, 0},
        {"corrupt last frame", 599, {}, {}, {}, {}, map_interleave, "container write I/O error: decode: " + kReservedText, 599},
        // (the message goes on with the span's numbers)
        {"unreadable frame", {}, 520, {}, {}, {}, map_interleave,
         "container write I/O error: read: file system read past end of image at byte ", {}},
        // A writer that stops leaves a producer with a full channel and chunks still to decode.
        {"writer fails at once", {}, {}, 0, {}, {}, map_interleave, "container write I/O error: disk full", 0},
        {"writer fails", {}, {}, 10, {}, {}, map_interleave, "container write I/O error: disk full", 10},
        {"writer dies", {}, {}, {}, 5, {}, map_interleave, "container write I/O error: writer thread panicked", 5},
        {"worker dies", {}, {}, {}, {}, {}, throwing_map,
         "container write I/O error: decode: a parallel decode worker thread panicked", 0},
        {"cancelled", {}, {}, {}, {}, 300, map_interleave, "container write I/O error: extract cancelled", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LaidOutTrack t = clean;
        if (c.corrupt_frame) corrupt(t, *c.corrupt_frame);
        if (c.unreadable_frame) t.list.pieces[t.list.frames[*c.unreadable_frame].first_piece].offset = t.image.size() + 1000;
        Collector collector;
        collector.fail_after = c.fail_after;
        collector.throw_after = c.throw_after;
        std::size_t checks = 0;
        TrackHooks hooks;
        if (c.cancel_after) hooks.cancelled = [&] { return ++checks > *c.cancel_after; };
        ByteSource source = ByteSource::memory(t.image);
        ParallelDecoder<Bytes> decoder(t.list, t.list.frames, source, 2, kLength, c.mapping, DecodeTuning{4, 100});
        auto r = run_track_writer<Bytes>(decoder, collector.writer(), 600, hooks);
        if (c.unreadable_frame) {
            EXPECT_EQ(message(r).substr(0, c.text.size()), c.text);
        } else {
            EXPECT_EQ(message(r), c.text);
        }
        if (c.delivered) {
            EXPECT_EQ(collector.frames.size(), *c.delivered);
        }
        for (std::size_t i = 0; i < collector.frames.size(); ++i)
            ASSERT_EQ(collector.frames[i], interleaved(t.expected[i])) << "frame " << i;
    }
}

TEST(ParallelDecoder, EmptyTrackRunsTheWriterOnce) {
    const LaidOutTrack t = lay_out(0, 2);
    ByteSource source = ByteSource::memory(t.image);
    ParallelDecoder<Bytes> decoder(t.list, t.list.frames, source, 2, kLength, map_interleave, DecodeTuning{4, 8});
    int calls = 0;
    auto r = run_track_writer<Bytes>(
        decoder,
        [&](std::uint32_t count, const FrameSourceOf<Bytes>&) -> platform::Result<void, ContainerError> {
            ++calls;
            EXPECT_EQ(count, 0u);
            return {};
        },
        0);
    EXPECT_TRUE(r.ok()) << message(r);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(decoder.chunks_read(), 0u);
}

TEST(ParallelDecoder, TimingLine) {
    const LaidOutTrack t = lay_out(20, 2);
    Collector collector;
    TrackHooks hooks;
    hooks.timings = true;
    const Outcome r = run_track(t, collector, DecodeTuning{2, 8}, 2, hooks);
    ASSERT_TRUE(r.result.ok()) << message(r.result);
    ASSERT_EQ(r.log.size(), 1u);
    EXPECT_TRUE(std::regex_match(r.log[0], std::regex(R"(\[extract-timings\] writer: total=\d+\.\d\ds recv-block=\d+\.\d\ds )"
                                                      R"(write-work=\d+\.\d\ds; producer send-block=\d+\.\d\ds)")))
        << r.log[0];

    Collector quiet;
    EXPECT_TRUE(run_track(t, quiet, DecodeTuning{2, 8}, 2).log.empty());
}

TEST(ParallelDecoder, FramesTooFarApartAreReadOneByOne) {
    // Frames 300 MiB apart in a sparse file: a chunk holding both spans more than 256 MiB.
    const LaidOutTrack t = lay_out(4, 2, 2, 4096);
    const std::uint64_t far = std::uint64_t{300} << 20;
    const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                       ("velmora-parallel-" + std::to_string(::getpid()) + ".img");
    struct Remove {
        std::filesystem::path path;
        ~Remove() { std::filesystem::remove(path); }
    } remove{path};
    FrameList list = t.list;
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(t.image.data()), static_cast<std::streamsize>(t.image.size()));
        // Frames 2 and 3 again, far away.
        for (std::size_t f = 2; f < 4; ++f)
            for (std::uint32_t p = 0; p < list.frames[f].piece_count; ++p) {
                Piece& piece = list.pieces[list.frames[f].first_piece + p];
                out.seekp(static_cast<std::streamoff>(far + piece.offset));
                out.write(reinterpret_cast<const char*>(t.image.data() + piece.offset), piece.length);
                piece.offset += far;
            }
    }
    for (std::size_t chunk : {4, 2}) {  // one chunk across the gap, then two chunks on either side
        SCOPED_TRACE(chunk);
        auto file = platform::File::open_read(path);
        ASSERT_TRUE(file.ok());
        ByteSource source = ByteSource::file(std::move(file).value(), std::filesystem::file_size(path));
        ParallelDecoder<Bytes> decoder(list, list.frames, source, 2, kLength, map_interleave, DecodeTuning{2, chunk});
        Collector collector;
        auto r = run_track_writer<Bytes>(decoder, collector.writer(), 4);
        ASSERT_TRUE(r.ok()) << message(r);
        ASSERT_EQ(collector.frames.size(), 4u);
        for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(collector.frames[i], interleaved(t.expected[i])) << i;
    }
}
