// The demultiplexer, the track segmentation and the frame readers on audio sectors written by
// hand from the sector layout: header byte, Packet_Info and Frame_Info records, payloads, zero
// stuffing.
#include "sacd/audio/demux.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "i18n/i18n.h"
#include "sacd/audio/frame_reader.h"

using namespace sacd::audio;
using sacd::ByteSource;
using sacd::TimeCode;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Packet {
    bool frame_start;
    int data_type;  // 2 audio, 3 supplementary, 7 padding
    Bytes data;
};

struct Info {
    std::uint32_t frame_number;  // written as a time code
    int n_sectors = 1;           // DST areas only
    bool sentinel = false;
};

Packet start(Bytes data) { return Packet{true, 2, std::move(data)}; }
Packet more(Bytes data) { return Packet{false, 2, std::move(data)}; }
Bytes filled(std::size_t n, std::uint8_t seed) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(seed + 3 * i);
    return b;
}

// One audio sector: N_Packets, N_Frame_Info, reserved 0, DST_Coded; Packet_Info records
// (Frame_Start, reserved 0, Data_Type, Packet_Length); Frame_Info records (DST: time code and
// a byte with N_Sectors in bits 6-2; plain DSD: time code only); payloads; zero stuffing.
Bytes sector(bool dst, const std::vector<Packet>& packets, const std::vector<Info>& infos) {
    Bytes s(2048, 0);
    std::size_t at = 0;
    s[at++] = static_cast<std::uint8_t>((packets.size() << 5) | (infos.size() << 2) | (dst ? 1 : 0));
    for (const Packet& p : packets) {
        const auto v = static_cast<std::uint16_t>((p.frame_start ? 0x8000 : 0) | (p.data_type << 11) | p.data.size());
        s[at++] = static_cast<std::uint8_t>(v >> 8);
        s[at++] = static_cast<std::uint8_t>(v);
    }
    for (const Info& i : infos) {
        if (i.sentinel) {
            s[at++] = 0xFF, s[at++] = 0xFF, s[at++] = 0xFF;
        } else {
            s[at++] = static_cast<std::uint8_t>(i.frame_number / 4500);
            s[at++] = static_cast<std::uint8_t>(i.frame_number % 4500 / 75);
            s[at++] = static_cast<std::uint8_t>(i.frame_number % 75);
        }
        if (dst) s[at++] = static_cast<std::uint8_t>(i.n_sectors << 2);
    }
    for (const Packet& p : packets)
        for (std::uint8_t b : p.data) s[at++] = b;
    return s;
}

// An image of `lead` zero sectors followed by the area's sectors.
struct Area {
    static constexpr std::uint64_t kLead = 3;
    Bytes image;
    std::uint64_t sectors = 0;

    explicit Area(const std::vector<Bytes>& area_sectors) : image(kLead * 2048, 0), sectors(area_sectors.size()) {
        for (const Bytes& s : area_sectors) image.insert(image.end(), s.begin(), s.end());
    }
    DemuxRequest request(std::uint8_t frame_format, std::uint8_t channels = 2,
                         std::optional<std::uint32_t> stop = std::nullopt) const {
        DemuxRequest r;
        r.first_byte = kLead * 2048;
        r.byte_length = sectors * 2048;
        r.frame_format = frame_format;
        r.channel_count = channels;
        r.stop_frame = stop;
        return r;
    }
    platform::Result<FrameList, AudioError> demux(const DemuxRequest& r, DemuxStats* stats = nullptr) const {
        ByteSource source = ByteSource::memory(image);
        return demultiplex(source, r, stats);
    }
};

std::string english(const AudioError& e) {
    i18n::LANG = false;
    return e.display();
}

std::string demux_text(const std::string& reason) { return "cannot demux audio area (refusing to guess): " + reason; }

// Plain-DSD sectors with one 10-byte frame each, frame numbers as given.
std::vector<Bytes> one_frame_per_sector(const std::vector<std::uint32_t>& numbers) {
    std::vector<Bytes> out;
    for (std::uint32_t n : numbers) out.push_back(sector(false, {start(filled(10, static_cast<std::uint8_t>(n)))}, {{n}}));
    return out;
}

