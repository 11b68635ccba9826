#include "sacd/charset_codec.h"

#include <cassert>

extern "C" {
using VelmoraSink = void (*)(void* context, const std::uint8_t* data, std::size_t length);
int velmora_charset_decode(int encoding, const std::uint8_t* data, std::size_t length, VelmoraSink sink,
                           void* context);
int velmora_charset_encode(int encoding, const std::uint8_t* data, std::size_t length, VelmoraSink sink,
                           void* context, std::uint32_t* unmappable);
int velmora_to_lowercase(const std::uint8_t* data, std::size_t length, VelmoraSink sink, void* context);
}

namespace sacd::charset_codec {
namespace {

constexpr int kOk = 0;
constexpr int kUnmappable = 1;

// The numbering of the C interface.
int encoding_id(Encoding encoding) {
    switch (encoding) {
        case Encoding::ShiftJis: return 0;
        case Encoding::EucKr: return 1;
        case Encoding::Gbk: return 2;
        case Encoding::Big5: return 3;
    }
    return -1;
}

template <class Container>
void append_to(void* context, const std::uint8_t* data, std::size_t length) {
    auto& out = *static_cast<Container*>(context);
    if (length > 0) out.insert(out.end(), data, data + length);
}

const std::uint8_t* bytes_of(std::string_view text) { return reinterpret_cast<const std::uint8_t*>(text.data()); }

}  // namespace

std::string decode(Encoding encoding, std::span<const std::uint8_t> bytes) {
    std::string out;
    [[maybe_unused]] int rc =
        velmora_charset_decode(encoding_id(encoding), bytes.data(), bytes.size(), &append_to<std::string>, &out);
    assert(rc == kOk);
    return out;
}

std::variant<std::vector<std::uint8_t>, Unmappable> encode(Encoding encoding, std::string_view text) {
    std::vector<std::uint8_t> out;
    std::uint32_t unmappable = 0;
    int rc = velmora_charset_encode(encoding_id(encoding), bytes_of(text), text.size(),
                                    &append_to<std::vector<std::uint8_t>>, &out, &unmappable);
    if (rc == kOk) return out;
    if (rc == kUnmappable) return Unmappable{static_cast<char32_t>(unmappable)};
    return Unmappable{U'\uFFFD'};
}

std::string to_lower(std::string_view text) {
    std::string out;
    if (velmora_to_lowercase(bytes_of(text), text.size(), &append_to<std::string>, &out) != kOk) {
        return std::string(text);
    }
    return out;
}

}  // namespace sacd::charset_codec
