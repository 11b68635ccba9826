#include "sacd/fs/udf.h"

#include <array>
#include <optional>

#include "platform/bytes.h"
#include "sacd/charset.h"
#include "sacd/fs/iso9660.h"

namespace sacd::fs {

using platform::err;
using platform::read_u16_le;
using platform::read_u32_le;
using platform::read_u64_le;

namespace {

constexpr std::uint16_t kTagAvdp = 2;
constexpr std::uint16_t kTagFsd = 256;
constexpr std::uint16_t kTagFid = 257;
constexpr std::uint16_t kTagFe = 261;
constexpr std::uint32_t kBlock = 2048;
constexpr std::uint32_t kMaxSequenceSectors = 64;
constexpr std::uint32_t kMaxUnallocatedAds = 256;
constexpr std::size_t kMaxAllocationDescriptors = 256;
constexpr std::uint64_t kMaxDirectoryData = 16777216;
constexpr std::uint32_t kExtentLengthMask = 0x3FFFFFFF;
constexpr std::uint8_t kFileTypeDirectory = 4;
constexpr std::uint8_t kFidDirectory = 0x02, kFidDeleted = 0x04, kFidParent = 0x08;

std::string str(std::uint64_t v) { return std::to_string(v); }

const std::array<std::uint16_t, 256>& crc_table() {
    static const std::array<std::uint16_t, 256> table = [] {
        std::array<std::uint16_t, 256> t{};
        for (unsigned i = 0; i < 256; ++i) {
            std::uint16_t c = static_cast<std::uint16_t>(i << 8);
            for (int k = 0; k < 8; ++k) c = static_cast<std::uint16_t>((c & 0x8000) ? (c << 1) ^ 0x1021 : c << 1);
            t[i] = c;
        }
        return t;
    }();
    return table;
}

PointerSite le32(std::uint64_t offset, std::string label, std::uint32_t value, SiteValueKind kind) {
    return PointerSite{SiteEncoding::Le32, offset, 0, std::move(label), value, kind};
}

ChecksumSite checksum_site(std::uint64_t tag, std::uint16_t crc_length) { return ChecksumSite{tag, tag + 16, crc_length}; }

// ---- Volume descriptors -------------------------------------------------------------------------

VolumeDescriptor decode_volume_descriptor(VolumeDescriptor::Type type, const Bytes& b, std::uint64_t offset,
                                          std::uint16_t crc_length) {
    VolumeDescriptor d;
    d.type = type;
    d.offset = offset;
    d.crc_length = crc_length;
    const std::uint8_t* p = b.data();
    switch (type) {
        case VolumeDescriptor::Type::Primary:
            d.abstract_length = read_u32_le(p + 328);
            d.abstract_location = read_u32_le(p + 332);
            d.copyright_length = read_u32_le(p + 336);
            d.copyright_location = read_u32_le(p + 340);
            break;
        case VolumeDescriptor::Type::Partition:
            d.partition_number = read_u16_le(p + 22);
            d.partition_start = read_u32_le(p + 188);
            d.partition_length = read_u32_le(p + 192);
            break;
        case VolumeDescriptor::Type::LogicalVolume:
            d.block_size = read_u32_le(p + 212);
            d.integrity_length = read_u32_le(p + 432);
            d.integrity_location = read_u32_le(p + 436);
            break;
        case VolumeDescriptor::Type::UnallocatedSpace: d.n_ad = read_u32_le(p + 20); break;
        case VolumeDescriptor::Type::ImplementationUse:
        case VolumeDescriptor::Type::Terminating: break;
    }
    return d;
}

FsResult<std::vector<VolumeDescriptor>> main_sequence(ByteSource& source, const Avdp& anchor) {
    return read_vds_extent(source, anchor.main_length, anchor.main_location);
}

FsResult<const VolumeDescriptor*> the_one(const std::vector<VolumeDescriptor>& seq, VolumeDescriptor::Type type,
                                          const char* none, const char* several) {
    const VolumeDescriptor* found = nullptr;
    for (const VolumeDescriptor& d : seq) {
        if (d.type != type) continue;
        if (found) return layout_error(several);
        found = &d;
    }
    if (!found) return layout_error(none);
    return found;
}

FsResult<const VolumeDescriptor*> resolve_partition(const std::vector<VolumeDescriptor>& seq) {
    auto pd = the_one(seq, VolumeDescriptor::Type::Partition, "UDF volume has no Partition Descriptor",
                      "UDF volume has more than one Partition Descriptor (unsupported)");
    if (!pd) return pd;
    if ((*pd)->partition_number != 0)
        return layout_error("UDF Partition Descriptor number " + str((*pd)->partition_number) +
                            " != 0 (unsupported single-partition assumption)");
    return pd;
}

FsResult<void> emit_descriptor_sites(ByteSource& source, const std::vector<VolumeDescriptor>& seq,
                                     const std::string& prefix, BridgeSites& out) {
    for (const VolumeDescriptor& d : seq)
        if (d.type == VolumeDescriptor::Type::LogicalVolume && d.block_size != kBlock)
            return layout_error("UDF logical block size " + str(d.block_size) + " != 2048 (unsupported)");
    using T = VolumeDescriptor::Type;
    for (const VolumeDescriptor& d : seq) {
        const std::uint64_t at = d.offset;
        switch (d.type) {
            case T::Primary:
                if (d.abstract_length != 0)
                    out.sites.push_back(le32(at + 332, prefix + "PVD.abstract", d.abstract_location, SiteValueKind::AbsoluteLsn));
                if (d.copyright_length != 0)
                    out.sites.push_back(le32(at + 340, prefix + "PVD.copyright", d.copyright_location, SiteValueKind::AbsoluteLsn));
                break;
            case T::Partition:
                out.sites.push_back(le32(at + 192, prefix + "Partition.length", d.partition_length, SiteValueKind::BlockCount));
                out.sites.push_back(le32(at + 188, prefix + "Partition.start", d.partition_start, SiteValueKind::AbsoluteLsn));
                break;
            case T::LogicalVolume:
                if (d.integrity_length != 0)
                    out.sites.push_back(le32(at + 436, prefix + "LVD.integrity_extent", d.integrity_location,
                                             SiteValueKind::AbsoluteLsn));
                break;
            case T::UnallocatedSpace: {
                if (d.n_ad > kMaxUnallocatedAds)
                    return layout_error("UDF Unallocated Space Descriptor N_AD " + str(d.n_ad) + " exceeds " +
                                        str(kMaxUnallocatedAds) + " (malformed)");
                auto ads = source.read_at(at + 24, std::uint64_t{8} * d.n_ad);
                if (!ads) return err(std::move(ads).error());
                for (std::uint32_t i = 0; i < d.n_ad; ++i) {
                    if (read_u32_le(ads->data() + 8 * i) == 0) continue;
                    out.sites.push_back(le32(at + 24 + 8 * i + 4, prefix + "UnallocSpace.ad" + str(i),
                                             read_u32_le(ads->data() + 8 * i + 4), SiteValueKind::AbsoluteLsn));
                }
                break;
            }
            case T::ImplementationUse:
            case T::Terminating: continue;  // nothing to remap, no checksum site
        }
        out.checksums.push_back(checksum_site(at, d.crc_length));
    }
    return {};
}

// An anchor's own extent pointers: they name the descriptor sequences, which must be found again
// after a relayout through whichever anchor a reader uses.
void emit_anchor_sites(const Avdp& a, const std::string& label, BridgeSites& out) {
    if (a.main_length != 0)
        out.sites.push_back(le32(a.offset + 20, label + ".main_vds_location", a.main_location, SiteValueKind::AbsoluteLsn));
    if (a.reserve_length != 0)
        out.sites.push_back(
            le32(a.offset + 28, label + ".reserve_vds_location", a.reserve_location, SiteValueKind::AbsoluteLsn));
}

// ---- File Set Descriptor -----------------------------------------------------------------------

struct LongAd {
    std::uint32_t length = 0;  // low 30 bits
    std::uint8_t type = 0;     // top 2 bits
    std::uint32_t location = 0;
    std::uint16_t partition = 0;

