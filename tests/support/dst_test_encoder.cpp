#include "tests/support/dst_test_encoder.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

namespace dst_test {

namespace {

constexpr int kCoefPredictor[3][3] = {{-8, 0, 0}, {-16, 8, 0}, {-9, -5, 6}};
constexpr int kTablePredictor[3][3] = {{-1, 0, 0}, {-2, 1, 0}, {-3, 3, -1}};

int bit_length(unsigned v) {
    int n = 0;
    while (v) {
        ++n;
        v >>= 1;
    }
    return n;
}

int sample_bit(const Bytes& channel, std::size_t i) { return (channel[i / 8] >> (7 - i % 8)) & 1; }

void write_segmentation(const Segmentation& seg, int channels, int frame_length, int min_segment, BitWriter& w) {
    w.put(seg.same_for_all ? 1 : 0, 1);
    const int descriptions = seg.same_for_all ? 1 : channels;
    bool resolution_written = false;
    for (int ch = 0; ch < descriptions; ++ch) {
        int remaining = frame_length;
        for (int units : seg.units.at(ch)) {
            w.put(0, 1);  // End_Of_Channel
            if (!resolution_written) {
                w.put(static_cast<std::uint32_t>(seg.resolution), 13);
                resolution_written = true;
            }
            // A resolution of 0 is only written to be refused; nothing after it is read.
            const int quotient = seg.resolution > 0 ? (remaining - min_segment) / seg.resolution : 0;
            w.put(static_cast<std::uint32_t>(units), bit_length(static_cast<unsigned>(std::max(quotient, 0))));
            remaining -= units * seg.resolution;
        }
        w.put(1, 1);
    }
}

int segment_count(const Segmentation& seg, int ch) {
    return static_cast<int>(seg.units.at(seg.same_for_all ? 0 : ch).size()) + 1;
}

void write_mapping(const Mapping& map, const Segmentation& seg, int channels, BitWriter& w) {
    w.put(map.same_for_all ? 1 : 0, 1);
    const int coded = map.same_for_all ? 1 : channels;
    int count = 1;
    for (int ch = 0; ch < coded; ++ch) {
        for (int s = 0; s < segment_count(seg, ch); ++s) {
            if (ch == 0 && s == 0) continue;
            const auto& row = map.index.at(ch);
            const int index = static_cast<std::size_t>(s) < row.size() ? row[s] : 0;
            w.put(static_cast<std::uint32_t>(index), bit_length(static_cast<unsigned>(count)));
            if (index == count) ++count;
        }
    }
}

void write_filter(const Filter& f, BitWriter& w) {
    const int order = static_cast<int>(f.coefs.size());
    w.put(static_cast<std::uint32_t>(order - 1), 7);
    w.put(f.coded ? 1 : 0, 1);
    if (!f.coded) {
        for (int c : f.coefs) w.put_signed(c, 9);
        return;
    }
    w.put(static_cast<std::uint32_t>(f.method), 2);
    if (f.method > 2) return;  // a reserved Method: nothing the decoder could read follows
    for (int k = 0; k <= f.method && k < order; ++k) w.put_signed(f.coefs[k], 9);
    w.put(static_cast<std::uint32_t>(f.rice), 3);
    for (int j = f.method + 1; j < order; ++j) {
        int x = 0;
        for (int k = 0; k <= f.method; ++k) x += kCoefPredictor[f.method][k] * f.coefs[j - k - 1];
        // The decoder takes coefficient = r - floor((x + 4) / 8).
        const int floor_div = static_cast<int>(std::floor((x + 4) / 8.0));
        w.put_rice(f.coefs[j] + floor_div, f.rice);
    }
}

void write_table(const Table& t, BitWriter& w) {
    const int length = static_cast<int>(t.entries.size());
    w.put(static_cast<std::uint32_t>(length - 1), 6);
    if (length == 1) return;
    w.put(t.coded ? 1 : 0, 1);
    if (!t.coded) {
        for (int e : t.entries) w.put(static_cast<std::uint32_t>(e - 1), 7);
        return;
    }
    w.put(static_cast<std::uint32_t>(t.method), 2);
    if (t.method > 2) return;
    for (int k = 0; k <= t.method && k < length; ++k) w.put(static_cast<std::uint32_t>(t.entries[k] - 1), 7);
    w.put(static_cast<std::uint32_t>(t.rice), 3);
    for (int j = t.method + 1; j < length; ++j) {
        int x = 0;
        for (int k = 0; k <= t.method; ++k) x += kTablePredictor[t.method][k] * t.entries[j - k - 1];
        w.put_rice(t.entries[j] + x, t.rice);
    }
}

std::vector<int> segment_lengths(const Segmentation& seg, int ch, int frame_length) {
    std::vector<int> lengths;
    int used = 0;
    for (int units : seg.units.at(seg.same_for_all ? 0 : ch)) {
        lengths.push_back(units * seg.resolution);
        used += units * seg.resolution;
    }
    lengths.push_back(frame_length - used);
    return lengths;
}

std::vector<std::vector<int>> expand(const Segmentation& seg, const Mapping& map, int channels, int frame_length) {
    std::vector<std::vector<int>> per_byte(static_cast<std::size_t>(channels));
    for (int ch = 0; ch < channels; ++ch) {
        const auto lengths = segment_lengths(seg, ch, frame_length);
        const auto& index = map.index.at(map.same_for_all ? 0 : ch);
        for (std::size_t s = 0; s < lengths.size(); ++s)
            per_byte[ch].insert(per_byte[ch].end(), static_cast<std::size_t>(lengths[s]), index.at(s));
        if (static_cast<int>(per_byte[ch].size()) != frame_length)
            throw std::logic_error("segments do not cover the frame");
    }
    return per_byte;
}

// Binary arithmetic encoder matching the decoder's 12-bit interval arithmetic. The code value is
// kept as a bit string; adding to it propagates carries to the left.
class ArithmeticEncoder {
public:
    ArithmeticEncoder() : bits_(13, 0) {}

