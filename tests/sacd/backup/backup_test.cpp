// Sector and full-file backups: the folder, sectors.bin, manifest.json and README.txt as
// written, checked against layouts built here and hashes recomputed here.
#include "sacd/backup/backup.h"

#include "i18n/i18n.h"
#include "sacd/backup/manifest.h"
#include "tests/support/audio_files.h"
#include "tests/support/backup_check.h"
#include "tests/support/process.h"
#include "tests/support/same_bytes.h"

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <functional>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

using namespace sacd::backup;
using testsupport::Bytes;

namespace {

constexpr std::size_t kS = 2048;

// Bytes that differ from sector to sector and within each sector.
Bytes patterned(std::size_t n, std::uint32_t seed = 1) {
    Bytes b(n);
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& v : b) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        v = static_cast<std::uint8_t>(x);
    }
    return b;
}

std::string text_of(const std::filesystem::path& path) {
    auto b = testsupport::read_file(path);
    return std::string(b.begin(), b.end());
}

// jq's answer to `filter` over `file`, without the final line end.
std::string jq(const std::string& filter, const std::string& file) {
    auto r = testsupport::run_process("/usr/bin/jq", {"-r", filter, file});
    EXPECT_EQ(r.status, 0) << r.err;
    if (!r.out.empty() && r.out.back() == '\n') r.out.pop_back();
    return r.out;
}

// The decimal literal of `key` exactly as written: jq holds numbers as doubles, which cannot
// carry a 64-bit hash.
std::uint64_t literal_u64(const std::string& json, const std::string& key) {
    const std::string label = "\"" + key + "\": ";
    const auto at = json.find(label);
    const auto digits = at == std::string::npos ? at : at + label.size();
    if (digits == std::string::npos || digits >= json.size() || !std::isdigit(static_cast<unsigned char>(json[digits]))) {
        ADD_FAILURE() << key << " is not a number in " << json;
        return 0;
    }
    return std::stoull(json.substr(digits));
}

// `text` has the shape of `pattern`, where '#' stands for any digit.
bool shaped(const std::string& text, const std::string& pattern) {
    if (text.size() != pattern.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool digit = std::isdigit(static_cast<unsigned char>(text[i]));
        if (pattern[i] == '#' ? !digit : text[i] != pattern[i]) return false;
    }
    return true;
}

void put_le32(Bytes& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// sectors.bin built from its layout: a count, then per range its start, its count and the
// image's sectors with zeros past the end of the image.
Bytes expected_payload(const Bytes& image, const std::vector<BackupRange>& ranges) {
    Bytes out;
    put_le32(out, static_cast<std::uint32_t>(ranges.size()));
    for (const auto& r : ranges) {
        put_le32(out, r.start_lsn);
        put_le32(out, r.count);
        for (std::size_t i = 0; i < r.count * kS; ++i) {
            std::size_t at = r.start_lsn * kS + i;
            out.push_back(at < image.size() ? image[at] : 0);
        }
    }
    return out;
}

struct Fixture {
    testsupport::TempDir dir;
    std::string image = dir.file("disc.iso");
    std::string parent = dir.file("backups");
    Bytes bytes;
    explicit Fixture(std::size_t sectors, std::uint32_t seed = 1) : bytes(patterned(sectors * kS, seed)) {
        testsupport::write_file(image, bytes);
    }
};

}  // namespace

