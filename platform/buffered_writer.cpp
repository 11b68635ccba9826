#include "platform/buffered_writer.h"

#include <algorithm>
#include <cstring>

namespace platform {

BufferedWriter::BufferedWriter(File& file, std::size_t capacity) : file_(file), capacity_(capacity ? capacity : 1) {
    buffer_.reserve(capacity_);
}

void BufferedWriter::write(const void* data, std::size_t n) {
    position_ += n;
    if (error_) return;
    auto* in = static_cast<const std::uint8_t*>(data);
    if (buffer_.size() + n > capacity_) {
        if (!flush()) return;
        if (n >= capacity_) {
            auto put = file_.write_all(in, n);
            if (!put) error_ = put.error();
            return;
        }
    }
    buffer_.insert(buffer_.end(), in, in + n);
}

void BufferedWriter::write_zeros(std::uint64_t n) {
    static const std::uint8_t zeros[4096] = {};
    while (n > 0) {
        std::size_t step = static_cast<std::size_t>(std::min<std::uint64_t>(n, sizeof zeros));
        write(zeros, step);
        n -= step;
    }
}

IoResult<void> BufferedWriter::flush() {
    if (!error_ && !buffer_.empty()) {
        auto put = file_.write_all(buffer_.data(), buffer_.size());
        if (!put) error_ = put.error();
    }
    buffer_.clear();
    if (error_) return err(*error_);
    return {};
}

}  // namespace platform
