// DST frame decoder. The frame is read in the order the format lays it out: segmentation,
// mapping, Half_Probability, filter coefficients, probability tables, then the arithmetic-coded
// A_Data, which is decoded one sample at a time, the channels interleaved within each sample.
#include "dst/dst_decoder.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>

#include "dst/dst_format.h"

namespace {

using namespace dst_format;

// ---------------------------------------------------------------------------------------------
// Constants

// Tap groups of the look-up-table prediction: each covers 8 taps, i.e. one byte of history.
constexpr int kGroups = kMaxOrder / 8;

// Zero runs longer than this cannot belong to a residual that yields a legal value.
constexpr unsigned kRiceQuotientLimit = 4096;

constexpr unsigned reverse7(unsigned v) {
    unsigned r = 0;
    for (int i = 0; i < 7; ++i) r |= ((v >> i) & 1u) << (6 - i);
    return r;
}

// Probability of the discarded first bit, indexed by the low 7 bits of filter 0's first
// coefficient.
struct FirstBitTable {
    unsigned p[128];
    constexpr FirstBitTable() : p{} {
        for (unsigned v = 0; v < 128; ++v) p[v] = reverse7(v) + 1;
    }
};
constexpr FirstBitTable kFirstBitProbability;

constexpr int bit_length(unsigned v) { return v == 0 ? 0 : std::bit_width(v); }

// ---------------------------------------------------------------------------------------------
// Working memory, one per thread

struct Segmentation {
    int count[kMaxChannels];
    int length[kMaxChannels][kTableMaxSegments];  // bytes
};

struct Mapping {
    int count;                                     // filters or tables in use
    std::uint8_t index[kMaxChannels][kTableMaxSegments];
};

struct alignas(64) DecoderContext {
    // Per filter, per tap group, per history byte: the group's share of the prediction.
    std::int16_t lut[kMaxFilters][kGroups][256];
    // Filter and probability table in effect for every byte position of every channel.
    std::uint8_t filter_of[kMaxChannels][kMaxFrameLength];
    std::uint8_t table_of[kMaxChannels][kMaxFrameLength];
    std::uint8_t adata[kMaxADataBits / 8];

    std::int16_t coef[kMaxFilters][kMaxOrder];
    int order[kMaxFilters];
    std::uint8_t table[kMaxTables][kMaxTableLength];
    int table_length[kMaxTables];
    Segmentation filter_seg, table_seg;
    Mapping filter_map, table_map;
    bool half_probability[kMaxChannels];
};

DecoderContext& thread_context() {
    // Created on the thread's first frame and kept for its later ones; every call
    // reinitialises whatever it reads.
    thread_local std::unique_ptr<DecoderContext> context;
    if (!context) context = std::make_unique<DecoderContext>();
    return *context;
}

// ---------------------------------------------------------------------------------------------
// Header reading

class HeaderReader {
public:
    HeaderReader(const std::uint8_t* data, std::size_t bytes) : data_(data), bits_(std::uint64_t{bytes} * 8) {}

    // Reads an n-bit unsigned number (n <= 16), most significant bit first.
    [[nodiscard]] bool read(int n, unsigned& value) {
        if (bits_ - pos_ < static_cast<std::uint64_t>(n)) return false;
        unsigned v = 0;
        for (int i = 0; i < n; ++i, ++pos_) v = (v << 1) | ((data_[pos_ >> 3] >> (7 - (pos_ & 7))) & 1u);
        value = v;
        return true;
    }

    // Reads an n-bit two's-complement number.
    [[nodiscard]] bool read_signed(int n, int& value) {
        unsigned v;
        if (!read(n, v)) return false;
        value = static_cast<int>(v) - ((v >> (n - 1)) & 1 ? (1 << n) : 0);
        return true;
    }

