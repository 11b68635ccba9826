// The extract command through the real binary on synthetic images: command-line errors, the
// files it writes (read back from the DSF and DSDIFF layouts and judged by FFmpeg), its
// progress and summary lines, and what it leaves behind when it fails.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "cli/usage.h"
#include "i18n/i18n.h"
#include "tests/support/audio_files.h"
#include "tests/support/dst_test_encoder.h"
#include "tests/support/ffmpeg_judge.h"
#include "tests/support/process.h"
#include "tools/image_builder/image_builder.h"

using namespace image_builder;
using namespace testsupport;
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kFrameBytes = 4704;
const std::string kAlbumFolder = "The Velmora Quartet - Harbour Lights (2024)";

// Every file and folder under `root`, relative, sorted.
std::vector<std::string> tree(const std::string& root) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::recursive_directory_iterator(root, ec)) names.push_back(fs::relative(e.path(), root).string());
    std::sort(names.begin(), names.end());
    return names;
}

// The DST frames of a DSDIFF DST file, after checking its frame count.
std::vector<Bytes> dff_dst_frames(const std::string& path) {
    const Bytes f = read_file(path);
    const auto cs = dff_chunks(f);
    const Chunk* dst = find_chunk(cs, "DST ");
    EXPECT_NE(dst, nullptr) << path;
    if (!dst) return {};
    const auto inner = chunks(f, dst->body, dst->body + dst->size);
    std::vector<Bytes> frames;
    EXPECT_FALSE(inner.empty());
    if (inner.empty()) return frames;
    EXPECT_EQ(inner[0].id, "FRTE");
    for (std::size_t i = 1; i < inner.size(); ++i) {
        EXPECT_EQ(inner[i].id, "DSTF");
        frames.push_back(chunk_body(f, inner[i]));
    }
    EXPECT_EQ(be(f, inner[0].body, 4), frames.size());
    EXPECT_EQ(be(f, inner[0].body + 4, 2), 75u);
    return frames;
}

// ---- images -------------------------------------------------------------------------------

struct Image {
    testsupport::TempDir dir;
    ImageSpec spec;
    std::string path;
    std::string out;
    BuiltImage built;

    explicit Image(ImageSpec s) : spec(std::move(s)), path(dir.file("disc.iso")), out(dir.file("out")) {
        auto b = build_image(spec, path);
        EXPECT_TRUE(b.ok()) << (b.ok() ? "" : b.error());
        if (b.ok()) built = *b;
    }
    std::string album() const { return out + "/" + kAlbumFolder; }
    testsupport::ProcessResult extract(std::vector<std::string> args,
                                       const std::map<std::string, std::string>& env = {}) const {
        args.insert(args.begin(), {"extract", path, "-o", out});
        return run_cli(args, env);
    }
};

// Three short stereo plain-DSD tracks; the third has no texts. Small packets and padding
// packets spread each frame over several pieces.
ImageSpec plain_spec(std::size_t tracks = 3, std::uint32_t frames = 10) {
    ImageSpec spec = sample_spec(tracks, frames);
    AreaSpec& area = spec.areas[0];
    area.packer.max_packet = 1500;
    area.packer.padding_every = 3;
    if (tracks >= 3) area.tracks[2].texts.assign(1, {});
    return spec;
}

// Plain-DSD stereo tracks repeating every frame: cheap when the sound does not matter.
ImageSpec cheap_spec(std::size_t tracks, std::uint32_t frames) {
    ImageSpec spec = sample_spec(tracks, frames);
    spec.areas[0].audio_period_frames = 1;
    return spec;
}

// The area frame number of frame k of track t (pauses count).
std::uint32_t area_frame(const AreaSpec& area, std::size_t t, std::uint32_t k) {
    std::uint32_t n = 0;
    for (std::size_t i = 0; i < t; ++i) n += area.tracks[i].pause_frames + area.tracks[i].frames;
    return n + area.tracks[t].pause_frames + k;
}

