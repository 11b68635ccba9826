#include "sacd/audio/dsf_writer.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/sacd/audio/writer_fixtures.h"
#include "tests/support/audio_files.h"

using namespace sacd::audio;
using namespace writer_test;
using platform::BufferedWriter;
using testsupport::reversed;

namespace {

// The 92-byte header from the layout table; B blocks per channel, T bytes of tag.
Bytes dsf_header(std::uint32_t channels, std::uint32_t channel_type, std::uint64_t frames, std::uint64_t blocks,
                 std::uint64_t tag) {
    const std::uint64_t data = channels * blocks * 4096;
    return Fixture{}
        .id("DSD ").le(28, 8).le(92 + data + tag, 8).le(tag ? 92 + data : 0, 8)
        .id("fmt ").le(52, 8).le(1, 4).le(0, 4).le(channel_type, 4).le(channels, 4).le(2822400, 4).le(1, 4)
        .le(frames * 37632, 8).le(4096, 4).le(0, 4)
        .id("data").le(12 + data, 8)
        .bytes;
}

// The data chunk's blocks for `frames`: each channel's bytes bit-reversed, zero-padded to whole
// blocks, then laid out block round by block round.
Bytes dsf_blocks(const std::vector<DsdFrame>& frames, std::uint32_t channels, std::uint64_t blocks) {
    std::vector<Bytes> streams(channels);
    for (const auto& f : frames)
        for (std::uint32_t c = 0; c < channels; ++c)
            for (std::uint8_t b : f.channels[c]) streams[c].push_back(reversed(b));
    Bytes out;
    for (std::uint32_t c = 0; c < channels; ++c) streams[c].resize(blocks * 4096, 0);
    for (std::uint64_t b = 0; b < blocks; ++b)
        for (std::uint32_t c = 0; c < channels; ++c)
            out.insert(out.end(), streams[c].begin() + b * 4096, streams[c].begin() + (b + 1) * 4096);
    return out;
}

}  // namespace

TEST(DsfWriter, OneStereoFrameByteForByte) {
    // 1 frame: 4704 bytes per channel = one full block and 608 bytes + 3488 zero bytes of a second.
    const auto frames = counting_frames(1, 2);
    TrackMeta meta;
    const Bytes file = written_bytes([&](BufferedWriter& out) { return write_dsf(out, meta, 1, frames_from(frames)); });

    Fixture expected;
    expected.raw(dsf_header(2, 2, 1, 2, 0));
    for (int c = 0; c < 2; ++c)
        for (int k = 0; k < 4096; ++k) expected.u8(reversed(static_cast<std::uint8_t>(c * 7 + k)));
    for (int c = 0; c < 2; ++c) {
        for (int k = 4096; k < 4704; ++k) expected.u8(reversed(static_cast<std::uint8_t>(c * 7 + k)));
        expected.zeros(3488);
    }
    EXPECT_TRUE(same_bytes(file, expected.bytes));
    ASSERT_GE(file.size(), 92u);
    EXPECT_EQ(platform::read_u64_le(&file[84]), 16396u);  // 12 + 2 * 2 * 4096
    EXPECT_EQ(platform::read_u64_le(&file[64]), 37632u);
}

TEST(DsfWriter, BlockPaddingAndChannelLayouts) {
    struct Case {
        std::uint32_t frames;
        std::uint8_t channels;
        std::uint32_t channel_type;
        std::uint64_t blocks;
    };
    const Case cases[] = {
        {128, 2, 2, 147},  // 128 x 4704 = 147 x 4096: no padding at all
        {129, 5, 6, 149},
        {3, 6, 7, 4},
        {0, 2, 2, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.frames << " frames, " << int(c.channels) << " channels");
        const auto frames = counting_frames(c.frames, c.channels);
        TrackMeta meta;
        meta.channel_count = c.channels;
        const Bytes file =
            written_bytes([&](BufferedWriter& out) { return write_dsf(out, meta, c.frames, frames_from(frames)); });
        Bytes expected = dsf_header(c.channels, c.channel_type, c.frames, c.blocks, 0);
        const Bytes blocks = dsf_blocks(frames, c.channels, c.blocks);
        expected.insert(expected.end(), blocks.begin(), blocks.end());
        EXPECT_TRUE(same_bytes(file, expected));
    }
}

