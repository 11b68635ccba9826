// Frames shared by the DST decoder tests: a realistic signal and headers that use every part of
// the frame syntax.
#pragma once

#include <cstdint>
#include <vector>

#include "tests/support/dst_test_encoder.h"
#include "tests/support/sdm_test_signal.h"

namespace dst_test {

inline Planar signal(int channels, int frame_length) {
    return testsupport::sdm_chord(channels, static_cast<std::size_t>(frame_length));
}

inline std::vector<int> first_coefs(const std::vector<int>& coefs, std::size_t order) {
    return {coefs.begin(), coefs.begin() + static_cast<std::ptrdiff_t>(order)};
}

// Three channels with their own filter segmentations and maps, a separate probability-table
// segmentation of eight segments shared by all channels with its own map, coded and plain
// coefficients and tables, a one-entry table, and Half_Probability on two channels.
inline FrameSpec rich_spec(const Planar& samples) {
    const FrameSpec designed = design_spec(samples, 128, false);
    FrameSpec spec;
    spec.channels = 3;
    spec.frame_length = static_cast<int>(samples[0].size());  // 1000
    spec.same_segmentation = false;
    spec.filter_seg = {false, 50, {{4}, {}, {3, 6}}};  // 200+800 | 1000 | 150+300+550
    spec.table_seg = {true, 4, {{25, 50, 100, 3, 1, 60, 7}}};  // 100 200 400 12 4 240 28 +16
    spec.same_mapping = false;
    spec.filter_map = {false, {{0, 1}, {0}, {2, 1, 2}}};
    spec.table_map = {true, {{0, 1, 0, 2, 1, 3, 3, 0}}};
    spec.half_probability = {true, false, true};
    spec.filters = {
        {first_coefs(designed.filters[0].coefs, 40), true, 2, 3},
        {designed.filters[1].coefs, false, 0, 0},
        {first_coefs(designed.filters[2].coefs, 9), true, 1, 2},
    };
    spec.tables = {
        {designed.tables[0].entries, true, 0, 2},
        {{128}, false, 0, 0},
        {first_coefs(designed.tables[1].entries, 20), false, 0, 0},
        {designed.tables[2].entries, true, 2, 4},
    };
    return spec;
}

}  // namespace dst_test
