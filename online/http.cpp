#include "online/http.h"

#include <curl/curl.h>

#include <algorithm>

#include "i18n/i18n.h"
#include "online/messages.h"
#include "online/text.h"

namespace online::http {

namespace {

// curl_global_init is not safe to run twice at once; every agent goes through this.
CURLcode global_init() {
    static const CURLcode code = curl_global_init(CURL_GLOBAL_DEFAULT);
    return code;
}

struct Transfer {
    std::string body;
    bool too_big = false;
    std::string reason;  // the reason phrase of the last status line
};

std::size_t on_body(char* data, std::size_t size, std::size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const std::size_t n = size * count;
    if (t->body.size() + n > kMaxBodyBytes) {
        t->too_big = true;
        return 0;  // ends the transfer with CURLE_WRITE_ERROR
    }
    t->body.append(data, n);
    return n;
}

std::size_t on_header(char* data, std::size_t size, std::size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const std::size_t n = size * count;
    std::string_view line(data, n);
    if (line.starts_with("HTTP/")) {
        // "HTTP/1.1 404 Not Found": the reason is what follows the code.
        auto code_at = line.find(' ');
        auto reason_at = code_at == std::string_view::npos ? code_at : line.find(' ', code_at + 1);
        t->reason = reason_at == std::string_view::npos ? "" : std::string(trim(line.substr(reason_at + 1)));
    }
    return n;
}

std::string status_description(long status, const std::string& reason) {
    std::string text = std::to_string(status);
    if (!reason.empty()) text += " " + reason;
    return i18n::trf(msg::kStatusDescription, {{"status", text}});
}

}  // namespace

Agent::Agent() {
    if (CURLcode code = global_init(); code != CURLE_OK) {
        init_error_ = curl_easy_strerror(code);
        return;
    }
    handle_ = curl_easy_init();
    if (!handle_) init_error_ = "curl_easy_init failed";
}

Agent::~Agent() {
    if (handle_) curl_easy_cleanup(static_cast<CURL*>(handle_));
}

platform::Result<Response, Failure> Agent::get(const std::string& url, const std::vector<std::string>& headers,
                                               long timeout_ms) {
    if (!handle_) return platform::err(Failure{Failure::Kind::Tls, 0, init_error_});
    std::lock_guard lock(mutex_);
    CURL* h = static_cast<CURL*>(handle_);
    curl_easy_reset(h);  // keeps the open connections

    curl_slist* header_list = nullptr;
    for (const auto& line : headers) header_list = curl_slist_append(header_list, line.c_str());
    Transfer transfer;
    char error_text[CURL_ERROR_SIZE] = {};

    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, std::min(kConnectTimeoutMs, timeout_ms));
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, timeout_ms);
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, header_list);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, on_body);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, on_header);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error_text);

    const CURLcode code = curl_easy_perform(h);
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, nullptr);
    curl_slist_free_all(header_list);

    const std::string description = error_text[0] ? std::string(error_text) : std::string(curl_easy_strerror(code));
    if (status == 0) {
        const bool tls_setup = code == CURLE_SSL_ENGINE_INITFAILED || code == CURLE_SSL_ENGINE_NOTFOUND ||
                               code == CURLE_SSL_CERTPROBLEM || code == CURLE_SSL_CACERT_BADFILE;
        return platform::err(Failure{tls_setup ? Failure::Kind::Tls : Failure::Kind::Transport, 0, description});
    }
    if (status < 200 || status > 299) {
        return platform::err(Failure{Failure::Kind::Status, status, status_description(status, transfer.reason)});
    }
    Response response{status, std::move(transfer.body), std::nullopt};
    if (transfer.too_big) {
        response.read_error = i18n::tr(msg::kResponseTooBig);
    } else if (code != CURLE_OK) {
        response.read_error = description;
    }
    return response;
}

platform::Result<std::string, std::string> body_text(Response response) {
    if (response.read_error) return platform::err(std::move(*response.read_error));
    return utf8_lossy(std::move(response.body));
}

}  // namespace online::http
