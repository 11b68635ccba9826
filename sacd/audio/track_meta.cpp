#include "sacd/audio/track_meta.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/bytes.h"

namespace sacd::audio {

namespace {

// Decodes UTF-8 into code points; a malformed sequence becomes U+FFFD so that a damaged text
// still yields a tag rather than garbage bytes.
std::u32string decode_utf8(std::string_view s) {
    std::u32string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b0 = static_cast<unsigned char>(s[i]);
        int extra = 0;
        char32_t cp = 0;
        char32_t min = 0;
        if (b0 < 0x80) {
            out += b0;
            ++i;
            continue;
        } else if ((b0 & 0xE0) == 0xC0) {
            extra = 1, cp = b0 & 0x1F, min = 0x80;
        } else if ((b0 & 0xF0) == 0xE0) {
            extra = 2, cp = b0 & 0x0F, min = 0x800;
        } else if ((b0 & 0xF8) == 0xF0) {
            extra = 3, cp = b0 & 0x07, min = 0x10000;
        } else {
            out += U'\uFFFD';
            ++i;
            continue;
        }
        std::size_t j = 1;
        for (; j <= static_cast<std::size_t>(extra) && i + j < s.size(); ++j) {
            const auto b = static_cast<unsigned char>(s[i + j]);
            if ((b & 0xC0) != 0x80) break;
            cp = (cp << 6) | (b & 0x3F);
        }
        if (j != static_cast<std::size_t>(extra) + 1 || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out += U'\uFFFD';
            i += j;  // skip the lead byte and the continuation bytes that were consumed
            continue;
        }
        out += cp;
        i += j;
    }
    return out;
}

bool fits_latin1(const std::u32string& text) {
    for (char32_t c : text)
        if (c > 0xFF) return false;
    return true;
}

void append_latin1(std::vector<std::uint8_t>& out, const std::u32string& text) {
    for (char32_t c : text) out.push_back(static_cast<std::uint8_t>(c));
}

// Byte-order mark FF FE, then UTF-16LE; characters above U+FFFF as surrogate pairs.
void append_utf16le_with_bom(std::vector<std::uint8_t>& out, const std::u32string& text) {
    out.push_back(0xFF);
    out.push_back(0xFE);
    auto unit = [&](char32_t u) {
        out.push_back(static_cast<std::uint8_t>(u & 0xFF));
        out.push_back(static_cast<std::uint8_t>(u >> 8));
    };
    for (char32_t c : text) {
        if (c > 0xFFFF) {
            const char32_t v = c - 0x10000;
            unit(0xD800 + (v >> 10));
            unit(0xDC00 + (v & 0x3FF));
        } else {
            unit(c);
        }
    }
}

constexpr std::uint8_t kEncodingLatin1 = 0x00;
constexpr std::uint8_t kEncodingUtf16 = 0x01;
constexpr std::size_t kFrameHeaderSize = 10;
constexpr std::size_t kTagHeaderSize = 10;
constexpr std::uint64_t kMaxTagFramesSize = 0x0FFFFFFF;  // four 7-bit groups

std::string pad4(unsigned value) {
    std::string s = std::to_string(value);
    if (s.size() < 4) s.insert(0, 4 - s.size(), '0');
    return s;
}

}  // namespace

void Id3v2Builder::add_text(std::string_view frame_id, std::string_view text) {
    if (text.empty()) return;
    const std::u32string chars = decode_utf8(text);
    Frame frame{};
    std::memcpy(frame.id, frame_id.data(), std::min<std::size_t>(frame_id.size(), 4));
    if (fits_latin1(chars)) {
        frame.body.push_back(kEncodingLatin1);
        append_latin1(frame.body, chars);
    } else {
        frame.body.push_back(kEncodingUtf16);
        append_utf16le_with_bom(frame.body, chars);
    }
    frames_.push_back(std::move(frame));
}

