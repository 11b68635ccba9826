#include "tools/image_builder/sdm.h"

#include <cmath>
#include <numbers>

namespace image_builder {

namespace {

// Noise transfer function NTF(z) = (1 - z^-1)^5 / D(z): five zeros at DC and Butterworth
// high-pass poles placed so that the out-of-band gain is 1.5, which keeps a one-bit loop stable
// for inputs up to about half of full scale. The loop filter is NTF - 1 = (N - D) / D.
constexpr double kD[5] = {-4.192282151138504, 7.085791415708282, -6.029607383511102, 2.5812079389633484,
                          -0.44444444401209554};
constexpr double kNminusD[5] = {-0.807717848861496, 2.9142085842917176, -3.9703926164888976, 2.4187920610366516,
                                -0.5555555559879044};

}  // namespace

SigmaDeltaChannel::SigmaDeltaChannel(ChannelSignal signal)
    : signal_(std::move(signal)), rng_(signal_.noise_seed * 0x9E3779B97F4A7C15ull + 1) {
    for (const Tone& t : signal_.tones) {
        const double w = 2.0 * std::numbers::pi * t.frequency_hz / kDsdRate;
        oscillators_.push_back(Oscillator{t.amplitude, std::cos(t.phase), std::sin(t.phase), std::cos(w), std::sin(w)});
    }
}

double SigmaDeltaChannel::next_noise() {
    // xorshift64*: deterministic on every platform.
    rng_ ^= rng_ >> 12;
    rng_ ^= rng_ << 25;
    rng_ ^= rng_ >> 27;
    std::uint64_t r = rng_ * 0x2545F4914F6CDD1Dull;
    return static_cast<double>(r >> 11) / 9007199254740992.0 * 2.0 - 1.0;
}

double SigmaDeltaChannel::next_input() {
    double x = 0.0;
    const bool renormalise = (n_ & 0xFFF) == 0;
    for (Oscillator& o : oscillators_) {
        x += o.amplitude * o.im;
        const double re = o.re * o.step_re - o.im * o.step_im;
        const double im = o.re * o.step_im + o.im * o.step_re;
        o.re = re;
        o.im = im;
        if (renormalise) {
            const double g = 1.0 / std::sqrt(re * re + im * im);
            o.re *= g;
            o.im *= g;
        }
    }
    if (signal_.noise_amplitude > 0.0) x += signal_.noise_amplitude * next_noise();
    ++n_;
    return x;
}

void SigmaDeltaChannel::render(std::size_t bytes, std::vector<std::uint8_t>& out) {
    out.reserve(out.size() + bytes);
    for (std::size_t b = 0; b < bytes; ++b) {
        std::uint8_t byte = 0;
        for (int bit = 7; bit >= 0; --bit) {
            double w = 0.0;
            for (int k = 0; k < 5; ++k) w += kNminusD[k] * e_[k] - kD[k] * w_[k];
            double u = next_input() + w;
            double y = u >= 0.0 ? 1.0 : -1.0;
            double e = y - u;
            // A loop that ran away (it should not for sane inputs) is reset rather than left to
            // produce garbage.
            if (std::fabs(u) > 8.0) {
                for (int k = 0; k < 5; ++k) e_[k] = w_[k] = 0.0;
                e = 0.0;
                w = 0.0;
            }
            for (int k = 4; k > 0; --k) {
                e_[k] = e_[k - 1];
                w_[k] = w_[k - 1];
            }
            e_[0] = e;
            w_[0] = w;
            if (y > 0) byte = static_cast<std::uint8_t>(byte | (1u << bit));
        }
        out.push_back(byte);
    }
}

}  // namespace image_builder
