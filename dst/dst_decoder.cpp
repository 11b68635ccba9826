// DST frame decoder. The frame is read in the order the format lays it out: segmentation,
// mapping, Half_Probability, filter coefficients, probability tables, then the arithmetic-coded
// A_Data, which is decoded one sample at a time, the channels interleaved within each sample.
//
// Speed: the decoding of one bit needs the prediction made from the bits before it, so the
// whole frame is one long chain. The prediction is split so that little of it sits on that
// chain: taps 0..15 come from two 256-entry tables over the 16 newest bits, and taps 16..127,
// which only see bytes finished before the current one, are summed for a whole byte's 8
// samples at once from tables holding 8 values per entry (see build_tables). The arithmetic
// decoder has no data-dependent branches.
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

// The prediction looks up to 128 bits, i.e. 16 bytes, back.
constexpr int kHistoryBytes = kMaxOrder / 8;
// Taps 16..127 reach back into history bytes 1..15 counted from the byte before the current one.
constexpr int kFarGroups = kHistoryBytes - 1;

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
    // Per filter: the prediction's share of taps 16..127 for each of the 8 sample positions
    // within a byte, per older history byte (see build_tables).
    std::int16_t far[kMaxFilters][kFarGroups][256][8];
    // Per filter: taps 0..7 and 8..15 over the 16 newest bits, one table per byte of them.
    std::int16_t near[kMaxFilters][2][256];
    int far_groups[kMaxFilters];
    // Per channel: 16 bytes of the initial history (0xAA), then the frame's decoded bytes.
    std::uint8_t history[kMaxChannels][kHistoryBytes + kMaxFrameLength];
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

