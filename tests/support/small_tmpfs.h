// A small tmpfs mounted for one test, to run code against a file system that fills up.
//
//     testsupport::SmallTmpfs fs(64 * 1024);
//     if (!fs.mounted()) GTEST_SKIP() << fs.skip_reason();
//     fs.fill_leaving(2 * 4096);  // leaves two pages free
//
// The destructor unmounts it and removes the mount point.
#pragma once

#include <cstdint>
#include <string>

namespace testsupport {

class SmallTmpfs {
public:
    explicit SmallTmpfs(std::uint64_t size_bytes);
    ~SmallTmpfs();
    SmallTmpfs(const SmallTmpfs&) = delete;
    SmallTmpfs& operator=(const SmallTmpfs&) = delete;

    bool mounted() const { return mounted_; }
    const std::string& skip_reason() const { return skip_reason_; }
    const std::string& path() const { return path_; }

    // Bytes the file system can still take.
    std::uint64_t free_bytes() const;
    // Writes a filler file (path()/".filler") so that at most `free` bytes stay free; a second
    // call replaces the first filler.
    void fill_leaving(std::uint64_t free);

private:
    std::string path_;
    bool mounted_ = false;
    std::string skip_reason_;
};

}  // namespace testsupport