TEST(SectorBackup, WritesTheRangesManifestAndNote) {
    Fixture f(200);
    // The last range runs two sectors past the end of the image.
    const std::vector<BackupRange> ranges = {{10, 2}, {3, 1}, {199, 3}};
    auto made = create_backup(f.image, ranges, f.parent, 1);
    ASSERT_TRUE(made.ok()) << made.error().display();
    const auto folder = made->folder;

    EXPECT_EQ(folder.parent_path(), std::filesystem::path(f.parent));
    EXPECT_TRUE(shaped(folder.filename().string(), "backup_########-######"))
        << folder.filename();
    EXPECT_EQ(testsupport::listing(folder), (std::vector<std::string>{"README.txt", "manifest.json", "sectors.bin"}));
    const Bytes payload = testsupport::read_file(folder / "sectors.bin");
    EXPECT_TRUE(testsupport::same_bytes(payload, expected_payload(f.bytes, ranges)));
    EXPECT_EQ(testsupport::check_backup_against(folder, f.bytes), "");

    // The manifest as jq reads it, and its hashes recomputed from the files.
    const std::string manifest_path = folder / "manifest.json";
    EXPECT_EQ(jq("keys_unsorted | join(\",\")", manifest_path),
              "iso_path,iso_size_before,timestamp,tool_version,kind,ranges,fingerprint,payload_hash,integrity");
    EXPECT_EQ(jq(".iso_path", manifest_path), f.image);
    EXPECT_EQ(jq(".iso_size_before", manifest_path), std::to_string(f.bytes.size()));
    EXPECT_EQ(jq(".tool_version + \" \" + .kind", manifest_path), "2.4.0 sectors");
    EXPECT_EQ(jq("[.ranges[] | \"\\(.start_lsn):\\(.count)\"] | join(\" \")", manifest_path), "10:2 3:1 199:3");
    EXPECT_EQ(jq(".fingerprint | \"\\(.offset) \\(.len)\"", manifest_path), std::to_string(kS + 131072) + " 262144");
    EXPECT_TRUE(shaped(jq(".timestamp", manifest_path), "####-##-##T##:##:##Z"));
    const std::string json = text_of(manifest_path);
    EXPECT_EQ(literal_u64(json, "payload_hash"), testsupport::reference_fnv1a64(payload));
    const Bytes sample(f.bytes.begin() + kS + 131072, f.bytes.begin() + kS + 131072 + 262144);
    EXPECT_EQ(literal_u64(json, "hash"), testsupport::reference_fnv1a64(sample));
    EXPECT_EQ(std::stod(jq(".payload_hash", manifest_path)), double(literal_u64(json, "payload_hash")));

    // What the caller gets is what is on disc.
    EXPECT_EQ(made->manifest.payload_hash, literal_u64(json, "payload_hash"));
    EXPECT_EQ(made->manifest.integrity, literal_u64(json, "integrity"));
    EXPECT_EQ(made->manifest.ranges, ranges);
    EXPECT_TRUE(made->covers(3) && made->covers(10) && made->covers(11) && made->covers(201));
    EXPECT_FALSE(made->covers(2) || made->covers(4) || made->covers(12) || made->covers(202));
    // The image is only read.
    EXPECT_TRUE(testsupport::same_bytes(testsupport::read_file(f.image), f.bytes));
}

TEST(SectorBackup, EmptyRangeListStillHashes) {
    Fixture f(4);
    auto made = create_backup(f.image, {}, f.parent, 0);
    ASSERT_TRUE(made.ok()) << made.error().display();
    EXPECT_EQ(testsupport::read_file(made->folder / "sectors.bin"), (Bytes{0, 0, 0, 0}));
    const std::string json = text_of(made->folder / "manifest.json");
    EXPECT_NE(json.find("\"ranges\": [],"), std::string::npos) << json;
    EXPECT_NE(json.find("\"fingerprint\": null,"), std::string::npos) << json;
    EXPECT_EQ(literal_u64(json, "payload_hash"), testsupport::reference_fnv1a64({0, 0, 0, 0}));
    EXPECT_EQ(testsupport::check_backup_against(made->folder, f.bytes), "");
    EXPECT_FALSE(made->covers(0));
}

TEST(SectorBackup, RangeLengthLimit) {
    Fixture f(300);
    auto ok = create_backup(f.image, std::vector<BackupRange>{{5, 128}}, f.parent, 0);
    ASSERT_TRUE(ok.ok()) << ok.error().display();
    EXPECT_EQ(testsupport::check_backup_against(ok->folder, f.bytes), "");

    // 129 sectors are refused before anything exists, the parent folder included.
    const std::string fresh = f.dir.file("fresh/parent");
    auto refused = create_backup(f.image, std::vector<BackupRange>{{0, 1}, {5, 129}}, fresh, 0);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(sacd::render_error(refused.error()), "a backup range is too large to be restored - backup aborted.");
    EXPECT_FALSE(std::filesystem::exists(f.dir.file("fresh")));
}

TEST(SectorBackup, RangeWhollyPastTheEndIsZeros) {
    Fixture f(8);
    const std::vector<BackupRange> ranges = {{7, 1}, {50, 4}};
    auto made = create_backup(f.image, ranges, f.parent, 0);
    ASSERT_TRUE(made.ok()) << made.error().display();
    EXPECT_TRUE(testsupport::same_bytes(testsupport::read_file(made->folder / "sectors.bin"),
                                        expected_payload(f.bytes, ranges)));
    EXPECT_EQ(testsupport::check_backup_against(made->folder, f.bytes), "");
}

