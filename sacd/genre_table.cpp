#include "sacd/genre_table.h"

#include <cstddef>

namespace sacd {

namespace {

// The white-space characters beyond ASCII (Unicode White_Space), as UTF-8.
constexpr std::string_view kWideSpaces[] = {"\u0085", "\u00A0", "\u1680", "\u2000", "\u2001", "\u2002", "\u2003",
                                            "\u2004", "\u2005", "\u2006", "\u2007", "\u2008", "\u2009", "\u200A",
                                            "\u2028", "\u2029", "\u202F", "\u205F", "\u3000"};

bool is_ascii_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Length of a white-space character (Unicode White_Space, UTF-8) at the start of `s`, or 0.
std::size_t leading_space(std::string_view s) {
    if (s.empty()) return 0;
    if (is_ascii_space(s.front())) return 1;
    for (auto w : kWideSpaces)
        if (s.starts_with(w)) return w.size();
    return 0;
}

std::size_t trailing_space(std::string_view s) {
    if (s.empty()) return 0;
    if (is_ascii_space(s.back())) return 1;
    for (auto w : kWideSpaces)
        if (s.ends_with(w)) return w.size();
    return 0;
}

std::string_view trim(std::string_view s) {
    while (std::size_t n = leading_space(s)) s.remove_prefix(n);
    while (std::size_t n = trailing_space(s)) s.remove_suffix(n);
    return s;
}

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equal_ignoring_ascii_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
    return true;
}

}  // namespace

std::optional<std::uint16_t> general_genre_index(std::string_view name) {
    const std::string_view wanted = trim(name);
    for (std::size_t i = 0; i < kGeneralGenreNames.size(); ++i)
        if (equal_ignoring_ascii_case(wanted, kGeneralGenreNames[i])) return static_cast<std::uint16_t>(i + 1);
    return std::nullopt;
}

std::optional<std::string_view> genre_ref_name(std::uint8_t table, std::uint16_t index) {
    if (table != kGeneralGenreTable || index == 0 || index > kGeneralGenreNames.size()) return std::nullopt;
    return kGeneralGenreNames[index - 1u];
}

}  // namespace sacd
