#include "sacd/fs/transform.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/bytes.h"
#include "sacd/fs/iso9660.h"
#include "sacd/fs/udf.h"

namespace sacd::fs {

using platform::err;

namespace {

std::string str(std::uint64_t v) { return std::to_string(v); }

// Whether [at, at + len) lies wholly inside the window.
bool inside(std::uint64_t at, std::uint64_t len, Window w) {
    if (at < w.offset || len > UINT64_MAX - at) return false;
    return at + len <= w.offset + w.length;
}

bool starts_in(std::uint64_t at, Window w) { return at >= w.offset && at - w.offset < w.length; }

bool has_id_at(ByteSource& source, std::uint64_t lsn, std::initializer_list<const char*> ids) {
    auto bytes = source.read_at(lsn_offset(lsn) + 1, 5);
    if (!bytes) return false;
    return std::any_of(ids.begin(), ids.end(), [&](const char* id) { return std::memcmp(bytes->data(), id, 5) == 0; });
}

FsResult<void> write_u32(Bytes& buffer, std::uint64_t rel, std::uint32_t value, bool big_endian) {
    if (rel > UINT64_MAX - 4) return layout_error("3c: write offset overflow");
    if (rel + 4 > buffer.size())
        return layout_error("3c: write at " + str(rel) + ".." + str(rel + 4) + " past region buffer");
    if (big_endian) platform::write_u32_be(buffer.data() + rel, value);
    else platform::write_u32_le(buffer.data() + rel, value);
    return {};
}

FsResult<void> apply_pointer_sites(Bytes& buffer, Window w, const CollectedSites& sites, const LsnMap& map) {
    for (const PointerSite& site : sites.sites) {
        auto value = new_value(site, map, sites.partition_start);
        if (!value) return err(std::move(value).error());
        if (site.kind == SiteValueKind::ByteLength) continue;
        const bool first = starts_in(site.offset, w);
        switch (site.encoding) {
            case SiteEncoding::Le32:
            case SiteEncoding::Be32:
                if (first)
                    if (auto r = write_u32(buffer, site.offset - w.offset, *value, site.encoding == SiteEncoding::Be32); !r)
                        return r;
                break;
            case SiteEncoding::Both32: {
                const bool second = starts_in(site.offset2, w);
                if (!first && !second) break;
                if (first != second)
                    return layout_error("3c: both-byte field straddles the region buffer boundary (site " + site.label + ")");
                if (auto r = write_u32(buffer, site.offset - w.offset, *value, false); !r) return r;
                if (auto r = write_u32(buffer, site.offset2 - w.offset, *value, true); !r) return r;
                break;
            }
        }
    }
    return {};
}

FsResult<void> recompute_checksums(Bytes& buffer, Window w, const BridgeSites& sites) {
    const std::uint64_t end = w.offset + buffer.size();
    for (const ChecksumSite& c : sites.checksums) {
        if (c.tag > UINT64_MAX - 16) return layout_error("3c: checksum tag end overflows u64");
        if (!inside(c.tag, 16, w)) continue;
        if (c.body < w.offset) return layout_error("3c: checksum body offset precedes region base");
        if (c.crc_length > UINT64_MAX - c.body) return layout_error("3c: checksum body range overflow");
        if (c.body + c.crc_length > end) return layout_error("3c: checksum body range past region buffer");
        const std::uint64_t tag = c.tag - w.offset;
        if (tag + 10 > buffer.size()) return layout_error("3c: CRC slot past region buffer");
        if (tag + 16 > buffer.size()) return layout_error("3c: tag range past region buffer");
        const std::uint16_t crc = descriptor_crc(std::span<const std::uint8_t>(buffer).subspan(c.body - w.offset, c.crc_length));
        platform::write_u16_le(buffer.data() + tag + 8, crc);
        buffer[tag + 4] = tag_checksum(std::span<const std::uint8_t>(buffer).subspan(tag, 16));
    }
    return {};
}

}  // namespace

bool classify(ByteSource& source) {
    if (has_id_at(source, 16, {"CD001"})) return true;
    for (std::uint64_t lsn = 16; lsn <= 31; ++lsn)
        if (has_id_at(source, lsn, {"BEA01", "NSR02", "NSR03", "TEA01"})) return true;
    return false;
}

FsResult<bool> source_is_bridge(const platform::Path& image) {
    auto file = platform::File::open_read(image);
    if (!file) return err(FsError::read_failure(file.error().text));
    auto size = file->size();
    if (!size) return err(FsError::read_failure(size.error().text));
    ByteSource source = ByteSource::file(std::move(file).value(), *size);
    return classify(source);
}

FsResult<CollectedSites> collect_bridge_sites(ByteSource& source) {
    CollectedSites out;
    if (auto r = iso9660_sites(source, out.sites); !r) return err(std::move(r).error());
    auto anchor = Avdp::parse_at(source, kPrimaryAnchorLsn);
    if (!anchor) return err(std::move(anchor).error());
    auto p = udf_partition_start(source, *anchor);
    if (!p) return err(std::move(p).error());
    out.partition_start = *p;
    if (auto r = udf_volume_sites(source, source.size() / kSectorSize, out); !r) return err(std::move(r).error());
    if (auto r = udf_file_sites(source, *anchor, out); !r) return err(std::move(r).error());
    return out;
}

FsResult<std::uint32_t> new_value(const PointerSite& site, const LsnMap& map, std::uint32_t partition_start) {
    std::uint64_t v = site.value;
    switch (site.kind) {
        case SiteValueKind::AbsoluteLsn: {
            auto lsn = map.remap_lsn(site.value);
            if (!lsn) return err(std::move(lsn).error());
            v = *lsn;
            break;
        }
        case SiteValueKind::PartitionBlock: {
            // A u32 block plus a u32 start always fits 64 bits.
            auto lsn = map.remap_lsn(std::uint64_t{site.value} + partition_start);
            if (!lsn) return err(std::move(lsn).error());
            if (*lsn < partition_start) return layout_error("3c: remapped block precedes the partition start");
            v = *lsn - partition_start;
            break;
        }
        case SiteValueKind::ByteLength: break;
        case SiteValueKind::BlockCount:
            if (map.growth > UINT64_MAX - v) return layout_error("3c: length-blocks + growth overflow");
            v += map.growth;
            break;
    }
    if (v > UINT32_MAX) return layout_error("3c: remapped value " + str(v) + " does not fit u32 (site " + site.label + ")");
    return static_cast<std::uint32_t>(v);
}

FsResult<Window> head_region(const Disc& source) {
    if (source.regions.empty()) return layout_error("3c: disc has no master regions");
    const auto* head = source.regions.front().as<regions::Untyped>();
    if (!head || head->kind != RangeKind::PreMaster) return layout_error("3c: master[0] is not an opaque PreMaster region");
    if (head->offset != 0) return layout_error("3c: head PreMaster region starts at byte " + str(head->offset) + " not 0");
    return Window{0, head->length};
}

FsResult<Window> tail_region(const Disc& source) {
    if (!source.tail) return layout_error("3c: disc has no tail region - nothing to transform");
    const auto* tail = source.tail->as<regions::Untyped>();
    if (!tail || tail->kind != RangeKind::Tail) return layout_error("3c: tail region is not an opaque Tail");
    return Window{tail->offset, tail->length};
}

FsResult<FsTail> bounded_fs_tail(const BridgeSites& sites, Window tail, std::uint64_t file_length) {
    if (tail.length > UINT64_MAX - tail.offset) return layout_error("3c: tail start + length overflows u64");
    const std::uint64_t tail_end = tail.offset + tail.length;
    std::uint64_t fs_end = tail.offset;
    bool overflow = false;
    auto consider = [&](std::uint64_t at, std::uint64_t len) {
        if (!starts_in(at, tail)) return;
        if (len > UINT64_MAX - at) overflow = true;
        else fs_end = std::max(fs_end, at + len);
    };
    for (const PointerSite& s : sites.sites) {
        consider(s.offset, 4);
        if (s.encoding == SiteEncoding::Both32) consider(s.offset2, 4);
    }
    for (const ChecksumSite& c : sites.checksums) {
        consider(c.tag, 16);
        consider(c.body, c.crc_length);
    }
    if (overflow) return layout_error("3c: tail site end overflows u64");
    if (fs_end > UINT64_MAX - (kSectorSize - 1)) return layout_error("3c: tail FS-end round-up overflows u64");
    const std::uint64_t f = std::min(tail_end, (fs_end + kSectorSize - 1) / kSectorSize * kSectorSize);
    if (f < tail.offset) return layout_error("3c: bounded FS-tail length underflow");
    if (f > file_length) return layout_error("3c: padding length underflow (fs_end past file length)");
    return FsTail{Window{tail.offset, f - tail.offset}, file_length - f};
}

FsResult<void> coverage_guard(const BridgeSites& sites, Window head, Window fs_tail) {
    auto covered = [&](std::uint64_t at, std::uint64_t len) { return inside(at, len, head) || inside(at, len, fs_tail); };
    for (const PointerSite& s : sites.sites) {
        for (std::uint64_t at : {s.offset, s.encoding == SiteEncoding::Both32 ? s.offset2 : s.offset}) {
            if (!covered(at, 4))
                return layout_error("3c: pointer site " + s.label + " at byte " + str(at) +
                                    " falls outside the head and tail FS regions (unexpected mid-disc FS reference)");
        }
    }
    for (const ChecksumSite& c : sites.checksums)
        if (!covered(c.tag, 16) || !covered(c.body, c.crc_length))
            return layout_error("3c: checksum site (tag at byte " + str(c.tag) +
                                ") falls outside the head and tail FS regions");
    return {};
}

FsResult<Bytes> transform_window(ByteSource& source, Window window, const CollectedSites& sites, const LsnMap& map) {
    if (window.length > UINT64_MAX - window.offset) return layout_error("3c: region base + length overflows u64");
    auto bytes = source.read_at(window.offset, window.length);
    if (!bytes) return err(std::move(bytes).error());
    const bool partition_relative = std::any_of(sites.sites.begin(), sites.sites.end(), [](const PointerSite& s) {
        return s.kind == SiteValueKind::PartitionBlock;
    });
    if (partition_relative) {
        auto moved = map.remap_lsn(sites.partition_start);
        if (!moved) return err(std::move(moved).error());
        if (*moved != sites.partition_start)
            return layout_error("3c: UDF partition start moved under relayout (" + str(sites.partition_start) + " -> " +
                                str(*moved) + "); partition-relative remap would use a stale base - refusing");
    }
    if (auto r = apply_pointer_sites(*bytes, window, sites, map); !r) return err(std::move(r).error());
    if (auto r = recompute_checksums(*bytes, window, sites); !r) return err(std::move(r).error());
    return bytes;
}

FsResult<TransformedBridge> transform_bridge_windows(ByteSource& source, const CollectedSites& sites, const LsnMap& map,
                                                     Window head, Window tail) {
    auto fs_tail = bounded_fs_tail(sites, tail, source.size());
    if (!fs_tail) return err(std::move(fs_tail).error());
    if (auto r = coverage_guard(sites, head, fs_tail->window); !r) return err(std::move(r).error());
    auto head_bytes = transform_window(source, head, sites, map);
    if (!head_bytes) return err(std::move(head_bytes).error());
    auto tail_bytes = transform_window(source, fs_tail->window, sites, map);
    if (!tail_bytes) return err(std::move(tail_bytes).error());
    return TransformedBridge{std::move(head_bytes).value(), std::move(tail_bytes).value(),
                             fs_tail->window.offset + fs_tail->window.length, fs_tail->padding};
}

FsResult<TransformedBridge> transform_bridge(ByteSource& source, const LsnMap& map, const Disc& source_disc) {
    auto sites = collect_bridge_sites(source);
    if (!sites) return err(std::move(sites).error());
    auto head = head_region(source_disc);
    if (!head) return err(std::move(head).error());
    auto tail = tail_region(source_disc);
    if (!tail) return err(std::move(tail).error());
    return transform_bridge_windows(source, *sites, map, *head, *tail);
}

FsResult<void> install_transformed_bridge(Disc& relaid, TransformedBridge bridge) {
    if (relaid.regions.empty()) return layout_error("relaid disc has no master regions");
    relaid.regions.front() = Region{regions::OwnedBytes{std::move(bridge.head), RangeKind::PreMaster}};
    relaid.tail = Region{regions::StreamedTail{std::move(bridge.fs_tail), bridge.fs_tail_end, bridge.padding}};
    return {};
}

}  // namespace sacd::fs
