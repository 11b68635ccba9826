// A test-only DST frame writer: it writes any header it is given (valid or not) field by field
// and arithmetic-codes the samples with an encoder that inverts the 12-bit decoder. Its
// prediction is computed tap by tap, independently of the decoder's look-up tables.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace dst_test {

using Bytes = std::vector<std::uint8_t>;
using Planar = std::vector<Bytes>;  // one vector per channel, earliest sample in the top bit

// Bits written most significant first.
class BitWriter {
public:
    void put(std::uint32_t value, int bits);  // bits above 32 are written as leading zeros
    void put_signed(int value, int bits);
    // Rice code: |value| >> m zeros, a one, the low m bits, a sign bit when value != 0.
    void put_rice(int value, int m);
    void put_bits(const std::vector<std::uint8_t>& bits);  // one bit per element
    std::size_t size() const { return bits_.size(); }
    // The bits padded with zeros to whole bytes.
    Bytes bytes() const;

private:
    std::vector<std::uint8_t> bits_;
};

struct Segmentation {
    bool same_for_all = true;
    int resolution = 0;                   // written before the first explicit segment
    std::vector<std::vector<int>> units;  // per description: the explicit segments' units; the closing one is implied
};

struct Mapping {
    bool same_for_all = true;
    // Per coded channel, per segment; [0][0] is not written, and a segment without an entry
    // is written as index 0.
    std::vector<std::vector<int>> index;
};

struct Filter {
    std::vector<int> coefs;  // the order is the count
    bool coded = false;
    int method = 0;
    int rice = 0;
};

struct Table {
    std::vector<int> entries;  // length 1 must be {128}
    bool coded = false;
    int method = 0;
    int rice = 0;
};

struct FrameSpec {
    int channels = 2;
    int frame_length = 4704;
    bool same_segmentation = true;
    Segmentation filter_seg;
    Segmentation table_seg;  // when same_segmentation is false
    bool same_mapping = true;
    Mapping filter_map;
    Mapping table_map;  // when same_mapping is false
    std::vector<bool> half_probability;
    std::vector<Filter> filters;
    std::vector<Table> tables;
};

// Writes the frame header from DST_Coded = 1 through the probability tables, exactly as given.
void write_header(const FrameSpec& spec, BitWriter& w);

// Per channel, per byte position: the filter and table index in effect.
struct Layout {
    std::vector<std::vector<int>> filter_of;
    std::vector<std::vector<int>> table_of;
};
Layout expand_layout(const FrameSpec& spec);

struct EncodeOptions {
    // Drop trailing zero bytes of A_Data (the decoder reads missing bits as 0).
    bool trim_trailing_zeros = false;
    // Zero bytes appended after A_Data, for decoders that read ahead.
    std::size_t extra_zero_bytes = 0;
};

// A DST-coded frame of the given samples under the given (valid) header.
Bytes encode_frame(const FrameSpec& spec, const Planar& samples, const EncodeOptions& options = {});

// A plain frame: byte 0 = `first_byte`, then the samples interleaved byte by byte.
Bytes plain_frame(const Planar& samples, std::uint8_t first_byte = 0x00);

// A simple header for the samples: one segment per channel, a least-squares filter of the given
// order per channel (or one shared by all), and one 64-entry probability table per filter
// measured from the frame itself.
FrameSpec design_spec(const Planar& samples, int order, bool shared_filter);

// The bits of a coded frame's samples the way the format predicts them: tap k of the
// prediction at sample i multiplies sample i - k - 1, +1 for a one bit and -1 for a zero bit,
// with the history before sample 0 being the pattern 0xAA.
int reference_prediction(const std::vector<int>& coefs, const Bytes& channel, std::size_t i);

}  // namespace dst_test
