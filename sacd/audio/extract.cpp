#include "sacd/audio/extract.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <set>

#include "platform/buffered_writer.h"
#include "platform/system.h"
#include "sacd/audio/demux.h"
#include "sacd/audio/dsdiff_writer.h"
#include "sacd/audio/dsf_writer.h"
#include "sacd/audio/extract_messages.h"
#include "sacd/audio/frame_reader.h"
#include "sacd/audio/parallel_decoder.h"
#include "sacd/charset.h"
#include "sacd/genre_table.h"

namespace sacd::audio {

using i18n::tr;
using i18n::trf;
using platform::err;
namespace m = extract_msg;

namespace {

std::optional<std::string> present_or_none(const std::optional<std::string>& text) {
    if (text && !text->empty()) return text;
    return std::nullopt;
}

std::optional<std::string> first_present(std::initializer_list<const std::optional<std::string>*> texts) {
    for (const auto* t : texts)
        if (auto v = present_or_none(*t)) return v;
    return std::nullopt;
}

std::string trim(std::string_view s) {
    const auto* ws = " \t\n\r\f\v";
    const auto b = s.find_first_not_of(ws);
    if (b == std::string_view::npos) return {};
    const auto e = s.find_last_not_of(ws);
    return std::string(s.substr(b, e - b + 1));
}

std::optional<std::string> genre_name(const std::optional<describe::GenreRef>& ref) {
    if (!ref) return std::nullopt;
    auto name = genre_ref_name(ref->table, ref->index);
    if (!name) return std::nullopt;
    return std::string(*name);
}

std::optional<std::string> first_genre_name(const std::vector<describe::GenreRef>& refs) {
    for (const auto& r : refs)
        if (auto n = genre_name(r)) return n;
    return std::nullopt;
}

// A decimal number with an optional leading "+", nothing else.
std::optional<std::uint64_t> parse_decimal(std::string_view s) {
    if (!s.empty() && s[0] == '+') s.remove_prefix(1);
    if (s.empty()) return std::nullopt;
    std::uint64_t v = 0;
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || ptr != s.data() + s.size()) return std::nullopt;
    return v;
}

std::string seconds_2(double s) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", s);
    return buf;
}

std::string area_label(const AreaToc& toc) { return (toc.speaker_setup & 0x1F) == 0 ? "Stereo" : "Multichannel"; }

std::string format_label(OutputFormat format, bool dst_area) {
    switch (format) {
        case OutputFormat::Dsf: return "DSF";
        case OutputFormat::Dsdiff: return "DFF-DSD";
        case OutputFormat::DsdiffDst: return "DFF-DST";
        case OutputFormat::EditMaster: return dst_area ? "Edit Master DST" : "Edit Master DSD";
        case OutputFormat::EditMasterDst: return "Edit Master DST";
    }
    return "?";
}

std::string io_text(const platform::IoError& e) { return e.text; }

}  // namespace

ExtractTags ExtractTags::build(const std::optional<describe::DiscDescription>& description, const MasterToc* master_toc) {
    ExtractTags tags;
    if (description) {
        const describe::MasterTextDescription* record = nullptr;
        for (const auto& mt : description->master_text)
            if (mt.locale == 0) {
                record = &mt;
                break;
            }
        if (!record && !description->master_text.empty()) record = &description->master_text.front();
        if (record) {
            tags.album = present_or_none(record->album_title);
            const bool single_disc = !master_toc || master_toc->album_set_size < 2;
            tags.artist = first_present({&record->album_artist, &record->album_artist_phonetic});
            if (!tags.artist && single_disc) tags.artist = first_present({&record->disc_artist, &record->disc_artist_phonetic});
            tags.publisher = present_or_none(record->album_publisher);
            tags.copyright = present_or_none(record->album_copyright);
        }
        tags.catalog = first_present({&description->album_catalog, &description->disc_catalog});
        tags.genre = first_genre_name(description->album_genre);
        if (!tags.genre) tags.genre = first_genre_name(description->disc_genre);
        // The description lists typed areas only; each goes to its place among the disc's areas.
        for (const auto& area : description->areas) {
            if (area.index >= tags.tracks.size()) tags.tracks.resize(static_cast<std::size_t>(area.index) + 1);
            std::vector<Track>& tracks = tags.tracks[static_cast<std::size_t>(area.index)];
            for (const auto& t : area.tracks)
                tracks.push_back(Track{present_or_none(t.title), present_or_none(t.performer),
                                       present_or_none(t.composer), present_or_none(t.isrc), genre_name(t.genre),
                                       present_or_none(t.songwriter)});
        }
    }
    if (master_toc) {
        if (master_toc->disc_date_year != 0) tags.year = master_toc->disc_date_year;
        tags.disc_number = master_toc->album_sequence_number;
        tags.disc_total = master_toc->album_set_size;
    }
    return tags;
}