// Gives a DST area real DST-coded frames of the synthesised audio (pauses: plain frames of
// zeros). FFmpeg 5.1 does not read plain frames inside a DST stream the way the format lays
// them out, so only coded frames let it judge the copied stream.
void code_dst_frames(ImageSpec& spec, std::size_t a) {
    const ImageSpec plain = spec;
    auto cache = std::make_shared<std::map<std::uint32_t, Bytes>>();
    spec.areas[a].dst_frame = [plain, a, cache](std::uint32_t frame) -> Bytes {
        if (auto hit = cache->find(frame); hit != cache->end()) return hit->second;
        const AreaSpec& area = plain.areas[a];
        dst_test::Planar samples(area.channel_count, Bytes(kFrameBytes, 0));
        bool in_track = false;
        for (std::size_t t = 0; t < area.tracks.size() && !in_track; ++t) {
            const std::uint32_t first = area_frame(area, t, 0);
            if (frame < first || frame >= first + area.tracks[t].frames) continue;
            const std::vector<Bytes> planar = track_dsd(plain, a, t);
            for (std::size_t c = 0; c < planar.size(); ++c)
                std::copy_n(planar[c].begin() + static_cast<std::ptrdiff_t>((frame - first) * kFrameBytes), kFrameBytes,
                            samples[c].begin());
            in_track = true;
        }
        Bytes coded = in_track ? dst_test::encode_frame(dst_test::design_spec(samples, 16, false), samples)
                               : dst_test::plain_frame(samples);
        return cache->emplace(frame, std::move(coded)).first->second;
    };
}

// A DST-coded stereo area of two tracks and a DST-coded 6-channel area of one track.
ImageSpec dst_spec() {
    ImageSpec spec = sample_spec(2, 8);
    spec.areas[0].frame_format = 0;
    AreaSpec mch = spec.areas[0];
    mch.multichannel = true;
    mch.channel_count = 6;
    mch.tracks.pop_back();
    mch.tracks[0].frames = 6;
    spec.areas.push_back(mch);
    code_dst_frames(spec, 0);
    code_dst_frames(spec, 1);
    return spec;
}

std::string english_usage() {
    i18n::LANG = false;
    return cli::usage();
}

}  // namespace

