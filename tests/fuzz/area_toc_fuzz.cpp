// Area TOC: any byte string parses or is refused cleanly; a parsed sector emits to the same
// bytes, its area texts decode, and removing a text channel keeps it emittable.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "sacd/area_toc.h"
#include "tests/fuzz/fuzz_support.h"

using namespace sacd;
using fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    (void)AreaToc::parse(std::span<const std::uint8_t>(data, size));

    const bool multi = size > 0 && (data[0] & 1) != 0;
    const Bytes sector = fuzz::signed_block(
        data, size, multi ? AreaToc::kMultichannelSignature : AreaToc::kStereoSignature, kSectorSize);
    auto parsed = AreaToc::parse(sector);
    check(parsed.ok());
    AreaToc toc = std::move(parsed).value();
    check(toc.multichannel == multi);
    check(toc.emit() == sector);
    check(toc.area_text_decoded().size() == std::min<std::size_t>(toc.text_channel_count(), 8));
    check(toc.channel_charsets().size() == toc.text_channel_count());
    (void)toc.audio_sectors();
    (void)toc.total_area_play_time.to_string();

    AreaToc removed = toc;
    const std::uint8_t n = toc.text_channel_count();
    if (removed.text_channels_remove(sector[9] % 10).ok()) {
        check(removed.text_channel_count() == n - 1);
        auto reparsed = AreaToc::parse(removed.emit());
        check(reparsed.ok() && *reparsed == removed);
    } else {
        check(removed == toc);
    }
    return 0;
}
