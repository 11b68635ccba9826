// The application settings file: "velmora/settings.json" in the user's application-data folder.
// Read only; this program never writes it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace online::settings {

struct Settings {
    std::string discogs_token;          // "discogsToken"
    std::string language = "en";        // "language": kept with the settings, unused here
    bool block_track_mismatch = true;   // "blockTrackMismatch": kept with the settings, unused here
};

// The settings, or the defaults when the file is missing, unreadable, not UTF-8 or not valid.
Settings load();

// The settings a file's text holds: an object (unknown keys skipped, missing keys defaulted) or
// an array of the values in key order; nothing when the text is not such a value.
std::optional<Settings> parse(std::string_view text);

}  // namespace online::settings
