// The UDF reader on builder bridge images (which pycdlib and 7-Zip accept, see the judge tests),
// damaged one structure at a time, and on small hand-made descriptor sequences.
#include "sacd/fs/udf.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>

#include "sacd/fs/transform.h"
#include "tests/sacd/fs/bridge_fixtures.h"

namespace {

using namespace bridgetest;
using platform::read_u32_le;
using platform::write_u16_le;
using platform::write_u32_le;
using sacd::ByteSource;
using sacd::fs::SiteValueKind;

const std::string kPrefix = "unrecognised file-system layout (refusing to guess): ";

class Udf : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new testsupport::TempDir;
        image_ = new BridgeImage(build(*dir_));
    }
    static void TearDownTestSuite() {
        delete image_;
        delete dir_;
    }
    static inline testsupport::TempDir* dir_ = nullptr;
    static inline BridgeImage* image_ = nullptr;

    Bytes bytes() const { return image_->bytes; }
    std::uint32_t sectors() const { return static_cast<std::uint32_t>(image_->bytes.size() / S); }
};

sacd::fs::FsResult<sacd::fs::CollectedSites> collect(Bytes& b) {
    ByteSource source = ByteSource::memory(b);
    return sacd::fs::collect_bridge_sites(source);
}

std::string error_of(Bytes& b) {
    auto r = collect(b);
    return r ? "" : r.error().display();
}

std::uint64_t vds(std::uint32_t index) { return (kMainVds + index) * S; }

TEST(DescriptorCrc, KnownValues) {
    const std::uint8_t ecma_example[] = {0x70, 0x6A, 0x77};  // ECMA-167 3/7.2.6
    EXPECT_EQ(sacd::fs::descriptor_crc(ecma_example), 0x3299);
    const std::string check = "123456789";
    EXPECT_EQ(sacd::fs::descriptor_crc({reinterpret_cast<const std::uint8_t*>(check.data()), check.size()}), 0x31C3);
    EXPECT_EQ(sacd::fs::descriptor_crc({}), 0);
}

TEST_F(Udf, FilesOfTheTree) {
    Bytes b = bytes();
    ByteSource source = ByteSource::memory(b);
    auto files = sacd::fs::udf_files(source);
    ASSERT_TRUE(files) << files.error().display();
    std::map<std::string, std::vector<std::pair<std::uint32_t, std::uint32_t>>> got;
    for (const auto& f : *files) got[f.path] = f.extents;
    ASSERT_EQ(got.size(), image_->built.bridge_files.size());
    for (const auto& want : image_->built.bridge_files) {
        ASSERT_TRUE(got.count(want.path)) << want.path;
        EXPECT_EQ(got[want.path], (std::vector<std::pair<std::uint32_t, std::uint32_t>>{
                                      {want.first_lsn, static_cast<std::uint32_t>(want.bytes)}}))
            << want.path;
    }
}

