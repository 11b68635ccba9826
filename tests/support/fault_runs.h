// Runs a program under the fault shim (tests/support/fault_shim.c): stops it with SIGKILL, or
// makes a call fail, at a chosen file-system call, and records the calls it made.
//
// A kill sweep checks what a crash at every point leaves behind:
//
//     testsupport::KillSweep sweep;
//     sweep.program = ...;
//     sweep.calls = "write,sync,rename,create";
//     sweep.prepare = [&] { /* fresh files */ return std::vector<std::string>{...}; };
//     sweep.check = [&](const testsupport::ShimRun& run) { /* the invariant */ };
//     auto points = testsupport::sweep_kill_points(sweep);
//
// `prepare` runs before the undisturbed run that counts the calls and again before every
// killed run; `check` runs after every killed run (run.calls.back() is the call it died at).
#pragma once

#include <cerrno>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/support/process.h"

namespace testsupport {

// One call that the shim counted.
struct ShimCall {
    std::uint64_t index = 0;  // from 1, in call order
    std::string name;         // "write", "pwrite", "fsync", "openat", "mkdir", "rename", ...
    std::string target;       // the file or folder acted on; "from -> to" for a rename
    std::uint64_t bytes = 0;  // bytes asked for by a write or copy

    std::string describe() const;  // "#7 fsync /tmp/x/sectors.bin"
};

enum class ShimAction {
    Kill,      // SIGKILL before the call
    TornKill,  // a write writes the first half of its bytes, then SIGKILL; other calls as Kill
    Fail,      // the call fails with `error`
    FailFrom,  // the call and every later counted call fail with `error`
    Eof,       // a read or copy at that call finds the end of the file
};

struct ShimOptions {
    // Classes: write, sync, rename, copy, create, remove, read; empty: all but read.
    std::string calls;
    std::uint64_t at = 0;  // the call to act on, from 1; 0: none (only the trace)
    ShimAction action = ShimAction::Kill;
    int error = EIO;
};

struct ShimRun {
    ProcessResult result;
    bool killed = false;          // ended by SIGKILL
    std::vector<ShimCall> calls;  // counted calls, up to and including the one acted on
};

ShimRun run_under_shim(const std::string& program, const std::vector<std::string>& args, const ShimOptions& options,
                       const std::map<std::string, std::string>& env = {});

struct KillSweep {
    std::string program;
    std::string calls;         // as in ShimOptions
    bool torn_writes = false;  // also kill in the middle of every write
    std::map<std::string, std::string> env;
    std::function<std::vector<std::string>()> prepare;
    std::function<void(const ShimRun&)> check;
};

struct KillSweepResult {
    ShimRun undisturbed;      // the counting run
    std::uint64_t points = 0;  // calls counted in it: the kill points swept
};

// Counts, then kills at every call 1..points (twice for writes with torn_writes). A run that is
// not killed where the count says it should be is a test failure.
KillSweepResult sweep_kill_points(const KillSweep& sweep);

// The index of the first or last call named `name` (any name when empty) whose target ends
// with `suffix`, or 0 when there is none.
std::uint64_t first_call(const std::vector<ShimCall>& calls, const std::string& name, const std::string& suffix);
std::uint64_t last_call(const std::vector<ShimCall>& calls, const std::string& name, const std::string& suffix);

}  // namespace testsupport
