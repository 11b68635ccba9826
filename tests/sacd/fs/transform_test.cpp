// The LSN map, the window transform and the output check, with hand-made maps over builder bridge
// images (the edit engine's relayout is not needed to exercise them).
#include "sacd/fs/transform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "sacd/fs/output_check.h"
#include "sacd/fs/iso9660.h"
#include "sacd/fs/udf.h"
#include "tests/sacd/fs/bridge_fixtures.h"
#include "tests/support/same_bytes.h"

namespace {

using namespace bridgetest;
using platform::read_u32_be;
using platform::read_u32_le;
using platform::write_u32_be;
using platform::write_u32_le;
using sacd::ByteSource;
using sacd::Region;
using sacd::fs::LsnMap;
using sacd::fs::LsnSpan;
using sacd::fs::PointerSite;
using sacd::fs::SiteEncoding;
using sacd::fs::SiteValueKind;
using sacd::fs::Window;
using Kind = sacd::RangeKind;

const std::string kPrefix = "unrecognised file-system layout (refusing to guess): ";

std::string text_of(const sacd::FsError& e) { return e.display(); }

TEST(Classify, RecognisesEitherHalfOfTheBridge) {
    struct Case {
        const char* name;
        std::uint32_t lsn;
        const char* id;
        bool bridge;
    };
    const Case cases[] = {
        {"ISO 9660 at 16", 16, "CD001", true}, {"NSR02 at 17", 17, "NSR02", true}, {"NSR03 at 20", 20, "NSR03", true},
        {"BEA01 at 31", 31, "BEA01", true},    {"TEA01 at 32", 32, "TEA01", false}, {"CD001 at 17", 17, "CD001", false},
        {"nothing", 0, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes b(40 * S, 0);
        std::memcpy(b.data() + c.lsn * S + 1, c.id, std::strlen(c.id));
        ByteSource source = ByteSource::memory(b);
        EXPECT_EQ(sacd::fs::classify(source), c.bridge);
    }
    Bytes tiny(100, 0);  // unreadable sectors count as no match
    ByteSource source = ByteSource::memory(tiny);
    EXPECT_FALSE(sacd::fs::classify(source));
}

TEST(Classify, SourceIsBridgeOpensTheFile) {
    testsupport::TempDir dir;
    auto missing = sacd::fs::source_is_bridge(dir.file("none.iso"));
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().kind, sacd::FsError::Kind::ReadFailure);
    EXPECT_EQ(missing.error().display().rfind("error reading the image file system: ", 0), 0u);
    const BridgeImage bridge = build(dir);
    EXPECT_TRUE(*sacd::fs::source_is_bridge(bridge.path));
    auto plain = image_builder::sample_spec(1, 10);
    ASSERT_TRUE(image_builder::build_image(plain, dir.file("plain.iso")));
    EXPECT_FALSE(*sacd::fs::source_is_bridge(dir.file("plain.iso")));
}

TEST(LsnMapTest, RemapsRegionByRegion) {
    const LsnMap map{{{0, 0, 10, false}, {10, 10, 5, true}, {15, 25, 20, false}}, 10};
    EXPECT_EQ(*map.remap_lsn(0), 0u);
    EXPECT_EQ(*map.remap_lsn(9), 9u);
    EXPECT_EQ(*map.remap_lsn(15), 25u);
    EXPECT_EQ(*map.remap_lsn(34), 44u);
    EXPECT_EQ(text_of(map.remap_lsn(10).error()),
              kPrefix + "3c remap: old LSN 10 falls inside a resized region (start 10, 5 sectors) - unexpected FS reference");
    EXPECT_EQ(text_of(map.remap_lsn(35).error()), kPrefix + "3c remap: old LSN 35 is in no region");
    const LsnMap overflow{{{UINT64_MAX - 1, 0, 5, false}}, 0};
    EXPECT_EQ(text_of(overflow.remap_lsn(3).error()), kPrefix + "3c remap: span end overflows u64");
    const LsnMap far{{{0, UINT64_MAX - 1, 5, false}}, 0};
    EXPECT_EQ(text_of(far.remap_lsn(3).error()), kPrefix + "3c remap: remapped LSN overflows u64");
}

TEST(LsnMapTest, BuiltFromTwoLayoutsOfTheSameRegions) {
    const std::vector<Region> before = {Region::untyped(0, 10 * S, Kind::PreMaster),
                                        Region::untyped(10 * S, 4 * S, Kind::AreaTocPadding),
                                        Region::untyped(14 * S, 6 * S, Kind::Audio)};
    std::vector<Region> after = before;
    after[1] = Region::untyped(10 * S, 7 * S, Kind::AreaTocPadding);
    auto map = sacd::fs::build_lsn_map(before, after);
    ASSERT_TRUE(map);
    EXPECT_EQ(map->growth, 3u);
    ASSERT_EQ(map->spans.size(), 3u);
    auto same = [](const LsnSpan& a, const LsnSpan& b) {
        return a.old_start == b.old_start && a.new_start == b.new_start && a.sectors == b.sectors && a.resized == b.resized;
    };
    EXPECT_TRUE(same(map->spans[0], {0, 0, 10, false}));
    EXPECT_TRUE(same(map->spans[1], {10, 10, 4, true}));
    EXPECT_TRUE(same(map->spans[2], {14, 17, 6, false}));

    auto fewer = std::vector<Region>(after.begin(), after.end() - 1);
    EXPECT_EQ(text_of(sacd::fs::build_lsn_map(before, fewer).error()),
              kPrefix + "3c remap: region count changed under relayout (3 -> 2)");
    auto other = after;
    other[2] = Region::untyped(17 * S, 6 * S, Kind::Tail);
    EXPECT_EQ(text_of(sacd::fs::build_lsn_map(before, other).error()),
              kPrefix +
                  "3c remap: region 2 kind changed under relayout (audio -> tail) - relayout must preserve region order "
                  "and kind");
    EXPECT_EQ(text_of(sacd::fs::build_lsn_map(after, before).error()),
              kPrefix + "3c remap: disc shrank under relayout (23 -> 20)");
}

TEST(NewValue, ByValueKind) {
    // Head 0..299 kept, 300..399 resized, 400.. moved 50 later; the image grew by 50.
    const LsnMap map{{{0, 0, 300, false}, {300, 300, 100, true}, {400, 450, 1000, false}}, 50};
    const std::uint32_t p = 257;
    struct Case {
        SiteValueKind kind;
        std::uint32_t value;
        std::int64_t want;  // -1: the error below
        std::string error;
    };
    const Case cases[] = {
        {SiteValueKind::AbsoluteLsn, 20, 20, ""},
        {SiteValueKind::AbsoluteLsn, 410, 460, ""},
        {SiteValueKind::PartitionBlock, 10, 10, ""},    // LSN 267, in the head
        {SiteValueKind::PartitionBlock, 153, 203, ""},  // LSN 410: partition-relative stays so
        {SiteValueKind::ByteLength, 300, 300, ""},
        {SiteValueKind::BlockCount, 1000, 1050, ""},
        {SiteValueKind::AbsoluteLsn, 350, -1,
         "3c remap: old LSN 350 falls inside a resized region (start 300, 100 sectors) - unexpected FS reference"},
        {SiteValueKind::BlockCount, UINT32_MAX - 10, -1, "3c: remapped value 4294967335 does not fit u32 (site s)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        PointerSite site{SiteEncoding::Le32, 0, 0, "s", c.value, c.kind};
        auto v = sacd::fs::new_value(site, map, p);
        if (c.want >= 0) {
            ASSERT_TRUE(v) << v.error().display();
            EXPECT_EQ(*v, static_cast<std::uint32_t>(c.want));
        } else {
            ASSERT_FALSE(v);
            EXPECT_EQ(v.error().display(), kPrefix + c.error);
        }
    }
    // A block that lands before the partition start.
    const LsnMap back{{{0, 0, 100, false}, {100, 0, 400, false}}, 0};
    PointerSite site{SiteEncoding::Le32, 0, 0, "s", 10, SiteValueKind::PartitionBlock};
    EXPECT_EQ(text_of(sacd::fs::new_value(site, back, 257).error()),
              kPrefix + "3c: remapped block precedes the partition start");
}

TEST(FsTail, BoundedByTheLastStructureInTheTail) {
    sacd::fs::BridgeSites sites;
    const Window tail{100 * S, 20 * S};
    const std::uint64_t file = 120 * S;
    // No structure in the tail: an empty window, the whole tail is padding.
    sites.sites.push_back(PointerSite{SiteEncoding::Le32, 40, 0, "head", 1, SiteValueKind::AbsoluteLsn});
    auto empty = sacd::fs::bounded_fs_tail(sites, tail, file);
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->window.offset, tail.offset);
    EXPECT_EQ(empty->window.length, 0u);
    EXPECT_EQ(empty->padding, 20 * S);
    // A both-byte site whose big-endian half reaches into sector 103, and a tag whose body ends in 105.
    sites.sites.push_back(PointerSite{SiteEncoding::Both32, 101 * S, 103 * S + 10, "t", 1, SiteValueKind::AbsoluteLsn});
    auto one = sacd::fs::bounded_fs_tail(sites, tail, file);
    ASSERT_TRUE(one);
    EXPECT_EQ(one->window.length, 4 * S);
    EXPECT_EQ(one->padding, 16 * S);
    sites.checksums.push_back(sacd::fs::ChecksumSite{104 * S, 104 * S + 16, 2040});
    auto two = sacd::fs::bounded_fs_tail(sites, tail, file);
    ASSERT_TRUE(two);
    EXPECT_EQ(two->window.length, 6 * S);
    EXPECT_EQ(two->padding, 14 * S);
    EXPECT_EQ(text_of(sacd::fs::bounded_fs_tail(sites, tail, 103 * S).error()),
              kPrefix + "3c: padding length underflow (fs_end past file length)");
    EXPECT_EQ(text_of(sacd::fs::bounded_fs_tail(sites, Window{UINT64_MAX - 5, 10}, file).error()),
              kPrefix + "3c: tail start + length overflows u64");
}

TEST(Coverage, EverySiteAndTagInsideTheHeadOrTheFsTail) {
    const Window head{0, 510 * S}, tail{1000 * S, 3 * S};
    sacd::fs::BridgeSites ok;
    ok.sites.push_back(PointerSite{SiteEncoding::Both32, 510 * S - 8, 510 * S - 4, "h", 0, SiteValueKind::AbsoluteLsn});
    ok.sites.push_back(PointerSite{SiteEncoding::Le32, 1003 * S - 4, 0, "t", 0, SiteValueKind::AbsoluteLsn});
    ok.checksums.push_back(sacd::fs::ChecksumSite{1000 * S, 1000 * S + 16, 496});
    EXPECT_TRUE(sacd::fs::coverage_guard(ok, head, tail));

    auto mid = ok;
    mid.sites.push_back(PointerSite{SiteEncoding::Both32, 100, 600 * S, "dirrec@100.extent", 0, SiteValueKind::AbsoluteLsn});
    EXPECT_EQ(text_of(sacd::fs::coverage_guard(mid, head, tail).error()),
              kPrefix + "3c: pointer site dirrec@100.extent at byte " + std::to_string(600 * S) +
                  " falls outside the head and tail FS regions (unexpected mid-disc FS reference)");
    auto edge = ok;
    edge.sites.push_back(PointerSite{SiteEncoding::Le32, 510 * S - 2, 0, "e", 0, SiteValueKind::ByteLength});
    EXPECT_FALSE(sacd::fs::coverage_guard(edge, head, tail));
    auto body = ok;
    body.checksums.push_back(sacd::fs::ChecksumSite{1002 * S, 1002 * S + 16, 2040});  // body runs past the tail
    EXPECT_EQ(text_of(sacd::fs::coverage_guard(body, head, tail).error()),
              kPrefix + "3c: checksum site (tag at byte " + std::to_string(1002 * S) +
                  ") falls outside the head and tail FS regions");
}

// A builder image with a gap before its first area, and the map of growing that gap by K
// sectors: everything after it moves K sectors later.
class Transform : public ::testing::Test {
protected:
    static constexpr std::uint32_t kGap = 2, kGrow = 7;

