// Access to an image file: whole sectors by logical sector number, and bounded byte windows.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/result.h"

namespace sacd {

inline constexpr std::uint32_t kSectorSize = 2048;
inline constexpr std::uint64_t lsn_offset(std::uint64_t lsn) { return lsn << 11; }

using Bytes = std::vector<std::uint8_t>;
using Sector = std::array<std::uint8_t, kSectorSize>;

// A sector, or nothing when it cannot be read whole (callers decide what that means).
std::optional<Sector> read_sector(const platform::File& file, std::uint64_t lsn);
// `count` consecutive sectors, or nothing as soon as one is unreadable.
std::optional<Bytes> read_block(const platform::File& file, std::uint64_t lsn, std::uint32_t count);

// The file-system error: reading windows of the image and interpreting its bridge file system.
struct FsError {
    enum class Kind { PastEnd, UnrecognisedLayout, ReadFailure };
    Kind kind = Kind::ReadFailure;
    std::uint64_t offset = 0, need = 0, have = 0;  // PastEnd
    std::string text;                              // UnrecognisedLayout, ReadFailure

    static FsError past_end(std::uint64_t offset, std::uint64_t need, std::uint64_t have) {
        return FsError{Kind::PastEnd, offset, need, have, {}};
    }
    static FsError unrecognised(std::string text) { return FsError{Kind::UnrecognisedLayout, 0, 0, 0, std::move(text)}; }
    static FsError read_failure(std::string text) { return FsError{Kind::ReadFailure, 0, 0, 0, std::move(text)}; }

    // English only, whatever the language switch.
    std::string display() const;
};

// A bounded random-access reader over an image, in memory or backed by an open file.
class ByteSource {
public:
    static constexpr std::uint64_t kMaxRead = 67108864;  // 64 MiB per read

    // A non-owning view of a buffer that must outlive the source.
    static ByteSource memory(std::span<const std::uint8_t> bytes);
    // Takes the handle; it is closed when the source is destroyed.
    static ByteSource file(platform::File file, std::uint64_t size);

    // Exactly `len` bytes at `offset`, or an error; never a short vector.
    platform::Result<Bytes, FsError> read_at(std::uint64_t offset, std::uint64_t len);
    // The same into a buffer the caller owns (large reads then need no second buffer); after a
    // failure `out` holds no meaningful bytes.
    platform::Result<void, FsError> read_into(std::uint64_t offset, std::span<std::uint8_t> out);

    std::uint64_t size() const { return file_ ? file_size_ : memory_.size(); }

private:
    ByteSource() = default;

    std::span<const std::uint8_t> memory_;
    std::optional<platform::File> file_;
    std::uint64_t file_size_ = 0;
    bool read_in_progress_ = false;  // guards the shared file position against nested reads
};

}  // namespace sacd
