// The seven SACD text character sets: codes, encoding, decoding, and the helpers that pick a
// set for imported text and compare titles.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"
#include "sacd/edit_error.h"

namespace sacd {

using Bytes = std::vector<std::uint8_t>;

class CharSet {
public:
    enum class Value : std::uint8_t { Iso646, Iso8859_1, RisShiftJis, KscKorean, GbChinese, Big5, Iso8859_1Esc, Other };

    constexpr CharSet(Value v) : value_(v), raw_code_(v == Value::Other ? 0 : static_cast<std::uint8_t>(v) + 1) {}

    // Codes 1..7 give the seven sets; any other code is kept as "other".
    static CharSet from_disc_code(std::uint8_t code);
    // Exactly the seven wire names ("Iso646", ..., "Iso8859_1Esc"), case-sensitive.
    static std::optional<CharSet> from_wire_name(std::string_view name);

    Value value() const { return value_; }
    // The byte stored in a text-channel entry (the raw code for "other").
    std::uint8_t disc_code() const { return raw_code_; }
    // The wire name; empty for "other".
    std::string_view wire_name() const;
    bool is_double_byte() const;

    // UTF-8 text to the set's bytes, or CharacterNotInCharset naming the first character that
    // cannot be stored. Never partial output.
    platform::Result<Bytes, EditError> encode(std::string_view text, std::string_view field_name) const;

    // The distinct characters of `text`, in order of first appearance, that the set cannot encode.
    std::vector<char32_t> unencodable_chars(std::string_view text) const;

    friend bool operator==(const CharSet& a, const CharSet& b) {
        return a.value_ == b.value_ && a.raw_code_ == b.raw_code_;
    }

private:
    constexpr CharSet(Value v, std::uint8_t raw) : value_(v), raw_code_(raw) {}
    Value value_;
    std::uint8_t raw_code_;
};

// The single-byte encoder behind Iso8859_1 and Iso8859_1Esc.
platform::Result<Bytes, EditError> encode_iso8859_1(std::string_view text, bool allow_escape, std::uint8_t disc_code,
                                                    std::string_view field_name);

// A charset-dependent text field at `offset`: units of 2 bytes (double-byte sets) or 1 byte up to
// an all-zero unit or the buffer end. Nothing when the offset is beyond the buffer or no bytes.
std::optional<std::string> decode_special_string(std::span<const std::uint8_t> buffer, std::size_t offset,
                                                 CharSet charset);

// A web link: Latin-1 bytes up to the first zero byte or the buffer end.
std::optional<std::string> decode_weblink_string(std::span<const std::uint8_t> buffer, std::size_t offset);

// UTF-8 helpers used wherever texts are handled character by character.
std::vector<char32_t> utf8_to_chars(std::string_view text);
std::string chars_to_utf8(std::span<const char32_t> chars);
// Whether `text` is well-formed UTF-8 (no overlong forms, surrogates or code points past U+10FFFF).
bool is_valid_utf8(std::string_view text);

namespace charset_detect {

// Sets tried, in this order, for each character of a text.
inline constexpr CharSet::Value kProbeOrder[] = {CharSet::Value::Iso646,      CharSet::Value::Iso8859_1,
                                                 CharSet::Value::GbChinese,   CharSet::Value::Big5,
                                                 CharSet::Value::RisShiftJis, CharSet::Value::KscKorean};

struct Refusal {
    std::vector<char32_t> characters;  // characters that no set can encode, in order of first appearance
    bool no_single_set = false;        // set when `characters` is empty: each fits some set, no one set decided
};

struct Candidate {
    CharSet charset;
    int tag = 0;
};

struct Decisive {
    CharSet charset;
    int reason = 0;
    std::vector<Candidate> others;  // the remaining candidates in their original order
};

Refusal no_single_refusal(std::string_view text);

// The hint when it is among the candidates, otherwise the refusal of `no_single_refusal`.
platform::Result<Decisive, Refusal> decisive_or_refuse(std::string_view text, CharSet hint, int reason,
                                                       const std::vector<Candidate>& candidates);

}  // namespace charset_detect

namespace area_match {

// White space collapsed to single spaces, trimmed, full Unicode lower case.
std::string norm(std::string_view text);
// `norm` after dashes become spaces, without a leading track number ("01. Intro" -> "intro").
std::string norm_for_match_loose(std::string_view text);

}  // namespace area_match

}  // namespace sacd
