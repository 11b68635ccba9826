#include "sacd/image.h"
#include "tests/support/process.h"

#include <gtest/gtest.h>

#include <numeric>

using namespace sacd;

namespace {

// A file of `sectors` sectors whose byte i holds i mod 251.
std::string make_image(const testsupport::TempDir& dir, std::size_t bytes) {
    std::vector<std::uint8_t> data(bytes);
    for (std::size_t i = 0; i < bytes; ++i) data[i] = static_cast<std::uint8_t>(i % 251);
    std::string path = dir.file("image.iso");
    EXPECT_TRUE(platform::write_whole_file(path, data.data(), data.size()).ok());
    return path;
}

ByteSource open_source(const std::string& path) {
    auto f = platform::File::open_read(path);
    EXPECT_TRUE(f.ok());
    auto size = *f->size();
    return ByteSource::file(std::move(f).value(), size);
}

}  // namespace

TEST(ReadSector, ReadsWholeSectorsOnly) {
    testsupport::TempDir dir;
    auto path = make_image(dir, 3 * 2048 + 100);
    auto f = platform::File::open_read(path);
    auto s1 = read_sector(*f, 1);
    ASSERT_TRUE(s1);
    EXPECT_EQ((*s1)[0], 2048 % 251);
    EXPECT_FALSE(read_sector(*f, 3));  // only 100 bytes there
    EXPECT_FALSE(read_sector(*f, UINT64_MAX));
    EXPECT_EQ(read_block(*f, 0, 3)->size(), 3u * 2048);
    EXPECT_FALSE(read_block(*f, 1, 3));  // last whole sector is 2
    EXPECT_TRUE(read_block(*f, 9, 0)->empty());
}

struct WindowCase {
    const char* name;
    std::uint64_t offset_from_end;  // offset = size - this (or absolute when `absolute`)
    bool absolute;
    std::uint64_t len;
    FsError::Kind kind;
    std::uint64_t have;
};

class ByteSourceBoundary : public ::testing::TestWithParam<bool> {};

TEST_P(ByteSourceBoundary, EdgeWindows) {
    const bool file_form = GetParam();
    testsupport::TempDir dir;
    const std::uint64_t size = 5000;
    auto path = make_image(dir, size);
    auto bytes = *platform::read_whole_file(path);
    ByteSource src = file_form ? open_source(path) : ByteSource::memory(bytes);

    auto empty = src.read_at(size, 0);
    ASSERT_TRUE(empty.ok());
    EXPECT_TRUE(empty->empty());

    const WindowCase cases[] = {
        {"one past end", 0, false, 1, FsError::Kind::PastEnd, 0},
        {"straddles end", 100, false, 2048, FsError::Kind::PastEnd, 100},
        {"beyond end", 0, true, 0, FsError::Kind::PastEnd, 0},
        {"offset near 2^64", UINT64_MAX - 10, true, 100, FsError::Kind::PastEnd, 0},
        {"far beyond end", 1ull << 40, true, 16, FsError::Kind::PastEnd, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::uint64_t offset = c.absolute ? c.offset_from_end : size - c.offset_from_end;
        if (c.absolute && c.offset_from_end == 0) offset = size + 10;
        std::uint64_t len = c.len ? c.len : 1;
        auto r = src.read_at(offset, len);
        ASSERT_FALSE(r.ok());
        EXPECT_EQ(r.error().kind, c.kind);
        EXPECT_EQ(r.error().offset, offset);
        EXPECT_EQ(r.error().need, len);
        EXPECT_EQ(r.error().have, c.have);
    }

    auto too_big = src.read_at(0, 67108865);
    ASSERT_FALSE(too_big.ok());
    EXPECT_EQ(too_big.error().display(),
              "unrecognised file-system layout (refusing to guess): file-system read window of 67108865 bytes "
              "exceeds the 67108864-byte maximum (corrupt length field?)");

    // The source stays usable after failures and returns exact windows.
    auto w = src.read_at(4000, 1000);
    ASSERT_TRUE(w.ok());
    ASSERT_EQ(w->size(), 1000u);
    EXPECT_TRUE(std::equal(w->begin(), w->end(), bytes.begin() + 4000));

    // Reading into the caller's buffer gives the same window and the same refusals.
    Bytes into(1000);
    ASSERT_TRUE(src.read_into(4000, into).ok());
    EXPECT_EQ(into, *w);
    auto past = src.read_into(size - 100, into);
    ASSERT_FALSE(past.ok());
    EXPECT_EQ(past.error().display(), "file system read past end of image at byte 4900: need 1000 bytes, have 100");
}

INSTANTIATE_TEST_SUITE_P(Forms, ByteSourceBoundary, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "File" : "Memory"; });

TEST(ByteSource, FileShrunkAfterOpeningReportsWhatArrived) {
    testsupport::TempDir dir;
    auto path = make_image(dir, 4096);
    ByteSource src = open_source(path);
    {
        auto rw = platform::File::open_read_write(path);
        ASSERT_TRUE(rw->set_size(3000).ok());
    }
    auto r = src.read_at(2048, 2048);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().display(), "file system read past end of image at byte 2048: need 2048 bytes, have 952");
}

TEST(FsError, DisplayTexts) {
    EXPECT_EQ(FsError::past_end(10, 20, 5).display(), "file system read past end of image at byte 10: need 20 bytes, have 5");
    EXPECT_EQ(FsError::read_failure("boom").display(), "error reading the image file system: boom");
}