std::vector<TimeCode> tcs(const std::vector<std::uint32_t>& frames) {
    std::vector<TimeCode> out;
    for (std::uint32_t f : frames) out.push_back(*TimeCode::from_frames(f));
    return out;
}

FrameList frames_numbered(const std::vector<std::uint32_t>& numbers) {
    FrameList list;
    for (std::uint32_t n : numbers) {
        list.frames.push_back(MultiplexedFrame{static_cast<std::uint32_t>(list.pieces.size()), 1, 0, *TimeCode::from_frames(n)});
        list.pieces.push_back(Piece{n, 1});
    }
    return list;
}

std::vector<std::uint32_t> numbers_of(const std::vector<MultiplexedFrame>& frames) {
    std::vector<std::uint32_t> out;
    for (const auto& f : frames) out.push_back(static_cast<std::uint32_t>(f.time_code.to_frames()));
    return out;
}

}  // namespace

TEST(Demux, FrameAcrossThreeSectorsIsOneFrameWithThreePieces) {
    // Frame 0 starts in sector 0, continues in sector 1 (behind a padding packet and beside a
    // supplementary packet) and ends in sector 2, where frame 1 starts.
    const Area area({
        sector(true, {start(filled(100, 1))}, {{0, 3}}),
        sector(true, {Packet{false, 7, Bytes(20, 0)}, more(filled(200, 2)), Packet{false, 3, filled(5, 9)}}, {}),
        sector(true, {more(filled(50, 3)), start(filled(10, 4))}, {{1, 1}}),
    });
    auto r = area.demux(area.request(0));
    ASSERT_TRUE(r.ok()) << english(r.error());
    ASSERT_EQ(r->frames.size(), 2u);
    const auto base = [](std::uint64_t i) { return (Area::kLead + i) * 2048; };
    const MultiplexedFrame& f0 = r->frames[0];
    EXPECT_EQ(f0.start_sector, Area::kLead);
    EXPECT_EQ(f0.time_code.to_frames(), 0u);
    ASSERT_EQ(f0.piece_count, 3u);
    auto p = r->pieces_of(f0);
    // Headers: 1 + 2 + 4 = 7; 1 + 3 x 2 = 7 (padding payload 20 before the audio); 1 + 2 x 2 + 4 = 9.
    EXPECT_EQ(p[0].offset, base(0) + 7);
    EXPECT_EQ(p[0].length, 100);
    EXPECT_EQ(p[1].offset, base(1) + 7 + 20);
    EXPECT_EQ(p[1].length, 200);
    EXPECT_EQ(p[2].offset, base(2) + 9);
    EXPECT_EQ(p[2].length, 50);
    const MultiplexedFrame& f1 = r->frames[1];
    EXPECT_EQ(f1.start_sector, Area::kLead + 2);
    ASSERT_EQ(f1.piece_count, 1u);
    EXPECT_EQ(r->pieces_of(f1)[0].offset, base(2) + 9 + 50);

    // The pieces read back give the frame's bytes in order.
    ByteSource source = ByteSource::memory(area.image);
    PieceReader reader(source);
    std::vector<std::uint8_t> bytes;
    std::size_t next = 0;
    ASSERT_TRUE(read_frame_dst(*r, r->frames, next, reader, bytes).ok());
    Bytes expected = filled(100, 1);
    for (const Bytes& b : {filled(200, 2), filled(50, 3)}) expected.insert(expected.end(), b.begin(), b.end());
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(next, 1u);
}

TEST(Demux, SectorCountPerFrameLimitedByChannelCount) {
    struct Case {
        std::uint8_t channels;
        int n_sectors;
        bool accepted;
    };
    const Case cases[] = {{2, 7, true}, {2, 8, false}, {5, 8, true}, {5, 14, true}, {5, 15, false},
                          {6, 16, true}, {3, 16, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.channels) << " channels, N_Sectors " << c.n_sectors);
        const Area area({sector(true, {start(filled(30, 1))}, {{0, c.n_sectors}})});
        auto r = area.demux(area.request(0, c.channels));
        if (c.accepted) {
            ASSERT_TRUE(r.ok()) << english(r.error());
            EXPECT_EQ(r->frames.size(), 1u);
        } else {
            ASSERT_FALSE(r.ok());
            EXPECT_EQ(english(r.error()), demux_text("N_Sectors out of per-channel range"));
        }
    }
}

