// Limits and field widths of the DST frame syntax (ISO/IEC 14496-3 as used by SACD). The
// decoder reads and the encoder writes with these same constants.
#pragma once

namespace dst_format {

inline constexpr int kMaxChannels = 6;
inline constexpr int kMaxFrameLength = 4704;  // bytes per channel
inline constexpr int kMaxFilters = 2 * kMaxChannels;
inline constexpr int kMaxTables = 2 * kMaxChannels;
inline constexpr int kMaxOrder = 128;
inline constexpr int kMaxTableLength = 64;
inline constexpr int kMaxADataBits = 225792;

// Segmentation: filters and probability tables each have their own limits.
inline constexpr int kFilterMinSegment = 128;   // bytes
inline constexpr int kFilterMaxSegments = 4;
inline constexpr int kTableMinSegment = 4;      // bytes
inline constexpr int kTableMaxSegments = 8;

// Field widths in bits.
inline constexpr int kResolutionBits = 13;
inline constexpr int kMaxSegmentUnitBits = 13;
inline constexpr int kOrderBits = 7;            // Prediction_Order - 1
inline constexpr int kCoefBits = 9;             // two's complement
inline constexpr int kMethodBits = 2;
inline constexpr int kRiceBits = 3;
inline constexpr int kTableLengthBits = 6;      // Length - 1
inline constexpr int kTableEntryBits = 7;       // entry - 1

inline constexpr int kCoefMin = -256;
inline constexpr int kCoefMax = 255;
inline constexpr int kTableEntryMin = 1;
inline constexpr int kTableEntryMax = 128;
inline constexpr int kMaxFilterRice = 6;
inline constexpr int kMaxTableRice = 4;

// Predictors of the coded coefficient and table forms, per Method (0..2), for the previous
// Method + 1 values, most recent first.
inline constexpr int kCoefPredictor[3][3] = {{-8, 0, 0}, {-16, 8, 0}, {-9, -5, 6}};
inline constexpr int kTablePredictor[3][3] = {{-1, 0, 0}, {-2, 1, 0}, {-3, 3, -1}};

// 12-bit arithmetic coder.
inline constexpr unsigned kCoderTop = 4095;     // initial interval
inline constexpr unsigned kCoderHalf = 2048;    // renormalise below this
inline constexpr int kCoderInitBits = 13;

}  // namespace dst_format
