// The test-signal modulator: stable, deterministic, and carrying the signal it was fed.
#include "tools/image_builder/sdm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace image_builder;

namespace {

// Correlates the one-bit stream with a reference sine: the tone's amplitude as seen in the bits.
double tone_amplitude(const std::vector<std::uint8_t>& bytes, double frequency) {
    double re = 0, im = 0;
    std::size_t n = 0;
    for (std::uint8_t b : bytes)
        for (int bit = 7; bit >= 0; --bit, ++n) {
            const double x = ((b >> bit) & 1) ? 1.0 : -1.0;
            const double phase = 2 * std::numbers::pi * frequency * static_cast<double>(n) / kDsdRate;
            re += x * std::cos(phase);
            im += x * std::sin(phase);
        }
    return 2 * std::sqrt(re * re + im * im) / static_cast<double>(n);
}

}  // namespace

TEST(SigmaDelta, CarriesTheToneAndIsDeterministic) {
    ChannelSignal s;
    s.tones = {Tone{1000.0, 0.4, 0.0}};
    SigmaDeltaChannel a(s), b(s);
    std::vector<std::uint8_t> x, y;
    a.render(75 * kFrameBytesPerChannel / 10, x);  // 0.1 s
    b.render(75 * kFrameBytesPerChannel / 10, y);
    EXPECT_EQ(x, y);
    EXPECT_NEAR(tone_amplitude(x, 1000.0), 0.4, 0.01);
    EXPECT_LT(tone_amplitude(x, 3000.0), 0.01);

    // Bits are balanced (no runaway loop) and the stream is not a short repeating pattern.
    std::size_t ones = 0;
    for (std::uint8_t v : x) ones += static_cast<std::size_t>(__builtin_popcount(v));
    EXPECT_NEAR(static_cast<double>(ones) / (x.size() * 8.0), 0.5, 0.01);
    EXPECT_NE(std::vector<std::uint8_t>(x.begin(), x.begin() + 64), std::vector<std::uint8_t>(x.begin() + 64, x.begin() + 128));
}

TEST(SigmaDelta, StaysStableAtHalfScaleWithNoise) {
    ChannelSignal s;
    s.tones = {Tone{50.0, 0.45, 0.0}};
    s.noise_amplitude = 0.05;
    SigmaDeltaChannel sdm(s);
    std::vector<std::uint8_t> out;
    sdm.render(2 * kFrameBytesPerChannel * 75, out);  // 2 s
    EXPECT_NEAR(tone_amplitude(std::vector<std::uint8_t>(out.end() - 200000, out.end()), 50.0), 0.45, 0.03);
}