    static void SetUpTestSuite() {
        dir_ = new testsupport::TempDir;
        Options o;
        o.multichannel = true;
        o.gap_before_area = kGap;
        o.max_extent_bytes = 64 * 1024;
        image_ = new BridgeImage(build(*dir_, o));
        auto disc = sacd::import_iso(image_->path);
        ASSERT_TRUE(disc);
        disc_ = new sacd::Disc(*disc);
    }
    static void TearDownTestSuite() {
        delete disc_;
        delete image_;
        delete dir_;
    }

    // The source layout, and the same regions with the gap before the first area `grow` sectors longer.
    static LsnMap grown_gap_map(std::uint32_t grow) {
        const auto before = flatten(*disc_);
        auto after = before;
        for (auto& r : after)
            if (auto* u = r.as<sacd::regions::Untyped>(); u && u->kind == Kind::AreaTocPadding && u->offset == 544 * S)
                u->length += grow * S;
        auto map = sacd::fs::build_lsn_map(before, after);
        EXPECT_TRUE(map);
        return *map;
    }

    static inline testsupport::TempDir* dir_ = nullptr;
    static inline BridgeImage* image_ = nullptr;
    static inline sacd::Disc* disc_ = nullptr;
};

TEST_F(Transform, AShiftMovesEveryExtentBehindTheGapAndGrowsTheVolume) {
    const LsnMap map = grown_gap_map(kGrow);
    EXPECT_EQ(map.growth, kGrow);
    Bytes source_bytes = image_->bytes;
    ByteSource source = ByteSource::memory(source_bytes);
    auto t = sacd::fs::transform_bridge(source, map, *disc_);
    ASSERT_TRUE(t) << t.error().display();
    const std::uint64_t n = source_bytes.size() / S;
    const std::uint64_t tail = disc_->tail->as<sacd::regions::Untyped>()->offset;
    EXPECT_EQ(t->head.size(), 510 * S);
    EXPECT_EQ(t->fs_tail.size(), 3 * S);  // the closing anchor is the tail's last sector
    EXPECT_EQ(t->fs_tail_end, source_bytes.size());
    EXPECT_EQ(t->padding, 0u);

    const Bytes& h = t->head;
    auto both = [&](std::uint64_t at) {
        EXPECT_EQ(read_u32_le(h.data() + at), read_u32_be(h.data() + at + 4)) << at;
        return read_u32_le(h.data() + at);
    };
    EXPECT_EQ(both(16 * S + 80), n + kGrow);                 // volume space size
    EXPECT_EQ(both(16 * S + 132), read_u32_le(source_bytes.data() + 16 * S + 132));  // path table size kept
    for (std::uint32_t seq : {kMainVds, kReserveVds})
        EXPECT_EQ(read_u32_le(h.data() + (seq + kPd) * S + 192), n - 1 - kP + kGrow);  // partition length

    // Every pointer site in the head now holds its new value; lengths kept; every tag re-sealed.
    auto sites = sacd::fs::collect_bridge_sites(source);
    ASSERT_TRUE(sites);
    std::size_t moved = 0;
    for (const PointerSite& s : sites->sites) {
        SCOPED_TRACE(s.label);
        const bool in_head = s.offset < h.size();
        const Bytes& where = in_head ? h : t->fs_tail;
        const std::uint64_t base = in_head ? 0 : tail;
        const std::uint32_t got = s.encoding == SiteEncoding::Be32 ? read_u32_be(where.data() + s.offset - base)
                                                                   : read_u32_le(where.data() + s.offset - base);
        if (s.encoding == SiteEncoding::Both32) {
            EXPECT_EQ(read_u32_be(where.data() + s.offset2 - base), got);
        }
        std::uint64_t want = s.value;
        if (s.kind == SiteValueKind::BlockCount) want += kGrow;
        const std::uint64_t lsn = s.kind == SiteValueKind::PartitionBlock ? s.value + kP : s.value;
        if ((s.kind == SiteValueKind::AbsoluteLsn || s.kind == SiteValueKind::PartitionBlock) && lsn >= 544 + kGap)
            want += kGrow, ++moved;
        EXPECT_EQ(got, want);
    }
    EXPECT_GT(moved, 10u);  // the audio files' extents in both trees, the tail file, the closing anchor
    for (const auto& c : sites->checksums) {
        const bool in_head = c.tag < h.size();
        EXPECT_TRUE(sealed(in_head ? h : t->fs_tail, c.tag - (in_head ? 0 : tail))) << c.tag;
    }

    // The relaid image verifies.
    Bytes relaid = splice(source_bytes, 544 + kGap, kGrow, *t, tail);
    ByteSource out = ByteSource::memory(relaid);
    auto check = sacd::fs::verify_transformed_output(out);
    EXPECT_TRUE(check) << check.error().display();
    // Every file of the relaid image holds exactly the bytes it held in the source.
    auto before = sacd::fs::udf_files(source);
    auto after = sacd::fs::udf_files(out);
    ASSERT_TRUE(before && after);
    ASSERT_EQ(before->size(), after->size());
    auto content = [](const Bytes& image, const sacd::fs::FsFile& f) {
        Bytes out;
        for (const auto& [lsn, len] : f.extents)
            out.insert(out.end(), image.begin() + static_cast<std::ptrdiff_t>(lsn * S),
                       image.begin() + static_cast<std::ptrdiff_t>(lsn * S + len));
        return out;
    };
    for (std::size_t i = 0; i < before->size(); ++i) {
        SCOPED_TRACE((*before)[i].path);
        EXPECT_EQ((*after)[i].path, (*before)[i].path);
        EXPECT_TRUE(testsupport::same_bytes(content(relaid, (*after)[i]), content(source_bytes, (*before)[i])));
    }
}

TEST_F(Transform, RefusesWhatItCannotMapExactly) {
    Bytes source_bytes = image_->bytes;
    ByteSource source = ByteSource::memory(source_bytes);
    auto sites = sacd::fs::collect_bridge_sites(source);
    ASSERT_TRUE(sites);
    const auto& stereo = image_->built.areas[0];
    const Window head{0, 510 * S};

    // The stereo audio region resized: the directory record of STEREO.DAT points at its first sector.
    LsnMap resized = grown_gap_map(kGrow);
    for (auto& span : resized.spans)
        if (span.old_start == stereo.audio_start) span.resized = true;
    auto r = sacd::fs::transform_window(source, head, *sites, resized);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().display(), kPrefix + "3c remap: old LSN " + std::to_string(stereo.audio_start) +
                                       " falls inside a resized region (start " + std::to_string(stereo.audio_start) +
                                       ", " + std::to_string(stereo.audio_end - stereo.audio_start + 1) +
                                       " sectors) - unexpected FS reference");