std::string sanitize_component(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || c == '"' || c == '*' || c == '/' || c == ':' || c == '<' || c == '>' || c == '?' || c == '\\' ||
            c == '|')
            c = '_';
    }
    while (!out.empty() && (out.back() == '.' || out.back() == ' ')) out.pop_back();
    if (out.empty()) return "_";
    std::string stem = out.substr(0, out.find('.'));
    for (char& c : stem)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    static const char* const kReserved[] = {"CON", "PRN", "AUX", "NUL"};
    bool reserved = std::find(std::begin(kReserved), std::end(kReserved), stem) != std::end(kReserved);
    if (!reserved && stem.size() == 4 && (stem.rfind("COM", 0) == 0 || stem.rfind("LPT", 0) == 0) && stem[3] >= '1' &&
        stem[3] <= '9')
        reserved = true;
    if (reserved) out.insert(out.begin(), '_');
    return out;
}

std::string track_filename(std::uint32_t number, std::uint32_t track_count, const std::optional<std::string>& title,
                           std::string_view extension) {
    const std::size_t width = std::max<std::size_t>(2, std::to_string(track_count).size());
    std::string num = std::to_string(number);
    if (num.size() < width) num.insert(0, width - num.size(), '0');
    std::string name = title ? trim(*title) : std::string();
    name = name.empty() ? "Track" : sanitize_component(name);
    return num + " - " + name + "." + std::string(extension);
}

platform::Path partial_path(const platform::Path& path) {
    platform::Path p = path;
    p += ".partial";
    return p;
}

platform::Path album_folder(const ExtractOptions& options, const ExtractTags& tags, const std::string& image_path) {
    std::string name;
    if (options.album_name && !trim(*options.album_name).empty()) {
        name = sanitize_component(*options.album_name);
    } else if (tags.album && !trim(*tags.album).empty()) {
        name = tags.artist && !trim(*tags.artist).empty() ? trim(*tags.artist) + " - " + trim(*tags.album)
                                                           : trim(*tags.album);
        if (tags.year) name += " (" + std::to_string(*tags.year) + ")";
        name = sanitize_component(name);
    } else {
        const platform::Path p(image_path);
        std::string stem = p.filename() == ".." ? std::string() : p.stem().string();
        if (stem.empty() || stem == ".." || !is_valid_utf8(stem)) stem = "disc";
        name = sanitize_component(stem);
    }
    return options.output_folder / name;
}