    static LongAd read(const std::uint8_t* p) {
        const std::uint32_t raw = read_u32_le(p);
        return LongAd{raw & kExtentLengthMask, static_cast<std::uint8_t>(raw >> 30), read_u32_le(p + 4), read_u16_le(p + 8)};
    }
};

struct Fsd {
    std::uint64_t lvd_offset = 0;
    std::uint32_t partition_start = 0;
    std::uint32_t block = 0;  // partition block of the FSD
    std::uint64_t offset = 0;
    std::uint16_t crc_length = 0;
    LongAd root;
};

FsResult<Fsd> resolve_fsd(ByteSource& source, const Avdp& anchor) {
    auto seq = main_sequence(source, anchor);
    if (!seq) return err(std::move(seq).error());
    auto pd = resolve_partition(*seq);
    if (!pd) return err(std::move(pd).error());
    auto lvd = the_one(*seq, VolumeDescriptor::Type::LogicalVolume, "UDF volume has no Logical Volume Descriptor",
                       "UDF volume has more than one Logical Volume Descriptor (unsupported)");
    if (!lvd) return err(std::move(lvd).error());
    Fsd fsd;
    fsd.partition_start = (*pd)->partition_start;
    fsd.lvd_offset = (*lvd)->offset;
    auto contents_use = source.read_at(fsd.lvd_offset + 248, 16);
    if (!contents_use) return err(std::move(contents_use).error());
    const LongAd where = LongAd::read(contents_use->data());
    if (where.partition != 0)
        return layout_error("UDF FSD long_ad partition reference " + str(where.partition) +
                            " != 0 (single-partition assumption)");
    if (where.length == 0)
        return layout_error("UDF Logical Volume Contents Use FSD long_ad has length 0 (no File Set Descriptor)");

    fsd.block = where.location;
    const std::uint64_t lsn = std::uint64_t{fsd.partition_start} + fsd.block;
    fsd.offset = lsn_offset(lsn);
    auto bytes = source.read_at(fsd.offset, 512);
    if (!bytes) return err(std::move(bytes).error());
    if (!tag_checksum_ok(*bytes))
        return layout_error("UDF FSD at partition block " + str(fsd.block) + " has an invalid Descriptor Tag checksum");
    const DescriptorTag tag = DescriptorTag::read(*bytes);
    if (tag.id != kTagFsd)
        return layout_error("UDF FSD tag_id != 256 at partition block " + str(fsd.block) + " (got " + str(tag.id) + ")");
    if (tag.location != fsd.block && tag.location != lsn)
        return layout_error("UDF FSD Tag Location " + str(tag.location) + " matches neither block " + str(fsd.block) +
                            " nor absolute LSN " + str(lsn));
    if (LongAd::read(bytes->data() + 448).length != 0)
        return layout_error("UDF FSD has a Next Extent (chained File Set Descriptor sequence) - unsupported");
    fsd.crc_length = tag.crc_length;
    fsd.root = LongAd::read(bytes->data() + 400);
    return fsd;
}

// The tag location of the descriptor at byte `at`, lying in partition block `block`, as a site of
// whichever convention it was recorded in.
FsResult<void> push_tag_location_site(ByteSource& source, std::uint64_t at, std::uint32_t block,
                                      std::uint32_t partition_start, const std::string& label, BridgeSites& out) {
    auto tag = source.read_at(at, 16);
    if (!tag) return err(std::move(tag).error());
    const std::uint32_t loc = read_u32_le(tag->data() + 12);
    const std::uint64_t lsn = std::uint64_t{partition_start} + block;
    if (loc == block) {
        out.sites.push_back(le32(at + 12, label + ".tag_location", loc, SiteValueKind::PartitionBlock));
    } else if (loc == lsn) {
        out.sites.push_back(le32(at + 12, label + ".tag_location", loc, SiteValueKind::AbsoluteLsn));
    } else {
        return layout_error(label + " Tag Location " + str(loc) + " matches neither block " + str(block) +
                            " nor absolute LSN " + str(lsn));
    }
    return {};
}

// ---- File Entries and directories ----------------------------------------------------------------

struct AllocationDescriptor {
    std::uint64_t location_offset = 0;  // image byte offset of the location field
    std::uint32_t location = 0;         // partition block
    std::uint32_t length = 0;           // bytes
    std::uint8_t type = 0;
};

struct FileEntry {
    std::uint32_t block = 0;
    std::uint64_t offset = 0;
    std::uint8_t file_type = 0;
    std::uint64_t info_length = 0;
    std::uint16_t crc_length = 0;
    std::vector<AllocationDescriptor> ads;
};

FsResult<FileEntry> parse_file_entry(ByteSource& source, std::uint32_t partition_start, std::uint32_t block) {
    const std::uint64_t lsn = std::uint64_t{partition_start} + block;
    FileEntry fe;
    fe.block = block;
    fe.offset = lsn_offset(lsn);
    auto bytes = source.read_at(fe.offset, kBlock);
    if (!bytes) return err(std::move(bytes).error());
    const std::uint8_t* b = bytes->data();
    const std::string at = "UDF File Entry at block " + str(block);
    if (!tag_checksum_ok(*bytes))
        return layout_error("UDF File Entry at partition block " + str(block) + " has an invalid Descriptor Tag checksum");
    const DescriptorTag tag = DescriptorTag::read(*bytes);
    if (tag.id != kTagFe)
        return layout_error("UDF File Entry tag_id != 261 at partition block " + str(block) + " (got " + str(tag.id) + ")");
    if (tag.location != block && tag.location != lsn)
        return layout_error("UDF File Entry Tag Location " + str(tag.location) + " matches neither block " + str(block) +
                            " nor absolute LSN " + str(lsn));
    const unsigned ad_type = read_u16_le(b + 34) & 0x7;
    if (ad_type > 1)
        return layout_error("UDF icbtag allocation-descriptor type " + str(ad_type) +
                            ", unsupported (only short_ad/long_ad handled)");
    const std::uint64_t area_start = 176 + std::uint64_t{read_u32_le(b + 168)};
    const std::uint64_t area_end = area_start + read_u32_le(b + 172);
    if (area_end > kBlock)
        return layout_error(at + ": allocation-descriptor area [" + str(area_start) + ".." + str(area_end) +
                            ") exceeds the logical block (multi-block FE unsupported)");
    fe.file_type = b[27];
    fe.info_length = read_u64_le(b + 56);
    fe.crc_length = tag.crc_length;
    const std::uint64_t ad_size = ad_type == 0 ? 8 : 16;
    for (std::uint64_t p = area_start; p + ad_size <= area_end; p += ad_size) {
        const std::uint32_t raw = read_u32_le(b + p);
        const std::uint32_t length = raw & kExtentLengthMask;
        const auto type = static_cast<std::uint8_t>(raw >> 30);
        if (length == 0) break;
        if (type == 3) return layout_error(at + " uses a continuation allocation extent (type 3) - unsupported");
        if (ad_type == 1 && read_u16_le(b + p + 8) != 0)
            return layout_error(at + " has a long_ad extent with partition reference " + str(read_u16_le(b + p + 8)) +
                                " != 0 (single-partition assumption)");
        if (fe.ads.size() == kMaxAllocationDescriptors)
            return layout_error(at + " has more than " + str(kMaxAllocationDescriptors) + " allocation descriptors");
        fe.ads.push_back(AllocationDescriptor{fe.offset + p + 4, read_u32_le(b + p + 4), length, type});
    }
    return fe;
}

FsResult<void> emit_fe_sites(ByteSource& source, const FileEntry& fe, std::uint32_t partition_start, BridgeSites& out) {
    const std::string label = "UDF.FE@" + str(fe.block);
    for (std::size_t i = 0; i < fe.ads.size(); ++i)
        out.sites.push_back(le32(fe.ads[i].location_offset, label + ".extent" + str(i), fe.ads[i].location,
                                 SiteValueKind::PartitionBlock));
    if (auto r = push_tag_location_site(source, fe.offset, fe.block, partition_start, label, out); !r) return r;
    out.checksums.push_back(checksum_site(fe.offset, fe.crc_length));
    return {};
}

// A directory's data: its extents read and concatenated, with where each piece lies in the image.
struct DirData {
    struct Piece {
        std::uint64_t position = 0, image_offset = 0, length = 0;
    };
    Bytes data;
    std::vector<Piece> pieces;

