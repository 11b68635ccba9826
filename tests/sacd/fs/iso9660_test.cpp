// The ISO 9660 reader against small images written here from the ECMA-119 layout tables.
#include "sacd/fs/iso9660.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/bytes.h"

namespace {

using sacd::ByteSource;
using sacd::fs::FsFile;
using sacd::fs::PointerSite;
using sacd::fs::SiteEncoding;
using sacd::fs::SiteValueKind;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint64_t S = 2048;
constexpr std::uint32_t kLPath = 24, kMPath = 25, kRoot = 26, kSub = 28, kData = 30;

void both32(Bytes& b, std::uint64_t at, std::uint32_t v) {
    platform::write_u32_le(b.data() + at, v);
    platform::write_u32_be(b.data() + at + 4, v);
}

// One directory record at `at`; returns its length.
std::size_t dir_record(Bytes& b, std::uint64_t at, std::uint32_t extent, std::uint32_t length, std::uint8_t flags,
                       const std::string& id) {
    const std::size_t len = 33 + id.size() + (id.size() % 2 == 0 ? 1 : 0);
    b[at] = static_cast<std::uint8_t>(len);
    both32(b, at + 2, extent);
    both32(b, at + 10, length);
    b[at + 25] = flags;
    b[at + 32] = static_cast<std::uint8_t>(id.size());
    std::memcpy(b.data() + at + 33, id.data(), id.size());
    return len;
}

void descriptor(Bytes& b, std::uint32_t lsn, std::uint8_t type) {
    b[lsn * S] = type;
    std::memcpy(b.data() + lsn * S + 1, "CD001", 5);
    b[lsn * S + 6] = 1;
}

// A 96-sector image: PVD at 16, terminator at 17, path tables at 24 (L) and 25 (M), a two-block
// root directory at 26 holding ".", "..", A.B;1, the directory SUB (at 28, holding C.TXT;1), a
// zero LEN_DR, and in its second block the two-record multi-extent file BIG.DAT;1.
struct Fixture {
    Bytes b = Bytes(96 * S, 0);

    Fixture() {
        descriptor(b, 16, 1);
        descriptor(b, 17, 255);
        const std::uint64_t p = 16 * S;
        both32(b, p + 80, 96);
        platform::write_u16_le(b.data() + p + 128, 2048);
        platform::write_u16_be(b.data() + p + 130, 2048);
        both32(b, p + 132, 10 + 12);
        platform::write_u32_le(b.data() + p + 140, kLPath);
        platform::write_u32_be(b.data() + p + 148, kMPath);
        dir_record(b, p + 156, kRoot, 2 * S, 0x02, std::string(1, '\0'));

        std::uint64_t at = kRoot * S;
        at += dir_record(b, at, kRoot, 2 * S, 0x02, std::string(1, '\0'));
        at += dir_record(b, at, kRoot, 2 * S, 0x02, std::string(1, '\1'));
        at += dir_record(b, at, kData, 100, 0, "A.B;1");
        at += dir_record(b, at, kSub, S, 0x02, "SUB");
        at = (kRoot + 1) * S;
        at += dir_record(b, at, kData + 1, 4096, 0x80, "BIG.DAT;1");
        dir_record(b, at, kData + 3, 10, 0, "BIG.DAT;1");

        at = kSub * S;
        at += dir_record(b, at, kSub, S, 0x02, std::string(1, '\0'));
        at += dir_record(b, at, kRoot, 2 * S, 0x02, std::string(1, '\1'));
        dir_record(b, at, kData + 4, 7, 0, "C.TXT;1");

        for (bool m : {false, true}) {
            std::uint8_t* t = b.data() + (m ? kMPath : kLPath) * S;
            auto u32 = [&](std::size_t off, std::uint32_t v) {
                m ? platform::write_u32_be(t + off, v) : platform::write_u32_le(t + off, v);
            };
            t[0] = 1;
            u32(2, kRoot);
            t[6 + (m ? 1 : 0)] = 1;
            t[10] = 3;
            u32(12, kSub);
            t[16 + (m ? 1 : 0)] = 1;
            std::memcpy(t + 18, "SUB", 3);
        }
    }

