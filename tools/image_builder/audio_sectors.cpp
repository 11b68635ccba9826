#include "tools/image_builder/audio_sectors.h"

#include <algorithm>

namespace image_builder {

TimeCodeBytes time_code_of_frame(std::uint32_t n) {
    return TimeCodeBytes{static_cast<std::uint8_t>(n / 4500), static_cast<std::uint8_t>(n / 75 % 60),
                         static_cast<std::uint8_t>(n % 75)};
}

AudioSectorPacker::AudioSectorPacker(PackerOptions options, Sink sink) : options_(options), sink_(std::move(sink)) {
    if (options_.max_packet == 0 || options_.max_packet > 2045) options_.max_packet = 2045;
}

std::size_t AudioSectorPacker::header_size(std::size_t packets, std::size_t infos) const {
    return 1 + 2 * packets + (options_.dst ? 4 : 3) * infos;
}

std::size_t AudioSectorPacker::free_bytes(std::size_t extra_packets, std::size_t extra_infos) const {
    std::size_t used = header_size(current_.packets.size() + extra_packets, current_.infos.size() + extra_infos) +
                       current_.payload.size();
    return used >= 2048 ? 0 : 2048 - used;
}

std::uint32_t AudioSectorPacker::next_frame_sector() const {
    // A frame starts in the current sector when a packet and a Frame_Info still fit there.
    bool fits = current_.packets.size() < 7 && current_.infos.size() < 7 && free_bytes(1, 1) >= 1;
    return closed_ + (fits ? 0 : 1);
}

void AudioSectorPacker::add_frame(std::span<const std::uint8_t> frame, TimeCodeBytes time_code) {
    if (!error_.empty()) return;
    if (frame.empty()) {
        error_ = "empty audio frame";
        return;
    }
    const std::size_t index = frames_added_++;
    frame_last_sector_.push_back(0);
    std::size_t done = 0;
    bool first = true;
    while (done < frame.size()) {
        if (options_.padding_every && current_.packets.empty() && (closed_ % options_.padding_every) == 0 &&
            current_.payload.empty()) {
            // A small padding packet at the start of the sector.
            current_.packets.push_back(Packet{16, 7, false});
            current_.payload.insert(current_.payload.end(), 16, 0);
        }
        const std::size_t extra_infos = first ? 1 : 0;
        if (current_.packets.size() >= 7 || current_.infos.size() + extra_infos > 7 ||
            free_bytes(1, extra_infos) < 1) {
            close_sector();
            continue;
        }
        std::size_t n = std::min({frame.size() - done, free_bytes(1, extra_infos), std::size_t{options_.max_packet}});
        current_.packets.push_back(Packet{static_cast<std::uint16_t>(n), 2, first});
        if (first) current_.infos.push_back(FrameInfo{time_code, closed_, index});
        current_.payload.insert(current_.payload.end(), frame.begin() + static_cast<std::ptrdiff_t>(done),
                                frame.begin() + static_cast<std::ptrdiff_t>(done + n));
        frame_last_sector_[index] = closed_;
        done += n;
        first = false;
    }
    emit_ready();
}

void AudioSectorPacker::close_sector() {
    pending_.push_back(std::move(current_));
    current_ = OpenSector{};
    ++closed_;
}

void AudioSectorPacker::emit_ready() {
    // Every frame added so far is completely placed, so every closed sector can be written.
    for (const OpenSector& s : pending_) emit(s);
    pending_.clear();
}

platform::Result<std::uint32_t, std::string> AudioSectorPacker::finish() {
    if (!current_.packets.empty()) close_sector();
    emit_ready();
    if (!error_.empty()) return platform::err(error_);
    return emitted_;
}

void AudioSectorPacker::emit(const OpenSector& s) {
    SectorBytes out{};
    const std::size_t np = s.packets.size(), ni = s.infos.size();
    out[0] = static_cast<std::uint8_t>((np << 5) | (ni << 2) | (options_.dst ? 1 : 0));
    std::size_t pos = 1;
    for (const Packet& p : s.packets) {
        std::uint16_t v = static_cast<std::uint16_t>((p.frame_start ? 0x8000 : 0) | (p.data_type << 11) | p.length);
        out[pos++] = static_cast<std::uint8_t>(v >> 8);
        out[pos++] = static_cast<std::uint8_t>(v);
    }
    for (const FrameInfo& fi : s.infos) {
        out[pos++] = fi.tc.minutes;
        out[pos++] = fi.tc.seconds;
        out[pos++] = fi.tc.frames;
        if (options_.dst) {
            std::uint32_t n_sectors = frame_last_sector_[fi.frame_index] - fi.first_sector + 1;
            if (n_sectors > 16 && error_.empty()) error_ = "DST frame spread over more than 16 sectors";
            out[pos++] = static_cast<std::uint8_t>((options_.channel_bit_1 ? 0x80 : 0) | ((n_sectors & 0x1F) << 2) |
                                                   (options_.channel_bit_2 ? 0x02 : 0) |
                                                   (options_.channel_bit_3 ? 0x01 : 0));
        }
    }
    std::copy(s.payload.begin(), s.payload.end(), out.begin() + static_cast<std::ptrdiff_t>(pos));
    sink_(out);
    ++emitted_;
}

}  // namespace image_builder