    // The image offset of data position `pos`, if a piece holds it.
    std::optional<std::uint64_t> image_offset(std::uint64_t pos) const {
        for (const Piece& p : pieces)
            if (pos >= p.position && pos - p.position < p.length) return p.image_offset + (pos - p.position);
        return std::nullopt;
    }
};

FsResult<DirData> read_dir_data(ByteSource& source, std::uint32_t partition_start, const FileEntry& fe) {
    DirData dir;
    for (const AllocationDescriptor& ad : fe.ads) {
        if (dir.data.size() + std::uint64_t{ad.length} > kMaxDirectoryData)
            return layout_error("UDF directory data exceeds the size cap (malformed)");
        const std::uint64_t at = lsn_offset(std::uint64_t{partition_start} + ad.location);
        auto bytes = source.read_at(at, ad.length);
        if (!bytes) return err(std::move(bytes).error());
        dir.pieces.push_back(DirData::Piece{dir.data.size(), at, ad.length});
        dir.data.insert(dir.data.end(), bytes->begin(), bytes->end());
    }
    return dir;
}

struct Fid {
    std::uint64_t length = 0;
    std::uint16_t crc_length = 0;
    std::uint8_t characteristics = 0;
    LongAd icb;
    std::string name;
};

// OSTA CS0: 8 = one byte per character (Latin-1), 16 = big-endian UCS-2.
FsResult<std::string> decode_cs0(std::span<const std::uint8_t> id) {
    if (id.empty()) return std::string();
    std::vector<char32_t> chars;
    if (id[0] == 8) {
        for (std::size_t i = 1; i < id.size(); ++i) chars.push_back(id[i]);
    } else if (id[0] == 16) {
        if (id.size() % 2 == 0) return layout_error("UDF File Identifier OSTA CS0 16-bit name has an odd byte length");
        for (std::size_t i = 1; i + 1 < id.size(); i += 2) {
            const char32_t unit = (char32_t{id[i]} << 8) | id[i + 1];
            chars.push_back(unit >= 0xD800 && unit <= 0xDFFF ? U'\uFFFD' : unit);
        }
    } else {
        return layout_error("UDF File Identifier OSTA CS0 compression ID " + str(id[0]) + " unsupported (only 8 or 16)");
    }
    return chars_to_utf8(chars);
}

// The FID at data position `pos` (image byte `x`); nothing when fewer than 38 bytes are left.
FsResult<std::optional<Fid>> parse_fid(const Bytes& data, std::uint64_t pos, std::uint64_t x) {
    if (data.size() - pos < 38) return std::optional<Fid>();
    const std::span<const std::uint8_t> b(data.data() + pos, data.size() - pos);
    const DescriptorTag tag = DescriptorTag::read(b);
    if (tag.id != kTagFid)
        return layout_error("UDF File Identifier Descriptor tag_id != 257 at image byte " + str(x) + " (got " +
                            str(tag.id) + ")");
    if (!tag_checksum_ok(b))
        return layout_error("UDF File Identifier Descriptor at image byte " + str(x) +
                            " has an invalid Descriptor Tag checksum");
    Fid fid;
    fid.crc_length = tag.crc_length;
    fid.characteristics = b[18];
    const std::uint64_t l_fi = b[19];
    fid.icb = LongAd::read(b.data() + 20);
    const std::uint64_t l_iu = read_u16_le(b.data() + 36);
    const std::uint64_t id_end = 38 + l_iu + l_fi;
    fid.length = (id_end + 3) / 4 * 4;
    if (fid.length > b.size())
        return layout_error("UDF FID at image byte " + str(x) + " (length " + str(fid.length) +
                            ") runs past the directory data");
    if (id_end > b.size())
        return layout_error("UDF FID at image byte " + str(x) + " file identifier runs past the directory data");
    auto name = decode_cs0(b.subspan(38 + l_iu, l_fi));
    if (!name) return err(std::move(name).error());
    fid.name = std::move(name).value();
    return std::optional<Fid>(std::move(fid));
}

struct FidVisit {
    std::uint64_t image_offset = 0;
    Fid fid;
};

// Walks one directory: checks the limits, parses its File Entry and data, and calls `visit` for
// every FID in order.
template <class Visit>
FsResult<void> walk_directory(ByteSource& source, std::uint32_t partition_start, std::uint32_t block,
                              std::set<std::uint32_t>& visited, unsigned depth, BridgeSites* sites, Visit&& visit) {
    if (depth > kMaxDirDepth)
        return layout_error("UDF directory nesting exceeds " + str(kMaxDirDepth) + " (malformed or cyclic)");
    if (!visited.insert(block).second)
        return layout_error("UDF directory File Entry block " + str(block) + " visited twice (cyclic tree)");
    auto fe = parse_file_entry(source, partition_start, block);
    if (!fe) return err(std::move(fe).error());
    if (fe->file_type != kFileTypeDirectory)
        return layout_error("UDF File Entry at block " + str(block) + " is not a directory (File Type " +
                            str(fe->file_type) + ")");
    if (sites)
        if (auto r = emit_fe_sites(source, *fe, partition_start, *sites); !r) return r;
    auto dir = read_dir_data(source, partition_start, *fe);
    if (!dir) return err(std::move(dir).error());
    if (fe->info_length > dir->data.size())
        return layout_error("UDF directory at block " + str(block) + ": Information Length " + str(fe->info_length) +
                            " exceeds its extent data (" + str(dir->data.size()) + " bytes)");
    for (std::uint64_t pos = 0; pos < fe->info_length;) {
        auto x = dir->image_offset(pos);
        if (!x) return layout_error("UDF directory FID offset outside any extent");
        auto fid = parse_fid(dir->data, pos, *x);
        if (!fid) return err(std::move(fid).error());
        if (!*fid) break;
        const Fid& f = **fid;
        if (f.length == 0) return layout_error("UDF FID has zero length (malformed, would not advance)");
        if (pos + f.length > fe->info_length)
            return layout_error("UDF FID crosses the directory Information Length boundary (malformed)");
        if (f.icb.partition != 0) return layout_error("UDF FID ICB partition reference != 0 (single-partition assumption)");
        // Its fields are patched in place in the image, so the whole FID must lie in one run of
        // sectors even where the directory's extents are not adjacent.
        if (dir->image_offset(pos + f.length - 1) != *x + f.length - 1)
            return layout_error("UDF FID at image byte " + str(*x) +
                                " is split across directory extents that are not adjacent (unsupported)");
        if (auto r = visit(FidVisit{*x, f}); !r) return r;
        pos += f.length;
    }
    return {};
}

bool skipped(const Fid& f) { return (f.characteristics & (kFidParent | kFidDeleted)) != 0; }
bool is_directory(const Fid& f) { return (f.characteristics & kFidDirectory) != 0; }

FsResult<void> walk_udf_sites(ByteSource& source, std::uint32_t partition_start, std::uint32_t block,
                              std::set<std::uint32_t>& visited, unsigned depth, BridgeSites& out) {
    return walk_directory(
        source, partition_start, block, visited, depth, &out, [&](const FidVisit& v) -> FsResult<void> {
            const std::uint64_t x = v.image_offset;
            const std::string label = "UDF.FID@" + str(x);
            out.sites.push_back(le32(x + 24, label + ".icb", v.fid.icb.location, SiteValueKind::PartitionBlock));
            const std::uint64_t sector = x / kBlock;
            if (sector < partition_start) return layout_error("UDF FID sits before the partition start");
            if (sector - partition_start > UINT32_MAX) return layout_error("UDF FID partition block overflow");
            const auto fid_block = static_cast<std::uint32_t>(sector - partition_start);
            if (auto r = push_tag_location_site(source, x, fid_block, partition_start, label, out); !r) return r;
            out.checksums.push_back(checksum_site(x, v.fid.crc_length));
            if (skipped(v.fid)) return {};
            if (is_directory(v.fid)) return walk_udf_sites(source, partition_start, v.fid.icb.location, visited, depth + 1, out);
            auto fe = parse_file_entry(source, partition_start, v.fid.icb.location);
            if (!fe) return err(std::move(fe).error());
            return emit_fe_sites(source, *fe, partition_start, out);
        });
}

}  // namespace

// ---- Tags ------------------------------------------------------------------------------------------

std::uint16_t descriptor_crc(std::span<const std::uint8_t> body) {
    const auto& table = crc_table();
    std::uint16_t crc = 0;
    for (std::uint8_t b : body) crc = static_cast<std::uint16_t>((crc << 8) ^ table[((crc >> 8) ^ b) & 0xFF]);
    return crc;
}

std::uint8_t tag_checksum(std::span<const std::uint8_t> tag) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < 16; ++i)
        if (i != 4) sum += tag[i];
    return static_cast<std::uint8_t>(sum);
}

