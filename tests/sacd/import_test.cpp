// Import of builder images of every shape, and of deliberately broken ones.
#include "sacd/disc.h"
#include "tests/support/disc_regions.h"
#include "tests/support/process.h"
#include "tools/image_builder/image_builder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

using namespace sacd;
using testsupport::total_size;
using image_builder::AreaSpec;
using image_builder::ImageSpec;
using image_builder::TextChannelSpec;

namespace {

struct Built {
    testsupport::TempDir dir;
    std::string path;
    image_builder::BuiltImage image;
};

std::unique_ptr<Built> build(const ImageSpec& spec) {
    auto b = std::make_unique<Built>();
    b->path = b->dir.file("disc.iso");
    auto r = image_builder::build_image(spec, b->path);
    EXPECT_TRUE(r.ok()) << (r.ok() ? "" : r.error());
    if (r.ok()) b->image = *r;
    return b;
}

Disc import_ok(const std::string& path) {
    auto d = import_iso(path);
    EXPECT_TRUE(d.ok());
    return d.ok() ? std::move(d).value() : Disc{};
}

std::vector<std::string> labels(const std::vector<Region>& regions) {
    std::vector<std::string> out;
    for (const Region& r : regions) out.emplace_back(r.kind_label());
    return out;
}

ImageSpec short_spec(std::size_t tracks = 2) { return image_builder::sample_spec(tracks, 20); }

}  // namespace

TEST(Import, StereoImagePartitionsExactly) {
    auto b = build(short_spec());
    Disc d = import_ok(b->path);
    ASSERT_FALSE(d.is_not_recognised());
    EXPECT_EQ(total_size(d), b->image.size);

    // The fixed master area: pre-master, three groups of TOC + 8 texts + manufacturer, mirror.
    ASSERT_EQ(d.regions.size(), 32u);
    EXPECT_EQ(d.regions[0].kind_label(), "pre-master");
    EXPECT_EQ(d.regions[0].size(), 510u * 2048);
    for (int g = 0; g < 3; ++g) {
        EXPECT_EQ(d.regions[1 + 10 * g].kind_label(), "master TOC (typed)");
        auto* t0 = d.regions[2 + 10 * g].as<regions::MasterTextRecord>();
        ASSERT_NE(t0, nullptr);
        EXPECT_EQ(t0->copy, g);
        EXPECT_EQ(t0->slot, 0);
        EXPECT_EQ(d.regions[10 + 10 * g].kind_label(), "SACD_Man");
    }
    EXPECT_EQ(d.regions[31].kind_label(), "master TOC mirror");
    EXPECT_EQ(d.regions[31].size(), 8192u);

    ASSERT_EQ(d.areas.size(), 1u);
    const DiscArea& a = d.areas[0];
    const auto& built = b->image.areas[0];
    const std::vector<std::string> expected = {"area TOC (typed)", "SACDTRL1 (typed)", "SACDTRL2 (typed)",
                                               "SACD_IGL (typed)", "SACDTTxt (typed)"};
    EXPECT_EQ(labels(a.toc1), expected);
    EXPECT_EQ(labels(a.toc2), expected);
    EXPECT_TRUE(a.gap.empty());
    EXPECT_EQ(a.audio_offset(), std::uint64_t{built.audio_start} * 2048);
    EXPECT_EQ(a.audio.size(), std::uint64_t{built.audio_end - built.audio_start + 1} * 2048);
    EXPECT_FALSE(d.tail);

    EXPECT_EQ(d.master_text_channel_count(), 1);
    ASSERT_NE(d.master_text(0), nullptr);
    EXPECT_EQ(d.master_text(1), nullptr);
    EXPECT_EQ(*d.master_text(0)->read_field_decoded(MasterField::AlbumTitle, CharSet::Value::Iso646).clean_text(),
              "Harbour Lights");
    ASSERT_NE(a.trl1(), nullptr);
    EXPECT_EQ(a.trl1()->start_lsns, built.track_lsns);
    EXPECT_EQ(a.track_text()->read_entry_field_decoded(0, 1, TrackField::Title, CharSet::Value::Iso646).text,
              "Lantern Row");
    EXPECT_FALSE(d.all_text_empty());
    EXPECT_FALSE(needs_text_normalization(d.areas));
}

