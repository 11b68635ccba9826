#include "sacd/edit_error.h"

#include "sacd/charset.h"

#include <type_traits>

namespace sacd {

std::string char_to_utf8(char32_t c) { return chars_to_utf8(std::span<const char32_t>(&c, 1)); }

namespace {

using std::to_string;

const char* phonetic_word(bool phonetic) { return phonetic ? "phonetic" : "non-phonetic"; }

std::string language_text(const std::uint8_t (&lang)[2]) {
    auto printable = [](std::uint8_t b) { return b >= 33 && b <= 126; };
    if (printable(lang[0]) && printable(lang[1]))
        return std::string("\"") + static_cast<char>(lang[0]) + static_cast<char>(lang[1]) + "\"";
    return "[" + to_string(lang[0]) + ", " + to_string(lang[1]) + "]";
}

struct MessageOf {
    std::string operator()(const edit_errors::FieldTooLong& e) const {
        return "field " + e.field + " is " + to_string(e.actual_bytes) + " bytes after encoding - exceeds the " +
               to_string(e.limit_bytes) + "-byte on-disc slot";
    }
    std::string operator()(const edit_errors::RepairExceedsHeapBudget& e) const {
        return "repair would push the heap to " + to_string(e.used) + " bytes - exceeds the spec maximum of " +
               to_string(e.budget) + " bytes; cannot de-alias without losing data";
    }
    std::string operator()(const edit_errors::AliasedPositionsRequireRepairFirst& e) const {
        std::string offsets;
        for (std::size_t i = 0; i < e.aliased_offsets.size(); ++i) {
            if (i) offsets += ", ";
            offsets += to_string(e.aliased_offsets[i]);
        }
        const std::size_t n = e.aliased_offsets.size();
        return "cannot set field - MasterText has " + to_string(n) + " distinct heap byte offset" +
               (n == 1 ? "" : "s") + " with multiple position-table slots aliased to them: " + offsets +
               " (cannot safely edit without corrupting the shared string); run a RepairAliasedPositions edit "
               "first to de-alias, then retry the SetField";
    }
    std::string operator()(const edit_errors::CharacterNotInCharset& e) const {
        return "character " + char_to_utf8(e.character) + " cannot be encoded in charset code " +
               to_string(e.charset_code) + " (field " + e.field + ")";
    }
    std::string operator()(const edit_errors::InvalidIsrc& e) const {
        return e.value + " is not a valid 12-character ISRC (ISO 3901 format CCXXXYYNNNNN)";
    }
    std::string operator()(const edit_errors::InvalidAlbumSet& e) const {
        return "invalid Album_Set: size = " + to_string(e.size) + ", sequence = " + to_string(e.sequence) +
               " (require 1 <= sequence <= size)";
    }
    std::string operator()(const edit_errors::InvalidDate& e) const {
        return "invalid Disc_Date: year = " + to_string(e.year) + ", month = " + to_string(e.month) +
               ", day = " + to_string(e.day);
    }
    std::string operator()(const edit_errors::InvalidGenre4& e) const { return "invalid Genre4: " + e.reason; }
    std::string operator()(const edit_errors::LocaleNotYetTyped& e) const {
        return "locale " + to_string(e.locale) + " is not yet typed - M3 will lift this limitation";
    }
    std::string operator()(const edit_errors::LocaleOutOfRange& e) const {
        return "locale " + to_string(e.locale) + " out of range - disc has " + to_string(e.n_text_channels) +
               " text channel(s)";
    }
    std::string operator()(const edit_errors::TrackOutOfRange& e) const {
        return "track " + to_string(e.track) + " out of range - area has " + to_string(e.n_tracks) + " track(s)";
    }
    std::string operator()(const edit_errors::AreaOutOfRange& e) const {
        return "area index " + to_string(e.area) + " out of range - disc has " + to_string(e.n_areas) + " area(s)";
    }
    std::string operator()(const edit_errors::DiscNotTyped&) const {
        return "disc did not decode into a typed SACD model - cannot edit";
    }
    std::string operator()(const edit_errors::RequiredRegionMissing& e) const {
        return "required " + e.what + " region is missing from the disc model";
    }
    std::string operator()(const edit_errors::WireOpFieldMismatch& e) const {
        return e.op + " dispatched with MasterField::" + e.field + " - that variant is " +
               phonetic_word(!e.expected_phonetic) + " but " + e.op + " requires a " +
               phonetic_word(e.expected_phonetic) + " field";
    }
    std::string operator()(const edit_errors::WireOpTrackFieldMismatch& e) const {
        return e.op + " dispatched with TrackField::" + e.field + " - that variant is " +
               phonetic_word(!e.expected_phonetic) + " but " + e.op + " requires a " +
               phonetic_word(e.expected_phonetic) + " field";
    }
    std::string operator()(const edit_errors::IsoMissing& e) const {
        return "the original ISO is no longer at " + e.path + " - use \"Locate ISO\" to point at where it is now";
    }
    std::string operator()(const edit_errors::PlanEditFailed& e) const {
        return "edit #" + to_string(e.index + 1) + " in plan failed: " + (e.source ? e.source->message() : "");
    }
    std::string operator()(const edit_errors::LocaleLimitReached& e) const {
        return "cannot add locale - disc already has the spec maximum of " + to_string(e.current) +
               " text channel(s)";
    }
    std::string operator()(const edit_errors::CannotRemoveLastLocale&) const {
        return "cannot remove the last locale - disc must keep at least one text channel";
    }
    std::string operator()(const edit_errors::InvalidCharSet& e) const {
        return "invalid char_set code " + to_string(e.char_set_code) +
               " (must be 1..=7; 0 means 'not used' and 8..=255 are reserved)";
    }
    std::string operator()(const edit_errors::LocaleAlreadyExists& e) const {
        return "locale (language=" + language_text(e.language) + ", char_set_code=" + to_string(e.char_set_code) +
               ") already exists on this disc";
    }
    std::string operator()(const edit_errors::OpaqueTrackTextBlocksLocaleEdit& e) const {
        return "cannot add/remove a locale - area " + to_string(e.area) +
               " has tracks (AreaToc.track_count > 0) but its TrackText block failed to parse and stayed opaque; "
               "bumping AreaToc.N_Text_Channels without growing/shrinking the TrackText position table would "
               "silently corrupt the disc (spec §3.2.6 Fig 3-43)";
    }
    std::string operator()(const edit_errors::EmptyTextChannelsRequireNormalizeFirst& e) const {
        return "this disc is a non-standard home-made SACD-R - area " + to_string(e.area) +
               " declares text channels but stores no text and has no track-title table, so it does not conform "
               "to the SACD spec; bring the disc to standard first, then edit";
    }
    std::string operator()(const edit_errors::Sacd& e) const { return e.message; }
};

}  // namespace

std::string EditError::message() const { return std::visit(MessageOf{}, value); }

}  // namespace sacd
