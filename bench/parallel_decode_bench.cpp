// Parallel DST decoding of a whole track (chunked reads from a file, the worker pool, the DSF
// writer thread writing to /dev/null) with 1 and 2 workers, against FFmpeg's DST decoder on the
// same frames in the same run.
//   bench_parallel_decode [STEREO_SECONDS] [SIX_CHANNEL_SECONDS] [ORDER] [REPEATS]
// The frames are music-like (tones from bass to treble plus noise through the project's
// sigma-delta modulator), coded by the test-only DST writer with least-squares filters of ORDER
// taps; 2 s of frames are coded and repeated to the track's length. FFmpeg's DST cost is the CPU
// time of `ffmpeg -threads 1 -i X.dff -f null -` on the DSDIFF-DST file minus the same on a
// plain-DSD DSDIFF of the same audio (its DSD-to-PCM conversion). Times are the best of REPEATS.
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/buffered_writer.h"
#include "platform/file.h"
#include "sacd/audio/dsf_writer.h"
#include "sacd/audio/parallel_decoder.h"
#include "tests/support/dst_test_dsdiff.h"
#include "tests/support/dst_test_encoder.h"
#include "tools/image_builder/sdm.h"

using namespace sacd::audio;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr std::size_t kFrame = 4704;
constexpr std::size_t kUniqueFrames = 150;  // 2 s

double now_s() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double cpu_s() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

std::size_t resident_bytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

// Music-like content: a bass line, a chord, some upper partials and a little noise, different
// on every channel.
image_builder::ChannelSignal music(int channel) {
    const double shift = 1.0 + 0.07 * channel;
    image_builder::ChannelSignal s;
    s.tones = {{55.0 * shift, 0.12, 0.1 * channel}, {220.0 * shift, 0.08, 0.3}, {277.2 * shift, 0.06, 0.7},
               {329.6 * shift, 0.06, 1.1},         {1760.0 * shift, 0.03, 0.2}, {4186.0 * shift, 0.015, 0.9}};
    s.noise_amplitude = 0.02;
    s.noise_seed = static_cast<std::uint64_t>(channel) + 7;
    return s;
}

struct Material {
    int channels = 2;
    std::size_t frames = 0;             // in the track
    std::vector<dst_test::Planar> plain;  // the unique frames' samples
    std::vector<Bytes> coded;            // the unique frames, coded
    double coded_share = 0;              // coded bytes / plain bytes
};

Material make_material(int channels, std::size_t frames, int order) {
    Material m;
    m.channels = channels;
    m.frames = frames;
    std::vector<Bytes> whole(static_cast<std::size_t>(channels));
    for (int c = 0; c < channels; ++c) {
        image_builder::SigmaDeltaChannel modulator(music(c));
        modulator.render(kUniqueFrames * kFrame, whole[c]);
    }
    std::size_t coded_bytes = 0;
    for (std::size_t f = 0; f < kUniqueFrames; ++f) {
        dst_test::Planar samples;
        for (const Bytes& ch : whole)
            samples.emplace_back(ch.begin() + static_cast<std::ptrdiff_t>(f * kFrame),
                                 ch.begin() + static_cast<std::ptrdiff_t>((f + 1) * kFrame));
        m.coded.push_back(dst_test::encode_frame(dst_test::design_spec(samples, order, false), samples));
        coded_bytes += m.coded.back().size();
        m.plain.push_back(std::move(samples));
    }
    m.coded_share = static_cast<double>(coded_bytes) / (kUniqueFrames * kFrame * static_cast<std::size_t>(channels));
    return m;
}

// The track in a file the way an image holds it: every frame cut into 2048-byte pieces with
// packet headers between them.
FrameList lay_out(const Material& m, const fs::path& path) {
    FrameList list;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::uint64_t at = 0;
    const char header[16] = {};
    for (std::size_t f = 0; f < m.frames; ++f) {
        const Bytes& frame = m.coded[f % kUniqueFrames];
        MultiplexedFrame mf;
        mf.first_piece = static_cast<std::uint32_t>(list.pieces.size());
        for (std::size_t p = 0; p < frame.size(); p += 2048) {
            const std::size_t n = std::min<std::size_t>(2048, frame.size() - p);
            out.write(header, sizeof header);
            at += sizeof header;
            list.pieces.push_back(Piece{at, static_cast<std::uint16_t>(n)});
            out.write(reinterpret_cast<const char*>(frame.data() + p), static_cast<std::streamsize>(n));
            at += n;
        }
        mf.piece_count = static_cast<std::uint32_t>(list.pieces.size()) - mf.first_piece;
        list.frames.push_back(mf);
    }
    return list;
}

