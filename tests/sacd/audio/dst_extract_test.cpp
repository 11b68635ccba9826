// Extraction of DST-coded areas to DSF and unpacked DSDIFF on synthetic images: the files hold
// exactly the audio the frames were coded from, whatever the worker count and chunk size, and a
// malformed frame fails its track without leaving a file behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "i18n/i18n.h"
#include "platform/file.h"
#include "sacd/audio/extract.h"
#include "sacd/disc.h"
#include "tests/support/audio_files.h"
#include "tests/support/dst_test_encoder.h"
#include "tests/support/process.h"
#include "tools/image_builder/image_builder.h"

using namespace image_builder;
using namespace sacd::audio;
using namespace testsupport;
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kFrameBytes = 4704;

// A DST area of `channels` channels with tracks of the given lengths and no pauses.
AreaSpec dst_area(std::uint8_t channels, std::vector<std::uint32_t> track_frames) {
    AreaSpec area;
    area.multichannel = channels != 2;
    area.channel_count = channels;
    area.frame_format = 0;
    for (std::uint32_t frames : track_frames) {
        TrackSpec t;
        t.frames = frames;
        area.tracks.push_back(t);
    }
    return area;
}

// Which track and frame within it area frame `frame` is (areas without pauses).
std::pair<std::size_t, std::uint32_t> locate(const AreaSpec& area, std::uint32_t frame) {
    std::size_t t = 0;
    while (frame >= area.tracks[t].frames) frame -= area.tracks[t++].frames;
    return {t, frame};
}

// Gives area `a` DST-coded frames of the audio the builder synthesises for it; `change` may
// replace any frame's bytes (to make it malformed).
using FrameChange = std::function<Bytes(std::uint32_t frame, Bytes coded)>;
void code_frames(ImageSpec& spec, std::size_t a, bool coded, FrameChange change = {}) {
    const ImageSpec plain = spec;
    auto cache = std::make_shared<std::map<std::uint32_t, Bytes>>();
    auto tracks = std::make_shared<std::map<std::size_t, std::vector<Bytes>>>();
    spec.areas[a].dst_frame = [plain, a, coded, change, cache, tracks](std::uint32_t frame) -> Bytes {
        if (auto hit = cache->find(frame); hit != cache->end()) return hit->second;
        const auto [t, k] = locate(plain.areas[a], frame);
        if (!tracks->count(t)) (*tracks)[t] = track_dsd(plain, a, t);
        const std::vector<Bytes>& track = (*tracks)[t];
        dst_test::Planar samples;
        for (const Bytes& channel : track)
            samples.emplace_back(channel.begin() + static_cast<std::ptrdiff_t>(k * kFrameBytes),
                                 channel.begin() + static_cast<std::ptrdiff_t>((k + 1) * kFrameBytes));
        Bytes bytes = coded ? dst_test::encode_frame(dst_test::design_spec(samples, 16, false), samples)
                            : dst_test::plain_frame(samples);
        if (change) bytes = change(frame, std::move(bytes));
        return cache->emplace(frame, std::move(bytes)).first->second;
    };
}

struct Extraction {
    platform::Result<AreaResult, std::string> result;
    fs::path folder;
};

// Builds the image and extracts area `area` in `format` into `out`.
Extraction extract(const ImageSpec& spec, const fs::path& image, std::size_t area, OutputFormat format,
                   const fs::path& out, std::function<bool()> cancelled = {}) {
    if (!fs::exists(image)) {
        auto built = build_image(spec, image.string());
        EXPECT_TRUE(built.ok()) << (built.ok() ? "" : built.error());
    }
    auto disc = sacd::import_iso(image.string());
    EXPECT_TRUE(disc.ok());
    auto file = platform::File::open_read(image);
    EXPECT_TRUE(file.ok());
    sacd::ByteSource source = sacd::ByteSource::file(std::move(file).value(), fs::file_size(image));
    ExtractOptions options;
    options.output_folder = out;
    options.format = format;
    const ExtractTags tags;
    const platform::Path album = album_folder(options, tags, image.string());
    ExtractObserver observer;
    observer.cancelled = std::move(cancelled);
    auto result = extract_area(source, *disc, area, options, tags, album, observer);
    const fs::path folder = result.ok() ? result->area_folder : fs::path();
    return Extraction{std::move(result), folder};
}

// Checks every track file of an area against the audio the builder made for it.
void expect_exact_audio(const ImageSpec& spec, std::size_t area, OutputFormat format, const fs::path& folder) {
    const std::string ext = format == OutputFormat::Dsf ? ".dsf" : ".dff";
    for (std::size_t t = 0; t < spec.areas[area].tracks.size(); ++t) {
        SCOPED_TRACE("track " + std::to_string(t + 1));
        const fs::path file = folder / ("0" + std::to_string(t + 1) + " - Track" + ext);
        const std::vector<Bytes> planar = track_dsd(spec, area, t);
        ASSERT_EQ(planar.size(), spec.areas[area].channel_count);
        if (format == OutputFormat::Dsf) {
            const DsfFile dsf = read_dsf(file);
            EXPECT_EQ(dsf.channels, planar.size());
            EXPECT_TRUE(dsf.data == dsf_blocks(planar)) << "DSF sound data differs";
        } else {
            EXPECT_TRUE(dff_sound(file) == interleave(planar)) << "DSDIFF sound data differs";
        }
    }
}

}  // namespace

