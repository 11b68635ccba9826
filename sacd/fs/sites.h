// What the bridge readers report: the places in the image that hold sector addresses or sizes
// (pointer sites), the UDF descriptor tags that must be re-checksummed after patching, and the
// files that each file-system tree lists.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/result.h"
#include "sacd/image.h"

namespace sacd::fs {

template <class T>
using FsResult = platform::Result<T, FsError>;

// An unrecognised-layout error carrying `text`.
inline platform::Err<FsError> layout_error(std::string text) { return platform::err(FsError::unrecognised(std::move(text))); }

enum class SiteEncoding {
    Le32,    // u32 little-endian at offset
    Be32,    // u32 big-endian at offset
    Both32,  // u32 little-endian at offset, the same value big-endian at offset2
};

enum class SiteValueKind {
    AbsoluteLsn,
    PartitionBlock,  // block relative to the UDF partition start
    ByteLength,      // a size in bytes; never rewritten
    BlockCount,      // a size in blocks that grows with the image
};

struct PointerSite {
    SiteEncoding encoding = SiteEncoding::Le32;
    std::uint64_t offset = 0;   // image byte offset of the (little-endian) value
    std::uint64_t offset2 = 0;  // the big-endian copy (Both32 only)
    std::string label;
    std::uint32_t value = 0;    // as found in the source image
    SiteValueKind kind = SiteValueKind::AbsoluteLsn;
};

// One UDF descriptor tag whose CRC and checksum are recomputed after patching.
struct ChecksumSite {
    std::uint64_t tag = 0;   // byte offset of the 16-byte tag
    std::uint64_t body = 0;  // always tag + 16
    std::uint16_t crc_length = 0;
};

struct BridgeSites {
    std::vector<PointerSite> sites;
    std::vector<ChecksumSite> checksums;
};

// One file of a tree, for the output check.
struct FsFile {
    std::string path;  // "/"-separated from the root, starting with "/"
    std::vector<std::pair<std::uint32_t, std::uint32_t>> extents;  // (start LSN, length in bytes)
};

}  // namespace sacd::fs
