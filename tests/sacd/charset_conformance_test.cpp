// The double-byte codecs against the WHATWG Encoding Standard: the standard's decoder and encoder
// algorithms for Shift_JIS, EUC-KR, GBK and Big5, written out here over the standard's own index
// tables (read at test time from Debian's libjs-text-encoding), compared with what the codec
// adapter does for every one- and two-byte sequence and every BMP code point.
#include "sacd/charset_codec.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "sacd/charset.h"

namespace sacd {
namespace {

using charset_codec::Encoding;
using CodePoints = std::vector<char32_t>;
using ByteString = std::vector<std::uint8_t>;

constexpr const char* kIndexFile = "/usr/share/javascript/text-encoding/encoding-indexes.js";
constexpr char32_t kNone = 0xFFFFFFFF;  // a null index entry
constexpr char32_t kError = 0xFFFD;

// ---------------------------------------------------------------------------------------------
// The index tables: the file is a JavaScript object literal, one `"name":[...]` per line.

std::vector<char32_t> parse_index(const std::string& file, const std::string& name) {
    std::vector<char32_t> values;
    auto start = file.find("\"" + name + "\":[");
    if (start == std::string::npos) return values;
    std::size_t i = start + name.size() + 4;  // just after the opening bracket
    int depth = 1;
    while (i < file.size() && depth > 0) {
        char c = file[i];
        if (c == '[') {
            ++depth;
            ++i;
        } else if (c == ']') {
            --depth;
            ++i;
        } else if (c >= '0' && c <= '9') {
            std::size_t end = i;
            while (end < file.size() && file[end] >= '0' && file[end] <= '9') ++end;
            values.push_back(static_cast<char32_t>(std::stoul(file.substr(i, end - i))));
            i = end;
        } else if (file.compare(i, 4, "null") == 0) {
            values.push_back(kNone);
            i += 4;
        } else {
            ++i;
        }
    }
    return values;
}

struct Indexes {
    std::vector<char32_t> jis0208, euc_kr, gb18030, big5;
    std::vector<std::pair<std::uint32_t, char32_t>> gb18030_ranges;