TEST(SectorBackup, FailuresBeforeAnyFolder) {
    Fixture f(4);
    auto missing = create_backup(f.dir.file("nothing.iso"), std::vector<BackupRange>{{0, 1}}, f.parent, 0);
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(sacd::render_error(missing.error()), "The file could not be found - it may have been moved or deleted.");

    // A backup folder that is a file.
    testsupport::write_file(f.dir.file("plain"), {1});
    auto on_file = create_backup(f.image, std::vector<BackupRange>{{0, 1}}, f.dir.file("plain"), 0);
    ASSERT_FALSE(on_file.ok());
    EXPECT_NE(std::get_if<sacd::SacdError::Io>(&on_file.error().value), nullptr);
    EXPECT_EQ(testsupport::read_file(f.dir.file("plain")), (Bytes{1}));
    EXPECT_FALSE(std::filesystem::exists(f.parent));
}

TEST(UniqueDir, SuffixesInTurnUpTo999) {
    testsupport::TempDir dir;
    const std::string parent = dir.file("a/b");
    for (const char* expected : {"backup_x", "backup_x_2", "backup_x_3"}) {
        auto made = create_unique_dir(parent, "backup_x");
        ASSERT_TRUE(made.ok()) << made.error().display();
        EXPECT_EQ(made->filename(), expected);
        EXPECT_TRUE(std::filesystem::is_directory(*made));
    }
    for (int i = 4; i <= 999; ++i) std::filesystem::create_directory(parent + "/backup_x_" + std::to_string(i));
    auto full = create_unique_dir(parent, "backup_x");
    ASSERT_FALSE(full.ok());
    EXPECT_EQ(sacd::render_error(full.error()), "too many backups share one timestamp - clean up the backup folder");

    // A file in the way of a name counts as taken, a file as the parent is an error.
    testsupport::write_file(parent + "/backup_y", {});
    EXPECT_EQ(create_unique_dir(parent, "backup_y")->filename(), "backup_y_2");
    EXPECT_FALSE(create_unique_dir(parent + "/backup_y", "z").ok());
}

TEST(Timestamps, BothFormsAndTheEpochFloor) {
    struct Case {
        platform::UtcTime time;
        const char* compact;
        const char* iso;
    };
    const Case cases[] = {
        {{2024, 2, 29, 7, 5, 9, 999999999}, "20240229-070509", "2024-02-29T07:05:09Z"},
        {{1970, 1, 1, 0, 0, 0, 0}, "19700101-000000", "1970-01-01T00:00:00Z"},
        {{1969, 12, 31, 23, 59, 59, 0}, "19700101-000000", "1970-01-01T00:00:00Z"},
        {{9999, 12, 31, 23, 59, 59, 0}, "99991231-235959", "9999-12-31T23:59:59Z"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(timestamp_compact(c.time), c.compact);
        EXPECT_EQ(timestamp_iso(c.time), c.iso);
    }
}

TEST(Fingerprint, PresentOnlyForAFullVariedSample) {
    // Anchor 4: the sample is 256 KiB from 4 * 2048 + 128 KiB; the image must reach 384 KiB past the anchor.
    constexpr std::size_t kNeed = 4 * kS + 393216;
    struct Case {
        const char* name;
        std::uint32_t anchor;
        std::size_t size;
        int fill;  // -1: patterned bytes, else this byte everywhere
        bool present;
    };
    const Case cases[] = {
        {"exactly long enough", 4, kNeed, -1, true},
        {"anchor 0", 0, kNeed, -1, false},
        {"one byte short", 4, kNeed - 1, -1, false},
        {"all zeros", 4, kNeed, 0, false},
        {"all 0xAA", 4, kNeed, 0xAA, false},
    };
    testsupport::TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes image = c.fill < 0 ? patterned(c.size) : Bytes(c.size, static_cast<std::uint8_t>(c.fill));
        testsupport::write_file(dir.file("i.iso"), image);
        auto file = platform::File::open_read(dir.file("i.iso"));
        ASSERT_TRUE(file.ok());
        auto fp = read_fingerprint(*file, c.anchor);
        ASSERT_EQ(fp.has_value(), c.present);
        if (!fp) continue;
        EXPECT_EQ(fp->offset, 4 * kS + 131072);
        EXPECT_EQ(fp->len, 262144u);
        EXPECT_EQ(fp->hash, testsupport::reference_fnv1a64(Bytes(image.begin() + 4 * kS + 131072, image.end())));
    }
    // A sample that differs in one byte only is not uniform.
    Bytes almost(kNeed, 0);
    almost[kNeed - 131073] = 1;
    testsupport::write_file(dir.file("i.iso"), almost);
    auto file = platform::File::open_read(dir.file("i.iso"));
    EXPECT_TRUE(read_fingerprint(*file, 4).has_value());
}

