#include "sacd/audio/container_error.h"

#include <gtest/gtest.h>

#include "i18n/i18n.h"

using namespace sacd::audio;
using namespace sacd::audio::container_errors;

TEST(ContainerError, MessagesFillTheirValues) {
    struct Case {
        ContainerError error;
        const char* text;
    };
    const Case cases[] = {
        {BadChannelCount{4}, "N_Channels 4 has no DSDIFF channel layout (expected 2, 5 or 6)"},
        {FrameLengthMismatch{7, 9408, 9407}, "frame 7 length mismatch: index said 9408 bytes, stream gave 9407"},
        {ChannelCountMismatch{0, 6, 5}, "frame 0 channel count mismatch: expected 6 channels, got 5"},
        {DsfBlockCount{3, 4}, "DSF block count invariant: emitted 3 blocks, expected 4"},
        {SourceEndedEarly{100, 42}, "frame source ended early: expected 100 frames, got 42"},
        {TooManyFrames{4294967296}, "track has 4294967296 frames, more than DSDIFF numFrames (u32) can hold"},
        {MarkerModel{"track music end overlaps the next track start"},
         "marker model error - track music end overlaps the next track start"},
        {Io{"No space left on device"}, "container write I/O error: No space left on device"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.error.message(), c.text);
}

TEST(ContainerError, FollowsTheLanguageSwitch) {
    i18n::LANG = true;
    EXPECT_EQ(ContainerError(SourceEndedEarly{100, 42}).message(),
              "источник кадров иссяк раньше времени: ожидалось кадров: 100, получено: 42");
    i18n::LANG = false;
}
