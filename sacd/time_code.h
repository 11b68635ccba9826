// Disc time codes: minutes, seconds and frames at 75 frames per second, three bytes on disc.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace sacd {

inline constexpr std::uint32_t kFramesPerSecond = 75;
inline constexpr std::uint32_t kFramesPerMinute = 60 * kFramesPerSecond;  // 4500

struct TimeCode {
    std::uint8_t minutes = 0;
    std::uint8_t seconds = 0;
    std::uint8_t frames = 0;

    // FF FF FF, the stored form of "no time".
    static constexpr TimeCode none() { return TimeCode{0xFF, 0xFF, 0xFF}; }

    // The three bytes at `p` (minutes, seconds, frames); the caller checks bounds.
    static TimeCode read(const std::uint8_t* p) { return TimeCode{p[0], p[1], p[2]}; }
    void write(std::uint8_t* p) const {
        p[0] = minutes;
        p[1] = seconds;
        p[2] = frames;
    }

    bool is_none() const { return minutes == 0xFF && seconds == 0xFF && frames == 0xFF; }

    // minutes x 4500 + seconds x 75 + frames, taken as stored (no range check); 0 for no time.
    std::uint64_t to_frames() const {
        if (is_none()) return 0;
        return std::uint64_t{minutes} * kFramesPerMinute + std::uint64_t{seconds} * kFramesPerSecond + frames;
    }

    // The time code of a frame count, or nothing when the minutes would not fit in a byte.
    static std::optional<TimeCode> from_frames(std::uint64_t total) {
        if (total / kFramesPerMinute > 0xFF) return std::nullopt;
        TimeCode t{static_cast<std::uint8_t>(total / kFramesPerMinute),
                   static_cast<std::uint8_t>(total % kFramesPerMinute / kFramesPerSecond),
                   static_cast<std::uint8_t>(total % kFramesPerSecond)};
        return t;
    }

    // "MM:SS:FF" with at least two digits per number, or "--:--:--" for no time.
    std::string to_string() const {
        if (is_none()) return "--:--:--";
        auto two = [](std::uint8_t v) { return v < 10 ? "0" + std::to_string(v) : std::to_string(v); };
        return two(minutes) + ":" + two(seconds) + ":" + two(frames);
    }

    friend bool operator==(const TimeCode&, const TimeCode&) = default;
};

}  // namespace sacd
