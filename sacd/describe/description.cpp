#include "sacd/describe/description.h"

#include <algorithm>
#include <cstdio>

#include "sacd/isrc_genre_list.h"
#include "sacd/master_field.h"
#include "sacd/track_list.h"
#include "sacd/track_text.h"

namespace sacd::describe {

namespace {

// Text channel blocks (Master TOC and Area TOC share the form): N at byte 0, entry i at 8 + 4i.
constexpr std::size_t kMaxChannels = 8;

std::uint8_t block_byte(std::span<const std::uint8_t> block, std::size_t at) {
    return at < block.size() ? block[at] : 0;
}

std::uint8_t declared_channels(std::span<const std::uint8_t> block) {
    return std::min<std::uint8_t>(block_byte(block, 0), kMaxChannels);
}

// The character set of channel i when its code is one of the seven known sets.
std::optional<CharSet> known_charset(std::span<const std::uint8_t> block, std::size_t i) {
    const std::size_t at = 10 + 4 * i;
    if (at >= block.size()) return std::nullopt;
    const std::uint8_t code = block[at];
    if (code < 1 || code > 7) return std::nullopt;
    return CharSet::from_disc_code(code);
}

std::string two_digits(unsigned v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02u", v);
    return buf;
}

std::string version_text(std::uint8_t major, std::uint8_t minor) {
    return std::to_string(major) + "." + two_digits(minor);
}

OptText disc_date(std::uint16_t year, std::uint8_t month, std::uint8_t day) {
    if (year == 0 && month == 0 && day == 0) return std::nullopt;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02u", unsigned{year}, unsigned{month}, unsigned{day});
    return std::string(buf);
}

std::vector<LocaleDescription> locales_of(const MasterToc& toc) {
    std::span<const std::uint8_t> block = toc.text_channels;
    std::vector<LocaleDescription> out;
    const std::uint8_t n = declared_channels(block);
    for (std::uint8_t i = 0; i < n; ++i) {
        LocaleDescription loc;
        loc.index = i;
        for (std::size_t b = 8 + 4u * i; b < 10 + 4u * i; ++b) {
            const std::uint8_t c = block_byte(block, b);
            loc.language += (c >= 0x20 && c <= 0x7E) ? static_cast<char>(c) : '?';
        }
        auto cs = known_charset(block, i);
        loc.char_set = cs ? std::string(cs->wire_name()) : std::string("Reserved");
        out.push_back(std::move(loc));
    }
    return out;
}

std::vector<MasterTextDescription> master_text_of(const Disc& disc, const MasterToc& toc) {
    std::span<const std::uint8_t> block = toc.text_channels;
    std::vector<MasterTextDescription> out;
    const std::uint8_t n = declared_channels(block);
    for (std::uint8_t i = 0; i < n; ++i) {
        auto cs = known_charset(block, i);
        const MasterText* text = disc.master_text(i);
        if (!cs || !text) continue;
        MasterTextDescription rec;
        rec.locale = i;
        for (std::size_t f = 0; f < kMasterFieldCount; ++f) {
            MasterFieldRead read = text->read_field_decoded(*master_field_at(f), *cs);
            const std::string* clean = read.clean_text();
            if (clean && !clean->empty()) rec.*kMasterTextKeys<OptText>[f].member = *clean;
        }
        out.push_back(std::move(rec));
    }
    return out;
}

std::string loudspeaker_config_name(std::uint8_t config) {
    switch (config) {
        case 0: return "Stereo";
        case 3: return "FiveChannel";
        case 4: return "FivePointOne";
        default: return "Reserved";
    }
}

std::vector<TrackLocaleText> track_texts(const AreaToc& toc, const TrackText* text, std::size_t track) {
    std::span<const std::uint8_t> block = toc.text_channels;
    std::vector<TrackLocaleText> out;
    const std::uint8_t n = declared_channels(block);
    for (std::uint8_t c = 0; c < n; ++c) {
        TrackLocaleText rec;
        rec.locale = c;
        auto cs = known_charset(block, c);
        if (cs && text) {
            for (std::size_t f = 0; f < kTrackFieldCount; ++f) {
                TrackFieldText read = text->read_entry_field_decoded(c, track, *track_field_at(f), *cs);
                if (read.kind == TrackFieldText::Kind::Clean) rec.*kTrackTextKeys<std::string>[f].member = read.text;
            }
        }
        out.push_back(std::move(rec));
    }
    return out;
}

TrackDescription describe_track(const DiscArea& area, const AreaToc& toc, std::size_t k) {
    TrackDescription t;
    t.index = k + 1;
    t.text_by_locale = track_texts(toc, area.track_text(), k);
    if (!t.text_by_locale.empty()) {
        const TrackLocaleText& first = t.text_by_locale.front();
        for (std::size_t f = 0; f < kTrackFieldCount; ++f) {
            const std::string& text = first.*kTrackTextKeys<std::string>[f].member;
            if (!text.empty()) t.*kTrackTextKeys<OptText>[f].member = text;
        }
    }

    const TrackListValues v = track_list_values(area.trl1(), area.trl2(), k);
    t.start_time = v.start_time;
    t.duration = v.duration;
    t.start_frames = v.start_frames;
    t.duration_frames = v.duration_frames;
    t.pause_frames = v.pause_frames;
    t.lsn_start = v.lsn_start;
    t.lsn_length = v.lsn_length;
    t.index_list_present = v.index_list_present;
    t.track_mute_flags = v.track_mute_flags;
    t.extra_use = v.extra_use;

    if (const IsrcGenreList* igl = area.isrc_genre_list()) {
        t.isrc = igl->read_isrc(k);
        if (t.isrc && is_valid_isrc(*t.isrc)) {
            const std::string& s = *t.isrc;
            t.isrc_components = IsrcComponents{s.substr(0, 2), s.substr(2, 3), s.substr(5, 2), s.substr(7, 5)};
        }
        if (k < igl->genres.size()) {
            const GenreCode& g = igl->genres[k];
            if (g.table != 0 || g.index != 0) t.genre = GenreRef{g.table, g.index};
        }
    }
    t.dst_coded = toc.dst_coded();
    return t;
}

AreaDescription describe_area(const DiscArea& area, const AreaToc& toc, std::size_t index) {
    AreaDescription a;
    a.index = index;
    a.kind = std::string(toc.loudspeaker_config() == 0 ? kKindStereo : kKindMultiChannel);
    a.channel_count = toc.channel_count;
    a.max_available_channels = toc.max_available_channels;
    a.loudspeaker_config = loudspeaker_config_name(toc.loudspeaker_config());
    a.extra_setting = toc.extra_setting();
    a.frame_format = toc.frame_format_code();
    a.dst_coded = toc.dst_coded();
    a.track_count = toc.track_count;
    a.track_offset = toc.track_offset;
    a.first_bonus_track_number = toc.first_bonus_track_number;
    for (std::size_t i = 0; i < 4; ++i) a.area_mute_flags[i] = toc.area_mute_flag(i);
    a.track_attribute = toc.track_attribute_value();
    a.total_area_play_time = toc.total_area_play_time.to_string();
    a.total_area_play_time_frames = toc.total_play_frames();
    a.audio_lsn_start = toc.audio_lsn_start;
    a.audio_lsn_end = toc.audio_lsn_end;
    a.audio_sectors = toc.audio_sectors();
    a.area_text = toc.area_text_decoded();
    for (std::size_t k = 0; k < toc.track_count; ++k) a.tracks.push_back(describe_track(area, toc, k));
    return a;
}

std::string latin1_to_utf8(std::string_view bytes) {
    std::vector<char32_t> chars;
    for (char c : bytes) chars.push_back(static_cast<unsigned char>(c));
    return chars_to_utf8(chars);
}

std::uint16_t read_u16_be(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>((b[at] << 8) | b[at + 1]);
}

}  // namespace


OptText trim_catalog_opt(const CatalogNumber& catalog_field) {
    std::size_t end = catalog_field.size();
    while (end > 0 && (catalog_field[end - 1] == 0x00 || catalog_field[end - 1] == 0x20)) --end;
    if (end == 0) return std::nullopt;
    std::string_view bytes(reinterpret_cast<const char*>(catalog_field.data()), end);
    if (is_valid_utf8(bytes)) return std::string(bytes);
    return latin1_to_utf8(bytes);
}

std::vector<GenreRef> genre_refs(const Genre4& genre_codes) {
    std::vector<GenreRef> out;
    if (!validate_genre4(genre_codes)) return out;
    for (const GenreCode& g : genre_codes)
        if (g.table != 0) out.push_back(GenreRef{g.table, g.index});
    return out;
}

std::vector<OptText> parse_track_weblink_list(std::span<const std::uint8_t> block, std::size_t track_count) {
    static constexpr std::string_view kSignature = "SACD_WLL";
    std::vector<OptText> out;
    if (block.size() < 8 || !std::equal(kSignature.begin(), kSignature.end(), block.begin()) || track_count == 0)
        return out;
    for (std::size_t k = 0; k < track_count; ++k) {
        const std::size_t at = 8 + 2 * k;
        if (block.size() < at + 2) {
            out.emplace_back();
            continue;
        }
        const std::uint16_t pointer = read_u16_be(block, at);
        out.push_back(pointer == 0 ? std::nullopt : decode_weblink_string(block, pointer));
    }
    return out;
}

std::vector<PlaylistDescription> parse_set_of_playlists(std::span<const std::uint8_t> block,
                                                        std::optional<CharSet> charset) {
    static constexpr std::string_view kSignature = "SACDPLAY";
    static constexpr std::size_t kSlotsOffset = 2048;
    static constexpr std::size_t kSlotSize = 512;
    std::vector<PlaylistDescription> out;
    if (block.size() <= 8 || !std::equal(kSignature.begin(), kSignature.end(), block.begin())) return out;
    const std::size_t count = block[8];
    for (std::size_t i = 0; i < count; ++i) {
        PlaylistDescription p;
        const std::size_t name_at = 16 + 2 * i;
        if (charset && block.size() >= name_at + 2) {
            const std::uint16_t pointer = read_u16_be(block, name_at);
            if (pointer != 0) p.name = decode_special_string(block, pointer, *charset);
        }
        const std::size_t slot = kSlotsOffset + kSlotSize * i;
        if (block.size() >= slot + kSlotSize) {
            const std::size_t entries = block[slot];
            // At most 255 entries of 2 bytes after the 2-byte head: always inside the slot.
            for (std::size_t j = 0; j < entries; ++j)
                p.entries.push_back(PlaylistEntry{block[slot + 2 + 2 * j], block[slot + 3 + 2 * j]});
        }
        out.push_back(std::move(p));
    }
    return out;
}

std::optional<DiscDescription> DiscDescription::from_disc(const Disc& disc) {
    const MasterToc* toc = disc.master_toc();
    if (!toc) return std::nullopt;

    DiscDescription d;
    d.spec_version = version_text(toc->spec_version_major, toc->spec_version_minor);
    d.set_size = toc->album_set_size;
    d.set_sequence = toc->album_sequence_number;
    d.album_catalog = trim_catalog_opt(toc->album_catalog_number);
    d.disc_catalog = trim_catalog_opt(toc->disc_catalog_number);
    d.album_genre = genre_refs(toc->album_genre);
    d.disc_genre = genre_refs(toc->disc_genre);
    d.date = disc_date(toc->disc_date_year, toc->disc_date_month, toc->disc_date_day);
    d.hybrid = toc->hybrid();
    d.weblink = decode_weblink_string(toc->disc_weblink, 0);
    d.has_extension_area = toc->has_extension_area();
    d.has_ekb1 = toc->has_ekb1();
    d.has_ekb2 = toc->has_ekb2();
    d.has_revocation_data = toc->has_revocation_data();
    d.locales = locales_of(*toc);
    d.master_text = master_text_of(disc, *toc);
    for (std::size_t i = 0; i < disc.areas.size(); ++i) {
        const AreaToc* area_toc = disc.areas[i].area_toc();
        if (area_toc) d.areas.push_back(describe_area(disc.areas[i], *area_toc, i));
    }
    return d;
}

std::optional<EditableMeta> editable_meta(const Disc& disc) {
    auto d = DiscDescription::from_disc(disc);
    if (!d) return std::nullopt;
    const MasterToc& toc = *disc.master_toc();

    EditableMeta m;
    for (const auto& loc : d->locales) m.locales.push_back({loc.index, loc.language, loc.char_set});
    for (const auto& rec : d->master_text) {
        EditableMeta::MasterTextRecord plain;
        plain.locale = rec.locale;
        for (std::size_t f = 0; f < kMasterFieldCount; ++f)
            plain.*kMasterTextKeys<std::string>[f].member = (rec.*kMasterTextKeys<OptText>[f].member).value_or("");
        m.master_text.push_back(std::move(plain));
    }
    m.album_catalog = d->album_catalog.value_or("");
    m.disc_catalog = d->disc_catalog.value_or("");
    m.album_genre = d->album_genre;
    m.disc_genre = d->disc_genre;
    for (auto& area : d->areas) {
        EditableMeta::Area a;
        a.kind = area.kind;
        a.channel_count = area.channel_count;
        a.track_count = area.track_count;
        for (auto& track : area.tracks) a.tracks.push_back({std::move(track.text_by_locale)});
        m.areas.push_back(std::move(a));
    }
    m.disc_date_year = toc.disc_date_year;
    m.disc_date_month = toc.disc_date_month;
    m.disc_date_day = toc.disc_date_day;
    m.set_size = d->set_size;
    m.set_sequence = d->set_sequence;
    return m;
}

}  // namespace sacd::describe