platform::Result<std::vector<std::uint8_t>, std::string> parse_track_selection(std::string_view text,
                                                                             std::size_t track_count) {
    std::set<std::uint8_t> selected;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        const std::string item = trim(text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
        if (item.empty()) return err(trf(m::kEmptySelectionItem, {{"selection", text}}));
        const auto dash = item.find('-');
        if (dash != std::string::npos) {
            auto a = parse_decimal(trim(std::string_view(item).substr(0, dash)));
            auto b = parse_decimal(trim(std::string_view(item).substr(dash + 1)));
            if (!a || !b || *a == 0 || *a > *b) return err(trf(m::kBadRange, {{"item", item}}));
            if (*b > track_count)
                return err(trf(m::kTrackOutOfRange, {{"n", *b}, {"count", track_count}}));
            for (std::uint64_t n = *a; n <= *b; ++n) selected.insert(static_cast<std::uint8_t>(n));
        } else {
            auto n = parse_decimal(item);
            if (!n) return err(trf(m::kBadNumber, {{"item", item}}));
            if (*n == 0 || *n > track_count) return err(trf(m::kTrackOutOfRange, {{"n", *n}, {"count", track_count}}));
            selected.insert(static_cast<std::uint8_t>(*n));
        }
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    if (selected.empty()) return err(tr(m::kNoTracksSelected));
    return std::vector<std::uint8_t>(selected.begin(), selected.end());
}

platform::Result<void, std::string> finalize(const platform::Result<void, ContainerError>& written,
                                             platform::BufferedWriter& writer, platform::File& file,
                                             const platform::Path& partial, const platform::Path& final_path) {
    if (written.ok()) {
        auto flushed = writer.flush();
        if (!flushed) {
            (void)file.close();
            (void)platform::remove_file(partial);
            return err(trf(m::kWriteFailed, {{"error", ContainerError::io(flushed.error().text).message()}}));
        }
        auto closed = file.close();
        if (!closed) {
            (void)platform::remove_file(partial);
            return err(trf(m::kWriteFailed, {{"error", ContainerError::io(closed.error().text).message()}}));
        }
        auto renamed = platform::rename_replace(partial, final_path);
        if (!renamed) {
            (void)platform::remove_file(partial);
            return err(trf(m::kCouldNotRename,
                           {{"partial", partial.string()}, {"final", final_path.string()}, {"error", renamed.error().text}}));
        }
        return {};
    }
    (void)file.close();
    (void)platform::remove_file(partial);
    return err(trf(m::kWriteFailed, {{"error", written.error().message()}}));
}

std::optional<std::string> unavailable_writer(const AreaToc& toc, OutputFormat format) {
    const std::uint8_t frame_format = toc.frame_format & 0x0F;
    const bool dst = frame_format == 0;
    if (!dst && frame_format != 2 && frame_format != 3) return std::nullopt;  // refused by the area checks
    if (format == OutputFormat::EditMaster || format == OutputFormat::EditMasterDst) return tr(m::kEditMasterUnavailable);
    if (!dst && format == OutputFormat::DsdiffDst) return tr(m::kDstEncodingUnavailable);
    return std::nullopt;
}

std::optional<std::size_t> env_usize_knob(const char* name, std::size_t max) {
    auto value = platform::env(name);
    if (!value) return std::nullopt;
    auto n = parse_decimal(*value);
    if (!n) return std::nullopt;
    return static_cast<std::size_t>(std::min<std::uint64_t>(std::max<std::uint64_t>(*n, 1), max));
}

std::size_t decode_threads() {
    if (auto n = env_usize_knob("SACD_DECODE_THREADS", 256)) return *n;
    return std::max<std::size_t>(1, platform::logical_processor_count());
}

bool extract_timings_on() { return platform::env("SACD_EXTRACT_TIMINGS").has_value(); }

namespace {

struct TrackJob {
    const TrackStream* stream;
    std::uint8_t number;
    platform::Path path;
};

TrackMeta track_meta(const ExtractTags& tags, std::size_t area_index, std::uint8_t number, std::size_t track_total,
                     std::uint8_t channels) {
    TrackMeta meta;
    const ExtractTags::Track* t = nullptr;
    if (area_index < tags.tracks.size() && number >= 1 && number <= tags.tracks[area_index].size())
        t = &tags.tracks[area_index][number - 1];
    if (t) {
        meta.title = t->title;
        meta.composer = t->composer;
        meta.isrc = t->isrc;
        meta.songwriter = t->songwriter;
        meta.performer = t->performer;
    }
    meta.artist = t && t->performer ? t->performer : tags.artist;
    meta.genre = t && t->genre ? t->genre : tags.genre;
    meta.album = tags.album;
    meta.publisher = tags.publisher;
    meta.copyright = tags.copyright;
    meta.catalog = tags.catalog;
    meta.album_artist = tags.artist;
    meta.track_number = number;
    meta.track_total = static_cast<std::uint32_t>(track_total);
    meta.year = tags.year;
    meta.disc_number = tags.disc_number;
    meta.disc_total = tags.disc_total;
    meta.sampling_frequency = kDsdSamplingFrequency;
    meta.channel_count = channels;
    return meta;
}

}  // namespace

platform::Result<AreaResult, std::string> extract_area(ByteSource& source, const Disc& disc, std::size_t area_index,
                                                       const ExtractOptions& options, const ExtractTags& tags,
                                                       const platform::Path& album, const ExtractObserver& observer) {
    auto log = [&](const std::string& line) {
        if (observer.log) observer.log(line);
    };
    const bool timings = extract_timings_on();

    // 1-3: the area and its lists.
    if (area_index >= disc.areas.size()) return err(trf(m::kNoAreaWithIndex, {{"i", area_index}}));
    const DiscArea& area = disc.areas[area_index];
    const AreaToc* toc = area.area_toc();
    if (!toc)
        return err(trf(m::kAreaNotTyped,
                       {{"error", EditError{edit_errors::RequiredRegionMissing{"AreaToc (TOC-1)"}}.message()}}));
    const std::uint8_t frame_format = toc->frame_format & 0x0F;
    const bool dst = frame_format == 0;
    if (!dst && frame_format != 2 && frame_format != 3)
        return err(trf(m::kUnsupportedFrameFormat, {{"value", int{frame_format}}}));
    if (!dst && toc->channel_count != 2) return err(trf(m::kPlainMustBeStereo, {{"n", int{toc->channel_count}}}));
    const Trl1* trl1 = area.trl1();
    if (!trl1) return err(tr(m::kNoTrl1));
    const Trl2* trl2 = area.trl2();
    if (!trl2) return err(tr(m::kNoTrl2));

    // Writers this build does not have are refused before anything is read or created.
    if (auto missing = unavailable_writer(*toc, options.format)) return err(std::move(*missing));

    // 4: the selection.
    std::vector<std::uint8_t> selection;
    if (options.track_selection) {
        auto parsed = parse_track_selection(*options.track_selection, toc->track_count);
        if (!parsed) return err(parsed.error());
        selection = std::move(parsed).value();
    }
    std::vector<TimeCode> starts, durations;
    for (const auto& e : trl2->starts) starts.push_back(e.time);
    for (const auto& e : trl2->durations) durations.push_back(e.time);

    // 5: demultiplex.
    DemuxRequest request;
    const auto* audio = area.audio.as<regions::Untyped>();
    request.first_byte = audio ? audio->offset : std::uint64_t{toc->audio_lsn_start} * kSectorSize;
    request.byte_length = area.audio.size();
    request.frame_format = frame_format;
    request.channel_count = toc->channel_count;
    if (!selection.empty()) request.stop_frame = track_subset_stop_tc(selection, starts, durations);
    const std::uint64_t t0 = platform::monotonic_ns();
    DemuxStats stats;
    auto frames = demultiplex(source, request, &stats);
    if (!frames) return err(trf(m::kDemuxFailed, {{"error", frames.error().display()}}));
    if (timings)
        log("[extract-timings] area demux: " + seconds_2((platform::monotonic_ns() - t0) / 1e9) + "s (io " +
            seconds_2(stats.io_seconds) + "s / parse " + seconds_2(stats.parse_seconds) + "s; " +
            std::to_string(frames->frames.size()) + " frames, " + std::to_string(stats.sectors) + " sectors)");

    const platform::Path folder = album / (area_label(*toc) + " [" + format_label(options.format, dst) + "]");

    // 8: segment.
    const std::uint64_t t1 = platform::monotonic_ns();
    auto tracks = segment(std::move(frames).value(), trl1->start_lsns, toc->audio_lsn_start, starts, durations);
    if (!tracks) return err(trf(m::kSegmentationFailed, {{"error", tracks.error().display()}}));
    if (timings) log("[extract-timings] segment: " + seconds_2((platform::monotonic_ns() - t1) / 1e9) + "s");
    if (selection.empty())
        for (std::size_t n = 1; n <= tracks->tracks.size(); ++n) selection.push_back(static_cast<std::uint8_t>(n));
    for (std::uint8_t n : selection)
        if (n == 0 || n > tracks->tracks.size())
            return err(trf(m::kTrackNotInArea, {{"n", int{n}}, {"count", tracks->tracks.size()}}));
    if (selection.empty()) return err(tr(m::kNoTrackSelected));

    // 9: every output path first; existing files stop the area before anything is written.
    const std::string extension = options.format == OutputFormat::Dsf ? "dsf" : "dff";
    const std::size_t track_total = tracks->tracks.size();
    std::vector<TrackJob> jobs;
    for (std::uint8_t n : selection) {
        std::optional<std::string> title;
        if (area_index < tags.tracks.size() && n <= tags.tracks[area_index].size()) title = tags.tracks[area_index][n - 1].title;
        jobs.push_back(TrackJob{&tracks->tracks[n - 1], n,
                                folder / track_filename(n, static_cast<std::uint32_t>(track_total), title, extension)});
    }
    if (!options.overwrite)
        for (const TrackJob& job : jobs)
            if (platform::path_exists(job.path)) return err(trf(m::kFileExists, {{"path", job.path.string()}}));

    // The area folder is made only now, so that an area refused by any check above leaves no
    // empty folders behind.
    if (auto made = platform::make_directories(folder); !made)
        return err(trf(m::kCouldNotCreate, {{"path", folder.string()}, {"error", io_text(made.error())}}));

    // 10: write.
    PieceReader reader(source);
    const FrameList& list = tracks->frame_list;
    AreaResult result;
    result.area_folder = folder;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        const TrackJob& job = jobs[i];
        if (observer.track_started) observer.track_started(i + 1, job.number, jobs.size());
        const TrackMeta meta = track_meta(tags, area_index, job.number, track_total, toc->channel_count);
        const platform::Path partial = partial_path(job.path);
        auto file = platform::File::create_truncate(partial);
        if (!file)
            return err(trf(m::kTrackFailed,
                           {{"n", int{job.number}},
                            {"message", trf(m::kCouldNotCreate, {{"path", job.path.string()}, {"error", io_text(file.error())}})}}));
        platform::BufferedWriter writer(*file, 8192);
        const std::vector<MultiplexedFrame>& frames_of_track = job.stream->frames;
        const auto frame_count = static_cast<std::uint32_t>(frames_of_track.size());
        std::size_t next = 0;
        auto cancelled = [&] { return observer.cancelled && observer.cancelled(); };

        platform::Result<void, ContainerError> written = platform::Result<void, ContainerError>();
        if (!dst && options.format == OutputFormat::Dsf) {
            written = write_dsf(writer, meta, frame_count, [&](DsdFrame& frame) -> platform::Result<void, ContainerError> {
                if (cancelled()) return err(ContainerError::io(tr(m::kCancelled)));
                if (next >= frames_of_track.size())
                    return err(ContainerError{container_errors::SourceEndedEarly{frames_of_track.size(), next}});
                return read_plain_dsd_frame(list.pieces_of(frames_of_track[next++]), reader, frame);
            });
        } else if (!dst) {
            DsdFrame planar;
            written = write_dff_dsd(writer, meta, frame_count, 2 * kFrameBytesPerChannel,
                                    [&](std::vector<std::uint8_t>& out) -> platform::Result<void, ContainerError> {
                                        if (cancelled()) return err(ContainerError::io(tr(m::kCancelled)));
                                        if (next >= frames_of_track.size())
                                            return err(ContainerError{
                                                container_errors::SourceEndedEarly{frames_of_track.size(), next}});
                                        auto r = read_plain_dsd_frame(list.pieces_of(frames_of_track[next++]), reader, planar);
                                        if (!r) return r;
                                        out.resize(2 * kFrameBytesPerChannel);
                                        const std::uint8_t* l = planar.channels[0].data();
                                        const std::uint8_t* rch = planar.channels[1].data();
                                        for (std::size_t k = 0; k < kFrameBytesPerChannel; ++k) {
                                            out[2 * k] = l[k];
                                            out[2 * k + 1] = rch[k];
                                        }
                                        return {};
                                    });
        } else if (options.format != OutputFormat::DsdiffDst) {
            TrackHooks hooks;
            hooks.cancelled = cancelled;
            hooks.log = [&](std::string_view line) { log(std::string(line)); };
            hooks.timings = timings;
            written = write_decoded_dst_track(
                options.format == OutputFormat::Dsf ? DecodedContainer::Dsf : DecodedContainer::Dsdiff, writer, meta,
                list, frames_of_track, source, toc->channel_count, hooks);
        } else {
            std::vector<std::uint32_t> lengths;
            lengths.reserve(frames_of_track.size());
            for (const MultiplexedFrame& f : frames_of_track) {
                std::uint32_t len = 0;
                for (const Piece& p : list.pieces_of(f)) len += p.length;
                lengths.push_back(len);
            }
            written = write_dff_dst(writer, meta, lengths, [&](std::vector<std::uint8_t>& out) -> platform::Result<void, ContainerError> {
                if (cancelled()) return err(ContainerError::io(tr(m::kCancelled)));
                return read_frame_dst(list, frames_of_track, next, reader, out);
            });
        }
        auto done = finalize(written, writer, *file, partial, job.path);
        if (!done) return err(trf(m::kTrackFailed, {{"n", int{job.number}}, {"message", done.error()}}));
        ++result.files;
    }
    return result;
}

}  // namespace sacd::audio
