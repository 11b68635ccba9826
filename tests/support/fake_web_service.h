// The fake web service (fake_web_service.py) for tests of the online clients: started on free
// loopback ports for one scope, answering from routes that a test sets, logging every request.
#pragma once

#include <nlohmann/json.hpp>

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/process.h"

namespace testsupport {

class FakeWebService {
public:
    enum class Scheme { Http, Https };  // Https: a fresh self-signed certificate no store trusts

    // One listener per address (each on a free port), e.g. {"127.0.0.1", "127.0.0.2"}.
    explicit FakeWebService(const std::vector<std::string>& addresses = {"127.0.0.1"}, Scheme scheme = Scheme::Http);
    ~FakeWebService();
    FakeWebService(const FakeWebService&) = delete;
    FakeWebService& operator=(const FakeWebService&) = delete;

    // "http://address:port" (or "https://...") of listener `i`.
    const std::string& base(std::size_t i = 0) const { return bases_.at(i); }

    // {"routes": [...], "fallback": {...}} as fake_web_service.py describes; takes effect at once.
    void set_routes(const nlohmann::json& routes);
    // One route answering `path` with `answer` (route keys other than "path"), 404 for the rest.
    void answer(const std::string& path, nlohmann::json answer);

    // The requests received so far, in order of arrival.
    std::vector<nlohmann::json> requests() const;
    void clear_requests();

    // The service variables pointing every service at listener 0, and the quick request timeout.
    std::map<std::string, std::string> env() const;

private:
    TempDir dir_;
    std::vector<std::string> bases_;
    int pid_ = -1;
};

// The value of header `name` (any letter case) in a logged request, or "" when it is absent.
std::string header(const nlohmann::json& request, const std::string& name);
bool has_header(const nlohmann::json& request, const std::string& name);

// Sets every variable of `env` for one scope (for in-process tests), restoring them after.
class ScopedEnvs {
public:
    explicit ScopedEnvs(const std::map<std::string, std::string>& env);

private:
    std::deque<std::string> names_;  // ScopedEnv keeps a pointer to its name
    std::vector<std::unique_ptr<ScopedEnv>> vars_;
};

}  // namespace testsupport
