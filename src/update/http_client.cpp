#include "update/http_client.h"

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
    explicit HeaderList(const CurlApi& curl) : curl_(curl) {}
    ~HeaderList() { curl_.slist_free_all(list_); }
    HeaderList(const HeaderList&) = delete;
    HeaderList& operator=(const HeaderList&) = delete;
    void addIfAbsent(std::string_view name, std::string_view value) {
        for (const auto& present : names_) {
            if (equalsIgnoringCase(present, name)) return;
        }
        names_.emplace_back(name);
        std::string line = std::string(name) + ": " + std::string(value);
        list_ = curl_.slist_append(list_, line.c_str());
    }
    // "Name:" with nothing after it keeps libcurl from sending its own header.
    void suppress(std::string_view name) {
        std::string line = std::string(name) + ":";
        list_ = curl_.slist_append(list_, line.c_str());
    }
    curl_slist* get() const { return list_; }

private:
    const CurlApi& curl_;
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
    if (session_->cancelled()) return kPostFailed;
    int result = kPostFailed;
    // libcurl is opened for the exchange alone.
    if (session_->get() && IsHttpUrl(url)) result = post(url, body, response);
    session_->release();
    return result;
}

int CHttpClient::post(const std::string& url, const std::string& body, std::string& response) {
    session_->reset();
    HeaderList headers(session_->api());
    headers.addIfAbsent("Content-Type", "application/x-www-form-urlencoded");
    headers.addIfAbsent("User-Agent", userAgent_);
    headers.addIfAbsent("Accept-Language", "zh-cn,en,*");
    // A larger body would otherwise wait for a "100 Continue" first.
    headers.suppress("Expect");

    PostLog("SendRequest::::" + body, kHttpClientTag);

    ResponseSink sink;
    session_->setCommonOptions(timeouts_.connect, timeouts_.idle);
    session_->set(CURLOPT_TIMEOUT_MS, static_cast<long>(timeouts_.total.count()));
    session_->set(CURLOPT_URL, url.c_str());
    session_->set(CURLOPT_POST, 1L);
    session_->set(CURLOPT_POSTFIELDS, body.data());
    session_->set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    session_->set(CURLOPT_HTTPHEADER, headers.get());
    // Sends "Accept-Encoding: gzip, deflate" and so must also decode what a
    // server compresses on that offer.
    session_->set(CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
    // Each call opens and closes its own connection.
    session_->set(CURLOPT_FRESH_CONNECT, 1L);
    session_->set(CURLOPT_FORBID_REUSE, 1L);
    session_->set(CURLOPT_WRITEFUNCTION, &collect);
    session_->set(CURLOPT_WRITEDATA, &sink);

    CurlEasy::Outcome outcome = session_->performAndReset();
    lastStatus_ = outcome.status;
    auto result = static_cast<CURLcode>(outcome.result);
    if (result == CURLE_OPERATION_TIMEDOUT) return kPostTimedOut;
    if (result != CURLE_OK) return kPostFailed;
    response = std::move(sink.bytes);
    return kPostOk;
}

}  // namespace zorvex
