#include "update/curl_easy.h"

#include <curl/curl.h>

#include <algorithm>
#include <mutex>

namespace zorvex {

namespace {

void initGlobalOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

CurlEasy::CurlEasy() = default;

CURL* CurlEasy::get() {
    std::lock_guard lock(mutex_);
    if (!handle_) {
        initGlobalOnce();
        handle_ = curl_easy_init();
        multi_ = curl_multi_init();
    }
    return handle_;
}

CurlEasy::~CurlEasy() {
    if (multi_) curl_multi_cleanup(multi_);
    if (handle_) curl_easy_cleanup(handle_);
}

void CurlEasy::reset() {
    if (handle_) curl_easy_reset(handle_);
}

int CurlEasy::perform() {
    if (!handle_ || !multi_) return CURLE_FAILED_INIT;
    if (cancelled_) return CURLE_ABORTED_BY_CALLBACK;
    if (curl_multi_add_handle(multi_, handle_) != CURLM_OK) return CURLE_FAILED_INIT;
    CURLcode result = CURLE_ABORTED_BY_CALLBACK;
    for (;;) {
        int running = 0;
        if (curl_multi_perform(multi_, &running) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        bool done = false;
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == handle_) {
                result = message->data.result;
                done = true;
            }
        }
        if (done || running == 0 || cancelled_) break;
        // libcurl's own timers (time-outs, the speed check) bound the wait
        // too; cancel's wake-up ends it at once.
        if (curl_multi_poll(multi_, nullptr, 0, 1000, nullptr) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        if (cancelled_) break;
    }
    curl_multi_remove_handle(multi_, handle_);
    return result;
}

CurlEasy::Outcome CurlEasy::performAndReset() {
    Outcome outcome;
    outcome.result = perform();
    if (handle_) {
        curl_easy_getinfo(handle_, CURLINFO_RESPONSE_CODE, &outcome.status);
        curl_off_t connectTime = 0;
        curl_easy_getinfo(handle_, CURLINFO_CONNECT_TIME_T, &connectTime);
        outcome.connectTime = connectTime;
    }
    reset();
    return outcome;
}

void CurlEasy::cancel() {
    cancelled_ = true;
    std::lock_guard lock(mutex_);
    if (multi_) curl_multi_wakeup(multi_);
}

std::string UrlScheme(const std::string& url) {
    initGlobalOnce();
    CURLU* parts = curl_url();
    if (!parts) return {};
    std::string scheme;
    // Without CURLU_DEFAULT_SCHEME a text with no scheme is refused, not taken as http.
    if (curl_url_set(parts, CURLUPART_URL, url.c_str(), CURLU_NON_SUPPORT_SCHEME) == CURLUE_OK) {
        char* text = nullptr;
        if (curl_url_get(parts, CURLUPART_SCHEME, &text, 0) == CURLUE_OK && text) {
            scheme = text;
            curl_free(text);
        }
    }
    curl_url_cleanup(parts);
    std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return scheme;
}

bool IsHttpUrl(const std::string& url) {
    std::string scheme = UrlScheme(url);
    return scheme == "http" || scheme == "https";
}

void SetCommonOptions(CURL* curl, std::chrono::milliseconds connectTimeout,
                      std::chrono::milliseconds idleTimeout) {
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    // An update host may move its files; follow as a browser would.
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connectTimeout.count()));
    // libcurl has no receive time-out of its own: under one byte per second for
    // the whole idle span is the same thing.
    long idleSeconds = static_cast<long>(
        std::max<std::chrono::milliseconds::rep>(1, (idleTimeout.count() + 999) / 1000));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, idleSeconds);
}

}  // namespace zorvex
