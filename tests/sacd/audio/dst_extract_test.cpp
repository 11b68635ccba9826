// Extraction of DST-coded areas to DSF and unpacked DSDIFF on synthetic images: the files hold
// exactly the audio the frames were coded from, whatever the worker count and chunk size, and a
// malformed frame fails its track without leaving a file behind.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

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
#include "tests/support/dst_test_encoder.h"
#include "tools/image_builder/image_builder.h"

using namespace image_builder;
using namespace sacd::audio;
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kFrameBytes = 4704;

// A temporary folder, removed with everything in it.
struct TempDir {
    fs::path path;
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "velmora-dst-extract-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

// Sets an environment variable for the life of the object.
struct ScopedEnv {
    const char* name;
    ScopedEnv(const char* n, const std::string& value) : name(n) { ::setenv(n, value.c_str(), 1); }
    ~ScopedEnv() { ::unsetenv(name); }
};

Bytes read_file(const fs::path& path) {
    auto bytes = platform::read_whole_file(path);
    EXPECT_TRUE(bytes.ok()) << path;
    return bytes.ok() ? std::move(bytes).value() : Bytes();
}

std::uint64_t le(const Bytes& b, std::size_t at, int width) {
    std::uint64_t v = 0;
    for (int i = width - 1; i >= 0; --i) v = v << 8 | b.at(at + static_cast<std::size_t>(i));
    return v;
}
std::uint64_t be(const Bytes& b, std::size_t at, int width) {
    std::uint64_t v = 0;
    for (int i = 0; i < width; ++i) v = v << 8 | b.at(at + static_cast<std::size_t>(i));
    return v;
}

// The sound data of a DSF file: the "data" chunk after the 28-byte "DSD " and 52-byte "fmt " chunks.
Bytes dsf_sound(const Bytes& f) {
    if (f.size() < 92 || std::string(f.begin() + 80, f.begin() + 84) != "data") return {};
    const std::uint64_t size = le(f, 84, 8);
    return Bytes(f.begin() + 92, f.begin() + 92 + static_cast<std::ptrdiff_t>(size - 12));
}

// The sound data of an unpacked DSDIFF file: the "DSD " chunk inside the FRM8 form.
Bytes dff_sound(const Bytes& f) {
    for (std::size_t at = 16; at + 12 <= f.size();) {
        const std::string id(f.begin() + static_cast<std::ptrdiff_t>(at), f.begin() + static_cast<std::ptrdiff_t>(at + 4));
        const std::uint64_t size = be(f, at + 4, 8);
        if (id == "DSD ") return Bytes(f.begin() + static_cast<std::ptrdiff_t>(at + 12),
                                       f.begin() + static_cast<std::ptrdiff_t>(at + 12 + size));
        at += 12 + size + size % 2;
    }
    return {};
}

std::uint8_t reversed(std::uint8_t b) {
    std::uint8_t r = 0;
    for (int i = 0; i < 8; ++i) r = static_cast<std::uint8_t>(r | (((b >> i) & 1) << (7 - i)));
    return r;
}

// DSF sound data: 4096-byte blocks per channel in turn, least significant bit first, the last
// block of every channel filled up with zeros.
Bytes dsf_blocks(const std::vector<Bytes>& planar) {
    const std::size_t length = planar[0].size();
    Bytes out;
    for (std::size_t b = 0; b < (length + 4095) / 4096; ++b)
        for (const Bytes& channel : planar)
            for (std::size_t i = b * 4096; i < (b + 1) * 4096; ++i) out.push_back(i < length ? reversed(channel[i]) : 0);
    return out;
}

Bytes interleave(const std::vector<Bytes>& planar) {
    Bytes out(planar[0].size() * planar.size());
    for (std::size_t i = 0; i < planar[0].size(); ++i)
        for (std::size_t c = 0; c < planar.size(); ++c) out[i * planar.size() + c] = planar[c][i];
    return out;
}

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

// The files of a folder, sorted.
std::vector<std::string> listing(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Checks every track file of an area against the audio the builder made for it.
void expect_exact_audio(const ImageSpec& spec, std::size_t area, OutputFormat format, const fs::path& folder) {
    const std::string ext = format == OutputFormat::Dsf ? ".dsf" : ".dff";
    for (std::size_t t = 0; t < spec.areas[area].tracks.size(); ++t) {
        SCOPED_TRACE("track " + std::to_string(t + 1));
        const Bytes file = read_file(folder / ("0" + std::to_string(t + 1) + " - Track" + ext));
        const std::vector<Bytes> planar = track_dsd(spec, area, t);
        ASSERT_EQ(planar.size(), spec.areas[area].channel_count);
        if (format == OutputFormat::Dsf) {
            EXPECT_EQ(le(file, 28 + 24, 4), planar.size());  // fmt: channel count
            EXPECT_TRUE(dsf_sound(file) == dsf_blocks(planar)) << "DSF sound data differs";
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
        const TempDir dir;
        for (OutputFormat format : {OutputFormat::Dsf, OutputFormat::Dsdiff})
            for (std::size_t area : {0, 1}) {
                SCOPED_TRACE(std::string(format == OutputFormat::Dsf ? "dsf" : "dsdiff") + " area " +
                             std::to_string(area));
                const Extraction x = extract(spec, dir.path / "disc.iso", area, format, dir.path / "out");
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
    const TempDir dir;
    const ScopedEnv chunk("SACD_CHUNK_MIB", "1");
    for (OutputFormat format : {OutputFormat::Dsf, OutputFormat::Dsdiff}) {
        std::vector<Bytes> files;
        for (const char* threads : {"1", "4"}) {
            const ScopedEnv env("SACD_DECODE_THREADS", threads);
            const fs::path out = dir.path / ("out" + std::string(threads));
            const Extraction x = extract(spec, dir.path / "disc.iso", 1, format, out);
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
        const TempDir dir;
        for (OutputFormat format : {OutputFormat::Dsf, OutputFormat::Dsdiff}) {
            const fs::path out = dir.path / (format == OutputFormat::Dsf ? "dsf" : "dff");
            const Extraction x = extract(spec, dir.path / "disc.iso", 0, format, out);
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
    const TempDir dir;
    int checks = 0;
    const Extraction x =
        extract(spec, dir.path / "disc.iso", 0, OutputFormat::Dsf, dir.path / "out", [&] { return ++checks > 20; });
    ASSERT_FALSE(x.result.ok());
    EXPECT_EQ(x.result.error(), "track 1: write failed: container write I/O error: extract cancelled");
    EXPECT_TRUE(listing(dir.path / "out" / "disc" / "Stereo [DSF]").empty());
}
