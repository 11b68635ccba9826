// ISRC and genre list: the first input byte is the track count, the rest the block. A parsed
// list emits to the same bytes and every ISRC it reads back is valid.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string_view>

#include "sacd/genre_table.h"
#include "sacd/isrc_genre_list.h"

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
    (void)IsrcGenreList::parse(rest, tracks);
    (void)general_genre_index(std::string_view(reinterpret_cast<const char*>(rest.data()), rest.size()));

    Bytes block(IsrcGenreList::kBlockSize, 0);
    std::memcpy(block.data(), rest.data(), std::min<std::size_t>(rest.size(), block.size()));
    std::memcpy(block.data(), IsrcGenreList::kSignature.data(), IsrcGenreList::kSignature.size());
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
