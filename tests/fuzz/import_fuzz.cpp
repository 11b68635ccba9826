// import_iso over damaged small images: a valid builder image whose control sectors (from the
// Master TOC on) are XOR-ed with the fuzz input, optionally cut short. Import must never crash
// and must always partition the whole file or call it not recognised.
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/file.h"
#include "sacd/disc.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/disc_regions.h"
#include "tools/image_builder/image_builder.h"

namespace {

const std::vector<std::uint8_t>& base_image() {
    static const std::vector<std::uint8_t> bytes = [] {
        auto spec = image_builder::sample_spec(2, 3);
        spec.areas[0].weblink_list = std::vector<std::uint8_t>(16, 0);
        const std::string path = "/dev/shm/velmora-import-fuzz-base.iso";
        fuzz::check(image_builder::build_image(spec, path).ok());
        auto data = platform::read_whole_file(path);
        fuzz::check(data.ok());
        ::unlink(path.c_str());
        return *data;
    }();
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> image = base_image();
    std::size_t cut = image.size();
    if (size >= 2) {
        // The first two bytes may shorten the image by up to 255 sectors and a few bytes.
        cut -= (std::size_t{data[0]} * 2048 + data[1] % 4) % image.size();
        data += 2;
        size -= 2;
    }
    const std::size_t start = 510 * 2048;
    for (std::size_t i = 0; i < size && start + i < image.size(); ++i) image[start + i] ^= data[i];
    image.resize(cut);

    static const std::string path = "/dev/shm/velmora-import-fuzz-" + std::to_string(::getpid()) + ".iso";
    fuzz::check(platform::write_whole_file(path, image.data(), image.size()).ok());
    auto disc = sacd::import_iso(path);
    fuzz::check(disc.ok());  // the file is there: only structure can be wrong
    fuzz::check(testsupport::total_size(*disc) == image.size());
    return 0;
}
