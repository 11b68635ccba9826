// The decoder's plain interface: exact reconstruction on frames using every part of the frame
// syntax, and the status code of every kind of malformed frame.
#include "dst/dst_decoder.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/dst/dst_test_frames.h"

using namespace dst_test;

namespace {

struct Decoded {
    int status = 0;
    Planar channels;
};

Decoded decode(const Bytes& frame, int channels, int frame_length) {
    Decoded d;
    d.channels.assign(static_cast<std::size_t>(channels), Bytes(static_cast<std::size_t>(frame_length), 0x5A));
    std::uint8_t* out[6] = {};
    for (int c = 0; c < channels; ++c) out[c] = d.channels[c].data();
    d.status = dst_decode_frame_c(frame.data(), frame.size(), channels, frame_length, out);
    return d;
}

// Where two planar frames first differ, for readable failures.
std::string first_difference(const Planar& got, const Planar& want) {
    if (got.size() != want.size()) return "channel count differs";
    for (std::size_t c = 0; c < want.size(); ++c)
        for (std::size_t i = 0; i < want[c].size(); ++i)
            if (got[c][i] != want[c][i]) return "channel " + std::to_string(c) + " byte " + std::to_string(i);
    return "";
}

// A stereo header with one segment, one shared filter of the given order and one 64-entry table.
FrameSpec small_spec(int frame_length, int order) {
    FrameSpec spec;
    spec.channels = 2;
    spec.frame_length = frame_length;
    spec.filter_seg = {true, 0, {{}}};
    spec.filter_map = {true, {{0}}};
    spec.half_probability = {true, true};
    Filter f;
    for (int k = 0; k < order; ++k) f.coefs.push_back((k % 2 ? -1 : 1) * (100 - k % 90));
    spec.filters = {f};
    spec.tables = {{std::vector<int>(64, 60), false, 0, 0}};
    return spec;
}

Bytes header_only(const FrameSpec& spec) {
    BitWriter w;
    write_header(spec, w);
    return w.bytes();
}

}  // namespace

