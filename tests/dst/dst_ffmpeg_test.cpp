// An independent check of the test-only DST writer: FFmpeg's DST decoder must turn its frames
// into the same PCM as FFmpeg's plain-DSD decoder gives for the original signal. Then the
// project's decoder must give back the original bits of the very same frames.
//
// The frames stay within what FFmpeg 5.1 reads: one segment per channel, tables of two or more
// entries, and zero bytes after A_Data (its decoder reads ahead).
#include <gtest/gtest.h>

#include <string>

#include "dst/dst_frame.h"
#include "tests/dst/dst_test_frames.h"
#include "tests/support/audio_files.h"
#include "tests/support/dst_test_dsdiff.h"
#include "tests/support/ffmpeg_judge.h"
#include "tests/support/process.h"

using namespace dst_test;
using testsupport::ffmpeg;
using testsupport::write_file;

namespace {

bool have_ffmpeg_dst() {
    if (ffmpeg().empty()) return false;
    const auto r = testsupport::run_process(ffmpeg(), {"-hide_banner", "-decoders"});
    return r.status == 0 && r.out.find(" dst ") != std::string::npos;
}

std::string ffmpeg_pcm(const std::string& path) {
    const auto r =
        testsupport::run_process(ffmpeg(), {"-v", "error", "-threads", "1", "-i", path, "-f", "s32le", "-"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    return r.out;
}

struct Track {
    const char* name;
    int channels;
    int frames;
    int order;
    bool shared_filter;
};

}  // namespace

TEST(DstAgainstFfmpeg, SameSignalAsPlainDsd) {
    if (!have_ffmpeg_dst()) GTEST_SKIP() << "ffmpeg with a DST decoder is not installed";
    const Track tracks[] = {
        {"stereo, a filter of order 64 per channel", 2, 6, 64, false},
        {"stereo, one filter of order 128", 2, 3, 128, true},
        {"six channels, a filter of order 20 per channel", 6, 3, 20, false},
    };
    testsupport::TempDir dir;
    for (const Track& t : tracks) {
        SCOPED_TRACE(t.name);
        const Planar whole = signal(t.channels, 4704 * t.frames);
        Bytes interleaved;
        std::vector<Bytes> coded;
        std::vector<Planar> originals;
        for (int f = 0; f < t.frames; ++f) {
            Planar frame(static_cast<std::size_t>(t.channels));
            for (int c = 0; c < t.channels; ++c)
                frame[c].assign(whole[c].begin() + f * 4704, whole[c].begin() + (f + 1) * 4704);
            for (int i = 0; i < 4704; ++i)
                for (int c = 0; c < t.channels; ++c) interleaved.push_back(frame[c][i]);
            coded.push_back(encode_frame(design_spec(frame, t.order, t.shared_filter), frame, {false, 16}));
            ASSERT_LT(coded.back().size(), 4704u * t.channels) << "frame " << f << " did not compress";
            originals.push_back(std::move(frame));
        }
        write_file(dir.file("plain.dff"), dsdiff_dsd(t.channels, interleaved));
        write_file(dir.file("dst.dff"), dsdiff_dst(t.channels, coded));
        const std::string from_plain = ffmpeg_pcm(dir.file("plain.dff"));
        const std::string from_dst = ffmpeg_pcm(dir.file("dst.dff"));
        ASSERT_FALSE(from_plain.empty());
        EXPECT_TRUE(from_dst == from_plain) << "FFmpeg decodes the DST frames to other PCM ("
                                            << from_dst.size() << " vs " << from_plain.size() << " bytes)";

        dst::PlanarChannels out;
        for (std::size_t f = 0; f < coded.size(); ++f) {
            ASSERT_TRUE(dst::decode_frame(coded[f], static_cast<std::uint32_t>(t.channels), 4704, out).ok());
            EXPECT_TRUE(out == originals[f]) << "frame " << f;
        }
    }
}
