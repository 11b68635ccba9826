#include "tools/image_builder/bridge_writer.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "platform/bytes.h"

namespace image_builder {

using platform::err;

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kS = 2048;
constexpr std::uint32_t kHeadSectors = 510;
constexpr std::uint32_t kMasterLsn = 510, kMasterSectors = 34;  // Master TOC groups and mirror range

// ISO 9660 places.
constexpr std::uint32_t kPvdLsn = 16, kTerminatorLsn = 17, kVrsLsn = 18;
constexpr std::uint32_t kLPathLsn = 21, kOptLPathLsn = 22, kMPathLsn = 23, kOptMPathLsn = 24;
constexpr std::uint32_t kFirstDirLsn = 25, kDirLimitLsn = 32;

// UDF places.
constexpr std::uint32_t kMainVdsLsn = 32, kReserveVdsLsn = 48, kVdsSectors = 16;
constexpr std::uint32_t kIntegrityLsn = 64;
constexpr std::uint32_t kAnchorLsn = 256;
constexpr std::uint32_t kPartitionStart = 257;
constexpr std::uint16_t kUdfRevision = 0x0102;
constexpr std::uint16_t kTagVersion = 2;  // NSR02

constexpr std::uint32_t kIsoMaxExtent = 0xFFFFF800;  // largest multiple of 2048 below 4 GiB
constexpr std::uint32_t kUdfMaxExtent = 0x3FFFF800;  // largest multiple of 2048 below 1 GiB

template <class T>
using Res = platform::Result<T, std::string>;

// ---- Little helpers over a byte buffer ------------------------------------------------------------

struct Writer {
    std::uint8_t* p;
    void u8(std::size_t at, std::uint8_t v) { p[at] = v; }
    void u16(std::size_t at, std::uint16_t v) { platform::write_u16_le(p + at, v); }
    void u32(std::size_t at, std::uint32_t v) { platform::write_u32_le(p + at, v); }
    void u64(std::size_t at, std::uint64_t v) { platform::write_u64_le(p + at, v); }
    void u16_be(std::size_t at, std::uint16_t v) { platform::write_u16_be(p + at, v); }
    void u32_be(std::size_t at, std::uint32_t v) { platform::write_u32_be(p + at, v); }
    // ECMA-119 "both-byte orders": little-endian, then big-endian.
    void both16(std::size_t at, std::uint16_t v) { u16(at, v), u16_be(at + 2, v); }
    void both32(std::size_t at, std::uint32_t v) { u32(at, v), u32_be(at + 4, v); }
    void text(std::size_t at, std::string_view s) { std::memcpy(p + at, s.data(), s.size()); }
    void fill(std::size_t at, std::size_t n, std::uint8_t v) { std::memset(p + at, v, n); }
    // A space-padded ISO 9660 character field.
    void padded(std::size_t at, std::size_t n, std::string_view s) {
        fill(at, n, ' ');
        text(at, s.substr(0, n));
    }
};

std::uint8_t* sector(Bytes& image, std::uint32_t lsn) { return image.data() + std::size_t{lsn} * kS; }

// Extents of at most `max` bytes covering `bytes` bytes; a zero-length file has one empty extent.
std::vector<std::uint32_t> split(std::uint64_t bytes, std::uint32_t max) {
    std::vector<std::uint32_t> out;
    do {
        const auto piece = static_cast<std::uint32_t>(std::min<std::uint64_t>(bytes, max));
        out.push_back(piece);
        bytes -= piece;
    } while (bytes > 0);
    return out;
}

// ---- ISO 9660 ---------------------------------------------------------------------------------------

struct IsoRecord {
    std::string id;  // "\0" for ".", "\1" for "..", "NAME.EXT;1" for files
    std::uint32_t extent = 0, length = 0;
    std::uint8_t flags = 0;  // 0x02 directory, 0x80 more extents follow
};

void write_iso_date7(Writer w, std::size_t at) {
    const std::uint8_t date[7] = {124, 5, 17, 12, 0, 0, 0};  // 2024-05-17 12:00:00 UTC
    std::memcpy(w.p + at, date, 7);
}

std::size_t record_length(const IsoRecord& r) { return 33 + r.id.size() + (r.id.size() % 2 == 0 ? 1 : 0); }

// Packs records into whole sectors; a record never crosses a sector boundary.
Bytes pack_records(const std::vector<IsoRecord>& records) {
    Bytes out;
    std::size_t used = 0;  // in the current sector
    for (const IsoRecord& r : records) {
        const std::size_t len = record_length(r);
        if (out.empty() || used + len > kS) {
            out.resize(out.size() + kS, 0);
            used = 0;
        }
        Writer w{out.data() + out.size() - kS + used};
        w.u8(0, static_cast<std::uint8_t>(len));
        w.both32(2, r.extent);
        w.both32(10, r.length);
        write_iso_date7(w, 18);
        w.u8(25, r.flags);
        w.both16(28, 1);  // volume sequence number
        w.u8(32, static_cast<std::uint8_t>(r.id.size()));
        w.text(33, r.id);
        used += len;
    }
    return out;
}

// A file's records: one per extent, all but the last flagged as continued.
void add_file_records(std::vector<IsoRecord>& records, const std::string& id, std::uint32_t lsn, std::uint64_t bytes,
                      std::uint32_t max) {
    const auto pieces = split(bytes, max);
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        records.push_back(IsoRecord{id, lsn, pieces[i], static_cast<std::uint8_t>(i + 1 < pieces.size() ? 0x80 : 0)});
        lsn += pieces[i] / kS;
    }
}

