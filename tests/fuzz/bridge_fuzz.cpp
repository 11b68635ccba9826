// The ISO 9660 and UDF readers and the bridge transform over damaged builder bridges. The input is
// a flag byte and then 4-byte edits: a 24-bit index into the bridge's sectors (head structures and
// the tail) and a byte XOR-ed into it. Flag bit 0 re-seals every UDF tag after the edits (so that
// damage gets past the checksums), bit 1 picks a base image with two areas and multi-extent files,
// bit 2 marks the moved region as resized, bits 3-7 are the shift of everything behind the master
// area. Nothing may crash; a transform that succeeds on an image that passes the output check, by a
// pure shift, must give an image that passes it too.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/bytes.h"
#include "platform/file.h"
#include "sacd/fs/output_check.h"
#include "sacd/fs/transform.h"
#include "sacd/fs/udf.h"
#include "tests/fuzz/fuzz_support.h"
#include "tools/image_builder/image_builder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::uint64_t S = 2048;
constexpr std::uint64_t kTailSectors = 3;

Bytes build(bool two_areas) {
    auto spec = image_builder::sample_spec(1, 4);
    if (two_areas) {
        image_builder::AreaSpec mch = spec.areas[0];
        mch.multichannel = true;
        mch.channel_count = 6;
        mch.frame_format = 0;
        spec.areas.push_back(mch);
    }
    spec.tail_sectors = kTailSectors;
    spec.bridge = image_builder::BridgeSpec{2, two_areas ? 8192u : 0u};
    const std::string path = "/dev/shm/velmora-bridge-fuzz-" + std::to_string(::getpid()) + ".iso";
    fuzz::check(image_builder::build_image(spec, path).ok());
    auto data = platform::read_whole_file(path);
    fuzz::check(data.ok());
    ::unlink(path.c_str());
    return *data;
}

const Bytes& base(bool two_areas) {
    static const Bytes one = build(false), two = build(true);
    return two_areas ? two : one;
}

// The sectors that hold bridge structures: descriptors and directories, the UDF sequences and
// integrity sequence, the anchor and partition, the tail.
std::vector<std::uint64_t> bridge_sectors(std::uint64_t sectors) {
    std::vector<std::uint64_t> out;
    for (std::uint64_t s = 16; s < 66; ++s) out.push_back(s);
    for (std::uint64_t s = 256; s < 280; ++s) out.push_back(s);
    for (std::uint64_t s = sectors - kTailSectors; s < sectors; ++s) out.push_back(s);
    return out;
}

void reseal(Bytes& b, std::uint64_t at) {
    const std::uint16_t crc_length = platform::read_u16_le(b.data() + at + 10);
    if (at + 16 + crc_length > b.size()) return;
    platform::write_u16_le(b.data() + at + 8, sacd::fs::descriptor_crc({b.data() + at + 16, crc_length}));
    b[at + 4] = sacd::fs::tag_checksum({b.data() + at, 16});
}

// Re-seals the tag at each sector start and every FID that follows one in its sector.
void reseal_all(Bytes& b, const std::vector<std::uint64_t>& sectors) {
    for (std::uint64_t s : sectors) {
        if (s < 32) continue;
        std::uint64_t at = s * S;
        const std::uint64_t end = at + S;
        if (platform::read_u16_le(b.data() + at) == 0) continue;
        if (platform::read_u16_le(b.data() + at) != 257) {
            reseal(b, at);
            continue;
        }
        while (at + 38 <= end && platform::read_u16_le(b.data() + at) == 257) {
            reseal(b, at);
            at += (38 + platform::read_u16_le(b.data() + at + 36) + b[at + 19] + 3) / 4 * 4;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t flags = data[0];
    // One working copy per base image, of which only the bridge sectors change: restoring those is
    // much cheaper than copying the whole image for every input.
    const Bytes& pristine = base((flags & 2) != 0);
    static Bytes work_one = base(false), work_two = base(true);
    Bytes& image = (flags & 2) ? work_two : work_one;
    const std::uint64_t sectors = image.size() / S;
    const auto places = bridge_sectors(sectors);
    for (std::uint64_t s : places)
        std::copy_n(pristine.begin() + static_cast<std::ptrdiff_t>(s * S), S, image.begin() + static_cast<std::ptrdiff_t>(s * S));
    for (std::size_t i = 1; i + 4 <= size; i += 4) {
        const std::uint64_t index = ((std::uint64_t{data[i]} << 16) | (data[i + 1] << 8) | data[i + 2]) % (places.size() * S);
        image[places[index / S] * S + index % S] ^= data[i + 3];
    }
    if (flags & 1) reseal_all(image, places);

    sacd::ByteSource source = sacd::ByteSource::memory(image);
    const bool source_consistent = sacd::fs::verify_transformed_output(source).ok();
    (void)sacd::fs::classify(source);
    auto sites = sacd::fs::collect_bridge_sites(source);
    if (!sites) return 0;

    // Everything behind the master area moves `shift` sectors later.
    const std::uint64_t shift = flags >> 3;
    const bool resized = (flags & 4) != 0;
    const sacd::fs::LsnMap map{{{0, 0, 544, false}, {544, 544 + shift, sectors - 544, resized}}, shift};
    const sacd::fs::Window head{0, 510 * S}, tail{(sectors - kTailSectors) * S, kTailSectors * S};
    auto t = sacd::fs::transform_bridge_windows(source, *sites, map, head, tail);
    if (!t) return 0;
    fuzz::check(t->head.size() == head.length);
    fuzz::check(t->fs_tail_end + t->padding == image.size());
    fuzz::check(t->fs_tail.size() == t->fs_tail_end - tail.offset);
    if (resized || !source_consistent) return 0;

    Bytes relaid(t->head);
    relaid.insert(relaid.end(), image.begin() + static_cast<std::ptrdiff_t>(head.length),
                  image.begin() + static_cast<std::ptrdiff_t>(544 * S));
    relaid.resize(relaid.size() + shift * S, 0);
    relaid.insert(relaid.end(), image.begin() + static_cast<std::ptrdiff_t>(544 * S),
                  image.begin() + static_cast<std::ptrdiff_t>(tail.offset));
    relaid.insert(relaid.end(), t->fs_tail.begin(), t->fs_tail.end());
    relaid.insert(relaid.end(), image.begin() + static_cast<std::ptrdiff_t>(t->fs_tail_end), image.end());
    sacd::ByteSource out = sacd::ByteSource::memory(relaid);
    fuzz::check(sacd::fs::verify_transformed_output(out).ok());
    return 0;
}
