// Runs a program with arguments and captures its standard output, standard error and exit status.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

struct ProcessResult {
    int status = -1;  // exit status, or -1 when the program did not exit normally
    int signal = 0;   // the signal that ended the program, 0 when it exited
    std::string out;
    std::string err;
};

// `env` entries are added to (or replace in) the inherited environment.
ProcessResult run_process(const std::string& program, const std::vector<std::string>& args,
                          const std::map<std::string, std::string>& env = {});

// The project's own binary.
ProcessResult run_cli(const std::vector<std::string>& args, const std::map<std::string, std::string>& env = {});

// A fresh empty folder under the system's temporary folder, removed by the destructor.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Sets (or, given null, removes) an environment variable for one scope, then restores it.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

}  // namespace testsupport