TEST(Demux, FrameStartOnPaddingConsumesItsFrameInfo) {
    // Two Frame_Info records: the first belongs to the padding packet, the second to the audio.
    const Area area({sector(false, {Packet{true, 7, Bytes(4, 0)}, start(filled(10, 1))}, {{5}, {6}})});
    auto r = area.demux(area.request(2));
    ASSERT_TRUE(r.ok()) << english(r.error());
    ASSERT_EQ(r->frames.size(), 1u);
    EXPECT_EQ(r->frames[0].time_code.to_frames(), 6u);
}

TEST(Demux, RefusesBrokenStreams) {
    struct Case {
        const char* name;
        std::vector<Bytes> sectors;
        std::optional<std::uint32_t> stop;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"Frame_Start without Frame_Info", {sector(false, {start(filled(10, 1))}, {})}, std::nullopt,
         demux_text("Frame_Start without matching Frame_Info")},
        {"second Frame_Start without Frame_Info",
         {sector(false, {start(filled(10, 1)), start(filled(10, 2))}, {{0}})}, std::nullopt,
         demux_text("Frame_Start without matching Frame_Info")},
        {"audio before the first Frame_Start",
         {sector(false, {Packet{false, 7, Bytes(8, 0)}, more(filled(10, 1))}, {})}, std::nullopt,
         demux_text("Audio packet before first Frame_Start")},
        {"time codes backwards with a stop frame", one_frame_per_sector({0, 1, 2, 1, 3}), 10,
         demux_text("Time_Code not contiguously increasing (spec §5.2); cannot bound a track-subset scan")},
        {"a sector that does not parse",
         {sector(false, {start(filled(10, 1))}, {{0}}), sector(true, {start(filled(10, 1))}, {{0}})}, std::nullopt,
         "DST_Coded=1 contradicts Frame_Format=2 (spec 5.3.1.1.3)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Area area(c.sectors);
        auto r = area.demux(area.request(2, 2, c.stop));
        ASSERT_FALSE(r.ok());
        EXPECT_EQ(english(r.error()), c.text);
    }

    // The area's range itself.
    const Area area(one_frame_per_sector({0}));
    DemuxRequest partial = area.request(2);
    partial.byte_length = 2047;
    auto r = area.demux(partial);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(english(r.error()), demux_text("audio span not a whole number of sectors"));
    DemuxRequest beyond = area.request(2);
    beyond.first_byte = std::uint64_t{0xFFFFFFFF} * 2048;
    beyond.byte_length = 2 * 2048;
    r = area.demux(beyond);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(english(r.error()), demux_text("audio range exceeds the 32-bit LSN"));
    // A range past the end of the image is a read failure, not an empty area.
    DemuxRequest past_end = area.request(2);
    past_end.byte_length = 4 * 2048;
    EXPECT_FALSE(area.demux(past_end).ok());
}

