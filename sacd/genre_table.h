// The General Genre Table (Genre_Table 1): the genre names users may give, and the names
// reports show for stored genre codes.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace sacd {

// The Genre_Table value of the General Genre Table.
inline constexpr std::uint8_t kGeneralGenreTable = 1;

// English names by index: entry i is Genre_Index i + 1.
inline constexpr std::array<std::string_view, 29> kGeneralGenreNames{
    "Not defined",     "Adult Contemporary", "Alternative Rock", "Children's Music", "Classical",
    "Contemporary Christian", "Country",     "Dance",            "Easy Listening",   "Erotic",
    "Folk",            "Gospel",             "Hip Hop",          "Jazz",             "Latin",
    "Musical",         "New Age",            "Opera",            "Operetta",         "Pop Music",
    "RAP",             "Reggae",             "Rock Music",       "Rhythm & Blues",   "Sound Effects",
    "Sound Track",     "Spoken Word",        "World Music",      "Blues",
};

// The Genre_Index of the entry named `name`, compared after trimming surrounding white space
// and without regard to ASCII letter case; nothing when no entry matches.
std::optional<std::uint16_t> general_genre_index(std::string_view name);

// The English name of (Genre_Table, Genre_Index) for the General Genre Table, index 1..29;
// nothing for any other table or index.
std::optional<std::string_view> genre_ref_name(std::uint8_t table, std::uint16_t index);

}  // namespace sacd