struct Timing {
    double wall = 1e30, cpu = 1e30;
    std::size_t peak = 0;  // resident bytes above the level before the run
};

Timing run_ours(const Material& m, const FrameList& list, const fs::path& path, std::size_t workers) {
    auto file = platform::File::open_read(path);
    auto null = platform::File::create_truncate("/dev/null");
    if (!file || !null) {
        std::fprintf(stderr, "cannot open %s or /dev/null\n", path.c_str());
        std::exit(1);
    }
    sacd::ByteSource source = sacd::ByteSource::file(std::move(file).value(), fs::file_size(path));
    platform::BufferedWriter writer(*null, 8192);
    TrackMeta meta;
    meta.channel_count = static_cast<std::uint8_t>(m.channels);
    const auto channels = static_cast<std::uint32_t>(m.channels);
    const DecodeTuning tuning{workers, chunk_frames(default_chunk_mib(workers), channels, workers)};
    ParallelDecoder<DsdFrame> decoder(list, list.frames, source, channels, kFrame, map_channels, tuning);

    const std::size_t base = resident_bytes();
    std::atomic<bool> done{false};
    std::size_t peak = base;
    std::thread sampler([&] {
        while (!done.load()) {
            peak = std::max(peak, resident_bytes());
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    const double w0 = now_s(), c0 = cpu_s();
    auto r = run_track_writer<DsdFrame>(
        decoder, [&](std::uint32_t n, const FrameSourceOf<DsdFrame>& next) { return write_dsf(writer, meta, n, next); },
        static_cast<std::uint32_t>(m.frames));
    Timing t{now_s() - w0, cpu_s() - c0, 0};
    done = true;
    sampler.join();
    t.peak = peak - std::min(peak, base);
    if (!r) {
        std::fprintf(stderr, "decoding failed: %s\n", r.error().message().c_str());
        std::exit(1);
    }
    return t;
}

// run_ours in a child process, so that every run starts from the same memory and what an
// earlier run's allocator kept does not hide this one's peak.
Timing run_ours_isolated(const Material& m, const FrameList& list, const fs::path& path, std::size_t workers) {
    int fds[2];
    if (pipe(fds) != 0) std::exit(1);
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const Timing t = run_ours(m, list, path, workers);
        const bool written = write(fds[1], &t, sizeof t) == static_cast<ssize_t>(sizeof t);
        _exit(written ? 0 : 1);
    }
    close(fds[1]);
    Timing t;
    const bool got = read(fds[0], &t, sizeof t) == static_cast<ssize_t>(sizeof t);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!got || !WIFEXITED(status) || WEXITSTATUS(status) != 0) std::exit(1);
    return t;
}

// Runs FFmpeg on a file with one thread; its wall and CPU time.
Timing run_ffmpeg(const fs::path& input) {
    const double w0 = now_s();
    const pid_t pid = fork();
    if (pid == 0) {
        const int devnull = open("/dev/null", O_RDWR);
        dup2(devnull, 0);
        dup2(devnull, 1);
        dup2(devnull, 2);
        execlp("ffmpeg", "ffmpeg", "-nostdin", "-v", "error", "-threads", "1", "-i", input.c_str(), "-f", "null", "-",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "ffmpeg failed on %s\n", input.c_str());
        std::exit(1);
    }
    auto secs = [](const timeval& tv) { return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1e6; };
    return Timing{now_s() - w0, secs(usage.ru_utime) + secs(usage.ru_stime), 0};
}

Timing best(Timing a, const Timing& b) {
    a.wall = std::min(a.wall, b.wall);
    a.cpu = std::min(a.cpu, b.cpu);
    a.peak = std::max(a.peak, b.peak);
    return a;
}

void check_frames(const Material& m) {
    dst::PlanarChannels out;
    for (std::size_t f = 0; f < kUniqueFrames; ++f) {
        auto r = dst::decode_frame(m.coded[f], static_cast<std::uint32_t>(m.channels), kFrame, out);
        if (!r || out != m.plain[f]) {
            std::fprintf(stderr, "frame %zu does not decode to its samples\n", f);
            std::exit(1);
        }
    }
}

void bench(int channels, double seconds, int order, int repeats, const fs::path& dir) {
    const auto frames = static_cast<std::size_t>(seconds * 75);
    std::printf("%d channels, %.0f s (%zu frames), prediction order %d\n", channels, seconds, frames, order);
    std::fflush(stdout);
    const Material m = make_material(channels, frames, order);
    check_frames(m);
    std::printf("  coded frames: %.1f%% of plain DSD\n", 100 * m.coded_share);

    const fs::path track = dir / "track.bin";
    const FrameList list = lay_out(m, track);
    const fs::path dst_dff = dir / "dst.dff", dsd_dff = dir / "dsd.dff";
    {
        std::vector<Bytes> coded;
        Bytes interleaved;
        interleaved.reserve(frames * kFrame * static_cast<std::size_t>(channels));
        for (std::size_t f = 0; f < frames; ++f) {
            coded.push_back(m.coded[f % kUniqueFrames]);
            const dst_test::Planar& p = m.plain[f % kUniqueFrames];
            for (std::size_t i = 0; i < kFrame; ++i)
                for (int c = 0; c < channels; ++c) interleaved.push_back(p[c][i]);
        }
        const Bytes dst_file = dst_test::dsdiff_dst(channels, coded);
        const Bytes dsd_file = dst_test::dsdiff_dsd(channels, interleaved);
        std::ofstream(dst_dff, std::ios::binary).write(reinterpret_cast<const char*>(dst_file.data()),
                                                       static_cast<std::streamsize>(dst_file.size()));
        std::ofstream(dsd_dff, std::ios::binary).write(reinterpret_cast<const char*>(dsd_file.data()),
                                                       static_cast<std::streamsize>(dsd_file.size()));
    }

    Timing one, two, ff_dst, ff_dsd;
    for (int r = 0; r < repeats; ++r) {
        one = best(one, run_ours_isolated(m, list, track, 1));
        two = best(two, run_ours_isolated(m, list, track, 2));
        ff_dst = best(ff_dst, run_ffmpeg(dst_dff));
        ff_dsd = best(ff_dsd, run_ffmpeg(dsd_dff));
    }
    const double n = static_cast<double>(frames);
    const double ff_decode = ff_dst.cpu - ff_dsd.cpu;
    const std::size_t chunk = chunk_frames(default_chunk_mib(2), static_cast<std::size_t>(channels), 2);
    const double chunk_mib = static_cast<double>(chunk * kFrame * static_cast<std::size_t>(channels)) / 1048576;
    const double queue_mib = static_cast<double>(kDecodedFrameQueue * kFrame * static_cast<std::size_t>(channels)) / 1048576;
    std::printf("  velmora, 1 worker:   %6.2f s wall  %6.2f s cpu  %7.0f frames/s\n", one.wall, one.cpu, n / one.wall);
    std::printf("  velmora, 2 workers:  %6.2f s wall  %6.2f s cpu  %7.0f frames/s  (%.2f x one worker; cpu %.2f x)\n",
                two.wall, two.cpu, n / two.wall, one.wall / two.wall, two.cpu / one.cpu);
    std::printf("  ffmpeg DST file:     %6.2f s wall  %6.2f s cpu\n", ff_dst.wall, ff_dst.cpu);
    std::printf("  ffmpeg DSD file:     %6.2f s wall  %6.2f s cpu  (DSD to PCM only)\n", ff_dsd.wall, ff_dsd.cpu);
    std::printf("  ffmpeg DST decoding:                %6.2f s cpu  %7.0f frames/s\n", ff_decode, n / ff_decode);
    std::printf("  velmora 1 worker / ffmpeg DST, per core (cpu): %.2f x\n", ff_decode / one.cpu);
    std::printf("  peak memory above the start, 1 / 2 workers: %.1f / %.1f MiB (a chunk is %zu frames, %.1f MiB "
                "decoded; the channel holds %.1f MiB)\n",
                static_cast<double>(one.peak) / 1048576, static_cast<double>(two.peak) / 1048576, chunk, chunk_mib,
                queue_mib);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const double stereo_seconds = argc > 1 ? std::atof(argv[1]) : 100;
    const double six_seconds = argc > 2 ? std::atof(argv[2]) : 50;
    const int order = argc > 3 ? std::atoi(argv[3]) : 128;
    const int repeats = argc > 4 ? std::atoi(argv[4]) : 2;
    std::string pattern = (fs::temp_directory_path() / "velmora-parallel-bench-XXXXXX").string();
    const fs::path dir = mkdtemp(pattern.data());
    bench(2, stereo_seconds, order, repeats, dir);
    bench(6, six_seconds, order, repeats, dir);
    fs::remove_all(dir);
    return 0;
}