    std::uint64_t position() const { return pos_; }
    std::uint64_t size() const { return bits_; }

private:
    const std::uint8_t* data_;
    std::uint64_t bits_;
    std::uint64_t pos_ = 0;
};

// A Rice-coded residual: q zero bits up to a one bit, then m bits, then a sign bit when the
// value is not 0. `malformed` is the status for a run of zeros no legal value needs.
int read_rice(HeaderReader& br, int m, int malformed, int& value) {
    unsigned q = 0, b = 0;
    for (;;) {
        if (!br.read(1, b)) return DST_ERR_TRUNCATED;
        if (b) break;
        if (++q > kRiceQuotientLimit) return malformed;
    }
    unsigned low = 0;
    if (m > 0 && !br.read(m, low)) return DST_ERR_TRUNCATED;
    int magnitude = static_cast<int>((q << m) | low);
    if (magnitude != 0) {
        if (!br.read(1, b)) return DST_ERR_TRUNCATED;
        if (b) magnitude = -magnitude;
    }
    value = magnitude;
    return DST_OK;
}

// One segmentation (filters or probability tables): per channel a list of segment lengths.
int read_segmentation(HeaderReader& br, int channels, int frame_length, int min_segment, int max_segments,
                      Segmentation& seg) {
    unsigned same_for_all;
    if (!br.read(1, same_for_all)) return DST_ERR_TRUNCATED;
    const int descriptions = same_for_all ? 1 : channels;
    int resolution = 0;  // read before the first explicit segment of this segmentation
    for (int ch = 0; ch < descriptions; ++ch) {
        int remaining = frame_length;
        int count = 0;
        for (;;) {
            unsigned end_of_channel;
            if (!br.read(1, end_of_channel)) return DST_ERR_TRUNCATED;
            if (end_of_channel) {
                if (remaining < min_segment) return DST_ERR_SEGMENTATION;
                seg.length[ch][count++] = remaining;
                break;
            }
            // An explicit segment still needs room for the closing one after it.
            if (count == max_segments - 1) return DST_ERR_SEGMENTATION;
            if (resolution == 0) {
                unsigned r;
                if (!br.read(kResolutionBits, r)) return DST_ERR_TRUNCATED;
                if (r < 1 || static_cast<int>(r) > frame_length - min_segment) return DST_ERR_SEGMENTATION;
                resolution = static_cast<int>(r);
            }
            if (remaining < min_segment) return DST_ERR_SEGMENTATION;
            const int quotient = (remaining - min_segment) / resolution;
            if (quotient < 1) return DST_ERR_SEGMENTATION;
            const int bits = bit_length(static_cast<unsigned>(quotient));
            if (bits > kMaxSegmentUnitBits) return DST_ERR_SEGMENTATION;
            unsigned units;
            if (!br.read(bits, units)) return DST_ERR_TRUNCATED;
            const int length = static_cast<int>(units) * resolution;
            if (length < min_segment) return DST_ERR_SEGMENTATION;
            seg.length[ch][count++] = length;
            remaining -= length;  // an overshoot fails the next segment's check
        }
        seg.count[ch] = count;
    }
    for (int ch = descriptions; ch < channels; ++ch) {
        seg.count[ch] = seg.count[0];
        std::copy_n(seg.length[0], seg.count[0], seg.length[ch]);
    }
    return DST_OK;
}

// One mapping: the filter or table index of every segment. Indexes are introduced in order; an
// index equal to the number introduced so far opens a new one.
int read_mapping(HeaderReader& br, int channels, const Segmentation& seg, Mapping& map) {
    unsigned same_for_all;
    if (!br.read(1, same_for_all)) return DST_ERR_TRUNCATED;
    if (same_for_all) {
        for (int ch = 1; ch < channels; ++ch)
            if (seg.count[ch] != seg.count[0]) return DST_ERR_MAPPING;
    }
    const int max_count = 2 * channels;
    const int coded_channels = same_for_all ? 1 : channels;
    int count = 1;
    for (int ch = 0; ch < coded_channels; ++ch) {
        for (int s = 0; s < seg.count[ch]; ++s) {
            if (ch == 0 && s == 0) {
                map.index[0][0] = 0;
                continue;
            }
            unsigned index;
            if (!br.read(bit_length(static_cast<unsigned>(count)), index)) return DST_ERR_TRUNCATED;
            if (static_cast<int>(index) > count) return DST_ERR_MAPPING;
            if (static_cast<int>(index) == count && ++count > max_count) return DST_ERR_MAPPING;
            map.index[ch][s] = static_cast<std::uint8_t>(index);
        }
    }
    for (int ch = coded_channels; ch < channels; ++ch) std::copy_n(map.index[0], seg.count[0], map.index[ch]);
    map.count = count;
    return DST_OK;
}

int read_filter(HeaderReader& br, std::int16_t* coef, int& order_out) {
    unsigned order_minus_one, coded;
    if (!br.read(kOrderBits, order_minus_one) || !br.read(1, coded)) return DST_ERR_TRUNCATED;
    const int order = static_cast<int>(order_minus_one) + 1;
    order_out = order;
    if (!coded) {
        for (int k = 0; k < order; ++k) {
            int c;
            if (!br.read_signed(kCoefBits, c)) return DST_ERR_TRUNCATED;
            coef[k] = static_cast<std::int16_t>(c);
        }
        return DST_OK;
    }
    unsigned method;
    if (!br.read(kMethodBits, method)) return DST_ERR_TRUNCATED;
    if (method > 2 || static_cast<int>(method) + 1 >= order) return DST_ERR_FILTER_COEFS;
    for (unsigned k = 0; k <= method; ++k) {
        int c;
        if (!br.read_signed(kCoefBits, c)) return DST_ERR_TRUNCATED;
        coef[k] = static_cast<std::int16_t>(c);
    }
    unsigned m;
    if (!br.read(kRiceBits, m)) return DST_ERR_TRUNCATED;
    if (m > static_cast<unsigned>(kMaxFilterRice)) return DST_ERR_FILTER_COEFS;
    const int* predictor = kCoefPredictor[method];
    for (int j = static_cast<int>(method) + 1; j < order; ++j) {
        int r;
        if (int rc = read_rice(br, static_cast<int>(m), DST_ERR_FILTER_COEFS, r); rc != DST_OK) return rc;
        int x = 0;
        for (unsigned k = 0; k <= method; ++k) x += predictor[k] * coef[j - static_cast<int>(k) - 1];
        // r - (x + 4) / 8 for x >= 0 and r + (3 - x) / 8 for x < 0 are both a floor division.
        const int c = r - ((x + 4) >> 3);
        if (c < kCoefMin || c > kCoefMax) return DST_ERR_FILTER_COEFS;
        coef[j] = static_cast<std::int16_t>(c);
    }
    return DST_OK;
}

int read_table(HeaderReader& br, std::uint8_t* table, int& length_out) {
    unsigned length_minus_one;
    if (!br.read(kTableLengthBits, length_minus_one)) return DST_ERR_TRUNCATED;
    const int length = static_cast<int>(length_minus_one) + 1;
    length_out = length;
    if (length == 1) {
        table[0] = 128;
        return DST_OK;
    }
    unsigned coded;
    if (!br.read(1, coded)) return DST_ERR_TRUNCATED;
    if (!coded) {
        for (int k = 0; k < length; ++k) {
            unsigned v;
            if (!br.read(kTableEntryBits, v)) return DST_ERR_TRUNCATED;
            table[k] = static_cast<std::uint8_t>(v + 1);
        }
        return DST_OK;
    }
    unsigned method;
    if (!br.read(kMethodBits, method)) return DST_ERR_TRUNCATED;
    // More leading entries than the table holds would write past it.
    if (method > 2 || static_cast<int>(method) + 1 > length) return DST_ERR_PROB_TABLES;
    for (unsigned k = 0; k <= method; ++k) {
        unsigned v;
        if (!br.read(kTableEntryBits, v)) return DST_ERR_TRUNCATED;
        table[k] = static_cast<std::uint8_t>(v + 1);
    }
    unsigned m;
    if (!br.read(kRiceBits, m)) return DST_ERR_TRUNCATED;
    if (m > static_cast<unsigned>(kMaxTableRice)) return DST_ERR_PROB_TABLES;
    const int* predictor = kTablePredictor[method];
    for (int j = static_cast<int>(method) + 1; j < length; ++j) {
        int r;
        if (int rc = read_rice(br, static_cast<int>(m), DST_ERR_PROB_TABLES, r); rc != DST_OK) return rc;
        int x = 0;
        for (unsigned k = 0; k <= method; ++k) x += predictor[k] * table[j - static_cast<int>(k) - 1];
        const int entry = r - x;
        if (entry < kTableEntryMin || entry > kTableEntryMax) return DST_ERR_PROB_TABLES;
        table[j] = static_cast<std::uint8_t>(entry);
    }
    return DST_OK;
}

// Writes the per-byte index of every segment; the segments must cover the frame exactly.
int expand_map(const Segmentation& seg, const Mapping& map, int channels, int frame_length, int available,
               std::uint8_t (*per_byte)[kMaxFrameLength]) {
    for (int ch = 0; ch < channels; ++ch) {
        int start = 0;
        for (int s = 0; s < seg.count[ch]; ++s) {
            const int length = seg.length[ch][s];
            const int index = map.index[ch][s];
            if (index >= available || length < 0 || length > frame_length - start) return DST_ERR_INCONSISTENT;
            std::memset(per_byte[ch] + start, index, static_cast<std::size_t>(length));
            start += length;
        }
        if (start != frame_length) return DST_ERR_INCONSISTENT;
    }
    return DST_OK;
}

// The prediction of one filter split into tap groups: entry [g][v] is the sum over taps
// 8g..8g+7 of +coefficient where bit k of the history byte v is 1, -coefficient where it is 0.
void build_lut(const std::int16_t* coef, int order, std::int16_t (*lut)[256]) {
    for (int g = 0; g < kGroups; ++g) {
        const int first = 8 * g;
        std::int16_t* entry = lut[g];
        int all_zero = 0;
        int twice[8];
        for (int k = 0; k < 8; ++k) {
            const int c = first + k < order ? coef[first + k] : 0;
            all_zero -= c;
            twice[k] = 2 * c;
        }
        entry[0] = static_cast<std::int16_t>(all_zero);
        for (int v = 1; v < 256; ++v)
            entry[v] = static_cast<std::int16_t>(entry[v & (v - 1)] + twice[std::countr_zero(static_cast<unsigned>(v))]);
    }
}

// ---------------------------------------------------------------------------------------------
// Arithmetic decoding

// A_Data reader and 12-bit arithmetic decoder. Bits past the end of A_Data read as 0.
struct ArithmeticDecoder {
    unsigned a;
    unsigned c;
    std::uint64_t window;  // upcoming bits, most significant first
    int available;         // valid bits in window; kept >= 8, the most one renormalisation takes
    const std::uint8_t* data;
    std::size_t size;
    std::size_t next;