TEST(DstExtract, DecodedFilesHoldExactlyTheCodedAudio) {
    i18n::LANG = false;
    const ScopedEnv threads("SACD_DECODE_THREADS", "4");
    struct Case {
        const char* name;
        bool coded;
        std::vector<std::uint32_t> stereo, six;
    };
    // Coded frames are costly to make; uncoded ones give tracks that span several chunks.
    const Case cases[] = {
        {"coded", true, {5, 3}, {4}},
        {"uncoded", false, {3, 2}, {80}},
    };
    const ScopedEnv chunk("SACD_CHUNK_MIB", "1");  // 37 six-channel frames per chunk
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ImageSpec spec;
        spec.areas = {dst_area(2, c.stereo), dst_area(6, c.six)};
        code_frames(spec, 0, c.coded);
        code_frames(spec, 1, c.coded);
        const TempDir tmp;
        const fs::path dir = tmp.path();
        for (OutputFormat format : {OutputFormat::Dsf, OutputFormat::Dsdiff})
            for (std::size_t area : {0, 1}) {
                SCOPED_TRACE(std::string(format == OutputFormat::Dsf ? "dsf" : "dsdiff") + " area " +
                             std::to_string(area));
                const Extraction x = extract(spec, dir / "disc.iso", area, format, dir / "out");
                ASSERT_TRUE(x.result.ok()) << x.result.error();
                EXPECT_EQ(x.result->files, spec.areas[area].tracks.size());
                expect_exact_audio(spec, area, format, x.folder);
            }
    }
}

TEST(DstExtract, OneWorkerAndFourWriteTheSameBytes) {
    ImageSpec spec;
    spec.areas = {dst_area(2, {3}), dst_area(6, {90})};
    code_frames(spec, 0, false);
    code_frames(spec, 1, false);
    const TempDir tmp;
    const fs::path dir = tmp.path();
    const ScopedEnv chunk("SACD_CHUNK_MIB", "1");
    for (OutputFormat format : {OutputFormat::Dsf, OutputFormat::Dsdiff}) {
        std::vector<Bytes> files;
        for (const char* threads : {"1", "4"}) {
            const ScopedEnv env("SACD_DECODE_THREADS", threads);
            const fs::path out = dir / ("out" + std::string(threads));
            const Extraction x = extract(spec, dir / "disc.iso", 1, format, out);
            ASSERT_TRUE(x.result.ok()) << x.result.error();
            files.push_back(read_file(x.folder / (format == OutputFormat::Dsf ? "01 - Track.dsf" : "01 - Track.dff")));
        }
        EXPECT_GT(files[0].size(), 90 * 6 * kFrameBytes);
        EXPECT_TRUE(files[0] == files[1]) << "the files differ";
    }
}

TEST(DstExtract, MalformedFrameFailsItsTrackAndLeavesNoFile) {
    i18n::LANG = false;
    const ScopedEnv threads("SACD_DECODE_THREADS", "3");
    const std::string prefix = "track 2: write failed: container write I/O error: ";
    struct Case {
        const char* name;
        FrameChange change;  // applied to area frame 7, the third frame of track 2
        std::string message;
    };
    const Case cases[] = {
        {"reserved bit in an uncoded frame",
         [](std::uint32_t, Bytes b) {
             b[0] = 0x01;
             return b;
         },
         "decode: reserved field DST Processing_Mode 0 Reserved was not zero (refusing to guess)"},
        {"uncoded frame one byte short",
         [](std::uint32_t, Bytes b) {
             b.pop_back();
             return b;
         },
         "decode: raw-DSD frame is 9408 bytes, expected 9409 (1 + N_Channels * Frame_Length)"},
        {"coded frame cut inside its header",
         [](std::uint32_t, Bytes) { return Bytes{0x80, 0x00}; },
         "decode: bad DST frame header (refusing to guess): C decoder: truncated DST frame"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ImageSpec spec;
        spec.areas = {dst_area(2, {5, 6, 2})};
        code_frames(spec, 0, false, [&](std::uint32_t frame, Bytes b) { return frame == 7 ? c.change(frame, b) : b; });
        const TempDir tmp;
        const fs::path dir = tmp.path();
        for (OutputFormat format : {OutputFormat::Dsf, OutputFormat::Dsdiff}) {
            const fs::path out = dir / (format == OutputFormat::Dsf ? "dsf" : "dff");
            const Extraction x = extract(spec, dir / "disc.iso", 0, format, out);
            ASSERT_FALSE(x.result.ok());
            EXPECT_EQ(x.result.error(), prefix + c.message);
            const std::string ext = format == OutputFormat::Dsf ? "dsf" : "dff";
            const fs::path folder = out / "disc" / (format == OutputFormat::Dsf ? "Stereo [DSF]" : "Stereo [DFF-DSD]");
            // Track 1 is complete; track 2 left nothing, not even its ".partial" file.
            EXPECT_EQ(listing(folder), std::vector<std::string>{"01 - Track." + ext});
        }
    }
}

TEST(DstExtract, CancelledRunRemovesTheTrackItWasWriting) {
    i18n::LANG = false;
    ImageSpec spec;
    spec.areas = {dst_area(2, {40})};
    code_frames(spec, 0, false);
    const TempDir tmp;
    const fs::path dir = tmp.path();
    int checks = 0;
    const Extraction x =
        extract(spec, dir / "disc.iso", 0, OutputFormat::Dsf, dir / "out", [&] { return ++checks > 20; });
    ASSERT_FALSE(x.result.ok());
    EXPECT_EQ(x.result.error(), "track 1: write failed: container write I/O error: extract cancelled");
    EXPECT_TRUE(listing(dir / "out" / "disc" / "Stereo [DSF]").empty());
}
