// Track List 2: the first input byte is the track count, the rest the sector. A parsed list
// emits to the same bytes; pauses are never negative and frame counts convert back.
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
    (void)Trl2::parse(rest, tracks);

    const Bytes sector = fuzz::signed_block(rest.data(), rest.size(), Trl2::kSignature, kSectorSize);
    auto parsed = Trl2::parse(sector, tracks);
    check(parsed.ok());
    auto out = parsed->emit();
    check(out.ok() && *out == sector);
    for (std::size_t t = 0; t <= tracks; ++t) {
        auto v = track_list_values(nullptr, &*parsed, t);
        check(v.pause_frames <= v.start_frames);
        check(v.start_time.size() >= 8 && v.duration.size() >= 8);
        if (auto back = TimeCode::from_frames(v.start_frames)) check(back->to_frames() == v.start_frames);
    }
    return 0;
}
