// decode_frame: request validation, plain frames, error texts, and decoding on many threads.
#include "dst/dst_frame.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "dst/dst_decoder.h"
#include "dst/messages.h"
#include "i18n/i18n.h"
#include "tests/dst/dst_test_frames.h"

using namespace dst_test;

namespace {

std::string error_text(std::span<const std::uint8_t> frame, std::uint32_t channels, std::uint32_t frame_length) {
    dst::PlanarChannels out;
    auto r = dst::decode_frame(frame, channels, frame_length, out);
    return r.ok() ? "ok" : r.error().display();
}

}  // namespace

TEST(DecodeFrame, PlainFramesAreDeinterleaved) {
    const Planar s = signal(2, 4704);
    for (std::uint8_t first : {0x00, 0x40}) {  // bit 6 carries no meaning in a plain frame
        dst::PlanarChannels out;
        ASSERT_TRUE(dst::decode_frame(plain_frame(s, first), 2, 4704, out).ok());
        EXPECT_EQ(out, s);
    }
    const Planar six = signal(6, 5);
    dst::PlanarChannels out;
    ASSERT_TRUE(dst::decode_frame(plain_frame(six), 6, 5, out).ok());
    EXPECT_EQ(out, six);
}

TEST(DecodeFrame, DstFramesAreDecodedAndBuffersReused) {
    const Planar s6 = signal(6, 4704);
    const Planar s2 = signal(2, 300);
    dst::PlanarChannels out;
    ASSERT_TRUE(dst::decode_frame(encode_frame(design_spec(s6, 24, true), s6), 6, 4704, out).ok());
    EXPECT_EQ(out, s6);
    ASSERT_TRUE(dst::decode_frame(encode_frame(design_spec(s2, 24, false), s2), 2, 300, out).ok());
    EXPECT_EQ(out, s2);
}

TEST(DecodeFrame, RefusesBadRequestsWithTheirTexts) {
    const Bytes plain = plain_frame(signal(2, 4704));
    Bytes reserved = plain;
    reserved[0] = 0x01;
    Bytes short_plain = plain;
    short_plain.pop_back();
    const Bytes oversized = [] {
        Bytes f(2 * 2 * 100 + 2048 + 1, 0);
        f[0] = 0x80;
        return f;
    }();
    const struct {
        const char* name;
        Bytes frame;
        std::uint32_t channels, frame_length;
        std::string text;
    } cases[] = {
        {"seven channels", plain, 7, 4704, "N_Channels 7 outside 1..=6"},
        {"no channel", plain, 0, 4704, "N_Channels 0 outside 1..=6"},
        {"Frame_Length 4705", plain, 2, 4705, "Frame_Length 4705 outside 1..=4704 bytes per channel"},
        {"Frame_Length 0", plain, 2, 0, "Frame_Length 0 outside 1..=4704 bytes per channel"},
        {"empty frame", {}, 2, 4704,
         "DST frame read error: audio header read past end of sector: need 1 bits, have 0"},
        {"plain frame with a reserved bit", reserved, 2, 4704,
         "reserved field DST Processing_Mode 0 Reserved was not zero (refusing to guess)"},
        {"plain frame one byte short", short_plain, 2, 4704,
         "raw-DSD frame is 9408 bytes, expected 9409 (1 + N_Channels * Frame_Length)"},
        {"DST frame above the area's maximum", oversized, 2, 100,
         "bad DST frame header (refusing to guess): DST frame larger than the maximum possible for its area"},
        {"DST frame at the area's maximum reaches the decoder", Bytes(oversized.begin(), oversized.end() - 1), 2, 100,
         "bad DST Segmentation (refusing to guess): C decoder: bad Segmentation"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(error_text(c.frame, c.channels, c.frame_length), c.text);
    }
}

TEST(DecodeFrame, DecoderStatusesHaveTheirTexts) {
    const struct {
        int code;
        const char* text;
    } cases[] = {
        {DST_ERR_TRUNCATED, "bad DST frame header (refusing to guess): C decoder: truncated DST frame"},
        {DST_ERR_SEGMENTATION, "bad DST Segmentation (refusing to guess): C decoder: bad Segmentation"},
        {DST_ERR_MAPPING, "bad DST Mapping (refusing to guess): C decoder: bad Mapping"},
        {DST_ERR_FILTER_COEFS, "bad DST Filter_Coef_Sets (refusing to guess): C decoder: bad Filter_Coef_Sets"},
        {DST_ERR_PROB_TABLES,
         "bad DST Probability_Tables (refusing to guess): C decoder: bad Probability_Tables"},
        {DST_ERR_INCONSISTENT, "bad DST frame header (refusing to guess): C decoder: inconsistent frame header"},
        {DST_ERR_PARAMETERS, "bad DST frame header (refusing to guess): C decoder: bad parameters / not DST-coded"},
        {DST_ERR_ADATA_TOO_LONG, "bad DST frame header (refusing to guess): C decoder: A_Data too long"},
        {-42, "bad DST frame header (refusing to guess): C decoder: unknown error"},
    };
    for (const auto& c : cases) EXPECT_EQ(dst::DstError::decoder(c.code).display(), c.text);
    EXPECT_EQ(dst::DstError::read("audio sector is not 2048 bytes (got 7)").display(),
              "DST frame read error: audio sector is not 2048 bytes (got 7)");
    EXPECT_EQ(dst::DstError::worker_panicked().display(), "a parallel decode worker thread panicked");

    i18n::LANG = true;
    EXPECT_EQ(dst::DstError::decoder(DST_ERR_TRUNCATED).display(),
              "неверный заголовок DST-кадра (угадывать не будем): C-декодер: DST-кадр обрезан");
    i18n::LANG = false;
}

TEST(DecodeFrame, ThreadsDecodeIndependently) {
    // Frames of different shapes alternate on every thread, so state left over from one frame
    // would spoil the next; malformed frames are mixed in as well.
    const Planar a = signal(3, 1000);
    const Planar b = signal(2, 4704);
    const Bytes frame_a = encode_frame(rich_spec(a), a);
    const Bytes frame_b = encode_frame(design_spec(b, 64, false), b);
    const Bytes broken(frame_a.begin(), frame_a.begin() + 40);
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            dst::PlanarChannels out;
            for (int round = 0; round < 6; ++round) {
                const bool first = (round + t) % 2 == 0;
                if (!dst::decode_frame(first ? frame_a : frame_b, first ? 3 : 2, first ? 1000 : 4704, out).ok() ||
                    out != (first ? a : b))
                    ++failures;
                if (dst::decode_frame(broken, 3, 1000, out).ok()) ++failures;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(failures.load(), 0);
}
