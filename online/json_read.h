// Strict reading of service answers into fixed records: only the named keys are read, a missing
// key gives an empty value, and a present key of the wrong type fails the whole answer with a
// description that names where it was found.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace online::json_read {

using Json = nlohmann::json;

struct DecodeError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The JSON value of a whole answer (white space around it allowed); the parser's description,
// with line and column, on failure.
Json parse(std::string_view text);

// `value` must be an object; `at` names it in error descriptions.
void require_object(const Json& value, const std::string& at);

// The member `key` of an object, or nothing when it is missing. With `null_is_absent`, a null
// member counts as missing too.
const Json* member(const Json& object, const char* key, bool null_is_absent = false);

std::string text(const Json& object, const char* key, const std::string& at);
// An unsigned whole number that fits `max`.
std::uint64_t unsigned_number(const Json& object, const char* key, const std::string& at,
                              std::uint64_t max = UINT64_MAX);
std::vector<std::string> text_list(const Json& object, const char* key, const std::string& at);

// Reads one text key of each object of a list: list<std::string>(doc, "artists", at, TextOf{"name"}).
struct TextOf {
    const char* key;
    std::string operator()(const Json& element, const std::string& at) const;
};

// Each element of the list `key` read by `read(element, where)`.
template <class T, class Read>
std::vector<T> list(const Json& object, const char* key, const std::string& at, Read read) {
    std::vector<T> out;
    const Json* v = member(object, key);
    if (!v) return out;
    const std::string here = at + "." + key;
    if (!v->is_array()) throw DecodeError(here + ": expected a list, found " + v->type_name());
    for (std::size_t i = 0; i < v->size(); ++i) out.push_back(read((*v)[i], here + "[" + std::to_string(i) + "]"));
    return out;
}

}  // namespace online::json_read