    void refill() {
        while (available <= 56) {
            const std::uint64_t byte = next < size ? data[next] : 0;
            ++next;
            window |= byte << (56 - available);
            available += 8;
        }
    }

    unsigned take(int n) {
        const unsigned v = static_cast<unsigned>(window >> (64 - n));
        window <<= n;
        available -= n;
        return v;
    }

    void start(const std::uint8_t* bytes, std::size_t count) {
        data = bytes;
        size = count;
        next = 0;
        window = 0;
        available = 0;
        refill();
        a = kCoderTop;
        c = take(kCoderInitBits) & kCoderTop;
    }

    // Decodes one bit whose probability of being 0 (a wrong prediction) is p/256; p is 1..128.
    unsigned decode(unsigned p) {
        const unsigned k = (a >> 8) | ((a >> 7) & 1u);
        const unsigned q = p * k;
        const unsigned lower = a - q;
        unsigned e;
        if (c < lower) {
            e = 1;
            a = lower;
        } else {
            e = 0;
            c -= lower;
            a = q;
        }
        if (a < kCoderHalf) {
            // a >= 8 here (p >= 1, k >= 8), so at most 8 doublings, done in one step.
            const int n = std::countl_zero(a) - 20;
            a <<= n;
            c = ((c << n) | take(n)) & kCoderTop;
            if (available < 8) refill();
        }
        return e;
    }
};

struct History {
    std::uint64_t lo;  // history bytes 0..7; byte 0 holds the 8 most recent bits, the newest in bit 0
    std::uint64_t hi;  // history bytes 8..15
};

inline int predict(const std::int16_t (*lut)[256], const History& h) {
    const std::uint64_t lo = h.lo, hi = h.hi;
    // Each half fits in 16 bits; the full sum may reach +-32768.
    const int near = lut[0][lo & 0xFF] + lut[1][(lo >> 8) & 0xFF] + lut[2][(lo >> 16) & 0xFF] +
                     lut[3][(lo >> 24) & 0xFF] + lut[4][(lo >> 32) & 0xFF] + lut[5][(lo >> 40) & 0xFF] +
                     lut[6][(lo >> 48) & 0xFF] + lut[7][lo >> 56];
    const int far = lut[8][hi & 0xFF] + lut[9][(hi >> 8) & 0xFF] + lut[10][(hi >> 16) & 0xFF] +
                    lut[11][(hi >> 24) & 0xFF] + lut[12][(hi >> 32) & 0xFF] + lut[13][(hi >> 40) & 0xFF] +
                    lut[14][(hi >> 48) & 0xFF] + lut[15][hi >> 56];
    return near + far;
}

struct SampleLoop {
    DecoderContext& ctx;
    ArithmeticDecoder coder;
    History history[kMaxChannels];
    int half_probability_end[kMaxChannels];  // samples coded with p = 128
    std::uint8_t* const* out;
};

// Decodes byte positions [begin, end) of every channel. kChannels > 0 fixes the channel count
// at compile time so that the per-channel state stays in registers; kHalfProbability enables
// the check needed only for the first up to 128 samples.
template <int kChannels, bool kHalfProbability>
void decode_bytes(SampleLoop& loop, int channels, int begin, int end) {
    const int nch = kChannels > 0 ? kChannels : channels;
    DecoderContext& ctx = loop.ctx;
    ArithmeticDecoder coder = loop.coder;
    History h[kMaxChannels];
    for (int ch = 0; ch < nch; ++ch) h[ch] = loop.history[ch];

    for (int b = begin; b < end; ++b) {
        const std::int16_t (*lut[kMaxChannels])[256];
        const std::uint8_t* table[kMaxChannels];
        unsigned last[kMaxChannels];
        unsigned acc[kMaxChannels];
        for (int ch = 0; ch < nch; ++ch) {
            lut[ch] = ctx.lut[ctx.filter_of[ch][b]];
            const int t = ctx.table_of[ch][b];
            table[ch] = ctx.table[t];
            last[ch] = static_cast<unsigned>(ctx.table_length[t] - 1);
            acc[ch] = 0;
        }
        for (int j = 0; j < 8; ++j) {
            for (int ch = 0; ch < nch; ++ch) {
                const int prediction = predict(lut[ch], h[ch]);
                const unsigned magnitude = static_cast<unsigned>(prediction < 0 ? -prediction : prediction) >> 3;
                unsigned p = table[ch][std::min(magnitude, last[ch])];
                if constexpr (kHalfProbability) {
                    if (8 * b + j < loop.half_probability_end[ch]) p = 128;
                }
                const unsigned bit = coder.decode(p) ^ (static_cast<unsigned>(prediction) >> 31);
                h[ch].hi = (h[ch].hi << 1) | (h[ch].lo >> 63);
                h[ch].lo = (h[ch].lo << 1) | bit;
                acc[ch] = (acc[ch] << 1) | bit;
            }
        }
        for (int ch = 0; ch < nch; ++ch) loop.out[ch][b] = static_cast<std::uint8_t>(acc[ch]);
    }

    loop.coder = coder;
    for (int ch = 0; ch < nch; ++ch) loop.history[ch] = h[ch];
}

template <int kChannels>
void decode_samples(SampleLoop& loop, int channels, int frame_length) {
    int head = 0;
    for (int ch = 0; ch < channels; ++ch) head = std::max(head, (loop.half_probability_end[ch] + 7) / 8);
    head = std::min(head, frame_length);
    decode_bytes<kChannels, true>(loop, channels, 0, head);
    decode_bytes<kChannels, false>(loop, channels, head, frame_length);
}

}  // namespace

