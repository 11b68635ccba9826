#include "platform/system.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>
#include <unistd.h>

namespace platform {

std::vector<std::string> arguments(int argc, char** argv) {
    // Linux hands the program its arguments as bytes that are UTF-8 in every supported locale.
    return std::vector<std::string>(argv, argv + argc);
}

std::optional<std::string> env(const char* name) {
    const char* v = std::getenv(name);
    if (!v) return std::nullopt;
    return std::string(v);
}

Path app_data_dir() {
    if (auto v = env("APPDATA"); v && !v->empty()) return Path(*v);
    if (auto v = env("XDG_CONFIG_HOME"); v && !v->empty()) return Path(*v);
    if (auto v = env("HOME"); v && !v->empty()) return Path(*v) / ".config";
    return Path(".config");
}

std::uint64_t monotonic_ns() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

void sleep_ns(std::uint64_t ns) { std::this_thread::sleep_for(std::chrono::nanoseconds(ns)); }

UtcTime utc_now() {
    struct timespec ts;
    ::clock_gettime(CLOCK_REALTIME, &ts);
    struct tm tm;
    ::gmtime_r(&ts.tv_sec, &tm);
    UtcTime t;
    t.year = tm.tm_year + 1900;
    t.month = tm.tm_mon + 1;
    t.day = tm.tm_mday;
    t.hour = tm.tm_hour;
    t.minute = tm.tm_min;
    t.second = tm.tm_sec;
    t.nanosecond = static_cast<std::uint32_t>(ts.tv_nsec);
    return t;
}

unsigned logical_processor_count() {
    unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : n;
}

void write_stdout(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void write_stderr(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

}  // namespace platform