    // The head moved: the partition start with it.
    LsnMap moved_head = grown_gap_map(0);
    moved_head.spans[0].new_start = 1;
    r = sacd::fs::transform_window(source, head, *sites, moved_head);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().display(), kPrefix +
                                       "3c: UDF partition start moved under relayout (257 -> 258); partition-relative "
                                       "remap would use a stale base - refusing");

    // A window that ends between the two halves of the volume space size.
    const LsnMap identity = grown_gap_map(0);
    r = sacd::fs::transform_window(source, Window{0, 16 * S + 84}, *sites, identity);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().display(),
              kPrefix + "3c: both-byte field straddles the region buffer boundary (site PVD.volume_space_size)");

    // A single site whose value would be written past the window's end.
    sacd::fs::CollectedSites one;
    one.sites.push_back(PointerSite{SiteEncoding::Le32, 100, 0, "x", 3, SiteValueKind::AbsoluteLsn});
    r = sacd::fs::transform_window(source, Window{0, 102}, one, identity);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().display(), kPrefix + "3c: write at 100..104 past region buffer");

    // The same map through the whole transform leaves nothing changed but re-sealed tags.
    auto same = sacd::fs::transform_bridge(source, identity, *disc_);
    ASSERT_TRUE(same) << same.error().display();
    EXPECT_EQ(same->head, Bytes(source_bytes.begin(), source_bytes.begin() + 510 * S));
}

