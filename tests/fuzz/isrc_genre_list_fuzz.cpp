// ISRC and genre list: the first input byte is the track count, the rest the block. A parsed
// list emits to the same bytes and every ISRC it reads back is valid.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "sacd/genre_table.h"
#include "sacd/isrc_genre_list.h"
#include "tests/fuzz/fuzz_support.h"

using namespace sacd;
using fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t tracks = data[0];
    const std::span<const std::uint8_t> rest(data + 1, size - 1);
    (void)IsrcGenreList::parse(rest, tracks);
    (void)general_genre_index(std::string_view(reinterpret_cast<const char*>(rest.data()), rest.size()));

    const Bytes block = fuzz::signed_block(rest.data(), rest.size(), IsrcGenreList::kSignature, IsrcGenreList::kBlockSize);
    auto parsed = IsrcGenreList::parse(block, tracks);
    check(parsed.ok());
    auto out = parsed->emit();
    check(out.ok() && *out == block);
    for (std::size_t t = 0; t <= tracks; ++t) {
        auto isrc = parsed->read_isrc(t);
        check(!isrc || (t < tracks && is_valid_isrc(*isrc)));
        if (t < tracks) (void)genre_ref_name(parsed->genres[t].table, parsed->genres[t].index);
    }
    return 0;
}