int dst_decode_frame_c(const std::uint8_t* frame, std::size_t frame_bytes, int channels, int frame_length,
                       std::uint8_t* const* channel_out) {
    if (frame == nullptr || frame_bytes == 0 || channel_out == nullptr || channels < 1 || channels > kMaxChannels ||
        frame_length < 1 || frame_length > kMaxFrameLength)
        return DST_ERR_PARAMETERS;
    for (int ch = 0; ch < channels; ++ch)
        if (channel_out[ch] == nullptr) return DST_ERR_PARAMETERS;
    if ((frame[0] & 0x80) == 0) return DST_ERR_PARAMETERS;  // a plain frame is not ours to decode

    DecoderContext& ctx = thread_context();
    HeaderReader br(frame, frame_bytes);
    unsigned field;
    if (!br.read(1, field)) return DST_ERR_TRUNCATED;  // DST_Coded, checked above

    // Segmentation.
    unsigned same_segmentation;
    if (!br.read(1, same_segmentation)) return DST_ERR_TRUNCATED;
    if (int rc = read_segmentation(br, channels, frame_length, kFilterMinSegment, kFilterMaxSegments, ctx.filter_seg);
        rc != DST_OK)
        return rc;
    if (same_segmentation) {
        ctx.table_seg = ctx.filter_seg;
    } else if (int rc = read_segmentation(br, channels, frame_length, kTableMinSegment, kTableMaxSegments,
                                          ctx.table_seg);
               rc != DST_OK) {
        return rc;
    }

    // Mapping.
    unsigned same_mapping;
    if (!br.read(1, same_mapping)) return DST_ERR_TRUNCATED;
    if (int rc = read_mapping(br, channels, ctx.filter_seg, ctx.filter_map); rc != DST_OK) return rc;
    if (same_mapping) {
        for (int ch = 0; ch < channels; ++ch)
            if (ctx.table_seg.count[ch] != ctx.filter_seg.count[ch]) return DST_ERR_MAPPING;
        ctx.table_map = ctx.filter_map;
    } else if (int rc = read_mapping(br, channels, ctx.table_seg, ctx.table_map); rc != DST_OK) {
        return rc;
    }
    const int filters = ctx.filter_map.count;
    const int tables = ctx.table_map.count;
    if (filters < 1 || filters > 2 * channels || tables < 1 || tables > 2 * channels) return DST_ERR_INCONSISTENT;

    for (int ch = 0; ch < channels; ++ch) {
        if (!br.read(1, field)) return DST_ERR_TRUNCATED;
        ctx.half_probability[ch] = field != 0;
    }
    for (int f = 0; f < filters; ++f)
        if (int rc = read_filter(br, ctx.coef[f], ctx.order[f]); rc != DST_OK) return rc;
    for (int t = 0; t < tables; ++t)
        if (int rc = read_table(br, ctx.table[t], ctx.table_length[t]); rc != DST_OK) return rc;

    // A_Data: the rest of the frame, copied to a byte boundary.
    const std::uint64_t adata_bits = br.size() - br.position();
    if (adata_bits > static_cast<std::uint64_t>(kMaxADataBits)) return DST_ERR_ADATA_TOO_LONG;
    const std::size_t first = static_cast<std::size_t>(br.position() >> 3);
    const unsigned shift = static_cast<unsigned>(br.position() & 7);
    const std::size_t adata_bytes = static_cast<std::size_t>((adata_bits + 7) / 8);
    for (std::size_t k = 0; k < adata_bytes; ++k) {
        const unsigned hi = frame[first + k];
        const unsigned lo = first + k + 1 < frame_bytes ? frame[first + k + 1] : 0u;
        ctx.adata[k] = static_cast<std::uint8_t>(((hi << 8 | lo) << shift) >> 8);
    }

    if (int rc = expand_map(ctx.filter_seg, ctx.filter_map, channels, frame_length, filters, ctx.filter_of);
        rc != DST_OK)
        return rc;
    if (int rc = expand_map(ctx.table_seg, ctx.table_map, channels, frame_length, tables, ctx.table_of); rc != DST_OK)
        return rc;
    for (int f = 0; f < filters; ++f) build_lut(ctx.coef[f], ctx.order[f], ctx.lut[f]);

    SampleLoop loop{ctx, {}, {}, {}, channel_out};
    loop.coder.start(ctx.adata, adata_bytes);
    (void)loop.coder.decode(kFirstBitProbability.p[ctx.coef[0][0] & 0x7F]);  // carries no sample
    for (int ch = 0; ch < channels; ++ch) {
        loop.history[ch] = History{0xAAAAAAAAAAAAAAAAull, 0xAAAAAAAAAAAAAAAAull};
        loop.half_probability_end[ch] = ctx.half_probability[ch] ? ctx.order[ctx.filter_map.index[ch][0]] : 0;
    }
    switch (channels) {
        case 1: decode_samples<1>(loop, channels, frame_length); break;
        case 2: decode_samples<2>(loop, channels, frame_length); break;
        case 3: decode_samples<3>(loop, channels, frame_length); break;
        case 4: decode_samples<4>(loop, channels, frame_length); break;
        case 5: decode_samples<5>(loop, channels, frame_length); break;
        default: decode_samples<6>(loop, channels, frame_length); break;
    }
    return DST_OK;
}
