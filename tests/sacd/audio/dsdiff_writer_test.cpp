#include "sacd/audio/dsdiff_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/sacd/audio/writer_fixtures.h"

using namespace sacd::audio;
using namespace writer_test;
using platform::BufferedWriter;

namespace {

// Sub-chunk ids of the chunk sequence in bytes [from, end): id, u64 size, content, pad.
std::vector<std::string> chunk_ids(const Bytes& file, std::size_t from) {
    std::vector<std::string> ids;
    while (from + 12 <= file.size()) {
        ids.emplace_back(file.begin() + from, file.begin() + from + 4);
        const std::uint64_t size = platform::read_u64_be(&file[from + 4]);
        from += 12 + size + size % 2;
    }
    return ids;
}

Fixture& prop_head(Fixture& f, std::uint64_t prop_size) {
    return f.id("PROP").be(prop_size, 8).id("SND ").id("FS  ").be(4, 8).be(2822400, 4);
}

}  // namespace

TEST(DsdiffWriter, StereoDsdTrackByteForByte) {
    const std::vector<Bytes> frames = {{1, 2, 3, 4}, {5, 6, 7, 8}};
    TrackMeta meta;
    const Bytes file = written_bytes([&](BufferedWriter& out) { return write_dff_dsd(out, meta, 2, 4, bytes_from(frames)); });

    Fixture f;
    f.id("FRM8").be(110 + 4 * 2 + 8, 8).id("DSD ");
    f.id("FVER").be(4, 8).u8(1).u8(5).u8(0).u8(0);
    prop_head(f, 66 + 4 * 2);
    f.id("CHNL").be(2 + 8, 8).be(2, 2).id("SLFT").id("SRGT");
    f.id("CMPR").be(19, 8).id("DSD ").u8(14).id("not compressed").u8(0);
    f.id("DSD ").be(8, 8).raw(frames[0]).raw(frames[1]);
    EXPECT_TRUE(same_bytes(file, f.bytes));
}

TEST(DsdiffWriter, FiveChannelDsdTrackWithOddSoundAndTrackTags) {
    const std::vector<Bytes> frames = {{9, 8, 7, 6, 5}};
    TrackMeta meta;
    meta.channel_count = 5;
    meta.artist = "Art";
    meta.title = "Tt";
    meta.album = "Alb";
    const Bytes tag = meta.id3_v2();
    const std::uint64_t t = tag.size();
    const std::uint64_t tags = (12 + (16 + 4) + (16 + 2)) + (28 + 4) + (12 + t + t % 2);
    const Bytes file = written_bytes([&](BufferedWriter& out) { return write_dff_dsd(out, meta, 1, 5, bytes_from(frames)); });

    Fixture f;
    f.id("FRM8").be(110 + 4 * 5 + 5 + 1 + tags, 8).id("DSD ");
    f.id("FVER").be(4, 8).u8(1).u8(5).u8(0).u8(0);
    prop_head(f, 66 + 4 * 5);
    f.id("CHNL").be(2 + 20, 8).be(5, 2).id("MLFT").id("MRGT").id("C   ").id("LS  ").id("RS  ");
    f.id("CMPR").be(19, 8).id("DSD ").u8(14).id("not compressed").u8(0);
    f.id("DSD ").be(5, 8).raw(frames[0]).u8(0);
    f.id("DIIN").be(20 + 18, 8);
    f.id("DIAR").be(7, 8).be(3, 4).id("Art").u8(0);
    f.id("DITI").be(6, 8).be(2, 4).id("Tt");
    f.id("COMT").be(16 + 3, 8).be(1, 2).be(0, 2).u8(0).u8(0).u8(0).u8(0).be(3, 2).be(0, 2).be(3, 4).id("Alb").u8(0);
    f.id("ID3 ").be(t, 8).raw(tag);
    if (t % 2) f.u8(0);
    EXPECT_TRUE(same_bytes(file, f.bytes));
}