bool tag_checksum_ok(std::span<const std::uint8_t> tag) { return tag.size() >= 16 && tag_checksum(tag) == tag[4]; }

TagVerdict verify_descriptor_tag(std::span<const std::uint8_t> descriptor) {
    TagVerdict v;
    if (descriptor.size() < 16) return v;
    v.checksum_ok = tag_checksum_ok(descriptor);
    const DescriptorTag tag = DescriptorTag::read(descriptor);
    v.crc_ok = descriptor.size() - 16 >= tag.crc_length && descriptor_crc(descriptor.subspan(16, tag.crc_length)) == tag.crc;
    return v;
}

DescriptorTag DescriptorTag::read(std::span<const std::uint8_t> b) {
    DescriptorTag t;
    t.id = read_u16_le(b.data());
    t.version = read_u16_le(b.data() + 2);
    t.checksum = b[4];
    t.serial = read_u16_le(b.data() + 6);
    t.crc = read_u16_le(b.data() + 8);
    t.crc_length = read_u16_le(b.data() + 10);
    t.location = read_u32_le(b.data() + 12);
    return t;
}

// ---- Anchors and sequences --------------------------------------------------------------------------

FsResult<Avdp> Avdp::parse_at(ByteSource& source, std::uint64_t lsn) {
    Avdp a;
    a.offset = lsn_offset(lsn);
    auto bytes = source.read_at(a.offset, 32);
    if (!bytes) return err(std::move(bytes).error());
    if (!tag_checksum_ok(*bytes))
        return layout_error("UDF AVDP at logical sector " + str(lsn) + " has an invalid Descriptor Tag checksum");
    const DescriptorTag tag = DescriptorTag::read(*bytes);
    if (tag.id != kTagAvdp)
        return layout_error("UDF AVDP tag_id != 2 at logical sector " + str(lsn) + " (got tag_id " + str(tag.id) + ")");
    a.crc_length = tag.crc_length;
    a.main_length = read_u32_le(bytes->data() + 16);
    a.main_location = read_u32_le(bytes->data() + 20);
    a.reserve_length = read_u32_le(bytes->data() + 24);
    a.reserve_location = read_u32_le(bytes->data() + 28);
    return a;
}

