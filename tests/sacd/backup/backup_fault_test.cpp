// Backups under faults: the order of their effects, a kill at every file-system call, a full
// file system, and failing or short kernel calls. The backups are taken by backup_driver, run
// under the fault shim.
#include "sacd/backup/backup.h"

#include "tests/support/audio_files.h"
#include "tests/support/backup_check.h"
#include "tests/support/fault_runs.h"
#include "tests/support/process.h"
#include "tests/support/same_bytes.h"
#include "tests/support/small_tmpfs.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

using testsupport::Bytes;
using testsupport::ShimAction;
using testsupport::ShimOptions;

namespace {

constexpr std::size_t kS = 2048;

Bytes patterned(std::size_t n) {
    Bytes b(n);
    std::uint32_t x = 0x9e3779b9;
    for (auto& v : b) {
        x = x * 1664525u + 1013904223u;
        v = static_cast<std::uint8_t>(x >> 24);
    }
    return b;
}

// An image of 200 sectors and the backup arguments for three ranges (one past the end).
struct Scene {
    testsupport::TempDir dir;
    std::string image = dir.file("disc.iso");
    std::string parent = dir.file("backups");
    Bytes bytes = patterned(200 * kS);
    Scene() { testsupport::write_file(image, bytes); }

    std::vector<std::string> sector_args() const { return {"sectors", image, parent, "1", "3:2", "10:1", "199:3"}; }
    std::vector<std::string> full_args() const { return {"full", image, parent}; }

    // Fresh state for one more run.
    void reset() {
        std::filesystem::remove_all(parent);
        testsupport::write_file(image, bytes);
    }

    // After any run, killed or not: the image is untouched, and a folder that claims to be a
    // complete backup is one.
    void expect_sound() const {
        EXPECT_TRUE(testsupport::same_bytes(testsupport::read_file(image), bytes));
        const auto folders = testsupport::backup_folders(parent);
        EXPECT_LE(folders.size(), 1u);
        for (const auto& f : folders) {
            if (testsupport::claims_complete(f)) {
                EXPECT_EQ(testsupport::check_backup_against(f, bytes), "") << f;
            }
        }
    }

    int complete_backups() const {
        int n = 0;
        for (const auto& f : testsupport::backup_folders(parent)) n += testsupport::claims_complete(f);
        return n;
    }
};

testsupport::ShimRun run_driver(const std::vector<std::string>& args, const ShimOptions& options) {
    return testsupport::run_under_shim(VELMORA_BACKUP_DRIVER, args, options);
}

}  // namespace

TEST(BackupFaults, SectorBackupOrderOfEffects) {
    Scene s;
    auto run = run_driver(s.sector_args(), ShimOptions{"write,sync,rename,create,read"});
    ASSERT_EQ(run.result.status, 0) << run.result.err;
    const auto& c = run.calls;
    using testsupport::first_call;
    using testsupport::last_call;
    const std::string folder_path = run.result.out.substr(0, run.result.out.size() - 1);
    const auto folder = first_call(c, "mkdir", folder_path);
    ASSERT_NE(folder, 0u);
    // The new folder's entry is flushed in its parent before anything goes in.
    EXPECT_LT(folder, first_call(c, "fsync", "/backups"));
    EXPECT_LT(first_call(c, "fsync", "/backups"), first_call(c, "open", "/sectors.bin"));
    // sectors.bin: written, flushed, then read back.
    EXPECT_LT(last_call(c, "write", "/sectors.bin"), first_call(c, "fsync", "/sectors.bin"));
    EXPECT_LT(first_call(c, "fsync", "/sectors.bin"), first_call(c, "pread", "/sectors.bin"));
    // Then the note, then the manifest under its side name, renamed into place, then the folder.
    EXPECT_LT(last_call(c, "pread", "/sectors.bin"), first_call(c, "open", "/README.txt"));
    EXPECT_LT(first_call(c, "fsync", "/README.txt"), first_call(c, "open", "/manifest.json.partial"));
    EXPECT_LT(first_call(c, "fsync", "/manifest.json.partial"), first_call(c, "rename", "/manifest.json"));
    EXPECT_EQ(c.back().name, "fsync");
    EXPECT_EQ(c.back().target, folder_path);
    EXPECT_LT(first_call(c, "rename", "/manifest.json"), c.back().index);
    // Nothing is ever written to the image.
    EXPECT_EQ(first_call(c, "write", "/disc.iso"), 0u);
    EXPECT_EQ(first_call(c, "pwrite", "/disc.iso"), 0u);
    s.expect_sound();
    EXPECT_EQ(s.complete_backups(), 1);
}

TEST(BackupFaults, KillAtEveryCall) {
    for (bool full : {false, true}) {
        SCOPED_TRACE(full ? "full-file backup" : "sector backup");
        Scene s;
        testsupport::KillSweep sweep;
        sweep.program = VELMORA_BACKUP_DRIVER;
        sweep.calls = "write,sync,rename,copy,create,remove";
        sweep.torn_writes = true;
        sweep.prepare = [&] {
            s.reset();
            return full ? s.full_args() : s.sector_args();
        };
        sweep.check = [&](const testsupport::ShimRun&) { s.expect_sound(); };
        const auto swept = testsupport::sweep_kill_points(sweep);
        ASSERT_EQ(swept.undisturbed.result.status, 0) << swept.undisturbed.result.err;
        s.expect_sound();
        EXPECT_EQ(s.complete_backups(), 1);
        // mkdir, its flush, the payload's creation, writes and flush, README and manifest with
        // their flushes, the rename and the folder flush at the least.
        EXPECT_GE(swept.points, full ? 11u : 14u);
    }
}

