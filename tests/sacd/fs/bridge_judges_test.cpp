// Independent programs judge the builder's bridges and the transform's output: pycdlib (ISO 9660
// and UDF views), 7-Zip (both), isoinfo and xorriso (ISO 9660) must list the same files with the
// same sizes as our own readers, and extract exactly the bytes of the sectors each file covers; an
// ECMA-167 checker written for the tests verifies every UDF tag.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "platform/file.h"
#include "sacd/disc.h"
#include "sacd/fs/iso9660.h"
#include "sacd/fs/output_check.h"
#include "sacd/fs/transform.h"
#include "sacd/fs/udf.h"
#include "tests/sacd/fs/bridge_fixtures.h"
#include "tests/support/process.h"
#include "tests/support/same_bytes.h"

namespace {

using namespace bridgetest;
using sacd::ByteSource;
using testsupport::run_process;
using Files = std::map<std::string, Bytes>;  // path -> content
using Sizes = std::map<std::string, std::uint64_t>;

const std::string kPython = "/usr/bin/python3";  // Debian's, which has pycdlib
const std::string kScripts = std::string(VELMORA_SOURCE_DIR) + "/tests/sacd/fs/";

Files contents(const Bytes& image, const std::vector<sacd::fs::FsFile>& files) {
    Files out;
    for (const auto& f : files) {
        Bytes& bytes = out[f.path];
        for (const auto& [lsn, len] : f.extents)
            bytes.insert(bytes.end(), image.begin() + static_cast<std::ptrdiff_t>(std::uint64_t{lsn} * S),
                         image.begin() + static_cast<std::ptrdiff_t>(std::uint64_t{lsn} * S + len));
    }
    return out;
}

Sizes sizes_of(const Files& files) {
    Sizes out;
    for (const auto& [path, bytes] : files) out[path] = bytes.size();
    return out;
}

// Our readers' two views of an image.
struct OurView {
    Files iso, udf;
};

OurView our_view(const Bytes& image) {
    ByteSource source = sacd::ByteSource::memory(image);
    OurView v;
    auto pvd = sacd::fs::Pvd::parse(source);
    EXPECT_TRUE(pvd);
    auto iso = sacd::fs::iso9660_files(source, *pvd);
    EXPECT_TRUE(iso) << (iso ? "" : iso.error().display());
    auto udf = sacd::fs::udf_files(source);
    EXPECT_TRUE(udf) << (udf ? "" : udf.error().display());
    if (iso) v.iso = contents(image, *iso);
    if (udf) v.udf = contents(image, *udf);
    return v;
}

void expect_extracted(const Files& want, const std::string& root, const char* judge) {
    for (const auto& [path, bytes] : want) {
        SCOPED_TRACE(std::string(judge) + " " + path);
        auto got = platform::read_whole_file(root + path);
        ASSERT_TRUE(got) << "not extracted";
        EXPECT_TRUE(testsupport::same_bytes(*got, bytes));
    }
}

void judge_pycdlib(const std::string& image, const OurView& ours, const testsupport::TempDir& dir) {
    const std::string out = dir.file("pycdlib");
    auto r = run_process(kPython, {kScripts + "pycdlib_judge.py", image, out});
    ASSERT_EQ(r.status, 0) << r.err;
    std::map<std::string, Sizes> listed;
    std::istringstream lines(r.out);
    std::string view, path;
    std::uint64_t size;
    while (lines >> view >> path >> size) listed[view][path] = size;
    EXPECT_EQ(listed["iso"], sizes_of(ours.iso));
    EXPECT_EQ(listed["udf"], sizes_of(ours.udf));
    expect_extracted(ours.iso, out + "/iso", "pycdlib ISO 9660");
    expect_extracted(ours.udf, out + "/udf", "pycdlib UDF");
}

void judge_7z(const std::string& image, const Files& want, const char* type, const testsupport::TempDir& dir) {
    auto r = run_process("/usr/bin/7z", {"l", "-slt", std::string("-t") + type, image});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    Sizes listed;
    std::istringstream lines(r.out);
    std::string line, path;
    bool folder = false;
    while (std::getline(lines, line)) {
        if (line.rfind("Path = ", 0) == 0) path = "/" + line.substr(7), folder = false;
        else if (line == "Folder = +") folder = true;
        else if (line.rfind("Size = ", 0) == 0 && !folder && path != "/" + image.substr(image.rfind('/') + 1))
            listed[path] = std::stoull(line.substr(7));
    }
    EXPECT_EQ(listed, sizes_of(want)) << type;
    const std::string out = dir.file(std::string("7z-") + type);
    auto x = run_process("/usr/bin/7z", {"x", "-y", std::string("-t") + type, "-o" + out, image});
    ASSERT_EQ(x.status, 0) << x.out << x.err;
    expect_extracted(want, out, type);
}

void judge_isoinfo(const std::string& image, const Files& want) {
    auto r = run_process("/usr/bin/isoinfo", {"-l", "-i", image});
    ASSERT_EQ(r.status, 0) << r.err;
    // "Directory listing of /AUDIO/" heads each directory; a file line's size is its fifth field
    // and its name ("NAME;1") the last. Records of a multi-extent file follow each other and add up.
    Sizes listed;
    std::istringstream lines(r.out);
    std::string line, dir_path;
    while (std::getline(lines, line)) {
        if (line.rfind("Directory listing of ", 0) == 0) {
            dir_path = line.substr(21);
            continue;
        }
        if (line.empty() || line[0] != '-') continue;
        std::istringstream fields(line);
        std::string field, size, name;
        for (int i = 0; i < 4; ++i) fields >> field;
        fields >> size;
        while (fields >> field) name = field;
        name = name.substr(0, name.rfind(';'));
        listed[dir_path + name] += std::stoull(size);
    }
    EXPECT_EQ(listed, sizes_of(want));
    for (const auto& [path, bytes] : want) {
        SCOPED_TRACE("isoinfo " + path);
        auto x = run_process("/usr/bin/isoinfo", {"-i", image, "-x", path + ";1"});
        ASSERT_EQ(x.status, 0) << x.err;
        EXPECT_TRUE(testsupport::same_bytes(Bytes(x.out.begin(), x.out.end()), bytes));
    }
}

void judge_xorriso(const std::string& image, const Files& want, const testsupport::TempDir& dir) {
    auto r = run_process("/usr/bin/xorriso", {"-indev", image, "-find", "/", "-type", "f", "-exec", "lsdl", "--"});
    ASSERT_EQ(r.status, 0) << r.err;
    // "-r-xr-xr-x    1 0        0         7211008 May 17  2024 '/AUDIO/MULTICH.DAT'"
    Sizes listed;
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] != '-') continue;
        std::istringstream fields(line);
        std::string skip, size;
        for (int i = 0; i < 4; ++i) fields >> skip;
        fields >> size;
        const std::size_t open = line.find('\'');
        listed[line.substr(open + 1, line.rfind('\'') - open - 1)] = std::stoull(size);
    }
    EXPECT_EQ(listed, sizes_of(want));
    const std::string out = dir.file("xorriso");
    auto x = run_process("/usr/bin/xorriso", {"-osirrox", "on", "-indev", image, "-extract", "/", out});
    ASSERT_EQ(x.status, 0) << x.err;
    expect_extracted(want, out, "xorriso");
}