FsResult<std::vector<VolumeDescriptor>> read_vds_extent(ByteSource& source, std::uint32_t length,
                                                        std::uint32_t location) {
    std::vector<VolumeDescriptor> out;
    const std::uint32_t sectors = std::min(length / kBlock, kMaxSequenceSectors);
    for (std::uint32_t i = 0; i < sectors; ++i) {
        const std::uint64_t lsn = std::uint64_t{location} + i;
        auto bytes = source.read_at(lsn_offset(lsn), kBlock);
        if (!bytes) return err(std::move(bytes).error());
        const DescriptorTag tag = DescriptorTag::read(*bytes);
        if (tag.id == 0) break;  // an unrecorded sector ends the sequence
        if (!tag_checksum_ok(*bytes))
            return layout_error("UDF volume descriptor at logical sector " + str(lsn) +
                                " has an invalid Descriptor Tag checksum");
        switch (tag.id) {
            case 1:
            case 4:
            case 5:
            case 6:
            case 7:
            case 8:
                out.push_back(decode_volume_descriptor(static_cast<VolumeDescriptor::Type>(tag.id), *bytes,
                                                       lsn_offset(lsn), tag.crc_length));
                break;
            default:
                return layout_error("UDF volume descriptor sequence has an unhandled descriptor type " + str(tag.id) +
                                    " at sector " + str(lsn));
        }
        if (tag.id == 8) break;
    }
    return out;
}

