#include "online/discogs.h"

#include <algorithm>
#include <charconv>
#include <functional>
#include <limits>

#include "i18n/i18n.h"
#include "online/json_read.h"
#include "online/messages.h"
#include "online/musicbrainz.h"
#include "online/services.h"
#include "online/text.h"

namespace online::discogs {

namespace {

using json_read::DecodeError;
using json_read::Json;
using model::ReleaseInfo;
using model::ReleaseTrack;
using model::SearchHit;

constexpr std::string_view kUserAgent = "User-Agent: Velmora/" VELMORA_VERSION;

// The process-wide Discogs agent, created on first use.
http::Agent& agent() {
    static http::Agent instance;
    return instance;
}

std::string unexpected(const std::string& error) { return i18n::trf(msg::kDiscogsUnexpected, {{"error", error}}); }

// A decimal number with an optional leading "+" that fits T, the whole text.
template <class T>
std::optional<T> plain_number(std::string_view text) {
    if (text.starts_with('+')) text.remove_prefix(1);
    if (text.empty() || !is_ascii_digit(text.front())) return std::nullopt;
    T value{};
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// A search hit's year: a whole number (clamped) or a decimal text; anything else is no year.
std::uint16_t search_year(const Json* value) {
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint16_t>::max();
    if (!value) return 0;
    if (value->is_number_unsigned()) return static_cast<std::uint16_t>(std::min(value->get<std::uint64_t>(), kMax));
    if (value->is_string()) return plain_number<std::uint16_t>(trim(value->get_ref<const std::string&>())).value_or(0);
    return 0;
}

std::vector<SearchHit> decode_search(std::string_view body) {
    const Json doc = json_read::parse(body);
    json_read::require_object(doc, "response");
    std::vector<SearchHit> hits;
    auto read_hit = [&](const Json& e, const std::string& at) {
        json_read::require_object(e, at);
        SearchHit hit;
        const std::uint64_t id = json_read::unsigned_number(e, "id", at);
        hit.id = id == 0 ? "" : std::to_string(id);
        hit.source = "discogs";
        hit.title = trim(json_read::text(e, "title", at));
        hit.year = search_year(json_read::member(e, "year"));
        const auto formats = json_read::text_list(e, "format", at);
        for (const auto& f : formats) hit.format += (hit.format.empty() ? "" : ", ") + f;
        hit.country = trim(json_read::text(e, "country", at));
        hit.catno = trim(json_read::text(e, "catno", at));
        hit.thumb = json_read::text(e, "thumb", at);
        hit.is_sacd = SearchHit::format_is_sacd(hit.format);
        return hit;
    };
    for (auto& hit : json_read::list<SearchHit>(doc, "results", "response", read_hit)) {
        if (!hit.id.empty()) hits.push_back(std::move(hit));
    }
    return hits;
}

ApiCredit read_credit(const Json& e, const std::string& at) {
    json_read::require_object(e, at);
    return ApiCredit{json_read::text(e, "name", at), json_read::text(e, "anv", at), json_read::text(e, "role", at),
                     json_read::text(e, "tracks", at)};
}

ApiTrack read_track(const Json& e, const std::string& at) {
    json_read::require_object(e, at);
    ApiTrack t;
    t.position = json_read::text(e, "position", at);
    t.type = json_read::text(e, "type_", at);
    t.title = json_read::text(e, "title", at);
    t.extraartists = json_read::list<ApiCredit>(e, "extraartists", at, read_credit);
    t.sub_tracks = json_read::list<ApiTrack>(e, "sub_tracks", at, read_track);
    return t;
}

void add_credit(TrackCredits& credits, const ApiCredit& c) {
    const std::string_view shown = trim(c.anv).empty() ? std::string_view(c.name) : std::string_view(c.anv);
    const auto instrument = role_instrument(c.role);
    credits.add(c.role, clean_artist(shown),
                instrument ? std::optional<std::string_view>(*instrument) : std::nullopt);
}

std::vector<ApiCredit> joined(const std::vector<ApiCredit>& first, const std::vector<ApiCredit>& second) {
    std::vector<ApiCredit> out = first;
    out.insert(out.end(), second.begin(), second.end());
    return out;
}

// The barcode: digits of 8 to 14 from a scanned one, then any of that length, then any scanned
// one, then the first.
std::string choose_barcode(const std::vector<ApiIdentifier>& identifiers) {
    struct Candidate {
        std::string digits;
        bool scanned;
    };
    std::vector<Candidate> barcodes;
    for (const auto& id : identifiers) {
        if (ascii_lower(id.type) != "barcode") continue;
        barcodes.push_back({digits_only(id.value), ascii_lower(id.description).find("scanned") != std::string::npos});
    }
    auto good_length = [](const Candidate& c) { return c.digits.size() >= 8 && c.digits.size() <= 14; };
    const std::function<bool(const Candidate&)> preferences[] = {
        [&](const Candidate& c) { return good_length(c) && c.scanned; },
        good_length,
        [](const Candidate& c) { return c.scanned; },
        [](const Candidate&) { return true; },
    };
    for (const auto& wanted : preferences) {
        auto it = std::find_if(barcodes.begin(), barcodes.end(), wanted);
        if (it != barcodes.end()) return it->digits;
    }
    return {};
}

}  // namespace

bool is_discogs_address(std::string_view url, std::string_view discogs_domain) {
    const auto host = url_host(url);
    return host && host_in_domain(*host, discogs_domain);
}

Answer<http::Response> http_get(const std::string& url, std::string_view token) {
    auto config = services();
    if (!config) return platform::err(std::move(config).error());
    std::vector<std::string> headers{std::string(kUserAgent)};
    if (!token.empty() && is_discogs_address(url, config->discogs_api.domain)) {
        headers.push_back("Authorization: Discogs token=" + std::string(token));
    }
    auto response = agent().get(url, headers, config->request_timeout_ms);
    if (response) return std::move(*response);
    const http::Failure& f = response.error();
    switch (f.kind) {
        case http::Failure::Kind::Tls: return platform::err(i18n::trf(msg::kTlsInitFailed, {{"error", f.description}}));
        case http::Failure::Kind::Transport: return platform::err(i18n::tr(msg::kDiscogsUnreachable));
        case http::Failure::Kind::Status: break;
    }
    if (f.status == 401 || f.status == 403) return platform::err(i18n::tr(msg::kDiscogsRejected));
    if (f.status == 404) return platform::err(i18n::tr(msg::kDiscogsNotFound));
    if (f.status == 429) return platform::err(i18n::tr(msg::kDiscogsRateLimit));
    return platform::err(i18n::trf(msg::kDiscogsFailed, {{"error", f.description}}));
}

Answer<std::vector<SearchHit>> run_search(const QueryPairs& query, std::string_view token) {
    auto config = services();
    if (!config) return platform::err(std::move(config).error());
    std::string url = config->discogs_api.base + "/database/search?type=release&per_page=25";
    for (const auto& [key, value] : query) url += "&" + key + "=" + url_encode(value);
    auto response = http_get(url, token);
    if (!response) return platform::err(std::move(response).error());
    auto body = http::body_text(std::move(*response));
    if (!body) return platform::err(std::move(body).error());
    try {
        return decode_search(*body);
    } catch (const DecodeError& e) {
        return platform::err(unexpected(e.what()));
    }
}

Answer<std::vector<SearchHit>> search_releases(std::string_view artist, std::string_view title,
                                               const std::vector<std::string>& catalog_numbers,
                                               std::string_view token) {
    artist = trim(artist);
    title = trim(title);
    const std::pair<std::string, std::string> sacd{"format", "SACD"};
    std::vector<QueryPairs> queries;
    for (const auto& raw : catalog_numbers) {
        const std::string number(trim(raw));
        if (number.empty()) continue;
        const bool barcode = looks_like_barcode(number);
        for (const char* key : {barcode ? "barcode" : "catno", barcode ? "catno" : "barcode"}) {
            queries.push_back({{key, number}, sacd});
            queries.push_back({{key, number}});
        }
    }
    if (!artist.empty() && !title.empty()) {
        const QueryPairs both{{"artist", std::string(artist)}, {"release_title", std::string(title)}};
        queries.push_back(both);
        queries.back().push_back(sacd);
        queries.push_back(both);
    }
    if (!title.empty()) queries.push_back({{"release_title", std::string(title)}, sacd});

    for (const auto& query : queries) {
        auto hits = run_search(query, token);
        if (!hits) return hits;
        if (!hits->empty()) return rank(std::move(*hits), catalog_numbers);
    }
    return std::vector<SearchHit>{};
}

std::vector<SearchHit> rank(std::vector<SearchHit> hits, const std::vector<std::string>& catalog_numbers) {
    std::vector<SearchHit> unique;
    for (auto& hit : hits) {
        const bool seen =
            std::any_of(unique.begin(), unique.end(), [&](const SearchHit& u) { return u.id == hit.id; });
        if (!seen) unique.push_back(std::move(hit));
    }
    std::vector<std::string> wanted;
    for (const auto& c : catalog_numbers) {
        std::string n = musicbrainz::norm_catno(c);
        if (!n.empty()) wanted.push_back(std::move(n));
    }
    for (auto& hit : unique) {
        const std::string n = musicbrainz::norm_catno(hit.catno);
        hit.catalog_match = !n.empty() && std::find(wanted.begin(), wanted.end(), n) != wanted.end();
    }
    std::stable_sort(unique.begin(), unique.end(), [](const SearchHit& a, const SearchHit& b) {
        if (a.catalog_match != b.catalog_match) return a.catalog_match;
        return a.is_sacd && !b.is_sacd;
    });
    return unique;
}

std::optional<std::uint64_t> parse_release_id(std::string_view text) {
    text = trim(text);
    if (auto id = plain_number<std::uint64_t>(text)) return id;
    const auto at = text.find("release/");
    if (at == std::string_view::npos) return std::nullopt;
    std::string_view rest = text.substr(at + 8);
    std::size_t n = 0;
    while (n < rest.size() && is_ascii_digit(rest[n])) ++n;
    return plain_number<std::uint64_t>(rest.substr(0, n));
}

Answer<std::string> release_page(std::string_view id) {
    auto config = services();
    if (!config) return platform::err(std::move(config).error());
    return config->discogs_web.base + "/release/" + std::string(id);
}

Answer<ApiRelease> parse_release_response(std::string_view text) {
    try {
        const Json doc = json_read::parse(text);
        const std::string at = "response";
        json_read::require_object(doc, at);
        ApiRelease r;
        r.id = json_read::unsigned_number(doc, "id", at);
        r.title = json_read::text(doc, "title", at);
        r.year = static_cast<std::uint32_t>(
            json_read::unsigned_number(doc, "year", at, std::numeric_limits<std::uint32_t>::max()));
        r.country = json_read::text(doc, "country", at);
        r.artists = json_read::list<std::string>(doc, "artists", at, json_read::TextOf{"name"});
        r.labels = json_read::list<std::string>(doc, "labels", at, json_read::TextOf{"catno"});
        r.extraartists = json_read::list<ApiCredit>(doc, "extraartists", at, read_credit);
        r.tracklist = json_read::list<ApiTrack>(doc, "tracklist", at, read_track);
        r.identifiers = json_read::list<ApiIdentifier>(doc, "identifiers", at, [](const Json& e, const std::string& w) {
            json_read::require_object(e, w);
            return ApiIdentifier{json_read::text(e, "type", w), json_read::text(e, "value", w),
                                 json_read::text(e, "description", w)};
        });
        r.images = json_read::list<ApiImage>(doc, "images", at, [](const Json& e, const std::string& w) {
            json_read::require_object(e, w);
            return ApiImage{json_read::text(e, "uri", w), json_read::text(e, "type", w)};
        });
        return r;
    } catch (const DecodeError& e) {
        return platform::err(unexpected(e.what()));
    }
}

ReleaseInfo release_info(const ApiRelease& r, std::string_view discogs_web) {
    ReleaseInfo info;
    if (!r.artists.empty()) info.artist = clean_artist(r.artists.front());
    info.title = r.title;
    if (!r.labels.empty()) info.disc_catalog = trim(r.labels.front());
    info.album_catalog = choose_barcode(r.identifiers);
    auto primary =
        std::find_if(r.images.begin(), r.images.end(), [](const ApiImage& i) { return i.type == "primary"; });
    if (primary != r.images.end()) {
        info.cover_image = primary->uri;
    } else if (!r.images.empty()) {
        info.cover_image = r.images.front().uri;
    }
    info.country = trim(r.country);
    if (r.id != 0) info.web_page = std::string(discogs_web) + "/release/" + std::to_string(r.id);
    info.year = static_cast<std::uint16_t>(std::min<std::uint32_t>(r.year, std::numeric_limits<std::uint16_t>::max()));

    std::vector<std::pair<std::uint32_t, ReleaseTrack>> flat;
    collect_flat(r.tracklist, "", {}, 0, flat);

    TrackCredits release_wide;
    for (const auto& c : r.extraartists)
        if (trim(c.tracks).empty()) add_credit(release_wide, c);
    if (!release_wide.empty()) {
        for (auto& [disc, track] : flat) release_wide.fill_missing(track);
    }

    for (auto& [number, track] : flat) {
        auto group = std::find_if(info.discs.begin(), info.discs.end(),
                                  [n = number](const model::ReleaseDisc& d) { return d.number == n; });
        if (group == info.discs.end()) group = info.discs.insert(info.discs.end(), model::ReleaseDisc{{}, number});
        group->tracks.push_back(std::move(track));
    }
    std::stable_sort(info.discs.begin(), info.discs.end(),
                     [](const model::ReleaseDisc& a, const model::ReleaseDisc& b) { return a.number < b.number; });
    normalize_release_info(info);
    return info;
}

Answer<ReleaseInfo> fetch_release(std::uint64_t id, std::string_view token) {
    auto config = services();
    if (!config) return platform::err(std::move(config).error());
    auto response = http_get(config->discogs_api.base + "/releases/" + std::to_string(id), token);
    if (!response) return platform::err(std::move(response).error());
    auto body = http::body_text(std::move(*response));
    if (!body) return platform::err(std::move(body).error());
    auto release = parse_release_response(*body);
    if (!release) return platform::err(std::move(release).error());
    return release_info(*release, config->discogs_web.base);
}

void collect_flat(const std::vector<ApiTrack>& entries, const std::string& heading,
                  const std::vector<ApiCredit>& inherited, std::uint32_t default_disc,
                  std::vector<std::pair<std::uint32_t, ReleaseTrack>>& out) {
    std::string current_heading = heading;
    std::vector<ApiCredit> current_credits = inherited;
    for (const ApiTrack& t : entries) {
        if (t.type == "track") {
            ReleaseTrack track;
            track.title = current_heading.empty() ? t.title : current_heading + " - " + t.title;
            TrackCredits credits;
            for (const auto& c : joined(t.extraartists, current_credits)) add_credit(credits, c);
            credits.fill_missing(track);
            out.emplace_back(disc_of_or(t.position, default_disc), std::move(track));
        } else if (t.type == "index" && !t.sub_tracks.empty()) {
            collect_flat(t.sub_tracks, t.title.empty() ? current_heading : t.title,
                         joined(t.extraartists, current_credits), disc_of_or(t.position, default_disc), out);
        } else if (!t.title.empty()) {
            current_heading = t.title;
            current_credits = joined(t.extraartists, inherited);
        }
    }
}

std::string clean_artist(std::string_view name) {
    name = trim(name);
    if (!name.ends_with(')')) return std::string(name);
    const auto open = name.rfind(" (");
    if (open == std::string_view::npos) return std::string(name);
    const std::string_view inside = name.substr(open + 2, name.size() - 1 - (open + 2));
    if (!std::all_of(inside.begin(), inside.end(), is_ascii_digit)) return std::string(name);
    return std::string(name.substr(0, open));
}

std::uint32_t disc_of_or(std::string_view position, std::uint32_t default_disc) {
    position = trim(position);
    if (position.empty()) return std::max<std::uint32_t>(default_disc, 1);
    const auto dash = position.find('-');
    if (dash == std::string_view::npos || dash == 0) return 1;
    std::string digits;
    for (char c : position.substr(0, dash))
        if (is_ascii_digit(c)) digits.push_back(c);
    return plain_number<std::uint32_t>(digits).value_or(1);
}

}  // namespace online::discogs
