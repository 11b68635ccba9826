// Master TOC: any sector parses or is refused cleanly; a parsed sector emits to the same bytes, and
// setters fed with arbitrary values keep the record emittable and parseable.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "sacd/master_toc.h"
#include "tests/fuzz/fuzz_support.h"

using namespace sacd;
using fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The raw input as given: short and long buffers must be refused, never read past.
    (void)MasterToc::parse(std::span<const std::uint8_t>(data, size));

    const Bytes sector = fuzz::signed_block(data, size, MasterToc::kSignature, kSectorSize);
    auto parsed = MasterToc::parse(sector);
    check(parsed.ok());
    MasterToc toc = std::move(parsed).value();
    check(toc.emit() == sector);
    (void)toc.weblink();
    for (std::size_t i = 0; i <= MasterToc::kMaxTextChannels; ++i) (void)toc.text_channel(i);

    // Setters take their values from the sector; whatever they accept must still round-trip.
    const std::uint8_t* v = sector.data() + 8;
    (void)toc.set_disc_date(static_cast<std::uint16_t>(v[0] << 8 | v[1]), v[2], v[3]);
    Genre4 genre;
    for (std::size_t i = 0; i < 4; ++i)
        genre[i] = GenreCode{static_cast<std::uint8_t>(v[4 + i] & 3), static_cast<std::uint8_t>(v[8 + i] & 1),
                             static_cast<std::uint16_t>(v[12 + i] & 7)};
    (void)toc.set_album_genre(genre);
    (void)toc.set_disc_genre(genre);
    (void)toc.set_album_set(v[16], v[17]);
    const std::size_t text_len = std::min<std::size_t>(v[18] % 24, 32);
    (void)toc.set_album_catalog_number(std::string_view(reinterpret_cast<const char*>(v + 20), text_len));
    TextChannel channels[9];
    (void)toc.set_text_channels(std::span<const TextChannel>(channels, v[19] % 10));

    const Bytes again = toc.emit();
    check(again.size() == kSectorSize);
    auto reparsed = MasterToc::parse(again);
    check(reparsed.ok() && *reparsed == toc);
    return 0;
}
