#include "online/services.h"

#include "i18n/i18n.h"
#include "online/messages.h"
#include "online/text.h"
#include "platform/system.h"

#include <charconv>

namespace online {

namespace {

struct Default {
    const char* variable;
    const char* base;
    const char* domain;
};

constexpr Default kDiscogsApi{"VELMORA_DISCOGS_API", "https://api.discogs.com", "discogs.com"};
constexpr Default kDiscogsWeb{"VELMORA_DISCOGS_WEB", "https://www.discogs.com", "discogs.com"};
constexpr Default kMusicBrainzApi{"VELMORA_MUSICBRAINZ_API", "https://musicbrainz.org", "musicbrainz.org"};
constexpr Default kMusicBrainzWeb{"VELMORA_MUSICBRAINZ_WEB", "https://musicbrainz.org", "musicbrainz.org"};
constexpr Default kCoverArtApi{"VELMORA_COVERART_API", "https://coverartarchive.org", "coverartarchive.org"};
constexpr Default kCoverArtImages{"VELMORA_COVERART_IMAGES", "https://archive.org", "archive.org"};
constexpr const char* kTimeoutVariable = "VELMORA_HTTP_TIMEOUT_MS";

// "scheme://host[:port]" with an optional trailing "/", as the base and its host.
std::optional<Service> parse_base(std::string_view value) {
    if (value.ends_with('/')) value.remove_suffix(1);
    const auto host = url_host(value);
    if (!host || host->empty()) return std::nullopt;
    std::string_view authority = value.substr(value.find("://") + 3);
    if (authority.find_first_of("/?#\\@ ") != std::string_view::npos) return std::nullopt;
    if (auto colon = authority.find(':'); colon != std::string_view::npos) {
        std::string_view port = authority.substr(colon + 1);
        unsigned number = 0;
        auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), number);
        if (ec != std::errc() || end != port.data() + port.size() || number == 0 || number > 65535) {
            return std::nullopt;
        }
    }
    return Service{std::string(value), *host};
}

platform::Result<Service, std::string> service(const Default& d) {
    const auto value = platform::env(d.variable);
    if (!value) return Service{d.base, d.domain};
    if (auto s = parse_base(*value)) return *s;
    return platform::err(i18n::trf(msg::kBadServiceAddress, {{"name", d.variable}, {"value", *value}}));
}

}  // namespace

platform::Result<Services, std::string> services() {
    Services out;
    const std::pair<const Default*, Service*> slots[] = {
        {&kDiscogsApi, &out.discogs_api},         {&kDiscogsWeb, &out.discogs_web},
        {&kMusicBrainzApi, &out.musicbrainz_api}, {&kMusicBrainzWeb, &out.musicbrainz_web},
        {&kCoverArtApi, &out.coverart_api},       {&kCoverArtImages, &out.coverart_images},
    };
    for (auto [d, slot] : slots) {
        auto s = service(*d);
        if (!s) return platform::err(std::move(s).error());
        *slot = std::move(*s);
    }
    if (const auto value = platform::env(kTimeoutVariable)) {
        long ms = 0;
        auto [end, ec] = std::from_chars(value->data(), value->data() + value->size(), ms);
        if (ec != std::errc() || end != value->data() + value->size() || ms <= 0) {
            return platform::err(i18n::trf(msg::kBadTimeout, {{"name", kTimeoutVariable}, {"value", *value}}));
        }
        out.request_timeout_ms = ms;
    }
    return out;
}

std::optional<std::string> url_host(std::string_view url) {
    const auto sep = url.find("://");
    if (sep == std::string_view::npos) return std::nullopt;
    const std::string scheme = ascii_lower(url.substr(0, sep));
    if (scheme != "http" && scheme != "https") return std::nullopt;
    std::string_view host = url.substr(sep + 3);
    host = host.substr(0, host.find_first_of("/?#\\"));
    if (auto at = host.rfind('@'); at != std::string_view::npos) host.remove_prefix(at + 1);
    host = host.substr(0, host.find(':'));
    return ascii_lower(host);
}

bool host_in_domain(std::string_view host, std::string_view domain) {
    if (host.empty() || domain.empty()) return false;
    if (host == domain) return true;
    return host.size() > domain.size() && host.ends_with(domain) && host[host.size() - domain.size() - 1] == '.';
}

}  // namespace online