void write_iso_date17(Writer w, std::size_t at, bool unset) {
    w.text(at, unset ? "0000000000000000" : "2024051712000000");
    w.u8(at + 16, 0);
}

void write_path_table(std::uint8_t* at, bool big_endian, std::uint32_t root, std::uint32_t audio) {
    Writer w{at};
    auto u32 = [&](std::size_t off, std::uint32_t v) { big_endian ? w.u32_be(off, v) : w.u32(off, v); };
    auto u16 = [&](std::size_t off, std::uint16_t v) { big_endian ? w.u16_be(off, v) : w.u16(off, v); };
    // Root: identifier 0x00, parent 1.
    w.u8(0, 1);
    u32(2, root);
    u16(6, 1);
    // AUDIO, child of directory 1.
    w.u8(10, 5);
    u32(12, audio);
    u16(16, 1);
    w.text(18, "AUDIO");
}
constexpr std::uint32_t kPathTableSize = 10 + 14;

// ---- UDF --------------------------------------------------------------------------------------------

std::uint16_t crc_ccitt(const std::uint8_t* p, std::size_t n) {
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= static_cast<std::uint16_t>(p[i] << 8);
        for (int b = 0; b < 8; ++b) crc = static_cast<std::uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

// Fills in the descriptor tag of a descriptor of `length` bytes: identifier, version, serial,
// location, then the CRC over the rest and the checksum over the tag.
void seal(std::uint8_t* d, std::uint16_t id, std::uint32_t location, std::size_t length) {
    Writer w{d};
    w.u16(0, id);
    w.u16(2, kTagVersion);
    w.u8(5, 0);
    w.u16(6, 1);
    const auto crc_length = static_cast<std::uint16_t>(length - 16);
    w.u16(10, crc_length);
    w.u32(12, location);
    w.u16(8, crc_ccitt(d + 16, crc_length));
    unsigned sum = 0;
    for (int i = 0; i < 16; ++i)
        if (i != 4) sum += d[i];
    w.u8(4, static_cast<std::uint8_t>(sum));
}

void regid(Writer w, std::size_t at, std::string_view id, bool udf_suffix) {
    w.fill(at, 32, 0);
    w.text(at + 1, id);
    if (udf_suffix) w.u16(at + 24, kUdfRevision);
}

void charspec(Writer w, std::size_t at) {
    w.fill(at, 64, 0);
    w.text(at + 1, "OSTA Compressed Unicode");
}

// A dstring: compression ID 8, the characters, the used length in the last byte.
void dstring(Writer w, std::size_t at, std::size_t n, std::string_view s) {
    w.fill(at, n, 0);
    w.u8(at, 8);
    w.text(at + 1, s.substr(0, n - 2));
    w.u8(at + n - 1, static_cast<std::uint8_t>(1 + std::min(s.size(), n - 2)));
}

void timestamp(Writer w, std::size_t at) {
    w.u16(at, 0x1000);  // type 1 (local time), offset 0 minutes
    w.u16(at + 2, 2024);
    const std::uint8_t rest[] = {5, 17, 12, 0, 0, 0, 0, 0};
    std::memcpy(w.p + at + 4, rest, sizeof rest);
}

// OSTA CS0 identifiers: 8 = one byte per character, 16 = big-endian UCS-2 (ASCII names here).
Bytes cs0(std::string_view name, bool wide) {
    Bytes out{static_cast<std::uint8_t>(wide ? 16 : 8)};
    for (char c : name) {
        if (wide) out.push_back(0);
        out.push_back(static_cast<std::uint8_t>(c));
    }
    return out;
}

void write_vds(Bytes& image, std::uint32_t first, std::uint32_t partition_length) {
    const char* volume = "VELMORA_SACD";
    // Primary Volume Descriptor
    {
        std::uint8_t* d = sector(image, first);
        Writer w{d};
        w.u32(16, 0);  // descriptor sequence number
        w.u32(20, 0);  // primary volume descriptor number
        dstring(w, 24, 32, volume);
        w.u16(56, 1);
        w.u16(58, 1);
        w.u16(60, 2);
        w.u16(62, 2);
        w.u32(64, 1);
        w.u32(68, 1);
        dstring(w, 72, 128, "0000000000000000VELMORA_SACD");
        charspec(w, 200);
        charspec(w, 264);
        regid(w, 344, "*velmora-make-image", false);
        timestamp(w, 376);
        regid(w, 388, "*velmora-make-image", true);
        seal(d, 1, first, 512);
    }
    // Implementation Use Volume Descriptor
    {
        std::uint8_t* d = sector(image, first + 1);
        Writer w{d};
        w.u32(16, 1);
        regid(w, 20, "*UDF LV Info", true);
        charspec(w, 52);
        dstring(w, 116, 128, volume);
        regid(w, 352, "*velmora-make-image", true);
        seal(d, 4, first + 1, 512);
    }
    // Partition Descriptor
    {
        std::uint8_t* d = sector(image, first + 2);
        Writer w{d};
        w.u32(16, 2);
        w.u16(20, 1);  // allocated
        w.u16(22, 0);  // partition number
        regid(w, 24, "+NSR02", false);
        w.u32(184, 1);  // read-only
        w.u32(188, kPartitionStart);
        w.u32(192, partition_length);
        regid(w, 196, "*velmora-make-image", true);
        seal(d, 5, first + 2, 512);
    }
    // Logical Volume Descriptor
    {
        std::uint8_t* d = sector(image, first + 3);
        Writer w{d};
        w.u32(16, 3);
        charspec(w, 20);
        dstring(w, 84, 128, volume);
        w.u32(212, kS);
        regid(w, 216, "*OSTA UDF Compliant", true);
        w.u32(248, kS);  // File Set Descriptor: partition block 0, partition 0
        w.u32(252, 0);
        w.u16(256, 0);
        w.u32(264, 6);  // map table length
        w.u32(268, 1);  // one partition map
        regid(w, 272, "*velmora-make-image", true);
        w.u32(432, 2 * kS);  // integrity sequence
        w.u32(436, kIntegrityLsn);
        w.u8(440, 1);  // type 1 partition map
        w.u8(441, 6);
        w.u16(442, 1);  // volume sequence number
        w.u16(444, 0);  // partition number
        seal(d, 6, first + 3, 446);
    }
    // Unallocated Space Descriptor: the unused sectors between the integrity sequence and the anchor.
    {
        std::uint8_t* d = sector(image, first + 4);
        Writer w{d};
        w.u32(16, 4);
        w.u32(20, 1);
        w.u32(24, (kAnchorLsn - (kIntegrityLsn + 2)) * kS);
        w.u32(28, kIntegrityLsn + 2);
        seal(d, 7, first + 4, 32);
    }
    // Terminating Descriptor
    seal(sector(image, first + 5), 8, first + 5, 512);
}

void write_anchor(std::uint8_t* d, std::uint32_t lsn) {
    Writer w{d};
    w.u32(16, kVdsSectors * kS);
    w.u32(20, kMainVdsLsn);
    w.u32(24, kVdsSectors * kS);
    w.u32(28, kReserveVdsLsn);
    seal(d, 2, lsn, 512);
}

struct UdfFile {
    std::string name;
    bool wide_name = false;
    std::uint32_t lsn = 0;
    std::uint64_t bytes = 0;
    bool long_ad = false;
    std::uint32_t fe_block = 0;
};

struct UdfDir {
    std::uint32_t fe_block = 0, fid_block = 0, parent_fe_block = 0;
    std::vector<std::size_t> subdirs;  // indexes into the directory list
    std::vector<std::size_t> files;    // indexes into the file list
    std::string name;
};

// The File Identifier Descriptors of a directory, all in its block `fid_block`.
Bytes directory_fids(const UdfDir& dir, const std::vector<UdfDir>& dirs, const std::vector<UdfFile>& files) {
    struct Entry {
        Bytes id;
        std::uint8_t characteristics;
        std::uint32_t icb;
    };
    std::vector<Entry> entries;
    entries.push_back(Entry{{}, 0x0A, dir.parent_fe_block});  // parent: directory + parent bits
    for (std::size_t i : dir.subdirs) entries.push_back(Entry{cs0(dirs[i].name, false), 0x02, dirs[i].fe_block});
    for (std::size_t i : dir.files) entries.push_back(Entry{cs0(files[i].name, files[i].wide_name), 0x00, files[i].fe_block});
    Bytes out;
    for (const Entry& e : entries) {
        const std::size_t len = (38 + e.id.size() + 3) / 4 * 4;
        const std::size_t at = out.size();
        out.resize(at + len, 0);
        Writer w{out.data() + at};
        w.u16(16, 1);  // file version number
        w.u8(18, e.characteristics);
        w.u8(19, static_cast<std::uint8_t>(e.id.size()));
        w.u32(20, kS);
        w.u32(24, e.icb);
        w.u16(28, 0);
        w.u16(36, 0);
        std::copy(e.id.begin(), e.id.end(), out.begin() + static_cast<std::ptrdiff_t>(at + 38));
        seal(out.data() + at, 257, dir.fid_block, len);
    }
    return out;
}

// A File Entry at partition block `block` with its allocation descriptors.
void write_file_entry(std::uint8_t* d, std::uint32_t block, bool directory, std::uint64_t info_length,
                      const std::vector<std::pair<std::uint32_t, std::uint32_t>>& extents, bool long_ad,
                      std::uint16_t links, std::uint64_t unique_id) {
    Writer w{d};
    w.u32(16, 0);
    w.u16(20, 4);  // strategy type 4
    w.u16(24, 1);
    w.u8(27, directory ? 4 : 5);
    w.u16(34, long_ad ? 1 : 0);
    w.u32(36, 0xFFFFFFFF);
    w.u32(40, 0xFFFFFFFF);
    w.u32(44, directory ? 0x14A5 : 0x1084);
    w.u16(48, links);
    w.u64(56, info_length);
    std::uint64_t blocks = 0;
    for (const auto& e : extents) blocks += (e.second + kS - 1) / kS;
    w.u64(64, blocks);
    timestamp(w, 72);
    timestamp(w, 84);
    timestamp(w, 96);
    w.u32(108, 1);  // checkpoint
    regid(w, 128, "*velmora-make-image", true);
    w.u64(160, unique_id);
    w.u32(168, 0);
    const std::size_t ad_size = long_ad ? 16 : 8;
    w.u32(172, static_cast<std::uint32_t>(extents.size() * ad_size));
    for (std::size_t i = 0; i < extents.size(); ++i) {
        const std::size_t at = 176 + i * ad_size;
        w.u32(at, extents[i].second);  // recorded and allocated
        w.u32(at + 4, extents[i].first);
        if (long_ad) w.u16(at + 8, 0);
    }
    seal(d, 261, block, 176 + extents.size() * ad_size);
}

}  // namespace

