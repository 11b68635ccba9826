// The Discogs client: the database search and the release endpoint of the Discogs API.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "online/credits.h"
#include "online/http.h"
#include "online/model.h"
#include "platform/result.h"

namespace online::discogs {

template <class T>
using Answer = platform::Result<T, std::string>;  // the error is a finished user message

using QueryPairs = std::vector<std::pair<std::string, std::string>>;

// GET through the Discogs agent. The token goes only to the Discogs API's own host.
Answer<http::Response> http_get(const std::string& url, std::string_view token);
// Whether the Authorization header may be sent to `url`.
bool is_discogs_address(std::string_view url, std::string_view discogs_domain);

// Catalog numbers first (as barcode and catalog number, with and without the SACD format),
// then artist and title, then the title alone; the first query with hits wins.
Answer<std::vector<model::SearchHit>> search_releases(std::string_view artist, std::string_view title,
                                                      const std::vector<std::string>& catalog_numbers,
                                                      std::string_view token);
// One database search request; hits come unranked.
Answer<std::vector<model::SearchHit>> run_search(const QueryPairs& query, std::string_view token);
// Duplicate ids dropped; catalog matches first, then SACD formats, otherwise order of arrival.
std::vector<model::SearchHit> rank(std::vector<model::SearchHit> hits, const std::vector<std::string>& catalog_numbers);

// The release id of "1234", "+1234" or an address holding "release/1234...".
std::optional<std::uint64_t> parse_release_id(std::string_view text);

Answer<model::ReleaseInfo> fetch_release(std::uint64_t id, std::string_view token);

// The release page on the Discogs web site.
Answer<std::string> release_page(std::string_view id);

// The decoded release answer.
struct ApiCredit {
    std::string name, anv, role, tracks;
};
struct ApiTrack {
    std::string position, type, title;
    std::vector<ApiCredit> extraartists;
    std::vector<ApiTrack> sub_tracks;
};
struct ApiIdentifier {
    std::string type, value, description;
};
struct ApiImage {
    std::string uri, type;
};
struct ApiRelease {
    std::uint64_t id = 0;
    std::string title;
    std::uint32_t year = 0;
    std::string country;
    std::vector<std::string> artists;  // names
    std::vector<std::string> labels;   // catalog numbers
    std::vector<ApiCredit> extraartists;
    std::vector<ApiTrack> tracklist;
    std::vector<ApiIdentifier> identifiers;
    std::vector<ApiImage> images;
};

// The answer as an ApiRelease, or "unexpected Discogs response: ...".
Answer<ApiRelease> parse_release_response(std::string_view text);
// The release built from a decoded answer (web page from `discogs_web`, the web site's base).
model::ReleaseInfo release_info(const ApiRelease& release, std::string_view discogs_web);

// Flattens a track list into (disc, track) pairs, headings and index tracks passing their titles
// and credits on to the tracks below them.
void collect_flat(const std::vector<ApiTrack>& entries, const std::string& heading,
                  const std::vector<ApiCredit>& inherited, std::uint32_t default_disc,
                  std::vector<std::pair<std::uint32_t, model::ReleaseTrack>>& out);
// "Name (2)" -> "Name": Discogs' numbering of namesakes removed.
std::string clean_artist(std::string_view name);
// The disc a position such as "2-05" or "CD2-05" names; `default_disc` (at least 1) when empty.
std::uint32_t disc_of_or(std::string_view position, std::uint32_t default_disc);

}  // namespace online::discogs
