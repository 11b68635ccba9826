#include "online/text.h"

#include "sacd/charset.h"

namespace online {

namespace {

// The Unicode White_Space characters beyond ASCII, as UTF-8.
constexpr std::string_view kWideSpaces[] = {"\u0085", "\u00A0", "\u1680", "\u2000", "\u2001", "\u2002", "\u2003",
                                            "\u2004", "\u2005", "\u2006", "\u2007", "\u2008", "\u2009", "\u200A",
                                            "\u2028", "\u2029", "\u202F", "\u205F", "\u3000"};

// Byte length of the white-space character that `text` starts (at_end: ends) with, or 0.
std::size_t space_at(std::string_view text, bool at_end) {
    if (text.empty()) return 0;
    const char edge = at_end ? text.back() : text.front();
    if (edge == ' ' || (edge >= '\t' && edge <= '\r')) return 1;
    for (std::string_view w : kWideSpaces)
        if (at_end ? text.ends_with(w) : text.starts_with(w)) return w.size();
    return 0;
}

}  // namespace

std::string_view trim(std::string_view text) {
    while (std::size_t n = space_at(text, false)) text.remove_prefix(n);
    while (std::size_t n = space_at(text, true)) text.remove_suffix(n);
    return text;
}

std::vector<std::string_view> split_white_space(std::string_view text) {
    std::vector<std::string_view> pieces;
    text = trim(text);
    while (!text.empty()) {
        std::size_t end = 0;
        while (end < text.size() && space_at(text.substr(end), false) == 0) ++end;
        pieces.push_back(text.substr(0, end));
        text = trim(text.substr(end));
    }
    return pieces;
}

std::string ascii_lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool is_ascii_digit(char c) { return c >= '0' && c <= '9'; }

bool looks_like_barcode(std::string_view text) {
    if (text.size() < 8 || text.size() > 14) return false;
    for (char c : text)
        if (!is_ascii_digit(c)) return false;
    return true;
}

std::string url_encode(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        const auto b = static_cast<unsigned char>(ch);
        const bool keep = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '-' ||
                          b == '.' || b == '_' || b == '~';
        if (keep) {
            out.push_back(ch);
        } else {
            out.push_back('%');
            out.push_back(kHex[b >> 4]);
            out.push_back(kHex[b & 0x0F]);
        }
    }
    return out;
}

std::string utf8_lossy(std::string bytes) {
    if (sacd::is_valid_utf8(bytes)) return bytes;
    return sacd::chars_to_utf8(sacd::utf8_to_chars(bytes));
}

}  // namespace online