    std::uint64_t root_record(int i) const {  // byte offset of the i-th record of the root's first block
        std::uint64_t at = kRoot * S;
        for (int k = 0; k < i; ++k) at += b[at];
        return at;
    }
};

sacd::fs::FsResult<std::vector<PointerSite>> sites_of(Bytes& bytes) {
    ByteSource source = ByteSource::memory(bytes);
    std::vector<PointerSite> sites;
    if (auto r = sacd::fs::iso9660_sites(source, sites); !r) return platform::err(std::move(r).error());
    return sites;
}

std::string error_of(Bytes& bytes) {
    auto r = sites_of(bytes);
    return r ? "" : r.error().display();
}

TEST(Iso9660, SitesOfEveryStoredAddressAndSizeInOrder) {
    Fixture f;
    auto sites = sites_of(f.b);
    ASSERT_TRUE(sites) << sites.error().display();
    const std::uint64_t p = 16 * S, r = kRoot * S, r2 = (kRoot + 1) * S, sub = kSub * S;
    using E = SiteEncoding;
    using K = SiteValueKind;
    struct Want {
        std::string label;
        E encoding;
        std::uint64_t offset, offset2;
        std::uint32_t value;
        K kind;
    };
    auto rec = [](std::uint64_t at, std::uint32_t extent, std::uint32_t len) {
        const std::string l = "dirrec@" + std::to_string(at);
        return std::vector<Want>{{l + ".extent", E::Both32, at + 2, at + 6, extent, K::AbsoluteLsn},
                                 {l + ".data_len", E::Both32, at + 10, at + 14, len, K::ByteLength}};
    };
    std::vector<Want> want = {
        {"PVD.volume_space_size", E::Both32, p + 80, p + 84, 96, K::BlockCount},
        {"PVD.path_table_size", E::Both32, p + 132, p + 136, 22, K::ByteLength},
        {"PVD.l_path_table_lba", E::Le32, p + 140, 0, kLPath, K::AbsoluteLsn},
        {"PVD.m_path_table_lba", E::Be32, p + 148, 0, kMPath, K::AbsoluteLsn},
        {"PVD.root_dir_record.extent", E::Both32, p + 158, p + 162, kRoot, K::AbsoluteLsn},
        {"PVD.root_dir_record.data_len", E::Both32, p + 166, p + 170, 2 * S, K::ByteLength},
    };
    auto add = [&](std::vector<Want> w) { want.insert(want.end(), w.begin(), w.end()); };
    add(rec(r, kRoot, 2 * S));
    add(rec(r + 34, kRoot, 2 * S));
    add(rec(r + 68, kData, 100));
    add(rec(r + 68 + 38, kSub, S));
    add(rec(sub, kSub, S));  // the tree is walked depth first
    add(rec(sub + 34, kRoot, 2 * S));
    add(rec(sub + 68, kData + 4, 7));
    add(rec(r2, kData + 1, 4096));  // after the zero LEN_DR, in the next block
    add(rec(r2 + 42, kData + 3, 10));
    want.push_back({"pathtable@" + std::to_string(kLPath * S) + ".extent", E::Le32, kLPath * S + 2, 0, kRoot, K::AbsoluteLsn});
    want.push_back({"pathtable@" + std::to_string(kLPath * S + 10) + ".extent", E::Le32, kLPath * S + 12, 0, kSub, K::AbsoluteLsn});
    want.push_back({"pathtable@" + std::to_string(kMPath * S) + ".extent", E::Be32, kMPath * S + 2, 0, kRoot, K::AbsoluteLsn});
    want.push_back({"pathtable@" + std::to_string(kMPath * S + 10) + ".extent", E::Be32, kMPath * S + 12, 0, kSub, K::AbsoluteLsn});

    ASSERT_EQ(sites->size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        const PointerSite& s = (*sites)[i];
        SCOPED_TRACE(want[i].label);
        EXPECT_EQ(s.label, want[i].label);
        EXPECT_EQ(s.encoding, want[i].encoding);
        EXPECT_EQ(s.offset, want[i].offset);
        if (s.encoding == E::Both32) {
            EXPECT_EQ(s.offset2, want[i].offset2);
        }
        EXPECT_EQ(s.value, want[i].value);
        EXPECT_EQ(s.kind, want[i].kind);
    }
}

TEST(Iso9660, OptionalPathTablesAreSitesAndAreWalkedWhenPresent) {
    Fixture f;
    const std::uint64_t p = 16 * S;
    // The optional tables are copies of the mandatory ones at sectors 34 and 35.
    std::memcpy(f.b.data() + 34 * S, f.b.data() + kLPath * S, S);
    std::memcpy(f.b.data() + 35 * S, f.b.data() + kMPath * S, S);
    platform::write_u32_le(f.b.data() + p + 144, 34);
    platform::write_u32_be(f.b.data() + p + 152, 35);
    auto sites = sites_of(f.b);
    ASSERT_TRUE(sites);
    std::vector<std::string> labels;
    for (const auto& s : *sites)
        if (s.label.find("path_table_lba") != std::string::npos || s.label.rfind("pathtable@", 0) == 0)
            labels.push_back(s.label);
    const std::vector<std::string> want = {
        "PVD.l_path_table_lba", "PVD.opt_l_path_table_lba", "PVD.m_path_table_lba", "PVD.opt_m_path_table_lba",
        "pathtable@" + std::to_string(kLPath * S) + ".extent", "pathtable@" + std::to_string(kLPath * S + 10) + ".extent",
        "pathtable@" + std::to_string(34 * S) + ".extent", "pathtable@" + std::to_string(34 * S + 10) + ".extent",
        "pathtable@" + std::to_string(kMPath * S) + ".extent", "pathtable@" + std::to_string(kMPath * S + 10) + ".extent",
        "pathtable@" + std::to_string(35 * S) + ".extent", "pathtable@" + std::to_string(35 * S + 10) + ".extent"};
    EXPECT_EQ(labels, want);
}

TEST(Iso9660, DescriptorSetScan) {
    struct Case {
        const char* name;
        std::function<void(Bytes&)> change;
        std::string error;  // empty: accepted
    };
    const std::string prefix = "unrecognised file-system layout (refusing to guess): ";
    const Case cases[] = {
        {"second primary before the terminator", [](Bytes& b) { descriptor(b, 17, 1), descriptor(b, 18, 255); }, ""},
        {"supplementary descriptor", [](Bytes& b) { descriptor(b, 17, 2), descriptor(b, 18, 255); },
         "ISO9660 volume descriptor set has an unhandled descriptor type 2 at logical sector 17 (refusing - it would "
         "carry FS addresses we do not remap)"},
        {"descriptor without CD001", [](Bytes& b) { b[17 * S + 3] = 'X'; },
         "ISO9660 volume descriptor at logical sector 17 lacks the \"CD001\" standard identifier (malformed "
         "descriptor set, no terminator found)"},
        {"no terminator by sector 79",
         [](Bytes& b) {
             std::memset(b.data() + 24 * S, 0, 8 * S);  // the fixture's tables and directories go
             for (std::uint32_t lsn = 17; lsn <= 79; ++lsn) descriptor(b, lsn, 1);
             descriptor(b, 80, 255);
         },
         "ISO9660 volume descriptor set has no terminator within 64 descriptors (logical sectors 16..=79) - refusing"},
        {"sector 16 not a primary descriptor", [](Bytes& b) { b[16 * S] = 2; },
         "logical sector 16 is not an ISO9660 Primary Volume Descriptor (type 1 / CD001)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        c.change(f.b);
        EXPECT_EQ(error_of(f.b), c.error.empty() ? "" : prefix + c.error);
    }
}

TEST(Iso9660, MalformedRecordsAndTreesAreRefused) {
    struct Case {
        const char* name;
        std::function<void(Fixture&)> change;
        std::string error;
    };
    const Case cases[] = {
        {"block size 0", [](Fixture& f) { platform::write_u16_le(f.b.data() + 16 * S + 128, 0); },
         "ISO9660 logical block size is 0"},
        {"empty root record", [](Fixture& f) { f.b[16 * S + 156] = 0; },
         "ISO9660 root directory record is empty (LEN_DR 0)"},
        {"short record", [&](Fixture& f) { f.b[f.root_record(2)] = 20; },
         "ISO9660 directory record at byte " + std::to_string(kRoot * S + 68) + " has LEN_DR 20 < 34 (minimum)"},
        {"file id longer than the record", [&](Fixture& f) { f.b[f.root_record(2) + 32] = 6; },
         "ISO9660 directory record at byte " + std::to_string(kRoot * S + 68) + ": file id (LEN_FI 6) exceeds LEN_DR 38"},
        {"a child pointing back at the root",
         [](Fixture& f) { both32(f.b, f.root_record(3) + 2, kRoot); },
         "ISO9660 directory extent LBA " + std::to_string(kRoot) + " visited twice (cyclic tree)"},
        {"34 nested directories",
         [](Fixture& f) {
             // SUB holds D, which holds D, ... one directory per sector from 40 on.
             for (std::uint32_t i = 0; i < 34; ++i) {
                 const std::uint32_t self = 40 + i;
                 std::uint64_t at = self * S;
                 at += dir_record(f.b, at, self, S, 0x02, std::string(1, '\0'));
                 at += dir_record(f.b, at, self - 1, S, 0x02, std::string(1, '\1'));
                 dir_record(f.b, at, self + 1, S, 0x02, "D");
             }
             both32(f.b, f.root_record(3) + 2, 40);
         },
         "ISO9660 directory nesting exceeds 32 (malformed or cyclic)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        c.change(f);
        EXPECT_EQ(error_of(f.b), "unrecognised file-system layout (refusing to guess): " + c.error);
    }
}

TEST(Iso9660, FilesWithNamesWithoutVersionsAndMergedExtents) {
    Fixture f;
    ByteSource source = ByteSource::memory(f.b);
    auto pvd = sacd::fs::Pvd::parse(source);
    ASSERT_TRUE(pvd);
    EXPECT_EQ(pvd->volume_space_size, 96u);
    EXPECT_EQ(pvd->block_size, 2048u);
    auto files = sacd::fs::iso9660_files(source, *pvd);
    ASSERT_TRUE(files) << files.error().display();
    ASSERT_EQ(files->size(), 3u);
    auto expect = [&](std::size_t i, const char* path, std::vector<std::pair<std::uint32_t, std::uint32_t>> extents) {
        EXPECT_EQ((*files)[i].path, path);
        EXPECT_EQ((*files)[i].extents, extents) << path;
    };
    expect(0, "/A.B", {{kData, 100}});
    expect(1, "/SUB/C.TXT", {{kData + 4, 7}});
    expect(2, "/BIG.DAT", {{kData + 1, 4096}, {kData + 3, 10}});

    // The directory's data length bounds the walk: with one block, BIG.DAT is not reached.
    both32(f.b, 16 * S + 156 + 10, S);
    auto one_block = sacd::fs::Pvd::parse(source);
    ASSERT_TRUE(one_block);
    auto cut = sacd::fs::iso9660_files(source, *one_block);
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->size(), 2u);
}

TEST(Iso9660, WalkRefusesALoopAndPassesReadErrorsThrough) {
    Fixture f;
    both32(f.b, f.root_record(3) + 2, kRoot);
    ByteSource source = ByteSource::memory(f.b);
    auto pvd = sacd::fs::Pvd::parse(source);
    ASSERT_TRUE(pvd);
    auto files = sacd::fs::iso9660_files(source, *pvd);
    ASSERT_FALSE(files);
    EXPECT_EQ(files.error().text, "ISO9660 directory extent LBA 26 visited twice (cyclic tree)");

    Fixture g;
    both32(g.b, 16 * S + 156 + 2, 200);  // the root itself lies past the end
    auto r = sites_of(g.b);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().kind, sacd::FsError::Kind::PastEnd);
}

}  // namespace
