// Message pairs and the process-wide language switch. Every user-facing text is a pair of an
// English and a Russian form with the same placeholders in the same order.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>

namespace i18n {

// True selects Russian. Written once by the program entry before any other thread exists,
// only read afterwards.
extern bool LANG;

struct Message {
    std::string_view en;
    std::string_view ru;
};

// The text of a pair in the selected language.
std::string tr(std::string_view en, std::string_view ru);
inline std::string tr(const Message& m) { return tr(m.en, m.ru); }

// A named placeholder value: {name} in a template is replaced by `value`.
struct Arg {
    std::string_view name;
    std::string value;

    Arg(std::string_view n, std::string v) : name(n), value(std::move(v)) {}
    Arg(std::string_view n, std::string_view v) : name(n), value(v) {}
    Arg(std::string_view n, const char* v) : name(n), value(v) {}
    template <class I, class = std::enable_if_t<std::is_integral_v<I> && !std::is_same_v<I, bool> &&
                                                !std::is_same_v<I, char>>>
    Arg(std::string_view n, I v) : name(n), value(std::to_string(v)) {}
};

// Fills the placeholders of a template; unknown placeholders are left as they stand.
std::string format(std::string_view tmpl, std::initializer_list<Arg> args);

// tr followed by format.
inline std::string trf(const Message& m, std::initializer_list<Arg> args) { return format(tr(m), args); }

}  // namespace i18n

// Declares one message catalogue from an X-macro table of (name, English, Russian) rows:
// a constant per row plus `kAll`, the whole table, which the catalogue tests walk.
#define VELMORA_MESSAGE_ROW(name, en, ru) inline constexpr ::i18n::Message name{en, ru};
#define VELMORA_MESSAGE_REF(name, en, ru) name,
#define VELMORA_MESSAGE_CATALOGUE(TABLE) \
    TABLE(VELMORA_MESSAGE_ROW)           \
    inline constexpr ::i18n::Message kAll[] = {TABLE(VELMORA_MESSAGE_REF)};
