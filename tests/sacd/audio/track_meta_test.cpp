#include "sacd/audio/track_meta.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/sacd/audio/writer_fixtures.h"

using namespace sacd::audio;
using writer_test::Bytes;
using writer_test::Fixture;
using writer_test::same_bytes;

namespace {

// A tag with the given frames (id, body) laid out by hand: "ID3", 2.3.0, flags 0, synchsafe size.
Bytes tag_of(const std::vector<std::pair<std::string, Bytes>>& frames) {
    std::uint32_t size = 0;
    for (const auto& [id, body] : frames) size += 10 + static_cast<std::uint32_t>(body.size());
    Fixture f;
    f.id("ID3").u8(3).u8(0).u8(0);
    f.u8((size >> 21) & 0x7F).u8((size >> 14) & 0x7F).u8((size >> 7) & 0x7F).u8(size & 0x7F);
    for (const auto& [id, body] : frames) f.id(id).be(body.size(), 4).u8(0).u8(0).raw(body);
    return f.bytes;
}

Bytes latin1_body(const std::string& latin1) { return Fixture{}.u8(0).id(latin1).bytes; }

// Reads back the (id, body) frames of a tag; the layout check itself is done by tag_of fixtures.
std::vector<std::pair<std::string, Bytes>> frames_of(const Bytes& tag) {
    std::vector<std::pair<std::string, Bytes>> frames;
    std::size_t p = 10;
    while (p + 10 <= tag.size()) {
        const std::size_t len = (std::size_t{tag[p + 4]} << 24) | (tag[p + 5] << 16) | (tag[p + 6] << 8) | tag[p + 7];
        frames.emplace_back(std::string(tag.begin() + p, tag.begin() + p + 4),
                            Bytes(tag.begin() + p + 10, tag.begin() + p + 10 + len));
        p += 10 + len;
    }
    return frames;
}

std::string latin1_text(const Bytes& body) { return std::string(body.begin() + 1, body.end()); }

}  // namespace

