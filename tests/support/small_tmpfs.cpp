#include "tests/support/small_tmpfs.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <vector>

namespace testsupport {

SmallTmpfs::SmallTmpfs(std::uint64_t size_bytes) {
    std::string tmpl = (std::filesystem::temp_directory_path() / "velmora-tmpfs-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp");
    path_ = tmpl;
    const std::string options = "size=" + std::to_string(size_bytes) + ",mode=0755";
    if (::mount("tmpfs", path_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0) {
        mounted_ = true;
    } else {
        skip_reason_ = "cannot mount a tmpfs here (" + std::string(std::strerror(errno)) +
                       "); the full-disc test needs the right to mount";
    }
}

SmallTmpfs::~SmallTmpfs() {
    if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
    ::rmdir(path_.c_str());
}

std::uint64_t SmallTmpfs::free_bytes() const {
    struct statvfs st;
    if (::statvfs(path_.c_str(), &st) != 0) throw std::runtime_error("statvfs");
    return std::uint64_t{st.f_bavail} * st.f_frsize;
}

void SmallTmpfs::fill_leaving(std::uint64_t free) {
    const std::string filler = path_ + "/.filler";
    ::unlink(filler.c_str());
    const std::uint64_t available = free_bytes();
    if (available <= free) return;
    int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create the filler file");
    std::vector<char> block(available - free, 'f');
    std::size_t done = 0;
    while (done < block.size()) {
        ssize_t n = ::write(fd, block.data() + done, block.size() - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

}  // namespace testsupport
