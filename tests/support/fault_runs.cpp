#include "tests/support/fault_runs.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace testsupport {

namespace {

const char* action_name(ShimAction a) {
    switch (a) {
        case ShimAction::Kill: return "kill";
        case ShimAction::TornKill: return "torn";
        case ShimAction::Fail: return "fail";
        case ShimAction::FailFrom: return "fail-from";
        case ShimAction::Eof: return "eof";
    }
    return "kill";
}

std::vector<ShimCall> read_trace(const std::string& path) {
    std::vector<ShimCall> calls;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        // "<n> <name> <target> <bytes>"; the target may hold blanks.
        auto first = line.find(' ');
        auto second = line.find(' ', first + 1);
        auto last = line.rfind(' ');
        if (first == std::string::npos || second == std::string::npos || last <= second) continue;
        ShimCall c;
        c.index = std::stoull(line.substr(0, first));
        c.name = line.substr(first + 1, second - first - 1);
        c.target = line.substr(second + 1, last - second - 1);
        c.bytes = std::stoull(line.substr(last + 1));
        calls.push_back(std::move(c));
    }
    return calls;
}

bool is_write(const ShimCall& c) { return c.name == "write" || c.name == "pwrite"; }

}  // namespace

std::string ShimCall::describe() const {
    std::ostringstream s;
    s << '#' << index << ' ' << name << ' ' << target;
    if (bytes) s << " (" << bytes << " bytes)";
    return s.str();
}

ShimRun run_under_shim(const std::string& program, const std::vector<std::string>& args, const ShimOptions& options,
                       const std::map<std::string, std::string>& env) {
    std::string trace = (std::filesystem::temp_directory_path() / "velmora-shim-XXXXXX").string();
    int fd = mkstemp(trace.data());
    if (fd < 0) throw std::runtime_error("mkstemp");
    close(fd);

    auto full_env = env;
    full_env["LD_PRELOAD"] = VELMORA_FAULT_SHIM;
    // The shim is not instrumented; a sanitizer runtime must not insist on being loaded first.
    std::string asan = std::getenv("ASAN_OPTIONS") ? std::getenv("ASAN_OPTIONS") : "";
    full_env["ASAN_OPTIONS"] = asan + (asan.empty() ? "" : ":") + "verify_asan_link_order=0";
    full_env["VELMORA_SHIM_CALLS"] = options.calls;
    full_env["VELMORA_SHIM_AT"] = std::to_string(options.at);
    full_env["VELMORA_SHIM_ACTION"] = action_name(options.action);
    full_env["VELMORA_SHIM_ERRNO"] = std::to_string(options.error);
    full_env["VELMORA_SHIM_TRACE"] = trace;

    ShimRun run;
    run.result = run_process(program, args, full_env);
    run.killed = run.result.signal == SIGKILL;
    run.calls = read_trace(trace);
    ::unlink(trace.c_str());
    return run;
}

KillSweepResult sweep_kill_points(const KillSweep& sweep) {
    KillSweepResult out;
    out.undisturbed = run_under_shim(sweep.program, sweep.prepare(), ShimOptions{sweep.calls}, sweep.env);
    out.points = out.undisturbed.calls.size();
    for (const auto& call : out.undisturbed.calls) {
        std::vector<ShimAction> actions{ShimAction::Kill};
        if (sweep.torn_writes && is_write(call) && call.bytes > 1) actions.push_back(ShimAction::TornKill);
        for (auto action : actions) {
            SCOPED_TRACE(std::string(action == ShimAction::TornKill ? "torn " : "killed at ") + call.describe());
            auto run = run_under_shim(sweep.program, sweep.prepare(), ShimOptions{sweep.calls, call.index, action},
                                      sweep.env);
            EXPECT_TRUE(run.killed) << "status " << run.result.status << ", stderr: " << run.result.err;
            if (!run.calls.empty()) {
                EXPECT_EQ(run.calls.back().index, call.index);
                EXPECT_EQ(run.calls.back().name, call.name);
            }
            sweep.check(run);
        }
    }
    return out;
}

std::uint64_t first_call(const std::vector<ShimCall>& calls, const std::string& name, const std::string& suffix) {
    for (const auto& c : calls)
        if ((name.empty() || c.name == name) && c.target.ends_with(suffix)) return c.index;
    return 0;
}

std::uint64_t last_call(const std::vector<ShimCall>& calls, const std::string& name, const std::string& suffix) {
    for (auto it = calls.rbegin(); it != calls.rend(); ++it)
        if ((name.empty() || it->name == name) && it->target.ends_with(suffix)) return it->index;
    return 0;
}

}  // namespace testsupport
