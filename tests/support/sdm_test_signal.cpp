#include "tests/support/sdm_test_signal.h"

#include <cmath>

#include "tools/image_builder/sdm.h"

namespace testsupport {

std::vector<std::vector<std::uint8_t>> sdm_chord(int channels, std::size_t bytes_per_channel) {
    std::vector<std::vector<std::uint8_t>> result;
    for (int c = 0; c < channels; ++c) {
        // A major triad, a little higher for every channel.
        const double root = 220.0 * std::pow(2.0, c / 12.0);
        image_builder::ChannelSignal signal;
        for (double ratio : {1.0, 1.259921, 1.498307}) signal.tones.push_back(image_builder::Tone{root * ratio, 0.15, 0.0});
        image_builder::SigmaDeltaChannel modulator(signal);
        std::vector<std::uint8_t> channel;
        modulator.render(bytes_per_channel, channel);
        result.push_back(std::move(channel));
    }
    return result;
}

}  // namespace testsupport
