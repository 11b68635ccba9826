// The tags and audio format of one extracted track, and their ID3v2.3 rendering, which DSF
// files carry at their end and DSDIFF track files in an "ID3 " chunk.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sacd/audio/dsd_frame.h"

namespace sacd::audio {

// Collects ID3v2.3 frames in the order they are added and renders the tag.
class Id3v2Builder {
public:
    // A text frame (TIT2, TPE1, ...). An empty text adds nothing.
    void add_text(std::string_view frame_id, std::string_view text);
    // A user-defined text frame (TXXX) with its description.
    void add_txxx(std::string_view description, std::string_view value);
    // The whole tag: header and frames, no padding. Empty when there is no frame to write or the
    // frames do not fit the tag's 28-bit size field.
    std::vector<std::uint8_t> render() const;

    bool empty() const { return frames_.empty(); }

private:
    struct Frame {
        char id[4];
        std::vector<std::uint8_t> body;
    };
    std::vector<Frame> frames_;
};

// Every text is UTF-8; a text counts as present when it is set and not empty.
struct TrackMeta {
    std::optional<std::string> title;
    std::optional<std::string> artist;
    std::optional<std::string> album;
    std::optional<std::string> genre;
    std::optional<std::string> composer;
    std::optional<std::string> publisher;
    std::optional<std::string> copyright;
    std::optional<std::string> isrc;
    std::optional<std::string> catalog;
    std::optional<std::string> album_artist;
    std::optional<std::string> songwriter;
    std::optional<std::string> performer;
    std::optional<std::uint32_t> track_number;
    std::optional<std::uint32_t> track_total;
    std::optional<std::uint16_t> year;
    std::optional<std::uint16_t> disc_number;
    std::optional<std::uint16_t> disc_total;
    std::uint32_t sampling_frequency = kDsdSamplingFrequency;
    std::uint8_t channel_count = 2;

    // Whether the file gets a tag at all. A track number alone does not make one.
    bool has_tags() const;
    // The rendered ID3v2.3 tag; empty when has_tags() is false or nothing renders.
    std::vector<std::uint8_t> id3_v2() const;
};

// A text field that is set and not empty.
inline bool present(const std::optional<std::string>& text) { return text && !text->empty(); }

}  // namespace sacd::audio