FsResult<void> udf_volume_sites(ByteSource& source, std::uint64_t image_sectors, BridgeSites& out) {
    auto anchor = Avdp::parse_at(source, kPrimaryAnchorLsn);
    if (!anchor) return err(std::move(anchor).error());
    auto main = main_sequence(source, *anchor);
    if (!main) return err(std::move(main).error());
    if (auto r = emit_descriptor_sites(source, *main, "UDF.", out); !r) return r;
    if (anchor->reserve_length != 0) {
        auto reserve = read_vds_extent(source, anchor->reserve_length, anchor->reserve_location);
        if (!reserve) return err(std::move(reserve).error());
        if (auto r = emit_descriptor_sites(source, *reserve, "UDF.Reserve.", out); !r) return r;
    }
    emit_anchor_sites(*anchor, "UDF.AVDP", out);
    out.checksums.push_back(checksum_site(anchor->offset, anchor->crc_length));

    auto pd = resolve_partition(*main);
    if (!pd) return err(std::move(pd).error());
    const std::uint64_t end = std::uint64_t{(*pd)->partition_start} + (*pd)->partition_length;
    std::vector<std::uint64_t> probes;
    if (end > 0 && end < image_sectors) probes.push_back(end);
    if (end >= 257 && end - 256 < image_sectors) probes.push_back(end - 256);
    for (std::uint64_t lsn : probes) {
        auto backup = Avdp::parse_at(source, lsn);
        if (!backup) continue;  // a missing backup anchor is not an error
        out.sites.push_back(le32(backup->offset + 12, "UDF.backup_AVDP.tag_location", static_cast<std::uint32_t>(lsn),
                                 SiteValueKind::AbsoluteLsn));
        emit_anchor_sites(*backup, "UDF.backup_AVDP", out);
        out.checksums.push_back(checksum_site(backup->offset, backup->crc_length));
    }
    return {};
}