TEST(Demux, StopFrameEndsTheScan) {
    const Area area(one_frame_per_sector({0, 1, 2, 3, 4, 5, 6, 7}));
    DemuxStats stats;
    auto r = area.demux(area.request(2, 2, 5), &stats);
    ASSERT_TRUE(r.ok()) << english(r.error());
    EXPECT_EQ(numbers_of(r->frames), (std::vector<std::uint32_t>{0, 1, 2, 3, 4}));
    EXPECT_EQ(stats.sectors, 6u);  // the scan ended at the sector of frame 5

    // Without a stop frame, time codes going backwards are only the segmentation's business.
    const Area backwards(one_frame_per_sector({0, 2, 1}));
    auto whole = backwards.demux(backwards.request(2));
    ASSERT_TRUE(whole.ok()) << english(whole.error());
    EXPECT_EQ(numbers_of(whole->frames), (std::vector<std::uint32_t>{0, 2, 1}));

    // A frame without a time code neither stops the scan nor counts as going backwards.
    std::vector<Bytes> sectors = one_frame_per_sector({3, 4});
    sectors.insert(sectors.begin() + 1, sector(false, {start(filled(10, 1))}, {{0, 1, true}}));
    const Area with_sentinel(sectors);
    auto s = with_sentinel.demux(with_sentinel.request(2, 2, 4));
    ASSERT_TRUE(s.ok()) << english(s.error());
    ASSERT_EQ(s->frames.size(), 2u);
    EXPECT_TRUE(s->frames[1].time_code.is_none());
}

TEST(Demux, FrameAcrossTheReadBatchBoundary) {
    // Sectors are read 2048 at a time: a frame that starts in sector 2047 and ends in sector
    // 2048 is one frame whose pieces lie in two batches.
    std::vector<Bytes> sectors;
    for (std::uint32_t n = 0; n < 2047; ++n) sectors.push_back(sector(false, {start(Bytes(4, 0))}, {{n}}));
    sectors.push_back(sector(false, {start(filled(600, 7))}, {{2047}}));
    sectors.push_back(sector(false, {more(filled(400, 8)), start(Bytes(4, 0))}, {{2048}}));
    const Area area(sectors);
    auto r = area.demux(area.request(2));
    ASSERT_TRUE(r.ok()) << english(r.error());
    ASSERT_EQ(r->frames.size(), 2049u);
    const MultiplexedFrame& f = r->frames[2047];
    ASSERT_EQ(f.piece_count, 2u);
    EXPECT_EQ(r->pieces_of(f)[1].offset, (Area::kLead + 2048) * 2048 + 1 + 4 + 3);
    EXPECT_EQ(r->pieces_of(f)[1].length, 400);
}

TEST(TrackSubsetStop, EndOfTheHighestSelectedTrack) {
    const auto starts = tcs({0, 100, 250, 400});
    const auto durations = tcs({90, 150, 100, 75});
    auto stop = [&](std::vector<std::uint8_t> selected) { return track_subset_stop_tc(selected, starts, durations); };
    EXPECT_EQ(stop({3}), 350u);
    EXPECT_EQ(stop({3, 1, 2}), 350u);
    EXPECT_EQ(stop({4}), 475u);
    EXPECT_EQ(stop({}), std::nullopt);
    EXPECT_EQ(stop({5}), std::nullopt);
    EXPECT_EQ(stop({0}), std::nullopt);
    auto no_start = starts;
    no_start[2] = TimeCode::none();
    EXPECT_EQ(track_subset_stop_tc(std::vector<std::uint8_t>{3}, no_start, durations), std::nullopt);
    auto no_duration = durations;
    no_duration[2] = TimeCode::none();
    EXPECT_EQ(track_subset_stop_tc(std::vector<std::uint8_t>{3}, starts, no_duration), std::nullopt);
    EXPECT_EQ(track_subset_stop_tc(std::vector<std::uint8_t>{3}, starts, std::span(durations).first(2)), std::nullopt);
}

TEST(Segment, FramesOutsideEveryWindowAreInNoTrack) {
    // Pre-gap 0-1, track 1 = 2-4, gap 5-6, track 2 = 7-8, an empty track 3 = 9-9, post-gap 10.
    const std::vector<std::uint32_t> addresses = {600, 650, 700};
    auto r = segment(frames_numbered({0, 1, 2, 3, 4, 5, 6, 7, 8, 10}), addresses, 590, tcs({2, 7, 9}), tcs({3, 2, 0}));
    ASSERT_TRUE(r.ok()) << english(r.error());
    ASSERT_EQ(r->tracks.size(), 3u);
    EXPECT_EQ(numbers_of(r->tracks[0].frames), (std::vector<std::uint32_t>{2, 3, 4}));
    EXPECT_EQ(numbers_of(r->tracks[1].frames), (std::vector<std::uint32_t>{7, 8}));
    EXPECT_TRUE(r->tracks[2].frames.empty());
    EXPECT_EQ(r->tracks[0].start_address, 590u);  // track 1 takes the area's audio start
    EXPECT_EQ(r->tracks[1].start_address, 650u);
    EXPECT_EQ(r->tracks[2].number, 3);
    // The frames keep their pieces.
    EXPECT_EQ(r->frame_list.pieces_of(r->tracks[1].frames[0])[0].offset, 7u);
}

