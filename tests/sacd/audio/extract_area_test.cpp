// The pipeline as a library: what it tells its observer, and a run cancelled in the middle of a track.
#include "sacd/audio/extract.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>
#include <vector>

#include "i18n/i18n.h"
#include "sacd/disc.h"
#include "tests/support/process.h"
#include "tools/image_builder/image_builder.h"

using namespace sacd::audio;
namespace fs = std::filesystem;

TEST(ExtractArea, CancelledRunRemovesTheTrackItWasWriting) {
    testsupport::TempDir dir;
    image_builder::ImageSpec spec = image_builder::sample_spec(2, 3);
    spec.areas[0].audio_period_frames = 1;
    const std::string iso = dir.file("disc.iso");
    ASSERT_TRUE(image_builder::build_image(spec, iso).ok());
    auto disc = sacd::import_iso(iso);
    ASSERT_TRUE(disc.ok());
    const ExtractTags tags = ExtractTags::build(sacd::describe::DiscDescription::from_disc(*disc), disc->master_toc());
    auto file = platform::File::open_read(iso);
    ASSERT_TRUE(file.ok());
    const auto size = file->size();
    ASSERT_TRUE(size.ok());
    sacd::ByteSource source = sacd::ByteSource::file(std::move(file).value(), *size);

    ExtractOptions options;
    options.output_folder = dir.file("out");
    options.format = OutputFormat::Dsdiff;
    const platform::Path album = album_folder(options, tags, iso);
    std::vector<std::tuple<std::size_t, int, std::size_t>> started;
    int frames_asked = 0;
    ExtractObserver observer;
    observer.track_started = [&](std::size_t position, std::uint8_t number, std::size_t selected) {
        started.emplace_back(position, number, selected);
    };
    // Track 1 has three frames; the run is cancelled before the second frame of track 2.
    observer.cancelled = [&] { return ++frames_asked > 4; };

    i18n::LANG = false;
    auto r = extract_area(source, *disc, 0, options, tags, album, observer);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error(), "track 2: write failed: container write I/O error: extract cancelled");
    EXPECT_EQ(frames_asked, 5);
    EXPECT_EQ(started, (std::vector<std::tuple<std::size_t, int, std::size_t>>{{1, 1, 2}, {2, 2, 2}}));
    const fs::path folder = fs::path(album) / "Stereo [DFF-DSD]";
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"01 - Tide Chart.dff"});

    // Without a cancel check the run completes.
    observer.cancelled = nullptr;
    options.overwrite = true;
    auto done = extract_area(source, *disc, 0, options, tags, album, observer);
    ASSERT_TRUE(done.ok()) << done.error();
    EXPECT_EQ(done->files, 2u);
    EXPECT_EQ(done->area_folder, folder);

    auto missing = extract_area(source, *disc, 5, options, tags, album, observer);
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error(), "no area with index 5");
}
