#pragma once

#include <chrono>
#include <memory>
#include <string>

typedef void CURL;

namespace zorvex {

// Owns one libcurl easy handle. libcurl's global set-up runs once per process
// before the first handle. One thread uses a handle at a time.
class CurlEasy {
public:
    CurlEasy();
    ~CurlEasy();
    CurlEasy(const CurlEasy&) = delete;
    CurlEasy& operator=(const CurlEasy&) = delete;

    // Null when libcurl could not make a handle.
    CURL* get() const { return handle_; }
    // Forgets every option set before, keeping the handle's caches.
    void reset();

private:
    CURL* handle_ = nullptr;
};

// The URL's scheme in lower case, "" when the text is no URL libcurl can read.
std::string UrlScheme(const std::string& url);
// True for the schemes we speak: "http" and "https".
bool IsHttpUrl(const std::string& url);

// Options every transfer of this module shares: only http and https, also
// after a redirect; no signals (workers run it); a transfer that receives
// nothing for idleTimeout counts as timed out.
void SetCommonOptions(CURL* curl, std::chrono::milliseconds connectTimeout,
                      std::chrono::milliseconds idleTimeout);

}  // namespace zorvex