TEST(Segment, TouchingWindowsAcceptedOverlapRefused) {
    const std::vector<std::uint32_t> addresses = {600, 650};
    auto touching = segment(frames_numbered({0, 1, 2, 3, 4, 5, 6}), addresses, 600, tcs({0, 4}), tcs({4, 3}));
    ASSERT_TRUE(touching.ok()) << english(touching.error());
    EXPECT_EQ(numbers_of(touching->tracks[0].frames), (std::vector<std::uint32_t>{0, 1, 2, 3}));
    EXPECT_EQ(numbers_of(touching->tracks[1].frames), (std::vector<std::uint32_t>{4, 5, 6}));

    auto overlap = segment(frames_numbered({0, 1, 2, 3, 4, 5, 6}), addresses, 600, tcs({0, 3}), tcs({4, 3}));
    ASSERT_FALSE(overlap.ok());
    EXPECT_EQ(english(overlap.error()), demux_text("track time windows overlap"));
}

TEST(Segment, RefusesInconsistentTrackLists) {
    struct Case {
        const char* name;
        std::vector<std::uint32_t> addresses;
        std::vector<TimeCode> starts, durations;
        FrameList frames;
        const char* reason;
    };
    const std::vector<std::uint32_t> two = {600, 650};
    const std::vector<std::uint32_t> many(256, 600);
    std::vector<Case> cases = {
        {"no tracks", {}, {}, {}, frames_numbered({0}), "area has zero tracks"},
        {"256 tracks", many, tcs(std::vector<std::uint32_t>(256, 0)), tcs(std::vector<std::uint32_t>(256, 1)),
         frames_numbered({0}), "area exceeds 255 tracks"},
        {"one start too few", two, tcs({0}), tcs({1, 1}), frames_numbered({0}), "Trl2 start/duration count != track count"},
        {"one duration too many", two, tcs({0, 5}), tcs({1, 1, 1}), frames_numbered({0}),
         "Trl2 start/duration count != track count"},
        {"start sentinel", two, {*TimeCode::from_frames(0), TimeCode::none()}, tcs({1, 1}), frames_numbered({0}),
         "Track_Start_Time_Code is the invalid sentinel"},
        {"duration sentinel", two, tcs({0, 5}), {TimeCode::none(), *TimeCode::from_frames(1)}, frames_numbered({0}),
         "Track_Duration is the invalid sentinel"},
        {"frame sentinel", two, tcs({0, 5}), tcs({5, 5}), frames_numbered({0, 1}), "frame Time_Code is the invalid sentinel"},
    };
    cases.back().frames.frames[1].time_code = TimeCode::none();
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = segment(std::move(c.frames), c.addresses, 600, c.starts, c.durations);
        ASSERT_FALSE(r.ok());
        EXPECT_EQ(english(r.error()), demux_text(c.reason));
    }
    // 255 tracks are fine.
    const std::vector<std::uint32_t> most(255, 600);
    EXPECT_TRUE(segment(frames_numbered({0}), most, 600, tcs(std::vector<std::uint32_t>(255, 0)),
                        tcs(std::vector<std::uint32_t>(255, 0)))
                    .ok());
}

