#include "sacd/audio/audio_sector.h"
#include "platform/overloaded.h"

#include "sacd/audio/demux_messages.h"

namespace sacd::audio {

using i18n::trf;
using platform::err;

namespace {


// Reads bits most significant first and refuses to cross the end of the sector.
class BitReader {
public:
    explicit BitReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    bool read(unsigned count, std::uint32_t& value) {
        const std::uint64_t available = std::uint64_t{bytes_.size()} * 8;
        if (pos_ + count > available) {
            need_ = pos_ + count;
            return false;
        }
        value = 0;
        for (unsigned i = 0; i < count; ++i, ++pos_)
            value = (value << 1) | ((bytes_[pos_ >> 3] >> (7 - (pos_ & 7))) & 1u);
        return true;
    }
    std::uint64_t need() const { return need_; }
    std::uint64_t have() const { return std::uint64_t{bytes_.size()} * 8; }
    std::uint64_t position() const { return pos_; }

private:
    std::span<const std::uint8_t> bytes_;
    std::uint64_t pos_ = 0;
    std::uint64_t need_ = 0;
};

bool is_dst(std::uint8_t frame_format) { return frame_format == 0; }

platform::Result<AudioSector, AudioError> parse_impl(std::span<const std::uint8_t> sector, std::uint8_t frame_format,
                                                     bool copy_payloads) {
    if (sector.size() != 2048) return err(AudioError{AudioError::WrongSectorSize{sector.size()}});
    if (frame_format != 0 && frame_format != 2 && frame_format != 3)
        return err(AudioError{AudioError::BadFrameFormat{frame_format}});
    const std::uint8_t expected_dst = is_dst(frame_format) ? 1 : 0;

    BitReader bits(sector);
    std::uint32_t n_packets = 0, n_frames = 0, reserved = 0, dst = 0;
    bits.read(3, n_packets);
    bits.read(3, n_frames);
    bits.read(1, reserved);
    bits.read(1, dst);
    if (reserved) return err(AudioError{AudioError::ReservedSet{"Audio_Header.Reserved"}});
    if (dst != expected_dst)
        return err(AudioError{AudioError::DstFlagMismatch{static_cast<std::uint8_t>(dst), frame_format}});
    if (n_packets == 0) return err(AudioError{AudioError::NoPackets{0}});

    AudioSector out;
    out.dst_coded = dst != 0;
    std::uint64_t payload_sum = 0;
    for (std::uint32_t i = 0; i < n_packets; ++i) {
        std::uint32_t start = 0, res = 0, type = 0, length = 0;
        bits.read(1, start);
        bits.read(1, res);
        bits.read(3, type);
        bits.read(11, length);
        if (res) return err(AudioError{AudioError::ReservedSet{"Packet_Info.Reserved"}});
        if (type != 2 && type != 3 && type != 7)
            return err(AudioError{AudioError::BadDataType{static_cast<std::uint8_t>(type)}});
        if (length == 0 || length > 2045)
            return err(AudioError{AudioError::BadPacketLength{static_cast<std::uint16_t>(length)}});
        out.packets.push_back(PacketInfo{static_cast<std::uint16_t>(length), static_cast<PacketKind>(type), start != 0});
        payload_sum += length;
    }
    for (std::uint32_t i = 0; i < n_frames; ++i) {
        FrameInfo fi;
        std::uint32_t m = 0, s = 0, f = 0;
        if (!bits.read(8, m) || !bits.read(8, s) || !bits.read(8, f))
            return err(AudioError{AudioError::HeaderPastEnd{bits.need(), bits.have()}});
        fi.time_code = TimeCode{static_cast<std::uint8_t>(m), static_cast<std::uint8_t>(s), static_cast<std::uint8_t>(f)};
        if (out.dst_coded) {
            std::uint32_t c1 = 0, ns = 0, c2 = 0, c3 = 0;
            if (!bits.read(1, c1) || !bits.read(5, ns) || !bits.read(1, c2) || !bits.read(1, c3))
                return err(AudioError{AudioError::HeaderPastEnd{bits.need(), bits.have()}});
            if (ns == 0 || ns > 16) return err(AudioError{AudioError::BadNSectors{static_cast<std::uint8_t>(ns)}});
            fi.channel_bit_1 = c1 != 0;
            fi.channel_bit_2 = c2 != 0;
            fi.channel_bit_3 = c3 != 0;
            fi.n_sectors = static_cast<std::uint8_t>(ns);
        }
        out.frame_infos.push_back(fi);
    }
    const std::uint64_t header = bits.position() / 8;
    if (header + payload_sum > 2048) return err(AudioError{AudioError::Overflow{header, payload_sum}});

    std::size_t pos = static_cast<std::size_t>(header);
    if (copy_payloads) {
        for (const PacketInfo& p : out.packets) {
            out.payloads.emplace_back(sector.begin() + static_cast<std::ptrdiff_t>(pos),
                                      sector.begin() + static_cast<std::ptrdiff_t>(pos + p.length));
            pos += p.length;
        }
    } else {
        pos += static_cast<std::size_t>(payload_sum);
    }
    for (; pos < 2048; ++pos)
        if (sector[pos] != 0) return err(AudioError{AudioError::Stuffing{pos}});
    return out;
}

}  // namespace

platform::Result<AudioSector, AudioError> AudioSector::parse(std::span<const std::uint8_t> sector,
                                                             std::uint8_t frame_format) {
    return parse_impl(sector, frame_format, true);
}

platform::Result<AudioSector, AudioError> AudioSector::parse_header(std::span<const std::uint8_t> sector,
                                                                    std::uint8_t frame_format) {
    return parse_impl(sector, frame_format, false);
}

std::size_t AudioSector::header_size(std::uint8_t frame_format) const {
    return 1 + 2 * packets.size() + (is_dst(frame_format) ? 4 : 3) * frame_infos.size();
}

std::vector<std::pair<std::uint64_t, std::uint16_t>> AudioSector::packet_offsets(std::uint8_t frame_format) const {
    std::vector<std::pair<std::uint64_t, std::uint16_t>> out;
    out.reserve(packets.size());
    std::uint64_t offset = header_size(frame_format);
    for (const PacketInfo& p : packets) {
        out.emplace_back(offset, p.length);
        offset += p.length;
    }
    return out;
}

std::string AudioError::display() const {
    namespace m = demux_msg;
    return std::visit(
        platform::Overloaded{
            [](const WrongSectorSize& e) { return trf(m::kWrongSectorSize, {{"len", e.len}}); },
            [](const HeaderPastEnd& e) { return trf(m::kHeaderPastEnd, {{"need", e.need}, {"have", e.have}}); },
            [](const ReservedSet& e) { return trf(m::kReservedSet, {{"name", e.name}}); },
            [](const BadFrameFormat& e) { return trf(m::kBadFrameFormat, {{"value", int{e.value}}}); },
            [](const DstFlagMismatch& e) {
                return trf(m::kDstFlagMismatch, {{"flag", int{e.flag}}, {"format", int{e.format}}});
            },
            [](const BadDataType& e) { return trf(m::kBadDataType, {{"value", int{e.value}}}); },
            [](const BadPacketLength& e) { return trf(m::kBadPacketLength, {{"len", int{e.len}}}); },
            [](const BadNSectors& e) { return trf(m::kBadNSectors, {{"n", int{e.n}}}); },
            [](const NoPackets& e) { return trf(m::kNoPackets, {{"n", int{e.n}}}); },
            [](const Overflow& e) { return trf(m::kOverflow, {{"h", e.header}, {"p", e.packets}}); },
            [](const Stuffing& e) { return trf(m::kStuffing, {{"offset", e.offset}}); },
            [](const Demux& e) { return trf(m::kDemux, {{"reason", e.reason}}); },
        },
        value);
}

}  // namespace sacd::audio