TEST(Import, TwoAreasSeveralChannelsListsGapsAndTail) {
    ImageSpec spec = short_spec(2);
    spec.text_channels = {TextChannelSpec{"en", CharSet::Value::Iso646}, TextChannelSpec{"ja", CharSet::Value::RisShiftJis}};
    spec.master_texts.resize(2);
    spec.master_texts[1][MasterField::AlbumTitle] = "港の灯り";
    for (auto& t : spec.areas[0].tracks) t.texts.resize(2), t.texts[1][TrackField::Title] = "潮見表";
    spec.gap_before_first_area = 3;
    spec.tail_sectors = 7;
    AreaSpec& stereo = spec.areas[0];
    stereo.access_list = true;
    stereo.weblink_list = image_builder::Bytes(100, 0);
    std::copy_n("SACD_WLL", 8, stereo.weblink_list->begin());
    stereo.toc_padding_sectors = 2;
    stereo.gap_after_audio = 4;
    AreaSpec mch = stereo;
    mch.multichannel = true;
    mch.channel_count = 6;
    mch.frame_format = 0;
    mch.access_list = false;
    mch.weblink_list.reset();
    mch.gap_after_audio = 0;
    spec.areas.push_back(mch);

    auto b = build(spec);
    Disc d = import_ok(b->path);
    ASSERT_FALSE(d.is_not_recognised());
    EXPECT_EQ(total_size(d), b->image.size);
    ASSERT_EQ(d.regions.size(), 33u);
    EXPECT_EQ(d.regions[32].kind_label(), "area TOC padding");
    EXPECT_EQ(d.regions[32].size(), 3u * 2048);
    EXPECT_EQ(d.master_text_channel_count(), 2);
    EXPECT_EQ(*d.master_text(1)->read_field_decoded(MasterField::AlbumTitle, CharSet::Value::RisShiftJis).clean_text(),
              "港の灯り");

    ASSERT_EQ(d.areas.size(), 2u);
    // The Track Text runs up to the web link list; the list and the padding behind it are split
    // at the list pointer.
    const std::vector<std::string> stereo_toc = {"area TOC (typed)", "SACDTRL1 (typed)", "SACDTRL2 (typed)",
                                                 "SACD_IGL (typed)", "SACD_ACC",          "SACDTTxt (typed)",
                                                 "area TOC list"};
    EXPECT_EQ(labels(d.areas[0].toc1), stereo_toc);
    EXPECT_EQ(labels(d.areas[0].gap), std::vector<std::string>{"area TOC padding"});
    EXPECT_EQ(d.areas[0].gap[0].size(), 4u * 2048);
    EXPECT_EQ(d.areas[0].toc1[4].size(), 32u * 2048);
    EXPECT_EQ(d.areas[0].toc1[6].size(), 6u * 2048);  // four list sectors and two padding sectors
    EXPECT_EQ(d.areas[0].track_text()->read_entry_field_decoded(1, 0, TrackField::Title, CharSet::Value::RisShiftJis).text,
              "潮見表");
    EXPECT_TRUE(d.areas[1].area_toc()->multichannel);
    EXPECT_EQ(d.areas[1].area_toc()->channel_count, 6);
    ASSERT_TRUE(d.tail);
    EXPECT_EQ(d.tail->size(), 7u * 2048);
}

TEST(Import, NineDeclaredChannelsStillImport) {
    ImageSpec spec = short_spec(1);
    spec.declared_text_channels = 9;
    spec.areas[0].track_text = false;
    auto b = build(spec);
    Disc d = import_ok(b->path);
    ASSERT_FALSE(d.is_not_recognised());
    EXPECT_EQ(d.master_text_channel_count(), 9);
    // Every slot 0..7 lies below the declared count, so all are typed and decoded.
    EXPECT_NE(d.master_text(7), nullptr);
}

