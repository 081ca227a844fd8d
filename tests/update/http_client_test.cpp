#include "update/http_client.h"

#include <gtest/gtest.h>

#include "canned_http_server.h"
#include "raw_test_server.h"
#include "update/curl_easy.h"
#include "update_fixture.h"

namespace zorvex {
namespace {

using HttpClientTest = test::UpdateTest;

const std::string kOkHead = "HTTP/1.1 200 OK\r\nConnection: close\r\n";

// The head of a recorded request, and its body.
std::pair<std::string, std::string> splitRequest(const std::string& bytes) {
    std::size_t end = bytes.find("\r\n\r\n");
    if (end == std::string::npos) return {bytes, ""};
    return {bytes.substr(0, end + 2), bytes.substr(end + 4)};
}

TEST_F(HttpClientTest, SendsTheFormPostWithItsHeadersAndTheWholeUtf8Body) {
    test::RawTestServer server;
    server.reply(kOkHead + "Content-Length: 2\r\n\r\n{}");
    CHttpClient client;
    client.SetRequest("ignored", "ignored", "QuorbelVR WinLanApp test");

    std::string nonAscii = "type=3&name=视频 a+b&mac=00:1A";
    std::vector<std::string> bodies = {nonAscii, std::string(511, 'x'), std::string(600, 'y')};
    for (const std::string& body : bodies) {
        std::string response = "stale";
        ASSERT_EQ(client.Post(server.url("/lanclient/last-version?x=1"), body, response), kPostOk);
        EXPECT_EQ(response, "{}");
        EXPECT_EQ(client.LastStatus(), 200);
        EXPECT_FALSE(CurlLoaded()) << "libcurl is opened for each exchange alone";
    }

    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 3u);
    for (std::size_t i = 0; i < requests.size(); ++i) {
        auto [head, body] = splitRequest(requests[i]);
        EXPECT_EQ(body, bodies[i]);
        EXPECT_EQ(head.rfind("POST /lanclient/last-version?x=1 HTTP/1.1\r\n", 0), 0u) << head;
        for (const std::string& header : std::vector<std::string>{
                 "Content-Type: application/x-www-form-urlencoded",
                 "User-Agent: QuorbelVR WinLanApp test", "Accept-Encoding: gzip, deflate",
                 "Accept-Language: zh-cn,en,*",
                 "Content-Length: " + std::to_string(bodies[i].size())}) {
            EXPECT_NE(head.find("\r\n" + header + "\r\n"), std::string::npos) << header << head;
        }
        EXPECT_EQ(head.find("Expect:"), std::string::npos) << head;
    }
    EXPECT_EQ(server.connections(), 3);  // a fresh connection per call

    std::string log = logText();
    EXPECT_NE(log.find("|:(ZorvexAssist\\Http\\HttpClient):SendRequest::::" + nonAscii + "\n"),
              std::string::npos)
        << log;
}

TEST_F(HttpClientTest, AnErrorStatusIsNoFailure) {
    test::CannedHttpServer server;
    server.respond("/v", {500, R"({"code":2})"});
    CHttpClient client;
    std::string response;
    EXPECT_EQ(client.Post(server.url("/v"), "a=1", response), kPostOk);
    EXPECT_EQ(response, R"({"code":2})");
    EXPECT_EQ(client.LastStatus(), 500);
}

TEST_F(HttpClientTest, TheResponseEndsAtItsFirstZeroByteAndIsDecompressed) {
    test::RawTestServer server;
    std::string body("{\"a\":1}\0tail", 12);
    server.reply(kOkHead + "Content-Length: 12\r\n\r\n" + body);
    CHttpClient client;
    std::string response;
    ASSERT_EQ(client.Post(server.url("/"), "", response), kPostOk);
    EXPECT_EQ(response, "{\"a\":1}");

    // The request offers gzip, so a gzip answer must be readable.
    std::string gzip(
        "\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\x03\xab\x56\x4a\xce\x4f\x49\x55\xb2\x32\xa8\x05"
        "\x00\x98\xae\x3c\x72\x0a\x00\x00\x00",
        30);
    server.reply(kOkHead + "Content-Encoding: gzip\r\nContent-Length: 30\r\n\r\n" + gzip);
    ASSERT_EQ(client.Post(server.url("/"), "", response), kPostOk);
    EXPECT_EQ(response, "{\"code\":0}");
}

TEST_F(HttpClientTest, FailuresGiveOneOrTwoAndAnEmptyResponse) {
    test::RawTestServer server;
    CHttpClient client;
    std::string response = "stale";
    // Not http: refused before any traffic.
    std::string port = std::to_string(server.port());
    EXPECT_EQ(client.Post("ftp://127.0.0.1:" + port + "/x", "a", response), kPostFailed);
    EXPECT_EQ(client.Post("127.0.0.1:" + port + "/x", "a", response), kPostFailed);
    EXPECT_EQ(client.Post("", "a", response), kPostFailed);
    EXPECT_EQ(response, "");
    EXPECT_EQ(server.connections(), 0);

    test::RefusingPort refusing;
    response = "stale";
    EXPECT_EQ(
        client.Post("http://127.0.0.1:" + std::to_string(refusing.port()) + "/", "a", response),
        kPostFailed);
    EXPECT_EQ(response, "");

    // Accepted, then never answered.
    server.beSilent();
    client.SetTimeouts({std::chrono::seconds(5), std::chrono::seconds(1)});
    response = "stale";
    EXPECT_EQ(client.Post(server.url("/"), "a", response), kPostTimedOut);
    EXPECT_EQ(response, "");

    // A server that trickles two bytes a second never trips the idle guard;
    // the total deadline ends it long before the answer would be complete.
    server.stream(
        {kOkHead + "Content-Length: 400\r\n\r\n", "{", 400, 1, std::chrono::milliseconds(500)});
    client.SetTimeouts(
        {std::chrono::seconds(5), std::chrono::seconds(5), std::chrono::milliseconds(1500)});
    response = "stale";
    EXPECT_EQ(client.Post(server.url("/"), "a", response), kPostTimedOut);
    EXPECT_EQ(response, "");
    EXPECT_LT(server.streamed(), 400u);

    // A transfer cut short is an error too.
    server.reply(kOkHead + "Content-Length: 100\r\n\r\n{\"short\"");
    EXPECT_EQ(client.Post(server.url("/"), "a", response), kPostFailed);
    EXPECT_EQ(response, "");
}

}  // namespace
}  // namespace zorvex
