#include "sacd/fs/lsn_map.h"

#include <string>

namespace sacd::fs {

using platform::err;

FsResult<std::uint64_t> LsnMap::remap_lsn(std::uint64_t old_lsn) const {
    for (const LsnSpan& span : spans) {
        if (span.sectors > UINT64_MAX - span.old_start) return layout_error("3c remap: span end overflows u64");
        if (old_lsn < span.old_start || old_lsn >= span.old_start + span.sectors) continue;
        if (span.resized)
            return layout_error("3c remap: old LSN " + std::to_string(old_lsn) + " falls inside a resized region (start " +
                                std::to_string(span.old_start) + ", " + std::to_string(span.sectors) +
                                " sectors) - unexpected FS reference");
        const std::uint64_t delta = old_lsn - span.old_start;
        if (delta > UINT64_MAX - span.new_start) return layout_error("3c remap: remapped LSN overflows u64");
        return span.new_start + delta;
    }
    return layout_error("3c remap: old LSN " + std::to_string(old_lsn) + " is in no region");
}

FsResult<LsnMap> build_lsn_map(std::span<const Region> source_layout, std::span<const Region> relaid_layout) {
    if (source_layout.size() != relaid_layout.size())
        return layout_error("3c remap: region count changed under relayout (" + std::to_string(source_layout.size()) +
                            " -> " + std::to_string(relaid_layout.size()) + ")");
    LsnMap map;
    // Positions are byte sums (as the layout computes them); sizes are whole sectors.
    std::uint64_t old_bytes = 0, new_bytes = 0, old_total = 0, new_total = 0;
    for (std::size_t i = 0; i < source_layout.size(); ++i) {
        const Region& before = source_layout[i];
        const Region& after = relaid_layout[i];
        if (before.kind_label() != after.kind_label())
            return layout_error("3c remap: region " + std::to_string(i) + " kind changed under relayout (" +
                                std::string(before.kind_label()) + " -> " + std::string(after.kind_label()) +
                                ") - relayout must preserve region order and kind");
        const std::uint64_t old_sectors = before.size() / kSectorSize;
        const std::uint64_t new_sectors = after.size() / kSectorSize;
        map.spans.push_back(
            LsnSpan{old_bytes / kSectorSize, new_bytes / kSectorSize, old_sectors, old_sectors != new_sectors});
        old_bytes += before.size();
        new_bytes += after.size();
        old_total += old_sectors;
        new_total += new_sectors;
    }
    if (new_total < old_total)
        return layout_error("3c remap: disc shrank under relayout (" + std::to_string(old_total) + " -> " +
                            std::to_string(new_total) + ")");
    map.growth = new_total - old_total;
    return map;
}

}  // namespace sacd::fs
