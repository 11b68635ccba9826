// The human-readable describe report: a short summary, with optional sections for tracks,
// texts, flags and links. Widths and paddings count characters, not bytes.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "sacd/describe/description.h"

namespace sacd::describe {

struct DescribeSections {
    bool tracks = false;
    bool text = false;
    bool flags = false;
    bool links = false;
};

// The whole report. `ms` prints times as MM:SS.mmm instead of MM:SS:FF.
std::string render(const DiscDescription& description, const DescribeSections& sections, bool ms);

// Appends one area's part; `locales` is the description's disc-level list.
void render_area(std::string& out, const AreaDescription& area, std::span<const LocaleDescription> locales,
                 const DescribeSections& sections, bool ms);

// "1" or "0" per flag, first flag first.
std::string fmt_flags(const std::array<bool, 4>& flags);

// A frame count (75 per second) as "MM:SS:FF", or as "MM:SS.mmm" with `ms`.
std::string format_time(std::uint64_t frames, bool ms);

// Unicode scalar values in a UTF-8 text.
std::size_t char_count(std::string_view text);

}  // namespace sacd::describe
