#include "online/musicbrainz.h"

#include <algorithm>
#include <mutex>
#include <optional>

#include "i18n/i18n.h"
#include "online/credits.h"
#include "online/discogs.h"
#include "online/json_read.h"
#include "online/messages.h"
#include "online/services.h"
#include "online/text.h"
#include "platform/system.h"

namespace online::musicbrainz {

namespace {

using json_read::DecodeError;
using json_read::Json;
using model::ReleaseInfo;
using model::ReleaseTrack;
using model::SearchHit;

constexpr std::string_view kUserAgent = "User-Agent: velmora/" VELMORA_VERSION " ( " VELMORA_SUPPORT_ADDRESS " )";
constexpr std::uint64_t kSpacingNs = 1'000'000'000;
constexpr std::string_view kLookupIncludes =
    "?inc=recordings+artist-credits+labels+artist-rels+recording-level-rels+work-rels+work-level-rels&fmt=json";

// The process-wide MusicBrainz agent (also used for the Cover Art Archive), created on first use.
http::Agent& agent() {
    static http::Agent instance;
    return instance;
}

// The start instant of the last MusicBrainz or Cover Art Archive request, shared by all threads.
namespace mb_throttle {
std::mutex LOCK;
std::optional<std::uint64_t> LAST;

void wait_turn() {
    std::lock_guard guard(LOCK);
    if (LAST) {
        const std::uint64_t now = platform::monotonic_ns();
        if (now <= *LAST) {
            platform::sleep_ns(kSpacingNs);
        } else if (now - *LAST < kSpacingNs) {
            platform::sleep_ns(kSpacingNs - (now - *LAST));
        }
    }
    LAST = platform::monotonic_ns();
}
}  // namespace mb_throttle

std::string unexpected(const std::string& error) {
    return i18n::trf(msg::kMusicBrainzUnexpected, {{"error", error}});
}

// The first text of the list that is not empty after trimming, trimmed.
std::string first_non_empty(const std::vector<std::string>& texts) {
    for (const auto& t : texts)
        if (!trim(t).empty()) return std::string(trim(t));
    return {};
}

std::vector<SearchHit> decode_search(std::string_view body) {
    const Json doc = json_read::parse(body);
    json_read::require_object(doc, "response");
    auto read_release = [](const Json& e, const std::string& at) {
        json_read::require_object(e, at);
        SearchHit hit;
        hit.id = trim(json_read::text(e, "id", at));
        hit.source = "musicbrainz";
        hit.title = trim(json_read::text(e, "title", at));
        hit.year = year_from_date(json_read::text(e, "date", at));
        hit.country = trim(json_read::text(e, "country", at));
        hit.catno =
            first_non_empty(json_read::list<std::string>(e, "label-info", at, json_read::TextOf{"catalog-number"}));
        std::vector<std::string> formats;
        for (const auto& f : json_read::list<std::string>(e, "media", at, json_read::TextOf{"format"})) {
            if (!trim(f).empty()) push_name(formats, trim(f));
        }
        for (const auto& f : formats) hit.format += (hit.format.empty() ? "" : ", ") + f;
        hit.is_sacd = SearchHit::format_is_sacd(hit.format);
        return hit;
    };
    std::vector<SearchHit> hits;
    for (auto& hit : json_read::list<SearchHit>(doc, "releases", "response", read_release)) {
        if (!hit.id.empty()) hits.push_back(std::move(hit));
    }
    return hits;
}

struct Relation {
    std::string type;
    std::vector<std::string> attributes;
    std::optional<std::string> artist;  // the artist's name
    std::vector<Relation> work;         // the relations of the work, when there is one
    bool has_work = false;
};

Relation read_relation(const Json& e, const std::string& at) {
    json_read::require_object(e, at);
    Relation r;
    r.type = json_read::text(e, "type", at);
    r.attributes = json_read::text_list(e, "attributes", at);
    if (const Json* artist = json_read::member(e, "artist", true)) {
        json_read::require_object(*artist, at + ".artist");
        r.artist = json_read::text(*artist, "name", at + ".artist");
    }
    if (const Json* work = json_read::member(e, "work", true)) {
        json_read::require_object(*work, at + ".work");
        r.has_work = true;
        r.work = json_read::list<Relation>(*work, "relations", at + ".work", read_relation);
    }
    return r;
}

struct Track {
    std::uint32_t position = 0;
    ReleaseTrack track;
};

// A track with the credits of its recording's relations and of the works it performs.
Track read_track(const Json& e, const std::string& at) {
    json_read::require_object(e, at);
    Track t;
    t.position = static_cast<std::uint32_t>(json_read::unsigned_number(e, "position", at, UINT32_MAX));
    t.track.title = trim(json_read::text(e, "title", at));
    TrackCredits credits;
    if (const Json* recording = json_read::member(e, "recording", true)) {
        const std::string where = at + ".recording";
        json_read::require_object(*recording, where);
        for (const Relation& r : json_read::list<Relation>(*recording, "relations", where, read_relation)) {
            if (r.artist) {
                std::vector<std::string> parts;
                for (const auto& a : r.attributes)
                    if (!trim(a).empty()) parts.emplace_back(trim(a));
                std::string instrument;
                for (const auto& p : parts) instrument += (instrument.empty() ? "" : " and ") + p;
                credits.add(r.type, trim(*r.artist),
                            parts.empty() ? std::nullopt : std::optional<std::string_view>(instrument));
            }
            if (r.type == "performance" && r.has_work) {
                for (const Relation& w : r.work)
                    if (w.artist) credits.add(w.type, trim(*w.artist), std::nullopt);
            }
        }
    }
    credits.fill_missing(t.track);
    return t;
}

model::ReleaseDisc read_medium(const Json& e, const std::string& at) {
    json_read::require_object(e, at);
    model::ReleaseDisc disc;
    disc.number = static_cast<std::uint32_t>(json_read::unsigned_number(e, "position", at, UINT32_MAX));
    auto tracks = json_read::list<Track>(e, "tracks", at, read_track);
    std::stable_sort(tracks.begin(), tracks.end(),
                     [](const Track& a, const Track& b) { return a.position < b.position; });
    for (auto& t : tracks) disc.tracks.push_back(std::move(t.track));
    return disc;
}

std::string query_url(const std::string& base, const std::string& query) {
    return base + "/ws/2/release/?query=" + url_encode(query) + "&fmt=json&limit=25";
}

}  // namespace

platform::Result<http::Response, GetFailure> mb_get_raw(const std::string& url) {
    auto config = services();
    if (!config) return platform::err(GetFailure{GetFailure::Kind::Configuration, 0, std::move(config).error()});
    const auto host = url_host(url);
    const bool allowed = host && (host_in_domain(*host, config->musicbrainz_api.domain) ||
                                  host_in_domain(*host, config->coverart_api.domain) ||
                                  host_in_domain(*host, config->coverart_images.domain));
    if (!allowed) return platform::err(GetFailure{GetFailure::Kind::RefusedAddress, 0, url});
    http::Agent& a = agent();
    if (const std::string* error = a.init_error()) {
        return platform::err(GetFailure{GetFailure::Kind::Tls, 0, *error});
    }
    mb_throttle::wait_turn();
    auto response = a.get(url, {std::string(kUserAgent)}, config->request_timeout_ms);
    if (response) return std::move(*response);
    const http::Failure& f = response.error();
    switch (f.kind) {
        case http::Failure::Kind::Tls: return platform::err(GetFailure{GetFailure::Kind::Tls, 0, f.description});
        case http::Failure::Kind::Transport:
            return platform::err(GetFailure{GetFailure::Kind::Transport, 0, f.description});
        case http::Failure::Kind::Status: break;
    }
    return platform::err(GetFailure{GetFailure::Kind::Status, f.status, f.description});
}

std::string map_get_error(const GetFailure& failure) {
    switch (failure.kind) {
        case GetFailure::Kind::Configuration: return failure.description;
        case GetFailure::Kind::RefusedAddress:
        case GetFailure::Kind::Tls:
        case GetFailure::Kind::Transport: return i18n::tr(msg::kMusicBrainzUnreachable);
        case GetFailure::Kind::Status: break;
    }
    if (failure.status == 404) return i18n::tr(msg::kMusicBrainzNotFound);
    if (failure.status == 429) return i18n::tr(msg::kMusicBrainzRateLimit);
    if (failure.status == 503) return i18n::tr(msg::kMusicBrainzBusy);
    return i18n::trf(msg::kMusicBrainzFailed, {{"error", failure.description}});
}

std::vector<std::string> search_queries(std::string_view artist, std::string_view title,
                                        const std::vector<std::string>& catalog_numbers) {
    artist = trim(artist);
    title = trim(title);
    auto quoted = [](std::string_view v) { return "\"" + lucene_escape(v) + "\""; };
    std::vector<std::string> queries;
    for (const auto& raw : catalog_numbers) {
        const std::string_view number = trim(raw);
        if (number.empty()) continue;
        const std::string barcode = "barcode:" + lucene_escape(number);
        const std::string catno = "catno:" + quoted(number);
        if (looks_like_barcode(number)) {
            queries.insert(queries.end(), {barcode, catno});
        } else {
            queries.insert(queries.end(), {catno, barcode});
        }
    }
    if (!artist.empty() && !title.empty()) {
        queries.push_back("artist:" + quoted(artist) + " AND release:" + quoted(title));
        queries.push_back("artist:" + quoted(artist) + " AND release:(" + lucene_escape(title) + ")");
    } else if (!title.empty()) {
        queries.push_back("release:(" + lucene_escape(title) + ")");
    }
    return queries;
}

Answer<std::vector<SearchHit>> search_releases(std::string_view artist, std::string_view title,
                                               const std::vector<std::string>& catalog_numbers) {
    const auto queries = search_queries(artist, title, catalog_numbers);
    if (queries.empty()) return std::vector<SearchHit>{};
    auto config = services();
    if (!config) return platform::err(std::move(config).error());
    for (const auto& query : queries) {
        auto response = mb_get_raw(query_url(config->musicbrainz_api.base, query));
        if (!response) return platform::err(map_get_error(response.error()));
        auto body = http::body_text(std::move(*response));
        if (!body) return platform::err(std::move(body).error());
        std::vector<SearchHit> hits;
        try {
            hits = decode_search(*body);
        } catch (const DecodeError& e) {
            return platform::err(unexpected(e.what()));
        }
        auto ranked = discogs::rank(std::move(hits), catalog_numbers);
        if (!ranked.empty()) return ranked;
    }
    return std::vector<SearchHit>{};
}

Answer<ReleaseInfo> fetch_release(std::string_view input) {
    const std::string mbid = mbid_from_input(input);
    // No MBID would turn the lookup into a search without a query.
    if (mbid.empty()) return platform::err(i18n::tr(msg::kMusicBrainzNotFound));
    auto config = services();
    if (!config) return platform::err(std::move(config).error());
    auto response =
        mb_get_raw(config->musicbrainz_api.base + "/ws/2/release/" + url_encode(mbid) + std::string(kLookupIncludes));
    if (!response) return platform::err(map_get_error(response.error()));
    auto body = http::body_text(std::move(*response));
    if (!body) return platform::err(std::move(body).error());
    return release_from_answer(*body, mbid, config->coverart_api.base, config->musicbrainz_web.base);
}

Answer<ReleaseInfo> release_from_answer(std::string_view text, std::string_view mbid, std::string_view cover_base,
                                        std::string_view web_base) {
    ReleaseInfo info;
    try {
        const Json doc = json_read::parse(text);
        const std::string at = "response";
        json_read::require_object(doc, at);
        const std::string id(trim(json_read::text(doc, "id", at)));
        info.title = trim(json_read::text(doc, "title", at));
        info.year = year_from_date(json_read::text(doc, "date", at));
        info.album_catalog = digits_only(json_read::text(doc, "barcode", at));
        info.country = trim(json_read::text(doc, "country", at));
        info.artist =
            first_non_empty(json_read::list<std::string>(doc, "artist-credit", at, json_read::TextOf{"name"}));
        info.disc_catalog =
            first_non_empty(json_read::list<std::string>(doc, "label-info", at, json_read::TextOf{"catalog-number"}));
        info.discs = json_read::list<model::ReleaseDisc>(doc, "media", at, read_medium);
        if (!id.empty()) info.web_page = std::string(web_base) + "/release/" + id;
    } catch (const DecodeError& e) {
        return platform::err(unexpected(e.what()));
    }
    std::stable_sort(info.discs.begin(), info.discs.end(),
                     [](const model::ReleaseDisc& a, const model::ReleaseDisc& b) { return a.number < b.number; });
    info.cover_image = std::string(cover_base) + "/release/" + url_encode(mbid) + "/front";
    normalize_release_info(info);
    return info;
}

std::string mbid_from_input(std::string_view text) {
    text = trim(text);
    constexpr std::string_view kMarker = "release/";
    const auto at = text.find(kMarker);
    if (at == std::string_view::npos) return std::string(text);
    std::string_view rest = text.substr(at + kMarker.size());
    rest = rest.substr(0, rest.find(kMarker));
    rest = rest.substr(0, rest.find_first_of("#/?"));
    return std::string(trim(rest));
}

Answer<std::string> release_page(std::string_view id) {
    auto config = services();
    if (!config) return platform::err(std::move(config).error());
    return config->musicbrainz_web.base + "/release/" + std::string(id);
}

std::string lucene_escape(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '"' || c == '\\') out.push_back('\\');
        out.push_back(c);
    }
    return out;
}

std::string url_encode(std::string_view text) { return online::url_encode(text); }

std::string norm_catno(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c >= 'A' && c <= 'Z') {
            out.push_back(static_cast<char>(c - 'A' + 'a'));
        } else if ((c >= 'a' && c <= 'z') || is_ascii_digit(c)) {
            out.push_back(c);
        }
    }
    return out;
}

std::uint16_t year_from_date(std::string_view date) {
    date = trim(date);
    if (date.size() < 4 || !std::all_of(date.begin(), date.begin() + 4, is_ascii_digit)) return 0;
    return static_cast<std::uint16_t>((date[0] - '0') * 1000 + (date[1] - '0') * 100 + (date[2] - '0') * 10 +
                                      (date[3] - '0'));
}

}  // namespace online::musicbrainz
