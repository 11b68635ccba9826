#include "tests/support/dst_test_dsdiff.h"

#include <stdexcept>
#include <string>

namespace dst_test {

namespace {

using Bytes = std::vector<std::uint8_t>;

void put_be(Bytes& out, std::uint64_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void put_id(Bytes& out, const char* id) { out.insert(out.end(), id, id + 4); }

// id, 8-byte big-endian content size, content, a pad byte when the size is odd.
Bytes chunk(const char* id, const Bytes& content) {
    Bytes out;
    put_id(out, id);
    put_be(out, content.size(), 8);
    out.insert(out.end(), content.begin(), content.end());
    if (content.size() % 2) out.push_back(0);
    return out;
}

void append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

Bytes prop(int channels, bool dst) {
    static const char* const kIds2[] = {"SLFT", "SRGT"};
    static const char* const kIds5[] = {"MLFT", "MRGT", "C   ", "LS  ", "RS  "};
    static const char* const kIds6[] = {"MLFT", "MRGT", "C   ", "LFE ", "LS  ", "RS  "};
    const char* const* ids = channels == 2 ? kIds2 : channels == 5 ? kIds5 : channels == 6 ? kIds6 : nullptr;
    if (!ids) throw std::invalid_argument("DSDIFF has no layout for this channel count");

    Bytes content;
    put_id(content, "SND ");
    Bytes fs;
    put_be(fs, 2822400, 4);
    append(content, chunk("FS  ", fs));
    Bytes chnl;
    put_be(chnl, static_cast<std::uint64_t>(channels), 2);
    for (int c = 0; c < channels; ++c) put_id(chnl, ids[c]);
    append(content, chunk("CHNL", chnl));
    Bytes cmpr;
    const std::string name = dst ? "DST Encoded" : "not compressed";
    put_id(cmpr, dst ? "DST " : "DSD ");
    cmpr.push_back(static_cast<std::uint8_t>(name.size()));
    cmpr.insert(cmpr.end(), name.begin(), name.end());
    append(content, chunk("CMPR", cmpr));
    return chunk("PROP", content);
}

Bytes form(int channels, bool dst, const Bytes& sound) {
    Bytes content;
    put_id(content, "DSD ");
    append(content, chunk("FVER", Bytes{0x01, 0x05, 0x00, 0x00}));
    append(content, prop(channels, dst));
    append(content, sound);
    return chunk("FRM8", content);
}

}  // namespace

std::vector<std::uint8_t> dsdiff_dsd(int channels, const std::vector<std::uint8_t>& interleaved) {
    return form(channels, false, chunk("DSD ", interleaved));
}

std::vector<std::uint8_t> dsdiff_dst(int channels, const std::vector<std::vector<std::uint8_t>>& frames) {
    Bytes content;
    Bytes frte;
    put_be(frte, frames.size(), 4);
    put_be(frte, 75, 2);
    append(content, chunk("FRTE", frte));
    for (const Bytes& f : frames) append(content, chunk("DSTF", f));
    return form(channels, true, chunk("DST ", content));
}

}  // namespace dst_test
