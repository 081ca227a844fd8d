#pragma once

#include <chrono>
#include <memory>
#include <string>

namespace zorvex {

class CurlEasy;

inline constexpr const char* kHttpClientTag = "ZorvexAssist\\Http\\HttpClient";

// Results of CHttpClient::Post.
inline constexpr int kPostOk = 0;        // sent and the body read, whatever the HTTP status
inline constexpr int kPostFailed = 1;    // no http(s) URL, or any error but a time-out
inline constexpr int kPostTimedOut = 2;  // no connection or no data within the time-outs

struct HttpTimeouts {
    std::chrono::milliseconds connect{10'000};
    // A transfer that receives nothing for this long has timed out.
    std::chrono::milliseconds idle{30'000};
    // The whole exchange, connection included: a server that trickles a
    // byte now and then never trips the idle guard, and must not hold the
    // check for longer than this.
    std::chrono::milliseconds total{30'000};
};

// One form-encoded HTTP POST at a time, each on a fresh connection. Blocks
// the calling thread for the whole exchange; any thread, one call at a time.
class CHttpClient {
public:
    CHttpClient();
    ~CHttpClient();
    CHttpClient(const CHttpClient&) = delete;
    CHttpClient& operator=(const CHttpClient&) = delete;

    // Stores the three texts; Post reads only the user agent.
    void SetRequest(const std::string& url, const std::string& body, const std::string& userAgent);
    void SetTimeouts(HttpTimeouts timeouts) { timeouts_ = timeouts; }

    // POSTs body (UTF-8, sent whole) to url with the headers
    // "Content-Type: application/x-www-form-urlencoded", "User-Agent: " + the
    // stored agent, "Accept-Encoding: gzip, deflate" and "Accept-Language:
    // zh-cn,en,*". response receives the body, decoded when compressed and cut
    // at its first zero byte; it is empty on every failure. Returns kPostOk,
    // kPostFailed or kPostTimedOut (no connection, no data for the idle
    // time-out, or not done within the total one). Logs "SendRequest::::" + body.
    int Post(const std::string& url, const std::string& body, std::string& response);

    // The status of the last response; 0 when none arrived.
    long LastStatus() const { return lastStatus_; }

    // Ends a running Post soon (it then returns kPostFailed) and every later
    // one at once: for an owner that goes away. Any thread.
    void Cancel();

private:
    // Post's exchange once libcurl is open and the URL is one we speak.
    int post(const std::string& url, const std::string& body, std::string& response);

    std::string url_;
    std::string body_;
    std::string userAgent_;
    std::unique_ptr<CurlEasy> session_;
    HttpTimeouts timeouts_;
    long lastStatus_ = 0;
};

}  // namespace zorvex
