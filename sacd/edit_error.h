// The edit engine's error. Records use it for their setters, so it lives with the records.
// Its messages are English only, whatever the language switch.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace sacd {

struct EditError;

namespace edit_errors {

struct FieldTooLong { std::string field; std::uint64_t actual_bytes = 0, limit_bytes = 0; };
struct RepairExceedsHeapBudget { std::uint64_t used = 0, budget = 0; };
struct AliasedPositionsRequireRepairFirst { std::vector<std::uint16_t> aliased_offsets; };
struct CharacterNotInCharset { std::string field; char32_t character = 0; std::uint8_t charset_code = 0; };
struct InvalidIsrc { std::string value; };
struct InvalidAlbumSet { std::uint16_t size = 0, sequence = 0; };
struct InvalidDate { std::uint16_t year = 0; std::uint8_t month = 0, day = 0; };
struct InvalidGenre4 { std::string reason; };
struct LocaleNotYetTyped { std::uint8_t locale = 0; };
struct LocaleOutOfRange { std::uint8_t locale = 0; std::uint8_t n_text_channels = 0; };
struct TrackOutOfRange { std::uint32_t track = 0, n_tracks = 0; };
struct AreaOutOfRange { std::uint32_t area = 0, n_areas = 0; };
struct DiscNotTyped {};
struct RequiredRegionMissing { std::string what; };
struct WireOpFieldMismatch { std::string op, field; bool expected_phonetic = false; };
struct WireOpTrackFieldMismatch { std::string op, field; bool expected_phonetic = false; };
struct IsoMissing { std::string path; };
struct PlanEditFailed { std::size_t index = 0; std::shared_ptr<const EditError> source; };
struct LocaleLimitReached { std::uint8_t current = 0; };
struct CannotRemoveLastLocale {};
struct InvalidCharSet { std::uint8_t char_set_code = 0; };
struct LocaleAlreadyExists { std::uint8_t language[2] = {0, 0}; std::uint8_t char_set_code = 0; };
struct OpaqueTrackTextBlocksLocaleEdit { std::uint32_t area = 0; };
struct EmptyTextChannelsRequireNormalizeFirst { std::uint32_t area = 0; };
struct Sacd { std::string message; };

}  // namespace edit_errors

struct EditError {
    using Value = std::variant<edit_errors::FieldTooLong, edit_errors::RepairExceedsHeapBudget,
                               edit_errors::AliasedPositionsRequireRepairFirst, edit_errors::CharacterNotInCharset,
                               edit_errors::InvalidIsrc, edit_errors::InvalidAlbumSet, edit_errors::InvalidDate,
                               edit_errors::InvalidGenre4, edit_errors::LocaleNotYetTyped,
                               edit_errors::LocaleOutOfRange, edit_errors::TrackOutOfRange,
                               edit_errors::AreaOutOfRange, edit_errors::DiscNotTyped,
                               edit_errors::RequiredRegionMissing, edit_errors::WireOpFieldMismatch,
                               edit_errors::WireOpTrackFieldMismatch, edit_errors::IsoMissing,
                               edit_errors::PlanEditFailed, edit_errors::LocaleLimitReached,
                               edit_errors::CannotRemoveLastLocale, edit_errors::InvalidCharSet,
                               edit_errors::LocaleAlreadyExists, edit_errors::OpaqueTrackTextBlocksLocaleEdit,
                               edit_errors::EmptyTextChannelsRequireNormalizeFirst, edit_errors::Sacd>;
    Value value;

    template <class K>
    EditError(K kind) : value(std::move(kind)) {}

    template <class K>
    const K* as() const { return std::get_if<K>(&value); }

    // The fixed message with its values filled in.
    std::string message() const;
};

// A character as users read it in messages: the character itself (UTF-8).
std::string char_to_utf8(char32_t c);

}  // namespace sacd
