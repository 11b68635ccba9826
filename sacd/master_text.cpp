#include "sacd/master_text.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/bytes.h"

namespace sacd {

namespace {

using platform::err;

constexpr std::size_t kPositionsOffset = 16;
constexpr std::size_t kHeapInData = MasterText::kHeapOffset - MasterText::kDataOffset;  // 16
constexpr std::string_view kHeapFieldName = "MasterText.heap";

EditError internal(std::string text) { return EditError(edit_errors::Sacd{std::move(text)}); }

std::string data_size_text(std::size_t n) {
    return "MasterText: data.len() = " + std::to_string(n) + " but expected " + std::to_string(MasterText::kDataSize) +
           " (= SECTOR - 48)";
}

bool valid_position(std::uint16_t p) { return p >= MasterText::kHeapOffset && p < kSectorSize; }

std::size_t unit_of(CharSet charset) { return charset.is_double_byte() ? 2 : 1; }

// The text at a position: whole units up to the first all-zero unit or the end of the data area.
// A unit that would run past the end is left out. In the double-byte sets a last byte of zero can
// only be padding (no trail byte of those encodings is zero), so it is dropped.
std::optional<Bytes> raw_text(const Bytes& data, std::uint16_t position, std::size_t unit) {
    if (!valid_position(position)) return std::nullopt;
    std::size_t i = position - MasterText::kDataOffset;
    if (i >= data.size()) return std::nullopt;
    Bytes out;
    while (data.size() - i >= unit) {
        const auto first = data.begin() + static_cast<std::ptrdiff_t>(i);
        const auto last = first + static_cast<std::ptrdiff_t>(unit);
        if (std::all_of(first, last, [](std::uint8_t b) { return b == 0; })) break;
        out.insert(out.end(), first, last);
        i += unit;
    }
    if (unit == 2 && !out.empty() && out.back() == 0) out.pop_back();
    return out;
}

std::size_t round_up(std::size_t n, std::size_t unit) { return (n + unit - 1) / unit * unit; }

struct Packed {
    std::size_t used = 0;  // heap bytes the texts need, terminators included
    Bytes heap;            // kHeapSize bytes, filled only when `used` fits
    std::array<std::uint16_t, kMasterFieldCount> positions{};
};

// Lays the texts out in field order, each followed by one zero terminator unit. Double-byte texts
// of odd length get one zero byte of padding first: otherwise the terminator would straddle a unit
// boundary and the text would run on into the next field when read back.
Packed pack(const std::array<Bytes, kMasterFieldCount>& texts, std::size_t unit) {
    Packed p;
    for (const Bytes& t : texts)
        if (!t.empty()) p.used += round_up(t.size(), unit) + unit;
    if (p.used > MasterText::kHeapSize) return p;
    p.heap.assign(MasterText::kHeapSize, 0);
    std::size_t offset = 0;
    for (std::size_t f = 0; f < texts.size(); ++f) {
        if (texts[f].empty()) continue;
        p.positions[f] = static_cast<std::uint16_t>(MasterText::kHeapOffset + offset);
        std::copy(texts[f].begin(), texts[f].end(), p.heap.begin() + static_cast<std::ptrdiff_t>(offset));
        offset += round_up(texts[f].size(), unit) + unit;
    }
    return p;
}

bool contains_ufffd(const std::string& utf8) { return utf8.find("\xEF\xBF\xBD") != std::string::npos; }

}  // namespace

const std::string* MasterFieldRead::clean_text() const {
    const auto* t = std::get_if<Text>(&value);
    return t ? &t->text : nullptr;
}

const std::string* MasterFieldRead::any_text() const {
    if (const auto* t = std::get_if<Text>(&value)) return &t->text;
    if (const auto* l = std::get_if<Lossy>(&value)) return &l->text;
    return nullptr;
}

platform::Result<MasterText, SacdError> MasterText::parse(std::span<const std::uint8_t> sector,
                                                          std::uint8_t channel_count, std::size_t slot) {
    if (sector.size() != kSectorSize)
        return err(SacdError::malformed("master text sector is " + std::to_string(sector.size()) +
                                        " bytes, expected " + std::to_string(kSectorSize)));
    if (std::memcmp(sector.data(), kSignature.data(), kSignature.size()) != 0)
        return err(SacdError::malformed("missing SACDText magic"));
    MasterText text;
    std::memcpy(text.reserved.data(), sector.data() + kSignature.size(), text.reserved.size());
    for (std::size_t f = 0; f < kMasterFieldCount; ++f)
        text.positions[f] = platform::read_u16_be(sector.data() + kPositionsOffset + 2 * f);
    text.data.assign(sector.begin() + kDataOffset, sector.end());
    if (slot >= channel_count) text.verbatim_magic_only = Bytes(sector.begin(), sector.end());
    return text;
}

MasterText MasterText::magic_only_default() {
    MasterText text;
    Bytes sector(kSectorSize, 0);
    std::memcpy(sector.data(), kSignature.data(), kSignature.size());
    text.verbatim_magic_only = std::move(sector);
    return text;
}

std::optional<Bytes> MasterText::read_field_raw(MasterField field, CharSet charset) const {
    return raw_text(data, positions[master_field_index(field)], unit_of(charset));
}

MasterFieldRead MasterText::read_field_decoded(MasterField field, CharSet charset) const {
    const auto raw = read_field_raw(field, charset);
    if (!raw) return {MasterFieldRead::Absent{}};
    if (raw->empty()) return {MasterFieldRead::Text{}};
    std::string text = decode_special_string(*raw, 0, charset).value_or(std::string());
    // The double-byte decoders put U+FFFD only where the bytes were malformed: none of those
    // encodings has a code for U+FFFD itself. Latin-1 decoding cannot fail.
    if (charset.is_double_byte() && contains_ufffd(text))
        return {MasterFieldRead::Lossy{std::move(text), charset, field}};
    return {MasterFieldRead::Text{std::move(text)}};
}

std::vector<std::uint16_t> MasterText::aliased_positions() const {
    std::vector<std::uint16_t> valid;
    for (std::uint16_t p : positions)
        if (valid_position(p)) valid.push_back(p);
    std::sort(valid.begin(), valid.end());
    std::vector<std::uint16_t> aliased;
    for (std::size_t i = 1; i < valid.size(); ++i)
        if (valid[i] == valid[i - 1] && (aliased.empty() || aliased.back() != valid[i])) aliased.push_back(valid[i]);
    return aliased;
}

platform::Result<void, EditError> MasterText::set_field(MasterField field, std::optional<std::string_view> text,
                                                        CharSet charset) {
    if (auto aliased = aliased_positions(); !aliased.empty())
        return err(EditError(edit_errors::AliasedPositionsRequireRepairFirst{std::move(aliased)}));
    if (data.size() != kDataSize)
        return err(internal("MasterText::set_field: data.len() = " + std::to_string(data.size()) + " but expected " +
                            std::to_string(kDataSize) + " (= SECTOR - 48); set_field splices a " +
                            std::to_string(kHeapSize) + "-byte heap into bytes [HEAP_OFFSET, SECTOR) of the sector"));
    const std::size_t unit = unit_of(charset);
    std::array<Bytes, kMasterFieldCount> texts;
    for (std::size_t f = 0; f < kMasterFieldCount; ++f)
        texts[f] = raw_text(data, positions[f], unit).value_or(Bytes());

    Bytes& target = texts[master_field_index(field)];
    if (text) {
        const std::string_view name = master_field_name(field);
        auto encoded = charset.encode(*text, name);
        if (!encoded) return err(std::move(encoded).error());
        // A zero byte would end the text early when it is read back; it only comes from U+0000.
        if (std::find(encoded->begin(), encoded->end(), 0) != encoded->end())
            return err(EditError(edit_errors::CharacterNotInCharset{std::string(name), U'\0', charset.disc_code()}));
        target = std::move(encoded).value();
    } else {
        target.clear();
    }

    Packed packed = pack(texts, unit);
    if (packed.used > kHeapSize)
        return err(EditError(edit_errors::FieldTooLong{std::string(kHeapFieldName), packed.used, kHeapSize}));
    verbatim_magic_only.reset();
    positions = packed.positions;
    std::copy(packed.heap.begin(), packed.heap.end(), data.begin() + kHeapInData);
    return {};
}

platform::Result<std::uint8_t, EditError> MasterText::repair_aliased_positions(CharSet charset) {
    if (data.size() != kDataSize)
        return err(internal("MasterText::repair_aliased_positions: data.len() = " + std::to_string(data.size()) +
                            " but expected " + std::to_string(kDataSize) + " (= SECTOR - 48); repair splices a " +
                            std::to_string(kHeapSize) + "-byte heap into bytes [HEAP_OFFSET, SECTOR) of the sector"));
    unsigned count = 0;
    for (std::size_t f = 0; f < kMasterFieldCount; ++f) {
        if (!valid_position(positions[f])) continue;
        if (std::find(positions.begin(), positions.begin() + static_cast<std::ptrdiff_t>(f), positions[f]) !=
            positions.begin() + static_cast<std::ptrdiff_t>(f))
            ++count;
    }
    if (count == 0) return std::uint8_t{0};

    const std::size_t unit = unit_of(charset);
    std::array<Bytes, kMasterFieldCount> texts;
    for (std::size_t f = 0; f < kMasterFieldCount; ++f)
        texts[f] = raw_text(data, positions[f], unit).value_or(Bytes());
    Packed packed = pack(texts, unit);
    if (packed.used > kHeapSize)
        return err(EditError(edit_errors::RepairExceedsHeapBudget{packed.used, kHeapSize}));
    verbatim_magic_only.reset();
    positions = packed.positions;
    std::copy(packed.heap.begin(), packed.heap.end(), data.begin() + kHeapInData);
    return static_cast<std::uint8_t>(std::min(count, 255u));
}

platform::Result<Bytes, EditError> MasterText::emit_from_fields() const {
    if (data.size() != kDataSize) return err(internal(data_size_text(data.size())));
    Bytes sector(kSectorSize, 0);
    std::memcpy(sector.data(), kSignature.data(), kSignature.size());
    std::memcpy(sector.data() + kSignature.size(), reserved.data(), reserved.size());
    for (std::size_t f = 0; f < kMasterFieldCount; ++f)
        platform::write_u16_be(sector.data() + kPositionsOffset + 2 * f, positions[f]);
    std::copy(data.begin(), data.end(), sector.begin() + kDataOffset);
    return sector;
}

platform::Result<Bytes, EditError> MasterText::emit() const {
    if (data.size() != kDataSize)
        return err(internal(data_size_text(data.size()) + "; emit splices data into bytes [48, SECTOR) of the sector"));
    auto rebuilt = emit_from_fields();
    if (!rebuilt || !verbatim_magic_only) return rebuilt;
    if (verbatim_magic_only->size() != kSectorSize)
        return err(internal("MasterText: verbatim_magic_only.len() = " + std::to_string(verbatim_magic_only->size()) +
                            " but expected " + std::to_string(kSectorSize) + " (= SECTOR)"));
    if (*rebuilt != *verbatim_magic_only)
        return err(internal(
            "MasterText: verbatim_magic_only is stale — some in-crate path mutated positions / data / reserved "
            "without clearing the cache. Only set_field is allowed to invalidate the cache."));
    return *verbatim_magic_only;
}

}  // namespace sacd
