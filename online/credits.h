// Sorting release credits into performer, songwriter, composer and arranger texts, and the
// punctuation clean-up of imported text. Both clients build their tracks with these.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "online/model.h"

namespace online {

enum class CreditKind { Performer, Songwriter, Composer, Arranger };

// The kind a normalised role part names, or nothing when it names none of interest.
std::optional<CreditKind> map_credit_role(std::string_view normalised_part);

// The credits of one track (or of a whole release) while it is collected.
struct TrackCredits {
    std::vector<model::PerformerCredit> performers;
    std::vector<std::string> songwriters, composers, arrangers;

    // Classifies `role` and records `name` under every kind it names, each name once.
    void add(std::string_view role, std::string_view name, std::optional<std::string_view> instrument);
    // Fills the track's empty credit texts.
    void fill_missing(model::ReleaseTrack& track) const;
    bool empty() const;
};

// The instrument a Discogs role names ("Violin [Solo]" -> "violin"), or nothing.
std::optional<std::string> role_instrument(std::string_view role);

// The text without its bracketed parts; a stray "]" is dropped, nothing is trimmed.
std::string strip_bracketed(std::string_view text);
// Lower case, "-" as a blank, white space collapsed to single blanks, no blanks at the ends.
std::string normalize_part(std::string_view text);
// Appends `name` unless the list holds exactly that text already.
void push_name(std::vector<std::string>& names, std::string_view name);

// "Name (instrument); Name" for every credit.
std::string format_performer(const std::vector<model::PerformerCredit>& credits);
// The distinct names only, "; "-joined, punctuation cleaned.
std::string format_performer_names_only(const std::vector<model::PerformerCredit>& credits);

// Typographic punctuation replaced by the plain characters a disc's character set can hold.
std::string normalize_external_punctuation(std::string_view text);
// The clean-up applied to a finished release's artist, title, label catalog number and texts.
void normalize_release_info(model::ReleaseInfo& release);

std::string digits_only(std::string_view text);

}  // namespace online
