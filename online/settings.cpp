#include "online/settings.h"

#include <nlohmann/json.hpp>

#include <array>
#include <set>
#include <vector>

#include "platform/file.h"
#include "platform/system.h"
#include "sacd/charset.h"

namespace online::settings {

namespace {

using Json = nlohmann::json;

constexpr std::array<const char*, 3> kKeys = {"discogsToken", "language", "blockTrackMismatch"};

// Stores the value of key number `index`; false when it has the wrong type.
bool store(Settings& s, std::size_t index, const Json& value) {
    switch (index) {
        case 0:
            if (!value.is_string()) return false;
            s.discogs_token = value.get<std::string>();
            return true;
        case 1:
            if (!value.is_string()) return false;
            s.language = value.get<std::string>();
            return true;
        default:
            if (!value.is_boolean()) return false;
            s.block_track_mismatch = value.get<bool>();
            return true;
    }
}

}  // namespace

std::optional<Settings> parse(std::string_view text) {
    // The parser keeps the last of two equal keys; the settings refuse a known key given twice.
    std::vector<std::set<std::string>> seen;
    bool repeated = false;
    auto watch = [&](int depth, Json::parse_event_t event, Json& parsed) {
        if (event == Json::parse_event_t::object_start) seen.emplace_back();
        if (event == Json::parse_event_t::object_end) seen.pop_back();
        if (event == Json::parse_event_t::key && depth == 1 && !seen.back().insert(parsed.get<std::string>()).second) {
            for (const char* k : kKeys) repeated = repeated || parsed == k;
        }
        return true;
    };
    const Json doc = Json::parse(text, watch, false);
    if (doc.is_discarded() || repeated) return std::nullopt;

    Settings s;
    if (doc.is_object()) {
        for (std::size_t i = 0; i < kKeys.size(); ++i) {
            auto it = doc.find(kKeys[i]);
            if (it != doc.end() && !store(s, i, *it)) return std::nullopt;
        }
        return s;
    }
    if (doc.is_array() && doc.size() <= kKeys.size()) {
        for (std::size_t i = 0; i < doc.size(); ++i)
            if (!store(s, i, doc[i])) return std::nullopt;
        return s;
    }
    return std::nullopt;
}

Settings load() {
    const platform::Path path = platform::app_data_dir() / "velmora" / "settings.json";
    auto bytes = platform::read_whole_file(path);
    if (!bytes) return Settings{};
    const std::string text(bytes->begin(), bytes->end());
    if (!sacd::is_valid_utf8(text)) return Settings{};
    return parse(text).value_or(Settings{});
}

}  // namespace online::settings
