#include "platform/buffered_writer.h"
#include "platform/file.h"
#include "platform/system.h"
#include "tests/support/process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>

using namespace platform;

TEST(File, WriteReadSeekSizeRenameRemove) {
    testsupport::TempDir dir;
    Path a = dir.file("a.bin"), b = dir.file("b.bin");
    {
        auto f = File::create_new(a);
        ASSERT_TRUE(f.ok());
        ASSERT_TRUE(f->write_all("hello world", 11).ok());
        ASSERT_TRUE(f->write_all_at(0, "J", 1).ok());
        ASSERT_TRUE(f->flush_to_device().ok());
    }
    EXPECT_EQ(File::create_new(a).error().kind, IoError::Kind::AlreadyExists);
    auto f = File::open_read(a);
    ASSERT_TRUE(f.ok());
    EXPECT_EQ(*f->size(), 11u);
    char buf[16] = {};
    ASSERT_TRUE(f->seek(6).ok());
    EXPECT_EQ(*f->read(buf, sizeof buf), 5u);
    EXPECT_EQ(std::string(buf, 5), "world");
    EXPECT_EQ(*f->read_at(0, buf, 5), 5u);
    EXPECT_EQ(std::string(buf, 5), "Jello");
    EXPECT_EQ(*f->read_at(100, buf, 5), 0u);

    ASSERT_TRUE(rename_replace(a, b).ok());
    EXPECT_FALSE(path_exists(a));
    EXPECT_EQ(*size_of_file(b), 11u);
    ASSERT_TRUE(copy_whole_file(b, a).ok());
    EXPECT_EQ(*read_whole_file(a), *read_whole_file(b));
    ASSERT_TRUE(remove_file(b).ok());
    EXPECT_EQ(File::open_read(b).error().kind, IoError::Kind::NotFound);
}

TEST(File, ErrorsAreClassified) {
    testsupport::TempDir dir;
    EXPECT_EQ(File::open_read(dir.file("missing")).error().kind, IoError::Kind::NotFound);
    // A folder is not a file.
    EXPECT_FALSE(File::open_read(dir.path()).ok());
    ASSERT_TRUE(make_directories(dir.file("x/y/z")).ok());
    EXPECT_TRUE(is_folder(dir.file("x/y/z")));
    EXPECT_EQ(canonical_path(dir.file("x/y/../y/z"))->string(), canonical_path(dir.file("x/y/z"))->string());
}

TEST(File, FoldersAreCreatedFlushedAndRemoved) {
    testsupport::TempDir dir;
    const Path a = dir.file("a");
    ASSERT_TRUE(create_folder(a).ok());
    EXPECT_EQ(create_folder(a).error().kind, IoError::Kind::AlreadyExists);
    EXPECT_EQ(create_folder(dir.file("missing/b")).error().kind, IoError::Kind::NotFound);
    ASSERT_TRUE(write_whole_file(a / "f", "x", 1).ok());
    EXPECT_EQ(create_folder(a / "f").error().kind, IoError::Kind::AlreadyExists);
    EXPECT_TRUE(flush_folder(a).ok());
    EXPECT_EQ(flush_folder(dir.file("missing")).error().kind, IoError::Kind::NotFound);
    ASSERT_TRUE(make_directories(a / "x/y").ok());
    ASSERT_TRUE(remove_tree(a).ok());
    EXPECT_FALSE(path_exists(a));
    EXPECT_TRUE(remove_tree(a).ok());
}

TEST(File, PositionedWritesAndCopies) {
    testsupport::TempDir dir;
    const Path a = dir.file("a"), b = dir.file("b");
    {
        auto f = File::create_new(a);
        ASSERT_TRUE(f.ok());
        // Past the end: the gap reads as zeros.
        ASSERT_TRUE(f->write_all_at(5000, "tail", 4).ok());
        ASSERT_TRUE(f->write_all_at(1, "ab", 2).ok());
        ASSERT_TRUE(f->flush_data_to_device().ok());
    }
    std::vector<std::uint8_t> expected(5004, 0);
    expected[1] = 'a', expected[2] = 'b';
    std::copy_n("tail", 4, expected.begin() + 5000);
    EXPECT_EQ(*read_whole_file(a), expected);
    ASSERT_TRUE(copy_whole_file(a, b).ok());
    EXPECT_EQ(*read_whole_file(b), expected);
    EXPECT_EQ(copy_whole_file(a, b).error().kind, IoError::Kind::AlreadyExists);
    EXPECT_EQ(*read_whole_file(b), expected);
    EXPECT_EQ(copy_whole_file(dir.file("none"), dir.file("c")).error().kind, IoError::Kind::NotFound);
    EXPECT_FALSE(path_exists(dir.file("c")));
    EXPECT_EQ(IoError::from_errno(EPIPE).kind, IoError::Kind::BrokenPipe);
}

TEST(BufferedWriter, KeepsOrderAcrossBufferBoundaries) {
    testsupport::TempDir dir;
    auto f = File::create_new(dir.file("w.bin"));
    ASSERT_TRUE(f.ok());
    BufferedWriter w(*f, 8);
    std::string expected;
    for (int i = 0; i < 50; ++i) {
        std::string piece(static_cast<size_t>(i % 13), static_cast<char>('a' + i % 26));
        w.write(piece.data(), piece.size());
        expected += piece;
    }
    w.write_zeros(5);
    expected.append(5, '\0');
    EXPECT_EQ(w.position(), expected.size());
    ASSERT_TRUE(w.flush().ok());
    auto bytes = *read_whole_file(dir.file("w.bin"));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), expected);
}

TEST(System, AppDataFallsBackThroughXdgToHome) {
    unsetenv("APPDATA");
    setenv("XDG_CONFIG_HOME", "/x/config", 1);
    EXPECT_EQ(app_data_dir(), Path("/x/config"));
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", "/home/u", 1);
    EXPECT_EQ(app_data_dir(), Path("/home/u/.config"));
    setenv("APPDATA", "/appdata", 1);
    EXPECT_EQ(app_data_dir(), Path("/appdata"));
    unsetenv("APPDATA");
}

TEST(System, ClocksAndProcessors) {
    auto t0 = monotonic_ns();
    auto t1 = monotonic_ns();
    EXPECT_LE(t0, t1);
    auto now = utc_now();
    EXPECT_GE(now.year, 2024);
    EXPECT_LT(now.nanosecond, 1000000000u);
    EXPECT_GE(logical_processor_count(), 1u);
}