TEST_F(Transform, HeadAndTailMustBeOpaqueRanges) {
    sacd::Disc d = *disc_;
    d.tail.reset();
    EXPECT_EQ(text_of(sacd::fs::tail_region(d).error()), kPrefix + "3c: disc has no tail region - nothing to transform");
    d.tail = Region{sacd::regions::OwnedBytes{Bytes(S), Kind::Tail}};
    EXPECT_EQ(text_of(sacd::fs::tail_region(d).error()), kPrefix + "3c: tail region is not an opaque Tail");
    d.regions[0] = Region::untyped(S, 509 * S, Kind::PreMaster);
    EXPECT_EQ(text_of(sacd::fs::head_region(d).error()), kPrefix + "3c: head PreMaster region starts at byte 2048 not 0");
    d.regions[0] = Region::untyped(0, 510 * S, Kind::Audio);
    EXPECT_EQ(text_of(sacd::fs::head_region(d).error()), kPrefix + "3c: master[0] is not an opaque PreMaster region");
    d.regions.clear();
    EXPECT_EQ(text_of(sacd::fs::head_region(d).error()), kPrefix + "3c: disc has no master regions");
    EXPECT_EQ(text_of(sacd::fs::install_transformed_bridge(d, {}).error()), kPrefix + "relaid disc has no master regions");

    sacd::Disc relaid = *disc_;
    sacd::fs::TransformedBridge t{Bytes(510 * S, 1), Bytes(2 * S, 2), 123 * S, 4 * S};
    ASSERT_TRUE(sacd::fs::install_transformed_bridge(relaid, t));
    const auto* head = relaid.regions[0].as<sacd::regions::OwnedBytes>();
    ASSERT_TRUE(head);
    EXPECT_EQ(head->kind, Kind::PreMaster);
    EXPECT_EQ(head->bytes, t.head);
    const auto* tail = relaid.tail->as<sacd::regions::StreamedTail>();
    ASSERT_TRUE(tail);
    EXPECT_EQ(tail->window, t.fs_tail);
    EXPECT_EQ(tail->offset, 123 * S);
    EXPECT_EQ(tail->length, 4 * S);
}

