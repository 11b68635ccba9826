// The records the online clients deliver: search hits and fetched releases.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace online::model {

// One search result of either service.
struct SearchHit {
    std::string id;       // Discogs: decimal release id; MusicBrainz: MBID
    std::string source;   // "discogs" or "musicbrainz"
    std::string title;
    std::string catno;
    std::string format;   // format names joined with ", "
    std::string country;
    std::string thumb;    // Discogs thumbnail address; empty for MusicBrainz
    std::uint16_t year = 0;
    bool catalog_match = false;  // set by ranking
    bool is_sacd = false;

    // Whether a format text names SACD (any letter case).
    static bool format_is_sacd(std::string_view format);
};

struct PerformerCredit {
    std::string name;
    std::optional<std::string> instrument;
    bool operator==(const PerformerCredit&) const = default;
};

struct ReleaseTrack {
    std::string title;
    std::string performer;
    std::vector<PerformerCredit> performer_credits;
    std::string songwriter;
    std::string composer;
    std::string arranger;
    bool operator==(const ReleaseTrack&) const = default;
};

struct ReleaseDisc {
    std::vector<ReleaseTrack> tracks;  // in play order
    std::uint32_t number = 1;
    bool operator==(const ReleaseDisc&) const = default;
};

// One fetched release.
struct ReleaseInfo {
    std::string artist;
    std::string title;
    std::string disc_catalog;   // the label's catalog number
    std::string album_catalog;  // the barcode, ASCII digits only
    std::string cover_image;    // address of the cover image
    std::string country;
    std::string web_page;       // the release's page at the source; may be empty
    std::vector<ReleaseDisc> discs;  // sorted by disc number
    std::uint16_t year = 0;
    bool operator==(const ReleaseInfo&) const = default;
};

}  // namespace online::model
