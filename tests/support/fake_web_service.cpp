#include "tests/support/fake_web_service.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace testsupport {

namespace {

constexpr const char* kPython = "/usr/bin/python3";  // Debian's, whatever PATH puts first

std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

}  // namespace

FakeWebService::FakeWebService(const std::vector<std::string>& addresses, Scheme scheme) {
    set_routes({{"routes", nlohmann::json::array()}});
    std::vector<std::string> args{kPython, VELMORA_SOURCE_DIR "/tests/support/fake_web_service.py",
                                  "--routes", dir_.file("routes.json"), "--log", dir_.file("requests.log")};
    for (const auto& a : addresses) args.insert(args.end(), {"--listen", a});
    if (scheme == Scheme::Https) {
        auto made = run_process("/usr/bin/openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                                                     "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                                                     "-keyout", dir_.file("key.pem"), "-out", dir_.file("cert.pem")});
        if (made.status != 0) throw std::runtime_error("openssl could not make a certificate: " + made.err);
        args.insert(args.end(), {"--tls-cert", dir_.file("cert.pem"), "--tls-key", dir_.file("key.pem")});
    }
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    int out[2];
    if (pipe(out) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    pid_t pid;
    int rc = posix_spawn(&pid, kPython, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (rc != 0) throw std::runtime_error("cannot start the fake web service: " + std::string(strerror(rc)));
    pid_ = pid;

    FILE* lines = fdopen(out[0], "r");
    char buf[512];
    while (fgets(buf, sizeof buf, lines)) {
        std::string line(buf);
        if (!line.empty() && line.back() == '\n') line.pop_back();
        if (line == "READY") break;
        if (line.rfind("LISTEN ", 0) == 0) bases_.push_back(line.substr(7));
    }
    fclose(lines);
    if (bases_.size() != addresses.size()) throw std::runtime_error("the fake web service did not start");
}

FakeWebService::~FakeWebService() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
}

void FakeWebService::set_routes(const nlohmann::json& routes) {
    // Written aside and renamed, so the server never reads half a file.
    const std::string path = dir_.file("routes.json");
    std::ofstream(path + ".partial") << routes.dump();
    std::rename((path + ".partial").c_str(), path.c_str());
}

void FakeWebService::answer(const std::string& path, nlohmann::json answer) {
    answer["path"] = path;
    set_routes({{"routes", {answer}}});
}

std::vector<nlohmann::json> FakeWebService::requests() const {
    std::vector<nlohmann::json> out;
    std::ifstream log(dir_.file("requests.log"));
    for (std::string line; std::getline(log, line);)
        if (!line.empty()) out.push_back(nlohmann::json::parse(line));
    return out;
}

void FakeWebService::clear_requests() { std::ofstream(dir_.file("requests.log"), std::ios::trunc); }

std::map<std::string, std::string> FakeWebService::env() const {
    std::map<std::string, std::string> env;
    for (const char* name : {"VELMORA_DISCOGS_API", "VELMORA_DISCOGS_WEB", "VELMORA_MUSICBRAINZ_API",
                             "VELMORA_MUSICBRAINZ_WEB", "VELMORA_COVERART_API", "VELMORA_COVERART_IMAGES"}) {
        env[name] = base(0);
    }
    env["VELMORA_HTTP_TIMEOUT_MS"] = "2000";
    env["no_proxy"] = "*";  // a proxy set for the machine must not stand between
    return env;
}

std::string header(const nlohmann::json& request, const std::string& name) {
    for (const auto& h : request.at("headers"))
        if (lower(h.at(0).get<std::string>()) == lower(name)) return h.at(1).get<std::string>();
    return "";
}

bool has_header(const nlohmann::json& request, const std::string& name) {
    for (const auto& h : request.at("headers"))
        if (lower(h.at(0).get<std::string>()) == lower(name)) return true;
    return false;
}

ScopedEnvs::ScopedEnvs(const std::map<std::string, std::string>& env) {
    for (const auto& [k, v] : env) {
        names_.push_back(k);
        vars_.push_back(std::make_unique<ScopedEnv>(names_.back().c_str(), v.c_str()));
    }
}

}  // namespace testsupport