FsResult<std::uint32_t> udf_partition_start(ByteSource& source, const Avdp& anchor) {
    auto seq = main_sequence(source, anchor);
    if (!seq) return err(std::move(seq).error());
    auto pd = resolve_partition(*seq);
    if (!pd) return err(std::move(pd).error());
    return (*pd)->partition_start;
}

FsResult<void> udf_file_sites(ByteSource& source, const Avdp& anchor, BridgeSites& out) {
    auto fsd = resolve_fsd(source, anchor);
    if (!fsd) return err(std::move(fsd).error());
    out.sites.push_back(le32(fsd->lvd_offset + 252, "UDF.LVD.contents_use.fsd_block", fsd->block,
                             SiteValueKind::PartitionBlock));
    out.sites.push_back(le32(fsd->offset + 404, "UDF.FSD.root_dir_icb", fsd->root.location, SiteValueKind::PartitionBlock));
    if (auto r = push_tag_location_site(source, fsd->offset, fsd->block, fsd->partition_start, "UDF.FSD", out); !r)
        return r;
    out.checksums.push_back(checksum_site(fsd->offset, fsd->crc_length));
    std::set<std::uint32_t> visited;
    return walk_udf_sites(source, fsd->partition_start, fsd->root.location, visited, 0, out);
}

