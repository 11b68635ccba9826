#include "sacd/audio/demux.h"

#include <algorithm>

#include "platform/system.h"
#include "sacd/audio/demux_messages.h"

namespace sacd::audio {

using platform::err;

namespace {

AudioError demux_error(const i18n::Message& reason) { return AudioError{AudioError::Demux{i18n::tr(reason)}}; }

std::uint32_t max_sectors_per_frame(std::uint8_t channels) {
    if (channels == 2) return 7;
    if (channels == 5) return 14;
    return 16;
}

}  // namespace

platform::Result<FrameList, AudioError> demultiplex(ByteSource& source, const DemuxRequest& request,
                                                    DemuxStats* stats) {
    namespace m = demux_msg;
    if (request.byte_length % kSectorSize != 0) return err(demux_error(m::kSpanNotWhole));
    const std::uint64_t first_lsn = request.first_byte / kSectorSize;
    const std::uint64_t sector_count = request.byte_length / kSectorSize;
    if (first_lsn + sector_count > 0xFFFFFFFFull) return err(demux_error(m::kRangeExceedsLsn));
    const std::uint32_t max_sectors = max_sectors_per_frame(request.channel_count);
    const bool dst = request.frame_format == 0;

    FrameList out;
    bool frame_open = false;
    std::optional<std::uint32_t> previous_frame_number;
    std::uint64_t io_ns = 0, parse_ns = 0;

    constexpr std::uint64_t kBatch = 2048;
    for (std::uint64_t done = 0; done < sector_count;) {
        const std::uint64_t count = std::min(kBatch, sector_count - done);
        const std::uint64_t t0 = platform::monotonic_ns();
        auto batch = source.read_at(request.first_byte + done * kSectorSize, count * kSectorSize);
        const std::uint64_t t1 = platform::monotonic_ns();
        io_ns += t1 - t0;
        if (!batch) return err(AudioError{AudioError::Demux{batch.error().display()}});

        for (std::uint64_t i = 0; i < count; ++i) {
            const std::uint32_t lsn = static_cast<std::uint32_t>(first_lsn + done + i);
            std::span<const std::uint8_t> bytes(batch->data() + i * kSectorSize, kSectorSize);
            auto sector = AudioSector::parse_header(bytes, request.frame_format);
            if (!sector) return err(std::move(sector).error());
            const std::uint64_t sector_byte = std::uint64_t{lsn} * kSectorSize;
            std::size_t next_info = 0;
            std::uint64_t offset = sector->header_size(request.frame_format);
            for (const PacketInfo& p : sector->packets) {
                const Piece piece{sector_byte + offset, p.length};
                offset += p.length;
                if (p.frame_start) {
                    if (next_info >= sector->frame_infos.size()) return err(demux_error(m::kFrameStartWithoutInfo));
                    const FrameInfo& info = sector->frame_infos[next_info++];
                    if (p.kind != PacketKind::Audio) continue;  // the record is consumed, no frame opens
                    if (dst && info.n_sectors && *info.n_sectors > max_sectors)
                        return err(demux_error(m::kNSectorsOutOfRange));
                    if (request.stop_frame && !info.time_code.is_none()) {
                        const std::uint32_t n = info.time_code.to_frames();
                        if (previous_frame_number && n < *previous_frame_number)
                            return err(demux_error(m::kTimeCodeNotIncreasing));
                        previous_frame_number = n;
                        if (n >= *request.stop_frame) {
                            if (stats) *stats = DemuxStats{done + i + 1, io_ns / 1e9, parse_ns / 1e9};
                            return out;
                        }
                    }
                    out.frames.push_back(MultiplexedFrame{static_cast<std::uint32_t>(out.pieces.size()), 1, lsn,
                                                          info.time_code});
                    out.pieces.push_back(piece);
                    frame_open = true;
                } else if (p.kind == PacketKind::Audio) {
                    if (!frame_open) return err(demux_error(m::kAudioBeforeFrameStart));
                    out.pieces.push_back(piece);
                    ++out.frames.back().piece_count;
                }
            }
        }
        parse_ns += platform::monotonic_ns() - t1;
        done += count;
    }
    if (stats) *stats = DemuxStats{sector_count, io_ns / 1e9, parse_ns / 1e9};
    return out;
}

std::optional<std::uint32_t> track_subset_stop_tc(std::span<const std::uint8_t> selected_tracks,
                                                  std::span<const TimeCode> starts,
                                                  std::span<const TimeCode> durations) {
    if (selected_tracks.empty()) return std::nullopt;
    std::uint8_t highest = 0;
    for (std::uint8_t t : selected_tracks) highest = std::max(highest, t);
    if (highest == 0 || highest > starts.size() || highest > durations.size()) return std::nullopt;
    const TimeCode& start = starts[highest - 1];
    const TimeCode& duration = durations[highest - 1];
    if (start.is_none() || duration.is_none()) return std::nullopt;
    return start.to_frames() + duration.to_frames();
}

platform::Result<AreaTracks, AudioError> segment(FrameList frames, std::span<const std::uint32_t> track_addresses,
                                                 std::uint32_t audio_lsn_start, std::span<const TimeCode> starts,
                                                 std::span<const TimeCode> durations) {
    namespace m = demux_msg;
    const std::size_t n = track_addresses.size();
    if (n == 0) return err(demux_error(m::kZeroTracks));
    if (n >= 256) return err(demux_error(m::kTooManyTracks));
    if (starts.size() != n || durations.size() != n) return err(demux_error(m::kTrl2CountMismatch));

    struct Window {
        std::uint32_t begin, end;
    };
    std::vector<Window> windows;
    windows.reserve(n);
    for (std::size_t t = 0; t < n; ++t) {
        if (starts[t].is_none()) return err(demux_error(m::kStartSentinel));
        if (durations[t].is_none()) return err(demux_error(m::kDurationSentinel));
        const std::uint32_t begin = starts[t].to_frames();
        const std::uint32_t end = begin + durations[t].to_frames();
        if (!windows.empty() && begin < windows.back().end) return err(demux_error(m::kWindowsOverlap));
        windows.push_back(Window{begin, end});
    }

    AreaTracks out;
    out.tracks.resize(n);
    for (std::size_t t = 0; t < n; ++t) {
        out.tracks[t].number = static_cast<std::uint8_t>(t + 1);
        out.tracks[t].start_address = t == 0 ? audio_lsn_start : track_addresses[t];
    }
    for (const MultiplexedFrame& f : frames.frames) {
        if (f.time_code.is_none()) return err(demux_error(m::kFrameSentinel));
        const std::uint32_t number = f.time_code.to_frames();
        // Windows are sorted and disjoint: only the last one starting at or before the frame can hold it.
        auto after = std::upper_bound(windows.begin(), windows.end(), number,
                                      [](std::uint32_t v, const Window& win) { return v < win.begin; });
        if (after == windows.begin()) continue;
        const auto w = static_cast<std::size_t>(after - windows.begin()) - 1;
        if (number < windows[w].end) out.tracks[w].frames.push_back(f);
    }
    out.frame_list = std::move(frames);
    return out;
}

}  // namespace sacd::audio
