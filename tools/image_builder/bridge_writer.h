// Writes the ISO 9660 / UDF bridge of a synthetic image: everything before the Master TOC (LSN
// 0..509) and the tail after the last area. Written from ECMA-119 and ECMA-167 alone, so that the
// program's own readers and the independent judges can be tried against it.
//
// Head: ISO 9660 PVD (16), set terminator (17), UDF recognition sequence (18-20), type L and M path
// tables with their optional copies (21-24), the ISO 9660 directories (25..31), the UDF main and
// reserve volume descriptor sequences (32, 48), the integrity sequence (64), the anchor (256) and
// the UDF partition from 257 on: File Set Descriptor, its terminator, File Entries and directories.
// Tail: /TAIL.DAT, then zeros, then the closing anchor in the image's last sector.
//
// Files: /MASTER.TOC (the master TOC range, LSN 510..543), /AUDIO/STEREO.DAT and
// /AUDIO/MULTICH.DAT (each area's audio sectors), /TAIL.DAT (the tail's first sectors).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/result.h"

namespace image_builder {

struct BridgeSpec {
    std::uint32_t tail_file_sectors = 2;  // /TAIL.DAT; the tail needs one more sector for the anchor
    // Files are cut into extents of at most this many bytes (a multiple of 2048; 0 = the formats'
    // own limits), which makes multi-extent ISO 9660 files and several UDF allocation descriptors.
    std::uint32_t max_extent_bytes = 0;
};

// One file as the builder placed it: one run of sectors.
struct BridgeFile {
    std::string path;  // "/AUDIO/STEREO.DAT"
    std::uint32_t first_lsn = 0;
    std::uint64_t bytes = 0;
};

struct BridgeLayout {
    struct Area {
        bool multichannel = false;
        std::uint32_t audio_start = 0, audio_sectors = 0;
    };
    std::uint64_t total_sectors = 0;
    std::vector<Area> areas;  // in image order
    std::uint32_t tail_start = 0, tail_sectors = 0;
};

struct Bridge {
    std::vector<std::uint8_t> head;  // 510 sectors
    std::vector<std::uint8_t> tail;  // tail_sectors sectors
    std::vector<BridgeFile> files;
};

platform::Result<Bridge, std::string> build_bridge(const BridgeSpec& spec, const BridgeLayout& layout);

}  // namespace image_builder
