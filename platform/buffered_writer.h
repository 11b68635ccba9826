// Buffered sequential writing to a file that remembers its first error, so that a format
// writer can emit field after field and check once at the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/file.h"

namespace platform {

class BufferedWriter {
public:
    explicit BufferedWriter(File& file, std::size_t capacity = std::size_t{1} << 20);

    void write(const void* data, std::size_t n);
    void write_byte(std::uint8_t b) { write(&b, 1); }
    void write_zeros(std::uint64_t n);

    // Bytes handed to the writer so far, buffered or not.
    std::uint64_t position() const { return position_; }
    bool failed() const { return error_.has_value(); }

    // Writes out what is buffered; returns the first error of the writer's life, if any.
    IoResult<void> flush();

private:
    File& file_;
    std::vector<std::uint8_t> buffer_;
    std::size_t capacity_;
    std::uint64_t position_ = 0;
    std::optional<IoError> error_;
};

}  // namespace platform