    static const Indexes& get() {
        static const Indexes indexes = [] {
            Indexes x;
            std::ifstream in(kIndexFile, std::ios::binary);
            std::stringstream buffer;
            buffer << in.rdbuf();
            const std::string file = buffer.str();
            x.jis0208 = parse_index(file, "jis0208");
            x.euc_kr = parse_index(file, "euc-kr");
            x.gb18030 = parse_index(file, "gb18030");
            x.big5 = parse_index(file, "big5");
            auto flat = parse_index(file, "gb18030-ranges");
            for (std::size_t i = 0; i + 1 < flat.size(); i += 2) x.gb18030_ranges.emplace_back(flat[i], flat[i + 1]);
            return x;
        }();
        return indexes;
    }
};

char32_t at(const std::vector<char32_t>& index, std::uint32_t pointer) {
    return pointer < index.size() ? index[pointer] : kNone;
}

// Reverse lookups built once: code point -> first (and last) pointer.
struct Reverse {
    std::map<char32_t, std::uint32_t> first, last;
    template <class Skip>
    Reverse(const std::vector<char32_t>& index, Skip skip) {
        for (std::uint32_t p = 0; p < index.size(); ++p) {
            if (index[p] == kNone || skip(p)) continue;
            first.try_emplace(index[p], p);
            last[index[p]] = p;
        }
    }
};

bool is_ascii(int b) { return b >= 0 && b <= 0x7F; }
bool within(int b, int lo, int hi) { return b >= lo && b <= hi; }

// ---------------------------------------------------------------------------------------------
// The standard's decoders. Each runs the "process a stream" loop: an input stream with prepend,
// end-of-queue as -1, and an error emitting U+FFFD (replacement mode).

class Stream {
public:
    explicit Stream(std::span<const std::uint8_t> bytes) : bytes_(bytes.begin(), bytes.end()) {}
    int read() {
        if (bytes_.empty()) return -1;
        int b = bytes_.front();
        bytes_.pop_front();
        return b;
    }
    void prepend(int b) { bytes_.push_front(static_cast<std::uint8_t>(b)); }

private:
    std::deque<std::uint8_t> bytes_;
};

CodePoints decode_shift_jis(std::span<const std::uint8_t> bytes) {
    const auto& jis = Indexes::get().jis0208;
    Stream in(bytes);
    CodePoints out;
    int lead = 0;
    for (;;) {
        int byte = in.read();
        if (byte == -1) {
            if (lead != 0) out.push_back(kError);
            return out;
        }
        if (lead != 0) {
            int leading = lead;
            lead = 0;
            std::optional<std::uint32_t> pointer;
            int offset = byte < 0x7F ? 0x40 : 0x41;
            int lead_offset = leading < 0xA0 ? 0x81 : 0xC1;
            if (within(byte, 0x40, 0x7E) || within(byte, 0x80, 0xFC)) pointer = (leading - lead_offset) * 188 + byte - offset;
            if (pointer && within(static_cast<int>(*pointer), 8836, 10715)) {
                out.push_back(0xE000 - 8836 + *pointer);
                continue;
            }
            char32_t cp = pointer ? at(jis, *pointer) : kNone;
            if (cp != kNone) {
                out.push_back(cp);
                continue;
            }
            if (is_ascii(byte)) in.prepend(byte);
            out.push_back(kError);
            continue;
        }
        if (is_ascii(byte) || byte == 0x80) {
            out.push_back(static_cast<char32_t>(byte));
        } else if (within(byte, 0xA1, 0xDF)) {
            out.push_back(0xFF61 - 0xA1 + byte);
        } else if (within(byte, 0x81, 0x9F) || within(byte, 0xE0, 0xFC)) {
            lead = byte;
        } else {
            out.push_back(kError);
        }
    }
}

CodePoints decode_euc_kr(std::span<const std::uint8_t> bytes) {
    const auto& index = Indexes::get().euc_kr;
    Stream in(bytes);
    CodePoints out;
    int lead = 0;
    for (;;) {
        int byte = in.read();
        if (byte == -1) {
            if (lead != 0) out.push_back(kError);
            return out;
        }
        if (lead != 0) {
            int leading = lead;
            lead = 0;
            char32_t cp = kNone;
            if (within(byte, 0x41, 0xFE)) cp = at(index, (leading - 0x81) * 190 + (byte - 0x41));
            if (cp != kNone) {
                out.push_back(cp);
                continue;
            }
            if (is_ascii(byte)) in.prepend(byte);
            out.push_back(kError);
            continue;
        }
        if (is_ascii(byte)) {
            out.push_back(static_cast<char32_t>(byte));
        } else if (within(byte, 0x81, 0xFE)) {
            lead = byte;
        } else {
            out.push_back(kError);
        }
    }
}

char32_t gb18030_ranges_code_point(std::uint32_t pointer) {
    if ((pointer > 39419 && pointer < 189000) || pointer > 1237575) return kNone;
    if (pointer == 7457) return 0xE7C7;
    const auto& ranges = Indexes::get().gb18030_ranges;
    const std::pair<std::uint32_t, char32_t>* last = nullptr;
    for (const auto& range : ranges) {
        if (range.first <= pointer) last = &range;
    }
    return last ? last->second + (pointer - last->first) : kNone;
}

// GBK's decoder is gb18030's.
CodePoints decode_gb18030(std::span<const std::uint8_t> bytes) {
    const auto& index = Indexes::get().gb18030;
    Stream in(bytes);
    CodePoints out;
    int first = 0, second = 0, third = 0;
    for (;;) {
        int byte = in.read();
        if (byte == -1) {
            if (first != 0 || second != 0 || third != 0) out.push_back(kError);
            return out;
        }
        if (third != 0) {
            if (!within(byte, 0x30, 0x39)) {
                in.prepend(byte);
                in.prepend(third);
                in.prepend(second);
                first = second = third = 0;
                out.push_back(kError);
                continue;
            }
            auto pointer = static_cast<std::uint32_t>((((first - 0x81) * 10 + second - 0x30) * 126 + third - 0x81) * 10 +
                                                      byte - 0x30);
            first = second = third = 0;
            char32_t cp = gb18030_ranges_code_point(pointer);
            out.push_back(cp == kNone ? kError : cp);
            continue;
        }
        if (second != 0) {
            if (within(byte, 0x81, 0xFE)) {
                third = byte;
                continue;
            }
            in.prepend(byte);
            in.prepend(second);
            first = second = 0;
            out.push_back(kError);
            continue;
        }
        if (first != 0) {
            if (within(byte, 0x30, 0x39)) {
                second = byte;
                continue;
            }
            int leading = first;
            first = 0;
            char32_t cp = kNone;
            int offset = byte < 0x7F ? 0x40 : 0x41;
            if (within(byte, 0x40, 0x7E) || within(byte, 0x80, 0xFE)) cp = at(index, (leading - 0x81) * 190 + (byte - offset));
            if (cp != kNone) {
                out.push_back(cp);
                continue;
            }
            if (is_ascii(byte)) in.prepend(byte);
            out.push_back(kError);
            continue;
        }
        if (is_ascii(byte)) {
            out.push_back(static_cast<char32_t>(byte));
        } else if (byte == 0x80) {
            out.push_back(0x20AC);
        } else if (within(byte, 0x81, 0xFE)) {
            first = byte;
        } else {
            out.push_back(kError);
        }
    }
}

CodePoints decode_big5(std::span<const std::uint8_t> bytes) {
    const auto& index = Indexes::get().big5;
    Stream in(bytes);
    CodePoints out;
    int lead = 0;
    for (;;) {
        int byte = in.read();
        if (byte == -1) {
            if (lead != 0) out.push_back(kError);
            return out;
        }
        if (lead != 0) {
            int leading = lead;
            lead = 0;
            std::optional<std::uint32_t> pointer;
            int offset = byte < 0x7F ? 0x40 : 0x62;
            if (within(byte, 0x40, 0x7E) || within(byte, 0xA1, 0xFE)) pointer = (leading - 0x81) * 157 + (byte - offset);
            if (pointer) {
                switch (*pointer) {
                    case 1133: out.insert(out.end(), {0x00CA, 0x0304}); continue;
                    case 1135: out.insert(out.end(), {0x00CA, 0x030C}); continue;
                    case 1164: out.insert(out.end(), {0x00EA, 0x0304}); continue;
                    case 1166: out.insert(out.end(), {0x00EA, 0x030C}); continue;
                    default: break;
                }
            }
            char32_t cp = pointer ? at(index, *pointer) : kNone;
            if (cp != kNone) {
                out.push_back(cp);
                continue;
            }
            if (is_ascii(byte)) in.prepend(byte);
            out.push_back(kError);
            continue;
        }
        if (is_ascii(byte)) {
            out.push_back(static_cast<char32_t>(byte));
        } else if (within(byte, 0x81, 0xFE)) {
            lead = byte;
        } else {
            out.push_back(kError);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// The standard's encoders for one code point: the bytes, or nothing for an error.

std::optional<ByteString> encode_shift_jis(char32_t cp) {
    static const Reverse reverse(Indexes::get().jis0208, [](std::uint32_t p) { return p >= 8272 && p <= 8835; });
    if (cp <= 0x80) return ByteString{static_cast<std::uint8_t>(cp)};
    if (cp == 0x00A5) return ByteString{0x5C};
    if (cp == 0x203E) return ByteString{0x7E};
    if (cp >= 0xFF61 && cp <= 0xFF9F) return ByteString{static_cast<std::uint8_t>(cp - 0xFF61 + 0xA1)};
    if (cp == 0x2212) cp = 0xFF0D;
    auto found = reverse.first.find(cp);
    if (found == reverse.first.end()) return std::nullopt;
    std::uint32_t pointer = found->second;
    std::uint32_t lead = pointer / 188, trail = pointer % 188;
    std::uint32_t lead_offset = lead < 0x1F ? 0x81 : 0xC1, offset = trail < 0x3F ? 0x40 : 0x41;
    return ByteString{static_cast<std::uint8_t>(lead + lead_offset), static_cast<std::uint8_t>(trail + offset)};
}

std::optional<ByteString> encode_euc_kr(char32_t cp) {
    static const Reverse reverse(Indexes::get().euc_kr, [](std::uint32_t) { return false; });
    if (cp <= 0x7F) return ByteString{static_cast<std::uint8_t>(cp)};
    auto found = reverse.first.find(cp);
    if (found == reverse.first.end()) return std::nullopt;
    std::uint32_t pointer = found->second;
    return ByteString{static_cast<std::uint8_t>(pointer / 190 + 0x81), static_cast<std::uint8_t>(pointer % 190 + 0x41)};
}

// gb18030's encoder with the GBK flag set: no four-byte sequences, U+20AC as 0x80.
std::optional<ByteString> encode_gbk(char32_t cp) {
    static const Reverse reverse(Indexes::get().gb18030, [](std::uint32_t) { return false; });
    if (cp <= 0x7F) return ByteString{static_cast<std::uint8_t>(cp)};
    if (cp == 0xE5E5) return std::nullopt;
    if (cp == 0x20AC) return ByteString{0x80};
    auto found = reverse.first.find(cp);
    if (found == reverse.first.end()) return std::nullopt;
    std::uint32_t pointer = found->second;
    std::uint32_t trail = pointer % 190, offset = trail < 0x3F ? 0x40 : 0x41;
    return ByteString{static_cast<std::uint8_t>(pointer / 190 + 0x81), static_cast<std::uint8_t>(trail + offset)};
}

std::optional<ByteString> encode_big5(char32_t cp) {
    // The encoder leaves out the HKSCS extension below lead byte 0xA1.
    static const Reverse reverse(Indexes::get().big5, [](std::uint32_t p) { return p < (0xA1 - 0x81) * 157; });
    if (cp <= 0x7F) return ByteString{static_cast<std::uint8_t>(cp)};
    bool use_last = cp == 0x2550 || cp == 0x255E || cp == 0x2561 || cp == 0x256A || cp == 0x5341 || cp == 0x5345;
    const auto& table = use_last ? reverse.last : reverse.first;
    auto found = table.find(cp);
    if (found == table.end()) return std::nullopt;
    std::uint32_t pointer = found->second;
    std::uint32_t trail = pointer % 157, offset = trail < 0x3F ? 0x40 : 0x62;
    return ByteString{static_cast<std::uint8_t>(pointer / 157 + 0x81), static_cast<std::uint8_t>(trail + offset)};
}

// ---------------------------------------------------------------------------------------------

struct Codec {
    const char* name;
    Encoding encoding;
    CodePoints (*decode)(std::span<const std::uint8_t>);
    std::optional<ByteString> (*encode)(char32_t);
};

const Codec kCodecs[] = {
    {"Shift_JIS", Encoding::ShiftJis, decode_shift_jis, encode_shift_jis},
    {"EUC-KR", Encoding::EucKr, decode_euc_kr, encode_euc_kr},
    {"GBK", Encoding::Gbk, decode_gb18030, encode_gbk},
    {"Big5", Encoding::Big5, decode_big5, encode_big5},
};

std::string hex(std::span<const std::uint8_t> bytes) {
    std::string out;
    char buf[4];
    for (auto b : bytes) {
        std::snprintf(buf, sizeof buf, "%02X ", b);
        out += buf;
    }
    return out;
}

std::string format_code_points(const CodePoints& cps) {
    std::string out;
    char buf[16];
    for (auto cp : cps) {
        std::snprintf(buf, sizeof buf, "U+%04X ", static_cast<unsigned>(cp));
        out += buf;
    }
    return out;
}

class Conformance : public testing::TestWithParam<Codec> {
protected:
    void SetUp() override {
        const auto& x = Indexes::get();
        ASSERT_FALSE(x.jis0208.empty() || x.euc_kr.empty() || x.gb18030.empty() || x.big5.empty() ||
                     x.gb18030_ranges.empty())
            << "WHATWG index tables missing or unreadable: " << kIndexFile << " (package libjs-text-encoding)";
    }

    // Compares one input; keeps the first few differences for the report.
    void check_decode(std::span<const std::uint8_t> bytes) {
        const Codec& codec = GetParam();
        std::string expected = chars_to_utf8(codec.decode(bytes));
        std::string actual = charset_codec::decode(codec.encoding, bytes);
        if (expected == actual) return;
        if (++differences_ <= 10) {
            ADD_FAILURE() << codec.name << " decodes " << hex(bytes) << "as "
                          << format_code_points(utf8_to_chars(actual)) << "; the standard gives "
                          << format_code_points(utf8_to_chars(expected));
        }
    }

    int differences_ = 0;
};

TEST_P(Conformance, DecodesEveryOneAndTwoByteSequence) {
    for (int a = 0; a <= 0xFF; ++a) {
        const std::uint8_t one[] = {static_cast<std::uint8_t>(a)};
        check_decode(one);
        for (int b = 0; b <= 0xFF; ++b) {
            const std::uint8_t two[] = {static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b)};
            check_decode(two);
        }
    }
    EXPECT_EQ(differences_, 0);
}

// Three-byte prefixes of the four-byte form and every shape of broken four-byte sequence, in one
// stream per lead byte so that the recovery after each error is compared as well.
TEST_P(Conformance, DecodesFourByteShapesAsOneStream) {
    const std::uint8_t seconds[] = {0x2F, 0x30, 0x32, 0x35, 0x39, 0x3A, 0x41, 0x80, 0xA1};
    const std::uint8_t thirds[] = {0x30, 0x41, 0x7F, 0x80, 0x81, 0x99, 0x9A, 0xC0, 0xF4, 0xFE, 0xFF};
    for (int a = 0x80; a <= 0xFF; ++a) {
        ByteString stream;
        for (auto b : seconds) {
            for (auto c : thirds) {
                for (int d = 0x2F; d <= 0x3A; ++d) {
                    stream.insert(stream.end(), {static_cast<std::uint8_t>(a), b, c, static_cast<std::uint8_t>(d)});
                }
                stream.insert(stream.end(), {static_cast<std::uint8_t>(a), b, c});
            }
        }
        check_decode(stream);
    }
    EXPECT_EQ(differences_, 0);
}

TEST_P(Conformance, EncodesEveryCodePointOfTheBmpAndTheIndexedAstralOnes) {
    const Codec& codec = GetParam();
    std::vector<char32_t> code_points;
    for (char32_t cp = 0; cp <= 0xFFFF; ++cp) {
        if (cp < 0xD800 || cp > 0xDFFF) code_points.push_back(cp);
    }
    for (const auto* index : {&Indexes::get().jis0208, &Indexes::get().euc_kr, &Indexes::get().gb18030,
                              &Indexes::get().big5}) {
        for (char32_t cp : *index) {
            if (cp != kNone && cp > 0xFFFF) code_points.push_back(cp);
        }
    }
    code_points.insert(code_points.end(), {0x10000, 0x1F600, 0x10FFFF});

    for (char32_t cp : code_points) {
        auto expected = codec.encode(cp);
        auto actual = charset_codec::encode(codec.encoding, chars_to_utf8({&cp, 1}));
        bool same;
        if (expected) {
            auto* bytes = std::get_if<ByteString>(&actual);
            same = bytes && *bytes == *expected;
        } else {
            auto* unmappable = std::get_if<charset_codec::Unmappable>(&actual);
            same = unmappable && unmappable->character == cp;
        }
        if (!same && ++differences_ <= 10) {
            ADD_FAILURE() << codec.name << " encodes " << format_code_points({cp}) << "as "
                          << (std::holds_alternative<ByteString>(actual) ? hex(std::get<ByteString>(actual))
                                                                         : std::string("an error"))
                          << "; the standard gives " << (expected ? hex(*expected) : std::string("an error"));
        }
    }
    EXPECT_EQ(differences_, 0);
}

INSTANTIATE_TEST_SUITE_P(Whatwg, Conformance, testing::ValuesIn(kCodecs),
                         [](const testing::TestParamInfo<Codec>& info) {
                             std::string name = info.param.name;
                             std::erase_if(name, [](char c) { return c == '_' || c == '-'; });
                             return name;
                         });

}  // namespace
}  // namespace sacd
