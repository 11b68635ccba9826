// DST frame decoder (Direct Stream Transfer, ISO/IEC 14496-3): a self-contained codec with a
// plain function interface and integer status codes. It depends on the C++ standard library only.
//
// Every thread keeps its own working memory (look-up tables, segment maps, A_Data bits), created
// on the thread's first call and reused for every later frame, so any number of threads may
// decode at the same time.
#pragma once

#include <cstddef>
#include <cstdint>

// Status codes of dst_decode_frame_c.
enum : int {
    DST_OK = 0,
    DST_ERR_TRUNCATED = -1,        // the header ran past the end of the frame
    DST_ERR_SEGMENTATION = -2,     // invalid segmentation
    DST_ERR_MAPPING = -3,          // invalid mapping
    DST_ERR_FILTER_COEFS = -4,     // invalid filter coefficients
    DST_ERR_PROB_TABLES = -5,      // invalid probability tables
    DST_ERR_INCONSISTENT = -6,     // header fields contradict each other
    DST_ERR_PARAMETERS = -7,       // bad arguments, or a frame whose DST_Coded bit is 0
    DST_ERR_ADATA_TOO_LONG = -8,   // A_Data longer than 225792 bits
};

// Decodes one DST-coded frame of `frame_bytes` bytes into `channels` (1..6) output buffers of
// `frame_length` (1..4704) bytes each, the earliest sample in the most significant bit.
// Returns DST_OK, having written exactly `frame_length` bytes into every buffer, or a negative
// status code; on failure the buffers' contents are unspecified.
int dst_decode_frame_c(const std::uint8_t* frame, std::size_t frame_bytes, int channels, int frame_length,
                       std::uint8_t* const* channel_out);
