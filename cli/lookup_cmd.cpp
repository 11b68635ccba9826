#include <nlohmann/json.hpp>

#include "cli/app.h"
#include "cli/messages.h"
#include "i18n/i18n.h"
#include "online/discogs.h"
#include "online/musicbrainz.h"
#include "online/settings.h"
#include "online/text.h"
#include "sacd/describe/description.h"
#include "sacd/disc.h"
#include "sacd/error.h"

namespace cli {

namespace {

using online::model::SearchHit;

struct Query {
    std::string artist, title;
    std::vector<std::string> catalog_numbers;
};

Query query_of(const sacd::describe::EditableMeta& meta) {
    Query q;
    if (!meta.master_text.empty()) {
        q.artist = meta.master_text.front().album_artist;
        q.title = meta.master_text.front().album_title;
    }
    const std::string album(online::trim(meta.album_catalog));
    const std::string disc(online::trim(meta.disc_catalog));
    if (!album.empty()) q.catalog_numbers.push_back(album);
    if (!disc.empty() && disc != album) q.catalog_numbers.push_back(disc);
    return q;
}

std::string or_dash(std::string_view text) {
    text = online::trim(text);
    return text.empty() ? "-" : std::string(text);
}

// Two blanks and the hit's release page at its source, or nothing.
std::string link_of(const SearchHit& hit) {
    using Page = platform::Result<std::string, std::string>;
    auto shown = [](const Page& page) { return page ? "  " + *page : std::string(); };
    if (online::trim(hit.id).empty()) return "";
    if (hit.source == "discogs") return shown(online::discogs::release_page(hit.id));
    if (hit.source == "musicbrainz") return shown(online::musicbrainz::release_page(hit.id));
    return "";
}

std::string hit_line(const SearchHit& hit, std::size_t number) {
    return (hit.catalog_match ? "*" : " ") + std::to_string(number) + ". " + hit.id + "  " + hit.title + "  (" +
           (hit.year == 0 ? "-" : std::to_string(hit.year)) + ")  [" + or_dash(hit.catno) + "]  " +
           or_dash(hit.format) + " " + or_dash(hit.country) + (hit.is_sacd ? " (SACD)" : "") + link_of(hit) + "\n";
}

std::string hits_json(const std::vector<SearchHit>& hits) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const auto& h : hits) {
        list.push_back({{"id", h.id},
                        {"source", h.source},
                        {"title", h.title},
                        {"catno", h.catno},
                        {"format", h.format},
                        {"country", h.country},
                        {"thumb", h.thumb},
                        {"year", h.year},
                        {"catalog_match", h.catalog_match},
                        {"is_sacd", h.is_sacd}});
    }
    return list.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace

int lookup_cmd(const std::vector<std::string>& args) {
    std::string source = "discogs";
    std::optional<std::string> token;
    std::optional<std::string> path;
    bool json = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--source") {
            auto v = flag_value_lookup(args, i, "--source");
            if (!v) return kExitUsage;
            if (*v != "discogs" && *v != "musicbrainz") {
                fail("lookup", i18n::trf(msg::kBadSource, {{"value", *v}}));
                return kExitUsage;
            }
            source = *v;
        } else if (a == "--discogs-token") {
            auto v = flag_value_lookup(args, i, "--discogs-token");
            if (!v) return kExitUsage;
            token = *v;
        } else if (a == "--json") {
            json = true;
        } else if (!a.empty() && a[0] == '-') {
            fail("lookup", i18n::trf(msg::kUnknownFlag, {{"arg", a}}));
            return kExitUsage;
        } else if (path) {
            fail("lookup", i18n::trf(msg::kExtraArgument, {{"arg", a}}));
            return kExitUsage;
        } else {
            path = a;
        }
    }
    if (!path) {
        fail_with_usage("lookup", i18n::tr(msg::kNoPath));
        return kExitUsage;
    }
    auto disc = sacd::import_iso(*path);
    if (!disc) {
        fail("lookup", i18n::tr(msg::kCouldNotReadImage) + ": " + sacd::render_error(disc.error()));
        return kExitFailed;
    }
    if (disc->is_not_recognised()) {
        fail("lookup", i18n::tr(msg::kNotRecognised));
        return kExitFailed;
    }
    const auto meta = sacd::describe::editable_meta(*disc);
    if (!meta) {
        fail("lookup", i18n::tr(msg::kCouldNotReadMetadata));
        return kExitFailed;
    }
    const Query q = query_of(*meta);

    platform::Result<std::vector<SearchHit>, std::string> hits = std::vector<SearchHit>{};
    if (source == "musicbrainz") {
        hits = online::musicbrainz::search_releases(q.artist, q.title, q.catalog_numbers);
    } else {
        const std::string discogs_token = token ? *token : online::settings::load().discogs_token;
        if (online::trim(discogs_token).empty()) {
            fail("lookup", i18n::tr(msg::kDiscogsNeedsToken));
            return kExitUsage;
        }
        hits = online::discogs::search_releases(q.artist, q.title, q.catalog_numbers, discogs_token);
    }
    if (!hits) {
        fail("lookup", hits.error());
        return kExitFailed;
    }
    if (json) {
        print_out(hits_json(*hits));
        return 0;
    }
    if (hits->empty()) {
        print_out(i18n::tr(msg::kNothingFound) + "\n");
        return 0;
    }
    std::string report = i18n::trf(msg::kReleasesFound, {{"n", hits->size()}}) + "\n";
    for (std::size_t i = 0; i < hits->size(); ++i) report += hit_line((*hits)[i], i + 1);
    print_out(report);
    return 0;
}

}  // namespace cli
