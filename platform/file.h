// Files and folders. The only place that talks to the operating system about files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/io_error.h"
#include "platform/result.h"

namespace platform {

using Path = std::filesystem::path;

template <class T>
using IoResult = Result<T, IoError>;

class File {
public:
    File() = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    static IoResult<File> open_read(const Path& path);
    static IoResult<File> open_read_write(const Path& path);   // existing file, not truncated
    static IoResult<File> create_truncate(const Path& path);   // write, created or emptied
    static IoResult<File> create_new(const Path& path);        // write, fails if it exists

    bool is_open() const { return fd_ >= 0; }

    // Reads up to n bytes at the current position; 0 means end of file. Interrupted
    // reads are retried here so callers never see them.
    IoResult<std::size_t> read(void* buffer, std::size_t n);
    // Reads up to n bytes at an absolute offset without moving the file position.
    IoResult<std::size_t> read_at(std::uint64_t offset, void* buffer, std::size_t n) const;
    IoResult<void> write_all(const void* data, std::size_t n);
    IoResult<void> write_all_at(std::uint64_t offset, const void* data, std::size_t n);
    IoResult<void> seek(std::uint64_t offset);
    IoResult<std::uint64_t> size() const;
    IoResult<void> set_size(std::uint64_t size);
    // Pushes written data through every cache to the storage device.
    IoResult<void> flush_to_device();
    // The same for the data and the size only, leaving times and other metadata to the system.
    IoResult<void> flush_data_to_device();
    IoResult<void> close();

private:
    explicit File(int fd) : fd_(fd) {}
    friend IoResult<void> copy_whole_file(const Path& from, const Path& to);
    int fd_ = -1;
};

IoResult<void> rename_replace(const Path& from, const Path& to);
IoResult<void> remove_file(const Path& path);
IoResult<void> make_directories(const Path& path);
// Copies `from` to the new file `to` (fails if `to` exists) and flushes the copy to the device.
// The kernel copies (sharing extents where the file system can); where it cannot, the bytes go
// through a buffer. A failed copy leaves what it wrote in `to`.
IoResult<void> copy_whole_file(const Path& from, const Path& to);
IoResult<Path> canonical_path(const Path& path);
bool path_exists(const Path& path);
bool is_folder(const Path& path);
IoResult<std::uint64_t> size_of_file(const Path& path);
IoResult<std::vector<Path>> list_directory(const Path& path);

// Creates one folder; its parent must exist. An existing entry of that name is AlreadyExists.
IoResult<void> create_folder(const Path& path);
// Flushes a folder's entries to the device, so that files created or renamed in it survive a
// crash. A file system that cannot flush folders counts as flushed.
IoResult<void> flush_folder(const Path& path);
// Deletes a folder with everything in it (or a single file); a missing path is not an error.
IoResult<void> remove_tree(const Path& path);

// Whole-file helpers for small files (settings, fixtures, manifests).
IoResult<std::vector<std::uint8_t>> read_whole_file(const Path& path);
IoResult<void> write_whole_file(const Path& path, const void* data, std::size_t n);

}  // namespace platform
