// Arbitrary bytes as a DST frame: the decoder must return a status, never read or write out of
// bounds. The first two bytes choose the channel count and the frame length, so that short
// frames and every channel count are reached.
#include <cstddef>
#include <cstdint>
#include <span>

#include "dst/dst_decoder.h"
#include "dst/dst_frame.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const int channels = 1 + data[0] % 6;
    // Mostly the standard length, sometimes a short one (down to a single byte).
    const int frame_length = (data[1] & 0x80) ? 1 + (data[1] & 0x7F) * 37 % 4704 : 4704;
    std::span<const std::uint8_t> frame(data + 2, size - 2);

    static std::uint8_t buffers[6][4704];
    std::uint8_t* out[6] = {buffers[0], buffers[1], buffers[2], buffers[3], buffers[4], buffers[5]};
    const int rc = dst_decode_frame_c(frame.data(), frame.size(), channels, frame_length, out);
    fuzz::check(rc <= 0 && rc >= DST_ERR_ADATA_TOO_LONG);

    dst::PlanarChannels planar;
    (void)dst::decode_frame(frame, static_cast<std::uint32_t>(channels), static_cast<std::uint32_t>(frame_length),
                            planar);
    return 0;
}
