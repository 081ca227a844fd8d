#include "update/http_helper.h"

#include <json/json.h>

#include <algorithm>
#include <exception>
#include <memory>
#include <string_view>

#include "foundation/log_recorder.h"
#include "foundation/settings.h"
#include "foundation/system_info.h"
#include "platform/md5.h"

namespace zorvex {

namespace {

// The member of an object, or nullptr.
const Json::Value* member(const Json::Value& object, std::string_view name) {
    return object.find(name.data(), name.data() + name.size());
}

// The string member, or nullptr when the member is missing or no string.
const Json::Value* stringMember(const Json::Value& object, std::string_view name) {
    const Json::Value* value = member(object, name);
    return value && value->isString() ? value : nullptr;
}

// False for text that is no JSON object; jsoncpp throws on nesting deeper
// than its stack limit, which a server's answer must not turn into a crash.
bool parseObject(const std::string& text, Json::Value& root) {
    Json::CharReaderBuilder builder;
    builder["collectComments"] = false;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    try {
        return reader->parse(text.data(), text.data() + text.size(), &root, &errors) &&
               root.isObject();
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

std::string LogExcerpt(std::string_view text, std::size_t limit) {
    std::size_t cut = std::min(limit, text.size());
    // Back to the start of a UTF-8 character, so the line stays valid text.
    if (cut < text.size()) {
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    }
    std::string line;
    line.reserve(cut + 32);
    static constexpr char kHex[] = "0123456789abcdef";
    for (char c : text.substr(0, cut)) {
        auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) {
            line += c;
        } else if (c == '\n') {
            line += "\\n";
        } else if (c == '\r') {
            line += "\\r";
        } else if (c == '\t') {
            line += "\\t";
        } else {
            line += "\\x";
            line += kHex[byte >> 4];
            line += kHex[byte & 0xF];
        }
    }
    if (cut < text.size()) line += " …(" + std::to_string(text.size()) + " bytes)";
    return line;
}

std::string BuildUserAgent(const std::string& systemVersion, const std::string& mac) {
    return "QuorbelVR WinLanApp 1.0.0_20160526(" + systemVersion + "; " + md5Hex(mac) + ")";
}

HttpHelper::HttpHelper(UpdateContext context) : context_(std::move(context)) {}
HttpHelper::~HttpHelper() = default;

void HttpHelper::Init() {
    if (!client_) client_ = std::make_unique<CHttpClient>();
    client_->SetTimeouts(timeouts_);
    mac_ = context_.mac ? context_.mac() : std::string();
    systemVersion_ = GetSystemVersionText();
    userAgent_ = BuildUserAgent(systemVersion_, mac_);
}

void HttpHelper::Cancel() {
    cancelled_ = true;
    if (client_) client_->Cancel();
}

void HttpHelper::SetTimeouts(HttpTimeouts timeouts) {
    timeouts_ = timeouts;
    if (client_) client_->SetTimeouts(timeouts);
}

std::string HttpHelper::RequestBody() const {
    return "type=" + type_ + "&system_version=" + systemVersion_ + "&mac=" + mac_ + "&QuorbelVR=3";
}

std::string HttpHelper::VersionCheckUrl(const std::string& server) {
    std::string base = server;
    while (!base.empty() && base.back() == '/') base.pop_back();
    if (base.find("://") == std::string::npos) base = "http://" + base;
    return base + kVersionCheckPath;
}

VersionCheckResult HttpHelper::CheckVersion() {
    VersionCheckResult result;
    if (!client_ || cancelled_) return result;
    std::string server = context_.updateServer ? context_.updateServer() : std::string();
    if (server.empty()) server = kDefaultUpdateServer;
    std::string url = VersionCheckUrl(server);
    std::string body = RequestBody();

    client_->SetRequest(url, body, userAgent_);
    std::string response;
    result.postResult = client_->Post(url, body, response);
    PostLog("HttpPost------OK,URL:" + url + ", " + LogExcerpt(response), kHttpHelperTag);
    if (result.postResult != kPostOk) return result;

    // From here on the server has answered: whatever it said, the
    // connection did not fail.
    VersionResponse answer = ParseVersionResponse(response);
    if (answer.kind == VersionResponse::Kind::ServerError) {
        result.outcome = VersionCheckResult::Outcome::UpToDate;
        return result;
    }
    result.outcome = VersionCheckResult::Outcome::NoOffer;
    if (answer.kind != VersionResponse::Kind::Offer) return result;
    PostLog("checkVersion------2", kHttpHelperTag);

    if (answer.versionName == GetProductVersionText()) {
        result.outcome = VersionCheckResult::Outcome::UpToDate;
        return result;
    }
    // Another version with nowhere to get it from is no offer.
    if (answer.downloadUrl.empty()) return result;
    result.outcome = VersionCheckResult::Outcome::UpdateOffered;
    result.downloadUrl = std::move(answer.downloadUrl);
    result.versionName = std::move(answer.versionName);
    return result;
}

VersionResponse HttpHelper::ParseVersionResponse(const std::string& response) {
    VersionResponse answer;
    Json::Value root;
    if (!parseObject(response, root)) return answer;
    // jsoncpp throws when a value is read as a type it cannot be, so each
    // type is checked before it is read.
    if (const Json::Value* code = member(root, "code"); code && !code->isNull()) {
        if (!code->isNumeric()) return answer;
        if (code->isInt64() && code->asInt64() == 2) {
            PostLog("JSON异常，异常原因：2", kHttpHelperTag);
            answer.kind = VersionResponse::Kind::ServerError;
            return answer;
        }
    }
    const Json::Value* data = member(root, "data");
    if (!data || !data->isArray() || data->empty() || !(*data)[0].isObject()) return answer;
    const Json::Value& first = (*data)[0];
    const Json::Value* name = stringMember(first, "version_name");
    const Json::Value* code = stringMember(first, "version_code");
    const Json::Value* url = stringMember(first, "download_url");
    if (!name || !code || !url) return answer;
    answer.kind = VersionResponse::Kind::Offer;
    answer.versionName = name->asString();
    answer.versionCode = code->asString();
    answer.downloadUrl = url->asString();
    return answer;
}

}  // namespace zorvex