TEST(Integrity, EveryCoveredByteCounts) {
    const std::string path = "/discs/a.iso";
    const std::vector<BackupRange> ranges = {{510, 1}, {0x01020304, 7}};
    const std::optional<Fingerprint> fp = Fingerprint{1, 262144, 3};
    const Bytes payload = patterned(4 + 8 + kS);
    const auto base = manifest_integrity(path, 1000, ranges, fp, payload);

    for (std::size_t i = 0; i < payload.size(); ++i) {
        Bytes changed = payload;
        changed[i] ^= 0x01;
        ASSERT_NE(manifest_integrity(path, 1000, ranges, fp, changed), base) << "payload byte " << i;
    }
    for (std::size_t i = 0; i < path.size(); ++i) {
        std::string changed = path;
        changed[i] ^= 0x20;
        EXPECT_NE(manifest_integrity(changed, 1000, ranges, fp, payload), base) << "path byte " << i;
    }
    for (int bit = 0; bit < 64; ++bit)
        EXPECT_NE(manifest_integrity(path, 1000 ^ (1ull << bit), ranges, fp, payload), base) << "size bit " << bit;
    for (std::size_t r = 0; r < ranges.size(); ++r) {
        for (int bit = 0; bit < 32; ++bit) {
            auto a = ranges, b = ranges;
            a[r].start_lsn ^= 1u << bit;
            b[r].count ^= 1u << bit;
            EXPECT_NE(manifest_integrity(path, 1000, a, fp, payload), base) << "range " << r << " start bit " << bit;
            EXPECT_NE(manifest_integrity(path, 1000, b, fp, payload), base) << "range " << r << " count bit " << bit;
        }
    }
    EXPECT_NE(manifest_integrity(path, 1000, ranges, std::nullopt, payload), base);
    EXPECT_NE(manifest_integrity(path, 1000, ranges, Fingerprint{1, 262144, 4}, payload), base);
    // A byte moved from the path into the payload is not the same input.
    Bytes shifted = payload;
    shifted.insert(shifted.begin(), static_cast<std::uint8_t>('o'));
    EXPECT_NE(manifest_integrity("/discs/a.is", 1000, ranges, fp, shifted), base);
}

TEST(ManifestJson, ExactText) {
    Manifest m;
    m.iso_path = "D:\\SACD\\Диск \"1\".iso";
    m.iso_size_before = 18446744073709551615ull;
    m.timestamp = "2024-05-06T07:08:09Z";
    m.ranges = {{510, 1}, {4294967295u, 128}};
    m.fingerprint = Fingerprint{2048 * 544 + 131072, 262144, 12345678901234567890ull};
    m.payload_hash = 1;
    m.integrity = 18446744073709551557ull;
    EXPECT_EQ(*manifest_json(m),
              "{\n"
              "  \"iso_path\": \"D:\\\\SACD\\\\Диск \\\"1\\\".iso\",\n"
              "  \"iso_size_before\": 18446744073709551615,\n"
              "  \"timestamp\": \"2024-05-06T07:08:09Z\",\n"
              "  \"tool_version\": \"2.4.0\",\n"
              "  \"kind\": \"sectors\",\n"
              "  \"ranges\": [\n"
              "    {\n"
              "      \"start_lsn\": 510,\n"
              "      \"count\": 1\n"
              "    },\n"
              "    {\n"
              "      \"start_lsn\": 4294967295,\n"
              "      \"count\": 128\n"
              "    }\n"
              "  ],\n"
              "  \"fingerprint\": {\n"
              "    \"offset\": 1245184,\n"
              "    \"len\": 262144,\n"
              "    \"hash\": 12345678901234567890\n"
              "  },\n"
              "  \"payload_hash\": 1,\n"
              "  \"integrity\": 18446744073709551557\n"
              "}");

    Manifest full;
    full.iso_path = "a.iso";
    full.iso_size_before = 0;
    full.timestamp = "1970-01-01T00:00:00Z";
    full.kind = BackupKind::FullFile;
    EXPECT_EQ(*manifest_json(full),
              "{\n"
              "  \"iso_path\": \"a.iso\",\n"
              "  \"iso_size_before\": 0,\n"
              "  \"timestamp\": \"1970-01-01T00:00:00Z\",\n"
              "  \"tool_version\": \"2.4.0\",\n"
              "  \"kind\": \"full_file\",\n"
              "  \"ranges\": [],\n"
              "  \"fingerprint\": null,\n"
              "  \"payload_hash\": null,\n"
              "  \"integrity\": null\n"
              "}");
}

