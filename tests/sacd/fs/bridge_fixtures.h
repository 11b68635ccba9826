// Builder images with an ISO 9660 / UDF bridge, where the builder puts each structure, and small
// helpers to damage a structure and re-seal its UDF tag (CRC and checksum computed here, from
// ECMA-167, not by the code under test).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/bytes.h"
#include "platform/file.h"
#include "sacd/disc.h"
#include "sacd/fs/transform.h"
#include "tests/support/process.h"
#include "tools/image_builder/image_builder.h"

namespace bridgetest {

using Bytes = std::vector<std::uint8_t>;
constexpr std::uint64_t S = 2048;

// Where the builder's bridge lies (tools/image_builder/bridge_writer.h).
constexpr std::uint32_t kMainVds = 32, kReserveVds = 48;  // PVD, IUVD, PD, LVD, USD, TD
constexpr std::uint32_t kPd = 2, kLvd = 3, kUsd = 4;      // within a sequence
constexpr std::uint32_t kAnchor = 256, kP = 257;          // partition start
// Partition blocks: FSD, its terminator, root FE, root FIDs, AUDIO FE, AUDIO FIDs, then the files'
// FEs: MASTER.TOC, TAIL.DAT, then the audio files in image order.
constexpr std::uint32_t kFsdBlock = 0, kRootFe = 2, kRootFids = 3, kAudioFe = 4, kAudioFids = 5;
constexpr std::uint32_t kMasterFe = 6, kTailFe = 7, kStereoFe = 8, kMultichFe = 9;

inline std::uint64_t at_block(std::uint32_t block) { return (kP + block) * S; }

struct Options {
    bool multichannel = false;          // a second, DST-coded area
    std::uint32_t gap_before_area = 0;  // sectors between the master range and the first area
    std::uint32_t max_extent_bytes = 0;
    std::uint32_t tail_file_sectors = 2;
    std::uint32_t tail_sectors = 3;
};

struct BridgeImage {
    std::string path;
    image_builder::BuiltImage built;
    Bytes bytes;
};

inline BridgeImage build(const testsupport::TempDir& dir, const Options& o = {}, const std::string& name = "b.iso") {
    auto spec = image_builder::sample_spec(2, 30);
    if (o.multichannel) {
        image_builder::AreaSpec mch = spec.areas[0];
        mch.multichannel = true;
        mch.channel_count = 6;
        mch.frame_format = 0;
        spec.areas.push_back(mch);
    }
    spec.gap_before_first_area = o.gap_before_area;
    spec.tail_sectors = o.tail_sectors;
    spec.bridge = image_builder::BridgeSpec{o.tail_file_sectors, o.max_extent_bytes};
    BridgeImage out;
    out.path = dir.file(name);
    auto built = image_builder::build_image(spec, out.path);
    EXPECT_TRUE(built) << (built ? "" : built.error());
    if (built) out.built = *built;
    auto bytes = platform::read_whole_file(out.path);
    EXPECT_TRUE(bytes);
    if (bytes) out.bytes = *bytes;
    return out;
}

inline std::uint16_t ecma_crc(const std::uint8_t* p, std::size_t n) {
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= static_cast<std::uint16_t>(p[i] << 8);
        for (int b = 0; b < 8; ++b) crc = static_cast<std::uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

// Recomputes the CRC and checksum of the descriptor tag at `at` after a change to it.
inline void reseal(Bytes& b, std::uint64_t at) {
    const std::uint16_t crc_length = platform::read_u16_le(b.data() + at + 10);
    platform::write_u16_le(b.data() + at + 8, ecma_crc(b.data() + at + 16, crc_length));
    unsigned sum = 0;
    for (int i = 0; i < 16; ++i)
        if (i != 4) sum += b[at + i];
    b[at + 4] = static_cast<std::uint8_t>(sum);
}

// Whether the tag at `at` verifies (checksum and CRC).
inline bool sealed(const Bytes& b, std::uint64_t at) {
    const std::uint16_t crc_length = platform::read_u16_le(b.data() + at + 10);
    unsigned sum = 0;
    for (int i = 0; i < 16; ++i)
        if (i != 4) sum += b[at + i];
    return b[at + 4] == static_cast<std::uint8_t>(sum) &&
           platform::read_u16_le(b.data() + at + 8) == ecma_crc(b.data() + at + 16, crc_length);
}

// Byte offsets of the FIDs of a directory block, in order (from their L_IU and L_FI).
inline std::vector<std::uint64_t> fids_in(const Bytes& b, std::uint32_t block, std::size_t count) {
    std::vector<std::uint64_t> out;
    std::uint64_t at = at_block(block);
    for (std::size_t i = 0; i < count; ++i) {
        out.push_back(at);
        at += (38 + platform::read_u16_le(b.data() + at + 36) + b[at + 19] + 3) / 4 * 4;
    }
    return out;
}

// The disc's regions in image order (what the layout of the edit engine lists).
inline std::vector<sacd::Region> flatten(const sacd::Disc& disc) {
    std::vector<sacd::Region> out = disc.regions;
    for (const auto& a : disc.areas) {
        out.insert(out.end(), a.toc1.begin(), a.toc1.end());
        out.push_back(a.audio);
        out.insert(out.end(), a.gap.begin(), a.gap.end());
        out.insert(out.end(), a.toc2.begin(), a.toc2.end());
    }
    if (disc.tail) out.push_back(*disc.tail);
    return out;
}

// The image a relaid layout describes when `k` zero sectors are inserted at `at_lsn` (no bridge
// structure lies there): the transformed head, the source up to `at_lsn`, the new sectors, the
// source on to the tail, the transformed FS tail, then the rest of the source tail.
inline Bytes splice(const Bytes& source, std::uint64_t at_lsn, std::uint64_t k, const sacd::fs::TransformedBridge& t,
                    std::uint64_t tail_offset) {
    Bytes out(t.head);
    out.insert(out.end(), source.begin() + static_cast<std::ptrdiff_t>(t.head.size()),
               source.begin() + static_cast<std::ptrdiff_t>(at_lsn * S));
    out.resize(out.size() + k * S, 0);
    out.insert(out.end(), source.begin() + static_cast<std::ptrdiff_t>(at_lsn * S),
               source.begin() + static_cast<std::ptrdiff_t>(tail_offset));
    out.insert(out.end(), t.fs_tail.begin(), t.fs_tail.end());
    out.insert(out.end(), source.begin() + static_cast<std::ptrdiff_t>(t.fs_tail_end),
               source.begin() + static_cast<std::ptrdiff_t>(t.fs_tail_end + t.padding));
    return out;
}

}  // namespace bridgetest
