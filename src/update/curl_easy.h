#pragma once

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>

namespace zorvex {

// The libcurl functions this module calls. The program does not link libcurl:
// it and its TLS libraries (some 5 MiB) are opened only while a transfer
// needs them, so that a process that never checks for an update never maps them.
struct CurlApi {
    decltype(&curl_global_init) global_init;
    decltype(&curl_global_cleanup) global_cleanup;
    decltype(&curl_easy_init) easy_init;
    decltype(&curl_easy_cleanup) easy_cleanup;
    decltype(&curl_easy_reset) easy_reset;
    decltype(&curl_easy_setopt) easy_setopt;
    decltype(&curl_easy_getinfo) easy_getinfo;
    decltype(&curl_multi_init) multi_init;
    decltype(&curl_multi_cleanup) multi_cleanup;
    decltype(&curl_multi_add_handle) multi_add_handle;
    decltype(&curl_multi_remove_handle) multi_remove_handle;
    decltype(&curl_multi_perform) multi_perform;
    decltype(&curl_multi_info_read) multi_info_read;
    decltype(&curl_multi_poll) multi_poll;
    decltype(&curl_multi_wakeup) multi_wakeup;
    decltype(&curl_url) url;
    decltype(&curl_url_set) url_set;
    decltype(&curl_url_get) url_get;
    decltype(&curl_url_cleanup) url_cleanup;
    decltype(&curl_free) free;
    decltype(&curl_slist_append) slist_append;
    decltype(&curl_slist_free_all) slist_free_all;
};

// libcurl opened and globally set up for as long as one holder keeps it; the
// last to let go cleans libcurl up and closes it. Null when it cannot be
// opened. Any thread.
std::shared_ptr<const CurlApi> AcquireCurl();
// True while some holder keeps libcurl open.
bool CurlLoaded();

// Owns one libcurl easy handle and the multi handle that runs its transfers,
// so that a cancel wakes a waiting transfer at once instead of at libcurl's
// next progress tick. The handles, and libcurl itself, come with the first
// transfer and go with release(). One thread uses the handle at a time;
// cancel from any.
class CurlEasy {
public:
    CurlEasy();
    ~CurlEasy();  // release()
    CurlEasy(const CurlEasy&) = delete;
    CurlEasy& operator=(const CurlEasy&) = delete;

    // Null when libcurl could not be opened or make a handle.
    CURL* get();
    // libcurl's functions; only between a get() that gave a handle and release().
    const CurlApi& api() const { return *api_; }
    // Forgets every option set before, keeping the handle's caches.
    void reset();
    // Sets an option of the handle, as curl_easy_setopt; after get().
    template <class Value>
    void set(CURLoption option, Value value) {
        api_->easy_setopt(handle_, option, value);
    }
    // Reads what the last transfer learnt, as curl_easy_getinfo; after get().
    template <class Value>
    void info(CURLINFO what, Value* value) {
        api_->easy_getinfo(handle_, what, value);
    }
    // Frees the handles, and libcurl with them unless another holds it: for
    // when a check or a download has ended. The next get() makes them again.
    void release();

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

    // Options every transfer of this module shares: only http and https, also
    // after a redirect; no signals (workers run it); a transfer that receives
    // nothing for idleTimeout counts as timed out (CURLE_OPERATION_TIMEDOUT).
    void setCommonOptions(std::chrono::milliseconds connectTimeout,
                          std::chrono::milliseconds idleTimeout);

private:
    std::mutex mutex_;  // guards the making and freeing of the handles against cancel
    std::shared_ptr<const CurlApi> api_;
    CURL* handle_ = nullptr;
    CURLM* multi_ = nullptr;
    std::atomic<bool> cancelled_{false};
};

// The URL's scheme in lower case, "" when the text is no URL libcurl can read.
std::string UrlScheme(const std::string& url);
// True for the schemes we speak: "http" and "https".
bool IsHttpUrl(const std::string& url);

}  // namespace zorvex
