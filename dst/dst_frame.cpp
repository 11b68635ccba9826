#include "dst/dst_frame.h"

#include "dst/dst_decoder.h"
#include "dst/dst_format.h"
#include "dst/messages.h"

namespace dst {

namespace {

const i18n::Message& decoder_detail(int code) {
    switch (code) {
        case DST_ERR_TRUNCATED: return msg::kDetailTruncated;
        case DST_ERR_SEGMENTATION: return msg::kDetailSegmentation;
        case DST_ERR_MAPPING: return msg::kDetailMapping;
        case DST_ERR_FILTER_COEFS: return msg::kDetailFilterCoefSets;
        case DST_ERR_PROB_TABLES: return msg::kDetailProbabilityTables;
        case DST_ERR_INCONSISTENT: return msg::kDetailInconsistent;
        case DST_ERR_PARAMETERS: return msg::kDetailParameters;
        case DST_ERR_ADATA_TOO_LONG: return msg::kDetailADataTooLong;
        default: return msg::kDetailUnknown;
    }
}

// The frame-section text a decoder status is shown in; codes without a section of their own
// are shown as a header fault.
const i18n::Message& decoder_section(int code) {
    switch (code) {
        case DST_ERR_SEGMENTATION: return msg::kBadSegmentation;
        case DST_ERR_MAPPING: return msg::kBadMapping;
        case DST_ERR_FILTER_COEFS: return msg::kBadFilterCoefSets;
        case DST_ERR_PROB_TABLES: return msg::kBadProbabilityTables;
        default: return msg::kBadHeader;
    }
}

}  // namespace

std::string DstError::display() const {
    switch (kind) {
        case Kind::BadChannelCount: return i18n::trf(msg::kBadChannels, {{"n", value}});
        case Kind::BadFrameLength: return i18n::trf(msg::kBadFrameLength, {{"n", value}});
        case Kind::ReservedField: return i18n::trf(msg::kReservedSet, {{"name", text}});
        case Kind::RawSizeMismatch: return i18n::trf(msg::kRawSize, {{"len", value}, {"expected", expected}});
        case Kind::FrameTooLarge: return i18n::trf(msg::kBadHeader, {{"detail", i18n::tr(msg::kDetailTooLarge)}});
        case Kind::Decoder:
            return i18n::trf(decoder_section(code), {{"detail", i18n::tr(decoder_detail(code))}});
        case Kind::EmptyFrame:
            return i18n::trf(msg::kReadError, {{"error", i18n::trf(msg::kHeaderPastEnd, {{"need", 1}, {"have", 0}})}});
        case Kind::Read: return i18n::trf(msg::kReadError, {{"error", text}});
        case Kind::WorkerPanicked: return i18n::tr(msg::kWorkerPanicked);
    }
    return i18n::trf(msg::kBadHeader, {{"detail", i18n::tr(msg::kDetailUnknown)}});
}

platform::Result<void, DstError> decode_frame(std::span<const std::uint8_t> frame, std::uint32_t channels,
                                              std::uint32_t frame_length, PlanarChannels& out) {
    using Kind = DstError::Kind;
    if (channels < 1 || channels > static_cast<std::uint32_t>(dst_format::kMaxChannels))
        return platform::err(DstError{Kind::BadChannelCount, channels, 0, 0, {}});
    if (frame_length < 1 || frame_length > static_cast<std::uint32_t>(dst_format::kMaxFrameLength))
        return platform::err(DstError{Kind::BadFrameLength, frame_length, 0, 0, {}});
    if (frame.empty()) return platform::err(DstError{Kind::EmptyFrame, 0, 0, 0, {}});

    const bool dst_coded = (frame[0] & 0x80) != 0;
    const std::uint64_t samples = std::uint64_t{channels} * frame_length;
    if (dst_coded) {
        if (frame.size() > 2 * samples + 2048)
            return platform::err(DstError{Kind::FrameTooLarge, frame.size(), 0, 0, {}});
    } else {
        // Bit 6 carries no meaning in a plain frame; bits 5..0 are reserved.
        if ((frame[0] & 0x3F) != 0) return platform::err(DstError{Kind::ReservedField, 0, 0, 0, kPlainReservedName});
        if (frame.size() != 1 + samples)
            return platform::err(DstError{Kind::RawSizeMismatch, frame.size(), 1 + samples, 0, {}});
    }

    out.resize(channels);
    std::uint8_t* buffers[dst_format::kMaxChannels];
    for (std::uint32_t c = 0; c < channels; ++c) {
        out[c].resize(frame_length);
        buffers[c] = out[c].data();
    }

    if (!dst_coded) {
        const std::uint8_t* sample = frame.data() + 1;
        for (std::uint32_t i = 0; i < frame_length; ++i)
            for (std::uint32_t c = 0; c < channels; ++c) buffers[c][i] = *sample++;
        return {};
    }
    const int rc = dst_decode_frame_c(frame.data(), frame.size(), static_cast<int>(channels),
                                      static_cast<int>(frame_length), buffers);
    if (rc != DST_OK) return platform::err(DstError::decoder(rc));
    return {};
}

}  // namespace dst
