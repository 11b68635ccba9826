#include "platform/file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <system_error>

namespace platform {

IoError IoError::from_errno(int errnum) {
    IoError e;
    e.code = errnum;
    e.text = std::strerror(errnum);
    switch (errnum) {
        case ENOENT: case ENOTDIR: e.kind = Kind::NotFound; break;
        case EACCES: case EPERM: case EROFS: e.kind = Kind::PermissionDenied; break;
        case EEXIST: e.kind = Kind::AlreadyExists; break;
        case EPIPE: e.kind = Kind::BrokenPipe; break;
        default: e.kind = Kind::Other; break;
    }
    return e;
}

namespace {

IoError last_error() { return IoError::from_errno(errno); }

IoError from_error_code(const std::error_code& ec) { return IoError::from_errno(ec.value()); }

IoResult<File> open_with(const Path& path, int flags, mode_t mode, File (*make)(int)) {
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return err(last_error());
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        return err(IoError::from_errno(EISDIR));
    }
    return make(fd);
}

}  // namespace

File::~File() {
    if (fd_ >= 0) ::close(fd_);
}

File::File(File&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

IoResult<File> File::open_read(const Path& path) {
    return open_with(path, O_RDONLY, 0, [](int fd) { return File(fd); });
}

IoResult<File> File::open_read_write(const Path& path) {
    return open_with(path, O_RDWR, 0, [](int fd) { return File(fd); });
}

IoResult<File> File::create_truncate(const Path& path) {
    return open_with(path, O_WRONLY | O_CREAT | O_TRUNC, 0644, [](int fd) { return File(fd); });
}

IoResult<File> File::create_new(const Path& path) {
    return open_with(path, O_WRONLY | O_CREAT | O_EXCL, 0644, [](int fd) { return File(fd); });
}

IoResult<std::size_t> File::read(void* buffer, std::size_t n) {
    for (;;) {
        ssize_t got = ::read(fd_, buffer, n);
        if (got >= 0) return static_cast<std::size_t>(got);
        if (errno != EINTR) return err(last_error());
    }
}

IoResult<std::size_t> File::read_at(std::uint64_t offset, void* buffer, std::size_t n) const {
    std::size_t done = 0;
    auto* out = static_cast<unsigned char*>(buffer);
    while (done < n) {
        ssize_t got = ::pread(fd_, out + done, n - done, static_cast<off_t>(offset + done));
        if (got < 0) {
            if (errno == EINTR) continue;
            return err(last_error());
        }
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

IoResult<void> File::write_all(const void* data, std::size_t n) {
    auto* in = static_cast<const unsigned char*>(data);
    while (n > 0) {
        ssize_t put = ::write(fd_, in, n);
        if (put < 0) {
            if (errno == EINTR) continue;
            return err(last_error());
        }
        in += put;
        n -= static_cast<std::size_t>(put);
    }
    return {};
}

IoResult<void> File::write_all_at(std::uint64_t offset, const void* data, std::size_t n) {
    auto* in = static_cast<const unsigned char*>(data);
    while (n > 0) {
        ssize_t put = ::pwrite(fd_, in, n, static_cast<off_t>(offset));
        if (put < 0) {
            if (errno == EINTR) continue;
            return err(last_error());
        }
        in += put;
        offset += static_cast<std::uint64_t>(put);
        n -= static_cast<std::size_t>(put);
    }
    return {};
}

IoResult<void> File::seek(std::uint64_t offset) {
    if (offset > static_cast<std::uint64_t>(INT64_MAX)) return err(IoError::from_errno(EINVAL));
    if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) return err(last_error());
    return {};
}

IoResult<std::uint64_t> File::size() const {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return err(last_error());
    return static_cast<std::uint64_t>(st.st_size);
}

IoResult<void> File::set_size(std::uint64_t size) {
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) return err(last_error());
    return {};
}

IoResult<void> File::flush_to_device() {
    if (::fsync(fd_) != 0) return err(last_error());
    return {};
}

IoResult<void> File::flush_data_to_device() {
    if (::fdatasync(fd_) != 0) return err(last_error());
    return {};
}

IoResult<void> File::close() {
    if (fd_ < 0) return {};
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR) return err(last_error());
    return {};
}

