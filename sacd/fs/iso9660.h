// The ISO 9660 half of the bridge (ECMA-119): the Primary Volume Descriptor, the volume descriptor
// set, directory records and path tables. Read only: it lists the places that hold sector
// addresses and sizes, and the files with their extents.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "sacd/fs/sites.h"
#include "sacd/image.h"

namespace sacd::fs {

inline constexpr std::uint64_t kPvdOffset = 16 * 2048;
inline constexpr unsigned kMaxDirDepth = 32;

struct Pvd {
    std::uint64_t offset = kPvdOffset;
    std::uint32_t volume_space_size = 0;  // logical blocks
    std::uint16_t block_size = 0;
    std::uint32_t path_table_size = 0;    // bytes
    std::uint32_t l_path_table = 0, opt_l_path_table = 0;  // 0 = none for the optional tables
    std::uint32_t m_path_table = 0, opt_m_path_table = 0;
    std::array<std::uint8_t, 34> root_record{};

    static FsResult<Pvd> parse(ByteSource& source);
};

struct DirRecord {
    std::vector<std::uint8_t> identifier;
    std::uint64_t offset = 0;  // image byte offset of the record
    std::uint32_t extent = 0;
    std::uint32_t data_length = 0;
    bool directory = false;
    bool multi_extent = false;  // the file continues in the next record
    std::uint8_t len_dr = 0;

    // "." and "..": a one-byte identifier 0 or 1.
    bool is_self_or_parent() const { return identifier.size() == 1 && identifier[0] <= 1; }

    // Nothing when LEN_DR is 0 (no more records in this block).
    static FsResult<std::optional<DirRecord>> parse(ByteSource& source, std::uint64_t offset);
    // The root record copied from the PVD; `offset` is where it lies in the image.
    static FsResult<DirRecord> parse_root(std::span<const std::uint8_t, 34> bytes, std::uint64_t offset);
};

// Sectors 16.. up to the set terminator: only primary descriptors are accepted before it.
FsResult<void> scan_volume_descriptors(ByteSource& source);

// Sites of every record of the tree below a directory (depth-first, records in order).
FsResult<void> collect_dir_record_sites(ByteSource& source, std::uint32_t block_size, std::uint32_t extent,
                                        std::uint32_t data_length, std::set<std::uint32_t>& visited, unsigned depth,
                                        std::vector<PointerSite>& sites);

// The PVD's own sites, then the directory tree from the root.
FsResult<void> pvd_sites(ByteSource& source, const Pvd& pvd, std::vector<PointerSite>& sites);
FsResult<void> path_table_sites(ByteSource& source, const Pvd& pvd, std::vector<PointerSite>& sites);

// Files below a directory, with multi-extent records merged.
FsResult<void> walk_dir(ByteSource& source, std::uint32_t block_size, std::uint32_t extent, std::uint32_t data_length,
                        const std::string& parent, std::vector<FsFile>& files, std::set<std::uint32_t>& visited,
                        unsigned depth);

// The whole ISO 9660 side, in transform order: PVD, descriptor set, PVD and tree sites, path tables.
FsResult<void> iso9660_sites(ByteSource& source, std::vector<PointerSite>& sites);
// Every file of the tree from the root.
FsResult<std::vector<FsFile>> iso9660_files(ByteSource& source, const Pvd& pvd);

}  // namespace sacd::fs
