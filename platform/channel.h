// A bounded multi-producer channel: senders wait while it is full, receivers while it is empty.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>

namespace platform {

template <class T>
class BoundedChannel {
public:
    explicit BoundedChannel(std::size_t capacity) : capacity_(capacity ? capacity : 1) {}

    // Returns false when the channel was closed (the value is dropped).
    bool send(T value) {
        std::unique_lock lock(mutex_);
        not_full_.wait(lock, [&] { return closed_ || items_.size() < capacity_; });
        if (closed_) return false;
        items_.push_back(std::move(value));
        not_empty_.notify_one();
        return true;
    }

    // Waits for a value; nothing once the channel is closed and drained.
    std::optional<T> receive() {
        std::unique_lock lock(mutex_);
        not_empty_.wait(lock, [&] { return closed_ || !items_.empty(); });
        if (items_.empty()) return std::nullopt;
        T value = std::move(items_.front());
        items_.pop_front();
        not_full_.notify_one();
        return value;
    }

    void close() {
        std::lock_guard lock(mutex_);
        closed_ = true;
        not_empty_.notify_all();
        not_full_.notify_all();
    }

private:
    std::size_t capacity_;
    std::mutex mutex_;
    std::condition_variable not_full_, not_empty_;
    std::deque<T> items_;
    bool closed_ = false;
};

}  // namespace platform
