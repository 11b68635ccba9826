// Track Text: the block of an Area TOC that holds, per text channel and per track, a list of
// typed text items (title, performer, ... and their phonetic spellings).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"
#include "sacd/charset.h"
#include "sacd/edit_error.h"
#include "sacd/error.h"
#include "sacd/image.h"

namespace sacd {

// The sixteen text fields of a track: values 0-7 are the plain fields, 8-15 their phonetic
// spellings in the same order. Edit plans carry these values; do not reorder.
enum class TrackField : std::uint8_t {
    Title,
    Performer,
    Songwriter,
    Composer,
    Arranger,
    Message,
    ExtraMessage,
    Copyright,
    TitlePhonetic,
    PerformerPhonetic,
    SongwriterPhonetic,
    ComposerPhonetic,
    ArrangerPhonetic,
    MessagePhonetic,
    ExtraMessagePhonetic,
    CopyrightPhonetic,
};

inline constexpr std::size_t kTrackFieldCount = 16;

struct TrackFieldInfo {
    TrackField field;
    std::string_view name;  // the value name, as error labels and debug forms show it
    std::uint8_t code;      // the item type stored on disc
    bool phonetic;
};

// The one table of the vocabulary, in TrackField order.
inline constexpr std::array<TrackFieldInfo, kTrackFieldCount> kTrackFields{{
    {TrackField::Title, "Title", 0x01, false},
    {TrackField::Performer, "Performer", 0x02, false},
    {TrackField::Songwriter, "Songwriter", 0x03, false},
    {TrackField::Composer, "Composer", 0x04, false},
    {TrackField::Arranger, "Arranger", 0x05, false},
    {TrackField::Message, "Message", 0x06, false},
    {TrackField::ExtraMessage, "ExtraMessage", 0x07, false},
    {TrackField::Copyright, "Copyright", 0x08, false},
    {TrackField::TitlePhonetic, "TitlePhonetic", 0x81, true},
    {TrackField::PerformerPhonetic, "PerformerPhonetic", 0x82, true},
    {TrackField::SongwriterPhonetic, "SongwriterPhonetic", 0x83, true},
    {TrackField::ComposerPhonetic, "ComposerPhonetic", 0x84, true},
    {TrackField::ArrangerPhonetic, "ArrangerPhonetic", 0x85, true},
    {TrackField::MessagePhonetic, "MessagePhonetic", 0x86, true},
    {TrackField::ExtraMessagePhonetic, "ExtraMessagePhonetic", 0x87, true},
    {TrackField::CopyrightPhonetic, "CopyrightPhonetic", 0x88, true},
}};

constexpr bool track_field_table_in_order() {
    for (std::size_t i = 0; i < kTrackFields.size(); ++i)
        if (static_cast<std::size_t>(kTrackFields[i].field) != i) return false;
    return true;
}
static_assert(track_field_table_in_order(), "kTrackFields must list every field once, in TrackField order");

constexpr const TrackFieldInfo& track_field_info(TrackField field) { return kTrackFields[static_cast<std::size_t>(field)]; }
// The value name, e.g. "TitlePhonetic".
constexpr std::string_view track_field_name(TrackField field) { return track_field_info(field).name; }
// The item type code, e.g. 0x81 for TitlePhonetic.
constexpr std::uint8_t track_field_code(TrackField field) { return track_field_info(field).code; }
constexpr bool is_phonetic(TrackField field) { return track_field_info(field).phonetic; }
// The field of an item type code, or nothing for codes outside the table (such items are kept).
constexpr std::optional<TrackField> track_field_from_code(std::uint8_t code) {
    for (const auto& info : kTrackFields)
        if (info.code == code) return info.field;
    return std::nullopt;
}
// The field with value `index` (0..15), or nothing.
constexpr std::optional<TrackField> track_field_at(std::size_t index) {
    if (index >= kTrackFieldCount) return std::nullopt;
    return kTrackFields[index].field;
}

// One text item of an entry.
struct TrackItem {
    std::uint8_t type = 0;     // a TrackField code, or an unknown code kept as read
    std::uint8_t second = 0;   // kept as read; new items use 0x20
    Bytes text;                // in the channel's character set, without the terminator unit

    friend bool operator==(const TrackItem&, const TrackItem&) = default;
};

// The items of one (channel, track) slot.
struct TrackEntry {
    std::array<std::uint8_t, 3> header{};  // bytes 1..3 after the item count, kept as read
    std::vector<TrackItem> items;

    // Bytes the entry takes in the block with terminator units of `unit` bytes (1 or 2):
    // 4 + the sum over items of round-up-to-4(2 + text length + unit).
    std::uint64_t encoded_len(std::size_t unit) const;
    // The first item of that type, or nullptr.
    const TrackItem* find(std::uint8_t type) const;

    friend bool operator==(const TrackEntry&, const TrackEntry&) = default;
};

// A non-empty slot: where its entry sits (byte offset from the block start) and what it holds.
struct TrackSlot {
    std::uint32_t position = 0;
    TrackEntry entry;

    friend bool operator==(const TrackSlot&, const TrackSlot&) = default;
};

// The slots of one channel, one per track; nothing for a track without an entry.
using TrackTextChannel = std::vector<std::optional<TrackSlot>>;

// The result of reading one field.
struct TrackFieldText {
    enum class Kind { Absent, Clean, Lossy };
    Kind kind = Kind::Absent;
    std::string text;  // UTF-8; a Lossy text carries U+FFFD where the bytes were malformed
    // Where a Lossy text came from, for warnings.
    std::size_t channel = 0;
    std::size_t track = 0;
    CharSet charset = CharSet::Value::Iso646;
    TrackField field = TrackField::Title;

