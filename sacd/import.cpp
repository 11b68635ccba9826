// import_iso: recognition, the fixed master area, the walk of each area, the typing pass and
// the split into the Disc model.
#include <algorithm>
#include <cstring>
#include <optional>

#include "platform/bytes.h"
#include "sacd/disc.h"

namespace sacd {

using platform::read_u16_be;
using platform::read_u32_be;

namespace {

constexpr std::uint64_t kS = kSectorSize;

// A region under construction: LSN-based while laying out, with its kind.
struct Flat {
    std::uint64_t first_lsn;
    std::uint64_t sectors;
    RangeKind kind;
};

bool has_signature(const Sector& s, std::string_view sig) { return std::memcmp(s.data(), sig.data(), 8) == 0; }

Disc not_recognised(const std::string& path, std::uint64_t size) {
    Disc d;
    d.source_path = path;
    d.regions.push_back(Region::untyped(0, size, RangeKind::WholeFile));
    return d;
}

// Walks one Area TOC block from sector f up to (not including) `end`, with the Track Text
// extent x, then splits the trailing padding at the list pointers.
void walk_block(const platform::File& file, std::uint64_t f, std::uint64_t end, std::uint64_t x,
                std::uint16_t toc_length, const std::vector<std::uint16_t>& list_ptrs, std::vector<Flat>& out) {
    const std::size_t block_start = out.size();
    out.push_back(Flat{f, 1, RangeKind::AreaToc});
    std::uint64_t cur = f + 1;
    while (cur < end) {
        auto sector = read_sector(file, cur);
        std::uint64_t len = 0;
        RangeKind kind = RangeKind::AreaTocPadding;
        if (sector) {
            if (has_signature(*sector, "SACDTRL1")) len = 1, kind = RangeKind::Trl1;
            else if (has_signature(*sector, "SACDTRL2")) len = 1, kind = RangeKind::Trl2;
            else if (has_signature(*sector, "SACD_ACC")) len = 32, kind = RangeKind::AccessList;
            else if (has_signature(*sector, "SACD_IGL")) len = 2, kind = RangeKind::Igl;
            else if (has_signature(*sector, "SACDTTxt")) {
                len = f + x > cur ? f + x - cur : 1;
                kind = RangeKind::TrackText;
            }
        }
        if (len == 0) {
            out.push_back(Flat{cur, end - cur, RangeKind::AreaTocPadding});
            break;
        }
        len = std::min(len, end - cur);
        out.push_back(Flat{cur, len, kind});
        cur += len;
    }

    // Split a trailing padding range at the list pointers: lists become "area TOC list" ranges.
    if (out.size() <= block_start + 1 || list_ptrs.empty()) return;
    const Flat last = out.back();
    if (last.kind != RangeKind::AreaTocPadding) return;
    out.pop_back();
    const std::uint64_t lo = last.first_lsn, hi = last.first_lsn + last.sectors;
    auto clamp = [&](std::uint64_t v) { return std::clamp(v, lo, hi); };
    std::uint64_t cursor = lo;
    for (std::size_t i = 0; i < list_ptrs.size(); ++i) {
        const std::uint64_t a = std::max(cursor, clamp(f + list_ptrs[i]));
        const std::uint64_t b = clamp(f + (i + 1 < list_ptrs.size() ? list_ptrs[i + 1] : toc_length));
        if (a > cursor) out.push_back(Flat{cursor, a - cursor, RangeKind::AreaTocPadding});
        if (b > a) {
            out.push_back(Flat{a, b - a, RangeKind::AreaTocList});
            cursor = b;
        } else {
            cursor = a;
        }
    }
    if (cursor < hi) out.push_back(Flat{cursor, hi - cursor, RangeKind::AreaTocPadding});
}

// The typing pass: turns ranges into records where they parse.
std::vector<Region> type_regions(const platform::File& file, const std::vector<Flat>& flat) {
    std::vector<Region> out;
    out.reserve(flat.size());
    std::optional<std::uint8_t> master_channels;
    bool block_typed = false;
    std::uint8_t track_count = 0;
    std::uint8_t area_channels = 0;
    std::vector<CharSet> area_charsets;

    for (const Flat& r : flat) {
        const std::uint64_t offset = r.first_lsn * kS, length = r.sectors * kS;
        Region region = Region::untyped(offset, length, r.kind);
        switch (r.kind) {
            case RangeKind::MasterToc:
                if (auto s = read_sector(file, r.first_lsn)) {
                    if (auto toc = MasterToc::parse(*s)) {
                        if (!master_channels) master_channels = toc->text_channel_count();
                        region = Region{regions::MasterTocRecord{std::move(toc).value()}};
                    }
                }
                break;
            case RangeKind::MasterText: {
                if (!master_channels) break;
                const std::uint64_t lsn = r.first_lsn;
                const std::uint8_t copy = lsn >= 531 ? 2 : lsn >= 521 ? 1 : 0;
                const std::uint8_t slot = static_cast<std::uint8_t>(lsn - 511 - 10 * copy);
                if (auto s = read_sector(file, lsn)) {
                    if (auto text = MasterText::parse(*s, *master_channels, slot))
                        region = Region{regions::MasterTextRecord{std::move(text).value(), copy, slot}};
                }
                break;
            }
            case RangeKind::AreaToc: {
                block_typed = false;
                auto s = read_sector(file, r.first_lsn);
                if (!s) break;
                auto toc = AreaToc::parse(*s);
                if (!toc) break;
                block_typed = true;
                track_count = toc->track_count;
                area_channels = toc->text_channel_count();
                area_charsets.clear();
                for (std::size_t i = 0; i < area_channels; ++i) {
                    const std::size_t at = 8 + 4 * i + 2;
                    // Entries beyond the 40-byte block read as ISO 646.
                    area_charsets.push_back(at < toc->text_channels.size()
                                                ? CharSet::from_disc_code(toc->text_channels[at])
                                                : CharSet(CharSet::Value::Iso646));
                }
                region = Region{regions::AreaTocRecord{std::move(toc).value()}};
                break;
            }
            case RangeKind::Trl1:
            case RangeKind::Trl2: {
                if (!block_typed || length != kS) break;
                auto s = read_sector(file, r.first_lsn);
                if (!s) break;
                if (r.kind == RangeKind::Trl1) {
                    if (auto t = Trl1::parse(*s, track_count)) region = Region{regions::Trl1Record{std::move(t).value()}};
                } else {
                    if (auto t = Trl2::parse(*s, track_count)) region = Region{regions::Trl2Record{std::move(t).value()}};
                }
                break;
            }
            case RangeKind::Igl: {
                if (!block_typed || length != 2 * kS) break;
                auto b = read_block(file, r.first_lsn, 2);
                if (!b) break;
                if (auto l = IsrcGenreList::parse(*b, track_count)) region = Region{regions::IglRecord{std::move(l).value()}};
                break;
            }
            case RangeKind::TrackText: {
                if (!block_typed || length < kS || length > 32 * kS) break;
                auto b = read_block(file, r.first_lsn, static_cast<std::uint32_t>(r.sectors));
                if (!b) break;
                if (auto t = TrackText::parse(*b, area_channels, track_count, area_charsets))
                    region = Region{regions::TrackTextRecord{std::move(t).value()}};
                break;
            }
            default:
                break;
        }
        out.push_back(std::move(region));
    }
    return out;
}

bool is_area_toc(const Region& r) { return r.as<regions::AreaTocRecord>() || r.is_untyped(RangeKind::AreaToc); }

// Splits the typed flat list into the disc-level regions, the areas and the tail.
std::optional<Disc> split(const std::string& path, std::vector<Region> all) {
    Disc disc;
    disc.source_path = path;
    std::size_t i = 0;
    while (i < all.size() && !is_area_toc(all[i])) disc.regions.push_back(std::move(all[i++]));
    if (disc.regions.size() < 32) return std::nullopt;
    while (i < all.size() && is_area_toc(all[i])) {
        DiscArea area;
        while (i < all.size() && !all[i].is_untyped(RangeKind::Audio)) area.toc1.push_back(std::move(all[i++]));
        if (i >= all.size()) return std::nullopt;
        area.audio = std::move(all[i++]);
        while (i < all.size() && !is_area_toc(all[i]) && !all[i].is_untyped(RangeKind::Audio) &&
               !all[i].is_untyped(RangeKind::Tail))
            area.gap.push_back(std::move(all[i++]));
        if (i >= all.size() || !is_area_toc(all[i])) return std::nullopt;
        area.toc2.push_back(std::move(all[i++]));
        while (i < all.size() && !is_area_toc(all[i]) && !all[i].is_untyped(RangeKind::Audio) &&
               !all[i].is_untyped(RangeKind::Tail))
            area.toc2.push_back(std::move(all[i++]));
        disc.areas.push_back(std::move(area));
    }
    if (i < all.size()) {
        std::uint64_t start = 0, length = 0;
        bool first = true;
        for (; i < all.size(); ++i) {
            auto* u = all[i].as<regions::Untyped>();
            if (!u) return std::nullopt;
            if (first) start = u->offset, first = false;
            length += u->length;
        }
        disc.tail = Region::untyped(start, length, RangeKind::Tail);
    }
    if (disc.areas.empty()) return std::nullopt;
    return disc;
}

struct AreaPointers {
    std::uint64_t toc1 = 0, toc2 = 0;
};

}  // namespace

platform::Result<Disc, SacdError> import_iso(const std::string& path) {
    auto size_or = platform::size_of_file(path);
    if (!size_or) return platform::err(SacdError::io(size_or.error()));
    auto file_or = platform::File::open_read(path);
    if (!file_or) return platform::err(SacdError::io(file_or.error()));
    const platform::File& file = *file_or;
    const std::uint64_t size = *size_or;
    const std::uint64_t total_sectors = size / kS;

    // Recognition.
    if (size % kS != 0 || size < kMinImageBytes) return not_recognised(path, size);
    auto mtoc = read_sector(file, kMasterTocLsn);
    if (!mtoc || !has_signature(*mtoc, "SACDMTOC")) return not_recognised(path, size);

    // The fixed master area: 32 ranges.
    std::vector<Flat> flat;
    flat.push_back(Flat{0, kMasterTocLsn, RangeKind::PreMaster});
    for (std::uint64_t group : {510u, 520u, 530u}) {
        flat.push_back(Flat{group, 1, RangeKind::MasterToc});
        for (std::uint64_t slot = 0; slot < 8; ++slot) flat.push_back(Flat{group + 1 + slot, 1, RangeKind::MasterText});
        flat.push_back(Flat{group + 9, 1, RangeKind::Manufacturer});
    }
    flat.push_back(Flat{540, 4, RangeKind::MasterTocMirror});
    std::uint64_t p = kFirstAreaLsn;

    // Areas, stereo first; an area is present when its TOC-1 LSN is not 0.
    std::vector<AreaPointers> areas;
    for (std::size_t at : {64u, 72u}) {
        AreaPointers a{read_u32_be(mtoc->data() + at), read_u32_be(mtoc->data() + at + 4)};
        if (a.toc1 != 0) areas.push_back(a);
    }
    for (std::size_t n = 0; n < areas.size(); ++n) {
        const std::uint64_t toc1 = areas[n].toc1, toc2 = areas[n].toc2;
        if (toc1 < p) return not_recognised(path, size);
        if (toc1 > p) flat.push_back(Flat{p, toc1 - p, RangeKind::AreaTocPadding});

        auto head = read_sector(file, toc1);
        if (!head || (!has_signature(*head, "TWOCHTOC") && !has_signature(*head, "MULCHTOC")))
            return not_recognised(path, size);
        const std::uint8_t* h = head->data();
        const std::uint16_t toc_length = read_u16_be(h + 10);
        const std::uint16_t track_text_ptr = read_u16_be(h + 128);
        const std::uint64_t s = read_u32_be(h + 72), e = read_u32_be(h + 76);

        std::vector<std::uint16_t> list_ptrs;
        for (std::size_t at : {130u, 134u, 136u, 138u}) {
            std::uint16_t v = read_u16_be(h + at);
            if (v > track_text_ptr) list_ptrs.push_back(v);
        }
        std::sort(list_ptrs.begin(), list_ptrs.end());
        list_ptrs.erase(std::unique(list_ptrs.begin(), list_ptrs.end()), list_ptrs.end());
        const std::uint64_t x = list_ptrs.empty() ? toc_length : std::min<std::uint64_t>(list_ptrs.front(), toc_length);

        if (!(toc1 < s && s <= toc2 && e < toc2 && e + 1 >= s)) return not_recognised(path, size);

        walk_block(file, toc1, s, x, toc_length, list_ptrs, flat);
        flat.push_back(Flat{s, e - s + 1, RangeKind::Audio});
        if (e + 1 < toc2) flat.push_back(Flat{e + 1, toc2 - (e + 1), RangeKind::AreaTocPadding});

        std::uint64_t end;
        if (n + 1 < areas.size()) {
            end = areas[n + 1].toc1;
            if (end <= toc2) return not_recognised(path, size);
        } else {
            end = std::min(total_sectors, toc2 + (s - toc1));
        }
        if (end <= toc2) return not_recognised(path, size);
        walk_block(file, toc2, end, x, toc_length, list_ptrs, flat);
        p = end;
    }
    if (p < total_sectors) flat.push_back(Flat{p, total_sectors - p, RangeKind::Tail});

    std::uint64_t sum = 0;
    for (const Flat& r : flat) sum += r.sectors;
    if (sum != total_sectors) return not_recognised(path, size);

    auto disc = split(path, type_regions(file, flat));
    if (!disc) return not_recognised(path, size);
    return std::move(*disc);
}

}  // namespace sacd
