// The Master Text record: the album and disc texts of one text channel (LSN 511 + channel, copies
// at 521 + channel and 531 + channel). Sixteen positions point into a text heap in the same sector.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/result.h"
#include "sacd/charset.h"
#include "sacd/edit_error.h"
#include "sacd/error.h"
#include "sacd/image.h"
#include "sacd/master_field.h"

namespace sacd {

// The result of reading one field: absent, cleanly decoded, or decoded with replacement characters.
struct MasterFieldRead {
    struct Absent {};
    struct Text {
        std::string text;  // UTF-8; may be empty
    };
    struct Lossy {
        std::string text;  // UTF-8 holding U+FFFD where the bytes were malformed
        CharSet charset;
        MasterField field;
    };
    std::variant<Absent, Text, Lossy> value;

    bool absent() const { return std::holds_alternative<Absent>(value); }
    bool lossy() const { return std::holds_alternative<Lossy>(value); }
    // The cleanly decoded text, or nothing when absent or lossy.
    const std::string* clean_text() const;
    // The decoded text, clean or lossy, or nothing when absent.
    const std::string* any_text() const;
};

struct MasterText {
    static constexpr std::string_view kSignature = "SACDText";
    static constexpr std::size_t kDataOffset = 48;                    // data area: bytes 48..2048
    static constexpr std::size_t kDataSize = kSectorSize - kDataOffset;  // 2000
    static constexpr std::size_t kHeapOffset = 64;                    // text heap: bytes 64..2048
    static constexpr std::size_t kHeapSize = kSectorSize - kHeapOffset;  // 1984

    std::array<std::uint8_t, 8> reserved{};  // bytes 8..16, kept as read
    // Byte offsets of the fields' texts from the sector start, in MasterField order; a position
    // outside 64..2047 (0 in particular) means the field is absent.
    std::array<std::uint16_t, kMasterFieldCount> positions{};
    // Bytes 48..2048: 16 reserved bytes, then the heap. Must hold exactly kDataSize bytes.
    Bytes data = Bytes(kDataSize, 0);
    // The sector exactly as read, kept for slots beyond the declared channels so that they are
    // written back untouched. Only set_field and repair_aliased_positions drop it; any other change
    // to the fields while it is held makes emit() fail rather than write stale bytes.
    std::optional<Bytes> verbatim_magic_only;

    // A default-constructed record is an empty text record (signature, zeros) without a verbatim
    // copy; set_field fills it.

    // The 2048 bytes of a sector. The verbatim copy is taken when slot >= channel_count.
    // Fails when the signature is missing (or the span is not a whole sector).
    static platform::Result<MasterText, SacdError> parse(std::span<const std::uint8_t> sector,
                                                         std::uint8_t channel_count, std::size_t slot);
    // The record of an unused slot: "SACDText" and zeros, held as its verbatim copy.
    static MasterText magic_only_default();

    // One field decoded in the channel's character set.
    MasterFieldRead read_field_decoded(MasterField field, CharSet charset) const;
    // The field's stored bytes (no terminator), or nothing when its position is not valid.
    std::optional<Bytes> read_field_raw(MasterField field, CharSet charset) const;

    // Replaces one field (nothing or empty text clears it) and repacks the heap in field order.
    // Fails, changing nothing, with AliasedPositionsRequireRepairFirst, CharacterNotInCharset or
    // FieldTooLong ("MasterText.heap", limit 1984).
    platform::Result<void, EditError> set_field(MasterField field, std::optional<std::string_view> text,
                                                CharSet charset);
    // Gives every field that shares a position with an earlier one its own copy of the text.
    // Returns how many fields were aliased (saturating at 255); 0 leaves the record untouched.
    platform::Result<std::uint8_t, EditError> repair_aliased_positions(CharSet charset);
    // The valid positions used by more than one field, ascending, without repeats.
    std::vector<std::uint16_t> aliased_positions() const;

    // The sector: the verbatim copy when one is held (after checking it is still current),
    // otherwise emit_from_fields(). Internal errors are EditError::Sacd.
    platform::Result<Bytes, EditError> emit() const;
    // The sector rebuilt from the fields, ignoring any verbatim copy.
    platform::Result<Bytes, EditError> emit_from_fields() const;

    friend bool operator==(const MasterText&, const MasterText&) = default;
};

}  // namespace sacd
