// The WHATWG Shift_JIS, EUC-KR, GBK and Big5 codecs (encoding_rs behind a small C interface),
// and full Unicode lower-casing. The only place that knows about the Rust library.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace sacd::charset_codec {

enum class Encoding { ShiftJis, EucKr, Gbk, Big5 };

// Malformed input becomes U+FFFD; no byte-order-mark handling. Returns UTF-8.
std::string decode(Encoding encoding, std::span<const std::uint8_t> bytes);

struct Unmappable {
    char32_t character = 0;  // the first character the encoding has no bytes for
};

// `text` must be valid UTF-8 (invalid input is reported as an unmappable U+FFFD).
std::variant<std::vector<std::uint8_t>, Unmappable> encode(Encoding encoding, std::string_view text);

// Full Unicode lower-casing, multi-character mappings included. `text` must be valid UTF-8
// (invalid input is returned unchanged).
std::string to_lower(std::string_view text);

}  // namespace sacd::charset_codec
