// Import of a large image: a 4 GiB sparse file laid out as a one-area disc. Import reads only
// the control structures, so its time and memory must not grow with the audio.
#include <sys/resource.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/file.h"
#include "sacd/area_toc.h"
#include "sacd/disc.h"
#include "sacd/isrc_genre_list.h"
#include "sacd/master_text.h"
#include "sacd/master_toc.h"
#include "sacd/track_list.h"

namespace {

constexpr std::uint64_t kImageBytes = std::uint64_t{4} << 30;
constexpr std::uint32_t kS = 2048;

// Writes the disc's control sectors into a sparse file; the audio stays a hole.
std::string make_sparse_image() {
    const std::string path = (std::filesystem::temp_directory_path() / "velmora-import-bench.iso").string();
    auto file = platform::File::create_truncate(path);
    if (!file || !file->set_size(kImageBytes)) return {};
    const std::uint32_t total = static_cast<std::uint32_t>(kImageBytes / kS);
    const std::uint16_t toc_length = 5;
    const std::uint32_t toc1 = 544, audio_start = toc1 + toc_length, toc2 = total - toc_length;
    const std::uint32_t audio_end = toc2 - 1;

    sacd::MasterToc mtoc;
    mtoc.stereo_toc1_lsn = toc1;
    mtoc.stereo_toc2_lsn = toc2;
    mtoc.stereo_toc_length = toc_length;
    mtoc.text_channels[0] = 1;
    mtoc.text_channels[8] = 'e';
    mtoc.text_channels[9] = 'n';
    mtoc.text_channels[10] = 1;
    const auto mtoc_bytes = mtoc.emit();
    sacd::MasterText text;
    (void)text.set_field(sacd::MasterField::AlbumTitle, "Large", sacd::CharSet::Value::Iso646);
    const auto text_bytes = *text.emit();
    for (std::uint32_t group : {510u, 520u, 530u}) {
        (void)file->write_all_at(std::uint64_t{group} * kS, mtoc_bytes.data(), kS);
        (void)file->write_all_at(std::uint64_t{group + 1} * kS, text_bytes.data(), kS);
    }

    sacd::AreaToc toc;
    toc.toc_length = toc_length;
    toc.frame_format = 2;
    toc.channel_count = 2;
    toc.track_count = 1;
    toc.audio_lsn_start = audio_start;
    toc.audio_lsn_end = audio_end;
    const auto toc_bytes = toc.emit();
    const auto trl1 = *sacd::Trl1::make({audio_start}, {audio_end - audio_start + 1}).emit();
    const auto trl2 = *sacd::Trl2::make({sacd::Trl2Entry{sacd::TimeCode{0, 0, 0}, 0}},
                                        {sacd::Trl2Entry{sacd::TimeCode{200, 0, 0}, 0}})
                           .emit();
    const auto igl = *sacd::IsrcGenreList::make(1).emit();
    for (std::uint32_t block : {toc1, toc2}) {
        (void)file->write_all_at(std::uint64_t{block} * kS, toc_bytes.data(), kS);
        (void)file->write_all_at(std::uint64_t{block + 1} * kS, trl1.data(), kS);
        (void)file->write_all_at(std::uint64_t{block + 2} * kS, trl2.data(), kS);
        (void)file->write_all_at(std::uint64_t{block + 3} * kS, igl.data(), 2 * kS);
    }
    return path;
}

void BM_ImportSparse4GiB(benchmark::State& state) {
    static const std::string path = make_sparse_image();
    if (path.empty()) {
        state.SkipWithError("could not create the sparse image");
        return;
    }
    std::size_t regions = 0;
    for (auto _ : state) {
        auto disc = sacd::import_iso(path);
        if (!disc || disc->is_not_recognised()) {
            state.SkipWithError("image not recognised");
            return;
        }
        regions = disc->regions.size() + disc->areas[0].toc1.size() + disc->areas[0].toc2.size();
        benchmark::DoNotOptimize(disc);
    }
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    state.counters["regions"] = static_cast<double>(regions);
    state.counters["image_GiB"] = static_cast<double>(kImageBytes) / (1 << 30);
    state.counters["peak_rss_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}
BENCHMARK(BM_ImportSparse4GiB)->Unit(benchmark::kMillisecond);

}  // namespace