    // The text when it decoded cleanly, otherwise nothing.
    std::optional<std::string> clean_text() const {
        return kind == Kind::Clean ? std::optional<std::string>(text) : std::nullopt;
    }
};

// One slot to change during a repack: a new entry, or nothing to empty the slot.
struct TrackTextReplacement {
    std::size_t channel = 0;
    std::size_t track = 0;
    std::optional<TrackEntry> entry;
};

// Entries, heap and zero padding laid out anew by TrackText::repack_into_vec.
struct TrackTextRepack {
    std::vector<TrackTextChannel> entries;
    Bytes heap;
    std::uint32_t padding_len = 0;
};

struct TrackText {
    static constexpr std::string_view kSignature = "SACDTTxt";
    static constexpr std::uint32_t kTableOffset = 8;
    static constexpr std::uint32_t kMaxBlockLen = 32 * kSectorSize;  // 65536
    static constexpr std::uint32_t kEmptyHeapStart = 4096;  // entries start here in a block without any
    static constexpr std::size_t kMaxChannels = 8;

    // Block layout, front to back: signature, position table (2 x N x T bytes, channel-major),
    // table_gap, heap at first_entry_offset, trailing bytes, padding_len zero bytes; block_len total.
    std::vector<TrackTextChannel> entries;  // N channels of T slots
    Bytes table_gap;   // from the end of the position table to first_entry_offset, kept as read
    Bytes heap;        // from first_entry_offset to the end of the last entry, as stored
    Bytes trailing;    // after the heap up to the last non-zero byte of the block, kept as read
    std::vector<CharSet> charsets;  // one per channel; decides the terminator unit (1 or 2 bytes)
    std::uint32_t first_entry_offset = kEmptyHeapStart;
    std::uint32_t block_len = 0;
    std::uint32_t padding_len = 0;
    std::uint8_t n_text_channels = 0;
    std::uint8_t track_count = 0;

    // A block without entries: one channel per charset, `track_count` empty slots each, entries
    // to start at `first_entry_offset`. Internal errors for a bad length or offset, more than 8
    // channels, or a position table that would reach past `first_entry_offset`.
    static platform::Result<TrackText, EditError> make_empty(std::vector<CharSet> charsets, std::uint8_t track_count,
                                                             std::uint32_t block_len,
                                                             std::uint32_t first_entry_offset = kEmptyHeapStart);

    // Reads a whole block; `charsets` must hold one set per channel. Errors are Malformed with
    // the text of the first problem found. Any byte string is safe to pass.
    static platform::Result<TrackText, SacdError> parse(std::span<const std::uint8_t> block,
                                                        std::uint8_t n_text_channels, std::uint8_t track_count,
                                                        std::span<const CharSet> charsets);

    // The first item of `field` in slot (channel, track), decoded in `charset`; Absent when the
    // slot is out of range or empty or has no such item. In a double-byte set the zero byte that
    // pads an odd-length text to whole units is not part of the text.
    TrackFieldText read_entry_field_decoded(std::size_t channel, std::size_t track, TrackField field,
                                            CharSet charset) const;
    // The entry of a slot, or nullptr when out of range or empty.
    const TrackEntry* entry(std::size_t channel, std::size_t track) const;
    // Terminator unit of a channel: 2 for the double-byte sets, otherwise 1.
    std::size_t unit(std::size_t channel) const;

    // The block_len bytes; internal errors name the broken invariant. An unchanged parsed
    // record emits the block it was parsed from.
    platform::Result<Bytes, EditError> emit() const;

    // Lays every non-empty slot out again from first_entry_offset, channel by channel and track
    // by track, with `replacement` applied. FieldTooLong ("TrackText.block", needed, budget)
    // when the entries do not fit before the trailing bytes; internal errors otherwise.
    // Odd-length texts of double-byte channels come back with the zero byte that is stored
    // before their terminator unit, so the result reads back exactly as laid out.
    static platform::Result<TrackTextRepack, EditError> repack_into_vec(
        const std::vector<TrackTextChannel>& entries, std::span<const CharSet> charsets,
        const std::optional<TrackTextReplacement>& replacement, std::uint32_t first_entry_offset,
        std::uint32_t preserved_trailing_len, std::uint32_t block_len);

    // Replaces one slot's entry (nothing empties it) and repacks; all or nothing.
    platform::Result<void, EditError> replace_entry(std::size_t channel, std::size_t track,
                                                    std::optional<TrackEntry> entry);
    // Repacks without a change, giving every slot its own copy of its entry; all or nothing.
    platform::Result<void, EditError> repack();
    // Slots of `channel` whose position equals the position of an earlier slot of that channel.
    std::size_t aliased_slot_count(std::size_t channel) const;

    // Lengthens the block to `new_len` bytes with zero padding (grow only, whole sectors, at
    // most 32 sectors); internal errors otherwise.
    platform::Result<void, EditError> grow_to(std::uint32_t new_len);
    // Appends a channel of empty slots. LocaleLimitReached with 8 channels; an internal error
    // when the larger position table would reach past first_entry_offset.
    platform::Result<void, EditError> push_locale(CharSet charset);
    // Removes a channel and repacks the rest. LocaleOutOfRange when channel >= N.
    platform::Result<void, EditError> remove_locale(std::uint8_t channel);

    friend bool operator==(const TrackText&, const TrackText&) = default;
};

}  // namespace sacd