TEST(ExtractCli, CommandLineErrors) {
    // Stereo plain DSD with 3 tracks, multichannel DST with 1 track.
    ImageSpec spec = dst_spec();
    spec.areas[0] = cheap_spec(3, 2).areas[0];
    spec.areas[1].audio_period_frames = 1;
    spec.areas[1].tracks[0].frames = 2;
    const Image image(spec);
    const std::string& iso = image.path;
    struct Case {
        std::vector<std::string> args;
        std::string err;
        bool usage = false;
    };
    const std::vector<std::string> ok = {"--format", "dsf", "--area", "stereo", "-o", image.out};
    auto with = [&](std::vector<std::string> extra) {
        std::vector<std::string> a = {iso};
        a.insert(a.end(), ok.begin(), ok.end());
        a.insert(a.end(), extra.begin(), extra.end());
        return a;
    };
    const Case cases[] = {
        {{iso, "--format", "dsf", "--area", "stereo", "--output"}, "extract: key -o requires a value\n"},
        {{iso, "--format", "dsf", "--area", "stereo", "-o"}, "extract: key -o requires a value\n"},
        {{iso, "--format", "dsf", "--area", "stereo", "--output", "-x"}, "extract: key -o requires a value\n"},
        {with({"--track", "-3"}), "extract: key --track requires a value\n"},
        {with({"--album-name"}), "extract: key --album-name requires a value\n"},
        {{iso, "--format", "dsf", "-o", image.out, "--area"}, "extract: key --area requires a value\n"},
        {{iso, "--format"}, "extract: key --format requires a value\n"},
        {with({"--compression"}), "extract: key --compression requires a value\n"},
        {with({"--format", "DSF"}), "extract: unknown format: DSF\n"},
        {with({"--format", ""}), "extract: unknown format: \n"},
        {with({"--compression", "Max"}), "extract: --compression must be max, high, fast or turbo (got: Max)\n"},
        {with({"--bogus"}), "extract: unknown flag: --bogus\n"},
        {with({"-"}), "extract: unknown flag: -\n"},
        {with({"second.iso"}), "extract: extra argument: second.iso\n"},
        {{"--format", "dsf", "--area", "stereo", "-o", image.out}, "extract: specify the path to the .iso image\n\n", true},
        {{}, "extract: specify the path to the .iso image\n\n", true},
        {{iso, "--area", "stereo", "-o", image.out},
         "extract: specify --format <dsf|dsdiff|dsdiff-dst|edit-master|edit-master-dst>\n\n", true},
        {{iso, "--format", "dsf", "-o", image.out}, "extract: specify --area <stereo|mch|all>\n\n", true},
        {{iso, "--format", "dsf", "--area", "stereo"}, "extract: specify -o <dir>\n\n", true},
        // The area value is checked after every required option is present.
        {{iso, "--format", "dsf", "--area", "both"}, "extract: specify -o <dir>\n\n", true},
        {{iso, "--format", "dsf", "--area", "Stereo", "-o", image.out},
         "extract: --area must be stereo, mch or all (got: Stereo)\n"},
        {with({"--track", "3", "--format", "edit-master"}),
         "extract: --track is not valid for the edit-master / edit-master-dst format (it is one file per area)\n"},
        {with({"--format", "edit-master-dst", "--track", "1"}),
         "extract: --track is not valid for the edit-master / edit-master-dst format (it is one file per area)\n"},
        // The selection grammar, against the area's track count.
        {with({"--track", "5-3"}), "extract: incorrect track range: \"5-3\"\n"},
        {with({"--track", "4"}), "extract: track 4 out of range (tracks in area: 3)\n"},
        {with({"--track", "1,,2"}), "extract: empty item in track selection: \"1,,2\"\n"},
        {with({"--track", "x"}), "extract: incorrect track number: \"x\"\n"},
        // With both areas, every area's track count is checked before anything is written:
        // track 2 exists in the stereo area but not in the multichannel one.
        {{iso, "--format", "dsdiff-dst", "--area", "all", "-o", image.out, "--track", "2"},
         "extract: track 2 out of range (tracks in area: 1)\n"},
    };
    const std::string usage = english_usage();
    for (const Case& c : cases) {
        std::string joined;
        for (const auto& a : c.args) joined += "[" + a + "] ";
        SCOPED_TRACE(joined);
        auto r = run_cli([&] {
            std::vector<std::string> a = {"extract"};
            a.insert(a.end(), c.args.begin(), c.args.end());
            return a;
        }());
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, c.usage ? usage : "");
        EXPECT_FALSE(fs::exists(image.out));
    }

    // Accepted spellings: --compression with every mode and format, a later option replacing an
    // earlier one, an empty album name, "3-3" and "+2" as selections, --with-artist.
    struct Good {
        std::vector<std::string> extra;
        std::vector<std::string> files;
    };
    const Good good[] = {
        {{"--compression", "turbo", "--track", "3-3"}, {"03 - North Pier.dsf"}},
        {{"--compression", "fast", "--track", "+2", "--with-artist"}, {"02 - Lantern Row.dsf"}},
        {{"--track", "9", "--track", "1", "--compression", "high", "--compression", "max"}, {"01 - Tide Chart.dsf"}},
    };
    for (const Good& g : good) {
        auto r = image.extract([&] {
            std::vector<std::string> a = {"--format", "dsf", "--area", "stereo"};
            a.insert(a.end(), g.extra.begin(), g.extra.end());
            return a;
        }());
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(listing(image.album() + "/Stereo [DSF]"), g.files);
        fs::remove_all(image.out);
    }
    auto named = image.extract({"--format", "dsf", "--area", "stereo", "--album-name", "", "--track", "1"});
    EXPECT_EQ(named.status, 0) << named.err;
    EXPECT_EQ(listing(image.out), std::vector<std::string>{kAlbumFolder});
}

