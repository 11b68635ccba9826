// Master Text: any sector parses or is refused cleanly; a parsed sector emits to the same bytes;
// reads stay inside the sector; repair and set_field keep every other field's text.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "sacd/master_text.h"
#include "tests/fuzz/fuzz_support.h"

using namespace sacd;
using fuzz::check;

namespace {

std::array<std::optional<Bytes>, kMasterFieldCount> raw_fields(const MasterText& text, CharSet charset) {
    std::array<std::optional<Bytes>, kMasterFieldCount> out;
    for (std::size_t i = 0; i < kMasterFieldCount; ++i) out[i] = text.read_field_raw(*master_field_at(i), charset);
    return out;
}

// After a repack every field that had text keeps exactly that text; empty ones may become absent.
bool same_texts(const std::array<std::optional<Bytes>, kMasterFieldCount>& before,
                const std::array<std::optional<Bytes>, kMasterFieldCount>& after, std::size_t skip) {
    for (std::size_t i = 0; i < kMasterFieldCount; ++i) {
        if (i == skip) continue;
        const Bytes empty;
        const Bytes& a = before[i] ? *before[i] : empty;
        const Bytes& b = after[i] ? *after[i] : empty;
        if (a != b) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    (void)MasterText::parse(std::span<const std::uint8_t>(data, size), 1, 0);
    if (size < 5) return 0;

    // Five control bytes: channel count, slot, character set, field, length of the value to write;
    // then the value; the rest is the sector.
    const std::uint8_t channels = data[0] % 10;
    const std::size_t slot = data[1] % 10;
    const CharSet charset = CharSet::from_disc_code(data[2] % 9);
    const MasterField field = *master_field_at(data[3] % kMasterFieldCount);
    const std::size_t value_len = std::min<std::size_t>(data[4], size - 5);
    const std::string_view value(reinterpret_cast<const char*>(data + 5), value_len);
    data += 5 + value_len;
    size -= 5 + value_len;

    const Bytes sector = fuzz::signed_block(data, size, MasterText::kSignature, kSectorSize);
    auto parsed = MasterText::parse(sector, channels, slot);
    check(parsed.ok());
    MasterText text = std::move(parsed).value();
    auto emitted = text.emit();
    check(emitted.ok() && *emitted == sector);
    for (std::size_t i = 0; i < kMasterFieldCount; ++i) (void)text.read_field_decoded(*master_field_at(i), charset);

    const auto before = raw_fields(text, charset);
    const MasterText original = text;
    auto repaired = text.repair_aliased_positions(charset);
    if (repaired.ok()) {
        check(text.aliased_positions().empty());
        check(same_texts(before, raw_fields(text, charset), kMasterFieldCount));
    } else {
        check(text == original);
    }

    // The value from the input, written into one field.
    const auto prior = raw_fields(text, charset);
    const MasterText unchanged = text;
    auto set = text.set_field(field, value, charset);
    if (set.ok()) {
        check(same_texts(prior, raw_fields(text, charset), master_field_index(field)));
        check(text.aliased_positions().empty());
        auto sector_after = text.emit();
        check(sector_after.ok());
        auto reparsed = MasterText::parse(*sector_after, channels, slot);
        check(reparsed.ok());
        check(same_texts(raw_fields(text, charset), raw_fields(*reparsed, charset), kMasterFieldCount));
    } else {
        check(text == unchanged);
    }
    return 0;
}
