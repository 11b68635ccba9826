// Packs audio frames into 2048-byte audio sectors: header, packet and frame records, payloads
// and zero stuffing, with frames spread across sectors as the format allows.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <span>
#include <vector>

#include "platform/result.h"

namespace image_builder {

using SectorBytes = std::array<std::uint8_t, 2048>;

struct TimeCodeBytes {
    std::uint8_t minutes = 0, seconds = 0, frames = 0;
};

// Area-relative time code of frame number n (75 frames per second).
TimeCodeBytes time_code_of_frame(std::uint32_t n);

struct PackerOptions {
    bool dst = false;  // DST-coded area: DST_Coded = 1 and four-byte Frame_Info records
    // Channel bits written into DST Frame_Info records.
    bool channel_bit_1 = false, channel_bit_2 = false, channel_bit_3 = false;
    // Cap on the payload bytes of one packet (1..2045); small values spread frames over more packets.
    std::uint16_t max_packet = 2045;
    // Put a padding packet into every n-th sector (0 = never) to exercise readers.
    std::uint32_t padding_every = 0;
};

// Incremental packer. Sectors are handed to the sink in order as soon as they are complete.
class AudioSectorPacker {
public:
    using Sink = std::function<void(const SectorBytes&)>;

    AudioSectorPacker(PackerOptions options, Sink sink);

    // Adds one frame; `time_code` goes into its Frame_Info record.
    void add_frame(std::span<const std::uint8_t> frame, TimeCodeBytes time_code);
    // Pads and emits the last sector. Returns the number of sectors emitted in total, or the
    // first problem met (an empty frame, a DST frame spread over more than 16 sectors).
    platform::Result<std::uint32_t, std::string> finish();

    // Index (from 0) of the sector in which the next added frame will start.
    std::uint32_t next_frame_sector() const;
    std::uint32_t sectors_emitted() const { return emitted_; }

private:
    struct Packet {
        std::uint16_t length;
        std::uint8_t data_type;  // 2 audio, 7 padding
        bool frame_start;
    };
    struct FrameInfo {
        TimeCodeBytes tc;
        std::uint32_t first_sector;  // absolute sector index, for N_Sectors
        std::size_t frame_index;
    };
    struct OpenSector {
        std::vector<Packet> packets;
        std::vector<FrameInfo> infos;
        std::vector<std::uint8_t> payload;
    };

    std::size_t header_size(std::size_t packets, std::size_t infos) const;
    std::size_t free_bytes(std::size_t extra_packets, std::size_t extra_infos) const;
    void close_sector();
    void emit_ready();
    void emit(const OpenSector& s);

    PackerOptions options_;
    Sink sink_;
    OpenSector current_;
    std::vector<OpenSector> pending_;           // closed, waiting for their frames' sector counts
    std::vector<std::uint32_t> frame_last_sector_;  // per frame, last sector holding a piece
    std::size_t frames_added_ = 0;
    std::uint32_t emitted_ = 0;
    std::uint32_t closed_ = 0;  // sectors closed so far (pending + emitted)
    std::string error_;
};

}  // namespace image_builder
