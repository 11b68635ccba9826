#include "sacd/image.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace sacd {

std::optional<Sector> read_sector(const platform::File& file, std::uint64_t lsn) {
    if (lsn > (UINT64_MAX >> 11)) return std::nullopt;
    Sector sector;
    auto got = file.read_at(lsn_offset(lsn), sector.data(), sector.size());
    if (!got || *got != sector.size()) return std::nullopt;
    return sector;
}

std::optional<Bytes> read_block(const platform::File& file, std::uint64_t lsn, std::uint32_t count) {
    Bytes block;
    block.reserve(std::size_t{count} * kSectorSize);
    for (std::uint32_t i = 0; i < count; ++i) {
        auto sector = read_sector(file, lsn + i);
        if (!sector) return std::nullopt;
        block.insert(block.end(), sector->begin(), sector->end());
    }
    return block;
}

std::string FsError::display() const {
    switch (kind) {
        case Kind::PastEnd:
            return "file system read past end of image at byte " + std::to_string(offset) + ": need " +
                   std::to_string(need) + " bytes, have " + std::to_string(have);
        case Kind::UnrecognisedLayout:
            return "unrecognised file-system layout (refusing to guess): " + text;
        case Kind::ReadFailure:
            return "error reading the image file system: " + text;
    }
    return text;
}

ByteSource ByteSource::memory(std::span<const std::uint8_t> bytes) {
    ByteSource s;
    s.memory_ = bytes;
    return s;
}

ByteSource ByteSource::file(platform::File file, std::uint64_t size) {
    ByteSource s;
    s.file_.emplace(std::move(file));
    s.file_size_ = size;
    return s;
}

namespace {

// Why a window cannot be read from a source of `size` bytes, if it cannot; checked before
// anything is allocated for it.
std::optional<FsError> window_error(std::uint64_t offset, std::uint64_t len, std::uint64_t size) {
    if (len > ByteSource::kMaxRead)
        return FsError::unrecognised("file-system read window of " + std::to_string(len) + " bytes exceeds the " +
                                     std::to_string(ByteSource::kMaxRead) + "-byte maximum (corrupt length field?)");
    if (offset > UINT64_MAX - len) return FsError::past_end(offset, len, 0);
    if (offset + len > size) return FsError::past_end(offset, len, offset < size ? size - offset : 0);
    return std::nullopt;
}

}  // namespace

platform::Result<Bytes, FsError> ByteSource::read_at(std::uint64_t offset, std::uint64_t len) {
    if (auto bad = window_error(offset, len, size())) return platform::err(std::move(*bad));
    Bytes out(static_cast<std::size_t>(len));
    if (auto r = read_into(offset, out); !r) return platform::err(std::move(r).error());
    return out;
}

platform::Result<void, FsError> ByteSource::read_into(std::uint64_t offset, std::span<std::uint8_t> out) {
    using platform::err;
    const std::uint64_t len = out.size();
    if (auto bad = window_error(offset, len, size())) return err(std::move(*bad));

    if (!file_) {
        std::copy_n(memory_.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
        return {};
    }

    if (read_in_progress_) return err(FsError::read_failure("internal: re-entrant ByteSource read"));
    read_in_progress_ = true;
    struct Clear {
        bool& flag;
        ~Clear() { flag = false; }
    } clear{read_in_progress_};

    if (len == 0) return {};
    auto seek = file_->seek(offset);
    if (!seek) return err(FsError::read_failure(seek.error().text));
    std::size_t done = 0;
    while (done < out.size()) {
        auto got = file_->read(out.data() + done, out.size() - done);  // retries interrupted reads
        if (!got) return err(FsError::read_failure(got.error().text));
        if (*got == 0) break;
        done += *got;
    }
    if (done < out.size()) return err(FsError::past_end(offset, len, done));
    return {};
}

}  // namespace sacd