TEST(ManifestJson, PathIsLossyUtf8) {
    // A path whose bytes are not UTF-8 is still written, with U+FFFD for the bad bytes.
    EXPECT_EQ(path_text(std::filesystem::path(std::string("/x/\xff\xfe" "a.iso"))), "/x/\xEF\xBF\xBD\xEF\xBF\xBD" "a.iso");
    Manifest m;
    m.iso_path = path_text(std::filesystem::path(std::string("\xc3(")));
    EXPECT_TRUE(manifest_json(m).ok());
    // Text that never went through that conversion cannot be serialised, and says why.
    m.iso_path = "\xc3(";
    auto refused = manifest_json(m);
    ASSERT_FALSE(refused.ok());
    i18n::LANG = false;
    EXPECT_EQ(sacd::render_error(refused.error()).rfind("Could not build the backup manifest: ", 0), 0u);
    EXPECT_NE(sacd::render_error(refused.error()).find("UTF-8"), std::string::npos);
}

TEST(Readme, BothKindsLineByLine) {
    Manifest m;
    m.iso_path = "/music/disc.iso";
    m.iso_size_before = 4700000000;
    m.timestamp = "2024-05-06T07:08:09Z";
    const std::string common_head =
        "Created:     2024-05-06T07:08:09Z\r\n"
        "Tool:        2.4.0\r\n"
        "\r\n"
        "Source ISO:  /music/disc.iso\r\n"
        "Size:        4700000000 bytes\r\n"
        "\r\n";
    const std::string restore =
        "To restore: open Velmora, click \"Restore backup\",\r\n"
        "then pick this folder.\r\n"
        "\r\n"
        "Files in this folder:\r\n"
        "  manifest.json  - machine-readable metadata (used by Restore)\r\n";
    EXPECT_EQ(readme_text(m), "Velmora - backup\r\n"
                              "================\r\n" +
                                  common_head + restore +
                                  "  sectors.bin    - the original sector data\r\n"
                                  "  README.txt     - this file (human-readable summary)\r\n");
    m.kind = BackupKind::FullFile;
    EXPECT_EQ(readme_text(m), "Velmora - backup (full file)\r\n"
                              "============================\r\n" +
                                  common_head +
                                  "This is a FULL copy of the original ISO (the edit grew the disc).\r\n" + restore +
                                  "  original.iso   - the complete original disc image\r\n"
                                  "  README.txt     - this file (human-readable summary)\r\n");
}

TEST(FullFileBackup, CopiesTheImage) {
    Fixture f(37);
    auto made = create_full_file_backup(f.image, f.parent);
    ASSERT_TRUE(made.ok()) << made.error().display();
    EXPECT_EQ(testsupport::listing(made->folder), (std::vector<std::string>{"README.txt", "manifest.json", "original.iso"}));
    EXPECT_EQ(testsupport::check_backup_against(made->folder, f.bytes), "");
    const std::string manifest = made->folder / "manifest.json";
    EXPECT_EQ(jq("\"\\(.kind) \\(.ranges | length) \\(.fingerprint) \\(.payload_hash) \\(.integrity)\"", manifest),
              "full_file 0 null null null");
    EXPECT_EQ(text_of(made->folder / "README.txt").substr(0, 30), "Velmora - backup (full file)\r\n");
    EXPECT_TRUE(made->covers(0) && made->covers(1000000));

    auto missing = create_full_file_backup(f.dir.file("gone.iso"), f.parent);
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(testsupport::backup_folders(f.parent).size(), 1u);
}