TEST(DsdiffWriter, DstTrackStoresFramesExactlyWithPadBytes) {
    const std::vector<Bytes> frames = {{0xAA, 0xBB, 0xCC}, {0x01, 0x02, 0x03, 0x04}};
    const std::vector<std::uint32_t> lengths = {3, 4};
    TrackMeta meta;
    meta.title = "X";
    const Bytes tag = meta.id3_v2();
    const std::uint64_t t = tag.size();
    const std::uint64_t dst = 18 + (12 + 3 + 1) + (12 + 4);
    const std::uint64_t tags = (12 + 16 + 2) + (12 + t + t % 2);
    const Bytes file = written_bytes([&](BufferedWriter& out) { return write_dff_dst(out, meta, lengths, bytes_from(frames)); });

    Fixture f;
    f.id("FRM8").be(106 + 4 * 2 + dst + tags, 8).id("DSD ");
    f.id("FVER").be(4, 8).u8(1).u8(5).u8(0).u8(0);
    prop_head(f, 62 + 4 * 2);
    f.id("CHNL").be(2 + 8, 8).be(2, 2).id("SLFT").id("SRGT");
    f.id("CMPR").be(16, 8).id("DST ").u8(11).id("DST Encoded");
    f.id("DST ").be(dst, 8);
    f.id("FRTE").be(6, 8).be(2, 4).be(75, 2);
    f.id("DSTF").be(3, 8).raw(frames[0]).u8(0);
    f.id("DSTF").be(4, 8).raw(frames[1]);
    f.id("DIIN").be(18, 8).id("DITI").be(5, 8).be(1, 4).id("X").u8(0);
    f.id("ID3 ").be(t, 8).raw(tag);
    if (t % 2) f.u8(0);
    EXPECT_TRUE(same_bytes(file, f.bytes));
}

TEST(DsdiffWriter, SeventyFiveStereoFramesSizes) {
    const std::vector<Bytes> frames(75, Bytes(9408, 0x69));
    TrackMeta meta;
    const Bytes file =
        written_bytes([&](BufferedWriter& out) { return write_dff_dsd(out, meta, 75, 9408, bytes_from(frames)); });
    ASSERT_EQ(file.size(), 12u + 705718u);
    EXPECT_EQ(platform::read_u64_be(&file[4]), 705718u);   // FRM8
    EXPECT_EQ(platform::read_u64_be(&file[32 + 4]), 74u);  // PROP, after FRM8 header + form type + FVER
    EXPECT_EQ(chunk_ids(file, 16), (std::vector<std::string>{"FVER", "PROP", "DSD "}));
    EXPECT_EQ(platform::read_u64_be(&file[12 + 4 + 16 + 12 + 74 + 4]), 705600u);
}

TEST(DsdiffWriter, ChannelIdTables) {
    struct Case {
        std::uint32_t channels;
        const char* ids;
    };
    const Case cases[] = {
        {2, "SLFTSRGT"},
        {5, "MLFTMRGTC   LS  RS  "},
        {6, "MLFTMRGTC   LFE LS  RS  "},
    };
    for (const auto& c : cases) {
        const Bytes bytes = written_bytes([&](BufferedWriter& out) { return write_chnl(out, c.channels); });
        const std::string ids(c.ids);
        EXPECT_TRUE(same_bytes(bytes, Fixture{}.id("CHNL").be(2 + ids.size(), 8).be(c.channels, 2).id(ids).bytes));
    }
    WriteResult four;
    const Bytes none = written_bytes([&](BufferedWriter& out) { return write_chnl(out, 4); }, &four);
    ASSERT_FALSE(four.ok());
    EXPECT_EQ(four.error().message(), "N_Channels 4 has no DSDIFF channel layout (expected 2, 5 or 6)");
    EXPECT_TRUE(none.empty());
}

