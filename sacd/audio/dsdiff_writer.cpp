#include "sacd/audio/dsdiff_writer.h"

#include <limits>

#include "platform/bytes.h"

namespace sacd::audio {

namespace {

using platform::BufferedWriter;
using platform::err;
using namespace container_errors;

constexpr const char* kStereoIds[] = {"SLFT", "SRGT"};
constexpr const char* kFiveChannelIds[] = {"MLFT", "MRGT", "C   ", "LS  ", "RS  "};
constexpr const char* kSixChannelIds[] = {"MLFT", "MRGT", "C   ", "LFE ", "LS  ", "RS  "};

constexpr char kCompressionDsdName[] = "not compressed";
constexpr char kCompressionDstName[] = "DST Encoded";
// DSDIFF comment type 3 is "file history", whose reference 0 is a general remark.
constexpr std::uint16_t kCommentTypeFileHistory = 3;
constexpr std::uint16_t kCommentRefGeneralRemark = 0;

// Content sizes of the fixed chunks.
constexpr std::uint64_t kFsSize = 4;
constexpr std::uint64_t kCmprDsdSize = 4 + 1 + sizeof kCompressionDsdName - 1;  // 19, padded to 20
constexpr std::uint64_t kCmprDstSize = 4 + 1 + sizeof kCompressionDstName - 1;  // 16
constexpr std::uint64_t kFrteSize = 6;
constexpr std::uint64_t kCommentFixedSize = 2 + 14;  // comment count, then one comment's fixed fields

void put_u16(BufferedWriter& out, std::uint16_t v) {
    std::uint8_t b[2];
    platform::write_u16_be(b, v);
    out.write(b, sizeof b);
}
void put_u32(BufferedWriter& out, std::uint32_t v) {
    std::uint8_t b[4];
    platform::write_u32_be(b, v);
    out.write(b, sizeof b);
}
void put_u64(BufferedWriter& out, std::uint64_t v) {
    std::uint8_t b[8];
    platform::write_u64_be(b, v);
    out.write(b, sizeof b);
}
void put_id(BufferedWriter& out, const char* id) { out.write(id, 4); }

ContainerError write_failure(BufferedWriter& out) {
    auto flushed = out.flush();
    return ContainerError::io(flushed.ok() ? std::string("write failed") : flushed.error().text);
}

std::uint64_t chnl_size(std::uint32_t channels) { return 2 + 4 * std::uint64_t{channels}; }

// PROP content of a track file: "SND ", FS, CHNL and the compression chunk.
std::uint64_t prop_size(std::uint32_t channels, std::uint64_t cmpr_size) {
    return 4 + chunk_on_disk(kFsSize) + chunk_on_disk(chnl_size(channels)) + chunk_on_disk(cmpr_size);
}

std::uint64_t text_chunk_on_disk(std::string_view text) { return chunk_on_disk(4 + text.size()); }

// The tag block of a track with its ID3 tag already rendered.
std::uint64_t track_tags_size(const TrackMeta& meta, const std::vector<std::uint8_t>& tag) {
    if (!meta.has_tags()) return 0;
    std::uint64_t size = 0;
    if (present(meta.artist) || present(meta.title)) {
        std::uint64_t diin = 0;
        if (present(meta.artist)) diin += text_chunk_on_disk(*meta.artist);
        if (present(meta.title)) diin += text_chunk_on_disk(*meta.title);
        size += chunk_on_disk(diin);
    }
    if (present(meta.album)) size += chunk_on_disk(kCommentFixedSize + meta.album->size());
    if (!tag.empty()) size += chunk_on_disk(tag.size());
    return size;
}

void write_track_tags_rendered(BufferedWriter& out, const TrackMeta& meta, const std::vector<std::uint8_t>& tag) {
    if (!meta.has_tags()) return;
    if (present(meta.artist) || present(meta.title)) {
        std::uint64_t diin = 0;
        if (present(meta.artist)) diin += text_chunk_on_disk(*meta.artist);
        if (present(meta.title)) diin += text_chunk_on_disk(*meta.title);
        write_chunk_header(out, "DIIN", diin);
        if (present(meta.artist)) write_text_chunk(out, "DIAR", *meta.artist);
        if (present(meta.title)) write_text_chunk(out, "DITI", *meta.title);
    }
    if (present(meta.album)) write_comt(out, 0, 0, 0, *meta.album);
    if (!tag.empty()) write_id3_chunk(out, tag);
}

// FRM8 form type, FVER and the PROP chunk of a track file, up to the sound data.
platform::Result<void, ContainerError> write_track_head(BufferedWriter& out, const TrackMeta& meta,
                                                        std::uint64_t frm8_size, bool dst) {
    const std::uint32_t channels = meta.channel_count;
    write_chunk_header(out, "FRM8", frm8_size);
    put_id(out, "DSD ");
    write_fver(out);
    write_chunk_header(out, "PROP", prop_size(channels, dst ? kCmprDstSize : kCmprDsdSize));
    put_id(out, "SND ");
    write_fs(out, meta.sampling_frequency);
    if (auto chnl = write_chnl(out, channels); !chnl) return chnl;
    if (dst)
        write_cmpr_dst(out);
    else
        write_cmpr_dsd(out);
    return {};
}

}  // namespace

std::span<const char* const> dsdiff_channel_ids(std::uint32_t channels) {
    switch (channels) {
        case 2: return kStereoIds;
        case 5: return kFiveChannelIds;
        case 6: return kSixChannelIds;
        default: return {};
    }
}

void write_chunk_header(BufferedWriter& out, const char (&id)[5], std::uint64_t size) {
    put_id(out, id);
    put_u64(out, size);
}

void write_pad_if_odd(BufferedWriter& out, std::uint64_t length) {
    if (length % 2 != 0) out.write_byte(0);
}

void write_fver(BufferedWriter& out) {
    static const std::uint8_t kVersion[4] = {1, 5, 0, 0};  // 1.5.0.0
    write_chunk_header(out, "FVER", sizeof kVersion);
    out.write(kVersion, sizeof kVersion);
}

void write_fs(BufferedWriter& out, std::uint32_t frequency) {
    write_chunk_header(out, "FS  ", kFsSize);
    put_u32(out, frequency);
}

platform::Result<void, ContainerError> write_chnl(BufferedWriter& out, std::uint32_t channels) {
    const auto ids = dsdiff_channel_ids(channels);
    if (ids.empty()) return err(ContainerError(BadChannelCount{channels}));
    write_chunk_header(out, "CHNL", chnl_size(channels));
    put_u16(out, static_cast<std::uint16_t>(channels));
    for (const char* id : ids) put_id(out, id);
    return {};
}

void write_cmpr_dsd(BufferedWriter& out) {
    write_chunk_header(out, "CMPR", kCmprDsdSize);
    put_id(out, "DSD ");
    out.write_byte(sizeof kCompressionDsdName - 1);
    out.write(kCompressionDsdName, sizeof kCompressionDsdName - 1);
    write_pad_if_odd(out, kCmprDsdSize);
}

void write_cmpr_dst(BufferedWriter& out) {
    write_chunk_header(out, "CMPR", kCmprDstSize);
    put_id(out, "DST ");
    out.write_byte(sizeof kCompressionDstName - 1);
    out.write(kCompressionDstName, sizeof kCompressionDstName - 1);
    write_pad_if_odd(out, kCmprDstSize);
}

void write_abss(BufferedWriter& out) {
    write_chunk_header(out, "ABSS", 8);
    put_u16(out, 0);  // hours
    out.write_byte(0);  // minutes
    out.write_byte(0);  // seconds
    put_u32(out, 0);  // samples
}

void write_lsco(BufferedWriter& out, std::uint16_t configuration) {
    write_chunk_header(out, "LSCO", 2);
    put_u16(out, configuration);
}

void write_frte(BufferedWriter& out, std::uint32_t frame_count) {
    write_chunk_header(out, "FRTE", kFrteSize);
    put_u32(out, frame_count);
    put_u16(out, kDstFrameRate);
}

void write_dstf(BufferedWriter& out, std::span<const std::uint8_t> frame) {
    write_chunk_header(out, "DSTF", frame.size());
    out.write(frame.data(), frame.size());
    write_pad_if_odd(out, frame.size());
}

void write_dsti(BufferedWriter& out, std::span<const DstiEntry> entries) {
    write_chunk_header(out, "DSTI", 12 * std::uint64_t{entries.size()});
    for (const auto& e : entries) {
        put_u64(out, e.offset);
        put_u32(out, e.length);
    }
}

void write_text_chunk(BufferedWriter& out, const char (&id)[5], std::string_view text) {
    write_chunk_header(out, id, 4 + std::uint64_t{text.size()});
    put_u32(out, static_cast<std::uint32_t>(text.size()));
    out.write(text.data(), text.size());
    write_pad_if_odd(out, text.size());
}

void write_comt(BufferedWriter& out, std::uint16_t year, std::uint8_t month, std::uint8_t day,
                std::string_view text) {
    write_chunk_header(out, "COMT", kCommentFixedSize + text.size());
    put_u16(out, 1);  // number of comments
    put_u16(out, year);
    out.write_byte(month);
    out.write_byte(day);
    out.write_byte(0);  // hour
    out.write_byte(0);  // minutes
    put_u16(out, kCommentTypeFileHistory);
    put_u16(out, kCommentRefGeneralRemark);
    put_u32(out, static_cast<std::uint32_t>(text.size()));
    out.write(text.data(), text.size());
    write_pad_if_odd(out, text.size());
}

void write_id3_chunk(BufferedWriter& out, std::span<const std::uint8_t> tag) {
    write_chunk_header(out, "ID3 ", tag.size());
    out.write(tag.data(), tag.size());
    write_pad_if_odd(out, tag.size());
}

void write_track_tags(BufferedWriter& out, const TrackMeta& meta) {
    write_track_tags_rendered(out, meta, meta.id3_v2());
}

std::uint64_t track_tags_on_disk(const TrackMeta& meta) { return track_tags_size(meta, meta.id3_v2()); }

platform::Result<void, ContainerError> write_dff_dsd(BufferedWriter& out, const TrackMeta& meta,
                                                     std::uint32_t frame_count, std::uint32_t frame_len,
                                                     const ByteFrameSource& source) {
    const std::uint32_t channels = meta.channel_count;
    if (dsdiff_channel_ids(channels).empty()) return err(ContainerError(BadChannelCount{channels}));
    if (frame_len % channels != 0) return err(ContainerError(FrameLengthMismatch{0, 0, frame_len}));

    const std::vector<std::uint8_t> tag = meta.id3_v2();
    const std::uint64_t tags_size = track_tags_size(meta, tag);
    const std::uint64_t sound_size = std::uint64_t{frame_count} * frame_len;
    const std::uint64_t frm8_size = 4 + chunk_on_disk(4) + chunk_on_disk(prop_size(channels, kCmprDsdSize)) +
                                    chunk_on_disk(sound_size) + tags_size;

    if (auto head = write_track_head(out, meta, frm8_size, false); !head) return head;
    write_chunk_header(out, "DSD ", sound_size);

    std::vector<std::uint8_t> frame;
    frame.reserve(frame_len);
    for (std::uint32_t i = 0; i < frame_count; ++i) {
        if (auto pulled = source(frame); !pulled) return err(std::move(pulled).error());
        if (frame.size() != frame_len) return err(ContainerError(FrameLengthMismatch{i, frame_len, frame.size()}));
        out.write(frame.data(), frame.size());
        // Stop at the first write failure instead of draining the rest of the track.
        if (out.failed()) return err(write_failure(out));
    }
    write_pad_if_odd(out, sound_size);
    write_track_tags_rendered(out, meta, tag);
    if (out.failed()) return err(write_failure(out));
    return {};
}

platform::Result<void, ContainerError> write_dff_dst(BufferedWriter& out, const TrackMeta& meta,
                                                     std::span<const std::uint32_t> frame_lengths,
                                                     const ByteFrameSource& source) {
    const std::uint32_t channels = meta.channel_count;
    if (dsdiff_channel_ids(channels).empty()) return err(ContainerError(BadChannelCount{channels}));
    if (frame_lengths.size() > std::numeric_limits<std::uint32_t>::max())
        return err(ContainerError(TooManyFrames{frame_lengths.size()}));

    std::uint64_t dst_size = chunk_on_disk(kFrteSize);
    for (std::uint32_t len : frame_lengths) dst_size += chunk_on_disk(len);
    const std::vector<std::uint8_t> tag = meta.id3_v2();
    const std::uint64_t tags_size = track_tags_size(meta, tag);
    const std::uint64_t frm8_size = 4 + chunk_on_disk(4) + chunk_on_disk(prop_size(channels, kCmprDstSize)) +
                                    chunk_on_disk(dst_size) + tags_size;

    if (auto head = write_track_head(out, meta, frm8_size, true); !head) return head;
    write_chunk_header(out, "DST ", dst_size);
    const auto frame_count = static_cast<std::uint32_t>(frame_lengths.size());
    write_frte(out, frame_count);

    std::vector<std::uint8_t> frame;
    for (std::uint32_t i = 0; i < frame_count; ++i) {
        if (auto pulled = source(frame); !pulled) return err(std::move(pulled).error());
        if (frame.size() != frame_lengths[i])
            return err(ContainerError(FrameLengthMismatch{i, frame_lengths[i], frame.size()}));
        write_dstf(out, frame);
        if (out.failed()) return err(write_failure(out));
    }
    write_track_tags_rendered(out, meta, tag);
    if (out.failed()) return err(write_failure(out));
    return {};
}

}  // namespace sacd::audio