IoResult<void> rename_replace(const Path& from, const Path& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) return err(last_error());
    // Make the rename itself durable: flush the folder that holds the new name.
    Path dir = to.parent_path().empty() ? Path(".") : to.parent_path();
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
    return {};
}

IoResult<void> remove_file(const Path& path) {
    if (::unlink(path.c_str()) != 0) return err(last_error());
    return {};
}

IoResult<void> make_directories(const Path& path) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (ec) return err(from_error_code(ec));
    if (!std::filesystem::is_directory(path, ec)) return err(IoError::from_errno(ENOTDIR));
    return {};
}

namespace {

// Whether copy_file_range refused the pair of files as such (no kernel support, different file
// systems, a file system without it), so that a plain copy can take over where it stopped.
bool kernel_copy_unsupported(int errnum) {
    return errnum == ENOSYS || errnum == EXDEV || errnum == EINVAL || errnum == EOPNOTSUPP;
}

}  // namespace

IoResult<void> copy_whole_file(const Path& from, const Path& to) {
    auto in = File::open_read(from);
    if (!in) return err(in.error());
    auto out = File::create_new(to);
    if (!out) return err(out.error());
    // Explicit offsets, so that a plain copy can carry on from wherever the kernel copy stopped.
    off_t in_off = 0, out_off = 0;
    bool kernel_copy = true;
    while (kernel_copy) {
        ssize_t n = ::copy_file_range(in->fd_, &in_off, out->fd_, &out_off, std::size_t{1} << 30, 0);
        if (n == 0) break;
        if (n > 0) continue;
        if (errno == EINTR) continue;
        if (!kernel_copy_unsupported(errno)) return err(last_error());
        kernel_copy = false;
    }
    if (!kernel_copy) {
        std::vector<unsigned char> buffer(4u << 20);
        for (;;) {
            auto got = in->read_at(static_cast<std::uint64_t>(in_off), buffer.data(), buffer.size());
            if (!got) return err(got.error());
            if (*got == 0) break;
            auto put = out->write_all_at(static_cast<std::uint64_t>(out_off), buffer.data(), *got);
            if (!put) return err(put.error());
            in_off += static_cast<off_t>(*got);
            out_off += static_cast<off_t>(*got);
        }
    }
    auto flushed = out->flush_to_device();
    if (!flushed) return err(flushed.error());
    return out->close();
}

IoResult<Path> canonical_path(const Path& path) {
    std::error_code ec;
    Path p = std::filesystem::canonical(path, ec);
    if (ec) return err(from_error_code(ec));
    return p;
}

bool path_exists(const Path& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

bool is_folder(const Path& path) {
    std::error_code ec;
    return std::filesystem::is_directory(path, ec);
}

IoResult<std::uint64_t> size_of_file(const Path& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return err(last_error());
    return static_cast<std::uint64_t>(st.st_size);
}

IoResult<std::vector<Path>> list_directory(const Path& path) {
    std::error_code ec;
    std::vector<Path> entries;
    for (std::filesystem::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec))
        entries.push_back(it->path());
    if (ec) return err(from_error_code(ec));
    return entries;
}

IoResult<void> create_folder(const Path& path) {
    if (::mkdir(path.c_str(), 0755) != 0) return err(last_error());
    return {};
}

IoResult<void> flush_folder(const Path& path) {
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return err(last_error());
    int rc = ::fsync(fd);
    int saved = errno;
    ::close(fd);
    if (rc != 0 && saved != EINVAL) return err(IoError::from_errno(saved));
    return {};
}

IoResult<void> remove_tree(const Path& path) {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
    if (ec) return err(from_error_code(ec));
    return {};
}

IoResult<std::vector<std::uint8_t>> read_whole_file(const Path& path) {
    auto f = File::open_read(path);
    if (!f) return err(f.error());
    auto size = f->size();
    if (!size) return err(size.error());
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(*size));
    auto got = f->read_at(0, bytes.data(), bytes.size());
    if (!got) return err(got.error());
    bytes.resize(*got);
    return bytes;
}

IoResult<void> write_whole_file(const Path& path, const void* data, std::size_t n) {
    auto f = File::create_truncate(path);
    if (!f) return err(f.error());
    auto put = f->write_all(data, n);
    if (!put) return err(put.error());
    return f->close();
}

}  // namespace platform
