#include "update/http_helper.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "canned_http_server.h"
#include "raw_test_server.h"
#include "update_fixture.h"

namespace zorvex {
namespace {

using Kind = VersionResponse::Kind;
using Outcome = VersionCheckResult::Outcome;
using test::CannedResponse;

std::string offer(const std::string& versionName, const std::string& url = "http://h/Setup.exe") {
    return R"({"code":0,"data":[{"version_name":")" + versionName +
           R"(","version_code":"19","download_url":")" + url + R"("}]})";
}

TEST(ParseVersionResponse, ReadsTheFirstOfferAndRefusesAnythingElse) {
    VersionResponse answer = HttpHelper::ParseVersionResponse(offer("1.0.19", "http://h/a.exe"));
    EXPECT_EQ(answer.kind, Kind::Offer);
    EXPECT_EQ(answer.versionName, "1.0.19");
    EXPECT_EQ(answer.versionCode, "19");
    EXPECT_EQ(answer.downloadUrl, "http://h/a.exe");

    EXPECT_EQ(HttpHelper::ParseVersionResponse(R"({"code":2,"data":[]})").kind, Kind::ServerError);
    for (std::string text : {
             std::string(), std::string("<html>Bad Gateway</html>"), std::string("[1,2]"),
             std::string(R"({"code":0})"), std::string(R"({"data":null})"),
             std::string(R"({"data":{"version_name":"1"}})"), std::string(R"({"data":[]})"),
             std::string(R"({"data":["x"]})"),
             std::string(R"({"data":[{"version_name":"1.0.19","download_url":"u"}]})"),
             std::string(R"({"data":[{"version_name":1,"version_code":"1","download_url":"u"}]})"),
             std::string(R"({"code":"2","data":[]})"), std::string(R"({"code":1e300,"data":[]})"),
             std::string(5000, '['),  // deeper than jsoncpp's stack limit
         }) {
        EXPECT_EQ(HttpHelper::ParseVersionResponse(text).kind, Kind::Unreadable) << text;
    }
}

class HttpHelperTest : public test::UpdateTest {
protected:
    void SetUp() override {
        test::UpdateTest::SetUp();
        updateServer_ = server_.host();
        helper_.Init();
    }

    VersionCheckResult check(CannedResponse response) {
        server_.respond(kVersionCheckPath, std::move(response));
        return helper_.CheckVersion();
    }

    test::CannedHttpServer server_;
    HttpHelper helper_{context()};
};

TEST_F(HttpHelperTest, PostsTheProductIdentityToTheConfiguredServer) {
    const std::string system = GetSystemVersionText();
    EXPECT_EQ(helper_.UserAgent(), "QuorbelVR WinLanApp 1.0.0_20160526(" + system +
                                       "; 64ef59ed159b1cfd56057da3b82a7677)");
    check({200, offer(GetProductVersionText())});

    auto requests = server_.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].uri, "/lanclient/last-version");
    EXPECT_EQ(requests[0].body,
              "type=3&system_version=" + system + "&mac=00:1A:2B:3C:4D:5E&QuorbelVR=3");
    EXPECT_EQ(requests[0].headers["user-agent"], helper_.UserAgent());

    EXPECT_EQ(HttpHelper::VersionCheckUrl("updates.lan/"),
              "http://updates.lan/lanclient/last-version");
    EXPECT_EQ(HttpHelper::VersionCheckUrl("https://u.lan:8443"),
              "https://u.lan:8443/lanclient/last-version");
}

