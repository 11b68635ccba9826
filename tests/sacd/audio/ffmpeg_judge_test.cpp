// FFmpeg as an independent judge: it must read every file the writers produce with the right
// stream parameters and tags, and decode the same sound from the DSF and the DSDIFF file.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cmath>
#include <complex>
#include <cstring>
#include <string>
#include <vector>

#include "sacd/audio/dsdiff_writer.h"
#include "sacd/audio/dsf_writer.h"
#include "tests/sacd/audio/writer_fixtures.h"
#include "tests/support/audio_files.h"
#include "tests/support/ffmpeg_judge.h"
#include "tests/support/process.h"

using namespace sacd::audio;
using namespace writer_test;
using platform::BufferedWriter;
using testsupport::Chunk;
using testsupport::chunk_body;
using testsupport::decode;
using testsupport::dff_chunks;
using testsupport::ffmpeg;
using testsupport::find_chunk;
using testsupport::have_ffmpeg;
using testsupport::probe;
using testsupport::tag;

namespace {

// The amplitude of the `frequency` component of one channel of interleaved PCM, over the middle
// of the signal (away from the decoder's start-up).
double tone_level(const std::vector<float>& pcm, int channels, int channel, double frequency, double rate) {
    const std::size_t n = pcm.size() / channels;
    std::complex<double> sum = 0;
    const std::size_t from = n / 4, to = 3 * n / 4;
    for (std::size_t i = from; i < to; ++i)
        sum += double(pcm[i * channels + channel]) * std::polar(1.0, -2 * std::numbers::pi * frequency * i / rate);
    return 2 * std::abs(sum) / double(to - from);
}

struct Signal {
    std::vector<DsdFrame> planar;
    std::vector<Bytes> interleaved;
};

// Channel c carries a tone of 1000 x (c + 1) Hz, so a swapped or misplaced channel shows.
Signal tones(std::size_t frame_count, std::uint8_t channels) {
    Signal s;
    std::vector<SigmaDelta> mods;
    for (int c = 0; c < channels; ++c) mods.emplace_back(1000.0 * (c + 1), 0.5);
    for (std::size_t f = 0; f < frame_count; ++f) {
        DsdFrame frame;
        frame.channel_count = channels;
        frame.channels.assign(channels, Bytes(kFrameBytesPerChannel));
        Bytes inter(std::size_t{kFrameBytesPerChannel} * channels);
        for (std::size_t k = 0; k < kFrameBytesPerChannel; ++k)
            for (int c = 0; c < channels; ++c) inter[k * channels + c] = frame.channels[c][k] = mods[c].next_byte();
        s.planar.push_back(std::move(frame));
        s.interleaved.push_back(std::move(inter));
    }
    return s;
}

const char* const kTitle = "Tr\u00e4umerei \u6771";  // forces UTF-16
const char* const kArtist = "Art\u00efst";             // Latin-1
const char* const kAlbum = "Kinderszenen";

TrackMeta tagged(std::uint8_t channels) {
    TrackMeta m;
    m.channel_count = channels;
    m.title = kTitle;
    m.artist = kArtist;
    m.album = kAlbum;
    m.isrc = "DEABC0100007";
    m.track_number = 7;
    m.track_total = 13;
    return m;
}

void expect_id3_tags(const nlohmann::json& j) {
    EXPECT_EQ(tag(j, "title"), kTitle);
    EXPECT_EQ(tag(j, "artist"), kArtist);
    EXPECT_EQ(tag(j, "album"), kAlbum);
    EXPECT_EQ(tag(j, "track"), "7/13");
    EXPECT_EQ(tag(j, "tsrc"), "DEABC0100007");
}

// FFmpeg's DSDIFF reader takes DIIN and COMT but skips the "ID3 " chunk. To have it judge that
// tag as well, the chunk's content is put in front of a minimal WAV file, where FFmpeg reads
// a leading ID3v2 tag.
nlohmann::json probe_id3_chunk(const testsupport::TempDir& dir, const std::string& dff) {
    const Bytes file = read_file(dff);
    const auto cs = dff_chunks(file);
    const Chunk* id3 = find_chunk(cs, "ID3 ");
    Bytes out = id3 ? chunk_body(file, *id3) : Bytes();
    EXPECT_FALSE(out.empty()) << "no ID3 chunk";
    Fixture wav;
    wav.id("RIFF").le(36 + 8, 4).id("WAVE");
    wav.id("fmt ").le(16, 4).le(1, 2).le(1, 2).le(8000, 4).le(16000, 4).le(2, 2).le(16, 2);
    wav.id("data").le(8, 4).zeros(8);
    out.insert(out.end(), wav.bytes.begin(), wav.bytes.end());
    const std::string path = dir.file("id3.wav");
    EXPECT_TRUE(platform::write_whole_file(path, out.data(), out.size()).ok());
    return probe(path);
}

}  // namespace

