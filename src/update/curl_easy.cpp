#include "update/curl_easy.h"

#include <dlfcn.h>

#include <algorithm>
#include <cctype>

#include "foundation/log_recorder.h"

namespace zorvex {

namespace {

constexpr const char* kLogTag = "ZorvexAssist\\Http\\Curl";

// Process-wide, as the library it stands for: every holder shares one opening.
struct Opened {
    std::mutex mutex;  // guards opening and closing
    std::weak_ptr<const CurlApi> api;
};

Opened& opened() {
    static Opened state;
    return state;
}

template <class Function>
bool resolve(void* library, Function& slot, const char* name) {
    slot = reinterpret_cast<Function>(::dlsym(library, name));
    return slot != nullptr;
}

bool resolveAll(void* library, CurlApi& api) {
    return resolve(library, api.global_init, "curl_global_init") &&
           resolve(library, api.global_cleanup, "curl_global_cleanup") &&
           resolve(library, api.easy_init, "curl_easy_init") &&
           resolve(library, api.easy_cleanup, "curl_easy_cleanup") &&
           resolve(library, api.easy_reset, "curl_easy_reset") &&
           resolve(library, api.easy_setopt, "curl_easy_setopt") &&
           resolve(library, api.easy_getinfo, "curl_easy_getinfo") &&
           resolve(library, api.multi_init, "curl_multi_init") &&
           resolve(library, api.multi_cleanup, "curl_multi_cleanup") &&
           resolve(library, api.multi_add_handle, "curl_multi_add_handle") &&
           resolve(library, api.multi_remove_handle, "curl_multi_remove_handle") &&
           resolve(library, api.multi_perform, "curl_multi_perform") &&
           resolve(library, api.multi_info_read, "curl_multi_info_read") &&
           resolve(library, api.multi_poll, "curl_multi_poll") &&
           resolve(library, api.multi_wakeup, "curl_multi_wakeup") &&
           resolve(library, api.url, "curl_url") && resolve(library, api.url_set, "curl_url_set") &&
           resolve(library, api.url_get, "curl_url_get") &&
           resolve(library, api.url_cleanup, "curl_url_cleanup") &&
           resolve(library, api.free, "curl_free") &&
           resolve(library, api.slist_append, "curl_slist_append") &&
           resolve(library, api.slist_free_all, "curl_slist_free_all");
}

}  // namespace

std::shared_ptr<const CurlApi> AcquireCurl() {
    Opened& state = opened();
    std::lock_guard lock(state.mutex);
    if (auto api = state.api.lock()) return api;
    void* library = ::dlopen(ZORVEX_CURL_SONAME, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        // Under the lock, and glibc keeps the text per thread.
        const char* error = ::dlerror();  // NOLINT(concurrency-mt-unsafe)
        PostLog(std::string("libcurl cannot be opened: ") + (error ? error : ZORVEX_CURL_SONAME),
                kLogTag);
        return nullptr;
    }
    auto api = std::make_unique<CurlApi>();
    if (!resolveAll(library, *api) || api->global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
        PostLog(std::string(ZORVEX_CURL_SONAME) + " lacks a function or cannot start", kLogTag);
        ::dlclose(library);
        return nullptr;
    }
    std::shared_ptr<const CurlApi> shared(api.release(), [library](const CurlApi* last) {
        // Under the lock: an opening racing this one finds libcurl either
        // whole or gone. Its TLS libraries leave with it.
        std::lock_guard closing(opened().mutex);
        last->global_cleanup();
        delete last;
        ::dlclose(library);
    });
    state.api = shared;
    return shared;
}

bool CurlLoaded() {
    Opened& state = opened();
    std::lock_guard lock(state.mutex);
    return !state.api.expired();
}

CurlEasy::CurlEasy() = default;

CURL* CurlEasy::get() {
    std::lock_guard lock(mutex_);
    if (!handle_) {
        if (!api_) api_ = AcquireCurl();
        if (!api_) return nullptr;
        handle_ = api_->easy_init();
        multi_ = api_->multi_init();
    }
    return handle_;
}

CurlEasy::~CurlEasy() {
    release();
}

void CurlEasy::release() {
    std::lock_guard lock(mutex_);
    if (multi_) api_->multi_cleanup(multi_);
    if (handle_) api_->easy_cleanup(handle_);
    multi_ = nullptr;
    handle_ = nullptr;
    api_.reset();
}

void CurlEasy::reset() {
    if (handle_) api_->easy_reset(handle_);
}

int CurlEasy::perform() {
    if (!handle_ || !multi_) return CURLE_FAILED_INIT;
    if (cancelled_) return CURLE_ABORTED_BY_CALLBACK;
    const CurlApi& curl = *api_;
    if (curl.multi_add_handle(multi_, handle_) != CURLM_OK) return CURLE_FAILED_INIT;
    CURLcode result = CURLE_ABORTED_BY_CALLBACK;
    for (;;) {
        int running = 0;
        if (curl.multi_perform(multi_, &running) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        bool done = false;
        int left = 0;
        while (CURLMsg* message = curl.multi_info_read(multi_, &left)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == handle_) {
                result = message->data.result;
                done = true;
            }
        }
        if (done || running == 0 || cancelled_) break;
        // libcurl's own timers (time-outs, the speed check) bound the wait
        // too; cancel's wake-up ends it at once.
        if (curl.multi_poll(multi_, nullptr, 0, 1000, nullptr) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        if (cancelled_) break;
    }
    curl.multi_remove_handle(multi_, handle_);
    return result;
}

CurlEasy::Outcome CurlEasy::performAndReset() {
    Outcome outcome;
    outcome.result = perform();
    if (handle_) {
        info(CURLINFO_RESPONSE_CODE, &outcome.status);
        curl_off_t connectTime = 0;
        info(CURLINFO_CONNECT_TIME_T, &connectTime);
        outcome.connectTime = connectTime;
    }
    reset();
    return outcome;
}

void CurlEasy::cancel() {
    cancelled_ = true;
    std::lock_guard lock(mutex_);
    if (multi_) api_->multi_wakeup(multi_);
}

std::string UrlScheme(const std::string& url) {
    // Cheap while a transfer holds libcurl, as it does for every caller.
    const std::shared_ptr<const CurlApi> curl = AcquireCurl();
    if (!curl) return {};
    CURLU* parts = curl->url();
    if (!parts) return {};
    std::string scheme;
    // Without CURLU_DEFAULT_SCHEME a text with no scheme is refused, not taken as http.
    if (curl->url_set(parts, CURLUPART_URL, url.c_str(), CURLU_NON_SUPPORT_SCHEME) == CURLUE_OK) {
        char* text = nullptr;
        if (curl->url_get(parts, CURLUPART_SCHEME, &text, 0) == CURLUE_OK && text) {
            scheme = text;
            curl->free(text);
        }
    }
    curl->url_cleanup(parts);
    std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return scheme;
}

bool IsHttpUrl(const std::string& url) {
    std::string scheme = UrlScheme(url);
    return scheme == "http" || scheme == "https";
}

void CurlEasy::setCommonOptions(std::chrono::milliseconds connectTimeout,
                                std::chrono::milliseconds idleTimeout) {
    set(CURLOPT_NOSIGNAL, 1L);
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    // An update host may move its files; follow as a browser would.
    set(CURLOPT_FOLLOWLOCATION, 1L);
    set(CURLOPT_MAXREDIRS, 10L);
    set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connectTimeout.count()));
    // libcurl has no receive time-out of its own: under one byte per second for
    // the whole idle span is the same thing.
    long idleSeconds = static_cast<long>(
        std::max<std::chrono::milliseconds::rep>(1, (idleTimeout.count() + 999) / 1000));
    set(CURLOPT_LOW_SPEED_LIMIT, 1L);
    set(CURLOPT_LOW_SPEED_TIME, idleSeconds);
}

}  // namespace zorvex
