#include <curl/curl.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>

#include "phone_link.h"
#include "service/http_file_server.h"
#include "service/link_file.h"
#include "service/link_frame.h"
#include "service/service.h"
#include "support/test_support.h"

namespace zorvex {
namespace {

struct Reply {
    long status = 0;
    std::string body;
    std::map<std::string, std::string> headers;  // lower-case names
};

size_t collectBody(char* data, size_t size, size_t count, void* out) {
    static_cast<std::string*>(out)->append(data, size * count);
    return size * count;
}

size_t collectHeader(char* data, size_t size, size_t count, void* out) {
    std::string line(data, size * count);
    auto colon = line.find(':');
    if (colon != std::string::npos) {
        std::string name = line.substr(0, colon);
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(' '));
        value.erase(value.find_last_not_of("\r\n") + 1);
        (*static_cast<std::map<std::string, std::string>*>(out))[name] = value;
    }
    return size * count;
}

// path is sent exactly as given, dot segments included.
Reply request(const std::string& method, const std::string& path,
              const std::vector<std::string>& headers = {}, const std::string& upload = "") {
    Reply reply;
    CURL* curl = curl_easy_init();
    std::string url = "http://127.0.0.1:" + std::to_string(wire::kHttpPort) + path;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
    if (method == "HEAD") curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    if (!upload.empty()) curl_easy_setopt(curl, CURLOPT_POSTFIELDS, upload.c_str());
    curl_slist* list = nullptr;
    for (const auto& h : headers) list = curl_slist_append(list, h.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collectBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply.body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, collectHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &reply.headers);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 30L);
    if (curl_easy_perform(curl) == CURLE_OK) {
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
    }
    curl_slist_free_all(list);
    curl_easy_cleanup(curl);
    return reply;
}

class HttpFiles : public ::testing::Test {
protected:
    static void SetUpTestSuite() { curl_global_init(CURL_GLOBAL_DEFAULT); }
    static void TearDownTestSuite() { curl_global_cleanup(); }

    void SetUp() override {
        std::string content;
        for (int i = 0; i < 5000; ++i) content += static_cast<char>(i * 7);
        video = videos.write("片/a.mp4", content);
        secret = videos.write("secret.txt", "do not serve");
        service = std::make_unique<Service>(home.path());
        ASSERT_EQ(service->addFile(video, LIST_SOURCE, &key), ADD_OK);
        ASSERT_TRUE(service->setAddress("127.0.0.1"));
        ASSERT_TRUE(test::waitUntil([] { return request("HEAD", "/").status == 200; }));
    }

    test::TempDir home;
    test::TempDir videos;
    std::string video, secret, key;
    std::unique_ptr<Service> service;
};

TEST_F(HttpFiles, KeyServesTheRealFileWithRangesAndValidators) {
    Reply whole = request("GET", "/" + key);
    EXPECT_EQ(whole.status, 200);
    EXPECT_EQ(whole.body, test::readFile(video));
    EXPECT_EQ(whole.headers["content-type"], "video/mp4");
    EXPECT_FALSE(whole.headers["etag"].empty());
    EXPECT_FALSE(whole.headers["last-modified"].empty());

    Reply part = request("GET", "/" + key, {"Range: bytes=100-199"});
    EXPECT_EQ(part.status, 206);
    EXPECT_EQ(part.body, test::readFile(video).substr(100, 100));
    EXPECT_EQ(part.headers["content-range"], "bytes 100-199/5000");

    Reply cached = request("GET", "/" + key, {"If-None-Match: " + whole.headers["etag"]});
    EXPECT_EQ(cached.status, 304);
    Reply head = request("HEAD", "/" + key);
    EXPECT_EQ(head.status, 200);
    EXPECT_EQ(head.headers["content-length"], "5000");
}

TEST_F(HttpFiles, RangesNearTheEndSeekAsPlayersExpect) {
    std::string content = test::readFile(video);
    // Past the end: cut to the last byte, with a length that matches the body.
    Reply tail = request("GET", "/" + key, {"Range: bytes=4990-9999"});
    EXPECT_EQ(tail.status, 206);
    EXPECT_EQ(tail.body, content.substr(4990));
    EXPECT_EQ(tail.headers["content-length"], "10");
    EXPECT_EQ(tail.headers["content-range"], "bytes 4990-4999/5000");
    // The last N bytes.
    Reply suffix = request("GET", "/" + key, {"Range: bytes=-100"});
    EXPECT_EQ(suffix.status, 206);
    EXPECT_EQ(suffix.body, content.substr(4900));
    // Open-ended.
    Reply rest = request("GET", "/" + key, {"Range: bytes=4000-"});
    EXPECT_EQ(rest.body, content.substr(4000));
    // Starting beyond the end cannot be met.
    Reply beyond = request("GET", "/" + key, {"Range: bytes=6000-6100"});
    EXPECT_EQ(beyond.status, 416);
    EXPECT_EQ(beyond.headers["content-range"], "bytes */5000");
    EXPECT_TRUE(beyond.body.empty());
}