TEST(FfmpegJudge, ReadsAndDecodesDsfAndDsdiffAlike) {
    if (!have_ffmpeg()) GTEST_SKIP() << "ffmpeg/ffprobe not installed";
    struct Case {
        std::uint8_t channels;
        std::size_t frames;
    };
    for (const Case c : {Case{2, 75}, Case{6, 38}}) {
        SCOPED_TRACE(testing::Message() << int(c.channels) << " channels");
        testsupport::TempDir dir;
        const Signal sig = tones(c.frames, c.channels);
        const TrackMeta meta = tagged(c.channels);
        const auto frames = static_cast<std::uint32_t>(c.frames);
        ASSERT_TRUE(write_file(dir.file("t.dsf"), [&](BufferedWriter& out) {
                        return write_dsf(out, meta, frames, frames_from(sig.planar));
                    }).ok());
        ASSERT_TRUE(write_file(dir.file("t.dff"), [&](BufferedWriter& out) {
                        return write_dff_dsd(out, meta, frames, kFrameBytesPerChannel * c.channels,
                                             bytes_from(sig.interleaved));
                    }).ok());

        for (const char* name : {"t.dsf", "t.dff"}) {
            SCOPED_TRACE(name);
            const bool dsf = std::string(name) == "t.dsf";
            const auto j = probe(dir.file(name));
            ASSERT_FALSE(j.is_discarded());
            ASSERT_EQ(j["streams"].size(), 1u);
            const auto& st = j["streams"][0];
            EXPECT_EQ(st["channels"].get<int>(), c.channels);
            // FFmpeg's DSD decoders report the byte rate: 2822400 / 8.
            EXPECT_EQ(st["sample_rate"].get<std::string>(), "352800");
            // FFmpeg estimates a DSF's duration from its size, zero padding of the last block included.
            const double duration = std::stod(j["format"]["duration"].get<std::string>());
            EXPECT_GE(duration, c.frames / 75.0 - 0.001);
            EXPECT_LE(duration, c.frames / 75.0 + (dsf ? 4096 * 8 / 2822400.0 : 0) + 0.001);
            EXPECT_EQ(tag(j, "title"), kTitle);
            EXPECT_EQ(tag(j, "artist"), kArtist);
            if (dsf) {
                expect_id3_tags(j);
            } else {
                EXPECT_EQ(tag(j, "general_remark"), kAlbum);  // the COMT chunk
                expect_id3_tags(probe_id3_chunk(dir, dir.file(name)));
            }
        }

        const auto dsf = decode(dir.file("t.dsf"), dir.file("dsf.raw"));
        const auto dff = decode(dir.file("t.dff"), dir.file("dff.raw"));
        const std::size_t expected = c.frames * kFrameBytesPerChannel * c.channels;
        ASSERT_GE(dsf.size(), expected);  // the DSF's zero block padding may decode as extra samples
        ASSERT_EQ(dff.size(), expected);
        // FFmpeg primes each channel's filter history with a silence byte taken in the file's own
        // bit order, so the first outputs of LSB-first and MSB-first input differ; past that
        // history the two decodes must agree exactly.
        const std::size_t settle = 64 * c.channels;
        EXPECT_EQ(std::memcmp(dsf.data() + settle, dff.data() + settle, (expected - settle) * sizeof(float)), 0);

        // Each channel holds its own tone and not its neighbours'.
        for (int ch = 0; ch < c.channels; ++ch) {
            const double own = tone_level(dsf, c.channels, ch, 1000.0 * (ch + 1), 352800);
            EXPECT_GT(own, 0.2) << "channel " << ch;
            for (int other = 0; other < c.channels; ++other)
                if (other != ch) {
                    EXPECT_LT(tone_level(dsf, c.channels, ch, 1000.0 * (other + 1), 352800), own / 20);
                }
        }
    }
}

TEST(FfmpegJudge, ReadsDstDsdiffStructure) {
    if (!have_ffmpeg()) GTEST_SKIP() << "ffmpeg/ffprobe not installed";
    testsupport::TempDir dir;
    // Arbitrary bytes: only the container is judged here, not the DST coding.
    std::vector<Bytes> frames;
    std::vector<std::uint32_t> lengths;
    for (std::uint32_t i = 0; i < 150; ++i) {
        Bytes f(100 + i * 3 % 41);
        for (std::size_t k = 0; k < f.size(); ++k) f[k] = static_cast<std::uint8_t>(i * 13 + k);
        lengths.push_back(static_cast<std::uint32_t>(f.size()));
        frames.push_back(std::move(f));
    }
    TrackMeta meta = tagged(6);
    ASSERT_TRUE(write_file(dir.file("t.dff"), [&](BufferedWriter& out) {
                    return write_dff_dst(out, meta, lengths, bytes_from(frames));
                }).ok());

    const auto j = probe(dir.file("t.dff"));
    ASSERT_FALSE(j.is_discarded());
    const auto& st = j["streams"][0];
    EXPECT_EQ(st["codec_name"].get<std::string>(), "dst");
    EXPECT_EQ(st["channels"].get<int>(), 6);
    EXPECT_EQ(st["sample_rate"].get<std::string>(), "352800");
    EXPECT_NEAR(std::stod(j["format"]["duration"].get<std::string>()), 2.0, 0.002);
    EXPECT_EQ(tag(j, "title"), kTitle);
    expect_id3_tags(probe_id3_chunk(dir, dir.file("t.dff")));

    // FFmpeg's demuxer hands out every DSTF chunk's content as one packet: the frames come back exactly.
    auto r = testsupport::run_process(ffmpeg(), {"-v", "error", "-i", dir.file("t.dff"), "-map", "0:a", "-c", "copy",
                                                 "-f", "data", dir.file("frames.bin")});
    ASSERT_EQ(r.status, 0) << r.err;
    Bytes all;
    for (const auto& f : frames) all.insert(all.end(), f.begin(), f.end());
    EXPECT_TRUE(same_bytes(read_file(dir.file("frames.bin")), all));
}