TEST(BackupFaults, ReadsThatEndEarlyOrFail) {
    Scene s;
    struct Case {
        const char* name;
        ShimOptions options;
        int status;
        const char* err;  // beginning of the display text
        bool complete;
    };
    // Read 1 is the first range's, read 2 the fingerprint's.
    const Case cases[] = {
        {"range ends early", {"read", 1, ShimAction::Eof}, 1, "IsoChangedDuringBackup", false},
        {"broken pipe reads as the end", {"read", 1, ShimAction::Fail, EPIPE}, 1, "IsoChangedDuringBackup", false},
        {"read error", {"read", 1, ShimAction::Fail, EIO}, 1, "Could not access the file: Input/output error", false},
        {"fingerprint short", {"read", 2, ShimAction::Eof}, 0, "", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        s.reset();
        auto run = run_driver({"sectors", s.image, s.parent, "1", "3:2"}, c.options);
        EXPECT_EQ(run.result.status, c.status) << run.result.err;
        EXPECT_EQ(run.result.err.substr(0, std::string(c.err).size()), c.err);
        EXPECT_EQ(s.complete_backups(), c.complete ? 1 : 0);
        s.expect_sound();
        if (c.complete) {
            const auto json = testsupport::read_file(testsupport::backup_folders(s.parent)[0] + "/manifest.json");
            EXPECT_NE(std::string(json.begin(), json.end()).find("\"fingerprint\": null"), std::string::npos);
        }
    }
}

TEST(BackupFaults, FullCopyFallsBackWhenTheKernelCannotCopy) {
    Scene s;
    for (int errnum : {ENOSYS, EXDEV, EINVAL, EOPNOTSUPP}) {
        SCOPED_TRACE(errnum);
        s.reset();
        auto run = run_driver(s.full_args(), ShimOptions{"copy,write", 1, ShimAction::Fail, errnum});
        ASSERT_EQ(run.result.status, 0) << run.result.err;
        EXPECT_NE(testsupport::first_call(run.calls, "pwrite", "/original.iso"), 0u);
        EXPECT_EQ(s.complete_backups(), 1);
        s.expect_sound();
    }
    // Without a fault the kernel copies and nothing passes through a buffer.
    s.reset();
    auto plain = run_driver(s.full_args(), ShimOptions{"copy,write"});
    ASSERT_EQ(plain.result.status, 0) << plain.result.err;
    EXPECT_EQ(testsupport::first_call(plain.calls, "pwrite", "/original.iso"), 0u);
    EXPECT_EQ(testsupport::first_call(plain.calls, "write", "/original.iso"), 0u);
}

TEST(BackupFaults, FailedOrShortCopyTakesItsFolderAlong) {
    Scene s;
    struct Case {
        const char* name;
        ShimOptions options;
        const char* err;
    };
    const Case cases[] = {
        {"copy error", {"copy", 1, ShimAction::Fail, EIO}, "Could not access the file: Input/output error"},
        {"disc full", {"copy", 1, ShimAction::Fail, ENOSPC}, "Could not access the file: No space left on device"},
        {"copy ends early", {"copy", 1, ShimAction::Eof}, "BackupCopyIncomplete"},
        {"flush of the copy fails", {"sync", 2, ShimAction::Fail, EIO}, "Could not access the file: Input/output error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        s.reset();
        auto run = run_driver(s.full_args(), c.options);
        EXPECT_EQ(run.result.status, 1);
        EXPECT_EQ(run.result.err, std::string(c.err) + "\n");
        EXPECT_EQ(testsupport::backup_folders(s.parent), std::vector<std::string>{});
        s.expect_sound();
    }
}

TEST(BackupFaults, FullFileSystem) {
    testsupport::SmallTmpfs fs(1 << 20);
    if (!fs.mounted()) GTEST_SKIP() << fs.skip_reason();
    Scene s;
    const std::string parent = fs.path() + "/backups";
    const std::vector<sacd::backup::BackupRange> ranges = {{3, 4}, {20, 4}, {60, 4}};
    constexpr std::uint64_t kPage = 4096;

    // From no room at all upwards, page by page, until the backup fits: every failure is an I/O
    // error and leaves no folder that claims to be complete.
    int failures = 0;
    bool fitted = false;
    for (std::uint64_t free = 0; free <= 40 * kPage && !fitted; free += kPage) {
        SCOPED_TRACE(free);
        std::filesystem::remove_all(parent);
        fs.fill_leaving(free);
        auto made = sacd::backup::create_backup(s.image, ranges, parent, 1);
        for (const auto& f : testsupport::backup_folders(parent)) {
            if (testsupport::claims_complete(f)) {
                EXPECT_EQ(testsupport::check_backup_against(f, s.bytes), "");
            }
        }
        if (made.ok()) {
            fitted = true;
            EXPECT_EQ(testsupport::check_backup_against(made->folder, s.bytes), "");
            continue;
        }
        ++failures;
        EXPECT_EQ(sacd::render_error(made.error()), "Could not access the file: No space left on device");
        for (const auto& f : testsupport::backup_folders(parent)) EXPECT_FALSE(testsupport::claims_complete(f)) << f;
    }
    EXPECT_TRUE(fitted);
    EXPECT_GE(failures, 3);

    // A whole-image copy that does not fit leaves nothing behind.
    std::filesystem::remove_all(parent);
    fs.fill_leaving(64 * 1024);
    auto full = sacd::backup::create_full_file_backup(s.image, parent);
    ASSERT_FALSE(full.ok());
    EXPECT_EQ(sacd::render_error(full.error()), "Could not access the file: No space left on device");
    EXPECT_EQ(testsupport::backup_folders(parent), std::vector<std::string>{});
    EXPECT_TRUE(testsupport::same_bytes(testsupport::read_file(s.image), s.bytes));
}