TEST_F(Transform, OutputCheckRefusals) {
    const Bytes base = image_->bytes;
    const std::uint64_t n = base.size() / S;
    ByteSource base_source = ByteSource::memory(base);
    // Byte offsets of the root's records: ".", "..", AUDIO, MASTER.TOC;1 (two extents), TAIL.DAT;1.
    std::vector<std::uint64_t> rec;
    for (std::uint64_t at = 25 * S; base[at] != 0; at += base[at]) rec.push_back(at);
    ASSERT_EQ(rec.size(), 6u);
    const std::uint64_t master = rec[3], tail_rec = rec[5];
    const auto fids = fids_in(base, kRootFids, 4);
    struct Case {
        const char* name;
        std::function<void(Bytes&)> change;
        std::string error;
    };
    auto both = [](Bytes& b, std::uint64_t at, std::uint32_t v) {
        write_u32_le(b.data() + at, v);
        write_u32_be(b.data() + at + 4, v);
    };
    const Case cases[] = {
        {"no bridge", [](Bytes& b) { std::memset(b.data() + 16 * S, 0, 16 * S); },
         "output self-check: no ISO9660/UDF bridge found in the transformed image"},
        {"ISO 9660 extent moved", [&](Bytes& b) { both(b, master + 2, 511); },
         "FS cross-check: file \"/MASTER.TOC\" differs - ISO9660 FileSpan { start_lsn: 511, sectors: 34 } vs UDF "
         "FileSpan { start_lsn: 510, sectors: 34 }"},
        {"UDF name changed", [&](Bytes& b) { b[fids[2] + 48] = 'X', reseal(b, fids[2]); },
         "FS cross-check: file \"/MASTER.TOC\" is in the ISO9660 tree but not the UDF tree"},
        {"ISO 9660 root cut before TAIL.DAT",
         [&](Bytes& b) { both(b, 16 * S + 156 + 10, static_cast<std::uint32_t>(tail_rec - 25 * S)); },
         "FS cross-check: file \"/TAIL.DAT\" is in the UDF tree but not the ISO9660 tree"},
        {"two ISO 9660 names for one file", [&](Bytes& b) { std::memcpy(b.data() + master + 33, "tail.dat;123", 12); },
         "FS cross-check: ISO9660 tree has two files normalising to \"/TAIL.DAT\" (e.g. version-suffix duplicates) - "
         "refusing to guess which extent set is authoritative"},
        {"volume larger than the image", [&](Bytes& b) { both(b, 16 * S + 80, static_cast<std::uint32_t>(n + 1)); },
         "output self-check: ISO9660 volume_space_size " + std::to_string(n + 1) + " exceeds disc size " +
             std::to_string(n) + " sectors"},
        {"tail file past the end",
         [&](Bytes& b) {
             both(b, tail_rec + 2, static_cast<std::uint32_t>(n - 1));
             write_u32_le(b.data() + at_block(kTailFe) + 180, static_cast<std::uint32_t>(n - 1 - kP));
             reseal(b, at_block(kTailFe));
         },
         "output self-check: file /TAIL.DAT extent ends at sector " + std::to_string(n + 1) + ", past the disc size " +
             std::to_string(n)},
        {"root ICB in another partition",
         [](Bytes& b) { platform::write_u16_le(b.data() + at_block(kFsdBlock) + 408, 1), reseal(b, at_block(kFsdBlock)); },
         "UDF FSD Root Directory ICB partition reference != 0 (single-partition assumption)"},
        {"root ICB of length 0",
         [](Bytes& b) { write_u32_le(b.data() + at_block(kFsdBlock) + 400, 0), reseal(b, at_block(kFsdBlock)); },
         "UDF FSD Root Directory ICB has length 0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes b = base;
        c.change(b);
        ByteSource source = ByteSource::memory(b);
        auto r = sacd::fs::verify_transformed_output(source);
        ASSERT_FALSE(r);
        EXPECT_EQ(r.error().display(), kPrefix + c.error);
    }
    EXPECT_TRUE(sacd::fs::verify_transformed_output(base_source));
}

TEST(OutputCheck, PathsAreQuotedWithEscapes) {
    EXPECT_EQ(sacd::fs::debug_quoted("/A \"B\"\\C\n\x01"), "\"/A \\\"B\\\"\\\\C\\n\\u{1}\"");
    EXPECT_EQ((sacd::fs::FileSpan{12, 3}).debug(), "FileSpan { start_lsn: 12, sectors: 3 }");
}

}  // namespace
