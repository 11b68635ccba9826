// The MusicBrainz client: release search and release lookup on the MusicBrainz web service,
// and the Cover Art Archive's front-cover address. No token; requests are spaced one second apart.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "online/http.h"
#include "online/model.h"
#include "platform/result.h"

namespace online::musicbrainz {

template <class T>
using Answer = platform::Result<T, std::string>;  // the error is a finished user message

struct GetFailure {
    enum class Kind {
        RefusedAddress,  // not a MusicBrainz, Cover Art Archive or archive host: nothing was sent
        Configuration,   // a service address in the environment is wrong (description says which)
        Tls,
        Transport,
        Status,
    };
    Kind kind = Kind::Transport;
    long status = 0;
    std::string description;
};

// GET through the MusicBrainz agent, only to the allowed hosts, each request starting at least one
// second after the previous one started, whichever thread sent it.
platform::Result<http::Response, GetFailure> mb_get_raw(const std::string& url);
std::string map_get_error(const GetFailure& failure);

// Catalog numbers first (barcode and catalog-number forms), then artist and title (exact phrase,
// then words), or the title words alone; the first query with hits wins.
Answer<std::vector<model::SearchHit>> search_releases(std::string_view artist, std::string_view title,
                                                      const std::vector<std::string>& catalog_numbers);

// The query texts of a search, in the order they are tried (values Lucene-escaped).
std::vector<std::string> search_queries(std::string_view artist, std::string_view title,
                                        const std::vector<std::string>& catalog_numbers);

// The release an MBID or a release page address names, with its recordings' credits.
Answer<model::ReleaseInfo> fetch_release(std::string_view input);

// The MBID in a bare MBID or a release page address (possibly empty).
std::string mbid_from_input(std::string_view text);

// The release page on the MusicBrainz web site.
Answer<std::string> release_page(std::string_view id);

// A backslash before every double quote and backslash.
std::string lucene_escape(std::string_view text);
std::string url_encode(std::string_view text);
// ASCII letters (lower-cased) and digits only: "ABC-123" and "abc 123" both give "abc123".
std::string norm_catno(std::string_view text);
// The year of "1999-05-12" or "1999"; 0 when the text does not start with four digits.
std::uint16_t year_from_date(std::string_view date);

// The release answer decoded into a ReleaseInfo (cover from `cover_base` and `mbid`, web page from
// `web_base`), or "unexpected MusicBrainz response: ...".
Answer<model::ReleaseInfo> release_from_answer(std::string_view text, std::string_view mbid,
                                               std::string_view cover_base, std::string_view web_base);

}  // namespace online::musicbrainz