void Id3v2Builder::add_txxx(std::string_view description, std::string_view value) {
    const std::u32string desc = decode_utf8(description);
    const std::u32string val = decode_utf8(value);
    Frame frame{{'T', 'X', 'X', 'X'}, {}};
    if (fits_latin1(desc) && fits_latin1(val)) {
        frame.body.push_back(kEncodingLatin1);
        append_latin1(frame.body, desc);
        frame.body.push_back(0x00);
        append_latin1(frame.body, val);
    } else {
        frame.body.push_back(kEncodingUtf16);
        append_utf16le_with_bom(frame.body, desc);
        frame.body.push_back(0x00);
        frame.body.push_back(0x00);
        append_utf16le_with_bom(frame.body, val);
    }
    frames_.push_back(std::move(frame));
}

std::vector<std::uint8_t> Id3v2Builder::render() const {
    std::uint64_t frames_size = 0;
    for (const auto& f : frames_) {
        if (f.body.size() > std::numeric_limits<std::uint32_t>::max()) continue;
        frames_size += kFrameHeaderSize + f.body.size();
    }
    if (frames_size == 0 || frames_size > kMaxTagFramesSize) return {};

    std::vector<std::uint8_t> tag(kTagHeaderSize);
    tag.reserve(kTagHeaderSize + frames_size);
    tag[0] = 'I', tag[1] = 'D', tag[2] = '3';
    tag[3] = 3, tag[4] = 0;  // version 2.3.0
    tag[5] = 0;              // no flags
    for (int i = 0; i < 4; ++i) tag[6 + i] = static_cast<std::uint8_t>((frames_size >> (7 * (3 - i))) & 0x7F);
    for (const auto& f : frames_) {
        if (f.body.size() > std::numeric_limits<std::uint32_t>::max()) continue;
        std::uint8_t header[kFrameHeaderSize] = {};
        std::memcpy(header, f.id, 4);
        platform::write_u32_be(header + 4, static_cast<std::uint32_t>(f.body.size()));  // plain, not synchsafe
        tag.insert(tag.end(), header, header + kFrameHeaderSize);
        tag.insert(tag.end(), f.body.begin(), f.body.end());
    }
    return tag;
}

bool TrackMeta::has_tags() const {
    const bool any_text = present(title) || present(artist) || present(album) || present(genre) ||
                          present(composer) || present(publisher) || present(copyright) || present(isrc) ||
                          present(catalog) || present(album_artist) || present(songwriter) || present(performer);
    return any_text || (year && *year != 0) || (disc_number && *disc_number != 0);
}

std::vector<std::uint8_t> TrackMeta::id3_v2() const {
    if (!has_tags()) return {};
    Id3v2Builder b;
    auto text = [&](const char* id, const std::optional<std::string>& value) {
        if (present(value)) b.add_text(id, *value);
    };
    text("TIT2", title);
    text("TPE1", artist);
    text("TPE2", album_artist);
    text("TALB", album);
    if (track_number) {
        std::string trck = std::to_string(*track_number);
        if (track_total) trck += "/" + std::to_string(*track_total);
        b.add_text("TRCK", trck);
    }
    if (disc_number && *disc_number != 0) {
        std::string tpos = std::to_string(*disc_number);
        if (disc_total && *disc_total != 0) tpos += "/" + std::to_string(*disc_total);
        b.add_text("TPOS", tpos);
    }
    if (year && *year != 0) b.add_text("TYER", pad4(*year));
    text("TCON", genre);
    text("TCOM", composer);
    text("TPUB", publisher);
    text("TCOP", copyright);
    text("TSRC", isrc);
    if (present(catalog)) b.add_txxx("CATALOGNUMBER", *catalog);
    if (present(songwriter)) b.add_txxx("SONGWRITER", *songwriter);
    if (present(performer)) b.add_txxx("PERFORMER", *performer);
    return b.render();
}

}  // namespace sacd::audio
