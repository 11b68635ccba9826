// The ISRC and genre list ("SACD_IGL"): two sectors of the Area TOC block holding one ISRC and
// one genre code per track.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"
#include "sacd/edit_error.h"
#include "sacd/error.h"
#include "sacd/genre.h"
#include "sacd/image.h"

namespace sacd {

// An ISRC as stored: 12 ASCII characters, or 12 zero bytes when the track has none.
using IsrcCode = std::array<std::uint8_t, 12>;

struct IsrcGenreList {
    static constexpr std::string_view kSignature = "SACD_IGL";
    static constexpr std::size_t kBlockSize = 2 * kSectorSize;  // 4096
    static constexpr std::size_t kIsrcOffset = 8;
    static constexpr std::size_t kGenreOffset = 3072;  // the ISRC area, reserved bytes included, ends here
    static constexpr std::size_t kMaxTracks = 255;

    std::vector<IsrcCode> isrcs;    // one per track, track_count entries
    Bytes isrc_tail;                // after the used ISRCs up to offset 3072 (3064 - 12 x tracks bytes)
    std::vector<GenreCode> genres;  // one per track
    Bytes genre_tail;               // after the used genre codes up to 4096 (1024 - 4 x tracks bytes)

    // A list of `track_count` tracks without ISRCs or genres, zeroed tails.
    static IsrcGenreList make(std::uint8_t track_count);

    // Reads the first `track_count` entries. Errors: "SACD_IGL block is not 4096 bytes",
    // "missing SACD_IGL magic".
    static platform::Result<IsrcGenreList, SacdError> parse(std::span<const std::uint8_t> block,
                                                            std::uint8_t track_count);
    // The 4096-byte block; an internal error when the lists differ in length, hold more than
    // 255 tracks, or a tail does not fill its area.
    platform::Result<Bytes, EditError> emit() const;

    // The track's ISRC, or nothing when out of range, all zero, or not a valid ISRC.
    std::optional<std::string> read_isrc(std::size_t track) const;

    // The stored form of an ISRC: empty text gives 12 zero bytes, any other text must pass
    // is_valid_isrc (InvalidIsrc otherwise).
    static platform::Result<IsrcCode, EditError> isrc_bytes(std::string_view text);

    friend bool operator==(const IsrcGenreList&, const IsrcGenreList&) = default;
};

// Exactly 12 characters: 2 upper-case letters, 3 upper-case letters or digits, 7 digits.
bool is_valid_isrc(std::string_view text);

}  // namespace sacd
