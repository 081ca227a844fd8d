#include "update/http_client.h"

#include <curl/curl.h>

#include <cstring>
#include <string_view>
#include <vector>

#include "foundation/log_recorder.h"
#include "platform/ascii.h"
#include "update/curl_easy.h"

namespace zorvex {

namespace {

// The only caller expects a JSON text of about a kilobyte; a server that
// streams without end must not fill the memory.
constexpr std::size_t kResponseLimit = 1 << 20;

struct ResponseSink {
    std::string bytes;
    bool cut = false;  // a zero byte arrived: the rest is dropped
    bool overflow = false;
};

std::size_t collect(char* data, std::size_t size, std::size_t count, void* user) {
    auto* sink = static_cast<ResponseSink*>(user);
    std::size_t length = size * count;
    if (sink->cut) return length;
    std::string_view chunk(data, length);
    std::size_t zero = chunk.find('\0');
    if (zero != std::string_view::npos) {
        chunk = chunk.substr(0, zero);
        sink->cut = true;
    }
    if (sink->bytes.size() + chunk.size() > kResponseLimit) {
        sink->overflow = true;
        return 0;  // aborts the transfer
    }
    sink->bytes.append(chunk);
    return length;
}

// A request header list that adds a header only when none of that name is
// in it yet, so a header set earlier wins.
class HeaderList {
public:
    ~HeaderList() { curl_slist_free_all(list_); }
    void addIfAbsent(std::string_view name, std::string_view value) {
        for (const auto& present : names_) {
            if (equalsIgnoringCase(present, name)) return;
        }
        names_.emplace_back(name);
        std::string line = std::string(name) + ": " + std::string(value);
        list_ = curl_slist_append(list_, line.c_str());
    }
    // "Name:" with nothing after it keeps libcurl from sending its own header.
    void suppress(std::string_view name) {
        std::string line = std::string(name) + ":";
        list_ = curl_slist_append(list_, line.c_str());
    }
    curl_slist* get() const { return list_; }

private:
    std::vector<std::string> names_;
    curl_slist* list_ = nullptr;
};

}  // namespace

CHttpClient::CHttpClient() : session_(std::make_unique<CurlEasy>()) {}

CHttpClient::~CHttpClient() = default;

void CHttpClient::Cancel() {
    session_->cancel();
}

void CHttpClient::SetRequest(const std::string& url, const std::string& body,
                             const std::string& userAgent) {
    url_ = url;
    body_ = body;
    userAgent_ = userAgent;
}

int CHttpClient::Post(const std::string& url, const std::string& body, std::string& response) {
    response.clear();
    lastStatus_ = 0;
    if (!IsHttpUrl(url) || session_->cancelled()) return kPostFailed;
    CURL* curl = session_->get();
    if (!curl) return kPostFailed;
    session_->reset();

    HeaderList headers;
    headers.addIfAbsent("Content-Type", "application/x-www-form-urlencoded");
    headers.addIfAbsent("User-Agent", userAgent_);
    headers.addIfAbsent("Accept-Language", "zh-cn,en,*");
    // A larger body would otherwise wait for a "100 Continue" first.
    headers.suppress("Expect");

    PostLog("SendRequest::::" + body, kHttpClientTag);

    ResponseSink sink;
    SetCommonOptions(curl, timeouts_.connect, timeouts_.idle);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(timeouts_.total.count()));
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());
    // Sends "Accept-Encoding: gzip, deflate" and so must also decode what a
    // server compresses on that offer.
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
    // Each call opens and closes its own connection.
    curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);

    CurlEasy::Outcome outcome = session_->performAndReset();
    lastStatus_ = outcome.status;
    auto result = static_cast<CURLcode>(outcome.result);
    if (result == CURLE_OPERATION_TIMEDOUT) return kPostTimedOut;
    if (result != CURLE_OK) return kPostFailed;
    response = std::move(sink.bytes);
    return kPostOk;
}

}  // namespace zorvex
