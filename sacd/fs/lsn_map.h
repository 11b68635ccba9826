// The map from a source image's sector numbers to those of its new layout, region by region.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "sacd/fs/sites.h"
#include "sacd/region.h"

namespace sacd::fs {

struct LsnSpan {
    std::uint64_t old_start = 0;
    std::uint64_t new_start = 0;
    std::uint64_t sectors = 0;  // the old region's size
    bool resized = false;       // old and new sizes differ
};

struct LsnMap {
    std::vector<LsnSpan> spans;  // in region order
    std::uint64_t growth = 0;    // sectors the image gained

    // The new LSN of a sector that lies in a region that kept its size.
    FsResult<std::uint64_t> remap_lsn(std::uint64_t old_lsn) const;
};

// The map between two layouts of the same regions: the source layout (the relaid regions with the
// source's sizes) and the relaid one. Both must hold the same regions in the same order.
FsResult<LsnMap> build_lsn_map(std::span<const Region> source_layout, std::span<const Region> relaid_layout);

}  // namespace sacd::fs