TEST(DsdiffWriter, TrackTagBlockChunksAndTheirAnnouncedSize) {
    struct Case {
        const char* name;
        TrackMeta meta;
        std::vector<std::string> ids;
    };
    auto meta = [](auto&& set) {
        TrackMeta m;
        set(m);
        return m;
    };
    const Case cases[] = {
        {"no tags", meta([](TrackMeta& m) { m.track_number = 1; }), {}},
        {"album only: COMT, no DIIN", meta([](TrackMeta& m) { m.album = "Odd"; }), {"COMT", "ID3 "}},
        {"artist only", meta([](TrackMeta& m) { m.artist = "\u0410\u0411"; }), {"DIIN", "ID3 "}},
        {"year only: just the ID3 tag", meta([](TrackMeta& m) { m.year = 1999; }), {"ID3 "}},
        {"everything", meta([](TrackMeta& m) { m.artist = "A"; m.title = "Title"; m.album = "Al"; m.isrc = "X"; }),
         {"DIIN", "COMT", "ID3 "}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes bytes = written_bytes([&](BufferedWriter& out) -> WriteResult {
            write_track_tags(out, c.meta);
            return {};
        });
        EXPECT_EQ(bytes.size(), track_tags_on_disk(c.meta));
        EXPECT_EQ(chunk_ids(bytes, 0), c.ids);
    }
}

TEST(DsdiffWriter, RefusesBadInputWithItsMessage) {
    struct Case {
        const char* name;
        std::uint8_t channels;
        bool dst;
        std::uint32_t frame_len;  // DSD: interleaved frame length; DST: every announced length
        std::vector<Bytes> frames;
        const char* message;
        std::size_t pulls;
    };
    const Case cases[] = {
        {"4-channel DSD", 4, false, 16, {Bytes(16)}, "N_Channels 4 has no DSDIFF channel layout (expected 2, 5 or 6)", 0},
        {"4-channel DST", 4, true, 5, {Bytes(5)}, "N_Channels 4 has no DSDIFF channel layout (expected 2, 5 or 6)", 0},
        {"frame length not a multiple of the channels", 2, false, 9409, {Bytes(9409)},
         "frame 0 length mismatch: index said 0 bytes, stream gave 9409", 0},
        {"short DSD frame", 2, false, 8, {Bytes(8), Bytes(7)}, "frame 1 length mismatch: index said 8 bytes, stream gave 7", 2},
        {"long DST frame", 2, true, 5, {Bytes(6)}, "frame 0 length mismatch: index said 5 bytes, stream gave 6", 1},
        {"source ends", 6, true, 5, {Bytes(5)}, "frame source ended early: expected 2 frames, got 1", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TrackMeta meta;
        meta.channel_count = c.channels;
        std::size_t pulls = 0;
        const std::vector<std::uint32_t> lengths(2, c.frame_len);
        WriteResult result;
        const Bytes file = written_bytes(
            [&](BufferedWriter& out) {
                return c.dst ? write_dff_dst(out, meta, lengths, bytes_from(c.frames, &pulls))
                             : write_dff_dsd(out, meta, 2, c.frame_len, bytes_from(c.frames, &pulls));
            },
            &result);
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(result.error().message(), c.message);
        EXPECT_EQ(pulls, c.pulls);
        if (c.pulls == 0) {
            EXPECT_TRUE(file.empty());
        }
    }
}

TEST(DsdiffWriter, WriteFailureStopsTheTrackWithAnIoError) {
    auto full = platform::File::open_read_write("/dev/full");
    if (!full.ok()) GTEST_SKIP() << "no /dev/full";
    const std::vector<Bytes> frames(50, Bytes(9408));
    std::size_t pulls = 0;
    BufferedWriter out(*full, 8192);
    TrackMeta meta;
    auto result = write_dff_dsd(out, meta, 50, 9408, bytes_from(frames, &pulls));
    ASSERT_FALSE(result.ok());
    ASSERT_NE(result.error().as<container_errors::Io>(), nullptr);
    EXPECT_LT(pulls, 3u);
}