TEST(FrameReader, PlainDsdFrameSplitsIntoChannels) {
    // 9408 bytes in three pieces with a gap between them; byte 2k to the left channel, 2k + 1 to the right.
    Bytes image(20000, 0xEE);
    for (std::size_t i = 0; i < 9408; ++i) image[(i < 5000 ? 100 : 300) + i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    // Pieces: [100, 3100), [3100, 5100), then the rest from 5300.
    const std::vector<Piece> pieces = {{100, 3000}, {3100, 2000}, {5300, 4408}};
    ByteSource source = ByteSource::memory(image);
    PieceReader reader(source, 1024);  // a small window forces refills inside pieces' runs
    DsdFrame frame;
    ASSERT_TRUE(read_plain_dsd_frame(pieces, reader, frame).ok());
    EXPECT_EQ(frame.channel_count, 2);
    EXPECT_EQ(frame.frame_len, 4704u);
    ASSERT_EQ(frame.channels.size(), 2u);
    ASSERT_EQ(frame.channels[0].size(), 4704u);
    ASSERT_EQ(frame.channels[1].size(), 4704u);
    for (std::size_t k = 0; k < 4704; ++k) {
        const std::size_t l = 2 * k, r = 2 * k + 1;
        ASSERT_EQ(frame.channels[0][k], static_cast<std::uint8_t>(l * 7 + l / 256)) << k;
        ASSERT_EQ(frame.channels[1][k], static_cast<std::uint8_t>(r * 7 + r / 256)) << k;
    }
}

TEST(FrameReader, PlainDsdFrameOfTheWrongLengthRefused) {
    Bytes image(20000, 1);
    ByteSource source = ByteSource::memory(image);
    PieceReader reader(source);
    DsdFrame frame;
    struct Case {
        std::vector<Piece> pieces;
        const char* text;
    };
    const Case cases[] = {
        {{{0, 2000}, {2000, 2000}, {4000, 2000}, {6000, 2000}, {8000, 1407}},
         "container write I/O error: plain DSD frame: FrameLenMismatch { need: 9408, have: 9407 }"},
        {{{0, 2000}, {2000, 2000}, {4000, 2000}, {6000, 2000}, {8000, 1409}},
         "container write I/O error: plain DSD frame: FrameLenMismatch { need: 9408, have: 9409 }"},
        {{}, "container write I/O error: plain DSD frame: FrameLenMismatch { need: 9408, have: 0 }"},
    };
    i18n::LANG = false;
    for (const Case& c : cases) {
        auto r = read_plain_dsd_frame(c.pieces, reader, frame);
        ASSERT_FALSE(r.ok());
        EXPECT_EQ(r.error().message(), c.text);
    }
}

TEST(FrameReader, DstFramesInOrderThenEndOfSource) {
    Bytes image(6000);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i % 251);
    FrameList list;
    list.pieces = {{10, 5}, {5990, 10}, {20, 3}};
    list.frames = {MultiplexedFrame{0, 2, 0, {}}, MultiplexedFrame{2, 1, 0, {}}};
    ByteSource source = ByteSource::memory(image);
    PieceReader reader(source, 64);
    std::vector<std::uint8_t> out;
    std::size_t next = 0;
    ASSERT_TRUE(read_frame_dst(list, list.frames, next, reader, out).ok());
    Bytes expected(image.begin() + 10, image.begin() + 15);
    expected.insert(expected.end(), image.begin() + 5990, image.end());
    EXPECT_EQ(out, expected);
    ASSERT_TRUE(read_frame_dst(list, list.frames, next, reader, out).ok());
    EXPECT_EQ(out, Bytes(image.begin() + 20, image.begin() + 23));
    i18n::LANG = false;
    auto end = read_frame_dst(list, list.frames, next, reader, out);
    ASSERT_FALSE(end.ok());
    EXPECT_EQ(end.error().message(), "frame source ended early: expected 2 frames, got 2");
    EXPECT_EQ(next, 2u);

    // A piece beyond the image is a read error that names the read.
    list.pieces.push_back({5995, 10});
    list.frames.push_back(MultiplexedFrame{3, 1, 0, {}});
    auto past = read_frame_dst(list, list.frames, next, reader, out);
    ASSERT_FALSE(past.ok());
    EXPECT_EQ(past.error().message().rfind("container write I/O error: read: ", 0), 0u) << past.error().message();
    EXPECT_EQ(next, 2u);
}