TEST(SectorBackup, SecondBackupInTheSameSecondGetsASuffix) {
    Fixture f(4);
    // The names of the next few seconds are taken, so the backup lands on a suffix whichever of
    // those seconds it starts in.
    const auto now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    for (std::time_t t = now; t < now + 5; ++t) {
        std::tm tm{};
        gmtime_r(&t, &tm);
        const platform::UtcTime u{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, 0};
        std::filesystem::create_directories(f.parent + "/backup_" + timestamp_compact(u));
    }
    auto first = create_backup(f.image, std::vector<BackupRange>{{0, 1}}, f.parent, 0);
    ASSERT_TRUE(first.ok()) << first.error().display();
    const std::string name = first->folder.filename().string();
    ASSERT_TRUE(shaped(name, "backup_########-######_2")) << name;
    auto second = create_backup(f.image, std::vector<BackupRange>{{0, 1}}, f.parent, 0);
    ASSERT_TRUE(second.ok()) << second.error().display();
    const std::string next = second->folder.filename().string();
    // _3 in the same second; _2 if the clock moved on in between.
    if (next.substr(0, 22) == name.substr(0, 22))
        EXPECT_EQ(next, name.substr(0, 22) + "_3");
    else
        EXPECT_TRUE(shaped(next, "backup_########-######_2")) << next;
}

// The tests of faults rely on the backup checker to see damage; it must see it.
TEST(BackupCheck, SeesDamageAndRestores) {
    Fixture f(20);
    auto made = create_backup(f.image, std::vector<BackupRange>{{2, 3}, {9, 1}}, f.parent, 0);
    ASSERT_TRUE(made.ok()) << made.error().display();
    const auto folder = made->folder;
    const Bytes payload = testsupport::read_file(folder / "sectors.bin");
    const Bytes manifest = testsupport::read_file(folder / "manifest.json");
    const std::string json(manifest.begin(), manifest.end());

    struct Damage {
        const char* name;
        std::function<void()> apply;
    };
    const Damage damages[] = {
        {"payload byte", [&] { auto p = payload; p[4 + 8 + 100] ^= 1; testsupport::write_file(folder / "sectors.bin", p); }},
        {"payload cut", [&] { testsupport::write_file(folder / "sectors.bin", Bytes(payload.begin(), payload.end() - 1)); }},
        {"manifest cut", [&] { testsupport::write_file(folder / "manifest.json", Bytes(manifest.begin(), manifest.end() - 1)); }},
        {"range changed", [&] {
             auto j = json;
             j.replace(j.find("\"count\": 3"), 10, "\"count\": 2");
             testsupport::write_file(folder / "manifest.json", Bytes(j.begin(), j.end()));
         }},
        {"path changed", [&] {
             auto j = json;
             j.replace(j.find("disc.iso"), 8, "disk.iso");
             testsupport::write_file(folder / "manifest.json", Bytes(j.begin(), j.end()));
         }},
        {"note missing", [&] { std::filesystem::remove(folder / "README.txt"); }},
    };
    for (const auto& d : damages) {
        SCOPED_TRACE(d.name);
        const Bytes readme = testsupport::read_file(folder / "README.txt");
        d.apply();
        EXPECT_NE(testsupport::check_backup(folder), "");
        testsupport::write_file(folder / "sectors.bin", payload);
        testsupport::write_file(folder / "manifest.json", manifest);
        testsupport::write_file(folder / "README.txt", readme);
        EXPECT_EQ(testsupport::check_backup(folder), "");
    }
    // An image that differs in a saved sector is seen, and the restore puts it back.
    Bytes changed = f.bytes;
    changed[9 * kS + 7] ^= 0xFF;
    changed[3 * kS] ^= 0xFF;
    EXPECT_NE(testsupport::check_backup_against(folder, changed), "");
    testsupport::write_file(f.image, changed);
    EXPECT_EQ(testsupport::untouched_or_restorable(f.image, f.bytes, f.parent), "");
    Bytes outside = changed;
    outside[5 * kS] ^= 0xFF;  // a sector the backup does not hold
    testsupport::write_file(f.image, outside);
    EXPECT_NE(testsupport::untouched_or_restorable(f.image, f.bytes, f.parent), "");
    testsupport::write_file(f.image, changed);
    testsupport::restore_backup(folder, f.image);
    EXPECT_TRUE(testsupport::same_bytes(testsupport::read_file(f.image), f.bytes));
}
