// The describe model: a read-only snapshot of a disc in which every value the reports show is
// already decoded into numbers, flags and UTF-8 texts. The text and JSON reports render it, the
// lookup command and the track tags read it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sacd/charset.h"
#include "sacd/disc.h"
#include "sacd/genre.h"
#include "sacd/master_toc.h"

namespace sacd::describe {

using OptText = std::optional<std::string>;

struct GenreRef {
    std::uint8_t table = 0;   // Genre_Table
    std::uint16_t index = 0;  // Genre_Index

    friend bool operator==(const GenreRef&, const GenreRef&) = default;
};

// One declared text channel of the Master TOC.
struct LocaleDescription {
    std::uint8_t index = 0;  // channel number 0..7
    std::string language;    // exactly two characters; "?" for a byte that is not printable ASCII
    std::string char_set;    // wire name, or "Reserved"

    friend bool operator==(const LocaleDescription&, const LocaleDescription&) = default;
};

// The sixteen album and disc texts, in MasterField order. `Text` is an optional text in the
// description and a plain text in EditableMeta.
template <class Text>
struct MasterTexts {
    Text album_title, album_artist, album_publisher, album_copyright;
    Text album_title_phonetic, album_artist_phonetic, album_publisher_phonetic, album_copyright_phonetic;
    Text disc_title, disc_artist, disc_publisher, disc_copyright;
    Text disc_title_phonetic, disc_artist_phonetic, disc_publisher_phonetic, disc_copyright_phonetic;

    friend bool operator==(const MasterTexts&, const MasterTexts&) = default;
};

// The sixteen texts of a track, in TrackField order.
template <class Text>
struct TrackTexts {
    Text title, performer, songwriter, composer, arranger, message, extra_message, copyright;
    Text title_phonetic, performer_phonetic, songwriter_phonetic, composer_phonetic;
    Text arranger_phonetic, message_phonetic, extra_message_phonetic, copyright_phonetic;

    friend bool operator==(const TrackTexts&, const TrackTexts&) = default;
};

// The one table of the text keys: the JSON key of each field and its member, in field order.
template <class Text>
struct MasterTextKey {
    std::string_view key;
    Text MasterTexts<Text>::*member;
};
template <class Text>
struct TrackTextKey {
    std::string_view key;
    Text TrackTexts<Text>::*member;
};

template <class Text>
inline constexpr std::array<MasterTextKey<Text>, 16> kMasterTextKeys{{
    {"album_title", &MasterTexts<Text>::album_title},
    {"album_artist", &MasterTexts<Text>::album_artist},
    {"album_publisher", &MasterTexts<Text>::album_publisher},
    {"album_copyright", &MasterTexts<Text>::album_copyright},
    {"album_title_phonetic", &MasterTexts<Text>::album_title_phonetic},
    {"album_artist_phonetic", &MasterTexts<Text>::album_artist_phonetic},
    {"album_publisher_phonetic", &MasterTexts<Text>::album_publisher_phonetic},
    {"album_copyright_phonetic", &MasterTexts<Text>::album_copyright_phonetic},
    {"disc_title", &MasterTexts<Text>::disc_title},
    {"disc_artist", &MasterTexts<Text>::disc_artist},
    {"disc_publisher", &MasterTexts<Text>::disc_publisher},
    {"disc_copyright", &MasterTexts<Text>::disc_copyright},
    {"disc_title_phonetic", &MasterTexts<Text>::disc_title_phonetic},
    {"disc_artist_phonetic", &MasterTexts<Text>::disc_artist_phonetic},
    {"disc_publisher_phonetic", &MasterTexts<Text>::disc_publisher_phonetic},
    {"disc_copyright_phonetic", &MasterTexts<Text>::disc_copyright_phonetic},
}};

template <class Text>
inline constexpr std::array<TrackTextKey<Text>, 16> kTrackTextKeys{{
    {"title", &TrackTexts<Text>::title},
    {"performer", &TrackTexts<Text>::performer},
    {"songwriter", &TrackTexts<Text>::songwriter},
    {"composer", &TrackTexts<Text>::composer},
    {"arranger", &TrackTexts<Text>::arranger},
    {"message", &TrackTexts<Text>::message},
    {"extra_message", &TrackTexts<Text>::extra_message},
    {"copyright", &TrackTexts<Text>::copyright},
    {"title_phonetic", &TrackTexts<Text>::title_phonetic},
    {"performer_phonetic", &TrackTexts<Text>::performer_phonetic},
    {"songwriter_phonetic", &TrackTexts<Text>::songwriter_phonetic},
    {"composer_phonetic", &TrackTexts<Text>::composer_phonetic},
    {"arranger_phonetic", &TrackTexts<Text>::arranger_phonetic},
    {"message_phonetic", &TrackTexts<Text>::message_phonetic},
    {"extra_message_phonetic", &TrackTexts<Text>::extra_message_phonetic},
    {"copyright_phonetic", &TrackTexts<Text>::copyright_phonetic},
}};

struct MasterTextDescription : MasterTexts<OptText> {
    std::uint8_t locale = 0;
};

// One text channel's texts of a track; an absent or lossily decoded text is empty.
struct TrackLocaleText : TrackTexts<std::string> {
    std::uint8_t locale = 0;
};

struct IsrcComponents {
    std::string country_code;      // characters 1-2
    std::string owner_code;        // 3-5
    std::string recording_year;    // 6-7
    std::string designation_code;  // 8-12

