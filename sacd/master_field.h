// The sixteen album and disc text fields of a Master Text record, in their on-disc order.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace sacd {

// The order is the order of the position table in the sector; do not reorder.
enum class MasterField : std::uint8_t {
    AlbumTitle,
    AlbumArtist,
    AlbumPublisher,
    AlbumCopyright,
    AlbumTitlePhonetic,
    AlbumArtistPhonetic,
    AlbumPublisherPhonetic,
    AlbumCopyrightPhonetic,
    DiscTitle,
    DiscArtist,
    DiscPublisher,
    DiscCopyright,
    DiscTitlePhonetic,
    DiscArtistPhonetic,
    DiscPublisherPhonetic,
    DiscCopyrightPhonetic,
};

inline constexpr std::size_t kMasterFieldCount = 16;

struct MasterFieldInfo {
    MasterField field;
    std::string_view name;  // the value name, as error messages and debug forms show it
    bool phonetic;
};

// The one table of the vocabulary: names and kinds in position order.
inline constexpr std::array<MasterFieldInfo, kMasterFieldCount> kMasterFields{{
    {MasterField::AlbumTitle, "AlbumTitle", false},
    {MasterField::AlbumArtist, "AlbumArtist", false},
    {MasterField::AlbumPublisher, "AlbumPublisher", false},
    {MasterField::AlbumCopyright, "AlbumCopyright", false},
    {MasterField::AlbumTitlePhonetic, "AlbumTitlePhonetic", true},
    {MasterField::AlbumArtistPhonetic, "AlbumArtistPhonetic", true},
    {MasterField::AlbumPublisherPhonetic, "AlbumPublisherPhonetic", true},
    {MasterField::AlbumCopyrightPhonetic, "AlbumCopyrightPhonetic", true},
    {MasterField::DiscTitle, "DiscTitle", false},
    {MasterField::DiscArtist, "DiscArtist", false},
    {MasterField::DiscPublisher, "DiscPublisher", false},
    {MasterField::DiscCopyright, "DiscCopyright", false},
    {MasterField::DiscTitlePhonetic, "DiscTitlePhonetic", true},
    {MasterField::DiscArtistPhonetic, "DiscArtistPhonetic", true},
    {MasterField::DiscPublisherPhonetic, "DiscPublisherPhonetic", true},
    {MasterField::DiscCopyrightPhonetic, "DiscCopyrightPhonetic", true},
}};

constexpr bool master_field_table_in_order() {
    for (std::size_t i = 0; i < kMasterFields.size(); ++i)
        if (static_cast<std::size_t>(kMasterFields[i].field) != i) return false;
    return true;
}
static_assert(master_field_table_in_order(), "kMasterFields must list every field once, in position order");

// The field's slot in the position table (0..15).
constexpr std::size_t master_field_index(MasterField field) { return static_cast<std::size_t>(field); }

// The value name, e.g. "AlbumTitlePhonetic".
constexpr std::string_view master_field_name(MasterField field) { return kMasterFields[master_field_index(field)].name; }

// Values 4-7 and 12-15 are the phonetic spellings.
constexpr bool is_phonetic(MasterField field) { return kMasterFields[master_field_index(field)].phonetic; }

// The field at a position-table slot, or nothing for 16 and above.
constexpr std::optional<MasterField> master_field_at(std::size_t index) {
    if (index >= kMasterFieldCount) return std::nullopt;
    return kMasterFields[index].field;
}

}  // namespace sacd
