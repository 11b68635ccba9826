#include "sacd/track_list.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/bytes.h"

namespace sacd {

namespace {

using platform::err;

constexpr std::size_t kFirstArray = 8;
constexpr std::size_t kSecondArray = kFirstArray + kTrackArrayBytes;  // 1028

void read_entry(const std::uint8_t* p, std::uint32_t& v) { v = platform::read_u32_be(p); }
void read_entry(const std::uint8_t* p, Trl2Entry& v) { v = Trl2Entry{TimeCode::read(p), p[3]}; }
void write_entry(std::uint8_t* p, std::uint32_t v) { platform::write_u32_be(p, v); }
void write_entry(std::uint8_t* p, const Trl2Entry& v) {
    v.time.write(p);
    p[3] = v.flags;
}

// One array of a list: the first `count` entries and the raw rest of its 1020 bytes.
template <class Entry>
void read_array(const std::uint8_t* array, std::size_t count, std::vector<Entry>& entries, Bytes& tail) {
    entries.resize(count);
    for (std::size_t i = 0; i < count; ++i) read_entry(array + 4 * i, entries[i]);
    tail.assign(array + 4 * count, array + kTrackArrayBytes);
}

template <class List>
platform::Result<List, SacdError> parse_list(std::span<const std::uint8_t> sector, std::uint8_t track_count,
                                             std::string_view signature, auto first, auto first_tail, auto second,
                                             auto second_tail) {
    if (sector.size() != kSectorSize)
        return err(SacdError::malformed(std::string(signature) + " sector is " + std::to_string(sector.size()) +
                                        " bytes, expected " + std::to_string(kSectorSize)));
    if (std::memcmp(sector.data(), signature.data(), signature.size()) != 0)
        return err(SacdError::malformed("missing " + std::string(signature) + " magic"));
    List list;
    read_array(sector.data() + kFirstArray, track_count, list.*first, list.*first_tail);
    read_array(sector.data() + kSecondArray, track_count, list.*second, list.*second_tail);
    return list;
}

template <class Entry>
platform::Result<Bytes, EditError> emit_list(std::string_view signature, const std::vector<Entry>& first,
                                             const Bytes& first_tail, const std::vector<Entry>& second,
                                             const Bytes& second_tail) {
    auto internal = [&](std::string text) { return err(EditError(edit_errors::Sacd{std::move(text)})); };
    const std::string name(signature);
    if (first.size() != second.size())
        return internal(name + ": the two arrays hold " + std::to_string(first.size()) + " and " +
                        std::to_string(second.size()) + " entries - every track needs one of each");
    if (first.size() > kMaxTracks)
        return internal(name + ": " + std::to_string(first.size()) + " tracks exceed the maximum of " +
                        std::to_string(kMaxTracks));
    const std::size_t tail_len = kTrackArrayBytes - 4 * first.size();
    if (first_tail.size() != tail_len || second_tail.size() != tail_len)
        return internal(name + ": tails of " + std::to_string(first_tail.size()) + " and " +
                        std::to_string(second_tail.size()) + " bytes do not fill the arrays after " +
                        std::to_string(first.size()) + " entries (expected " + std::to_string(tail_len) + " each)");
    Bytes sector(kSectorSize, 0);
    std::memcpy(sector.data(), signature.data(), signature.size());
    auto write_array = [&](std::uint8_t* array, const std::vector<Entry>& entries, const Bytes& tail) {
        for (std::size_t i = 0; i < entries.size(); ++i) write_entry(array + 4 * i, entries[i]);
        std::copy(tail.begin(), tail.end(), array + 4 * entries.size());  // the tail may be empty
    };
    write_array(sector.data() + kFirstArray, first, first_tail);
    write_array(sector.data() + kSecondArray, second, second_tail);
    return sector;
}

Bytes zero_tail(std::size_t entries) {
    return Bytes(entries <= kMaxTracks ? kTrackArrayBytes - 4 * entries : 0, 0);
}

}  // namespace

Trl1 Trl1::make(std::vector<std::uint32_t> start_lsns, std::vector<std::uint32_t> lengths) {
    Trl1 list;
    list.start_tail = zero_tail(start_lsns.size());
    list.length_tail = zero_tail(lengths.size());
    list.start_lsns = std::move(start_lsns);
    list.lengths = std::move(lengths);
    return list;
}

platform::Result<Trl1, SacdError> Trl1::parse(std::span<const std::uint8_t> sector, std::uint8_t track_count) {
    return parse_list<Trl1>(sector, track_count, kSignature, &Trl1::start_lsns, &Trl1::start_tail, &Trl1::lengths,
                            &Trl1::length_tail);
}

platform::Result<Bytes, EditError> Trl1::emit() const {
    return emit_list(kSignature, start_lsns, start_tail, lengths, length_tail);
}

Trl2 Trl2::make(std::vector<Trl2Entry> starts, std::vector<Trl2Entry> durations) {
    Trl2 list;
    list.start_tail = zero_tail(starts.size());
    list.duration_tail = zero_tail(durations.size());
    list.starts = std::move(starts);
    list.durations = std::move(durations);
    return list;
}

platform::Result<Trl2, SacdError> Trl2::parse(std::span<const std::uint8_t> sector, std::uint8_t track_count) {
    return parse_list<Trl2>(sector, track_count, kSignature, &Trl2::starts, &Trl2::start_tail, &Trl2::durations,
                            &Trl2::duration_tail);
}

platform::Result<Bytes, EditError> Trl2::emit() const {
    return emit_list(kSignature, starts, start_tail, durations, duration_tail);
}

TrackListValues track_list_values(const Trl1* trl1, const Trl2* trl2, std::size_t track) {
    TrackListValues v;
    if (trl1) {
        if (track < trl1->start_lsns.size()) v.lsn_start = trl1->start_lsns[track];
        if (track < trl1->lengths.size()) v.lsn_length = trl1->lengths[track];
    }
    if (!trl2) return v;
    auto frames_of = [](const std::vector<Trl2Entry>& list, std::size_t k) -> std::uint64_t {
        return k < list.size() ? list[k].time.to_frames() : 0;
    };
    if (track < trl2->starts.size()) {
        const Trl2Entry& start = trl2->starts[track];
        v.start_time = start.time.to_string();
        v.start_frames = start.time.to_frames();
        v.extra_use = sacd::extra_use(start);
    }
    if (track < trl2->durations.size()) {
        const Trl2Entry& duration = trl2->durations[track];
        v.duration = duration.time.to_string();
        v.duration_frames = duration.time.to_frames();
        v.index_list_present = sacd::index_list_present(duration);
        for (std::size_t i = 0; i < 4; ++i) v.track_mute_flags[i] = track_mute_flag(duration, i);
    }
    if (track == 0) {
        v.pause_frames = v.start_frames;
    } else {
        // No time counts as 0 frames, so a missing previous duration simply drops out of the sum.
        const std::uint64_t previous_end = frames_of(trl2->starts, track - 1) + frames_of(trl2->durations, track - 1);
        v.pause_frames = v.start_frames > previous_end ? v.start_frames - previous_end : 0;
    }
    return v;
}

}  // namespace sacd
