// The Area TOC record: the first sector of each audio area's TOC block (TOC-1 before the audio,
// TOC-2 after it). It gives the area's audio format, track count, audio extent, text channels,
// area texts and where the lists of the block start.
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
#include "sacd/time_code.h"

namespace sacd {

// The four area texts of one text channel; each absent when its pointer is unset or the text empty.
struct AreaTextChannel {
    std::optional<std::string> description;
    std::optional<std::string> copyright;
    std::optional<std::string> description_phonetic;
    std::optional<std::string> copyright_phonetic;

    friend bool operator==(const AreaTextChannel&, const AreaTextChannel&) = default;
};

struct AreaToc {
    static constexpr std::string_view kStereoSignature = "TWOCHTOC";
    static constexpr std::string_view kMultichannelSignature = "MULCHTOC";
    static constexpr std::size_t kTextChannelsSize = 40;
    static constexpr std::size_t kAreaTextOffset = 144;
    static constexpr std::size_t kAreaTextSize = 1904;  // up to the end of the sector
    static constexpr std::size_t kMaxTextChannels = 8;

    // Fields in sector order; numbers are native, converted from big-endian. Reserved groups are
    // kept as read. The fixed blocks are arrays so a record can never be emitted with a wrong size.
    bool multichannel = false;  // signature "MULCHTOC"; otherwise "TWOCHTOC"
    std::uint8_t spec_version_major = 0;
    std::uint8_t spec_version_minor = 0;
    std::uint16_t toc_length = 0;  // length of the Area TOC block in sectors
    std::array<std::uint8_t, 4> reserved_12{};
    std::uint32_t max_byte_rate = 0;
    std::uint8_t fs_code = 0;
    std::uint8_t frame_format = 0;  // whole byte as stored; see frame_format_code()
    std::array<std::uint8_t, 10> reserved_22{};
    std::uint8_t channel_count = 0;
    std::uint8_t speaker_setup = 0;  // bits 0-4 loudspeaker configuration, bits 5-7 extra setting
    std::uint8_t max_available_channels = 0;
    std::uint8_t area_mute_flags = 0;  // bits 3..6: AMF1..AMF4; other bits kept
    std::array<std::uint8_t, 12> reserved_36{};
    std::uint8_t track_attribute = 0;  // bits 0-6 the attribute; bit 7 kept
    std::array<std::uint8_t, 15> reserved_49{};
    TimeCode total_area_play_time = TimeCode::none();
    std::uint8_t reserved_67 = 0;
    std::uint8_t track_offset = 0;
    std::uint8_t track_count = 0;
    std::uint8_t first_bonus_track_number = 0;
    std::uint8_t reserved_71 = 0;
    std::uint32_t audio_lsn_start = 0;  // first LSN of the area's audio
    std::uint32_t audio_lsn_end = 0;    // last LSN of the area's audio
    // Byte 0: channel count N; bytes 1..7 reserved; entry i (language 2 bytes, character-set
    // code, reserved byte) at 8 + 4i. Same form as the Master TOC's block.
    std::array<std::uint8_t, kTextChannelsSize> text_channels{};
    std::array<std::uint8_t, 8> reserved_120{};
    // List starts in sectors from the start of this Area TOC; 0 = none.
    std::uint16_t track_text_ptr = 0;
    std::uint16_t list_ptr_a = 0;
    std::uint16_t list_ptr_b = 0;  // the Access List ("SACD_ACC")
    std::uint16_t track_weblink_list_ptr = 0;
    std::uint16_t list_ptr_c = 0;  // Track List 3
    std::uint16_t set_of_playlists_ptr = 0;
    std::array<std::uint8_t, 4> reserved_140{};
    // Sector bytes 144..2047: four 2-byte pointers per channel at 8i, then the text heap.
    // Pointers are byte offsets from the start of the sector.
    std::array<std::uint8_t, kAreaTextSize> area_text{};

    // A default-constructed record is a valid stereo Area TOC with no tracks, no text channels
    // and an unknown play time.

    // Fails only when the first 8 bytes are neither signature ("missing TWOCHTOC/MULCHTOC magic")
    // or the span is not one whole sector. No other field is validated.
    static platform::Result<AreaToc, SacdError> parse(std::span<const std::uint8_t> sector);
    // The sector laid out field by field; parse followed by emit gives back the same bytes.
    Bytes emit() const;

    // One element per declared channel (at most 8), empty when no channel is declared.
    std::vector<AreaTextChannel> area_text_decoded() const;

    // Removes entry `index`: later entries move down, the freed last entry is zeroed, N drops by
    // one. LocaleOutOfRange when index >= N; an internal error when N > 8. Nothing changes on error.
    platform::Result<void, EditError> text_channels_remove(std::uint8_t index);

    // N as stored (may exceed 8 on a damaged disc).
    std::uint8_t text_channel_count() const { return text_channels[0]; }
    // Character set of channel i: codes 1..7 give their sets, other codes "other"; a channel
    // whose entry lies beyond the block (i >= 8) reads as Iso646.
    CharSet channel_charset(std::size_t i) const;
    // The character sets of the N declared channels, in channel order.
    std::vector<CharSet> channel_charsets() const;

    // Low 4 bits of frame_format: 0 is DST-coded audio, any other value plain DSD.
    std::uint8_t frame_format_code() const { return frame_format & 0x0F; }
    bool dst_coded() const { return frame_format_code() == 0; }
    std::uint8_t loudspeaker_config() const { return speaker_setup & 0x1F; }
    std::uint8_t extra_setting() const { return static_cast<std::uint8_t>(speaker_setup >> 5); }
    // AMF1..AMF4 (index 0..3) at bits 3..6.
    bool area_mute_flag(std::size_t index) const { return index < 4 && ((area_mute_flags >> (3 + index)) & 1) != 0; }
    std::uint8_t track_attribute_value() const { return track_attribute & 0x7F; }

    // Total play time in frames; 0 when unknown.
    std::uint64_t total_play_frames() const { return total_area_play_time.to_frames(); }
    // end - start + 1; 1 when the end lies before the start; 0xFFFFFFFF when the count wraps.
    std::uint32_t audio_sectors() const;

    friend bool operator==(const AreaToc&, const AreaToc&) = default;
};

}  // namespace sacd