void judge_ecma167(const std::string& image) {
    auto r = run_process(kPython, {kScripts + "ecma167_check.py", image});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out.rfind("verified ", 0), 0u) << r.out;
}

// Every judge on one image, which our own readers must read; `expected` is what the builder placed
// (path, first sector, length). pycdlib (1.12) shares one data record between a file's ISO 9660
// and UDF entries, sized from the first ISO 9660 extent, so it cannot judge multi-extent files.
void judge_all(const std::string& image, const std::vector<image_builder::BridgeFile>& expected, bool multi_extent) {
    auto bytes = platform::read_whole_file(image);
    ASSERT_TRUE(bytes);
    const OurView ours = our_view(*bytes);
    ASSERT_FALSE(ours.iso.empty());
    EXPECT_EQ(sizes_of(ours.iso), sizes_of(ours.udf));
    for (const auto& f : expected) {
        SCOPED_TRACE(f.path);
        ASSERT_TRUE(ours.iso.count(f.path));
        const Bytes want(bytes->begin() + static_cast<std::ptrdiff_t>(std::uint64_t{f.first_lsn} * S),
                         bytes->begin() + static_cast<std::ptrdiff_t>(std::uint64_t{f.first_lsn} * S + f.bytes));
        EXPECT_TRUE(testsupport::same_bytes(ours.iso.at(f.path), want));
        EXPECT_TRUE(testsupport::same_bytes(ours.udf.at(f.path), want));
    }
    testsupport::TempDir dir;
    if (!multi_extent) judge_pycdlib(image, ours, dir);
    judge_7z(image, ours.iso, "iso", dir);
    judge_7z(image, ours.udf, "udf", dir);
    judge_isoinfo(image, ours.iso);
    judge_xorriso(image, ours.iso, dir);
    judge_ecma167(image);
    ByteSource source = sacd::ByteSource::memory(*bytes);
    auto check = sacd::fs::verify_transformed_output(source);
    EXPECT_TRUE(check) << check.error().display();
}

