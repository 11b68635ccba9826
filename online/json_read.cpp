#include "online/json_read.h"

namespace online::json_read {

// Deeper answers are refused rather than walked: no real answer comes near it, and the readers
// recurse once per level.
constexpr int kMaxDepth = 64;

Json parse(std::string_view text) {
    bool too_deep = false;
    auto guard = [&](int depth, Json::parse_event_t, Json&) {
        if (depth > kMaxDepth) too_deep = true;
        return !too_deep;
    };
    Json doc;
    try {
        doc = Json::parse(text, guard);
    } catch (const Json::exception& e) {
        throw DecodeError(e.what());
    }
    if (too_deep) throw DecodeError("values nested deeper than " + std::to_string(kMaxDepth) + " levels");
    return doc;
}

void require_object(const Json& value, const std::string& at) {
    if (!value.is_object()) throw DecodeError(at + ": expected an object, found " + value.type_name());
}

const Json* member(const Json& object, const char* key, bool null_is_absent) {
    auto it = object.find(key);
    if (it == object.end() || (null_is_absent && it->is_null())) return nullptr;
    return &*it;
}

std::string text(const Json& object, const char* key, const std::string& at) {
    const Json* v = member(object, key);
    if (!v) return {};
    if (!v->is_string()) throw DecodeError(at + "." + key + ": expected a string, found " + v->type_name());
    return v->get<std::string>();
}

std::uint64_t unsigned_number(const Json& object, const char* key, const std::string& at, std::uint64_t max) {
    const Json* v = member(object, key);
    if (!v) return 0;
    if (!v->is_number_unsigned() || v->get<std::uint64_t>() > max) {
        const std::string found = v->is_number() ? v->dump() : std::string(v->type_name());
        throw DecodeError(at + "." + key + ": expected an unsigned whole number up to " + std::to_string(max) +
                          ", found " + found);
    }
    return v->get<std::uint64_t>();
}

std::string TextOf::operator()(const Json& element, const std::string& at) const {
    require_object(element, at);
    return text(element, key, at);
}

std::vector<std::string> text_list(const Json& object, const char* key, const std::string& at) {
    return list<std::string>(object, key, at, [](const Json& e, const std::string& where) {
        if (!e.is_string()) throw DecodeError(where + ": expected a string, found " + e.type_name());
        return e.get<std::string>();
    });
}

}  // namespace online::json_read
