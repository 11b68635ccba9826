#include "sacd/fs/iso9660.h"

#include <algorithm>
#include <cstring>

#include "platform/bytes.h"
#include "sacd/charset.h"

namespace sacd::fs {

using platform::err;
using platform::read_u16_le;
using platform::read_u32_be;
using platform::read_u32_le;

namespace {

constexpr char kCd001[] = "CD001";
constexpr std::uint64_t kFirstDescriptor = 16;
constexpr std::uint64_t kMaxDescriptors = 64;

bool is_cd001(const Bytes& b) { return b.size() >= 6 && std::memcmp(b.data() + 1, kCd001, 5) == 0; }

PointerSite both32(std::uint64_t offset, std::string label, std::uint32_t value, SiteValueKind kind) {
    return PointerSite{SiteEncoding::Both32, offset, offset + 4, std::move(label), value, kind};
}

// The record whose LEN_DR bytes are in `bytes` (LEN_DR already checked against 34).
FsResult<DirRecord> decode_record(std::span<const std::uint8_t> bytes, std::uint64_t offset) {
    const std::uint8_t len_dr = bytes[0];
    const std::uint8_t len_fi = bytes[32];
    if (len_dr < len_fi + 33u)
        return layout_error("ISO9660 directory record at byte " + std::to_string(offset) + ": file id (LEN_FI " +
                            std::to_string(len_fi) + ") exceeds LEN_DR " + std::to_string(len_dr));
    DirRecord r;
    r.offset = offset;
    r.len_dr = len_dr;
    r.extent = read_u32_le(bytes.data() + 2);
    r.data_length = read_u32_le(bytes.data() + 10);
    r.directory = (bytes[25] & 0x02) != 0;
    r.multi_extent = (bytes[25] & 0x80) != 0;
    // The root record copied from the PVD has only its 34 bytes, whatever LEN_DR says.
    const std::size_t id_len = std::min<std::size_t>(len_fi, bytes.size() - 33);
    r.identifier.assign(bytes.begin() + 33, bytes.begin() + 33 + static_cast<std::ptrdiff_t>(id_len));
    return r;
}

FsResult<void> check_len_dr(std::uint8_t len_dr, std::uint64_t offset) {
    if (len_dr < 34)
        return layout_error("ISO9660 directory record at byte " + std::to_string(offset) + " has LEN_DR " +
                            std::to_string(len_dr) + " < 34 (minimum)");
    return {};
}

// Calls `visit` for every record of a directory's data, in order. Stops at the first error.
template <class Visit>
FsResult<void> for_each_record(ByteSource& source, std::uint32_t block_size, std::uint32_t extent,
                               std::uint32_t data_length, Visit&& visit) {
    if (block_size == 0) return layout_error("ISO9660 logical block size is 0");
    const std::uint64_t start = std::uint64_t{extent} * block_size;
    const std::uint64_t end = start + data_length;
    std::uint64_t at = start;
    while (at < end) {
        auto record = DirRecord::parse(source, at);
        if (!record) return err(std::move(record).error());
        if (!*record) {
            const std::uint64_t next = (at / block_size + 1) * block_size;
            if (next <= at) break;
            at = next;
            continue;
        }
        if (auto r = visit(**record); !r) return r;
        at += (*record)->len_dr;
    }
    return {};
}

FsResult<void> enter_directory(std::uint32_t extent, std::set<std::uint32_t>& visited, unsigned depth) {
    if (depth > kMaxDirDepth)
        return layout_error("ISO9660 directory nesting exceeds " + std::to_string(kMaxDirDepth) + " (malformed or cyclic)");
    if (!visited.insert(extent).second)
        return layout_error("ISO9660 directory extent LBA " + std::to_string(extent) + " visited twice (cyclic tree)");
    return {};
}

// The identifier as UTF-8 (invalid bytes replaced), without its ";version" suffix.
std::string file_name(const std::vector<std::uint8_t>& identifier) {
    std::string raw(identifier.begin(), identifier.end());
    std::string name = chars_to_utf8(utf8_to_chars(raw));
    if (auto semi = name.rfind(';'); semi != std::string::npos) name.resize(semi);
    return name;
}

FsResult<void> check_block_size(const Pvd& pvd) {
    if (pvd.block_size == 0) return layout_error("ISO9660 logical block size is 0");
    return {};
}

}  // namespace

FsResult<Pvd> Pvd::parse(ByteSource& source) {
    auto bytes = source.read_at(kPvdOffset, 2048);
    if (!bytes) return err(std::move(bytes).error());
    const Bytes& b = *bytes;
    if (b[0] != 1 || !is_cd001(b))
        return layout_error("logical sector 16 is not an ISO9660 Primary Volume Descriptor (type 1 / CD001)");
    Pvd pvd;
    pvd.volume_space_size = read_u32_le(b.data() + 80);
    pvd.block_size = read_u16_le(b.data() + 128);
    pvd.path_table_size = read_u32_le(b.data() + 132);
    pvd.l_path_table = read_u32_le(b.data() + 140);
    pvd.opt_l_path_table = read_u32_le(b.data() + 144);
    pvd.m_path_table = read_u32_be(b.data() + 148);
    pvd.opt_m_path_table = read_u32_be(b.data() + 152);
    std::copy_n(b.begin() + 156, 34, pvd.root_record.begin());
    return pvd;
}

FsResult<std::optional<DirRecord>> DirRecord::parse(ByteSource& source, std::uint64_t offset) {
    auto len = source.read_at(offset, 1);
    if (!len) return err(std::move(len).error());
    const std::uint8_t len_dr = (*len)[0];
    if (len_dr == 0) return std::optional<DirRecord>();
    if (auto r = check_len_dr(len_dr, offset); !r) return err(std::move(r).error());
    auto bytes = source.read_at(offset, len_dr);
    if (!bytes) return err(std::move(bytes).error());
    auto record = decode_record(*bytes, offset);
    if (!record) return err(std::move(record).error());
    return std::optional<DirRecord>(std::move(record).value());
}

FsResult<DirRecord> DirRecord::parse_root(std::span<const std::uint8_t, 34> bytes, std::uint64_t offset) {
    if (bytes[0] == 0) return layout_error("ISO9660 root directory record is empty (LEN_DR 0)");
    if (auto r = check_len_dr(bytes[0], offset); !r) return err(std::move(r).error());
    return decode_record(bytes, offset);
}

FsResult<void> scan_volume_descriptors(ByteSource& source) {
    const std::uint64_t last = kFirstDescriptor + kMaxDescriptors - 1;
    for (std::uint64_t lsn = kFirstDescriptor; lsn <= last; ++lsn) {
        auto head = source.read_at(lsn_offset(lsn), 6);
        if (!head) return err(std::move(head).error());
        if (!is_cd001(*head))
            return layout_error("ISO9660 volume descriptor at logical sector " + std::to_string(lsn) +
                                " lacks the \"CD001\" standard identifier (malformed descriptor set, no terminator found)");
        const std::uint8_t type = (*head)[0];
        if (type == 1) continue;
        if (type == 255) return {};
        return layout_error("ISO9660 volume descriptor set has an unhandled descriptor type " + std::to_string(type) +
                            " at logical sector " + std::to_string(lsn) +
                            " (refusing - it would carry FS addresses we do not remap)");
    }
    return layout_error("ISO9660 volume descriptor set has no terminator within " + std::to_string(kMaxDescriptors) +
                        " descriptors (logical sectors " + std::to_string(kFirstDescriptor) + "..=" +
                        std::to_string(last) + ") - refusing");
}

FsResult<void> collect_dir_record_sites(ByteSource& source, std::uint32_t block_size, std::uint32_t extent,
                                        std::uint32_t data_length, std::set<std::uint32_t>& visited, unsigned depth,
                                        std::vector<PointerSite>& sites) {
    if (auto r = enter_directory(extent, visited, depth); !r) return r;
    return for_each_record(source, block_size, extent, data_length, [&](const DirRecord& rec) -> FsResult<void> {
        const std::string at = "dirrec@" + std::to_string(rec.offset);
        sites.push_back(both32(rec.offset + 2, at + ".extent", rec.extent, SiteValueKind::AbsoluteLsn));
        sites.push_back(both32(rec.offset + 10, at + ".data_len", rec.data_length, SiteValueKind::ByteLength));
        if (rec.directory && !rec.is_self_or_parent())
            return collect_dir_record_sites(source, block_size, rec.extent, rec.data_length, visited, depth + 1, sites);
        return {};
    });
}

FsResult<void> pvd_sites(ByteSource& source, const Pvd& pvd, std::vector<PointerSite>& sites) {
    if (auto r = check_block_size(pvd); !r) return r;
    const std::uint64_t p = pvd.offset;
    sites.push_back(both32(p + 80, "PVD.volume_space_size", pvd.volume_space_size, SiteValueKind::BlockCount));
    sites.push_back(both32(p + 132, "PVD.path_table_size", pvd.path_table_size, SiteValueKind::ByteLength));
    auto single = [&](SiteEncoding enc, std::uint64_t offset, const char* label, std::uint32_t value) {
        sites.push_back(PointerSite{enc, offset, 0, label, value, SiteValueKind::AbsoluteLsn});
    };
    single(SiteEncoding::Le32, p + 140, "PVD.l_path_table_lba", pvd.l_path_table);
    if (pvd.opt_l_path_table != 0) single(SiteEncoding::Le32, p + 144, "PVD.opt_l_path_table_lba", pvd.opt_l_path_table);
    single(SiteEncoding::Be32, p + 148, "PVD.m_path_table_lba", pvd.m_path_table);
    if (pvd.opt_m_path_table != 0) single(SiteEncoding::Be32, p + 152, "PVD.opt_m_path_table_lba", pvd.opt_m_path_table);

    auto root = DirRecord::parse_root(pvd.root_record, p + 156);
    if (!root) return err(std::move(root).error());
    sites.push_back(both32(p + 158, "PVD.root_dir_record.extent", root->extent, SiteValueKind::AbsoluteLsn));
    sites.push_back(both32(p + 166, "PVD.root_dir_record.data_len", root->data_length, SiteValueKind::ByteLength));
    std::set<std::uint32_t> visited;
    return collect_dir_record_sites(source, pvd.block_size, root->extent, root->data_length, visited, 0, sites);
}

FsResult<void> path_table_sites(ByteSource& source, const Pvd& pvd, std::vector<PointerSite>& sites) {
    if (pvd.path_table_size == 0) return {};
    struct Table {
        std::uint32_t location;
        bool big_endian;
    };
    const Table tables[] = {{pvd.l_path_table, false},
                            {pvd.opt_l_path_table, false},
                            {pvd.m_path_table, true},
                            {pvd.opt_m_path_table, true}};
    for (const Table& t : tables) {
        if (t.location == 0) continue;
        const std::uint64_t start = std::uint64_t{t.location} * pvd.block_size;
        const std::uint64_t end = start + pvd.path_table_size;
        for (std::uint64_t at = start; at < end;) {
            auto len = source.read_at(at, 1);
            if (!len) return err(std::move(len).error());
            const std::uint8_t len_di = (*len)[0];
            if (len_di == 0) break;
            auto field = source.read_at(at + 2, 4);
            if (!field) return err(std::move(field).error());
            const std::uint32_t value = t.big_endian ? read_u32_be(field->data()) : read_u32_le(field->data());
            sites.push_back(PointerSite{t.big_endian ? SiteEncoding::Be32 : SiteEncoding::Le32, at + 2, 0,
                                        "pathtable@" + std::to_string(at) + ".extent", value,
                                        SiteValueKind::AbsoluteLsn});
            at += 8u + len_di + (len_di % 2);
        }
    }
    return {};
}

FsResult<void> walk_dir(ByteSource& source, std::uint32_t block_size, std::uint32_t extent, std::uint32_t data_length,
                        const std::string& parent, std::vector<FsFile>& files, std::set<std::uint32_t>& visited,
                        unsigned depth) {
    if (auto r = enter_directory(extent, visited, depth); !r) return r;
    // A file whose last record carried the multi-extent flag: the next record of that name continues it.
    std::optional<FsFile> open;
    auto close_open = [&] {
        if (open) files.push_back(std::move(*open));
        open.reset();
    };
    auto r = for_each_record(source, block_size, extent, data_length, [&](const DirRecord& rec) -> FsResult<void> {
        if (rec.is_self_or_parent()) return {};
        const std::string path = parent + "/" + file_name(rec.identifier);
        if (rec.directory) {
            close_open();
            return walk_dir(source, block_size, rec.extent, rec.data_length, path, files, visited, depth + 1);
        }
        if (!open || open->path != path) {
            close_open();
            open = FsFile{path, {}};
        }
        open->extents.emplace_back(rec.extent, rec.data_length);
        if (!rec.multi_extent) close_open();
        return {};
    });
    if (!r) return r;
    close_open();
    return {};
}

FsResult<void> iso9660_sites(ByteSource& source, std::vector<PointerSite>& sites) {
    auto pvd = Pvd::parse(source);
    if (!pvd) return err(std::move(pvd).error());
    if (auto r = scan_volume_descriptors(source); !r) return r;
    if (auto r = pvd_sites(source, *pvd, sites); !r) return r;
    return path_table_sites(source, *pvd, sites);
}

FsResult<std::vector<FsFile>> iso9660_files(ByteSource& source, const Pvd& pvd) {
    if (auto r = check_block_size(pvd); !r) return err(std::move(r).error());
    auto root = DirRecord::parse_root(pvd.root_record, pvd.offset + 156);
    if (!root) return err(std::move(root).error());
    std::vector<FsFile> files;
    std::set<std::uint32_t> visited;
    if (auto r = walk_dir(source, pvd.block_size, root->extent, root->data_length, "", files, visited, 0); !r)
        return err(std::move(r).error());
    return files;
}

}  // namespace sacd::fs
