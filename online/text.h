// Small text functions shared by the online clients: trimming, ASCII case, percent-encoding and
// the lossy reading of answer bodies.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace online {

// Without the white space (Unicode White_Space) at both ends.
std::string_view trim(std::string_view text);

// The pieces of `text` between runs of white space (Unicode White_Space); no empty pieces.
std::vector<std::string_view> split_white_space(std::string_view text);

std::string ascii_lower(std::string_view text);
bool is_ascii_digit(char c);
// Whether the text is 8 to 14 ASCII digits: the length of EAN and UPC barcodes.
bool looks_like_barcode(std::string_view text);

// Percent-encoding byte by byte: ASCII letters, digits and "-", ".", "_", "~" stay, every other
// byte becomes "%" and two upper-case hexadecimal digits.
std::string url_encode(std::string_view text);

// The bytes as UTF-8 text, every ill-formed sequence replaced by U+FFFD.
std::string utf8_lossy(std::string bytes);

}  // namespace online
