#include "sacd/describe/json_report.h"

#include <nlohmann/json.hpp>

namespace sacd::describe {

namespace {

using Json = nlohmann::ordered_json;

Json opt(const OptText& text) { return text ? Json(*text) : Json(nullptr); }

Json genre(const GenreRef& g) {
    Json j = Json::object();
    j["table"] = g.table;
    j["index"] = g.index;
    return j;
}

Json genres(const std::vector<GenreRef>& list) {
    Json j = Json::array();
    for (const auto& g : list) j.push_back(genre(g));
    return j;
}

Json flags(const std::array<bool, 4>& f) {
    Json j = Json::array();
    for (bool b : f) j.push_back(b);
    return j;
}

Json disc_object(const DiscDescription& d) {
    Json j = Json::object();
    j["spec_version"] = d.spec_version;
    j["set_size"] = d.set_size;
    j["set_sequence"] = d.set_sequence;
    j["album_catalog"] = opt(d.album_catalog);
    j["disc_catalog"] = opt(d.disc_catalog);
    j["album_genre"] = genres(d.album_genre);
    j["disc_genre"] = genres(d.disc_genre);
    j["date"] = opt(d.date);
    j["hybrid"] = d.hybrid;
    j["weblink"] = opt(d.weblink);
    j["has_extension_area"] = d.has_extension_area;
    j["has_ekb1"] = d.has_ekb1;
    j["has_ekb2"] = d.has_ekb2;
    j["has_revocation_data"] = d.has_revocation_data;
    return j;
}

Json track_object(const TrackDescription& t) {
    Json j = Json::object();
    j["index"] = t.index;
    for (const auto& k : kTrackTextKeys<OptText>) j[std::string(k.key)] = opt(t.*k.member);
    Json by_locale = Json::array();
    for (const TrackLocaleText& rec : t.text_by_locale) {
        Json r = Json::object();
        r["locale"] = rec.locale;
        for (const auto& k : kTrackTextKeys<std::string>) r[std::string(k.key)] = rec.*k.member;
        by_locale.push_back(std::move(r));
    }
    j["text_by_locale"] = std::move(by_locale);
    j["start_time"] = t.start_time;
    j["duration"] = t.duration;
    j["start_frames"] = t.start_frames;
    j["duration_frames"] = t.duration_frames;
    j["pause_frames"] = t.pause_frames;
    j["lsn_start"] = t.lsn_start;
    j["lsn_length"] = t.lsn_length;
    j["isrc"] = opt(t.isrc);
    if (t.isrc_components) {
        Json c = Json::object();
        c["country_code"] = t.isrc_components->country_code;
        c["owner_code"] = t.isrc_components->owner_code;
        c["recording_year"] = t.isrc_components->recording_year;
        c["designation_code"] = t.isrc_components->designation_code;
        j["isrc_components"] = std::move(c);
    } else {
        j["isrc_components"] = nullptr;
    }
    j["genre"] = t.genre ? genre(*t.genre) : Json(nullptr);
    j["dst_coded"] = t.dst_coded;
    j["index_list_present"] = t.index_list_present;
    j["track_mute_flags"] = flags(t.track_mute_flags);
    j["extra_use"] = t.extra_use;
    return j;
}

Json area_object(const AreaDescription& a) {
    Json j = Json::object();
    j["index"] = a.index;
    j["kind"] = a.kind;
    j["channel_count"] = a.channel_count;
    j["max_available_channels"] = a.max_available_channels;
    j["loudspeaker_config"] = a.loudspeaker_config;
    j["extra_setting"] = a.extra_setting;
    j["frame_format"] = a.frame_format;
    j["dst_coded"] = a.dst_coded;
    j["track_count"] = a.track_count;
    j["track_offset"] = a.track_offset;
    j["first_bonus_track_number"] = a.first_bonus_track_number;
    j["area_mute_flags"] = flags(a.area_mute_flags);
    j["track_attribute"] = a.track_attribute;
    j["total_area_play_time"] = a.total_area_play_time;
    j["total_area_play_time_frames"] = a.total_area_play_time_frames;
    j["audio_lsn_start"] = a.audio_lsn_start;
    j["audio_lsn_end"] = a.audio_lsn_end;
    j["audio_sectors"] = a.audio_sectors;
    Json channels = Json::array();
    for (const AreaTextChannel& ch : a.area_text) {
        Json c = Json::object();
        c["description"] = opt(ch.description);
        c["copyright"] = opt(ch.copyright);
        c["description_phonetic"] = opt(ch.description_phonetic);
        c["copyright_phonetic"] = opt(ch.copyright_phonetic);
        channels.push_back(std::move(c));
    }
    Json area_text = Json::object();
    area_text["channels"] = std::move(channels);
    j["area_text"] = std::move(area_text);
    Json links = Json::array();
    for (const auto& l : a.track_weblinks) links.push_back(opt(l));
    j["track_weblinks"] = std::move(links);
    Json playlists = Json::array();
    for (const PlaylistDescription& p : a.playlists) {
        Json pj = Json::object();
        pj["name"] = opt(p.name);
        Json entries = Json::array();
        for (const PlaylistEntry& e : p.entries) {
            Json ej = Json::object();
            ej["track"] = e.track;
            ej["index"] = e.index;
            entries.push_back(std::move(ej));
        }
        pj["entries"] = std::move(entries);
        playlists.push_back(std::move(pj));
    }
    j["playlists"] = std::move(playlists);
    Json tracks = Json::array();
    for (const TrackDescription& t : a.tracks) tracks.push_back(track_object(t));
    j["tracks"] = std::move(tracks);
    return j;
}

}  // namespace

platform::Result<std::string, std::string> render_json(const DiscDescription& d) {
    try {
        Json doc = Json::object();
        doc["disc"] = disc_object(d);
        Json locales = Json::array();
        for (const LocaleDescription& loc : d.locales) {
            Json l = Json::object();
            l["index"] = loc.index;
            l["language"] = loc.language;
            l["char_set"] = loc.char_set;
            locales.push_back(std::move(l));
        }
        doc["locales"] = std::move(locales);
        Json master = Json::array();
        for (const MasterTextDescription& rec : d.master_text) {
            Json m = Json::object();
            m["locale"] = rec.locale;
            for (const auto& k : kMasterTextKeys<OptText>) m[std::string(k.key)] = opt(rec.*k.member);
            master.push_back(std::move(m));
        }
        doc["master_text"] = std::move(master);
        Json areas = Json::array();
        for (const AreaDescription& a : d.areas) areas.push_back(area_object(a));
        doc["areas"] = std::move(areas);
        // Texts stay UTF-8; a text that is not (which the decoders never produce) is an error,
        // never a silently altered value.
        return doc.dump(2, ' ', false, Json::error_handler_t::strict);
    } catch (const nlohmann::json::exception& e) {
        return platform::err(std::string(e.what()));
    }
}

}  // namespace sacd::describe
