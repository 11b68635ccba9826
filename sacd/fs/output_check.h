// The check of a finished image that carries a bridge: both trees must name the same files at the
// same sectors, and nothing may point past the end of the image.
#pragma once

#include <cstdint>
#include <string>

#include "sacd/fs/sites.h"
#include "sacd/image.h"

namespace sacd::fs {

// Where a file lies, as the cross-check compares it.
struct FileSpan {
    std::uint32_t start_lsn = 0;  // of the first extent
    std::uint64_t sectors = 0;    // every extent's length rounded up to whole sectors, summed

    bool operator==(const FileSpan&) const = default;
    std::string debug() const;  // "FileSpan { start_lsn: 12, sectors: 3 }"
};

// A text in double quotes with backslash escapes, as messages quote paths.
std::string debug_quoted(const std::string& text);

FsResult<void> verify_transformed_output(ByteSource& source);

}  // namespace sacd::fs
