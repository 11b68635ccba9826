#include "tests/support/sdm_test_signal.h"

#include <cmath>
#include <numbers>

namespace testsupport {

namespace {

// Noise transfer function (1 - z^-1)^5 / D(z): all zeros at DC, poles of a fifth-order
// Butterworth high-pass whose cutoff puts the out-of-band gain at 1.5, which keeps a one-bit
// quantiser stable for inputs up to about half of full scale.
constexpr double kNumerator[6] = {1.0, -5.0, 10.0, -10.0, 5.0, -1.0};
constexpr double kDenominator[6] = {1.0, -4.192282151138504, 7.085791415708282, -6.029607383511102,
                                    2.5812079389633484, -0.44444444401209554};

}  // namespace

std::vector<std::uint8_t> sdm_modulate(const std::vector<double>& input) {
    // Error-feedback form: w = u + (NTF - 1) e, v = sign(w), e = v - w, hence v = u + NTF e.
    double e[6] = {};  // e[k]: quantisation error k samples ago
    double f[6] = {};  // f[k]: feedback filter output k samples ago
    std::vector<std::uint8_t> out((input.size() + 7) / 8, 0);
    for (std::size_t n = 0; n < input.size(); ++n) {
        // f[n] = sum (N_k - D_k) e[n-k] - sum D_k f[n-k]
        double feedback = 0;
        for (int k = 1; k <= 5; ++k) feedback += (kNumerator[k] - kDenominator[k]) * e[k] - kDenominator[k] * f[k];
        const double w = input[n] + feedback;
        const double v = w >= 0 ? 1.0 : -1.0;
        if (std::fabs(w) > 64.0) {
            // A modulator that lost stability starts over instead of producing garbage forever.
            for (double& x : e) x = 0;
            for (double& x : f) x = 0;
        } else {
            for (int k = 5; k > 1; --k) {
                e[k] = e[k - 1];
                f[k] = f[k - 1];
            }
            e[1] = v - w;
            f[1] = feedback;
        }
        if (v > 0) out[n / 8] |= static_cast<std::uint8_t>(0x80u >> (n % 8));
    }
    return out;
}

std::vector<std::vector<std::uint8_t>> sdm_chord(int channels, std::size_t bytes_per_channel) {
    constexpr double kRate = 2822400.0;
    std::vector<std::vector<std::uint8_t>> result;
    for (int c = 0; c < channels; ++c) {
        // A major triad, a little higher for every channel.
        const double root = 220.0 * std::pow(2.0, c / 12.0);
        const double freqs[3] = {root, root * 1.259921, root * 1.498307};
        std::vector<double> input(bytes_per_channel * 8);
        for (std::size_t n = 0; n < input.size(); ++n) {
            const double t = static_cast<double>(n) / kRate;
            double s = 0;
            for (double fr : freqs) s += std::sin(2 * std::numbers::pi * fr * t);
            input[n] = 0.15 * s;
        }
        result.push_back(sdm_modulate(input));
    }
    return result;
}

}  // namespace testsupport
