#include "sacd/master_toc.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/bytes.h"

namespace sacd {

namespace {

using platform::err;

// Every field with its offset, in one list that parse and emit both walk, so the reader and the
// writer cannot disagree about the layout. The fields tile bytes 8..2048 without gaps.
template <class Toc, class Visit>
void for_each_field(Toc& t, Visit&& v) {
    v(8, t.spec_version_major);
    v(9, t.spec_version_minor);
    v(10, t.reserved_10);
    v(16, t.album_set_size);
    v(18, t.album_sequence_number);
    v(20, t.reserved_20);
    v(24, t.album_catalog_number);
    v(40, t.album_genre);
    v(56, t.reserved_56);
    v(64, t.stereo_toc1_lsn);
    v(68, t.stereo_toc2_lsn);
    v(72, t.multichannel_toc1_lsn);
    v(76, t.multichannel_toc2_lsn);
    v(80, t.disc_flags);
    v(81, t.reserved_81);
    v(83, t.reserved_83);
    v(84, t.stereo_toc_length);
    v(86, t.multichannel_toc_length);
    v(88, t.disc_catalog_number);
    v(104, t.disc_genre);
    v(120, t.disc_date_year);
    v(122, t.disc_date_month);
    v(123, t.disc_date_day);
    v(124, t.reserved_124);
    v(128, t.text_channels);
    v(168, t.disc_weblink);
    v(296, t.area_toc_b_words);
    v(312, t.reserved_312);
    v(316, t.extension_half_words);
    v(320, t.extension_area_word);
    v(324, t.extension_half_word_324);
    v(326, t.reserved_326);
    v(328, t.extension_area_pointer);
    v(332, t.extension_word_332);
    v(336, t.ekb1_pointer);
    v(340, t.ekb2_pointer);
    v(344, t.revocation_data_pointer);
    v(348, t.extension_word_348);
    v(352, t.reserved_352);
    v(360, t.remainder);
}

struct FieldReader {
    const std::uint8_t* sector;

    void operator()(std::size_t at, std::uint8_t& v) const { v = sector[at]; }
    void operator()(std::size_t at, std::uint16_t& v) const { v = platform::read_u16_be(sector + at); }
    void operator()(std::size_t at, std::uint32_t& v) const { v = platform::read_u32_be(sector + at); }
    template <std::size_t N>
    void operator()(std::size_t at, std::array<std::uint8_t, N>& v) const {
        std::memcpy(v.data(), sector + at, N);
    }
    template <class T, std::size_t N>
    void operator()(std::size_t at, std::array<T, N>& v) const {
        for (std::size_t i = 0; i < N; ++i) (*this)(at + i * width(v[i]), v[i]);
    }
    void operator()(std::size_t at, GenreCode& g) const {
        g.table = sector[at];
        g.reserved = sector[at + 1];
        g.index = platform::read_u16_be(sector + at + 2);
    }
    static constexpr std::size_t width(const GenreCode&) { return 4; }
    static constexpr std::size_t width(const std::uint16_t&) { return 2; }
    static constexpr std::size_t width(const std::uint32_t&) { return 4; }
};

struct FieldWriter {
    std::uint8_t* sector;