TEST_F(Udf, SitesAndChecksumSitesOfBothSequencesAnchorsAndTree) {
    Bytes b = bytes();
    auto sites = collect(b);
    ASSERT_TRUE(sites) << sites.error().display();
    EXPECT_EQ(sites->partition_start, kP);
    std::map<std::string, const sacd::fs::PointerSite*> by_label;
    for (const auto& s : sites->sites) by_label[s.label] = &s;
    struct Want {
        std::string label;
        std::uint64_t offset;
        std::uint32_t value;
        SiteValueKind kind;
    };
    const std::uint32_t n = sectors();
    const auto& stereo = image_->built.areas[0];
    const Want want[] = {
        {"UDF.Partition.length", vds(kPd) + 192, n - 1 - kP, SiteValueKind::BlockCount},
        {"UDF.Partition.start", vds(kPd) + 188, kP, SiteValueKind::AbsoluteLsn},
        {"UDF.LVD.integrity_extent", vds(kLvd) + 436, 64, SiteValueKind::AbsoluteLsn},
        {"UDF.UnallocSpace.ad0", vds(kUsd) + 28, 66, SiteValueKind::AbsoluteLsn},
        {"UDF.Reserve.Partition.length", (kReserveVds + kPd) * S + 192, n - 1 - kP, SiteValueKind::BlockCount},
        {"UDF.AVDP.main_vds_location", kAnchor * S + 20, kMainVds, SiteValueKind::AbsoluteLsn},
        {"UDF.AVDP.reserve_vds_location", kAnchor * S + 28, kReserveVds, SiteValueKind::AbsoluteLsn},
        {"UDF.backup_AVDP.tag_location", (n - 1) * S + 12, n - 1, SiteValueKind::AbsoluteLsn},
        {"UDF.backup_AVDP.reserve_vds_location", (n - 1) * S + 28, kReserveVds, SiteValueKind::AbsoluteLsn},
        {"UDF.LVD.contents_use.fsd_block", vds(kLvd) + 252, kFsdBlock, SiteValueKind::PartitionBlock},
        {"UDF.FSD.root_dir_icb", at_block(kFsdBlock) + 404, kRootFe, SiteValueKind::PartitionBlock},
        {"UDF.FSD.tag_location", at_block(kFsdBlock) + 12, kFsdBlock, SiteValueKind::PartitionBlock},
        {"UDF.FE@2.extent0", at_block(kRootFe) + 180, kRootFids, SiteValueKind::PartitionBlock},
        {"UDF.FE@8.extent0", at_block(kStereoFe) + 180, stereo.audio_start - kP, SiteValueKind::PartitionBlock},
        {"UDF.FID@" + std::to_string(at_block(kRootFids)) + ".icb", at_block(kRootFids) + 24, kRootFe,
         SiteValueKind::PartitionBlock},
        {"UDF.FID@" + std::to_string(at_block(kRootFids)) + ".tag_location", at_block(kRootFids) + 12, kRootFids,
         SiteValueKind::PartitionBlock},
    };
    for (const Want& w : want) {
        SCOPED_TRACE(w.label);
        ASSERT_TRUE(by_label.count(w.label));
        EXPECT_EQ(by_label[w.label]->offset, w.offset);
        EXPECT_EQ(by_label[w.label]->value, w.value);
        EXPECT_EQ(by_label[w.label]->kind, w.kind);
    }
    // Tags to re-seal: PVD, PD, LVD and USD of each sequence, both anchors, the FSD, 5 File
    // Entries (two directories, three files) and 6 FIDs.
    EXPECT_EQ(sites->checksums.size(), 8u + 2 + 1 + 5 + 6);
    for (const auto& c : sites->checksums) {
        EXPECT_EQ(c.body, c.tag + 16);
        EXPECT_TRUE(sealed(b, c.tag)) << c.tag;
        const auto verdict = sacd::fs::verify_descriptor_tag({b.data() + c.tag, 16u + c.crc_length});
        EXPECT_TRUE(verdict.checksum_ok && verdict.crc_ok) << c.tag;
    }
    // A changed body byte breaks the CRC but not the checksum; a changed tag byte the checksum.
    const std::uint64_t fe = at_block(kRootFe);
    b[fe + 100] ^= 1;
    auto verdict = sacd::fs::verify_descriptor_tag({b.data() + fe, S});
    EXPECT_TRUE(verdict.checksum_ok);
    EXPECT_FALSE(verdict.crc_ok);
    b[fe + 6] ^= 1;
    EXPECT_FALSE(sacd::fs::verify_descriptor_tag({b.data() + fe, S}).checksum_ok);
    EXPECT_FALSE(sacd::fs::verify_descriptor_tag({b.data() + fe, 20}).crc_ok);  // body cut short
}

TEST_F(Udf, TagLocationsKeepTheirConvention) {
    Bytes b = bytes();
    const std::uint64_t fe = at_block(kMasterFe);
    write_u32_le(b.data() + fe + 12, kP + kMasterFe);  // recorded as an absolute sector
    reseal(b, fe);
    auto sites = collect(b);
    ASSERT_TRUE(sites) << sites.error().display();
    for (const auto& s : sites->sites) {
        if (s.label == "UDF.FE@6.tag_location") {
            EXPECT_EQ(s.kind, SiteValueKind::AbsoluteLsn);
            EXPECT_EQ(s.value, kP + kMasterFe);
        }
        if (s.label == "UDF.FE@7.tag_location") {
            EXPECT_EQ(s.kind, SiteValueKind::PartitionBlock);
        }
    }
}

TEST_F(Udf, BackupAnchorProbesFollowThePartitionEnd) {
    const std::uint32_t n = sectors();
    auto backup_sites = [](Bytes& b) {
        std::vector<std::uint32_t> values;
        auto sites = collect(b);
        EXPECT_TRUE(sites) << sites.error().display();
        if (sites)
            for (const auto& s : sites->sites)
                if (s.label == "UDF.backup_AVDP.tag_location") values.push_back(s.value);
        return values;
    };
    Bytes b = bytes();
    EXPECT_EQ(backup_sites(b), std::vector<std::uint32_t>{n - 1});

    // A partition that runs to the last sector (E = N) probes only N - 256.
    for (std::uint32_t seq : {kMainVds, kReserveVds}) {
        write_u32_le(b.data() + (seq + kPd) * S + 192, n - kP);
        reseal(b, (seq + kPd) * S);
    }
    EXPECT_TRUE(backup_sites(b).empty());
    std::memcpy(b.data() + (n - 256) * S, b.data() + (n - 1) * S, S);
    write_u32_le(b.data() + (n - 256) * S + 12, n - 256);
    reseal(b, (n - 256) * S);
    EXPECT_EQ(backup_sites(b), std::vector<std::uint32_t>{n - 256});
}