Res<Bridge> build_bridge(const BridgeSpec& spec, const BridgeLayout& layout) {
    if (spec.max_extent_bytes % kS != 0) return err(std::string("bridge: the extent limit must be a multiple of 2048"));
    if (layout.tail_sectors < spec.tail_file_sectors + 1)
        return err(std::string("bridge: the tail needs ") + std::to_string(spec.tail_file_sectors + 1) +
                   " sectors (the tail file and the closing anchor)");
    if (layout.total_sectors > UINT32_MAX) return err(std::string("bridge: image too large for 32-bit sector numbers"));
    const auto n = static_cast<std::uint32_t>(layout.total_sectors);
    const std::uint32_t iso_max = spec.max_extent_bytes ? std::min(spec.max_extent_bytes, kIsoMaxExtent) : kIsoMaxExtent;
    const std::uint32_t udf_max = spec.max_extent_bytes ? std::min(spec.max_extent_bytes, kUdfMaxExtent) : kUdfMaxExtent;

    Bridge out;
    out.head.assign(std::size_t{kHeadSectors} * kS, 0);
    out.tail.assign(std::size_t{layout.tail_sectors} * kS, 0);
    Bytes& head = out.head;

    // The files, as both trees list them.
    out.files.push_back(BridgeFile{"/MASTER.TOC", kMasterLsn, std::uint64_t{kMasterSectors} * kS});
    out.files.push_back(BridgeFile{"/TAIL.DAT", layout.tail_start, std::uint64_t{spec.tail_file_sectors} * kS});
    std::vector<BridgeFile> audio;
    for (const auto& a : layout.areas)
        audio.push_back(BridgeFile{a.multichannel ? "/AUDIO/MULTICH.DAT" : "/AUDIO/STEREO.DAT", a.audio_start,
                                   std::uint64_t{a.audio_sectors} * kS});
    out.files.insert(out.files.end(), audio.begin(), audio.end());

    // The tail file's bytes say what they are, sector by sector.
    for (std::uint32_t s = 0; s < spec.tail_file_sectors; ++s) {
        const std::string text = "velmora tail file, sector " + std::to_string(s) + "\n";
        for (std::size_t at = 0; at + text.size() <= kS; at += text.size())
            std::memcpy(out.tail.data() + std::size_t{s} * kS + at, text.data(), text.size());
    }

    // ---- ISO 9660 directories: sized first, then placed.
    std::vector<IsoRecord> root, sub;
    auto fill_root = [&](std::uint32_t root_lsn, std::uint32_t root_len, std::uint32_t sub_lsn, std::uint32_t sub_len) {
        root.clear();
        root.push_back(IsoRecord{std::string(1, '\0'), root_lsn, root_len, 0x02});
        root.push_back(IsoRecord{std::string(1, '\1'), root_lsn, root_len, 0x02});
        root.push_back(IsoRecord{"AUDIO", sub_lsn, sub_len, 0x02});
        add_file_records(root, "MASTER.TOC;1", kMasterLsn, std::uint64_t{kMasterSectors} * kS, iso_max);
        add_file_records(root, "TAIL.DAT;1", layout.tail_start, std::uint64_t{spec.tail_file_sectors} * kS, iso_max);
        sub.clear();
        sub.push_back(IsoRecord{std::string(1, '\0'), sub_lsn, sub_len, 0x02});
        sub.push_back(IsoRecord{std::string(1, '\1'), root_lsn, root_len, 0x02});
        // Directory records are sorted by identifier.
        std::vector<BridgeFile> sorted = audio;
        std::sort(sorted.begin(), sorted.end(), [](const BridgeFile& a, const BridgeFile& b) { return a.path < b.path; });
        for (const BridgeFile& f : sorted) add_file_records(sub, f.path.substr(7) + ";1", f.first_lsn, f.bytes, iso_max);
    };
    fill_root(0, 0, 0, 0);
    const auto root_sectors = static_cast<std::uint32_t>(pack_records(root).size() / kS);
    const auto sub_sectors = static_cast<std::uint32_t>(pack_records(sub).size() / kS);
    const std::uint32_t root_lsn = kFirstDirLsn, sub_lsn = root_lsn + root_sectors;
    if (sub_lsn + sub_sectors > kDirLimitLsn) return err(std::string("bridge: the ISO 9660 directories do not fit"));
    fill_root(root_lsn, root_sectors * kS, sub_lsn, sub_sectors * kS);
    const Bytes root_bytes = pack_records(root), sub_bytes = pack_records(sub);
    std::copy(root_bytes.begin(), root_bytes.end(), head.begin() + std::ptrdiff_t{root_lsn} * kS);
    std::copy(sub_bytes.begin(), sub_bytes.end(), head.begin() + std::ptrdiff_t{sub_lsn} * kS);

    write_path_table(sector(head, kLPathLsn), false, root_lsn, sub_lsn);
    write_path_table(sector(head, kOptLPathLsn), false, root_lsn, sub_lsn);
    write_path_table(sector(head, kMPathLsn), true, root_lsn, sub_lsn);
    write_path_table(sector(head, kOptMPathLsn), true, root_lsn, sub_lsn);

    // Primary Volume Descriptor.
    {
        Writer w{sector(head, kPvdLsn)};
        w.u8(0, 1);
        w.text(1, "CD001");
        w.u8(6, 1);
        w.padded(8, 32, "");
        w.padded(40, 32, "VELMORA_SACD");
        w.both32(80, n);
        w.both16(120, 1);
        w.both16(124, 1);
        w.both16(128, kS);
        w.both32(132, kPathTableSize);
        w.u32(140, kLPathLsn);
        w.u32(144, kOptLPathLsn);
        w.u32_be(148, kMPathLsn);
        w.u32_be(152, kOptMPathLsn);
        std::copy_n(root_bytes.begin(), 34, w.p + 156);  // the "." record of the root
        w.padded(190, 128, "");
        w.padded(318, 128, "");
        w.padded(446, 128, "");
        w.padded(574, 128, "VELMORA-MAKE-IMAGE");
        w.padded(702, 37, "");
        w.padded(739, 37, "");
        w.padded(776, 37, "");
        write_iso_date17(w, 813, false);
        write_iso_date17(w, 830, false);
        write_iso_date17(w, 847, true);
        write_iso_date17(w, 864, true);
        w.u8(881, 1);
    }
    {
        Writer w{sector(head, kTerminatorLsn)};
        w.u8(0, 255);
        w.text(1, "CD001");
        w.u8(6, 1);
    }
    const char* vrs[] = {"BEA01", "NSR02", "TEA01"};
    for (int i = 0; i < 3; ++i) {
        Writer w{sector(head, kVrsLsn + static_cast<std::uint32_t>(i))};
        w.text(1, vrs[i]);
        w.u8(6, 1);
    }

    // ---- UDF: the partition runs from 257 to the sector before the closing anchor.
    const std::uint32_t partition_length = n - 1 - kPartitionStart;
    write_vds(head, kMainVdsLsn, partition_length);
    write_vds(head, kReserveVdsLsn, partition_length);
    write_anchor(sector(head, kAnchorLsn), kAnchorLsn);
    write_anchor(out.tail.data() + (std::size_t{layout.tail_sectors} - 1) * kS, n - 1);

    // Partition blocks: 0 FSD, 1 its terminator, then each directory's FE and FIDs, then the files' FEs.
    std::vector<UdfFile> files;
    files.push_back(UdfFile{"MASTER.TOC", false, kMasterLsn, std::uint64_t{kMasterSectors} * kS, false, 0});
    files.push_back(UdfFile{"TAIL.DAT", true, layout.tail_start, std::uint64_t{spec.tail_file_sectors} * kS, false, 0});
    for (const BridgeFile& f : audio)
        files.push_back(UdfFile{f.path.substr(7), false, f.first_lsn, f.bytes, f.path == "/AUDIO/STEREO.DAT", 0});
    std::vector<UdfDir> dirs(2);
    dirs[0].subdirs = {1};
    dirs[0].files = {0, 1};
    dirs[1].name = "AUDIO";
    for (std::size_t i = 2; i < files.size(); ++i) dirs[1].files.push_back(i);
    std::uint32_t block = 2;
    for (UdfDir& d : dirs) {
        d.fe_block = block++;
        d.fid_block = block++;
    }
    dirs[0].parent_fe_block = dirs[0].fe_block;
    dirs[1].parent_fe_block = dirs[0].fe_block;
    for (UdfFile& f : files) f.fe_block = block++;
    if (kPartitionStart + block > kHeadSectors) return err(std::string("bridge: the UDF tree does not fit the head"));

    auto at_block = [&](std::uint32_t b) { return sector(head, kPartitionStart + b); };
    // File Set Descriptor and its terminator.
    {
        std::uint8_t* d = at_block(0);
        Writer w{d};
        timestamp(w, 16);
        w.u16(28, 3);
        w.u16(30, 3);
        w.u32(32, 1);
        w.u32(36, 1);
        charspec(w, 48);
        dstring(w, 112, 128, "VELMORA_SACD");
        charspec(w, 240);
        dstring(w, 304, 32, "VELMORA_SACD");
        w.u32(400, kS);  // root directory ICB
        w.u32(404, dirs[0].fe_block);
        regid(w, 416, "*OSTA UDF Compliant", true);
        seal(d, 256, 0, 512);
        seal(at_block(1), 8, 1, 512);
    }
    std::uint64_t unique_id = 16;
    for (const UdfDir& d : dirs) {
        const Bytes fids = directory_fids(d, dirs, files);
        if (fids.size() > kS) return err(std::string("bridge: a UDF directory does not fit one block"));
        std::copy(fids.begin(), fids.end(), at_block(d.fid_block));
        write_file_entry(at_block(d.fe_block), d.fe_block, true, fids.size(),
                         {{d.fid_block, static_cast<std::uint32_t>(fids.size())}}, false,
                         static_cast<std::uint16_t>(1 + d.subdirs.size()), &d == &dirs[0] ? 0 : unique_id++);
    }
    for (const UdfFile& f : files) {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> extents;
        std::uint32_t lsn = f.lsn;
        for (std::uint32_t piece : split(f.bytes, udf_max)) {
            if (piece) extents.emplace_back(lsn - kPartitionStart, piece);
            lsn += piece / kS;
        }
        if ((f.long_ad ? 16u : 8u) * extents.size() > kS - 176)
            return err(std::string("bridge: too many allocation descriptors for one File Entry"));
        write_file_entry(at_block(f.fe_block), f.fe_block, false, f.bytes, extents, f.long_ad, 1, unique_id++);
    }

    // Logical Volume Integrity Descriptor (closed) and its terminator.
    {
        std::uint8_t* d = sector(head, kIntegrityLsn);
        Writer w{d};
        timestamp(w, 16);
        w.u32(28, 1);
        w.u64(40, unique_id);
        w.u32(72, 1);
        w.u32(76, 46);
        w.u32(80, 0);
        w.u32(84, partition_length);
        regid(w, 88, "*velmora-make-image", true);
        w.u32(120, static_cast<std::uint32_t>(files.size()));
        w.u32(124, static_cast<std::uint32_t>(dirs.size()));
        w.u16(128, kUdfRevision);
        w.u16(130, kUdfRevision);
        w.u16(132, kUdfRevision);
        seal(d, 9, kIntegrityLsn, 134);
        seal(sector(head, kIntegrityLsn + 1), 8, kIntegrityLsn + 1, 512);
    }
    return out;
}

}  // namespace image_builder