    // e = 1 takes the lower part (size a - q), e = 0 the upper part (size q).
    void encode(int e, unsigned p) {
        const unsigned k = (a_ >> 8) | ((a_ >> 7) & 1u);
        const unsigned q = p * k;
        if (e) {
            a_ -= q;
        } else {
            add(a_ - q);
            a_ = q;
        }
        while (a_ < 2048) {
            a_ <<= 1;
            bits_.push_back(0);
        }
    }

    const std::vector<std::uint8_t>& bits() const { return bits_; }

private:
    void add(unsigned v) {
        unsigned carry = 0;
        for (std::size_t i = bits_.size(); i-- > 0 && (v || carry);) {
            const unsigned s = bits_[i] + (v & 1u) + carry;
            bits_[i] = static_cast<std::uint8_t>(s & 1u);
            carry = s >> 1;
            v >>= 1;
        }
        if (carry || v) throw std::logic_error("arithmetic code value overflowed");
    }

    std::vector<std::uint8_t> bits_;
    unsigned a_ = 4095;
};

unsigned reverse7(unsigned v) {
    unsigned r = 0;
    for (int i = 0; i < 7; ++i) r |= ((v >> i) & 1u) << (6 - i);
    return r;
}

}  // namespace

void BitWriter::put(std::uint32_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) bits_.push_back(static_cast<std::uint8_t>(i < 32 ? (value >> i) & 1u : 0u));
}

void BitWriter::put_signed(int value, int bits) { put(static_cast<std::uint32_t>(value) & ((1u << bits) - 1), bits); }

void BitWriter::put_rice(int value, int m) {
    const unsigned magnitude = static_cast<unsigned>(std::abs(value));
    for (unsigned q = magnitude >> m; q > 0; --q) bits_.push_back(0);
    bits_.push_back(1);
    put(magnitude & ((1u << m) - 1), m);
    if (magnitude != 0) bits_.push_back(value < 0 ? 1 : 0);
}

void BitWriter::put_bits(const std::vector<std::uint8_t>& bits) { bits_.insert(bits_.end(), bits.begin(), bits.end()); }

