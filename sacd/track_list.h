// Track List 1 and Track List 2: the one-sector lists after the Area TOC that give every
// track's place on the disc (start LSN, length) and its times and flags.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"
#include "sacd/edit_error.h"
#include "sacd/error.h"
#include "sacd/image.h"
#include "sacd/time_code.h"

namespace sacd {

// Both lists have room for this many tracks; only the area's track_count entries are meaningful.
inline constexpr std::size_t kMaxTracks = 255;
// Bytes of one array of a list (255 entries of 4 bytes).
inline constexpr std::size_t kTrackArrayBytes = kMaxTracks * 4;

// Track List 1: start LSN and length in sectors of each track.
struct Trl1 {
    static constexpr std::string_view kSignature = "SACDTRL1";

    std::vector<std::uint32_t> start_lsns;  // one per track, track_count entries
    std::vector<std::uint32_t> lengths;     // sectors, one per track
    Bytes start_tail;                       // unused rest of the start array, kept as read
    Bytes length_tail;                      // unused rest of the length array, kept as read

    // A list for these tracks with zeroed tails; nothing is checked until emit.
    static Trl1 make(std::vector<std::uint32_t> start_lsns, std::vector<std::uint32_t> lengths);

    // Reads the first `track_count` entries; fails only on the signature ("missing SACDTRL1
    // magic") or when the span is not one whole sector.
    static platform::Result<Trl1, SacdError> parse(std::span<const std::uint8_t> sector, std::uint8_t track_count);
    // The sector; an internal error when the two lists differ in length, hold more than 255
    // entries, or a list and its tail do not fill 1020 bytes.
    platform::Result<Bytes, EditError> emit() const;

    friend bool operator==(const Trl1&, const Trl1&) = default;
};

// One 4-byte Track List 2 entry exactly as stored: a time code and a flag byte.
struct Trl2Entry {
    TimeCode time = TimeCode::none();
    // Start entry: bits 5-7 the extra-use value. Duration entry: bit 7 ILP, bits 3..6 TMF1..TMF4.
    // The other bits are kept.
    std::uint8_t flags = 0;

    friend bool operator==(const Trl2Entry&, const Trl2Entry&) = default;
};

// Track List 2: start time and duration of each track, with per-track flags.
struct Trl2 {
    static constexpr std::string_view kSignature = "SACDTRL2";

    std::vector<Trl2Entry> starts;     // one per track, track_count entries
    std::vector<Trl2Entry> durations;  // one per track
    Bytes start_tail;                  // unused rest of the start array, kept as read
    Bytes duration_tail;               // unused rest of the duration array, kept as read

    // A list for these tracks with zeroed tails; nothing is checked until emit.
    static Trl2 make(std::vector<Trl2Entry> starts, std::vector<Trl2Entry> durations);

    // As Trl1::parse, with "missing SACDTRL2 magic".
    static platform::Result<Trl2, SacdError> parse(std::span<const std::uint8_t> sector, std::uint8_t track_count);
    // As Trl1::emit.
    platform::Result<Bytes, EditError> emit() const;

    friend bool operator==(const Trl2&, const Trl2&) = default;
};

// Flag bits of the Track List 2 entries.
inline std::uint8_t extra_use(const Trl2Entry& start) { return static_cast<std::uint8_t>(start.flags >> 5); }
inline bool index_list_present(const Trl2Entry& duration) { return (duration.flags & 0x80) != 0; }
// TMF1..TMF4 (index 0..3) at bits 3..6 of the duration entry.
inline bool track_mute_flag(const Trl2Entry& duration, std::size_t index) {
    return index < 4 && ((duration.flags >> (3 + index)) & 1) != 0;
}

// The values of one track derived from the two lists, either of which may be missing.
struct TrackListValues {
    std::uint32_t lsn_start = 0;   // 0 when Track List 1 is missing or shorter
    std::uint32_t lsn_length = 0;  // sectors
    std::string start_time = "--:--:--";  // "MM:SS:FF", or "--:--:--" for no time or no entry
    std::string duration = "--:--:--";
    std::uint64_t start_frames = 0;  // 0 for no time
    std::uint64_t duration_frames = 0;
    std::uint64_t pause_frames = 0;  // gap since the end of the previous track, never negative
    std::array<bool, 4> track_mute_flags{};  // TMF1..TMF4
    bool index_list_present = false;
    std::uint8_t extra_use = 0;

    friend bool operator==(const TrackListValues&, const TrackListValues&) = default;
};

// The values of track `track` (0-based); pass nullptr for a list the area does not have.
TrackListValues track_list_values(const Trl1* trl1, const Trl2* trl2, std::size_t track);

}  // namespace sacd