    friend bool operator==(const IsrcComponents&, const IsrcComponents&) = default;
};

struct TrackDescription : TrackTexts<OptText> {
    std::uint64_t index = 0;  // within the area, from 1
    std::vector<TrackLocaleText> text_by_locale;
    std::string start_time = "--:--:--";
    std::string duration = "--:--:--";
    std::uint64_t start_frames = 0, duration_frames = 0, pause_frames = 0;
    std::uint32_t lsn_start = 0, lsn_length = 0;
    OptText isrc;
    std::optional<IsrcComponents> isrc_components;
    std::optional<GenreRef> genre;
    bool dst_coded = false;
    bool index_list_present = false;
    std::array<bool, 4> track_mute_flags{};  // TMF1..TMF4
    std::uint8_t extra_use = 0;
};

struct PlaylistEntry {
    std::uint8_t track = 0;
    std::uint8_t index = 0;

    friend bool operator==(const PlaylistEntry&, const PlaylistEntry&) = default;
};

struct PlaylistDescription {
    OptText name;
    std::vector<PlaylistEntry> entries;

    friend bool operator==(const PlaylistDescription&, const PlaylistDescription&) = default;
};

inline constexpr std::string_view kKindStereo = "Stereo";
inline constexpr std::string_view kKindMultiChannel = "MultiChannel";

struct AreaDescription {
    std::uint64_t index = 0;  // position in the Disc's areas
    std::string kind;         // kKindStereo or kKindMultiChannel
    std::uint8_t channel_count = 0;
    std::uint8_t max_available_channels = 0;
    std::string loudspeaker_config;  // "Stereo", "FiveChannel", "FivePointOne" or "Reserved"
    std::uint8_t extra_setting = 0;
    std::uint8_t frame_format = 0;
    bool dst_coded = false;
    std::uint8_t track_count = 0;
    std::uint8_t track_offset = 0;
    std::uint8_t first_bonus_track_number = 0;
    std::array<bool, 4> area_mute_flags{};  // AMF1..AMF4
    std::uint8_t track_attribute = 0;
    std::string total_area_play_time = "--:--:--";
    std::uint64_t total_area_play_time_frames = 0;
    std::uint32_t audio_lsn_start = 0;
    std::uint32_t audio_lsn_end = 0;
    std::uint32_t audio_sectors = 0;
    std::vector<AreaTextChannel> area_text;
    std::vector<OptText> track_weblinks;  // filled by the describe command
    std::vector<PlaylistDescription> playlists;  // filled by the describe command
    std::vector<TrackDescription> tracks;
};

struct DiscDescription {
    std::string spec_version;
    std::uint16_t set_size = 0;
    std::uint16_t set_sequence = 0;
    OptText album_catalog;
    OptText disc_catalog;
    std::vector<GenreRef> album_genre;
    std::vector<GenreRef> disc_genre;
    OptText date;
    bool hybrid = false;
    OptText weblink;
    bool has_extension_area = false;
    bool has_ekb1 = false;
    bool has_ekb2 = false;
    bool has_revocation_data = false;
    std::vector<LocaleDescription> locales;
    std::vector<MasterTextDescription> master_text;
    std::vector<AreaDescription> areas;

    // Nothing when the disc has no typed primary Master TOC at LSN 510. Malformed fields never
    // fail: they give absent texts, empty lists or neutral values.
    static std::optional<DiscDescription> from_disc(const Disc& disc);
};

// The text of a 16-byte catalog number without its trailing zeros and spaces; nothing when
// nothing else is left. Bytes that are not UTF-8 are read as Latin-1.
OptText trim_catalog_opt(const CatalogNumber& catalog_field);

// The used codes of a valid genre set, in slot order; the empty list for an invalid set.
std::vector<GenreRef> genre_refs(const Genre4& genre_codes);

// The web link of each track from a Track WebLink List block ("SACD_WLL"); empty for a block
// without the signature or a track count of 0.
std::vector<OptText> parse_track_weblink_list(std::span<const std::uint8_t> block, std::size_t track_count);

// The playlists of a Set of Playlists block ("SACDPLAY"). Names are read only when a character
// set is given; entries only when the playlist's whole 512-byte slot lies inside the block.
std::vector<PlaylistDescription> parse_set_of_playlists(std::span<const std::uint8_t> block,
                                                        std::optional<CharSet> charset);

// A plain-text copy of the description: every absent text is the empty text.
struct EditableMeta {
    struct Locale {
        std::uint8_t index = 0;
        std::string language;
        std::string char_set;
    };
    struct MasterTextRecord : MasterTexts<std::string> {
        std::uint8_t locale = 0;
    };
    struct Track {
        std::vector<TrackLocaleText> text_by_locale;
    };
    struct Area {
        std::string kind;
        std::uint8_t channel_count = 0;
        std::uint8_t track_count = 0;
        std::vector<Track> tracks;
    };

    std::vector<Locale> locales;
    std::vector<MasterTextRecord> master_text;
    std::string album_catalog;
    std::string disc_catalog;
    std::vector<GenreRef> album_genre;
    std::vector<GenreRef> disc_genre;
    std::vector<Area> areas;
    std::uint16_t disc_date_year = 0;
    std::uint8_t disc_date_month = 0;
    std::uint8_t disc_date_day = 0;
    std::uint16_t set_size = 0;
    std::uint16_t set_sequence = 0;
};

// Nothing exactly when from_disc gives nothing.
std::optional<EditableMeta> editable_meta(const Disc& disc);

}  // namespace sacd::describe