Bytes BitWriter::bytes() const {
    Bytes out((bits_.size() + 7) / 8, 0);
    for (std::size_t i = 0; i < bits_.size(); ++i)
        if (bits_[i]) out[i / 8] |= static_cast<std::uint8_t>(0x80u >> (i % 8));
    return out;
}

void write_header(const FrameSpec& spec, BitWriter& w) {
    w.put(1, 1);  // DST_Coded
    w.put(spec.same_segmentation ? 1 : 0, 1);
    write_segmentation(spec.filter_seg, spec.channels, spec.frame_length, 128, w);
    if (!spec.same_segmentation) write_segmentation(spec.table_seg, spec.channels, spec.frame_length, 4, w);
    w.put(spec.same_mapping ? 1 : 0, 1);
    write_mapping(spec.filter_map, spec.filter_seg, spec.channels, w);
    if (!spec.same_mapping)
        write_mapping(spec.table_map, spec.same_segmentation ? spec.filter_seg : spec.table_seg, spec.channels, w);
    for (int ch = 0; ch < spec.channels; ++ch) w.put(spec.half_probability.at(ch) ? 1 : 0, 1);
    for (const Filter& f : spec.filters) write_filter(f, w);
    for (const Table& t : spec.tables) write_table(t, w);
}

Layout expand_layout(const FrameSpec& spec) {
    Layout layout;
    layout.filter_of = expand(spec.filter_seg, spec.filter_map, spec.channels, spec.frame_length);
    const Segmentation& table_seg = spec.same_segmentation ? spec.filter_seg : spec.table_seg;
    const Mapping& table_map = spec.same_mapping ? spec.filter_map : spec.table_map;
    layout.table_of = expand(table_seg, table_map, spec.channels, spec.frame_length);
    return layout;
}

int reference_prediction(const std::vector<int>& coefs, const Bytes& channel, std::size_t i) {
    int sum = 0;
    for (std::size_t k = 0; k < coefs.size(); ++k) {
        int bit;
        if (i >= k + 1) {
            bit = sample_bit(channel, i - k - 1);
        } else {
            bit = static_cast<int>((k - i) & 1u);  // the initial history byte 0xAA, newest bit in bit 0
        }
        sum += bit ? coefs[k] : -coefs[k];
    }
    return sum;
}

Bytes encode_frame(const FrameSpec& spec, const Planar& samples, const EncodeOptions& options) {
    BitWriter w;
    write_header(spec, w);
    const Layout layout = expand_layout(spec);
    const Mapping& filter_map = spec.filter_map;

    ArithmeticEncoder coder;
    coder.encode(1, reverse7(static_cast<unsigned>(spec.filters.at(0).coefs.at(0)) & 0x7Fu) + 1);
    const std::size_t total = static_cast<std::size_t>(spec.frame_length) * 8;
    for (std::size_t i = 0; i < total; ++i) {
        for (int ch = 0; ch < spec.channels; ++ch) {
            const Filter& f = spec.filters.at(static_cast<std::size_t>(layout.filter_of[ch][i / 8]));
            const Table& t = spec.tables.at(static_cast<std::size_t>(layout.table_of[ch][i / 8]));
            const int prediction = reference_prediction(f.coefs, samples[ch], i);
            const int first_filter = filter_map.index.at(filter_map.same_for_all ? 0 : ch).at(0);
            const std::size_t half_end = spec.filters.at(static_cast<std::size_t>(first_filter)).coefs.size();
            unsigned p;
            if (spec.half_probability.at(ch) && i < half_end) {
                p = 128;
            } else {
                const std::size_t bucket = std::min<std::size_t>(static_cast<std::size_t>(std::abs(prediction)) >> 3,
                                                                 t.entries.size() - 1);
                p = static_cast<unsigned>(t.entries[bucket]);
            }
            const int predicted = prediction >= 0 ? 1 : 0;
            coder.encode(sample_bit(samples[ch], i) == predicted ? 1 : 0, p);
        }
    }
    // The code value is written in full; the decoder then never reads past it.
    w.put_bits(coder.bits());
    Bytes out = w.bytes();
    if (options.trim_trailing_zeros) {
        BitWriter header;
        write_header(spec, header);
        const std::size_t header_bytes = (header.size() + 7) / 8;
        while (out.size() > header_bytes && out.back() == 0) out.pop_back();
    }
    out.insert(out.end(), options.extra_zero_bytes, 0);
    return out;
}

