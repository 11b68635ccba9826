// The extraction pipeline: per area, demultiplex, segment, and write every selected track
// through its writer into a ".partial" file that is renamed when complete.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/buffered_writer.h"
#include "platform/file.h"
#include "platform/result.h"
#include "sacd/audio/container_error.h"
#include "sacd/audio/track_meta.h"
#include "sacd/describe/description.h"
#include "sacd/disc.h"
#include "sacd/image.h"

namespace sacd::audio {

enum class OutputFormat : std::uint8_t { Dsf = 0, Dsdiff = 1, DsdiffDst = 2, EditMaster = 3, EditMasterDst = 4 };
enum class Compression : std::uint8_t { Max = 0, High = 1, Fast = 2, Turbo = 3 };

// Album-level and per-track tag values, built once per run. An empty text counts as absent.
struct ExtractTags {
    struct Track {
        std::optional<std::string> title, performer, composer, isrc, genre, songwriter;
    };
    std::optional<std::string> album, artist, publisher, copyright, catalog, genre;
    std::optional<std::uint16_t> year, disc_number, disc_total;
    // Per area (index as in the disc), per track (index = track number - 1).
    std::vector<std::vector<Track>> tracks;

    static ExtractTags build(const std::optional<describe::DiscDescription>& description, const MasterToc* master_toc);
};

struct ExtractOptions {
    platform::Path output_folder;
    OutputFormat format = OutputFormat::Dsf;
    std::optional<std::string> album_name;
    std::optional<std::string> track_selection;
    bool overwrite = false;
    Compression compression = Compression::Max;
};

// What the pipeline tells its caller while it runs.
struct ExtractObserver {
    // A track starts: its position in the selection (from 1), its number, the selection size.
    std::function<void(std::size_t position, std::uint8_t number, std::size_t selected)> track_started;
    // Timing and diagnostic lines for standard error.
    std::function<void(std::string_view line)> log;
    // Asked before every frame read; true ends the run with "extract cancelled".
    std::function<bool()> cancelled;
};

struct AreaResult {
    std::size_t files = 0;
    platform::Path area_folder;
};

// The album folder (output folder joined with the album folder name).
platform::Path album_folder(const ExtractOptions& options, const ExtractTags& tags, const std::string& image_path);

// Extracts one area. Errors are the finished message text (without the "extract: " prefix).
platform::Result<AreaResult, std::string> extract_area(ByteSource& source, const Disc& disc, std::size_t area_index,
                                                       const ExtractOptions& options, const ExtractTags& tags,
                                                       const platform::Path& album, const ExtractObserver& observer);

// The refusal for a format whose writer this build does not have for the area's coding, or
// nothing. Callers check every area before extracting any, so that nothing is written.
std::optional<std::string> unavailable_writer(const AreaToc& toc, OutputFormat format);

// The ascending selected track numbers of an area with `track_count` tracks, or the message.
platform::Result<std::vector<std::uint8_t>, std::string> parse_track_selection(std::string_view text,
                                                                             std::size_t track_count);

// Naming.
std::string sanitize_component(std::string_view text);
std::string track_filename(std::uint32_t number, std::uint32_t track_count, const std::optional<std::string>& title,
                           std::string_view extension);
platform::Path partial_path(const platform::Path& path);

// Flushes, closes and renames a finished ".partial" file, or closes and deletes it when the writer
// failed. Returns the message for a failure.
platform::Result<void, std::string> finalize(const platform::Result<void, ContainerError>& written,
                                             platform::BufferedWriter& writer, platform::File& file,
                                             const platform::Path& partial, const platform::Path& final_path);

// Tuning switches from the environment.
std::optional<std::size_t> env_usize_knob(const char* name, std::size_t max);
std::size_t decode_threads();
bool extract_timings_on();

}  // namespace sacd::audio
