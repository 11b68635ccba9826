// Track Text. Input: byte 0 = mode (bits 0-3 channel count, bits 4-5 sectors - 1, bit 6 keep
// the input's own signature, bit 7 pass the rest through untouched), byte 1 = track count,
// bytes 2..9 = character-set codes, the rest = the block. Whatever parses must emit to the
// same bytes; repacking, channel changes and entry replacement must keep the record emittable
// and read back as built, or fail leaving it unchanged.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "sacd/track_text.h"
#include "tests/fuzz/fuzz_support.h"

using namespace sacd;
using fuzz::check;

namespace {

bool has_entries(const TrackText& text) {
    for (const auto& channel : text.entries)
        for (const auto& slot : channel)
            if (slot) return true;
    return false;
}

// The record emits, and the emitted block parses back to the same record. A block left
// without any entry reads back with its heap start at 4096 (and cannot be read at all when it
// is shorter), so then only the bytes are compared.
void check_emits_and_reparses(const TrackText& text) {
    auto bytes = text.emit();
    check(bytes.ok());
    check(bytes->size() == text.block_len);
    auto again = TrackText::parse(*bytes, text.n_text_channels, text.track_count, text.charsets);
    if (!has_entries(text)) {
        if (text.block_len < TrackText::kEmptyHeapStart) return;
        check(again.ok());
        check(again->emit().value() == *bytes);
        return;
    }
    check(again.ok());
    check(*again == text);
}

template <class Op>
void check_all_or_nothing(const TrackText& original, Op op) {
    TrackText copy = original;
    if (op(copy).ok()) {
        check_emits_and_reparses(copy);
    } else {
        check(copy == original);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 10) return 0;
    const std::uint8_t mode = data[0];
    const std::uint8_t channels = mode & 0x0F;
    const std::uint8_t tracks = data[1];
    std::vector<CharSet> charsets;
    for (std::size_t c = 0; c < channels; ++c) charsets.push_back(CharSet::from_disc_code(data[2 + c % 8]));
    const std::span<const std::uint8_t> rest(data + 10, size - 10);

    Bytes block;
    if (mode & 0x80) {
        block.assign(rest.begin(), rest.end());
    } else {
        block = fuzz::signed_block(rest.data(), rest.size(), (mode & 0x40) ? std::string_view() : TrackText::kSignature,
                                   std::size_t{(mode >> 4) & 3u} * kSectorSize + kSectorSize);
    }
    auto parsed = TrackText::parse(block, channels, tracks, charsets);
    if (!parsed.ok()) return 0;
    const TrackText text = std::move(parsed).value();
    auto emitted = text.emit();
    check(emitted.ok() && *emitted == block);

    for (std::size_t c = 0; c <= channels; ++c)
        for (std::size_t t = 0; t <= tracks; ++t)
            for (std::size_t f = 0; f < kTrackFieldCount; ++f) {
                auto r = text.read_entry_field_decoded(c, t, *track_field_at(f), text.unit(c) == 2
                                                                                     ? CharSet::Value::RisShiftJis
                                                                                     : CharSet::Value::Iso8859_1);
                check(r.kind == TrackFieldText::Kind::Absent || text.entry(c, t) != nullptr);
            }
    for (std::size_t c = 0; c < channels; ++c) (void)text.aliased_slot_count(c);

    const std::uint8_t knob = block.size() > 9 ? block[9] : 0;
    check_all_or_nothing(text, [](TrackText& t) { return t.repack(); });
    check_all_or_nothing(text, [&](TrackText& t) { return t.grow_to(std::uint32_t{knob} * 512u); });
    check_all_or_nothing(text, [&](TrackText& t) { return t.push_locale(CharSet::from_disc_code(knob % 8)); });
    check_all_or_nothing(text, [&](TrackText& t) { return t.remove_locale(static_cast<std::uint8_t>(knob % 9)); });

    // A replacement entry made of input bytes: its texts may hold zero bytes, which must be
    // refused rather than written.
    std::optional<TrackEntry> replacement;
    if (knob & 1) {
        TrackEntry entry;
        const std::size_t items = knob % 5;
        for (std::size_t i = 0; i < items && 10 + i < block.size(); ++i) {
            const std::size_t len = std::min<std::size_t>(block[10 + i] % 40, rest.size());
            entry.items.push_back(TrackItem{static_cast<std::uint8_t>(0x01 + i), 0x20,
                                            Bytes(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(len))});
        }
        replacement = std::move(entry);
    }
    check_all_or_nothing(text, [&](TrackText& t) {
        return t.replace_entry(channels ? knob % channels : 0, tracks ? (knob >> 1) % tracks : 0, replacement);
    });
    return 0;
}