TEST(DsfWriter, TagFollowsTheLastBlockAndIsPointedTo) {
    const auto frames = counting_frames(2, 2);
    TrackMeta meta;
    meta.title = "T\u00eftle";
    meta.track_number = 1;
    const Bytes tag = meta.id3_v2();
    ASSERT_FALSE(tag.empty());
    const Bytes file = written_bytes([&](BufferedWriter& out) { return write_dsf(out, meta, 2, frames_from(frames)); });

    Bytes expected = dsf_header(2, 2, 2, 3, tag.size());
    const Bytes blocks = dsf_blocks(frames, 2, 3);
    expected.insert(expected.end(), blocks.begin(), blocks.end());
    expected.insert(expected.end(), tag.begin(), tag.end());
    EXPECT_TRUE(same_bytes(file, expected));
}

TEST(DsfWriter, RefusesBadInputWithItsMessage) {
    struct Case {
        const char* name;
        std::uint8_t file_channels;
        std::vector<DsdFrame> frames;
        const char* message;
        std::size_t pulls;
    };
    auto six_then_five = counting_frames(2, 6);
    six_then_five[1].channels.pop_back();
    auto short_channel = counting_frames(1, 2);
    short_channel[0].channels[1].pop_back();
    const Case cases[] = {
        {"4 channels", 4, counting_frames(1, 4), "N_Channels 4 has no DSDIFF channel layout (expected 2, 5 or 6)", 0},
        {"5-channel frame in a 6-channel file", 6, six_then_five,
         "frame 1 channel count mismatch: expected 6 channels, got 5", 2},
        {"short channel", 2, short_channel, "frame 0 length mismatch: index said 4704 bytes, stream gave 4703", 1},
        {"source ends", 2, counting_frames(1, 2), "frame source ended early: expected 2 frames, got 1", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TrackMeta meta;
        meta.channel_count = c.file_channels;
        std::size_t pulls = 0;
        WriteResult result;
        const Bytes file = written_bytes(
            [&](BufferedWriter& out) { return write_dsf(out, meta, 2, frames_from(c.frames, &pulls)); }, &result);
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(result.error().message(), c.message);
        EXPECT_EQ(pulls, c.pulls);
        if (c.pulls == 0) {
            EXPECT_TRUE(file.empty());
        }
    }
}

TEST(DsfWriter, SourceErrorIsReturnedUnchanged) {
    TrackMeta meta;
    DsdFrameSource cancelled = [](DsdFrame&) -> WriteResult { return platform::err(ContainerError::io("extract cancelled")); };
    WriteResult result;
    (void)written_bytes([&](BufferedWriter& out) { return write_dsf(out, meta, 5, cancelled); }, &result);
    ASSERT_FALSE(result.ok());
    ASSERT_NE(result.error().as<container_errors::Io>(), nullptr);
    EXPECT_EQ(result.error().message(), "container write I/O error: extract cancelled");
}

TEST(DsfWriter, WriteFailureStopsTheTrackWithAnIoError) {
    // /dev/full accepts the open and fails every write with "no space left".
    auto full = platform::File::open_read_write("/dev/full");
    if (!full.ok()) GTEST_SKIP() << "no /dev/full";
    const auto frames = counting_frames(50, 2);
    std::size_t pulls = 0;
    BufferedWriter out(*full, 8192);
    TrackMeta meta;
    auto result = write_dsf(out, meta, 50, frames_from(frames, &pulls));
    ASSERT_FALSE(result.ok());
    ASSERT_NE(result.error().as<container_errors::Io>(), nullptr);
    EXPECT_NE(result.error().message().find("container write I/O error: "), std::string::npos);
    EXPECT_LT(pulls, 3u);  // stopped at the failure, not after draining 50 frames
}