TEST_F(HttpFiles, ThumbnailAndMissingFiles) {
    EXPECT_EQ(request("GET", "/image/" + key + ".jpg").status, 404);
    home.write("file_root/image/" + key + ".jpg", "jpeg bytes");
    Reply thumbnail = request("GET", "/image/" + key + ".jpg");
    EXPECT_EQ(thumbnail.status, 200);
    EXPECT_EQ(thumbnail.body, "jpeg bytes");
    EXPECT_EQ(thumbnail.headers["content-type"], "image/jpeg");
    EXPECT_EQ(
        request("GET", "/image/" + key + ".jpg", {"If-None-Match: " + thumbnail.headers["etag"]})
            .status,
        304);

    std::filesystem::remove(video);
    EXPECT_TRUE(std::filesystem::exists(home.file("file_root/" + key)));
    EXPECT_EQ(request("GET", "/" + key).status, 404);
    EXPECT_EQ(request("GET", "/" + std::string(32, 'f')).status, 404);
}

TEST_F(HttpFiles, RootIsAListingOfLinkFilesAndTheImageFolder) {
    Reply listing = request("GET", "/");
    EXPECT_EQ(listing.status, 200);
    EXPECT_NE(listing.body.find(key), std::string::npos);
    EXPECT_NE(listing.body.find("image/"), std::string::npos);
}

TEST_F(HttpFiles, WritesAreRefusedWithADigestChallenge) {
    for (const char* method : {"PUT", "DELETE", "MKCOL"}) {
        Reply refused =
            request(method, std::string("/") + (method[0] == 'D' ? key : "new.txt"), {}, "payload");
        EXPECT_EQ(refused.status, 401) << method;
        EXPECT_EQ(refused.headers["www-authenticate"].rfind("Digest", 0), 0u) << method;
    }
    // civetweb does not know MOVE at all and turns it away before any handler.
    Reply move = request("MOVE", "/" + key, {"Destination: /moved"});
    EXPECT_GE(move.status, 400);
    EXPECT_LT(move.status, 500);
    EXPECT_FALSE(std::filesystem::exists(home.file("file_root/new.txt")));
    EXPECT_FALSE(std::filesystem::exists(home.file("file_root/moved")));
    EXPECT_TRUE(std::filesystem::exists(home.file("file_root/" + key)));
}

TEST_F(HttpFiles, NothingOutsideTheDocumentRootIsReachable) {
    home.write("config.ini", "[NormalSetting]\n");
    for (const std::string& path :
         {std::string("/../config.ini"), std::string("/image/../../config.ini"),
          std::string("/%2e%2e/config.ini"), std::string("/..%2fconfig.ini"),
          std::string("/%2e%2e%2f%2e%2e") + videos.path() + "/secret.txt",
          "/../../../../../../../../" + secret}) {
        Reply reply = request("GET", path);
        EXPECT_EQ(reply.body.find("NormalSetting"), std::string::npos) << path;
        EXPECT_EQ(reply.body.find("do not serve"), std::string::npos) << path;
    }
}

TEST_F(HttpFiles, DamagedLinkFilesAreServedAsTheSmallFilesTheyAre) {
    std::string bogus = std::string(32, 'e');
    std::string damaged =
        encodeLinkFile({1, true, true, "s.txt", bogus, secret}).substr(0, 20);  // truncated
    home.write("file_root/" + bogus, damaged);
    Reply reply = request("GET", "/" + bogus);
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.body, damaged);
}

TEST(LinkResolution, OnlyWholeLinkFilesInsideTheRootResolve) {
    test::TempDir root;
    std::string key(32, 'a');
    root.write(key, encodeLinkFile({1, true, true, "v.mp4", key, "/videos/v.mp4"}));
    root.write("plain", "not a link");
    bool isLink = false;
    EXPECT_EQ(resolveLinkTarget(root.path(), "/" + key, isLink), "/videos/v.mp4");
    EXPECT_TRUE(isLink);
    resolveLinkTarget(root.path(), "/plain", isLink);
    EXPECT_FALSE(isLink);
    resolveLinkTarget(root.path(), "/", isLink);
    EXPECT_FALSE(isLink);
    resolveLinkTarget(root.path(), "/x/../" + key, isLink);
    EXPECT_FALSE(isLink);
}

}  // namespace
}  // namespace zorvex
