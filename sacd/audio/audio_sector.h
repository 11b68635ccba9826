// The audio sector format: a header of packet and frame records, the packet payloads and zero
// stuffing. Parsing is strict: any value the format does not define is refused with its field.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "platform/result.h"
#include "sacd/time_code.h"

namespace sacd::audio {

using sacd::TimeCode;

struct AudioError {
    struct WrongSectorSize { std::size_t len; };
    struct HeaderPastEnd { std::uint64_t need, have; };
    struct ReservedSet { const char* name; };
    struct BadFrameFormat { std::uint8_t value; };
    struct DstFlagMismatch { std::uint8_t flag, format; };
    struct BadDataType { std::uint8_t value; };
    struct BadPacketLength { std::uint16_t len; };
    struct BadNSectors { std::uint8_t n; };
    struct NoPackets { std::uint8_t n; };
    struct Overflow { std::uint64_t header, packets; };
    struct Stuffing { std::size_t offset; };
    struct Demux { std::string reason; };  // the reason already in the selected language
    std::variant<WrongSectorSize, HeaderPastEnd, ReservedSet, BadFrameFormat, DstFlagMismatch, BadDataType,
                 BadPacketLength, BadNSectors, NoPackets, Overflow, Stuffing, Demux>
        value;

    // The text for users, in the selected language.
    std::string display() const;
};

enum class PacketKind : std::uint8_t { Audio = 2, Supplementary = 3, Padding = 7 };

struct PacketInfo {
    std::uint16_t length = 0;
    PacketKind kind = PacketKind::Audio;
    bool frame_start = false;
};

struct FrameInfo {
    std::optional<bool> channel_bit_1, channel_bit_2, channel_bit_3;  // DST areas only
    std::optional<std::uint8_t> n_sectors;                            // DST areas only
    TimeCode time_code;
};

struct AudioSector {
    bool dst_coded = false;
    std::vector<PacketInfo> packets;
    std::vector<FrameInfo> frame_infos;
    std::vector<std::vector<std::uint8_t>> payloads;

    // Parses one sector of an area whose Frame_Format is 0 (DST), 2 or 3 (plain DSD).
    static platform::Result<AudioSector, AudioError> parse(std::span<const std::uint8_t> sector,
                                                           std::uint8_t frame_format);
    // The sector checks without copying payloads (the demultiplexer's fast path).
    static platform::Result<AudioSector, AudioError> parse_header(std::span<const std::uint8_t> sector,
                                                                  std::uint8_t frame_format);

    // (offset within the sector, length) of each packet, in packet order.
    std::vector<std::pair<std::uint64_t, std::uint16_t>> packet_offsets(std::uint8_t frame_format) const;

    // Header size: 1 + 2 per packet + 4 (DST) or 3 (plain DSD) per frame record.
    std::size_t header_size(std::uint8_t frame_format) const;
};

}  // namespace sacd::audio