TEST_F(Udf, LargeLogicalBlocksAreRefusedBeforeAnySiteOfTheSequence) {
    Bytes b = bytes();
    write_u32_le(b.data() + vds(kLvd) + 212, 4096);
    reseal(b, vds(kLvd));
    ByteSource source = ByteSource::memory(b);
    sacd::fs::BridgeSites out;
    auto r = sacd::fs::udf_volume_sites(source, sectors(), out);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().text, "UDF logical block size 4096 != 2048 (unsupported)");
    EXPECT_TRUE(out.sites.empty());
    EXPECT_TRUE(out.checksums.empty());
}

TEST(UdfSequence, ReadsAtMost64Sectors) {
    // 80 recorded Implementation Use descriptors; the 65th would be refused if it were read.
    Bytes b(200 * S, 0);
    for (std::uint32_t i = 0; i < 80; ++i) {
        const std::uint64_t at = (100 + i) * S;
        write_u16_le(b.data() + at, i == 64 ? 3 : 4);
        write_u32_le(b.data() + at + 12, 100 + i);
        reseal(b, at);
    }
    ByteSource source = ByteSource::memory(b);
    auto seq = sacd::fs::read_vds_extent(source, 80 * S, 100);
    ASSERT_TRUE(seq) << seq.error().display();
    EXPECT_EQ(seq->size(), 64u);
    // An unrecorded sector ends the sequence early.
    std::memset(b.data() + 110 * S, 0, S);
    auto shorter = sacd::fs::read_vds_extent(source, 80 * S, 100);
    ASSERT_TRUE(shorter);
    EXPECT_EQ(shorter->size(), 10u);
    EXPECT_TRUE(sacd::fs::read_vds_extent(source, 0, 100)->empty());
}

TEST_F(Udf, SixteenBitNamesDecodeByPairs) {
    // TAIL.DAT is the last FID of the root, with a 16-bit name; cut its identifier to L_FI 5 (the
    // compression byte and two characters) or 4.
    for (std::uint8_t l_fi : {5, 4}) {
        SCOPED_TRACE(int(l_fi));
        Bytes b = bytes();
        const auto fids = fids_in(b, kRootFids, 4);
        const std::uint64_t tail_fid = fids[3];
        b[tail_fid + 19] = l_fi;
        const std::uint32_t length = (38 + l_fi + 3) / 4 * 4;
        std::memset(b.data() + tail_fid + 38 + l_fi, 0, 64);
        write_u16_le(b.data() + tail_fid + 10, static_cast<std::uint16_t>(length - 16));
        reseal(b, tail_fid);
        const auto info = static_cast<std::uint32_t>(tail_fid - at_block(kRootFids) + length);
        const std::uint64_t fe = at_block(kRootFe);
        platform::write_u64_le(b.data() + fe + 56, info);
        write_u32_le(b.data() + fe + 176, info);
        reseal(b, fe);
        ByteSource source = ByteSource::memory(b);
        auto files = sacd::fs::udf_files(source);
        if (l_fi == 5) {
            ASSERT_TRUE(files) << files.error().display();
            EXPECT_TRUE(std::any_of(files->begin(), files->end(), [](const auto& f) { return f.path == "/TA"; }));
        } else {
            ASSERT_FALSE(files);
            EXPECT_EQ(files.error().text, "UDF File Identifier OSTA CS0 16-bit name has an odd byte length");
        }
    }
}

