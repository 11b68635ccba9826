// Where the web services are. The defaults are the public services; each base address can be
// replaced through an environment variable (a local mirror, a test double), and the host of a
// replaced address takes the real domain's place wherever a domain is checked: the hosts that
// may receive the Discogs token, and the hosts that MusicBrainz requests may go to.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/result.h"

namespace online {

struct Service {
    std::string base;    // "scheme://host[:port]", no trailing "/"
    std::string domain;  // the host, and every subdomain of it, that belongs to the service
};

struct Services {
    Service discogs_api;      // VELMORA_DISCOGS_API
    Service discogs_web;      // VELMORA_DISCOGS_WEB: release page links
    Service musicbrainz_api;  // VELMORA_MUSICBRAINZ_API
    Service musicbrainz_web;  // VELMORA_MUSICBRAINZ_WEB: release page links
    Service coverart_api;     // VELMORA_COVERART_API: the Cover Art Archive
    Service coverart_images;  // VELMORA_COVERART_IMAGES: the archive that serves the cover images
    // Whole-request timeout (VELMORA_HTTP_TIMEOUT_MS); connecting may take at most 10 s of it.
    long request_timeout_ms = 30000;
};

// The configuration from the environment, read afresh on every call; an override that is not a
// base address fails with a message naming the variable.
platform::Result<Services, std::string> services();

// The lower-case host of an "http" or "https" address (scheme in any letter case): the text
// between "://" and the first "/", "?", "#" or "\", after the last "@" and before the first ":".
// Nothing for other schemes or text that is no address.
std::optional<std::string> url_host(std::string_view url);

// Whether `host` is `domain` or a subdomain of it.
bool host_in_domain(std::string_view host, std::string_view domain);

}  // namespace online