TEST(BridgeJudges, StereoImage) {
    testsupport::TempDir dir;
    const BridgeImage image = build(dir);
    ASSERT_EQ(image.built.bridge_files.size(), 3u);
    judge_all(image.path, image.built.bridge_files, false);
}

TEST(BridgeJudges, TwoAreasWithMultiExtentFiles) {
    testsupport::TempDir dir;
    Options o;
    o.multichannel = true;
    o.max_extent_bytes = 64 * 1024;  // MASTER.TOC in two extents, the audio in many
    o.tail_file_sectors = 40;
    o.tail_sectors = 41;
    const BridgeImage image = build(dir, o);
    ASSERT_EQ(image.built.bridge_files.size(), 4u);
    judge_all(image.path, image.built.bridge_files, true);
}

TEST(BridgeJudges, TheEcma167CheckerIsNotVacuous) {
    testsupport::TempDir dir;
    BridgeImage image = build(dir);
    image.bytes[at_block(kStereoFe) + 100] ^= 1;  // inside the File Entry's CRC range
    const std::string damaged = dir.file("damaged.iso");
    ASSERT_TRUE(platform::write_whole_file(damaged, image.bytes.data(), image.bytes.size()));
    auto r = run_process(kPython, {kScripts + "ecma167_check.py", damaged});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "File Entry at partition block 8 at byte " + std::to_string(at_block(kStereoFe)) +
                         ": descriptor CRC wrong\n");
}

// The transform's output, spliced into the image a relaid layout describes (sectors inserted
// before the first area, so both areas and the tail move), as the judges see it.
void judge_transformed(std::uint32_t max_extent) {
    testsupport::TempDir dir;
    Options o;
    o.multichannel = true;
    o.gap_before_area = 3;
    o.max_extent_bytes = max_extent;
    const BridgeImage image = build(dir, o);
    auto disc = sacd::import_iso(image.path);
    ASSERT_TRUE(disc);
    const auto before = flatten(*disc);
    auto after = before;
    constexpr std::uint32_t kGrow = 150;
    for (auto& r : after)
        if (auto* u = r.as<sacd::regions::Untyped>(); u && u->kind == sacd::RangeKind::AreaTocPadding && u->offset == 544 * S)
            u->length += kGrow * S;
    auto map = sacd::fs::build_lsn_map(before, after);
    ASSERT_TRUE(map);
    auto file = platform::File::open_read(image.path);
    ASSERT_TRUE(file);
    ByteSource source = ByteSource::file(std::move(file).value(), image.bytes.size());
    auto t = sacd::fs::transform_bridge(source, *map, *disc);
    ASSERT_TRUE(t) << t.error().display();
    const Bytes relaid = splice(image.bytes, 544 + 3, kGrow, *t, disc->tail->as<sacd::regions::Untyped>()->offset);
    const std::string path = dir.file("relaid.iso");
    ASSERT_TRUE(platform::write_whole_file(path, relaid.data(), relaid.size()));

    // The builder's files, at their new places, with the bytes they had before.
    std::vector<image_builder::BridgeFile> moved;
    for (auto f : image.built.bridge_files) {
        if (f.first_lsn >= 544 + 3) f.first_lsn += kGrow;
        moved.push_back(f);
    }
    judge_all(path, moved, max_extent != 0);
    auto original = our_view(image.bytes), relaid_view = our_view(relaid);
    for (const auto& [p, bytes] : original.udf) EXPECT_TRUE(testsupport::same_bytes(relaid_view.udf.at(p), bytes)) << p;
}

TEST(BridgeJudges, TransformedImage) {
    for (std::uint32_t max_extent : {0u, 128u * 1024}) {
        SCOPED_TRACE(max_extent);
        judge_transformed(max_extent);
    }
}

}  // namespace
