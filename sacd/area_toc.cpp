#include "sacd/area_toc.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/bytes.h"

namespace sacd {

namespace {

using platform::err;

// Every field with its sector offset, shared by the reader and the writer so the two can never
// disagree. The signature (bytes 0..7) is handled apart.
template <class Toc, class Visitor>
void for_each_field(Toc& t, Visitor&& v) {
    v(8, t.spec_version_major);
    v(9, t.spec_version_minor);
    v(10, t.toc_length);
    v(12, t.reserved_12);
    v(16, t.max_byte_rate);
    v(20, t.fs_code);
    v(21, t.frame_format);
    v(22, t.reserved_22);
    v(32, t.channel_count);
    v(33, t.speaker_setup);
    v(34, t.max_available_channels);
    v(35, t.area_mute_flags);
    v(36, t.reserved_36);
    v(48, t.track_attribute);
    v(49, t.reserved_49);
    v(64, t.total_area_play_time);
    v(67, t.reserved_67);
    v(68, t.track_offset);
    v(69, t.track_count);
    v(70, t.first_bonus_track_number);
    v(71, t.reserved_71);
    v(72, t.audio_lsn_start);
    v(76, t.audio_lsn_end);
    v(80, t.text_channels);
    v(120, t.reserved_120);
    v(128, t.track_text_ptr);
    v(130, t.list_ptr_a);
    v(132, t.list_ptr_b);
    v(134, t.track_weblink_list_ptr);
    v(136, t.list_ptr_c);
    v(138, t.set_of_playlists_ptr);
    v(140, t.reserved_140);
    v(AreaToc::kAreaTextOffset, t.area_text);
}

struct FieldReader {
    const std::uint8_t* sector;
    void operator()(std::size_t at, std::uint8_t& v) const { v = sector[at]; }
    void operator()(std::size_t at, std::uint16_t& v) const { v = platform::read_u16_be(sector + at); }
    void operator()(std::size_t at, std::uint32_t& v) const { v = platform::read_u32_be(sector + at); }
    void operator()(std::size_t at, TimeCode& v) const { v = TimeCode::read(sector + at); }
    template <std::size_t N>
    void operator()(std::size_t at, std::array<std::uint8_t, N>& v) const {
        std::memcpy(v.data(), sector + at, N);
    }
};

struct FieldWriter {
    std::uint8_t* sector;
    void operator()(std::size_t at, std::uint8_t v) const { sector[at] = v; }
    void operator()(std::size_t at, std::uint16_t v) const { platform::write_u16_be(sector + at, v); }
    void operator()(std::size_t at, std::uint32_t v) const { platform::write_u32_be(sector + at, v); }
    void operator()(std::size_t at, const TimeCode& v) const { v.write(sector + at); }
    template <std::size_t N>
    void operator()(std::size_t at, const std::array<std::uint8_t, N>& v) const {
        std::memcpy(sector + at, v.data(), N);
    }
};

bool starts_with(std::span<const std::uint8_t> bytes, std::string_view signature) {
    return bytes.size() >= signature.size() && std::memcmp(bytes.data(), signature.data(), signature.size()) == 0;
}

// A double-byte text of odd length is stored with one zero byte before its terminator unit, so
// it reads back with a trailing U+0000 that was never part of the text.
std::optional<std::string> without_pad_nul(std::optional<std::string> text, CharSet charset) {
    if (text && charset.is_double_byte() && !text->empty() && text->back() == '\0') {
        text->pop_back();
        if (text->empty()) return std::nullopt;
    }
    return text;
}

}  // namespace

platform::Result<AreaToc, SacdError> AreaToc::parse(std::span<const std::uint8_t> sector) {
    if (sector.size() != kSectorSize)
        return err(SacdError::malformed("area TOC sector is " + std::to_string(sector.size()) + " bytes, expected " +
                                        std::to_string(kSectorSize)));
    AreaToc toc;
    if (starts_with(sector, kMultichannelSignature)) {
        toc.multichannel = true;
    } else if (!starts_with(sector, kStereoSignature)) {
        return err(SacdError::malformed("missing TWOCHTOC/MULCHTOC magic"));
    }
    for_each_field(toc, FieldReader{sector.data()});
    return toc;
}

Bytes AreaToc::emit() const {
    Bytes sector(kSectorSize, 0);
    const std::string_view signature = multichannel ? kMultichannelSignature : kStereoSignature;
    std::memcpy(sector.data(), signature.data(), signature.size());
    for_each_field(*this, FieldWriter{sector.data()});
    return sector;
}

CharSet AreaToc::channel_charset(std::size_t i) const {
    const std::size_t code_at = 8 + 4 * i + 2;
    if (i >= kMaxTextChannels || code_at >= text_channels.size()) return CharSet::Value::Iso646;
    return CharSet::from_disc_code(text_channels[code_at]);
}

std::vector<CharSet> AreaToc::channel_charsets() const {
    std::vector<CharSet> sets;
    sets.reserve(text_channel_count());
    for (std::size_t i = 0; i < text_channel_count(); ++i) sets.push_back(channel_charset(i));
    return sets;
}

std::vector<AreaTextChannel> AreaToc::area_text_decoded() const {
    std::vector<AreaTextChannel> channels;
    const std::size_t n = std::min<std::size_t>(text_channel_count(), kMaxTextChannels);
    const std::span<const std::uint8_t> heap(area_text);
    for (std::size_t i = 0; i < n; ++i) {
        const CharSet charset = channel_charset(i);
        auto text_at = [&](std::size_t slot) -> std::optional<std::string> {
            const std::uint16_t ptr = platform::read_u16_be(area_text.data() + 8 * i + 2 * slot);
            // A pointer is a sector offset; it must land inside the area text area.
            if (ptr < kAreaTextOffset || ptr - kAreaTextOffset >= kAreaTextSize) return std::nullopt;
            return without_pad_nul(decode_special_string(heap, ptr - kAreaTextOffset, charset), charset);
        };
        channels.push_back(AreaTextChannel{text_at(0), text_at(1), text_at(2), text_at(3)});
    }
    return channels;
}

platform::Result<void, EditError> AreaToc::text_channels_remove(std::uint8_t index) {
    const std::uint8_t n = text_channel_count();
    if (index >= n) return err(EditError(edit_errors::LocaleOutOfRange{index, n}));
    const std::size_t needed = 8 + 4 * std::size_t{n};
    if (text_channels.size() < needed)
        return err(EditError(edit_errors::Sacd{
            "AreaToc.text_channels is " + std::to_string(text_channels.size()) + " bytes but removing locale " +
            std::to_string(index) + " from " + std::to_string(n) + " channel(s) needs at least " +
            std::to_string(needed) + " bytes (spec §1.7.2.8 mandates 40 bytes)"}));
    auto entry = [&](std::size_t i) { return text_channels.begin() + static_cast<std::ptrdiff_t>(8 + 4 * i); };
    std::copy(entry(index + 1u), entry(n), entry(index));
    std::fill(entry(n - 1u), entry(n), std::uint8_t{0});
    text_channels[0] = static_cast<std::uint8_t>(n - 1);
    return {};
}

std::uint32_t AreaToc::audio_sectors() const {
    if (audio_lsn_end < audio_lsn_start) return 1;
    const std::uint32_t span = audio_lsn_end - audio_lsn_start;
    return span == 0xFFFFFFFFu ? 0xFFFFFFFFu : span + 1;
}

}  // namespace sacd