TEST_F(Udf, EveryUnsupportedShapeIsRefusedByName) {
    struct Case {
        const char* name;
        std::function<void(Bytes&)> change;
        std::string error;
    };
    auto set32 = [](std::uint64_t at, std::uint32_t v, std::uint64_t tag) {
        return [=](Bytes& b) {
            write_u32_le(b.data() + at, v);
            reseal(b, tag);
        };
    };
    auto set16 = [](std::uint64_t at, std::uint16_t v, std::uint64_t tag) {
        return [=](Bytes& b) {
            write_u16_le(b.data() + at, v);
            reseal(b, tag);
        };
    };
    auto copy_descriptor = [](std::uint32_t from, std::uint32_t to) {
        return [=](Bytes& b) {
            std::memcpy(b.data() + to * S, b.data() + from * S, S);
            write_u32_le(b.data() + to * S + 12, to);
            reseal(b, to * S);
        };
    };
    const std::uint64_t anchor = kAnchor * S, fsd = at_block(kFsdBlock), root = at_block(kRootFe);
    const std::uint64_t root_fids = at_block(kRootFids);
    Bytes base = bytes();
    const auto fids = fids_in(base, kRootFids, 4);  // parent, AUDIO, MASTER.TOC, TAIL.DAT
    const std::uint32_t dir_bytes = read_u32_le(base.data() + root + 176);
    const std::string fid0 = std::to_string(root_fids);
    const Case cases[] = {
        {"anchor with a flipped tag byte", [=](Bytes& b) { b[anchor + 6] ^= 1; },
         "UDF AVDP at logical sector 256 has an invalid Descriptor Tag checksum"},
        {"anchor of another type", set16(anchor, 3, anchor), "UDF AVDP tag_id != 2 at logical sector 256 (got tag_id 3)"},
        {"volume descriptor with a bad checksum", [](Bytes& b) { b[vds(kPd) + 4] ^= 1; },
         "UDF volume descriptor at logical sector 34 has an invalid Descriptor Tag checksum"},
        {"Volume Descriptor Pointer in the sequence", set16(vds(1), 3, vds(1)),
         "UDF volume descriptor sequence has an unhandled descriptor type 3 at sector 33"},
        {"no Partition Descriptor", set16(vds(kPd), 4, vds(kPd)), "UDF volume has no Partition Descriptor"},
        {"two Partition Descriptors", copy_descriptor(kMainVds + kPd, kMainVds + 1),
         "UDF volume has more than one Partition Descriptor (unsupported)"},
        {"partition number 1", set16(vds(kPd) + 22, 1, vds(kPd)),
         "UDF Partition Descriptor number 1 != 0 (unsupported single-partition assumption)"},
        {"257 unallocated extents", set32(vds(kUsd) + 20, 257, vds(kUsd)),
         "UDF Unallocated Space Descriptor N_AD 257 exceeds 256 (malformed)"},
        {"no Logical Volume Descriptor", set16(vds(kLvd), 4, vds(kLvd)), "UDF volume has no Logical Volume Descriptor"},
        {"two Logical Volume Descriptors", copy_descriptor(kMainVds + kLvd, kMainVds + 1),
         "UDF volume has more than one Logical Volume Descriptor (unsupported)"},
        {"FSD in another partition", set16(vds(kLvd) + 256, 1, vds(kLvd)),
         "UDF FSD long_ad partition reference 1 != 0 (single-partition assumption)"},
        {"no FSD", set32(vds(kLvd) + 248, 0, vds(kLvd)),
         "UDF Logical Volume Contents Use FSD long_ad has length 0 (no File Set Descriptor)"},
        {"FSD with a bad checksum", [=](Bytes& b) { b[fsd + 4] ^= 1; },
         "UDF FSD at partition block 0 has an invalid Descriptor Tag checksum"},
        {"FSD of another type", set16(fsd, 8, fsd), "UDF FSD tag_id != 256 at partition block 0 (got 8)"},
        {"FSD at a wrong tag location", set32(fsd + 12, 5, fsd),
         "UDF FSD Tag Location 5 matches neither block 0 nor absolute LSN 257"},
        {"chained FSD", set32(fsd + 448, 2048, fsd),
         "UDF FSD has a Next Extent (chained File Set Descriptor sequence) - unsupported"},
        {"File Entry with a bad checksum", [=](Bytes& b) { b[root + 4] ^= 1; },
         "UDF File Entry at partition block 2 has an invalid Descriptor Tag checksum"},
        {"File Entry of another type", set16(root, 266, root), "UDF File Entry tag_id != 261 at partition block 2 (got 266)"},
        {"File Entry at a wrong tag location", set32(root + 12, 9, root),
         "UDF File Entry Tag Location 9 matches neither block 2 nor absolute LSN 259"},
        {"data embedded in the File Entry", set16(root + 34, 3, root),
         "UDF icbtag allocation-descriptor type 3, unsupported (only short_ad/long_ad handled)"},
        {"allocation descriptors past the block", set32(root + 172, 2000, root),
         "UDF File Entry at block 2: allocation-descriptor area [176..2176) exceeds the logical block (multi-block FE "
         "unsupported)"},
        {"continuation extent", set32(root + 176, dir_bytes | 0xC0000000u, root),
         "UDF File Entry at block 2 uses a continuation allocation extent (type 3) - unsupported"},
        {"long_ad in another partition", set16(at_block(kStereoFe) + 176 + 8, 1, at_block(kStereoFe)),
         "UDF File Entry at block 8 has a long_ad extent with partition reference 1 != 0 (single-partition assumption)"},
        {"root that is not a directory", [=](Bytes& b) { b[root + 27] = 5, reseal(b, root); },
         "UDF File Entry at block 2 is not a directory (File Type 5)"},
        {"information length past the data", [=](Bytes& b) { platform::write_u64_le(b.data() + root + 56, 5000), reseal(b, root); },
         "UDF directory at block 2: Information Length 5000 exceeds its extent data (" + std::to_string(dir_bytes) +
             " bytes)"},
        {"directory data over the cap", set32(root + 176, 0x1000800, root),
         "UDF directory data exceeds the size cap (malformed)"},
        {"FID of another type", set16(root_fids, 256, root_fids),
         "UDF File Identifier Descriptor tag_id != 257 at image byte " + fid0 + " (got 256)"},
        {"FID with a bad checksum", [=](Bytes& b) { b[root_fids + 4] ^= 1; },
         "UDF File Identifier Descriptor at image byte " + fid0 + " has an invalid Descriptor Tag checksum"},
        {"FID in another partition", set16(fids[1] + 28, 1, fids[1]),
         "UDF FID ICB partition reference != 0 (single-partition assumption)"},
        {"FID at a wrong tag location", set32(root_fids + 12, 99, root_fids),
         "UDF.FID@" + fid0 + " Tag Location 99 matches neither block 3 nor absolute LSN 260"},
        {"directory pointing back at the root", set32(fids[1] + 24, kRootFe, fids[1]),
         "UDF directory File Entry block 2 visited twice (cyclic tree)"},
        {"name of an unknown compression", [=](Bytes& b) { b[fids[2] + 38] = 9, reseal(b, fids[2]); },
         "UDF File Identifier OSTA CS0 compression ID 9 unsupported (only 8 or 16)"},
        {"FID crossing the information length",
         [=](Bytes& b) { platform::write_u64_le(b.data() + root + 56, dir_bytes - 4), reseal(b, root); },
         "UDF FID crosses the directory Information Length boundary (malformed)"},
        {"FID past the directory data",
         [=](Bytes& b) {
             platform::write_u64_le(b.data() + root + 56, dir_bytes - 4);
             write_u32_le(b.data() + root + 176, dir_bytes - 4);
             reseal(b, root);
         },
         "UDF FID at image byte " + std::to_string(fids[3]) + " (length " + std::to_string(root_fids + dir_bytes - fids[3]) +
             ") runs past the directory data"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes b = base;
        c.change(b);
        EXPECT_EQ(error_of(b), kPrefix + c.error);
    }
}

TEST_F(Udf, DirectoryNestingIsBounded) {
    // AUDIO's directory holds one more directory FID pointing at a fresh FE each time: 34 levels,
    // each an FE with its FIDs in the unused head sectors from partition block 40 on.
    Bytes b = bytes();
    const std::uint32_t first = 40;
    auto make_dir = [&](std::uint32_t fe_block, std::uint32_t child) {
        const std::uint64_t fe = at_block(fe_block), fid = at_block(fe_block + 1);
        std::memcpy(b.data() + fe, b.data() + at_block(kAudioFe), S);
        write_u32_le(b.data() + fe + 12, fe_block);
        write_u32_le(b.data() + fe + 176, 40);
        write_u32_le(b.data() + fe + 180, fe_block + 1);
        platform::write_u64_le(b.data() + fe + 56, 40);
        reseal(b, fe);
        std::memset(b.data() + fid, 0, S);
        write_u16_le(b.data() + fid, 257);
        write_u16_le(b.data() + fid + 2, 2);
        write_u16_le(b.data() + fid + 10, 40 - 16);
        write_u32_le(b.data() + fid + 12, fe_block + 1);
        write_u16_le(b.data() + fid + 16, 1);
        b[fid + 18] = 0x02;
        b[fid + 19] = 2;
        write_u32_le(b.data() + fid + 20, 2048);
        write_u32_le(b.data() + fid + 24, child);
        b[fid + 38] = 8;
        b[fid + 39] = 'D';
        reseal(b, fid);
    };
    for (std::uint32_t i = 0; i < 34; ++i) make_dir(first + 2 * i, first + 2 * (i + 1));
    const auto fids = fids_in(b, kRootFids, 2);
    write_u32_le(b.data() + fids[1] + 24, first);
    reseal(b, fids[1]);
    EXPECT_EQ(error_of(b), kPrefix + "UDF directory nesting exceeds 32 (malformed or cyclic)");
}

}  // namespace
