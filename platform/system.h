// Process services: arguments, environment, clocks, processor count, console output.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"

namespace platform {

// The command-line arguments as UTF-8 strings, element 0 being the program path.
std::vector<std::string> arguments(int argc, char** argv);

// An environment variable's value, or nothing when it is not set.
std::optional<std::string> env(const char* name);

// The per-user application-data folder: APPDATA when set, else XDG_CONFIG_HOME, else ~/.config.
Path app_data_dir();

// Monotonic time in nanoseconds from an arbitrary start; only differences mean anything.
std::uint64_t monotonic_ns();

// Blocks the calling thread for at least `ns` nanoseconds.
void sleep_ns(std::uint64_t ns);

struct UtcTime {
    int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
    std::uint32_t nanosecond = 0;
};
UtcTime utc_now();

unsigned logical_processor_count();

// Console output. Everything the program prints goes through these two.
void write_stdout(std::string_view text);
void write_stderr(std::string_view text);

}  // namespace platform
