#include "sacd/audio/dsf_writer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "platform/bytes.h"

namespace sacd::audio {

namespace {

using platform::err;
using namespace container_errors;

// Frames hold the earliest sample in bit 7, DSF wants it in bit 0.
constexpr std::array<std::uint8_t, 256> kReverseBits = [] {
    std::array<std::uint8_t, 256> t{};
    for (unsigned v = 0; v < 256; ++v) {
        unsigned r = 0;
        for (unsigned bit = 0; bit < 8; ++bit)
            if (v & (1u << bit)) r |= 0x80u >> bit;
        t[v] = static_cast<std::uint8_t>(r);
    }
    return t;
}();

// The same for two bytes at once (each byte reversed in place): half the lookups on the hot
// path, and at 128 KiB the table stays in the second-level cache.
constexpr std::array<std::uint16_t, 65536> kReverseBitsPair = [] {
    std::array<std::uint16_t, 65536> t{};
    for (unsigned v = 0; v < 65536; ++v)
        t[v] = static_cast<std::uint16_t>(kReverseBits[v & 0xFF] | (kReverseBits[v >> 8] << 8));
    return t;
}();

// dst[k] = src[k] with its bit order reversed, eight bytes per step. Each byte keeps its place,
// so the host's byte order does not matter.
void reverse_bits(const std::uint8_t* src, std::uint8_t* dst, std::size_t n) {
    std::size_t k = 0;
    for (; k + 8 <= n; k += 8) {
        std::uint64_t x;
        std::memcpy(&x, src + k, 8);
        const std::uint64_t y = std::uint64_t{kReverseBitsPair[x & 0xFFFF]} |
                                (std::uint64_t{kReverseBitsPair[(x >> 16) & 0xFFFF]} << 16) |
                                (std::uint64_t{kReverseBitsPair[(x >> 32) & 0xFFFF]} << 32) |
                                (std::uint64_t{kReverseBitsPair[x >> 48]} << 48);
        std::memcpy(dst + k, &y, 8);
    }
    for (; k < n; ++k) dst[k] = kReverseBits[src[k]];
}

// The DSF channel type for the channel counts SACD areas have; 0 when there is none.
std::uint32_t dsf_channel_type(std::uint32_t channels) {
    switch (channels) {
        case 2: return 2;  // stereo
        case 5: return 6;  // 5 channels: front L, front R, centre, surround L, surround R
        case 6: return 7;  // 5.1
        default: return 0;
    }
}

ContainerError write_failure(platform::BufferedWriter& out) {
    auto flushed = out.flush();
    return ContainerError::io(flushed.ok() ? std::string("write failed") : flushed.error().text);
}

void put_id(std::uint8_t* p, const char (&id)[5]) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(id[i]);
}

std::array<std::uint8_t, kDsfHeaderSize> dsf_header(std::uint32_t channels, std::uint32_t frequency,
                                                    std::uint64_t frames, std::uint64_t blocks,
                                                    std::uint64_t tag_size) {
    const std::uint64_t data_bytes = std::uint64_t{channels} * blocks * kDsfBlockSize;
    std::array<std::uint8_t, kDsfHeaderSize> h{};
    put_id(&h[0], "DSD ");
    platform::write_u64_le(&h[4], 28);
    platform::write_u64_le(&h[12], kDsfHeaderSize + data_bytes + tag_size);
    platform::write_u64_le(&h[20], tag_size > 0 ? kDsfHeaderSize + data_bytes : 0);
    put_id(&h[28], "fmt ");
    platform::write_u64_le(&h[32], 52);
    platform::write_u32_le(&h[40], 1);  // format version
    platform::write_u32_le(&h[44], 0);  // raw DSD
    platform::write_u32_le(&h[48], dsf_channel_type(channels));
    platform::write_u32_le(&h[52], channels);
    platform::write_u32_le(&h[56], frequency);
    platform::write_u32_le(&h[60], 1);  // bits per sample: one, least significant bit first
    platform::write_u64_le(&h[64], frames * kSamplesPerFrame);  // the true length, without block padding
    platform::write_u32_le(&h[72], kDsfBlockSize);
    platform::write_u32_le(&h[76], 0);
    put_id(&h[80], "data");
    platform::write_u64_le(&h[84], 12 + data_bytes);
    return h;
}

}  // namespace

std::uint64_t dsf_blocks_per_channel(std::uint64_t frames) {
    // 128 frames are exactly 147 blocks; any other remainder leaves a partly filled last block.
    return frames * kFrameBytesPerChannel / kDsfBlockSize + (frames % 128 != 0 ? 1 : 0);
}

platform::Result<void, ContainerError> write_dsf(platform::BufferedWriter& out, const TrackMeta& meta,
                                                 std::uint32_t frame_count, const DsdFrameSource& source) {
    const std::uint32_t channels = meta.channel_count;
    if (dsf_channel_type(channels) == 0) return err(ContainerError(BadChannelCount{channels}));

    const std::vector<std::uint8_t> tag = meta.id3_v2();
    const std::uint64_t blocks = dsf_blocks_per_channel(frame_count);
    const auto header = dsf_header(channels, meta.sampling_frequency, frame_count, blocks, tag.size());
    out.write(header.data(), header.size());

    // One block round (channel 0's block, channel 1's, ...) is assembled here and written at once.
    // Every channel receives the same number of bytes per frame, so one fill level serves all.
    std::vector<std::uint8_t> round(std::size_t{channels} * kDsfBlockSize);
    std::size_t fill = 0;
    std::uint64_t rounds = 0;

    DsdFrame frame;
    for (std::uint32_t i = 0; i < frame_count; ++i) {
        if (auto pulled = source(frame); !pulled) return err(std::move(pulled).error());
        if (frame.channels.size() != channels)
            return err(ContainerError(
                ChannelCountMismatch{i, channels, static_cast<std::uint32_t>(frame.channels.size())}));
        for (const auto& ch : frame.channels)
            if (ch.size() != kFrameBytesPerChannel)
                return err(ContainerError(FrameLengthMismatch{i, kFrameBytesPerChannel, ch.size()}));

        std::size_t pos = 0;
        while (pos < kFrameBytesPerChannel) {
            const std::size_t n = std::min<std::size_t>(kDsfBlockSize - fill, kFrameBytesPerChannel - pos);
            for (std::uint32_t c = 0; c < channels; ++c) {
                reverse_bits(frame.channels[c].data() + pos, round.data() + std::size_t{c} * kDsfBlockSize + fill, n);
            }
            fill += n;
            pos += n;
            if (fill == kDsfBlockSize) {
                out.write(round.data(), round.size());
                ++rounds;
                fill = 0;
            }
        }
        // Stop at the first write failure instead of draining the rest of the track.
        if (out.failed()) return err(write_failure(out));
    }
    if (fill > 0) {
        for (std::uint32_t c = 0; c < channels; ++c) {
            std::uint8_t* block = round.data() + std::size_t{c} * kDsfBlockSize;
            std::fill(block + fill, block + kDsfBlockSize, std::uint8_t{0});
        }
        out.write(round.data(), round.size());
        ++rounds;
    }
    if (rounds != blocks) return err(ContainerError(DsfBlockCount{rounds, blocks}));

    if (!tag.empty()) out.write(tag.data(), tag.size());
    if (out.failed()) return err(write_failure(out));
    return {};
}

}  // namespace sacd::audio
