#include "sacd/charset.h"

#include <algorithm>
#include <array>

#include "sacd/charset_codec.h"

namespace sacd {
namespace {

using edit_errors::CharacterNotInCharset;

constexpr char32_t kReplacement = U'\uFFFD';

struct SetInfo {
    CharSet::Value value;
    std::string_view wire_name;
};

// Indexed by value; the disc code is the index + 1.
constexpr std::array<SetInfo, 7> kSets = {{
    {CharSet::Value::Iso646, "Iso646"},
    {CharSet::Value::Iso8859_1, "Iso8859_1"},
    {CharSet::Value::RisShiftJis, "RisShiftJis"},
    {CharSet::Value::KscKorean, "KscKorean"},
    {CharSet::Value::GbChinese, "GbChinese"},
    {CharSet::Value::Big5, "Big5"},
    {CharSet::Value::Iso8859_1Esc, "Iso8859_1Esc"},
}};

static_assert([] {
    for (std::size_t i = 0; i < kSets.size(); ++i) {
        if (static_cast<std::size_t>(kSets[i].value) != i) return false;
    }
    return static_cast<std::size_t>(CharSet::Value::Other) == kSets.size();
}());

charset_codec::Encoding codec_for(CharSet::Value value) {
    switch (value) {
        case CharSet::Value::RisShiftJis: return charset_codec::Encoding::ShiftJis;
        case CharSet::Value::KscKorean: return charset_codec::Encoding::EucKr;
        case CharSet::Value::GbChinese: return charset_codec::Encoding::Gbk;
        default: return charset_codec::Encoding::Big5;
    }
}

bool is_surrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

void append_utf8(std::string& out, char32_t c) {
    if (c > 0x10FFFF || is_surrogate(c)) c = kReplacement;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string latin1_to_utf8(std::span<const std::uint8_t> bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (std::uint8_t b : bytes) append_utf8(out, b);
    return out;
}

std::vector<char32_t> distinct_in_order(const std::vector<char32_t>& chars) {
    std::vector<char32_t> out;
    for (char32_t c : chars) {
        if (std::find(out.begin(), out.end(), c) == out.end()) out.push_back(c);
    }
    return out;
}

platform::Err<EditError> not_in_charset(std::string_view field_name, char32_t c, std::uint8_t disc_code) {
    return platform::err(EditError{CharacterNotInCharset{std::string(field_name), c, disc_code}});
}

// Shift_JIS proper has no bytes for these; Japanese disc texts use the full-width forms.
char32_t ris_shift_jis_substitute(char32_t c) {
    switch (c) {
        case U'\u00A2': return U'\uFFE0';
        case U'\u00A3': return U'\uFFE1';
        case U'\u00AC': return U'\uFFE2';
        case U'\u2014': return U'\u2015';
        case U'\u2016': return U'\u2225';
        case U'\u301C': return U'\uFF5E';
        default: return c;
    }
}

platform::Result<Bytes, EditError> encode_double_byte(CharSet::Value value, std::uint8_t disc_code,
                                                      std::vector<char32_t> chars, std::string_view field_name) {
    if (value == CharSet::Value::RisShiftJis) {
        std::transform(chars.begin(), chars.end(), chars.begin(), ris_shift_jis_substitute);
    }
    auto encoding = codec_for(value);
    auto whole = charset_codec::encode(encoding, chars_to_utf8(chars));
    if (auto* bytes = std::get_if<Bytes>(&whole)) return std::move(*bytes);
    // Name the first character that cannot stand on its own, in text order.
    for (char32_t c : chars) {
        if (std::holds_alternative<charset_codec::Unmappable>(charset_codec::encode(encoding, chars_to_utf8({&c, 1})))) {
            return not_in_charset(field_name, c, disc_code);
        }
    }
    return not_in_charset(field_name, kReplacement, disc_code);
}

bool is_white_space(char32_t c) {
    // The Unicode White_Space property.
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

bool is_dash(char32_t c) { return c == U'-' || (c >= 0x2010 && c <= 0x2015) || c == 0x2212; }

bool is_number_separator(char c) { return c == ' ' || c == ')' || c == '-' || c == '.' || c == ':'; }

bool is_ascii_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

CharSet CharSet::from_disc_code(std::uint8_t code) {
    if (code >= 1 && code <= kSets.size()) return CharSet(kSets[code - 1].value);
    return CharSet(Value::Other, code);
}

std::optional<CharSet> CharSet::from_wire_name(std::string_view name) {
    for (const auto& set : kSets) {
        if (set.wire_name == name) return CharSet(set.value);
    }
    return std::nullopt;
}

std::string_view CharSet::wire_name() const {
    if (value_ == Value::Other) return {};
    return kSets[static_cast<std::size_t>(value_)].wire_name;
}

bool CharSet::is_double_byte() const {
    switch (value_) {
        case Value::RisShiftJis:
        case Value::KscKorean:
        case Value::GbChinese:
        case Value::Big5: return true;
        default: return false;
    }
}

platform::Result<Bytes, EditError> CharSet::encode(std::string_view text, std::string_view field_name) const {
    switch (value_) {
        case Value::Iso646: {
            Bytes out;
            out.reserve(text.size());
            for (char32_t c : utf8_to_chars(text)) {
                if (c < 0x20 || c > 0x7E) return not_in_charset(field_name, c, raw_code_);
                out.push_back(static_cast<std::uint8_t>(c));
            }
            return out;
        }
        case Value::Iso8859_1: return encode_iso8859_1(text, false, raw_code_, field_name);
        case Value::Iso8859_1Esc: return encode_iso8859_1(text, true, raw_code_, field_name);
        case Value::RisShiftJis:
        case Value::KscKorean:
        case Value::GbChinese:
        case Value::Big5: return encode_double_byte(value_, raw_code_, utf8_to_chars(text), field_name);
        case Value::Other: break;
    }
    return not_in_charset(field_name, 0, raw_code_);
}

std::vector<char32_t> CharSet::unencodable_chars(std::string_view text) const {
    std::vector<char32_t> out;
    for (char32_t c : distinct_in_order(utf8_to_chars(text))) {
        if (!encode(chars_to_utf8({&c, 1}), "charset-live-check")) out.push_back(c);
    }
    return out;
}

platform::Result<Bytes, EditError> encode_iso8859_1(std::string_view text, bool allow_escape, std::uint8_t disc_code,
                                                    std::string_view field_name) {
    Bytes out;
    out.reserve(text.size());
    for (char32_t c : utf8_to_chars(text)) {
        bool control = c < 0x20 && !(allow_escape && c == 0x1B);
        if (control || c == 0x7F || c > 0xFF) return not_in_charset(field_name, c, disc_code);
        out.push_back(static_cast<std::uint8_t>(c));
    }
    return out;
}

std::optional<std::string> decode_special_string(std::span<const std::uint8_t> buffer, std::size_t offset,
                                                 CharSet charset) {
    if (offset >= buffer.size()) return std::nullopt;
    const std::size_t unit = charset.is_double_byte() ? 2 : 1;
    std::size_t end = offset;
    while (buffer.size() - end >= unit) {
        auto first = buffer.begin() + static_cast<std::ptrdiff_t>(end);
        if (std::all_of(first, first + static_cast<std::ptrdiff_t>(unit), [](std::uint8_t b) { return b == 0; })) {
            break;
        }
        end += unit;
    }
    // Less than a whole unit left: the text runs to the end of the buffer.
    if (buffer.size() - end < unit) end = buffer.size();
    if (end == offset) return std::nullopt;
    auto bytes = buffer.subspan(offset, end - offset);
    if (charset.is_double_byte()) return charset_codec::decode(codec_for(charset.value()), bytes);
    return latin1_to_utf8(bytes);
}

std::optional<std::string> decode_weblink_string(std::span<const std::uint8_t> buffer, std::size_t offset) {
    if (offset >= buffer.size() || buffer[offset] == 0) return std::nullopt;
    auto rest = buffer.subspan(offset);
    auto zero = std::find(rest.begin(), rest.end(), std::uint8_t{0});
    return latin1_to_utf8(rest.first(static_cast<std::size_t>(zero - rest.begin())));
}

// Malformed UTF-8 follows the WHATWG UTF-8 decoder: each maximal invalid subpart becomes one
// U+FFFD, so a broken text can never be stored as anything but a refused character.
std::vector<char32_t> utf8_to_chars(std::string_view text) {
    std::vector<char32_t> out;
    out.reserve(text.size());
    char32_t code_point = 0;
    int needed = 0, seen = 0;
    std::uint8_t lower = 0x80, upper = 0xBF;
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto b = static_cast<std::uint8_t>(text[i]);
        if (needed == 0) {
            if (b <= 0x7F) {
                out.push_back(b);
            } else if (b >= 0xC2 && b <= 0xDF) {
                needed = 1;
                code_point = b & 0x1F;
            } else if (b >= 0xE0 && b <= 0xEF) {
                if (b == 0xE0) lower = 0xA0;
                if (b == 0xED) upper = 0x9F;
                needed = 2;
                code_point = b & 0x0F;
            } else if (b >= 0xF0 && b <= 0xF4) {
                if (b == 0xF0) lower = 0x90;
                if (b == 0xF4) upper = 0x8F;
                needed = 3;
                code_point = b & 0x07;
            } else {
                out.push_back(kReplacement);
            }
            continue;
        }
        if (b < lower || b > upper) {
            // The byte starts afresh after the broken sequence.
            code_point = 0;
            needed = seen = 0;
            lower = 0x80;
            upper = 0xBF;
            out.push_back(kReplacement);
            --i;
            continue;
        }
        lower = 0x80;
        upper = 0xBF;
        code_point = (code_point << 6) | (b & 0x3F);
        if (++seen == needed) {
            out.push_back(code_point);
            code_point = 0;
            needed = seen = 0;
        }
    }
    if (needed != 0) out.push_back(kReplacement);
    return out;
}

std::string chars_to_utf8(std::span<const char32_t> chars) {
    std::string out;
    out.reserve(chars.size());
    for (char32_t c : chars) append_utf8(out, c);
    return out;
}

namespace charset_detect {

Refusal no_single_refusal(std::string_view text) {
    Refusal refusal;
    for (char32_t c : distinct_in_order(utf8_to_chars(text))) {
        const std::string single = chars_to_utf8({&c, 1});
        bool fits = std::any_of(std::begin(kProbeOrder), std::end(kProbeOrder), [&](CharSet::Value value) {
            return CharSet(value).encode(single, "charset-live-check").ok();
        });
        if (!fits) refusal.characters.push_back(c);
    }
    refusal.no_single_set = refusal.characters.empty();
    return refusal;
}

platform::Result<Decisive, Refusal> decisive_or_refuse(std::string_view text, CharSet hint, int reason,
                                                       const std::vector<Candidate>& candidates) {
    bool hinted = std::any_of(candidates.begin(), candidates.end(),
                              [&](const Candidate& candidate) { return candidate.charset == hint; });
    if (!hinted) return platform::err(no_single_refusal(text));
    Decisive decisive{hint, reason, {}};
    std::copy_if(candidates.begin(), candidates.end(), std::back_inserter(decisive.others),
                 [&](const Candidate& candidate) { return !(candidate.charset == hint); });
    return decisive;
}

}  // namespace charset_detect

namespace area_match {

std::string norm(std::string_view text) {
    std::string joined;
    bool pending_space = false;
    for (char32_t c : utf8_to_chars(text)) {
        if (is_white_space(c)) {
            pending_space = !joined.empty();
            continue;
        }
        if (pending_space) joined += ' ';
        pending_space = false;
        append_utf8(joined, c);
    }
    return charset_codec::to_lower(joined);
}

std::string norm_for_match_loose(std::string_view text) {
    auto chars = utf8_to_chars(text);
    std::replace_if(chars.begin(), chars.end(), is_dash, U' ');
    std::string normed = norm(chars_to_utf8(chars));

    // A leading track number of one to three digits and the separators right after it.
    std::size_t digits = 0;
    while (digits < normed.size() && is_ascii_digit(normed[digits])) ++digits;
    if (digits == 0 || digits > 3 || digits == normed.size() || !is_number_separator(normed[digits])) return normed;
    std::size_t cut = digits;
    while (cut < normed.size() && is_number_separator(normed[cut])) ++cut;
    return normed.substr(cut);
}

}  // namespace area_match

bool is_valid_utf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t len;
        char32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            len = 2, cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3, cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4, cp = c & 0x07;
        } else {
            return false;
        }
        if (text.size() - i < len) return false;
        for (std::size_t k = 1; k < len; ++k) {
            const auto cc = static_cast<unsigned char>(text[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if ((len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

}  // namespace sacd