TEST(Id3v2Builder, TextFramesPickLatin1OrUtf16) {
    struct Case {
        const char* text;
        Bytes body;
    };
    const Case cases[] = {
        // Every character at most U+00FF, an accented letter included: encoding 00, one byte each.
        {"Caf\u00e9 \u00c6", {0x00, 'C', 'a', 'f', 0xE9, ' ', 0xC6}},
        // A CJK character: encoding 01, byte-order mark FF FE, UTF-16LE, no terminator.
        {"\u6771\u4eac", {0x01, 0xFF, 0xFE, 0x71, 0x67, 0xAC, 0x4E}},
        // One character above U+00FF turns the whole text to UTF-16.
        {"A\u0416", {0x01, 0xFF, 0xFE, 'A', 0x00, 0x16, 0x04}},
        // Outside the BMP: a surrogate pair.
        {"\U0001D11E", {0x01, 0xFF, 0xFE, 0x34, 0xD8, 0x1E, 0xDD}},
        // A malformed UTF-8 byte is replaced rather than copied through.
        {"a\xff", {0x01, 0xFF, 0xFE, 'a', 0x00, 0xFD, 0xFF}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Id3v2Builder b;
        b.add_text("TIT2", c.text);
        EXPECT_TRUE(same_bytes(b.render(), tag_of({{"TIT2", c.body}})));
    }
}

TEST(Id3v2Builder, TxxxInBothEncodings) {
    Id3v2Builder b;
    b.add_txxx("CATALOGNUMBER", "SACD-1\u00e9");
    b.add_txxx("PERFORMER", "\u041e\u043b");  // "Ол"
    const Bytes latin1 = Fixture{}.u8(0).id("CATALOGNUMBER").u8(0).id("SACD-1").u8(0xE9).bytes;
    const Bytes utf16 = Fixture{}
                            .u8(1).u8(0xFF).u8(0xFE)
                            .le('P', 2).le('E', 2).le('R', 2).le('F', 2).le('O', 2).le('R', 2).le('M', 2).le('E', 2).le('R', 2)
                            .u8(0).u8(0)
                            .u8(0xFF).u8(0xFE).le(0x041E, 2).le(0x043B, 2)
                            .bytes;
    EXPECT_TRUE(same_bytes(b.render(), tag_of({{"TXXX", latin1}, {"TXXX", utf16}})));
}

TEST(Id3v2Builder, EmptyTextAddsNoFrameAndNoFramesMeanNoTag) {
    Id3v2Builder b;
    b.add_text("TIT2", "");
    EXPECT_TRUE(b.render().empty());
}

TEST(Id3v2Builder, TagSizeIsSynchsafe) {
    Id3v2Builder b;
    b.add_text("TIT2", std::string(300, 'x'));  // frames: 10 + 301 = 311 = 0x137 -> 00 00 02 37
    const Bytes tag = b.render();
    ASSERT_EQ(tag.size(), 10u + 311u);
    EXPECT_EQ((Bytes{tag[6], tag[7], tag[8], tag[9]}), (Bytes{0x00, 0x00, 0x02, 0x37}));
}

TEST(TrackMeta, FramesInTagOrderWithTheirValues) {
    TrackMeta m;
    m.title = "Title";
    m.artist = "Artist";
    m.album = "Album";
    m.genre = "Classical";
    m.composer = "Composer";
    m.publisher = "Label";
    m.copyright = "(C) 2001";
    m.isrc = "USABC0100001";
    m.catalog = "CAT-1";
    m.album_artist = "Album Artist";
    m.songwriter = "Writer";
    m.performer = "Player";
    m.track_number = 3;
    m.track_total = 12;
    m.year = 999;
    m.disc_number = 1;
    m.disc_total = 2;

    const auto frames = frames_of(m.id3_v2());
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"TIT2", "Title"}, {"TPE1", "Artist"},   {"TPE2", "Album Artist"}, {"TALB", "Album"},
        {"TRCK", "3/12"},  {"TPOS", "1/2"},      {"TYER", "0999"},         {"TCON", "Classical"},
        {"TCOM", "Composer"}, {"TPUB", "Label"}, {"TCOP", "(C) 2001"},     {"TSRC", "USABC0100001"},
        {"TXXX", std::string("CATALOGNUMBER") + '\0' + "CAT-1"},
        {"TXXX", std::string("SONGWRITER") + '\0' + "Writer"},
        {"TXXX", std::string("PERFORMER") + '\0' + "Player"},
    };
    ASSERT_EQ(frames.size(), expected.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i].first, expected[i].first) << i;
        EXPECT_EQ(frames[i].second[0], 0x00) << i;
        EXPECT_EQ(latin1_text(frames[i].second), expected[i].second) << i;
    }
}

TEST(TrackMeta, NumberingFramesAndWhenThereIsATagAtAll) {
    struct Case {
        const char* name;
        TrackMeta meta;
        std::vector<std::pair<std::string, Bytes>> frames;  // empty: no tag
    };
    auto meta = [](auto&& set) {
        TrackMeta m;
        set(m);
        return m;
    };
    const Case cases[] = {
        {"nothing", TrackMeta{}, {}},
        {"track number alone makes no tag", meta([](TrackMeta& m) { m.track_number = 4; m.track_total = 9; }), {}},
        {"empty texts count as absent", meta([](TrackMeta& m) { m.title = ""; m.catalog = ""; }), {}},
        {"year 0 and disc 0 count as absent", meta([](TrackMeta& m) { m.year = 0; m.disc_number = 0; m.disc_total = 3; }), {}},
        {"track without total", meta([](TrackMeta& m) { m.title = "T"; m.track_number = 7; }),
         {{"TIT2", latin1_body("T")}, {"TRCK", latin1_body("7")}}},
        {"disc total 0 gives the number only", meta([](TrackMeta& m) { m.disc_number = 2; m.disc_total = 0; }),
         {{"TPOS", latin1_body("2")}}},
        {"year alone is a tag", meta([](TrackMeta& m) { m.year = 2003; }), {{"TYER", latin1_body("2003")}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.meta.has_tags(), !c.frames.empty());
        if (c.frames.empty())
            EXPECT_TRUE(c.meta.id3_v2().empty());
        else
            EXPECT_TRUE(same_bytes(c.meta.id3_v2(), tag_of(c.frames)));
    }
}
