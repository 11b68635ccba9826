// Track List 1: the first input byte is the track count, the rest the sector. A parsed list
// emits to the same bytes and the derived track values stay in range.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

#include "sacd/track_list.h"

using namespace sacd;

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t tracks = data[0];
    const std::span<const std::uint8_t> rest(data + 1, size - 1);
    (void)Trl1::parse(rest, tracks);

    Bytes sector(kSectorSize, 0);
    std::memcpy(sector.data(), rest.data(), std::min<std::size_t>(rest.size(), kSectorSize));
    std::memcpy(sector.data(), Trl1::kSignature.data(), Trl1::kSignature.size());
    auto parsed = Trl1::parse(sector, tracks);
    check(parsed.ok());
    check(parsed->start_lsns.size() == tracks && parsed->lengths.size() == tracks);
    auto out = parsed->emit();
    check(out.ok() && *out == sector);
    for (std::size_t t = 0; t <= tracks; ++t) {
        auto v = track_list_values(&*parsed, nullptr, t);
        check(t < tracks || (v.lsn_start == 0 && v.lsn_length == 0));
    }
    return 0;
}