TEST(ExtractCli, PlainDsdAreaToDsfAndDsdiffBitForBit) {
    const Image image(plain_spec());
    struct Case {
        const char* format;
        const char* folder;
        const char* extension;
    };
    for (const Case c : {Case{"dsf", "Stereo [DSF]", "dsf"}, Case{"dsdiff", "Stereo [DFF-DSD]", "dff"}}) {
        SCOPED_TRACE(c.format);
        auto r = image.extract({"--format", c.format, "--area", "stereo"});
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string folder = image.album() + "/" + c.folder;
        EXPECT_EQ(r.err, "  track 1 of 3 ...\n  track 2 of 3 ...\n  track 3 of 3 ...\n");
        EXPECT_TRUE(std::regex_match(r.out, std::regex("Extracted: 3 file\\(s\\) -> " +
                                                       std::regex_replace(folder, std::regex(R"([()\[\]])"), R"(\$&)") +
                                                       "\nDone: 3 file\\(s\\) total in 00:0\\d\\.\n")))
            << r.out;
        const std::string ext = c.extension;
        const std::vector<std::string> names = {"01 - Tide Chart." + ext, "02 - Lantern Row." + ext, "03 - Track." + ext};
        ASSERT_EQ(listing(folder), names);
        for (std::size_t t = 0; t < 3; ++t) {
            SCOPED_TRACE(names[t]);
            const std::vector<Bytes> planar = track_dsd(image.spec, 0, t);
            ASSERT_EQ(planar[0].size(), 10 * kFrameBytes);
            if (ext == "dsf") {
                const DsfFile dsf = read_dsf(folder + "/" + names[t]);
                EXPECT_EQ(dsf.channel_type, 2u);
                EXPECT_EQ(dsf.channels, 2u);
                EXPECT_EQ(dsf.rate, 2822400u);
                EXPECT_EQ(dsf.bits, 1u);
                EXPECT_EQ(dsf.block, 4096u);
                EXPECT_EQ(dsf.samples, 10u * 37632);
                EXPECT_NE(dsf.metadata, 0u);
                EXPECT_TRUE(dsf.data == dsf_blocks(planar)) << "DSF sound data differs";
            } else {
                EXPECT_TRUE(dff_sound(folder + "/" + names[t]) == interleave(planar)) << "DSDIFF sound data differs";
            }
        }
    }
}

namespace {

// PCM that FFmpeg decodes from a file compared with its PCM of the synthesised DSD: over the
// track's true length (a DSF may decode its zero block padding as extra samples), exactly,
// except that FFmpeg 5.1 primes its planar (DSF) decoder differently from the interleaved one,
// which changes the first dozen samples per channel.
void expect_same_pcm(const std::vector<float>& reference, const std::vector<float>& decoded, std::size_t channels,
                     std::size_t primed_samples) {
    const std::size_t true_length = reference.size();
    ASSERT_GE(decoded.size(), true_length) << "FFmpeg decoded fewer samples than the track has";
    std::size_t differing = 0, first = 0;
    for (std::size_t i = primed_samples * channels; i < true_length; ++i)
        if (decoded[i] != reference[i] && differing++ == 0) first = i;
    EXPECT_EQ(differing, 0u) << "first differing sample " << first / channels << " of channel " << first % channels;
    for (std::size_t i = 0; i < primed_samples * channels; ++i)
        EXPECT_NEAR(decoded[i], reference[i], 0.05) << i;
}

}  // namespace