TEST_F(HttpHelperTest, OnlyTheRunningVersionIsUpToDate) {
    const std::string running = GetProductVersionText();
    VersionCheckResult same = check({200, offer(running)});
    EXPECT_EQ(same.outcome, Outcome::UpToDate);
    EXPECT_EQ(same.downloadUrl, "");
    EXPECT_EQ(same.versionName, "");

    for (std::string other : {std::string("0.9.17"), running + ".0", std::string("99.0.0")}) {
        VersionCheckResult offered = check({200, offer(other, "http://h/Setup" + other + ".exe")});
        EXPECT_EQ(offered.outcome, Outcome::UpdateOffered) << other;
        EXPECT_EQ(offered.versionName, other);
        EXPECT_EQ(offered.downloadUrl, "http://h/Setup" + other + ".exe");
    }

    std::string log = logText();
    std::string url = server_.url(kVersionCheckPath);
    EXPECT_NE(log.find("(ZorvexAssist\\Http\\HttpHelper):HttpPost------OK,URL:" + url + ", " +
                       offer(running) + "\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("(ZorvexAssist\\Http\\HttpHelper):checkVersion------2\n"),
              std::string::npos);
}

TEST_F(HttpHelperTest, AServerThatAnswersWithoutAnOfferIsNoFailedConnection) {
    // "code" 2 is the server's way of saying there is nothing for us.
    VersionCheckResult error = check({200, R"({"code":2})"});
    EXPECT_EQ(error.outcome, Outcome::UpToDate);
    EXPECT_EQ(error.downloadUrl, "");
    for (CannedResponse response : {
             CannedResponse{200, "garbage"}, CannedResponse{200, ""},
             CannedResponse{200, R"({"code":0})"},
             CannedResponse{500, R"({"code":2,"msg":"internal"})"},
             CannedResponse{404, "<html>not found</html>", "text/html"},
             CannedResponse{200, offer("9.9.9", "")},  // nowhere to download from
         }) {
        VersionCheckResult result = check(response);
        Outcome expected = response.status == 500 ? Outcome::UpToDate : Outcome::NoOffer;
        EXPECT_EQ(result.outcome, expected) << response.status << " " << response.body;
        EXPECT_EQ(result.postResult, kPostOk);
        EXPECT_EQ(result.downloadUrl, "");
    }
    std::string log = logText();
    EXPECT_NE(log.find("(ZorvexAssist\\Http\\HttpHelper):JSON异常，异常原因：2\n"),
              std::string::npos);
    EXPECT_NE(log.find("HttpPost------OK,URL:" + server_.url(kVersionCheckPath) + ", garbage\n"),
              std::string::npos);
}

TEST_F(HttpHelperTest, TheLogHoldsABoundedOneLineExcerptOfTheAnswer) {
    const std::string url = server_.url(kVersionCheckPath);
    std::string huge = offer("9.9.9", "http://h/a.exe") + std::string(1'000'000, ' ');
    huge.resize(1'000'000);
    check({200, huge});
    check({200, "{\"code\":2}\n2099-01-01 00:00:00|:(ZorvexVRClientDlg):forged\x01"});
    std::string log = logText();
    EXPECT_LT(log.size(), 8'000u) << "a megabyte answer must not grow the log by as much";
    EXPECT_NE(log.find(", " + huge.substr(0, kLoggedAnswerBytes) + " …(1000000 bytes)\n"),
              std::string::npos);
    EXPECT_NE(log.find("{\"code\":2}\\n2099-01-01 00:00:00|:(ZorvexVRClientDlg):forged\\x01\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("\n2099-"), std::string::npos);
    // Cut at a character's start: the line stays valid UTF-8.
    EXPECT_EQ(LogExcerpt("视频视频", 7), "视频 …(12 bytes)");
}

TEST_F(HttpHelperTest, NoServerIsAFailedCheck) {
    test::RefusingPort refusing;
    updateServer_ = "127.0.0.1:" + std::to_string(refusing.port());
    VersionCheckResult result = helper_.CheckVersion();
    EXPECT_EQ(result.outcome, Outcome::Failed);
    EXPECT_EQ(result.postResult, kPostFailed);

    // Before Init there is no client and so no traffic.
    HttpHelper fresh(context());
    updateServer_ = server_.host();
    EXPECT_EQ(fresh.CheckVersion().outcome, Outcome::Failed);
    EXPECT_TRUE(server_.requests().empty());
}

TEST_F(HttpHelperTest, CancelEndsACheckThatWouldHangAndEveryLaterOne) {
    test::RawTestServer silent;
    silent.beSilent();
    updateServer_ = "127.0.0.1:" + std::to_string(silent.port());
    helper_.SetTimeouts({std::chrono::seconds(10), std::chrono::minutes(5)});
    std::atomic<bool> done{false};
    VersionCheckResult result;
    std::thread worker([&] {
        result = helper_.CheckVersion();
        done = true;
    });
    ASSERT_TRUE(test::waitUntil([&] { return silent.connections() == 1; }));
    helper_.Cancel();
    // Far sooner than the five minutes the time-outs would take.
    EXPECT_TRUE(test::waitUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(result.outcome, Outcome::Failed);
    EXPECT_EQ(helper_.CheckVersion().outcome, Outcome::Failed);
    EXPECT_EQ(silent.connections(), 1);
}

}  // namespace
}  // namespace zorvex
