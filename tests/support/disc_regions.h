// The bytes an imported Disc's regions cover, added up: an import partitions the whole file
// exactly when this equals the file's size.
#pragma once

#include <cstdint>

#include "sacd/disc.h"

namespace testsupport {

inline std::uint64_t total_size(const sacd::Disc& d) {
    std::uint64_t sum = 0;
    for (const sacd::Region& r : d.regions) sum += r.size();
    for (const sacd::DiscArea& a : d.areas) {
        for (const sacd::Region& r : a.toc1) sum += r.size();
        sum += a.audio.size();
        for (const sacd::Region& r : a.gap) sum += r.size();
        for (const sacd::Region& r : a.toc2) sum += r.size();
    }
    if (d.tail) sum += d.tail->size();
    return sum;
}

}  // namespace testsupport