TEST(ExtractCli, FfmpegReadsWhatPlainDsdExtractionWrites) {
    if (!have_ffmpeg()) GTEST_SKIP() << "ffmpeg/ffprobe not installed";
    const Image image(plain_spec());
    ASSERT_EQ(image.extract({"--format", "dsf", "--area", "stereo"}).status, 0);
    ASSERT_EQ(image.extract({"--format", "dsdiff", "--area", "stereo"}).status, 0);
    const std::string dsf_folder = image.album() + "/Stereo [DSF]/", dff_folder = image.album() + "/Stereo [DFF-DSD]/";
    const char* const names[] = {"01 - Tide Chart", "02 - Lantern Row", "03 - Track"};
    const char* const titles[] = {"Tide Chart", "Lantern Row", "<missing title>"};
    const double seconds = 10 / 75.0;
    for (std::size_t t = 0; t < 3; ++t) {
        SCOPED_TRACE(names[t]);
        const std::string dsf = dsf_folder + names[t] + ".dsf", dff = dff_folder + names[t] + ".dff";
        const auto pj = probe(dsf);
        const auto fj = probe(dff);
        for (const auto* j : {&pj, &fj}) {
            ASSERT_FALSE(j->is_discarded());
            ASSERT_EQ((*j)["streams"].size(), 1u);
            EXPECT_EQ((*j)["streams"][0]["channels"].get<int>(), 2);
            EXPECT_EQ((*j)["streams"][0]["sample_rate"].get<std::string>(), "352800");  // FFmpeg counts DSD bytes
            // FFmpeg estimates both durations from the file size, zero padding and tags included.
            const double duration = std::stod((*j)["format"]["duration"].get<std::string>());
            EXPECT_GE(duration, seconds - 0.001);
            EXPECT_LE(duration, seconds + 4096 * 8 / 2822400.0 + 0.002);
            EXPECT_EQ(tag(*j, "title"), titles[t]);
            // Track 3 has no performer: the album artist stands in.
            EXPECT_EQ(tag(*j, "artist"), "The Velmora Quartet");
        }
        EXPECT_EQ(pj["streams"][0]["codec_name"], "dsd_lsbf_planar");
        EXPECT_EQ(fj["streams"][0]["codec_name"], "dsd_msbf");
        EXPECT_EQ(tag(pj, "album"), "Harbour Lights");
        EXPECT_EQ(tag(pj, "album_artist"), "The Velmora Quartet");
        EXPECT_EQ(tag(pj, "track"), std::to_string(t + 1) + "/3");
        EXPECT_EQ(tag(pj, "tsrc"), image.spec.areas[0].tracks[t].isrc);
        EXPECT_EQ(tag(pj, "date"), "2024");
        EXPECT_EQ(tag(pj, "disc"), "1/1");
        EXPECT_EQ(tag(pj, "genre"), "Jazz");
        EXPECT_EQ(tag(pj, "catalognumber"), "VLM-0001");
        EXPECT_EQ(tag(pj, "performer"), t < 2 ? "The Velmora Quartet" : "<missing performer>");

        // The DSDIFF file carries the same ID3 tag as the DSF file.
        const Bytes dsf_bytes = read_file(dsf), dff_bytes = read_file(dff);
        const std::uint64_t tag_at = le(dsf_bytes, 20, 8);
        ASSERT_GT(tag_at, 0u);
        const auto cs = dff_chunks(dff_bytes);
        const Chunk* id3 = find_chunk(cs, "ID3 ");
        ASSERT_NE(id3, nullptr);
        EXPECT_TRUE(Bytes(dsf_bytes.begin() + static_cast<std::ptrdiff_t>(tag_at), dsf_bytes.end()) ==
                    chunk_body(dff_bytes, *id3));

        // The sound of one track: FFmpeg's PCM of both files against its PCM of the synthesised DSD.
        if (t != 1) continue;
        write_file(image.dir.file("ref.raw"), interleave(track_dsd(image.spec, 0, t)));
        const auto reference = decode(image.dir.file("ref.raw"), image.dir.file("ref.pcm"), 2);
        ASSERT_EQ(reference.size(), 2 * 10 * kFrameBytes);
        {
            SCOPED_TRACE("DSF");
            expect_same_pcm(reference, decode(dsf, image.dir.file("dsf.pcm")), 2, 32);
        }
        {
            SCOPED_TRACE("DSDIFF");
            const auto pcm = decode(dff, image.dir.file("dff.pcm"));
            EXPECT_EQ(pcm.size(), reference.size());
            expect_same_pcm(reference, pcm, 2, 0);
        }
    }
}

