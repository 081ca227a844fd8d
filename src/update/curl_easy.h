#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>

typedef void CURL;
typedef void CURLM;

namespace zorvex {

// Owns one libcurl easy handle and the multi handle that runs its transfers,
// so that a cancel wakes a waiting transfer at once instead of at libcurl's
// next progress tick. The handles, and libcurl's global set-up (which wakes
// its TLS and SSH libraries, some 2 MiB kept resident), come with the first
// transfer, not with the owner. One thread uses the handle at a time;
// cancel from any.
class CurlEasy {
public:
    CurlEasy();
    ~CurlEasy();
    CurlEasy(const CurlEasy&) = delete;
    CurlEasy& operator=(const CurlEasy&) = delete;

    // Null when libcurl could not make a handle.
    CURL* get();
    // Forgets every option set before, keeping the handle's caches.
    void reset();

    // Runs the transfer set up on get() to its end, as curl_easy_perform
    // would; CURLE_ABORTED_BY_CALLBACK once cancelled.
    int perform();

    // How one transfer ended.
    struct Outcome {
        int result = 0;             // a CURLcode
        long status = 0;            // the HTTP status; 0 without an answer
        long long connectTime = 0;  // microseconds; 0 when no connection was made
    };
    // perform, then reset: the options point at the caller's header list and
    // sink, which the handle must not outlive.
    Outcome performAndReset();
    // Ends a running perform soon and every later one at once. Any thread.
    void cancel();
    bool cancelled() const { return cancelled_.load(); }

private:
    std::mutex mutex_;  // guards the making of the handles against cancel
    CURL* handle_ = nullptr;
    CURLM* multi_ = nullptr;
    std::atomic<bool> cancelled_{false};
};

// The URL's scheme in lower case, "" when the text is no URL libcurl can read.
std::string UrlScheme(const std::string& url);
// True for the schemes we speak: "http" and "https".
bool IsHttpUrl(const std::string& url);

// Options every transfer of this module shares: only http and https, also
// after a redirect; no signals (workers run it); a transfer that receives
// nothing for idleTimeout counts as timed out (CURLE_OPERATION_TIMEDOUT).
void SetCommonOptions(CURL* curl, std::chrono::milliseconds connectTimeout,
                      std::chrono::milliseconds idleTimeout);

}  // namespace zorvex