Bytes plain_frame(const Planar& samples, std::uint8_t first_byte) {
    Bytes out{first_byte};
    for (std::size_t i = 0; i < samples.at(0).size(); ++i)
        for (const Bytes& ch : samples) out.push_back(ch[i]);
    return out;
}

FrameSpec design_spec(const Planar& samples, int order, bool shared_filter) {
    FrameSpec spec;
    spec.channels = static_cast<int>(samples.size());
    spec.frame_length = static_cast<int>(samples.at(0).size());
    spec.filter_seg.units.assign(1, {});
    spec.half_probability.assign(static_cast<std::size_t>(spec.channels), true);
    const std::size_t total = static_cast<std::size_t>(spec.frame_length) * 8;

    // Autocorrelation of the +-1 signal, summed over the channels a filter serves.
    const int filters = shared_filter ? 1 : spec.channels;
    spec.filter_map.same_for_all = shared_filter;
    for (int ch = 0; ch < (shared_filter ? 1 : spec.channels); ++ch) spec.filter_map.index.push_back({ch});
    for (int f = 0; f < filters; ++f) {
        std::vector<double> r(static_cast<std::size_t>(order) + 1, 0.0);
        for (int ch = 0; ch < spec.channels; ++ch) {
            if (!shared_filter && ch != f) continue;
            std::vector<double> x(total);
            for (std::size_t i = 0; i < total; ++i) x[i] = sample_bit(samples[ch], i) ? 1.0 : -1.0;
            for (int lag = 0; lag <= order; ++lag)
                for (std::size_t i = static_cast<std::size_t>(lag); i < total; ++i) r[lag] += x[i] * x[i - lag];
        }
        // Levinson-Durbin: a[1..order] predicting x[n] from x[n-1..n-order].
        std::vector<double> a(static_cast<std::size_t>(order) + 1, 0.0), prev;
        double error = r[0] * (1 + 1e-9);
        for (int m = 1; m <= order; ++m) {
            double acc = r[m];
            for (int k = 1; k < m; ++k) acc -= a[k] * r[m - k];
            const double reflection = acc / error;
            prev = a;
            a[m] = reflection;
            for (int k = 1; k < m; ++k) a[k] = prev[k] - reflection * prev[m - k];
            error *= 1 - reflection * reflection;
        }
        double largest = 1e-9;
        for (int k = 1; k <= order; ++k) largest = std::max(largest, std::fabs(a[k]));
        const double scale = std::min(256.0, 255.0 / largest);
        Filter filter;
        for (int k = 1; k <= order; ++k)
            filter.coefs.push_back(std::clamp(static_cast<int>(std::lround(a[k] * scale)), -256, 255));
        spec.filters.push_back(filter);
    }

    // One table per filter from the frame's own wrong-prediction rates per bucket.
    for (int f = 0; f < filters; ++f) {
        std::vector<double> wrong(64, 0), seen(64, 0);
        for (int ch = 0; ch < spec.channels; ++ch) {
            if (!shared_filter && ch != f) continue;
            for (std::size_t i = static_cast<std::size_t>(order); i < total; ++i) {
                const int prediction = reference_prediction(spec.filters[f].coefs, samples[ch], i);
                const std::size_t bucket =
                    std::min<std::size_t>(static_cast<std::size_t>(std::abs(prediction)) >> 3, 63);
                seen[bucket] += 1;
                if (sample_bit(samples[ch], i) != (prediction >= 0 ? 1 : 0)) wrong[bucket] += 1;
            }
        }
        Table table;
        for (int b = 0; b < 64; ++b) {
            const double rate = seen[b] > 0 ? wrong[b] / seen[b] : 0.5;
            table.entries.push_back(std::clamp(static_cast<int>(std::lround(rate * 256)), 1, 128));
        }
        spec.tables.push_back(table);
    }
    return spec;
}

}  // namespace dst_test
