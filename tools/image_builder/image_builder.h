// Writes complete synthetic SACD images from a description: Master TOC copies, Master Text in
// any number of text channels, manufacturer sectors, one or two areas with their TOC blocks
// (track lists, ISRC and genre list, Track Text, optional further lists) and the audio sectors.
// Every record is written through its own emitter. Options make deliberately broken images.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/result.h"
#include "sacd/area_toc.h"
#include "sacd/charset.h"
#include "sacd/genre.h"
#include "sacd/master_field.h"
#include "sacd/track_text.h"
#include "tools/image_builder/audio_sectors.h"
#include "tools/image_builder/bridge_writer.h"
#include "tools/image_builder/sdm.h"

namespace image_builder {

using Bytes = std::vector<std::uint8_t>;

struct TextChannelSpec {
    std::string language = "en";
    sacd::CharSet charset = sacd::CharSet::Value::Iso646;
};

struct TrackSpec {
    std::uint32_t frames = 75;        // the track's length in frames (1/75 s)
    std::uint32_t pause_frames = 0;   // silence before the track, outside every track window
    // Texts per text channel of the area (index = channel).
    std::vector<std::map<sacd::TrackField, std::string>> texts;
    std::string isrc;  // stored as 12 bytes when not empty
    sacd::GenreCode genre{};
    // One signal per audio channel; missing channels play a default chord.
    std::vector<ChannelSignal> signal;
    std::uint8_t start_flags = 0, duration_flags = 0;  // Track List 2 flag bytes
};

struct AreaSpec {
    bool multichannel = false;
    std::uint8_t channel_count = 2;  // 2, 5 or 6
    std::uint8_t frame_format = 2;   // 0 DST-coded (frames from dst_frame), 2 or 3 plain DSD
    std::vector<TrackSpec> tracks;
    // The area's text channels; empty means the disc's channels.
    std::optional<std::vector<TextChannelSpec>> text_channels;
    std::vector<sacd::AreaTextChannel> area_texts;  // per channel
    bool track_text = true;
    bool access_list = false;            // a 32-sector "SACD_ACC" list
    std::optional<Bytes> weblink_list;   // a Track WebLink List block (padded to 4 sectors)
    std::optional<Bytes> playlists;      // a Set of Playlists block (padded to 5 sectors)
    std::uint32_t toc_padding_sectors = 0;   // zero sectors at the end of each TOC block
    std::uint32_t track_text_sectors = 0;    // 0: as many as the texts need
    std::uint32_t gap_after_audio = 0;       // sectors between the audio and TOC-2
    // DST areas: the coded bytes of area frame i (pauses included).
    std::function<Bytes(std::uint32_t frame)> dst_frame;
    PackerOptions packer;  // dst is set from frame_format
    // Audio repeats every this many frames of a track (0 = never); keeps huge images cheap.
    std::uint32_t audio_period_frames = 0;
};

struct Defects {
    bool damage_primary_master_toc = false;  // LSN 510 signature broken, copies intact
    std::optional<std::uint64_t> truncate_to;  // bytes
    bool overlapping_windows = false;        // track 2 starts one frame before track 1 ends
    bool audio_reserved_bit = false;         // reserved header bit set in the first audio sector
    bool unknown_list_after_trl2 = false;    // the ISRC and genre list's signature is broken
    bool multichannel_first = false;         // the multichannel area placed before the stereo one
};

struct ImageSpec {
    std::vector<TextChannelSpec> text_channels{TextChannelSpec{}};
    std::optional<std::uint8_t> declared_text_channels;  // overrides the stored count (e.g. 9)
    std::vector<std::map<sacd::MasterField, std::string>> master_texts;  // per channel
    std::string album_catalog, disc_catalog;
    sacd::Genre4 album_genre{}, disc_genre{};
    std::uint16_t year = 0;
    std::uint8_t month = 0, day = 0;
    std::uint16_t album_set_size = 1, album_sequence = 1;
    std::string weblink;
    bool hybrid = false;
    std::vector<AreaSpec> areas;  // stereo first, then multichannel
    std::uint32_t gap_before_first_area = 0;  // sectors after LSN 543
    std::uint32_t tail_sectors = 0;
    // An ISO 9660 / UDF bridge in the head and the tail (the tail must hold its file and anchor).
    std::optional<BridgeSpec> bridge;
    Defects defects;
};

// Where the builder put things, for tests to compare against what import finds.
struct BuiltArea {
    std::uint32_t toc1 = 0, toc2 = 0, toc_length = 0;
    std::uint32_t audio_start = 0, audio_end = 0;
    std::uint32_t track_text_ptr = 0, track_text_sectors = 0;
    std::vector<std::uint32_t> track_lsns, track_sectors;
    std::uint32_t total_frames = 0;
};

struct BuiltImage {
    std::uint64_t size = 0;
    std::vector<BuiltArea> areas;
    std::vector<BridgeFile> bridge_files;  // with a bridge: every file its trees list
};

// Writes the image to `path` (replacing it). Errors name the first problem with the description.
platform::Result<BuiltImage, std::string> build_image(const ImageSpec& spec, const std::string& path);

// The audio of one track as the builder synthesises it, planar (channel c's bytes, most
// significant bit first), for plain-DSD areas.
std::vector<Bytes> track_dsd(const ImageSpec& spec, std::size_t area, std::size_t track);

// A small ready-made description: `stereo_tracks` stereo tracks of `frames` frames each, plain
// DSD, English texts, and optionally a 6-channel area (plain-DSD frames cannot carry more than
// two channels, so a multichannel area needs DST frames: give `dst_frame`).
ImageSpec sample_spec(std::size_t stereo_tracks = 3, std::uint32_t frames = 150);

}  // namespace image_builder