TEST(DstDecoder, ReproducesFramesOfEveryShape) {
    struct Case {
        const char* name;
        std::function<std::pair<FrameSpec, Planar>()> make;
        EncodeOptions options;
    };
    const Case cases[] = {
        {"stereo, a filter of order 32 per channel",
         [] { auto s = signal(2, 4704); return std::pair{design_spec(s, 32, false), s}; }, {}},
        {"six channels sharing one filter of order 128",
         [] { auto s = signal(6, 4704); return std::pair{design_spec(s, 128, true), s}; }, {}},
        {"mono, order 1, odd frame length, trailing zero bytes dropped",
         [] { auto s = signal(1, 333); return std::pair{design_spec(s, 1, false), s}; }, {true, 0}},
        {"segments, maps, coded coefficients and tables, one-entry table",
         [] { auto s = signal(3, 1000); return std::pair{rich_spec(s), s}; }, {}},
        {"the same, trailing zero bytes dropped",
         [] { auto s = signal(3, 1000); return std::pair{rich_spec(s), s}; }, {true, 0}},
        {"separate table segmentation under the filters' mapping",
         [] {
             auto s = signal(2, 600);
             FrameSpec spec = design_spec(s, 16, false);
             spec.same_segmentation = false;
             spec.filter_seg = {true, 100, {{3}}};          // 300 + 300
             spec.table_seg = {true, 10, {{7}}};            // 70 + 530: same count as the filters'
             spec.filter_map = {false, {{0, 1}, {1, 0}}};
             spec.tables[1].coded = true;
             spec.tables[1].method = 1;
             spec.tables[1].rice = 1;
             return std::pair{spec, s};
         }, {}},
        {"all-zero and all-one channels",
         [] {
             Planar s{Bytes(4704, 0x00), Bytes(4704, 0xFF)};
             FrameSpec spec = small_spec(4704, 1);
             spec.filters[0].coefs = {255};
             spec.tables[0].entries = {1, 1};
             return std::pair{spec, s};
         }, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto [spec, samples] = c.make();
        const Bytes frame = encode_frame(spec, samples, c.options);
        const Decoded d = decode(frame, spec.channels, spec.frame_length);
        ASSERT_EQ(d.status, DST_OK);
        EXPECT_EQ(first_difference(d.channels, samples), "");
    }
}

TEST(DstDecoder, EveryPrefixShorterThanTheHeaderIsTruncated) {
    // Covers a cut inside each header field, the filter coefficients included.
    const Planar three = signal(3, 1000);
    const Planar two = signal(2, 4704);
    for (const auto& [spec, samples] : {std::pair{rich_spec(three), three}, std::pair{small_spec(4704, 128), two}}) {
        BitWriter w;
        write_header(spec, w);
        const Bytes frame = encode_frame(spec, samples);
        for (std::size_t n = 1; n < w.size() / 8; ++n) {
            const Decoded d = decode(Bytes(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(n)),
                                     spec.channels, spec.frame_length);
            ASSERT_EQ(d.status, DST_ERR_TRUNCATED) << "prefix of " << n << " bytes";
        }
    }
}

TEST(DstDecoder, OneEntryTableNeedsNoFurtherBits) {
    FrameSpec spec = small_spec(4704, 2);
    spec.tables = {{{128}, false, 0, 0}};
    BitWriter w;
    write_header(spec, w);
    ASSERT_EQ(w.size() % 8, 0u);  // the header ends with the table's length field on a byte boundary
    const Bytes header = w.bytes();
    EXPECT_EQ(decode(header, 2, 4704).status, DST_OK);  // with an empty A_Data
    EXPECT_EQ(decode(Bytes(header.begin(), header.end() - 1), 2, 4704).status, DST_ERR_TRUNCATED);
}

TEST(DstDecoder, ADataLimitIsExact) {
    const FrameSpec spec = small_spec(4704, 8);
    BitWriter w;
    write_header(spec, w);
    // The longest frame whose A_Data stays within 225792 bits, and one byte more.
    Bytes frame = w.bytes();
    frame.resize((w.size() + 225792) / 8, 0);
    EXPECT_EQ(decode(frame, 2, 4704).status, DST_OK);
    frame.push_back(0);
    EXPECT_EQ(decode(frame, 2, 4704).status, DST_ERR_ADATA_TOO_LONG);
}

TEST(DstDecoder, MalformedHeadersGiveTheirStatus) {
    struct Case {
        const char* name;
        std::function<Bytes()> frame;
        int status;
        int channels = 2;
        int frame_length = 4704;
    };
    const Case cases[] = {
        {"filter segment of 127 bytes",
         [] { FrameSpec s = small_spec(4704, 8); s.filter_seg = {true, 127, {{1}}}; return header_only(s); },
         DST_ERR_SEGMENTATION},
        {"resolution 0",
         [] { FrameSpec s = small_spec(4704, 8); s.filter_seg = {true, 0, {{1}}}; return header_only(s); },
         DST_ERR_SEGMENTATION},
        {"resolution above Frame_Length - 128",
         [] { FrameSpec s = small_spec(4704, 8); s.filter_seg = {true, 4577, {{1}}}; return header_only(s); },
         DST_ERR_SEGMENTATION},
        {"segment overshooting the frame",
         [] { FrameSpec s = small_spec(4704, 8); s.filter_seg = {true, 1000, {{7}}}; return header_only(s); },
         DST_ERR_SEGMENTATION},
        {"closing segment below the minimum",
         [] { FrameSpec s = small_spec(4704, 8); s.filter_seg = {true, 100, {{46}}}; return header_only(s); },
         DST_ERR_SEGMENTATION},
        {"frame shorter than one filter segment",
         [] { FrameSpec s = small_spec(127, 8); return header_only(s); }, DST_ERR_SEGMENTATION, 2, 127},
        {"five filter segments",
         [] { FrameSpec s = small_spec(4704, 8); s.filter_seg = {true, 128, {{1, 1, 1, 1}}};
              s.filter_map = {true, {{0, 0, 0, 0, 0}}}; return header_only(s); },
         DST_ERR_SEGMENTATION},
        {"nine table segments",
         [] { FrameSpec s = small_spec(4704, 8); s.same_segmentation = false;
              s.table_seg = {true, 4, {{1, 1, 1, 1, 1, 1, 1, 1}}}; return header_only(s); },
         DST_ERR_SEGMENTATION},
        {"mapping jumps from table 1 to table 3",
         [] { FrameSpec s = small_spec(4704, 8); s.same_segmentation = false; s.same_mapping = false;
              s.table_seg = {true, 4, {{1, 1}}}; s.table_map = {true, {{0, 1, 3}}}; return header_only(s); },
         DST_ERR_MAPPING},
        {"more filters than twice the channels",
         [] { FrameSpec s = small_spec(4704, 8); s.channels = 1; s.half_probability = {true};
              s.filter_seg = {true, 128, {{1, 1}}}; s.filter_map = {true, {{0, 1, 2}}}; return header_only(s); },
         DST_ERR_MAPPING, 1},
        {"one map for all channels over unequal segment counts",
         [] { FrameSpec s = small_spec(4704, 8); s.filter_seg = {false, 128, {{1}, {}}};
              s.filter_map = {true, {{0, 0}}}; return header_only(s); },
         DST_ERR_MAPPING},
        {"filters' mapping over a table segmentation of another count",
         [] { FrameSpec s = small_spec(4704, 8); s.same_segmentation = false; s.table_seg = {true, 4, {{1}}};
              return header_only(s); },
         DST_ERR_MAPPING},
        {"coded filter with Method 3",
         [] { FrameSpec s = small_spec(4704, 8); s.filters[0].coded = true; s.filters[0].method = 3;
              s.filters[0].coefs = {1, 2, 3, 4, 5, 6, 7, 8}; BitWriter w; write_header(s, w); w.put(0, 64);
              return w.bytes(); },
         DST_ERR_FILTER_COEFS},
        {"coded filter with Method + 1 equal to the order",
         [] { FrameSpec s = small_spec(4704, 2); s.filters[0].coded = true; s.filters[0].method = 1;
              return header_only(s); },
         DST_ERR_FILTER_COEFS},
        {"coded filter with Rice parameter 7",
         [] { FrameSpec s = small_spec(4704, 8); s.filters[0].coded = true; s.filters[0].rice = 7;
              return header_only(s); },
         DST_ERR_FILTER_COEFS},
        {"coded coefficient above 255",
         [] { BitWriter w; FrameSpec s = small_spec(4704, 3); s.tables = {}; s.filters = {};
              write_header(s, w);
              w.put(2, 7); w.put(1, 1); w.put(0, 2); w.put_signed(255, 9);  // order 3, method 0
              w.put(0, 3); w.put_rice(4, 0);  // x = -8 * 255, so the coefficient is r + 255
              return w.bytes(); },
         DST_ERR_FILTER_COEFS},
        {"coded table with Method 3",
         [] { FrameSpec s = small_spec(4704, 8); s.tables[0].coded = true; s.tables[0].method = 3;
              BitWriter w; write_header(s, w); w.put(0, 64); return w.bytes(); },
         DST_ERR_PROB_TABLES},
        {"coded table with Rice parameter 5",
         [] { FrameSpec s = small_spec(4704, 8); s.tables[0].coded = true; s.tables[0].rice = 5;
              return header_only(s); },
         DST_ERR_PROB_TABLES},
        {"coded table with more leading entries than its length",
         [] { BitWriter w; FrameSpec s = small_spec(4704, 1); s.tables = {}; write_header(s, w);
              w.put(1, 6); w.put(1, 1); w.put(2, 2); w.put(0, 64); return w.bytes(); },
         DST_ERR_PROB_TABLES},
        {"coded table entry of 0",
         [] { BitWriter w; FrameSpec s = small_spec(4704, 1); s.tables = {}; write_header(s, w);
              w.put(1, 6); w.put(1, 1); w.put(0, 2); w.put(4, 7); w.put(0, 3); w.put_rice(-5, 0);
              return w.bytes(); },
         DST_ERR_PROB_TABLES},
        {"coded table entry of 129",
         [] { BitWriter w; FrameSpec s = small_spec(4704, 1); s.tables = {}; write_header(s, w);
              w.put(1, 6); w.put(1, 1); w.put(0, 2); w.put(127, 7); w.put(0, 3); w.put_rice(1, 0);
              return w.bytes(); },
         DST_ERR_PROB_TABLES},
        {"plain frame", [] { return Bytes(1 + 2 * 4704, 0); }, DST_ERR_PARAMETERS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(decode(c.frame(), c.channels, c.frame_length).status, c.status);
    }
}

TEST(DstDecoder, RefusesBadArguments) {
    const Planar s = signal(2, 4704);
    const Bytes frame = encode_frame(design_spec(s, 8, true), s);
    std::uint8_t a[4704], b[4704];
    std::uint8_t* out[2] = {a, b};
    std::uint8_t* missing[2] = {a, nullptr};
    EXPECT_EQ(dst_decode_frame_c(frame.data(), frame.size(), 2, 4704, out), DST_OK);
    EXPECT_EQ(dst_decode_frame_c(nullptr, frame.size(), 2, 4704, out), DST_ERR_PARAMETERS);
    EXPECT_EQ(dst_decode_frame_c(frame.data(), 0, 2, 4704, out), DST_ERR_PARAMETERS);
    EXPECT_EQ(dst_decode_frame_c(frame.data(), frame.size(), 0, 4704, out), DST_ERR_PARAMETERS);
    EXPECT_EQ(dst_decode_frame_c(frame.data(), frame.size(), 7, 4704, out), DST_ERR_PARAMETERS);
    EXPECT_EQ(dst_decode_frame_c(frame.data(), frame.size(), 2, 0, out), DST_ERR_PARAMETERS);
    EXPECT_EQ(dst_decode_frame_c(frame.data(), frame.size(), 2, 4705, out), DST_ERR_PARAMETERS);
    EXPECT_EQ(dst_decode_frame_c(frame.data(), frame.size(), 2, 4704, nullptr), DST_ERR_PARAMETERS);
    EXPECT_EQ(dst_decode_frame_c(frame.data(), frame.size(), 2, 4704, missing), DST_ERR_PARAMETERS);
}
