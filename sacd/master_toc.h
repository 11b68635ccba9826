// The Master TOC: the disc's root record (LSN 510, copies at 520 and 530). It names the disc,
// points to the area TOCs and declares the text channels every text record is written in.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/result.h"
#include "sacd/charset.h"
#include "sacd/edit_error.h"
#include "sacd/error.h"
#include "sacd/genre.h"
#include "sacd/image.h"

namespace sacd {

// A catalog number field: ISO 646 text padded with spaces, or 16 zero bytes when absent.
using CatalogNumber = std::array<std::uint8_t, 16>;

// One entry of the text channel block: which language a channel holds and its character set.
struct TextChannel {
    std::array<std::uint8_t, 2> language{};  // two ISO 639 letters, e.g. 'e' 'n'
    std::uint8_t charset_code = 0;           // disc code of the character set (1..7 for the known sets)
    std::uint8_t reserved = 0;               // kept as read

    CharSet charset() const { return CharSet::from_disc_code(charset_code); }
    friend bool operator==(const TextChannel&, const TextChannel&) = default;
};

struct MasterToc {
    static constexpr std::string_view kSignature = "SACDMTOC";
    static constexpr std::size_t kTextChannelsSize = 40;
    static constexpr std::size_t kWeblinkSize = 128;
    static constexpr std::size_t kRemainderSize = 1688;
    static constexpr std::size_t kMaxTextChannels = 8;
    static constexpr std::uint8_t kHybridFlag = 0x80;

    // Fields in sector order; numbers are native, converted from big-endian. The fixed blocks are
    // arrays so that a record can never be emitted with a block of the wrong size.
    std::uint8_t spec_version_major = 0;
    std::uint8_t spec_version_minor = 0;
    std::array<std::uint8_t, 6> reserved_10{};
    std::uint16_t album_set_size = 0;
    std::uint16_t album_sequence_number = 0;
    std::array<std::uint8_t, 4> reserved_20{};
    CatalogNumber album_catalog_number{};
    Genre4 album_genre{};
    std::array<std::uint8_t, 8> reserved_56{};
    std::uint32_t stereo_toc1_lsn = 0;  // 0 when the disc has no stereo area
    std::uint32_t stereo_toc2_lsn = 0;
    std::uint32_t multichannel_toc1_lsn = 0;  // 0 when the disc has no multichannel area
    std::uint32_t multichannel_toc2_lsn = 0;
    std::uint8_t disc_flags = 0;  // bit 7: hybrid disc; the other bits kept as read
    std::uint16_t reserved_81 = 0;
    std::uint8_t reserved_83 = 0;
    std::uint16_t stereo_toc_length = 0;        // in sectors
    std::uint16_t multichannel_toc_length = 0;  // in sectors
    CatalogNumber disc_catalog_number{};
    Genre4 disc_genre{};
    std::uint16_t disc_date_year = 0;  // 0 when unknown
    std::uint8_t disc_date_month = 0;  // 1..12, 0 when unknown
    std::uint8_t disc_date_day = 0;    // 1..31, 0 when unknown
    std::array<std::uint8_t, 4> reserved_124{};
    // Byte 0: channel count N; bytes 1..7 reserved; entry i (4 bytes) at 8 + 4i.
    std::array<std::uint8_t, kTextChannelsSize> text_channels{};
    // Latin-1 bytes up to the first zero byte.
    std::array<std::uint8_t, kWeblinkSize> disc_weblink{};
    std::array<std::uint32_t, 4> area_toc_b_words{};  // any non-zero value: the disc has an Area TOC-B
    std::array<std::uint8_t, 4> reserved_312{};
    std::array<std::uint16_t, 2> extension_half_words{};  // at 316 and 318
    std::uint32_t extension_area_word = 0;                // non-zero: the disc has an extension area
    std::uint16_t extension_half_word_324 = 0;
    std::array<std::uint8_t, 2> reserved_326{};
    std::uint32_t extension_area_pointer = 0;  // non-zero: the disc has an extension area
    std::uint32_t extension_word_332 = 0;
    std::uint32_t ekb1_pointer = 0;
    std::uint32_t ekb2_pointer = 0;
    std::uint32_t revocation_data_pointer = 0;
    std::uint32_t extension_word_348 = 0;
    std::array<std::uint8_t, 8> reserved_352{};
    std::array<std::uint8_t, kRemainderSize> remainder{};

    // A default-constructed record is a valid, empty Master TOC: emit() writes the signature and zeros.

    // The 2048 bytes of a sector; fails only when the signature is missing (or the span is not a
    // whole sector). No other field is validated.
    static platform::Result<MasterToc, SacdError> parse(std::span<const std::uint8_t> sector);
    // The sector laid out field by field; parse followed by emit gives back the same bytes.
    Bytes emit() const;

    // Setters validate first and store nothing when they fail.
    platform::Result<void, EditError> set_album_genre(const Genre4& codes);
    platform::Result<void, EditError> set_disc_genre(const Genre4& codes);
    platform::Result<void, EditError> set_disc_date(std::uint16_t year, std::uint8_t month, std::uint8_t day);
    // Needs 1 <= sequence <= size (InvalidAlbumSet).
    platform::Result<void, EditError> set_album_set(std::uint16_t size, std::uint16_t sequence);
    // Empty text clears the number; the labels are "AlbumCatalogNumber" and "DiscCatalogNumber".
    platform::Result<void, EditError> set_album_catalog_number(std::string_view text);
    platform::Result<void, EditError> set_disc_catalog_number(std::string_view text);

    bool hybrid() const { return (disc_flags & kHybridFlag) != 0; }
    bool has_extension_area() const { return extension_area_word != 0 || extension_area_pointer != 0; }
    bool has_ekb1() const { return ekb1_pointer != 0; }
    bool has_ekb2() const { return ekb2_pointer != 0; }
    bool has_revocation_data() const { return revocation_data_pointer != 0; }
    bool has_area_toc_b() const;

    // N, byte 0 of the text channel block, as stored (it may exceed 8 on a damaged disc).
    std::uint8_t text_channel_count() const { return text_channels[0]; }
    // Entry i of the block (0..7), whether or not it lies below N; nothing for i >= 8.
    std::optional<TextChannel> text_channel(std::size_t i) const;
    // Declares exactly these channels: N and the entries, unused entries zeroed, bytes 1..7 kept.
    // More than 8 fails with LocaleLimitReached and changes nothing.
    platform::Result<void, EditError> set_text_channels(std::span<const TextChannel> channels);

    // The disc's web link, or nothing when the field is empty.
    std::optional<std::string> weblink() const;

    friend bool operator==(const MasterToc&, const MasterToc&) = default;
};

// Checks four genre codes: reserved bytes 0, unused codes with index 0, used codes packed first.
// The error is InvalidGenre4 with the reason of the first failing rule.
platform::Result<void, EditError> validate_genre4(const Genre4& codes);

// A catalog number as stored: empty text gives 16 zero bytes; otherwise ISO 646 padded with
// spaces. Fails with CharacterNotInCharset or FieldTooLong (limit 16) naming `field_name`.
platform::Result<CatalogNumber, EditError> write_fixed_16_ascii(std::string_view text, std::string_view field_name);

}  // namespace sacd