TEST(Import, NotRecognisedShapes) {
    struct Case {
        const char* name;
        std::function<void(ImageSpec&)> change;
    };
    const Case cases[] = {
        {"damaged primary master TOC, copies intact", [](ImageSpec& s) { s.defects.damage_primary_master_toc = true; }},
        {"multichannel area before the stereo one",
         [](ImageSpec& s) {
             AreaSpec mch = s.areas[0];
             mch.multichannel = true;
             mch.channel_count = 6;
             mch.frame_format = 0;
             s.areas.push_back(mch);
             s.defects.multichannel_first = true;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ImageSpec spec = short_spec(1);
        c.change(spec);
        auto b = build(spec);
        Disc d = import_ok(b->path);
        EXPECT_TRUE(d.is_not_recognised());
        ASSERT_EQ(d.regions.size(), 1u);
        EXPECT_EQ(d.regions[0].size(), b->image.size);
    }
}

TEST(Import, TruncatedInsideTheAudioIsNotRecognised) {
    auto b = build(short_spec(1));
    const auto& area = b->image.areas[0];
    const std::uint64_t cut = (std::uint64_t{area.audio_start} + area.audio_end) / 2 * 2048;
    ASSERT_TRUE(platform::File::open_read_write(b->path)->set_size(cut).ok());
    Disc d = import_ok(b->path);
    EXPECT_TRUE(d.is_not_recognised());
    EXPECT_EQ(d.regions[0].size(), cut);
}

TEST(Import, SizesAtTheRecognitionLimit) {
    testsupport::TempDir dir;
    for (std::uint64_t size : {1114111ull, 1116161ull, 1114112ull}) {
        std::string path = dir.file("f" + std::to_string(size));
        std::vector<std::uint8_t> bytes(size, 0);
        std::copy_n("SACDMTOC", 8, bytes.begin() + 510 * 2048);
        ASSERT_TRUE(platform::write_whole_file(path, bytes.data(), bytes.size()).ok());
        Disc d = import_ok(path);
        // Even the smallest size passes recognition but has no area, so none is recognised.
        EXPECT_TRUE(d.is_not_recognised()) << size;
        EXPECT_EQ(d.regions[0].size(), size);
    }
}

TEST(Import, UnknownListSignatureStaysUntypedAndSplitsAtListPointers) {
    ImageSpec spec = short_spec(2);
    spec.defects.unknown_list_after_trl2 = true;
    spec.areas[0].weblink_list = image_builder::Bytes(16, 0);
    auto b = build(spec);
    Disc d = import_ok(b->path);
    ASSERT_FALSE(d.is_not_recognised());
    const auto& built = b->image.areas[0];
    // After TRL2 nothing is recognised: padding up to the list pointer, then the list (kind 12).
    EXPECT_EQ(labels(d.areas[0].toc1),
              (std::vector<std::string>{"area TOC (typed)", "SACDTRL1 (typed)", "SACDTRL2 (typed)", "area TOC padding",
                                        "area TOC list"}));
    EXPECT_EQ(d.areas[0].toc1[3].size(), std::uint64_t{built.track_text_ptr + built.track_text_sectors - 3} * 2048);
    EXPECT_EQ(d.areas[0].toc1[4].size(), 4u * 2048);
}

TEST(Import, TrackTextLongerThan32SectorsStaysUntyped) {
    ImageSpec spec = short_spec(1);
    // The sectors behind the last list belong to the Track Text region: 32 + 2 = 34.
    spec.areas[0].track_text_sectors = 32;
    spec.areas[0].toc_padding_sectors = 2;
    auto b = build(spec);
    Disc d = import_ok(b->path);
    ASSERT_FALSE(d.is_not_recognised());
    EXPECT_EQ(d.areas[0].toc1.back().kind_label(), "SACDTTxt");
    EXPECT_EQ(d.areas[0].toc1.back().size(), 34u * 2048);

    spec.areas[0].toc_padding_sectors = 0;
    auto b32 = build(spec);
    EXPECT_EQ(import_ok(b32->path).areas[0].toc1.back().kind_label(), "SACDTTxt (typed)");
}

TEST(Import, MissingFileIsAnIoError) {
    auto d = import_iso("/nonexistent/velmora/disc.iso");
    ASSERT_FALSE(d.ok());
    auto* io = std::get_if<SacdError::Io>(&d.error().value);
    ASSERT_NE(io, nullptr);
    EXPECT_EQ(io->error.kind, platform::IoError::Kind::NotFound);
}
