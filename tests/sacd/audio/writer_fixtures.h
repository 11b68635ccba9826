// Helpers shared by the container writer tests: byte fixtures assembled field by field,
// writing through a real file and a buffered writer, and test signals.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <numbers>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "platform/buffered_writer.h"
#include "platform/bytes.h"
#include "platform/file.h"
#include "sacd/audio/container_error.h"
#include "sacd/audio/dsd_frame.h"
#include "tests/support/audio_files.h"
#include "tests/support/process.h"
#include "tests/support/same_bytes.h"

namespace writer_test {

using Bytes = std::vector<std::uint8_t>;
using WriteResult = platform::Result<void, sacd::audio::ContainerError>;
using testsupport::read_file;
using testsupport::same_bytes;

// Appends fields of a fixture in the order of a layout table.
struct Fixture {
    Bytes bytes;
    Fixture& id(std::string_view s) { bytes.insert(bytes.end(), s.begin(), s.end()); return *this; }
    Fixture& u8(std::uint8_t v) { bytes.push_back(v); return *this; }
    Fixture& be(std::uint64_t v, int width) {
        for (int i = width - 1; i >= 0; --i) bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        return *this;
    }
    Fixture& le(std::uint64_t v, int width) {
        for (int i = 0; i < width; ++i) bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        return *this;
    }
    Fixture& raw(const Bytes& b) { bytes.insert(bytes.end(), b.begin(), b.end()); return *this; }
    Fixture& zeros(std::size_t n) { bytes.insert(bytes.end(), n, 0); return *this; }
};

// Runs `write` on a buffered writer over a new file at `path`, flushes it, and returns the result.
inline WriteResult write_file(const std::string& path,
                              const std::function<WriteResult(platform::BufferedWriter&)>& write) {
    auto file = platform::File::create_truncate(path);
    EXPECT_TRUE(file.ok()) << path;
    platform::BufferedWriter out(*file, 8192);
    WriteResult result = write(out);
    if (result.ok()) {
        auto flushed = out.flush();
        EXPECT_TRUE(flushed.ok());
    }
    (void)file->close();
    return result;
}

// Runs `write` into a temporary file and returns what reached the file.
inline Bytes written_bytes(const std::function<WriteResult(platform::BufferedWriter&)>& write,
                           WriteResult* result = nullptr) {
    testsupport::TempDir dir;
    WriteResult r = write_file(dir.file("out.bin"), write);
    if (result) *result = std::move(r);
    else EXPECT_TRUE(r.ok()) << r.error().message();
    return read_file(dir.file("out.bin"));
}

// First-order sigma-delta modulation of a sine, one bit per sample, earliest sample in the most
// significant bit: enough of a real DSD signal for a decoder to find the tone again.
class SigmaDelta {
public:
    SigmaDelta(double frequency, double amplitude) : step_(2 * std::numbers::pi * frequency / 2822400.0), amp_(amplitude) {}
    std::uint8_t next_byte() {
        std::uint8_t byte = 0;
        for (int bit = 7; bit >= 0; --bit) {
            const double x = amp_ * std::sin(phase_);
            phase_ += step_;
            const double y = integrator_ >= 0 ? 1.0 : -1.0;
            if (y > 0) byte |= static_cast<std::uint8_t>(1u << bit);
            integrator_ += x - y;
        }
        return byte;
    }

private:
    double step_, amp_;
    double phase_ = 0, integrator_ = 0;
};

// A frame source over prepared frames; counts in `pulls` how often it was asked.
template <class Frame>
std::function<WriteResult(Frame&)> source_over(const std::vector<Frame>& frames, std::size_t* pulls) {
    auto next = std::make_shared<std::size_t>(0);
    return [&frames, next, pulls](Frame& out) -> WriteResult {
        if (pulls) ++*pulls;
        if (*next >= frames.size())
            return platform::err(sacd::audio::ContainerError(
                sacd::audio::container_errors::SourceEndedEarly{frames.size() + 1, frames.size()}));
        out = frames[(*next)++];
        return {};
    };
}

// A planar frame source over prepared frames.
inline sacd::audio::DsdFrameSource frames_from(const std::vector<sacd::audio::DsdFrame>& frames,
                                               std::size_t* pulls = nullptr) {
    return source_over(frames, pulls);
}

// A byte-vector frame source over prepared frames.
inline sacd::audio::ByteFrameSource bytes_from(const std::vector<Bytes>& frames, std::size_t* pulls = nullptr) {
    return source_over(frames, pulls);
}

// Planar frames where byte k of channel c of frame f is (f * 31 + c * 7 + k) mod 256: every
// position distinct enough that a misplaced or unreversed byte shows.
inline std::vector<sacd::audio::DsdFrame> counting_frames(std::size_t count, std::uint8_t channels) {
    std::vector<sacd::audio::DsdFrame> frames(count);
    for (std::size_t f = 0; f < count; ++f) {
        frames[f].channel_count = channels;
        frames[f].channels.resize(channels);
        for (std::uint8_t c = 0; c < channels; ++c) {
            auto& ch = frames[f].channels[c];
            ch.resize(sacd::audio::kFrameBytesPerChannel);
            for (std::size_t k = 0; k < ch.size(); ++k) ch[k] = static_cast<std::uint8_t>(f * 31 + c * 7 + k);
        }
    }
    return frames;
}

}  // namespace writer_test
