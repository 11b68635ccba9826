// Single-thread DST decoding speed on frames of a sigma-delta modulated chord, per channel
// count and prediction order. One iteration decodes one frame; the rate is in frames per
// second (75 frames are one second of audio).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "dst/dst_decoder.h"
#include "tests/support/dst_test_encoder.h"
#include "tests/support/sdm_test_signal.h"

namespace {

constexpr int kFrameLength = 4704;
constexpr int kFrames = 8;

struct Track {
    std::vector<dst_test::Bytes> frames;
};

// Frames coded by the test-only writer: a least-squares filter per channel and one table each.
Track make_track(int channels, int order) {
    const auto whole = testsupport::sdm_chord(channels, static_cast<std::size_t>(kFrameLength) * kFrames);
    Track t;
    for (int f = 0; f < kFrames; ++f) {
        dst_test::Planar frame(static_cast<std::size_t>(channels));
        for (int c = 0; c < channels; ++c)
            frame[c].assign(whole[c].begin() + f * kFrameLength, whole[c].begin() + (f + 1) * kFrameLength);
        t.frames.push_back(dst_test::encode_frame(dst_test::design_spec(frame, order, false), frame));
    }
    return t;
}

void BM_DecodeFrame(benchmark::State& state) {
    const int channels = static_cast<int>(state.range(0));
    const int order = static_cast<int>(state.range(1));
    const Track track = make_track(channels, order);
    std::vector<std::vector<std::uint8_t>> out(static_cast<std::size_t>(channels),
                                               std::vector<std::uint8_t>(kFrameLength));
    std::uint8_t* buffers[6] = {};
    for (int c = 0; c < channels; ++c) buffers[c] = out[c].data();
    std::size_t i = 0;
    for (auto _ : state) {
        const auto& frame = track.frames[i++ % track.frames.size()];
        const int rc = dst_decode_frame_c(frame.data(), frame.size(), channels, kFrameLength, buffers);
        if (rc != DST_OK) {
            state.SkipWithError("decoding failed");
            break;
        }
        benchmark::DoNotOptimize(out[0].data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}

}  // namespace

BENCHMARK(BM_DecodeFrame)->Args({2, 128})->Args({2, 32})->Args({6, 64})->Unit(benchmark::kMicrosecond);
