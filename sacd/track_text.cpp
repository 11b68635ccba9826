#include "sacd/track_text.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>

#include "platform/bytes.h"

namespace sacd {

namespace {

using platform::err;
using std::to_string;

std::uint64_t round_up_4(std::uint64_t n) { return (n + 3) & ~std::uint64_t{3}; }

std::uint64_t item_len(std::size_t text_len, std::size_t unit) { return round_up_4(2 + std::uint64_t{text_len} + unit); }

bool valid_block_len(std::uint64_t len) {
    return len % kSectorSize == 0 && len >= kSectorSize && len <= TrackText::kMaxBlockLen;
}

std::size_t unit_of(CharSet charset) { return charset.is_double_byte() ? 2 : 1; }

// Offset of the position cell of (channel, track) from the block start.
std::uint64_t cell_offset(std::uint64_t channel, std::uint64_t track, std::uint64_t tracks) {
    return TrackText::kTableOffset + 2 * (channel * tracks + track);
}

std::uint64_t table_end(std::uint64_t channels, std::uint64_t tracks) {
    return TrackText::kTableOffset + 2 * channels * tracks;
}

EditError internal(std::string text) { return EditError(edit_errors::Sacd{std::move(text)}); }

// One entry read from a block at a position.
struct EntryRead {
    enum class Status { Ok, Bad, Overflow, PastEnd };
    Status status = Status::Bad;
    TrackEntry entry;
    std::uint64_t encoded_len = 0;
};

// Reads the entry at `pos`, each item's text ending at its terminator unit. Every offset is
// checked against the block end before it is used.
EntryRead read_entry_at(std::span<const std::uint8_t> block, std::size_t pos, std::size_t unit) {
    EntryRead r;
    const std::size_t end = block.size();
    if (pos > end || end - pos < 4) return r;
    const std::size_t count = block[pos];
    std::copy_n(block.begin() + static_cast<std::ptrdiff_t>(pos) + 1, 3, r.entry.header.begin());
    r.entry.items.reserve(count);
    std::uint64_t len = 4;
    std::size_t at = pos + 4;
    for (std::size_t i = 0; i < count; ++i) {
        if (at > end || end - at < 2) return r;
        TrackItem item;
        item.type = block[at];
        item.second = block[at + 1];
        const std::size_t text_start = at + 2;
        std::size_t text_end = text_start;
        for (;;) {
            if (end - text_end < unit) return r;  // text runs past the block end
            if (block[text_end] == 0 && (unit == 1 || block[text_end + 1] == 0)) break;
            text_end += unit;
        }
        item.text.assign(block.begin() + static_cast<std::ptrdiff_t>(text_start),
                         block.begin() + static_cast<std::ptrdiff_t>(text_end));
        const std::uint64_t n = item_len(item.text.size(), unit);
        if (len > std::numeric_limits<std::uint64_t>::max() - n) {
            r.status = EntryRead::Status::Overflow;
            return r;
        }
        len += n;
        // `at` may now lie beyond the block (never by more than one item); the next item's
        // check catches it.
        at += static_cast<std::size_t>(n);
        r.entry.items.push_back(std::move(item));
    }
    r.encoded_len = len;
    r.status = len > end - pos ? EntryRead::Status::PastEnd : EntryRead::Status::Ok;
    return r;
}

// The text as laid out in a channel with terminator units of `unit` bytes: a double-byte text
// of odd length gains the zero byte that pads it to whole units. Nothing when the text holds a
// terminator unit of its own and would read back cut short.
std::optional<Bytes> stored_text(const Bytes& text, std::size_t unit) {
    Bytes out = text;
    if (unit == 2 && out.size() % 2 != 0) out.push_back(0);
    for (std::size_t i = 0; i < out.size(); i += unit)
        if (out[i] == 0 && (unit == 1 || out[i + 1] == 0)) return std::nullopt;
    return out;
}

}  // namespace

std::uint64_t TrackEntry::encoded_len(std::size_t unit) const {
    std::uint64_t len = 4;
    for (const auto& item : items) len += item_len(item.text.size(), unit);
    return len;
}

const TrackItem* TrackEntry::find(std::uint8_t type) const {
    for (const auto& item : items)
        if (item.type == type) return &item;
    return nullptr;
}

platform::Result<TrackText, EditError> TrackText::make_empty(std::vector<CharSet> charsets, std::uint8_t track_count,
                                                             std::uint32_t block_len,
                                                             std::uint32_t first_entry_offset) {
    if (charsets.size() > kMaxChannels)
        return err(internal("TrackText::make_empty: " + to_string(charsets.size()) +
                            " locales exceed the maximum of " + to_string(kMaxChannels)));
    if (!valid_block_len(block_len))
        return err(internal("TrackText::make_empty: block_len " + to_string(block_len) +
                            " is not 1..=32 whole sectors"));
    const std::uint64_t table = table_end(charsets.size(), track_count);
    if (first_entry_offset % 4 != 0 || first_entry_offset < table || first_entry_offset > block_len)
        return err(internal("TrackText::make_empty: first_entry_offset " + to_string(first_entry_offset) +
                            " must be a multiple of 4 between the position-table end " + to_string(table) +
                            " and block_len " + to_string(block_len)));
    TrackText text;
    text.n_text_channels = static_cast<std::uint8_t>(charsets.size());
    text.track_count = track_count;
    text.entries.assign(charsets.size(), TrackTextChannel(track_count));
    text.charsets = std::move(charsets);
    text.table_gap.assign(first_entry_offset - table, 0);
    text.first_entry_offset = first_entry_offset;
    text.block_len = block_len;
    text.padding_len = block_len - first_entry_offset;
    return text;
}

platform::Result<TrackText, SacdError> TrackText::parse(std::span<const std::uint8_t> block,
                                                        std::uint8_t n_text_channels, std::uint8_t track_count,
                                                        std::span<const CharSet> charsets) {
    const std::size_t len = block.size();
    if (!valid_block_len(len))
        return err(SacdError::malformed("SACDTTxt block is " + to_string(len) +
                                        " bytes - must be 1..=32 whole sectors (spec §3.2.6)"));
    if (std::memcmp(block.data(), kSignature.data(), kSignature.size()) != 0)
        return err(SacdError::malformed("missing SACDTTxt magic"));
    if (charsets.size() != n_text_channels)
        return err(SacdError::malformed("SACDTTxt charsets.len() = " + to_string(charsets.size()) +
                                        " but n_text_channels = " + to_string(n_text_channels) +
                                        " (every locale needs its declared Character_Set_Code)"));

    TrackText text;
    text.n_text_channels = n_text_channels;
    text.track_count = track_count;
    text.charsets.assign(charsets.begin(), charsets.end());
    text.block_len = static_cast<std::uint32_t>(len);
    text.entries.assign(n_text_channels, TrackTextChannel(track_count));

    const std::uint64_t table = table_end(n_text_channels, track_count);
    std::uint64_t first = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t heap_end = 0;
    for (std::size_t c = 0; c < n_text_channels; ++c) {
        const std::size_t unit = unit_of(charsets[c]);
        for (std::size_t t = 0; t < track_count; ++t) {
            const std::uint64_t cell = cell_offset(c, t, track_count);
            // The table may be longer than the block; cells beyond its end read as empty.
            const std::uint32_t pos = cell + 2 <= len ? platform::read_u16_be(block.data() + cell) : 0;
            if (pos == 0) continue;
            const std::string where = "locale " + to_string(c) + " track " + to_string(t);
            if (pos < table)
                return err(SacdError::malformed("SACDTTxt entry for " + where +
                                                " points inside the position-table region (pos = " + to_string(pos) +
                                                ", table ends at " + to_string(table) + ")"));
            if (pos % 4 != 0 || pos >= len) return err(SacdError::malformed("bad SACDTTxt entry for " + where));
            EntryRead read = read_entry_at(block, pos, unit);
            switch (read.status) {
                case EntryRead::Status::Bad:
                    return err(SacdError::malformed("bad SACDTTxt entry for " + where));
                case EntryRead::Status::Overflow:
                    return err(SacdError::malformed("SACDTTxt entry for " + where + " has overflowing encoded length"));
                case EntryRead::Status::PastEnd:
                    return err(SacdError::malformed("SACDTTxt entry for " + where + " encoded_len rounds past block end (pos " +
                                                    to_string(pos) + " + encoded_len " + to_string(read.encoded_len) +
                                                    " > " + to_string(len) + ")"));
                case EntryRead::Status::Ok:
                    break;
            }
            first = std::min<std::uint64_t>(first, pos);
            heap_end = std::max(heap_end, pos + read.encoded_len);
            text.entries[c][t] = TrackSlot{pos, std::move(read.entry)};
        }
    }

    if (heap_end == 0) {
        if (len < kEmptyHeapStart)
            return err(SacdError::malformed("SACDTTxt block is " + to_string(len) +
                                            " bytes - too small for the empty-block heap start 0x1000 (spec §3.2.6: "
                                            "1..=32 sectors)"));
        first = kEmptyHeapStart;
        heap_end = kEmptyHeapStart;
    }
    // A table that reaches past the empty-block heap start (only possible with more than 8
    // channels) is refused even when entries follow it: once its entries were emptied, the block
    // could no longer be read back.
    const std::uint64_t heap_start_limit = std::min<std::uint64_t>(first, kEmptyHeapStart);
    if (table > heap_start_limit)
        return err(SacdError::malformed("SACDTTxt position table for " + to_string(n_text_channels) + " locale(s) x " +
                                        to_string(track_count) + " track(s) ends at " + to_string(table) +
                                        ", past the heap start " + to_string(heap_start_limit)));

    std::size_t last_nonzero = len;  // one past the last non-zero byte
    while (last_nonzero > heap_end && block[last_nonzero - 1] == 0) --last_nonzero;
    const auto at = [&](std::uint64_t offset) { return block.begin() + static_cast<std::ptrdiff_t>(offset); };
    text.first_entry_offset = static_cast<std::uint32_t>(first);
    text.table_gap.assign(at(table), at(first));
    text.heap.assign(at(first), at(heap_end));
    text.trailing.assign(at(heap_end), at(last_nonzero));
    text.padding_len = static_cast<std::uint32_t>(len - last_nonzero);
    return text;
}

const TrackEntry* TrackText::entry(std::size_t channel, std::size_t track) const {
    if (channel >= entries.size() || track >= entries[channel].size() || !entries[channel][track]) return nullptr;
    return &entries[channel][track]->entry;
}

std::size_t TrackText::unit(std::size_t channel) const {
    return channel < charsets.size() ? unit_of(charsets[channel]) : 1;
}

TrackFieldText TrackText::read_entry_field_decoded(std::size_t channel, std::size_t track, TrackField field,
                                                   CharSet charset) const {
    TrackFieldText out;
    out.channel = channel;
    out.track = track;
    out.charset = charset;
    out.field = field;
    const TrackEntry* e = entry(channel, track);
    const TrackItem* item = e ? e->find(track_field_code(field)) : nullptr;
    if (!item) return out;
    std::span<const std::uint8_t> bytes(item->text);
    // An odd-length double-byte text is stored with a zero byte before its terminator unit;
    // that byte is padding, not a character (no double-byte set has a zero trail byte).
    if (charset.is_double_byte() && !bytes.empty() && bytes.back() == 0) bytes = bytes.first(bytes.size() - 1);
    out.kind = TrackFieldText::Kind::Clean;
    if (auto decoded = decode_special_string(bytes, 0, charset)) out.text = std::move(*decoded);
    // The double-byte decoders put U+FFFD where they met malformed input.
    if (charset.is_double_byte() && out.text.find("\xEF\xBF\xBD") != std::string::npos)
        out.kind = TrackFieldText::Kind::Lossy;
    return out;
}

platform::Result<Bytes, EditError> TrackText::emit() const {
    const std::size_t n = n_text_channels, tracks = track_count;
    if (entries.size() != n || charsets.size() != n)
        return err(internal("TrackText: entries.len() = " + to_string(entries.size()) + " and charsets.len() = " +
                            to_string(charsets.size()) + " must both equal n_text_channels = " + to_string(n)));
    for (std::size_t c = 0; c < n; ++c)
        if (entries[c].size() != tracks)
            return err(internal("TrackText: locale " + to_string(c) + " holds " + to_string(entries[c].size()) +
                                " track slots but track_count = " + to_string(tracks)));
    if (!valid_block_len(block_len))
        return err(internal("TrackText: block_len = " + to_string(block_len) + " is not 1..=32 whole sectors"));
    if (first_entry_offset < kTableOffset)
        return err(internal("TrackText: first_entry_offset = " + to_string(first_entry_offset) +
                            " is less than the 8-byte magic — position-table region cannot start before byte 8"));
    if ((first_entry_offset - kTableOffset) / 2 < std::uint64_t{n} * tracks)
        return err(internal("TrackText: position table for " + to_string(n) + " locale(s) x " + to_string(tracks) +
                            " track(s) does not fit before first_entry_offset = " + to_string(first_entry_offset)));
    const std::uint64_t table = table_end(n, tracks);
    if (table + table_gap.size() != first_entry_offset)
        return err(internal("TrackText: table_gap is " + to_string(table_gap.size()) +
                            " bytes but the position table ends at " + to_string(table) +
                            " and first_entry_offset = " + to_string(first_entry_offset)));
    const std::uint64_t total = std::uint64_t{first_entry_offset} + heap.size() + trailing.size() + padding_len;
    if (total != block_len)
        return err(internal("TrackText: first_entry_offset " + to_string(first_entry_offset) + " + heap " +
                            to_string(heap.size()) + " + trailing " + to_string(trailing.size()) + " + padding " +
                            to_string(padding_len) + " = " + to_string(total) + " but block_len = " +
                            to_string(block_len)));
    for (std::size_t c = 0; c < n; ++c)
        for (std::size_t t = 0; t < tracks; ++t)
            if (entries[c][t] && entries[c][t]->position > 0xFFFF)
                return err(internal("TrackText: locale " + to_string(c) + " track " + to_string(t) + " position " +
                                    to_string(entries[c][t]->position) + " exceeds 0xFFFF"));

    Bytes block(block_len, 0);
    std::memcpy(block.data(), kSignature.data(), kSignature.size());
    for (std::size_t c = 0; c < n; ++c)
        for (std::size_t t = 0; t < tracks; ++t)
            if (entries[c][t])
                platform::write_u16_be(block.data() + cell_offset(c, t, tracks),
                                       static_cast<std::uint16_t>(entries[c][t]->position));
    std::copy(table_gap.begin(), table_gap.end(), block.begin() + static_cast<std::ptrdiff_t>(table));
    std::copy(heap.begin(), heap.end(), block.begin() + first_entry_offset);
    std::copy(trailing.begin(), trailing.end(),
              block.begin() + static_cast<std::ptrdiff_t>(first_entry_offset + heap.size()));

    // The heap is the source of the written entries; an entry changed in the model without a
    // repack would otherwise be dropped without a word.
    const std::uint64_t heap_end = first_entry_offset + heap.size();
    for (std::size_t c = 0; c < n; ++c) {
        for (std::size_t t = 0; t < tracks; ++t) {
            const auto& slot = entries[c][t];
            if (!slot) continue;
            bool matches = slot->position % 4 == 0 && slot->position >= first_entry_offset && slot->position < heap_end;
            if (matches) {
                EntryRead read = read_entry_at(block, slot->position, unit_of(charsets[c]));
                matches = read.status == EntryRead::Status::Ok && slot->position + read.encoded_len <= heap_end &&
                          read.entry == slot->entry;
            }
            if (!matches)
                return err(internal("TrackText: entry for locale " + to_string(c) + " track " + to_string(t) +
                                    " does not match the heap bytes at position " + to_string(slot->position) +
                                    " - entries were changed without a repack"));
        }
    }
    return block;
}

platform::Result<TrackTextRepack, EditError> TrackText::repack_into_vec(
    const std::vector<TrackTextChannel>& entries, std::span<const CharSet> charsets,
    const std::optional<TrackTextReplacement>& replacement, std::uint32_t first_entry_offset,
    std::uint32_t preserved_trailing_len, std::uint32_t block_len) {
    if (charsets.size() != entries.size())
        return err(internal("TrackText repack invariant: charsets.len() = " + to_string(charsets.size()) +
                            " but entries.len() = " + to_string(entries.size()) +
                            " (per-locale charset table must match the entries grid)"));
    if (std::uint64_t{first_entry_offset} + preserved_trailing_len > block_len)
        return err(internal("TrackText layout invariant violated: first_entry_offset (" + to_string(first_entry_offset) +
                            ") + preserved_trailing_len (" + to_string(preserved_trailing_len) +
                            ") exceeds block_len (" + to_string(block_len) + ")"));
    if (first_entry_offset % 4 != 0)
        return err(internal("TrackText repack: first_entry_offset " + to_string(first_entry_offset) +
                            " is not a multiple of 4 - entries must start on 4-byte boundaries"));
    if (replacement &&
        (replacement->channel >= entries.size() || replacement->track >= entries[replacement->channel].size()))
        return err(internal("TrackText repack: replacement slot locale " + to_string(replacement->channel) +
                            " track " + to_string(replacement->track) + " lies outside the entries grid"));

    // The entries as they will be stored, with the replacement applied.
    TrackTextRepack out;
    out.entries.resize(entries.size());
    std::uint64_t needed = 0;
    for (std::size_t c = 0; c < entries.size(); ++c) {
        const std::size_t unit = unit_of(charsets[c]);
        out.entries[c].resize(entries[c].size());
        for (std::size_t t = 0; t < entries[c].size(); ++t) {
            const bool replaced = replacement && replacement->channel == c && replacement->track == t;
            const TrackEntry* source = replaced ? (replacement->entry ? &*replacement->entry : nullptr)
                                                : (entries[c][t] ? &entries[c][t]->entry : nullptr);
            if (!source) continue;
            const std::string where = "locale " + to_string(c) + " track " + to_string(t);
            if (source->items.size() > 0xFF)
                return err(internal("TrackText repack: " + where + " holds " + to_string(source->items.size()) +
                                    " items - an entry stores at most 255"));
            TrackSlot slot{0, TrackEntry{source->header, {}}};
            for (const auto& item : source->items) {
                auto text = stored_text(item.text, unit);
                if (!text)
                    return err(internal("TrackText repack: an item text of " + where +
                                        " holds a terminator unit and would read back cut short"));
                slot.entry.items.push_back(TrackItem{item.type, item.second, std::move(*text)});
            }
            needed += slot.entry.encoded_len(unit);
            out.entries[c][t] = std::move(slot);
        }
    }
    const std::uint64_t budget = std::uint64_t{block_len} - first_entry_offset - preserved_trailing_len;
    if (needed > budget) return err(EditError(edit_errors::FieldTooLong{"TrackText.block", needed, budget}));

    out.heap.reserve(needed);
    for (std::size_t c = 0; c < out.entries.size(); ++c) {
        const std::size_t unit = unit_of(charsets[c]);
        for (auto& slot : out.entries[c]) {
            if (!slot) continue;
            slot->position = static_cast<std::uint32_t>(first_entry_offset + out.heap.size());
            out.heap.push_back(static_cast<std::uint8_t>(slot->entry.items.size()));
            out.heap.insert(out.heap.end(), slot->entry.header.begin(), slot->entry.header.end());
            for (const auto& item : slot->entry.items) {
                const std::size_t start = out.heap.size();
                out.heap.push_back(item.type);
                out.heap.push_back(item.second);
                out.heap.insert(out.heap.end(), item.text.begin(), item.text.end());
                out.heap.resize(start + item_len(item.text.size(), unit), 0);  // terminator and padding
            }
        }
    }
    out.padding_len = static_cast<std::uint32_t>(budget - needed);
    return out;
}

platform::Result<void, EditError> TrackText::replace_entry(std::size_t channel, std::size_t track,
                                                           std::optional<TrackEntry> entry) {
    auto repacked = repack_into_vec(entries, charsets, TrackTextReplacement{channel, track, std::move(entry)},
                                    first_entry_offset, static_cast<std::uint32_t>(trailing.size()), block_len);
    if (!repacked) return err(std::move(repacked).error());
    entries = std::move(repacked->entries);
    heap = std::move(repacked->heap);
    padding_len = repacked->padding_len;
    return {};
}

platform::Result<void, EditError> TrackText::repack() {
    auto repacked = repack_into_vec(entries, charsets, std::nullopt, first_entry_offset,
                                    static_cast<std::uint32_t>(trailing.size()), block_len);
    if (!repacked) return err(std::move(repacked).error());
    entries = std::move(repacked->entries);
    heap = std::move(repacked->heap);
    padding_len = repacked->padding_len;
    return {};
}

std::size_t TrackText::aliased_slot_count(std::size_t channel) const {
    if (channel >= entries.size()) return 0;
    const auto& slots = entries[channel];
    std::size_t count = 0;
    for (std::size_t t = 0; t < slots.size(); ++t) {
        if (!slots[t]) continue;
        for (std::size_t earlier = 0; earlier < t; ++earlier) {
            if (slots[earlier] && slots[earlier]->position == slots[t]->position) {
                ++count;
                break;
            }
        }
    }
    return count;
}

platform::Result<void, EditError> TrackText::grow_to(std::uint32_t new_len) {
    if (new_len % kSectorSize != 0)
        return err(internal("grow_to: " + to_string(new_len) + " is not a whole sector multiple"));
    if (new_len > kMaxBlockLen)
        return err(internal("grow_to: " + to_string(new_len / kSectorSize) + " sectors exceeds the Track_Text max of " +
                            to_string(kMaxBlockLen / kSectorSize) + " (spec §3.2.6)"));
    if (new_len < block_len)
        return err(internal("grow_to: " + to_string(new_len) + " is smaller than the current block_len " +
                            to_string(block_len) + " (grow only)"));
    padding_len += new_len - block_len;
    block_len = new_len;
    return {};
}

platform::Result<void, EditError> TrackText::push_locale(CharSet charset) {
    if (entries.size() != n_text_channels)
        return err(internal("TrackText::push_locale: entries.len() = " + to_string(entries.size()) +
                            " but n_text_channels = " + to_string(n_text_channels)));
    if (charsets.size() != n_text_channels)
        return err(internal("TrackText::push_locale: charsets.len() = " + to_string(charsets.size()) +
                            " but n_text_channels = " + to_string(n_text_channels)));
    if (n_text_channels >= kMaxChannels) return err(EditError(edit_errors::LocaleLimitReached{n_text_channels}));
    const std::uint64_t need = table_end(n_text_channels + 1u, track_count);
    if (need > first_entry_offset)
        return err(internal("TrackText::push_locale: post-push position-table needs " + to_string(need) +
                            " bytes but first_entry_offset is only " + to_string(first_entry_offset) +
                            " — cannot fit a new locale without re-laying-out the heap (which Task 6.2 does not do)"));
    // The new table cells take the front of the gap.
    const std::size_t cells = std::min<std::size_t>(2u * track_count, table_gap.size());
    table_gap.erase(table_gap.begin(), table_gap.begin() + static_cast<std::ptrdiff_t>(cells));
    entries.emplace_back(track_count);
    charsets.push_back(charset);
    ++n_text_channels;
    return {};
}

platform::Result<void, EditError> TrackText::remove_locale(std::uint8_t channel) {
    if (channel >= n_text_channels)
        return err(EditError(edit_errors::LocaleOutOfRange{channel, n_text_channels}));
    if (entries.size() != n_text_channels || charsets.size() != n_text_channels)
        return err(internal("TrackText::remove_locale: entries.len() = " + to_string(entries.size()) +
                            " and charsets.len() = " + to_string(charsets.size()) +
                            " must both equal n_text_channels = " + to_string(n_text_channels)));
    auto kept_entries = entries;
    auto kept_charsets = charsets;
    kept_entries.erase(kept_entries.begin() + channel);
    kept_charsets.erase(kept_charsets.begin() + channel);
    auto repacked = repack_into_vec(kept_entries, kept_charsets, std::nullopt, first_entry_offset,
                                    static_cast<std::uint32_t>(trailing.size()), block_len);
    if (!repacked) return err(std::move(repacked).error());
    entries = std::move(repacked->entries);
    heap = std::move(repacked->heap);
    padding_len = repacked->padding_len;
    charsets = std::move(kept_charsets);
    // The freed table cells become zero gap bytes; first_entry_offset stays where it is.
    table_gap.insert(table_gap.begin(), 2u * track_count, std::uint8_t{0});
    --n_text_channels;
    return {};
}

}  // namespace sacd