TEST(ExtractCli, DstAreasCopiedToDsdiffDstFrameForFrame) {
    const Image image(dst_spec());
    auto r = image.extract({"--format", "dsdiff-dst", "--area", "all"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "  track 1 of 2 ...\n  track 2 of 2 ...\n  track 1 of 1 ...\n");
    const std::string stereo = image.album() + "/Stereo [DFF-DST]", mch = image.album() + "/Multichannel [DFF-DST]";
    EXPECT_EQ(r.out.rfind("Extracted: 2 file(s) -> " + stereo + "\nExtracted: 1 file(s) -> " + mch +
                              "\nDone: 3 file(s) total in 00:0",
                          0),
              0u)
        << r.out;
    EXPECT_EQ(listing(stereo), (std::vector<std::string>{"01 - Tide Chart.dff", "02 - Lantern Row.dff"}));
    EXPECT_EQ(listing(mch), (std::vector<std::string>{"01 - Tide Chart.dff"}));

    struct Track {
        std::string path;
        std::size_t area, track, channels, frames;
    };
    const Track tracks[] = {{stereo + "/01 - Tide Chart.dff", 0, 0, 2, 8},
                            {stereo + "/02 - Lantern Row.dff", 0, 1, 2, 8},
                            {mch + "/01 - Tide Chart.dff", 1, 0, 6, 6}};
    for (const Track& t : tracks) {
        SCOPED_TRACE(t.path);
        const std::vector<Bytes> planar = track_dsd(image.spec, t.area, t.track);
        ASSERT_EQ(planar.size(), t.channels);
        const std::vector<Bytes> frames = dff_dst_frames(t.path);
        ASSERT_EQ(frames.size(), t.frames);
        const AreaSpec& area = image.spec.areas[t.area];
        for (std::uint32_t f = 0; f < t.frames; ++f)
            EXPECT_TRUE(frames[f] == area.dst_frame(area_frame(area, t.track, f))) << "frame " << f << " differs from the disc's";

        if (!have_ffmpeg()) continue;
        const auto j = probe(t.path);
        ASSERT_FALSE(j.is_discarded());
        EXPECT_EQ(j["streams"][0]["codec_name"], "dst");
        EXPECT_EQ(j["streams"][0]["channels"].get<std::size_t>(), t.channels);
        EXPECT_EQ(tag(j, "title"), t.track == 0 ? "Tide Chart" : "Lantern Row");
        if (t.track == 1) continue;  // one stereo and the multichannel track are decoded
        write_file(image.dir.file("ref.raw"), interleave(planar));
        const auto reference = decode(image.dir.file("ref.raw"), image.dir.file("ref.pcm"), static_cast<int>(t.channels));
        ASSERT_EQ(reference.size(), t.channels * t.frames * kFrameBytes);
        const auto pcm = decode(t.path, image.dir.file("dst.pcm"));
        EXPECT_EQ(pcm.size(), reference.size());
        expect_same_pcm(reference, pcm, t.channels, 0);
    }
}

TEST(ExtractCli, DstAreasDecodedToDsfAndDsdiffBitForBit) {
    const Image image(dst_spec());
    for (const char* threads : {"1", "3"}) {
        SCOPED_TRACE(std::string("SACD_DECODE_THREADS=") + threads);
        auto r = image.extract({"--format", "dsf", "--area", "all", "--overwrite"}, {{"SACD_DECODE_THREADS", threads}});
        ASSERT_EQ(r.status, 0) << r.err;
        auto d = image.extract({"--format", "dsdiff", "--area", "mch", "--overwrite"}, {{"SACD_DECODE_THREADS", threads}});
        ASSERT_EQ(d.status, 0) << d.err;

        const std::string stereo = image.album() + "/Stereo [DSF]", mch = image.album() + "/Multichannel [DSF]";
        for (std::size_t t = 0; t < 2; ++t) {
            const DsfFile f = read_dsf(stereo + (t == 0 ? "/01 - Tide Chart.dsf" : "/02 - Lantern Row.dsf"));
            EXPECT_TRUE(f.data == dsf_blocks(track_dsd(image.spec, 0, t))) << "stereo track " << t + 1;
        }
        const std::vector<Bytes> six = track_dsd(image.spec, 1, 0);
        EXPECT_TRUE(read_dsf(mch + "/01 - Tide Chart.dsf").data == dsf_blocks(six));
        EXPECT_TRUE(dff_sound(image.album() + "/Multichannel [DFF-DSD]/01 - Tide Chart.dff") == interleave(six));
    }
}

TEST(ExtractCli, WritersThisBuildLacksAreRefusedBeforeAnythingIsWritten) {
    // A plain-DSD stereo area and a DST-coded 6-channel area.
    ImageSpec spec = cheap_spec(2, 3);
    AreaSpec mch = spec.areas[0];
    mch.multichannel = true;
    mch.channel_count = 6;
    mch.frame_format = 0;
    spec.areas.push_back(mch);
    const Image image(spec);
    struct Case {
        const char* format;
        const char* area;
        const char* message;
    };
    const Case cases[] = {
        {"dsdiff-dst", "stereo",
         "compressing plain DSD to DST is not available in this build - use --format dsdiff for unpacked DSD"},
        // The DST area alone could be written, but nothing is written when another requested area fails.
        {"dsdiff-dst", "all",
         "compressing plain DSD to DST is not available in this build - use --format dsdiff for unpacked DSD"},
        {"edit-master", "stereo", "the edit-master formats are not available in this build"},
        {"edit-master-dst", "all", "the edit-master formats are not available in this build"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.format) + " " + c.area);
        auto r = image.extract({"--format", c.format, "--area", c.area});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "extract: " + std::string(c.message) + "\n");
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(fs::exists(image.out)) << "left behind: " << ::testing::PrintToString(tree(image.out));
    }
}

