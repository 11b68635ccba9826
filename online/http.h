// Blocking HTTP GET over libcurl: one agent per web service, created on first use and kept for
// the life of the process. The only code besides the platform layer that reaches the network.
#pragma once

#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/result.h"

namespace online::http {

// Bodies longer than this are refused.
inline constexpr std::size_t kMaxBodyBytes = 10 * 1024 * 1024;
inline constexpr long kConnectTimeoutMs = 10000;

struct Response {
    long status = 0;
    std::string body;  // the bytes as received, at most kMaxBodyBytes
    // Set when the body could not be read whole (too long, the connection broke, the time ran
    // out): the reading error's own description.
    std::optional<std::string> read_error;
};

// A request that brought no usable response.
struct Failure {
    enum class Kind {
        Tls,        // the TLS layer could not be set up
        Transport,  // no response: connection, name resolution, TLS handshake, timeout
        Status,     // a response whose status is not a success (2xx); redirects are not followed
    };
    Kind kind = Kind::Transport;
    long status = 0;          // Status: the HTTP status
    std::string description;  // the library's description of the failure
};

// One service's connection state. Requests through one agent run one at a time; the agent keeps
// its connections open between them.
class Agent {
public:
    Agent();
    ~Agent();
    Agent(const Agent&) = delete;
    Agent& operator=(const Agent&) = delete;

    // GET `url` with the given header lines ("Name: value"). No redirect is followed; the
    // system's certificate store checks TLS peers.
    platform::Result<Response, Failure> get(const std::string& url, const std::vector<std::string>& headers,
                                            long timeout_ms);
    // Why the agent could not be set up, or null when it is ready.
    const std::string* init_error() const { return handle_ ? nullptr : &init_error_; }

private:
    std::mutex mutex_;
    void* handle_ = nullptr;  // CURL*
    std::string init_error_;
};

// The body as text: invalid UTF-8 sequences become U+FFFD; a body that was not read whole gives
// its reading error.
platform::Result<std::string, std::string> body_text(Response response);

}  // namespace online::http