// Look-up tables of one filter. The prediction of a sample is the sum over taps k of
// +coefficient[k] when the bit k + 1 samples back is 1 and -coefficient[k] when it is 0.
//
// Taps 0..15 are read from the 16 newest bits, a byte at a time: near[0][v] sums taps 0..7
// over the byte v of the 8 newest bits (bit k for tap k), near[1][v] taps 8..15 over the next 8.
//
// Taps 16..127 only reach bits of history bytes that are complete before the current byte
// starts, so their share is computed once per byte for all its 8 samples. For sample j of the
// byte (j = 0..7) and history byte g (g = 1..15, counted back from the byte before the current
// one), bit k of that byte lies 8g + k + j + 1 samples back, i.e. at tap 8g + k + j:
// far[g - 1][v][j] sums the taps of 16..order-1 among these over the byte value v. Every entry
// and every sum of up to 15 of them (at most 112 taps of 256) fits in 16 bits.
void build_tables(const std::int16_t* coef, int order, std::int16_t (*near)[256], std::int16_t (*far)[256][8],
                  int& far_groups) {
    const auto tap = [&](int t) { return t < order ? static_cast<int>(coef[t]) : 0; };
    for (int half = 0; half < 2; ++half) {
        std::int16_t* entry = near[half];
        int all_zero = 0;
        int twice[8];
        for (int k = 0; k < 8; ++k) {
            all_zero -= tap(8 * half + k);
            twice[k] = 2 * tap(8 * half + k);
        }
        entry[0] = static_cast<std::int16_t>(all_zero);
        for (int v = 1; v < 256; ++v)
            entry[v] = static_cast<std::int16_t>(entry[v & (v - 1)] +
                                                 twice[std::countr_zero(static_cast<unsigned>(v))]);
    }

    // Groups whose taps all lie at or beyond the order contribute nothing and are skipped.
    far_groups = order > 16 ? (order - 1) / 8 : 0;
    for (int g = 1; g <= far_groups; ++g) {
        std::int16_t (*rows)[8] = far[g - 1];
        std::int16_t twice[8][8];
        std::int16_t all_zero[8] = {};
        for (int k = 0; k < 8; ++k) {
            for (int j = 0; j < 8; ++j) {
                const int t = 8 * g + k + j;
                const int c = t >= 16 ? tap(t) : 0;
                twice[k][j] = static_cast<std::int16_t>(2 * c);
                all_zero[j] = static_cast<std::int16_t>(all_zero[j] - c);
            }
        }
        std::copy_n(all_zero, 8, rows[0]);
        for (int v = 1; v < 256; ++v) {
            const std::int16_t* from = rows[v & (v - 1)];
            const std::int16_t* add = twice[std::countr_zero(static_cast<unsigned>(v))];
            std::int16_t sum[8];  // a separate array lets the eight additions run as one vector step
            for (int j = 0; j < 8; ++j) sum[j] = static_cast<std::int16_t>(from[j] + add[j]);
            std::memcpy(rows[v], sum, sizeof sum);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Arithmetic decoding

// A_Data reader and 12-bit arithmetic decoder. Bits past the end of A_Data read as 0.
//
// The code value C (12 bits) is kept in the top bits of a 64-bit register, followed by the
// next A_Data bits: renormalising by n bits is then a single shift of the register, and C is
// compared and reduced in place.
struct ArithmeticDecoder {
    static constexpr int kCodeShift = 52;  // C occupies bits 63..52

    unsigned a;
    std::uint64_t x;  // C, then `available` upcoming bits, most significant first
    int available;    // kept >= 8, the most one renormalisation takes
    const std::uint8_t* data;
    std::size_t size;
    std::size_t next;

    void refill() {
        while (available <= kCodeShift - 8) {
            const std::uint64_t byte = next < size ? data[next] : 0;
            ++next;
            x |= byte << (kCodeShift - 8 - available);
            available += 8;
        }
    }

    void start(const std::uint8_t* bytes, std::size_t count) {
        data = bytes;
        size = count;
        // C is the first 13 bits modulo 4096: the very first bit drops out. The register's
        // lowest bit is left empty and filled by the first refill.
        std::uint64_t first = 0;
        for (std::size_t i = 0; i < 8; ++i) first = (first << 8) | (i < count ? bytes[i] : 0u);
        next = 8;
        x = first << (kCoderInitBits - (64 - kCodeShift));
        available = 64 - kCoderInitBits;
        a = kCoderTop;
    }

    // Decodes one bit whose probability of being 0 (a wrong prediction) is p/256; p is 1..128.
    // Written without branches: which way a bit goes is as unpredictable as the audio itself.
    unsigned decode(unsigned p) {
        const unsigned k = (a >> 8) | ((a >> 7) & 1u);
        const unsigned q = p * k;
        const unsigned lower = a - q;
        const std::uint64_t lower_code = static_cast<std::uint64_t>(lower) << kCodeShift;
        const unsigned e = x < lower_code ? 1u : 0u;
        const std::uint64_t take_lower = 0 - static_cast<std::uint64_t>(e);  // all ones when e = 1
        x -= lower_code & ~take_lower;
        a = (lower & static_cast<unsigned>(take_lower)) | (q & ~static_cast<unsigned>(take_lower));
        // a >= 8 here (p >= 1, k >= 8): at most 8 doublings, done in one step (n may be 0).
        const int n = std::countl_zero(a | 1u) - std::countl_zero(kCoderHalf);
        a <<= n;
        x <<= n;
        available -= n;
        if (available < 8) refill();
        return e;
    }
};

// Per-channel state between samples. The register of the 16 newest bits is kept one sample
// behind, with the newest bit apart: the prediction of the next sample is then the table sum
// over the register shifted by one, which does not depend on that bit, plus the first tap's
// share of it. This keeps the table reads off the chain from one decoded bit to the next.
struct ChannelState {
    unsigned recent;  // the 16 newest bits but the newest, the most recent in bit 0
    unsigned bit;     // the newest bit
};

struct SampleLoop {
    DecoderContext& ctx;
    ArithmeticDecoder coder;
    ChannelState state[kMaxChannels];
    int half_probability_end[kMaxChannels];  // samples coded with p = 128
};

// The share of taps 16..127 in the 8 predictions of byte b of a channel; history byte g
// (1..15) of byte b is decoded byte b - 1 - g.
inline void far_shares(const DecoderContext& ctx, int ch, int b, std::int16_t* out) {
    const int f = ctx.filter_of[ch][b];
    const std::uint8_t* older = ctx.history[ch] + kHistoryBytes + b - 2;
    const std::int16_t (*const groups)[256][8] = ctx.far[f];
    std::int16_t sum[8] = {};
    const auto add = [&](int g) {
        const std::int16_t* row = groups[g][older[-g]];
        for (int j = 0; j < 8; ++j) sum[j] = static_cast<std::int16_t>(sum[j] + row[j]);
    };
    // Unrolled: a loop whose length changes with the filter costs a mispredicted exit per byte.
    switch (ctx.far_groups[f]) {
        case 15: add(14); [[fallthrough]];
        case 14: add(13); [[fallthrough]];
        case 13: add(12); [[fallthrough]];
        case 12: add(11); [[fallthrough]];
        case 11: add(10); [[fallthrough]];
        case 10: add(9); [[fallthrough]];
        case 9: add(8); [[fallthrough]];
        case 8: add(7); [[fallthrough]];
        case 7: add(6); [[fallthrough]];
        case 6: add(5); [[fallthrough]];
        case 5: add(4); [[fallthrough]];
        case 4: add(3); [[fallthrough]];
        case 3: add(2); [[fallthrough]];
        case 2: add(1); [[fallthrough]];
        case 1: add(0); [[fallthrough]];
        default: break;
    }
    std::memcpy(out, sum, sizeof sum);
}

// Decodes byte positions [begin, end) of every channel into the history buffers. kChannels > 0
// fixes the channel count at compile time so that the per-channel state stays in registers;
// kHalfProbability enables the check needed only for the first up to 128 samples.
template <int kChannels, bool kHalfProbability>
void decode_bytes(SampleLoop& loop, int channels, int begin, int end) {
    const int nch = kChannels > 0 ? kChannels : channels;
    DecoderContext& ctx = loop.ctx;
    ArithmeticDecoder coder = loop.coder;
    ChannelState st[kMaxChannels];
    for (int ch = 0; ch < nch; ++ch) st[ch] = loop.state[ch];

    // The far shares of the next byte depend only on bytes already decoded, so they are worked
    // out while the current byte decodes, away from the bit-to-bit chain.
    alignas(16) std::int16_t far[2][kMaxChannels][8];
    if (begin < end)
        for (int ch = 0; ch < nch; ++ch) far_shares(ctx, ch, begin, far[begin & 1][ch]);

    for (int b = begin; b < end; ++b) {
        const std::int16_t (*current)[8] = far[b & 1];
        if (b + 1 < end)
            for (int ch = 0; ch < nch; ++ch) far_shares(ctx, ch, b + 1, far[(b + 1) & 1][ch]);

        const std::int16_t* near0[kMaxChannels];
        const std::int16_t* near1[kMaxChannels];
        const std::uint8_t* table[kMaxChannels];
        unsigned last[kMaxChannels];
        int tap0[kMaxChannels];  // what the newest bit adds to the prediction when it is 1
        for (int ch = 0; ch < nch; ++ch) {
            const int f = ctx.filter_of[ch][b];
            near0[ch] = ctx.near[f][0];
            near1[ch] = ctx.near[f][1];
            tap0[ch] = 2 * ctx.coef[f][0];
            const int t = ctx.table_of[ch][b];
            table[ch] = ctx.table[t];
            last[ch] = static_cast<unsigned>(ctx.table_length[t] - 1);
        }
        for (int j = 0; j < 8; ++j) {
#pragma GCC unroll 6
            for (int ch = 0; ch < nch; ++ch) {
                ChannelState& c = st[ch];
                const unsigned shifted = (c.recent << 1) & 0xFFFF;
                const int prediction = near0[ch][shifted & 0xFF] + near1[ch][shifted >> 8] + current[ch][j] +
                                       (tap0[ch] & -static_cast<int>(c.bit));
                c.recent = shifted | c.bit;
                const unsigned magnitude = static_cast<unsigned>(prediction < 0 ? -prediction : prediction) >> 3;
                unsigned p = table[ch][std::min(magnitude, last[ch])];
                if constexpr (kHalfProbability) {
                    if (8 * b + j < loop.half_probability_end[ch]) p = 128;
                }
                c.bit = coder.decode(p) ^ (static_cast<unsigned>(prediction) >> 31);
            }
        }
        // The byte's eight bits are now the newest eight of the history.
        for (int ch = 0; ch < nch; ++ch)
            ctx.history[ch][kHistoryBytes + b] = static_cast<std::uint8_t>((st[ch].recent << 1) | st[ch].bit);
    }

    loop.coder = coder;
    for (int ch = 0; ch < nch; ++ch) loop.state[ch] = st[ch];
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
    // The size bound only keeps bit positions from overflowing.
    if (frame == nullptr || frame_bytes == 0 || channel_out == nullptr || channels < 1 || channels > kMaxChannels ||
        frame_length < 1 || frame_length > kMaxFrameLength ||
        static_cast<std::uint64_t>(frame_bytes) > (std::uint64_t{1} << 40))
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
    for (int f = 0; f < filters; ++f)
        build_tables(ctx.coef[f], ctx.order[f], ctx.near[f], ctx.far[f], ctx.far_groups[f]);

    SampleLoop loop{ctx, {}, {}, {}};
    loop.coder.start(ctx.adata, adata_bytes);
    (void)loop.coder.decode(kFirstBitProbability.p[ctx.coef[0][0] & 0x7F]);  // carries no sample
    for (int ch = 0; ch < channels; ++ch) {
        // The history starts as 0xAA in every byte; one bit behind, that is 0x5555 and a 0.
        std::memset(ctx.history[ch], 0xAA, kHistoryBytes);
        loop.state[ch] = ChannelState{0x5555, 0};
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
    for (int ch = 0; ch < channels; ++ch)
        std::memcpy(channel_out[ch], ctx.history[ch] + kHistoryBytes, static_cast<std::size_t>(frame_length));
    return DST_OK;
}