FsResult<void> walk_udf_dir(ByteSource& source, std::uint32_t partition_start, std::uint32_t fe_block,
                            const std::string& parent, std::vector<FsFile>& files, std::set<std::uint32_t>& visited,
                            unsigned depth) {
    return walk_directory(
        source, partition_start, fe_block, visited, depth, nullptr, [&](const FidVisit& v) -> FsResult<void> {
            if (skipped(v.fid)) return {};
            const std::string path = parent + "/" + v.fid.name;
            if (is_directory(v.fid))
                return walk_udf_dir(source, partition_start, v.fid.icb.location, path, files, visited, depth + 1);
            auto fe = parse_file_entry(source, partition_start, v.fid.icb.location);
            if (!fe) return err(std::move(fe).error());
            FsFile file{path, {}};
            for (const AllocationDescriptor& ad : fe->ads) {
                // An extent that no 32-bit LSN can name is kept as the largest one, so that the
                // disc-size check refuses it rather than a wrapped address passing.
                const std::uint64_t lsn = std::uint64_t{partition_start} + ad.location;
                file.extents.emplace_back(static_cast<std::uint32_t>(std::min<std::uint64_t>(lsn, UINT32_MAX)), ad.length);
            }
            files.push_back(std::move(file));
            return {};
        });
}

FsResult<std::vector<FsFile>> udf_files(ByteSource& source) {
    auto anchor = Avdp::parse_at(source, kPrimaryAnchorLsn);
    if (!anchor) return err(std::move(anchor).error());
    auto fsd = resolve_fsd(source, *anchor);
    if (!fsd) return err(std::move(fsd).error());
    if (fsd->root.partition != 0)
        return layout_error("UDF FSD Root Directory ICB partition reference != 0 (single-partition assumption)");
    if (fsd->root.length == 0) return layout_error("UDF FSD Root Directory ICB has length 0");
    std::vector<FsFile> files;
    std::set<std::uint32_t> visited;
    if (auto r = walk_udf_dir(source, fsd->partition_start, fsd->root.location, "", files, visited, 0); !r)
        return err(std::move(r).error());
    return files;
}

}  // namespace sacd::fs