TEST(ExtractCli, ExistingFileStopsTheAreaUnlessOverwriting) {
    const Image image(cheap_spec(3, 2));
    const std::string folder = image.album() + "/Stereo [DFF-DSD]";
    fs::create_directories(folder);
    const std::string existing = folder + "/02 - Lantern Row.dff";
    write_file(existing, Bytes{'m', 'i', 'n', 'e'});

    auto r = image.extract({"--format", "dsdiff", "--area", "stereo"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "extract: file already exists: " + existing + "\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(listing(folder), std::vector<std::string>{"02 - Lantern Row.dff"});
    EXPECT_EQ(read_file(existing), (Bytes{'m', 'i', 'n', 'e'}));

    // A selection that leaves the existing file alone goes ahead.
    r = image.extract({"--format", "dsdiff", "--area", "stereo", "--track", "1,3"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "  track 1 of 2 ...\n  (track 3) 2 of 2 ...\n");
    EXPECT_EQ(read_file(existing), (Bytes{'m', 'i', 'n', 'e'}));

    r = image.extract({"--format", "dsdiff", "--area", "stereo", "--overwrite"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(listing(folder),
              (std::vector<std::string>{"01 - Tide Chart.dff", "02 - Lantern Row.dff", "03 - North Pier.dff"}));
    EXPECT_TRUE(dff_sound(existing) == interleave(track_dsd(image.spec, 0, 1)));
}

TEST(ExtractCli, FailingTrackLeavesNoPartialFileAndKeepsEarlierTracks) {
    Image image(cheap_spec(3, 3));
    // Damage a frame of track 2: a continuation packet in its second sector becomes
    // supplementary data, so the frame it belongs to comes out short.
    Bytes iso = read_file(image.path);
    const std::size_t at = std::size_t{image.built.areas[0].track_lsns[1] + 1} * 2048;
    const int packets = iso[at] >> 5;
    std::size_t short_by = 0;
    for (int p = 0; p < packets && !short_by; ++p) {
        std::uint8_t* info = &iso[at + 1 + 2 * static_cast<std::size_t>(p)];
        const unsigned v = info[0] << 8 | info[1];
        if ((v & 0x8000) == 0 && ((v >> 11) & 7) == 2) {
            info[0] = static_cast<std::uint8_t>((info[0] & ~0x38) | (3 << 3));
            short_by = v & 0x7FF;
        }
    }
    ASSERT_GT(short_by, 0u) << "no continuation packet in that sector";
    write_file(image.path, iso);

    auto r = image.extract({"--format", "dsf", "--area", "stereo"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "  track 1 of 3 ...\n  track 2 of 3 ...\nextract: track 2: write failed: container write I/O "
                     "error: plain DSD frame: FrameLenMismatch { need: 9408, have: " +
                         std::to_string(9408 - short_by) + " }\n");
    EXPECT_EQ(r.out, "");
    const std::string folder = image.album() + "/Stereo [DSF]";
    EXPECT_EQ(listing(folder), std::vector<std::string>{"01 - Tide Chart.dsf"});
    EXPECT_TRUE(read_dsf(folder + "/01 - Tide Chart.dsf").data == dsf_blocks(track_dsd(image.spec, 0, 0)));

    // The same in Russian.
    fs::remove_all(image.out);
    r = image.extract({"--format", "dsdiff", "--area", "stereo", "--lang", "ru"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("  трек 1 из 3 ...\n  трек 2 из 3 ...\nextract: трек 2: ошибка записи: ", 0), 0u) << r.err;
    EXPECT_EQ(listing(image.album() + "/Stereo [DFF-DSD]"), std::vector<std::string>{"01 - Tide Chart.dff"});
}

TEST(ExtractCli, OneTrackOfTenStopsTheScanAtItsEnd) {
    // Ten tracks of 4 frames, 15-frame pauses from track 2 on: track 3 ends at frame
    // 4 + 15 + 4 + 15 + 4 = 42.
    const Image image(cheap_spec(10, 4));
    auto r = image.extract({"--format", "dsf", "--area", "stereo", "--track", "3"}, {{"SACD_EXTRACT_TIMINGS", ""}});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::regex expected(
        "\\[extract-timings\\] area demux: \\d+\\.\\d\\ds \\(io \\d+\\.\\d\\ds / parse \\d+\\.\\d\\ds; 42 frames, (\\d+) "
        "sectors\\)\n"
        "\\[extract-timings\\] segment: \\d+\\.\\d\\ds\n"
        "  \\(track 3\\) 1 of 1 \\.\\.\\.\n");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(r.err, m, expected)) << r.err;
    const BuiltArea& area = image.built.areas[0];
    // The scan ended in the sector where frame 42 (track 4's pre-gap) starts.
    EXPECT_LT(std::stoul(m[1].str()), area.audio_end - area.audio_start + 1);
    EXPECT_GE(std::stoul(m[1].str()), area.track_lsns[2] - area.audio_start + 1);
    const std::string folder = image.album() + "/Stereo [DSF]";
    EXPECT_EQ(listing(folder), std::vector<std::string>{"03 - North Pier.dsf"});
    EXPECT_TRUE(read_dsf(folder + "/03 - North Pier.dsf").data == dsf_blocks(track_dsd(image.spec, 0, 2)));

    // Without the switch, no timing lines; the whole area is scanned for the last track.
    r = image.extract({"--format", "dsf", "--area", "stereo", "--track", "10", "--overwrite"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "  (track 10) 1 of 1 ...\n");
    EXPECT_TRUE(read_dsf(folder + "/10 - Low Water.dsf").data == dsf_blocks(track_dsd(image.spec, 0, 9)));
}

TEST(ExtractCli, ImageAndAreaFailures) {
    testsupport::TempDir dir;
    const std::string out = dir.file("out");
    write_file(dir.file("notes.iso"), Bytes(600 * 2048, 0x20));

    ImageSpec reserved = cheap_spec(2, 2);
    reserved.defects.audio_reserved_bit = true;
    const Image reserved_image(reserved);
    ImageSpec overlap = cheap_spec(2, 2);
    overlap.defects.overlapping_windows = true;
    overlap.areas[0].tracks[1].pause_frames = 0;
    const Image overlap_image(overlap);
    const Image stereo_only(cheap_spec(1, 2));

    struct Case {
        std::string image;
        std::vector<std::string> extra;
        std::string err_prefix;  // the whole line when it ends with "\n"
    };
    const Case cases[] = {
        {dir.file("missing.iso"), {}, "extract: could not read the image: "},
        {dir.file("notes.iso"), {}, "extract: file not recognised as a SACD image\n"},
        {stereo_only.path, {"--area", "mch"}, "extract: the disc has no requested area (mch)\n"},
        {reserved_image.path, {},
         "extract: demultiplexing failed: reserved field Audio_Header.Reserved was not zero (refusing to guess)\n"},
        {overlap_image.path, {},
         "extract: segmentation failed: cannot demux audio area (refusing to guess): track time windows overlap\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.err_prefix);
        std::vector<std::string> args = {"extract", c.image, "-o", out, "--format", "dsf"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        if (c.extra.empty()) args.insert(args.end(), {"--area", "stereo"});
        auto r = run_cli(args);
        EXPECT_EQ(r.status, 1);
        if (c.err_prefix.back() == '\n')
            EXPECT_EQ(r.err, c.err_prefix);
        else
            EXPECT_EQ(r.err.rfind(c.err_prefix, 0), 0u) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(fs::exists(out)) << "left behind: " << ::testing::PrintToString(tree(out));
    }
}

TEST(ExtractCli, WithoutTextsNamesComeFromTheImageAndTrackNumbers) {
    ImageSpec spec = cheap_spec(2, 2);
    spec.master_texts.clear();
    for (TrackSpec& t : spec.areas[0].tracks) t.texts.clear();
    const Image image(spec);
    auto r = image.extract({"--format", "dsf", "--area", "stereo"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string folder = image.out + "/disc/Stereo [DSF]";
    ASSERT_EQ(listing(folder), (std::vector<std::string>{"01 - Track.dsf", "02 - Track.dsf"}));
    EXPECT_TRUE(read_dsf(folder + "/02 - Track.dsf").data == dsf_blocks(track_dsd(image.spec, 0, 1)));

    // A given album name wins, sanitised.
    r = image.extract({"--format", "dsf", "--area", "stereo", "--album-name", "Live: 1999?", "--track", "1"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(listing(image.out + "/Live_ 1999_/Stereo [DSF]"), std::vector<std::string>{"01 - Track.dsf"});
}

TEST(ExtractCli, NineDeclaredTextChannelsWarnAndGoOn) {
    ImageSpec spec = cheap_spec(1, 2);
    spec.declared_text_channels = 9;
    const Image image(spec);
    auto r = image.extract({"--format", "dsdiff", "--area", "stereo"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "Warning: the disc declares 9 text channels, the spec allows at most 8.\n  track 1 of 1 ...\n");
    EXPECT_EQ(tree(image.out).size(), 3u) << ::testing::PrintToString(tree(image.out));
}
