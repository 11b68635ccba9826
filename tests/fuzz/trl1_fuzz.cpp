// Track List 1: the first input byte is the track count, the rest the sector. A parsed list
// emits to the same bytes and the derived track values stay in range.
#include <cstddef>
#include <cstdint>
#include <span>

#include "sacd/track_list.h"
#include "tests/fuzz/fuzz_support.h"

using namespace sacd;
using fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t tracks = data[0];
    const std::span<const std::uint8_t> rest(data + 1, size - 1);
    (void)Trl1::parse(rest, tracks);

    const Bytes sector = fuzz::signed_block(rest.data(), rest.size(), Trl1::kSignature, kSectorSize);
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
