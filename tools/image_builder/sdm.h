// A deterministic fifth-order sigma-delta modulator: turns a test signal into one-bit DSD
// that looks like real DSD (shaped noise, a long run structure, no periodic patterns).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace image_builder {

inline constexpr double kDsdRate = 2822400.0;           // 64 x 44.1 kHz
inline constexpr std::size_t kFrameBytesPerChannel = 4704;  // 1/75 s of one-bit samples

struct Tone {
    double frequency_hz = 1000.0;
    double amplitude = 0.25;  // of full scale; keep the sum of a channel's tones below 0.5
    double phase = 0.0;       // radians
};

// What one channel plays: a sum of tones plus optional white noise.
struct ChannelSignal {
    std::vector<Tone> tones;
    double noise_amplitude = 0.0;
    std::uint64_t noise_seed = 1;
};

// One channel's modulator; keeps its state between calls so frames join seamlessly.
class SigmaDeltaChannel {
public:
    explicit SigmaDeltaChannel(ChannelSignal signal);

    // Appends `bytes` bytes of DSD (most significant bit = earliest sample) to `out`.
    void render(std::size_t bytes, std::vector<std::uint8_t>& out);

    std::uint64_t sample_position() const { return n_; }

private:
    double next_input();
    double next_noise();

    // Each tone is a rotating phasor (cos, sin), advanced by one multiplication per sample
    // instead of a sine call.
    struct Oscillator {
        double amplitude, re, im, step_re, step_im;
    };
    std::vector<Oscillator> oscillators_;

    ChannelSignal signal_;
    std::uint64_t n_ = 0;
    std::uint64_t rng_;
    double e_[5] = {};  // past quantisation errors
    double w_[5] = {};  // past feedback filter outputs
};

}  // namespace image_builder
