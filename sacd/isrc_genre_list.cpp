#include "sacd/isrc_genre_list.h"

#include <algorithm>
#include <cstring>

#include "platform/bytes.h"

namespace sacd {

namespace {

using platform::err;
using std::to_string;

constexpr std::size_t kIsrcArea = IsrcGenreList::kGenreOffset - IsrcGenreList::kIsrcOffset;  // 3064
constexpr std::size_t kGenreArea = IsrcGenreList::kBlockSize - IsrcGenreList::kGenreOffset;  // 1024

bool is_upper(char c) { return c >= 'A' && c <= 'Z'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

EditError internal(std::string text) { return EditError(edit_errors::Sacd{std::move(text)}); }

}  // namespace

bool is_valid_isrc(std::string_view text) {
    if (text.size() != 12) return false;
    for (std::size_t i = 0; i < 12; ++i) {
        const char c = text[i];
        const bool ok = i < 2 ? is_upper(c) : i < 5 ? is_upper(c) || is_digit(c) : is_digit(c);
        if (!ok) return false;
    }
    return true;
}

IsrcGenreList IsrcGenreList::make(std::uint8_t track_count) {
    IsrcGenreList list;
    list.isrcs.assign(track_count, IsrcCode{});
    list.genres.assign(track_count, GenreCode{});
    list.isrc_tail.assign(kIsrcArea - 12u * track_count, 0);
    list.genre_tail.assign(kGenreArea - 4u * track_count, 0);
    return list;
}

platform::Result<IsrcGenreList, SacdError> IsrcGenreList::parse(std::span<const std::uint8_t> block,
                                                                std::uint8_t track_count) {
    if (block.size() != kBlockSize) return err(SacdError::malformed("SACD_IGL block is not 4096 bytes"));
    if (std::memcmp(block.data(), kSignature.data(), kSignature.size()) != 0)
        return err(SacdError::malformed("missing SACD_IGL magic"));
    IsrcGenreList list;
    const std::uint8_t* isrc_area = block.data() + kIsrcOffset;
    list.isrcs.resize(track_count);
    for (std::size_t t = 0; t < track_count; ++t) std::memcpy(list.isrcs[t].data(), isrc_area + 12 * t, 12);
    list.isrc_tail.assign(isrc_area + 12 * track_count, isrc_area + kIsrcArea);
    const std::uint8_t* genre_area = block.data() + kGenreOffset;
    list.genres.resize(track_count);
    for (std::size_t t = 0; t < track_count; ++t) {
        const std::uint8_t* g = genre_area + 4 * t;
        list.genres[t] = GenreCode{g[0], g[1], platform::read_u16_be(g + 2)};
    }
    list.genre_tail.assign(genre_area + 4 * track_count, genre_area + kGenreArea);
    return list;
}

platform::Result<Bytes, EditError> IsrcGenreList::emit() const {
    if (isrcs.size() != genres.size())
        return err(internal("IsrcGenreList: " + to_string(isrcs.size()) + " ISRC entries but " +
                            to_string(genres.size()) + " genre codes - every track needs one of each"));
    const std::size_t tracks = isrcs.size();
    if (tracks > kMaxTracks)
        return err(internal("IsrcGenreList: " + to_string(tracks) + " tracks exceed the maximum of " +
                            to_string(kMaxTracks)));
    if (isrc_tail.size() != kIsrcArea - 12 * tracks)
        return err(internal("IsrcGenreList: ISRC tail is " + to_string(isrc_tail.size()) + " bytes, expected " +
                            to_string(kIsrcArea - 12 * tracks) + " after " + to_string(tracks) + " tracks"));
    if (genre_tail.size() != kGenreArea - 4 * tracks)
        return err(internal("IsrcGenreList: genre tail is " + to_string(genre_tail.size()) + " bytes, expected " +
                            to_string(kGenreArea - 4 * tracks) + " after " + to_string(tracks) + " tracks"));
    Bytes block(kBlockSize, 0);
    std::memcpy(block.data(), kSignature.data(), kSignature.size());
    std::uint8_t* isrc_area = block.data() + kIsrcOffset;
    for (std::size_t t = 0; t < tracks; ++t) std::memcpy(isrc_area + 12 * t, isrcs[t].data(), 12);
    std::copy(isrc_tail.begin(), isrc_tail.end(), isrc_area + 12 * tracks);
    std::uint8_t* genre_area = block.data() + kGenreOffset;
    for (std::size_t t = 0; t < tracks; ++t) {
        std::uint8_t* g = genre_area + 4 * t;
        g[0] = genres[t].table;
        g[1] = genres[t].reserved;
        platform::write_u16_be(g + 2, genres[t].index);
    }
    std::copy(genre_tail.begin(), genre_tail.end(), genre_area + 4 * tracks);
    return block;
}

std::optional<std::string> IsrcGenreList::read_isrc(std::size_t track) const {
    if (track >= isrcs.size()) return std::nullopt;
    // A valid ISRC is plain ASCII, so the shape check also rules out zeros and invalid UTF-8.
    std::string text(isrcs[track].begin(), isrcs[track].end());
    if (!is_valid_isrc(text)) return std::nullopt;
    return text;
}

platform::Result<IsrcCode, EditError> IsrcGenreList::isrc_bytes(std::string_view text) {
    IsrcCode code{};
    if (text.empty()) return code;
    if (!is_valid_isrc(text)) return err(EditError(edit_errors::InvalidIsrc{std::string(text)}));
    std::copy(text.begin(), text.end(), code.begin());
    return code;
}

}  // namespace sacd