    void operator()(std::size_t at, const std::uint8_t& v) const { sector[at] = v; }
    void operator()(std::size_t at, const std::uint16_t& v) const { platform::write_u16_be(sector + at, v); }
    void operator()(std::size_t at, const std::uint32_t& v) const { platform::write_u32_be(sector + at, v); }
    template <std::size_t N>
    void operator()(std::size_t at, const std::array<std::uint8_t, N>& v) const {
        std::memcpy(sector + at, v.data(), N);
    }
    template <class T, std::size_t N>
    void operator()(std::size_t at, const std::array<T, N>& v) const {
        for (std::size_t i = 0; i < N; ++i) (*this)(at + i * FieldReader::width(v[i]), v[i]);
    }
    void operator()(std::size_t at, const GenreCode& g) const {
        sector[at] = g.table;
        sector[at + 1] = g.reserved;
        platform::write_u16_be(sector + at + 2, g.index);
    }
};

bool is_leap_year(std::uint16_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

bool valid_disc_date(std::uint16_t year, std::uint8_t month, std::uint8_t day) {
    if (month > 12 || day > 31) return false;
    if ((month == 0) != (day == 0)) return false;
    switch (month) {
        case 4: case 6: case 9: case 11: return day <= 30;
        case 2: return day <= (is_leap_year(year) ? 29 : 28);
        default: return true;
    }
}

}  // namespace

platform::Result<MasterToc, SacdError> MasterToc::parse(std::span<const std::uint8_t> sector) {
    if (sector.size() != kSectorSize)
        return err(SacdError::malformed("master TOC sector is " + std::to_string(sector.size()) +
                                        " bytes, expected " + std::to_string(kSectorSize)));
    if (std::memcmp(sector.data(), kSignature.data(), kSignature.size()) != 0)
        return err(SacdError::malformed("missing SACDMTOC magic"));
    MasterToc toc;
    for_each_field(toc, FieldReader{sector.data()});
    return toc;
}

Bytes MasterToc::emit() const {
    Bytes sector(kSectorSize, 0);
    std::memcpy(sector.data(), kSignature.data(), kSignature.size());
    for_each_field(*this, FieldWriter{sector.data()});
    return sector;
}

platform::Result<void, EditError> validate_genre4(const Genre4& codes) {
    for (const GenreCode& code : codes) {
        if (code.reserved != 0)
            return err(EditError(edit_errors::InvalidGenre4{"GenreCode reserved byte must be 0 per spec section 1.7.2.2"}));
        if (code.table == 0 && code.index != 0)
            return err(EditError(edit_errors::InvalidGenre4{
                "GenreCode with Genre_Table == 0 must have Genre_Index == 0 per spec section 1.7.2.2.2"}));
    }
    bool unused_seen = false;
    for (const GenreCode& code : codes) {
        if (code.table == 0) {
            unused_seen = true;
        } else if (unused_seen) {
            return err(EditError(edit_errors::InvalidGenre4{"used Genre_Codes must be packed first; zeros must follow"}));
        }
    }
    return {};
}

platform::Result<void, EditError> MasterToc::set_album_genre(const Genre4& codes) {
    if (auto checked = validate_genre4(codes); !checked) return err(std::move(checked).error());
    album_genre = codes;
    return {};
}

platform::Result<void, EditError> MasterToc::set_disc_genre(const Genre4& codes) {
    if (auto checked = validate_genre4(codes); !checked) return err(std::move(checked).error());
    disc_genre = codes;
    return {};
}

platform::Result<void, EditError> MasterToc::set_disc_date(std::uint16_t year, std::uint8_t month, std::uint8_t day) {
    if (!valid_disc_date(year, month, day)) return err(EditError(edit_errors::InvalidDate{year, month, day}));
    disc_date_year = year;
    disc_date_month = month;
    disc_date_day = day;
    return {};
}

platform::Result<void, EditError> MasterToc::set_album_set(std::uint16_t size, std::uint16_t sequence) {
    if (sequence < 1 || sequence > size) return err(EditError(edit_errors::InvalidAlbumSet{size, sequence}));
    album_set_size = size;
    album_sequence_number = sequence;
    return {};
}

platform::Result<CatalogNumber, EditError> write_fixed_16_ascii(std::string_view text, std::string_view field_name) {
    CatalogNumber field{};
    if (text.empty()) return field;
    auto encoded = CharSet(CharSet::Value::Iso646).encode(text, field_name);
    if (!encoded) return err(std::move(encoded).error());
    const Bytes& bytes = *encoded;
    if (bytes.size() > field.size())
        return err(EditError(edit_errors::FieldTooLong{std::string(field_name), bytes.size(), field.size()}));
    field.fill(0x20);
    std::copy(bytes.begin(), bytes.end(), field.begin());
    return field;
}

platform::Result<void, EditError> MasterToc::set_album_catalog_number(std::string_view text) {
    auto field = write_fixed_16_ascii(text, "AlbumCatalogNumber");
    if (!field) return err(std::move(field).error());
    album_catalog_number = *field;
    return {};
}

platform::Result<void, EditError> MasterToc::set_disc_catalog_number(std::string_view text) {
    auto field = write_fixed_16_ascii(text, "DiscCatalogNumber");
    if (!field) return err(std::move(field).error());
    disc_catalog_number = *field;
    return {};
}

bool MasterToc::has_area_toc_b() const {
    return std::any_of(area_toc_b_words.begin(), area_toc_b_words.end(), [](std::uint32_t w) { return w != 0; });
}

std::optional<TextChannel> MasterToc::text_channel(std::size_t i) const {
    if (i >= kMaxTextChannels) return std::nullopt;
    const std::uint8_t* entry = text_channels.data() + 8 + 4 * i;
    return TextChannel{{entry[0], entry[1]}, entry[2], entry[3]};
}

platform::Result<void, EditError> MasterToc::set_text_channels(std::span<const TextChannel> channels) {
    if (channels.size() > kMaxTextChannels)
        return err(EditError(edit_errors::LocaleLimitReached{static_cast<std::uint8_t>(kMaxTextChannels)}));
    text_channels[0] = static_cast<std::uint8_t>(channels.size());
    std::fill(text_channels.begin() + 8, text_channels.end(), 0);
    for (std::size_t i = 0; i < channels.size(); ++i) {
        std::uint8_t* entry = text_channels.data() + 8 + 4 * i;
        entry[0] = channels[i].language[0];
        entry[1] = channels[i].language[1];
        entry[2] = channels[i].charset_code;
        entry[3] = channels[i].reserved;
    }
    return {};
}

std::optional<std::string> MasterToc::weblink() const { return decode_weblink_string(disc_weblink, 0); }

}  // namespace sacd
