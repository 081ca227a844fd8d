#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "update/http_client.h"
#include "update/update_context.h"

namespace zorvex {

inline constexpr const char* kHttpHelperTag = "ZorvexAssist\\Http\\HttpHelper";
inline constexpr const char* kVersionCheckPath = "/lanclient/last-version";

// What the update server's answer says, read by ParseVersionResponse.
struct VersionResponse {
    enum class Kind {
        Offer,        // "data"[0] holds the three strings
        ServerError,  // "code" 2
        Unreadable,   // no JSON object, or no "data"[0] with the three strings
    };
    Kind kind = Kind::Unreadable;
    std::string versionName;
    std::string versionCode;  // read, not used
    std::string downloadUrl;
};

struct VersionCheckResult {
    // What the windows show: UpdateOffered the download dialog, UpToDate and
    // NoOffer the box "已是最新版", Failed the toast "服务器连接失败".
    enum class Outcome {
        UpdateOffered,  // another version than the running one is offered
        UpToDate,       // the server offers the running version, or says "code" 2
        NoOffer,        // the server answered, but nothing that can be downloaded
        Failed,         // no answer: no connection, a time-out, a transfer cut short
    };
    Outcome outcome = Outcome::Failed;
    std::string downloadUrl;       // set with UpdateOffered only
    std::string versionName;       // set with UpdateOffered only
    int postResult = kPostFailed;  // CHttpClient::Post's code
};

// Asks the update server (the context's "UpdateServer", host[:port], plain
// http) which client version is the latest. Made and used by the main window;
// one thread at a time (the window's, or a worker running the check for it);
// Cancel from any thread.
class HttpHelper {
public:
    explicit HttpHelper(UpdateContext context);
    ~HttpHelper();
    HttpHelper(const HttpHelper&) = delete;
    HttpHelper& operator=(const HttpHelper&) = delete;

    // Makes the client when there is none and builds the user agent from the
    // system version and the MAC in use; call once the MAC is known.
    void Init();

    // POSTs the form body to the update server and compares the offered
    // version with the running one (as text: any difference is an update).
    // Blocks for the whole exchange. Before Init it fails without traffic.
    VersionCheckResult CheckVersion();

    // Ends a running CheckVersion soon (it then fails) and every later one at
    // once: for a window closing while a check runs. Any thread.
    void Cancel();

    // Reads the server's JSON answer. Logs "JSON异常，异常原因：2" for "code" 2.
    // Pure but for that line.
    static VersionResponse ParseVersionResponse(const std::string& response);

    // "http://" + server + kVersionCheckPath; a server given with its own
    // scheme keeps it.
    static std::string VersionCheckUrl(const std::string& server);

    // The client's time-outs; tests shorten them.
    void SetTimeouts(HttpTimeouts timeouts);

    const std::string& UserAgent() const { return userAgent_; }
    // "type=%s&system_version=%s&mac=%s&QuorbelVR=3", filled without URL encoding.
    std::string RequestBody() const;

private:
    const UpdateContext context_;
    std::unique_ptr<CHttpClient> client_;  // made by Init, before any Cancel
    std::atomic<bool> cancelled_{false};
    HttpTimeouts timeouts_;
    const std::string type_ = "3";
    std::string userAgent_;
    std::string systemVersion_;
    std::string mac_;
};

// "QuorbelVR WinLanApp 1.0.0_20160526(" + systemVersion + "; " + MD5 hex of
// mac + ")"
std::string BuildUserAgent(const std::string& systemVersion, const std::string& mac);

// How much of a server's answer goes into the log.
inline constexpr std::size_t kLoggedAnswerBytes = 512;

// The answer as one log line: at most limit bytes of it, cut at a character's
// start, control characters written as \n, \r, \t or \xHH so that a server
// cannot start a line of its own, and " …(N bytes)" after a cut.
std::string LogExcerpt(std::string_view text, std::size_t limit = kLoggedAnswerBytes);

}  // namespace zorvex
