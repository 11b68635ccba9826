// The UDF half of the bridge (ECMA-167): anchors, volume descriptor sequences, the one partition
// and logical volume, the File Set Descriptor, File Entries and File Identifier Descriptors.
// Exactly the shape an SACD bridge uses is read; everything else is refused by name.
#pragma once

#include <cstdint>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "sacd/fs/sites.h"
#include "sacd/image.h"

namespace sacd::fs {

inline constexpr std::uint64_t kPrimaryAnchorLsn = 256;

// The ECMA-167 descriptor CRC: CRC-16/CCITT, polynomial 0x1021, initial value 0, most significant
// bit first, no final inversion.
std::uint16_t descriptor_crc(std::span<const std::uint8_t> body);
// The sum modulo 256 of tag bytes 0-3 and 5-15.
std::uint8_t tag_checksum(std::span<const std::uint8_t> tag);
bool tag_checksum_ok(std::span<const std::uint8_t> tag);

// How a descriptor's tag verifies; `descriptor` holds the tag and at least its CRC-length body.
struct TagVerdict {
    bool checksum_ok = false;
    bool crc_ok = false;  // false also when the body is shorter than the CRC length
};
TagVerdict verify_descriptor_tag(std::span<const std::uint8_t> descriptor);

struct DescriptorTag {
    std::uint16_t id = 0, version = 0;
    std::uint8_t checksum = 0;
    std::uint16_t serial = 0, crc = 0, crc_length = 0;
    std::uint32_t location = 0;

    static DescriptorTag read(std::span<const std::uint8_t> bytes);  // at least 16 bytes
};

struct Avdp {
    std::uint64_t offset = 0;
    std::uint32_t main_length = 0, main_location = 0;        // bytes, LSN
    std::uint32_t reserve_length = 0, reserve_location = 0;  // bytes, LSN
    std::uint16_t crc_length = 0;

    static FsResult<Avdp> parse_at(ByteSource& source, std::uint64_t lsn);
};

struct VolumeDescriptor {
    enum class Type : std::uint16_t {
        Primary = 1,
        ImplementationUse = 4,
        Partition = 5,
        LogicalVolume = 6,
        UnallocatedSpace = 7,
        Terminating = 8,
    };
    Type type = Type::Terminating;
    std::uint64_t offset = 0;
    std::uint16_t crc_length = 0;
    // Primary
    std::uint32_t abstract_length = 0, abstract_location = 0;
    std::uint32_t copyright_length = 0, copyright_location = 0;
    // Partition
    std::uint16_t partition_number = 0;
    std::uint32_t partition_start = 0, partition_length = 0;  // LSN, blocks
    // Logical volume
    std::uint32_t block_size = 0;
    std::uint32_t integrity_length = 0, integrity_location = 0;
    // Unallocated space: the descriptors themselves are read when their sites are emitted.
    std::uint32_t n_ad = 0;
};

// The descriptors of one sequence, in order, up to a Terminating Descriptor or an unrecorded sector.
FsResult<std::vector<VolumeDescriptor>> read_vds_extent(ByteSource& source, std::uint32_t length,
                                                        std::uint32_t location);

// Sites of the main and reserve sequences and of the anchors; `image_sectors` bounds the probes for
// backup anchors.
FsResult<void> udf_volume_sites(ByteSource& source, std::uint64_t image_sectors, BridgeSites& out);
// The starting LSN of the one partition, from the main sequence the anchor names.
FsResult<std::uint32_t> udf_partition_start(ByteSource& source, const Avdp& anchor);
// Sites of the LVD's FSD pointer, the FSD and the whole directory tree.
FsResult<void> udf_file_sites(ByteSource& source, const Avdp& anchor, BridgeSites& out);

// Files below the directory whose File Entry is at partition block `fe_block`.
FsResult<void> walk_udf_dir(ByteSource& source, std::uint32_t partition_start, std::uint32_t fe_block,
                            const std::string& parent, std::vector<FsFile>& files, std::set<std::uint32_t>& visited,
                            unsigned depth);
// Every file of the tree from the FSD's root directory.
FsResult<std::vector<FsFile>> udf_files(ByteSource& source);

}  // namespace sacd::fs
