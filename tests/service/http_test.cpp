#include <curl/curl.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <memory>

#include "phone_link.h"
#include "service/http_file_server.h"
#include "service/link_file.h"
#include "service/link_frame.h"
#include "service/service.h"
#include "service/wide_sendfile.h"
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

const std::string kHost = test::runAddress();

// path is sent exactly as given, dot segments included.
Reply request(const std::string& method, const std::string& path,
              const std::vector<std::string>& headers = {}, const std::string& upload = "",
              int port = wire::kHttpPort) {
    Reply reply;
    CURL* curl = curl_easy_init();
    std::string url = "http://" + kHost + ":" + std::to_string(port) + path;
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
        ASSERT_TRUE(service->setAddress(kHost));
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

// Bodies past the library's 128 KiB sendfile chunk go out in wider calls,
// each joined by its header; every byte still comes, in order, and the last
// piece ends the body.
TEST_F(HttpFiles, LargeBodiesGoOutInWideCallsAndArriveWhole) {
    // Whole, more than one widest call: corked until its last.
    std::string content(5 * 1024 * 1024 + 12345, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) {
        content[i] = static_cast<char>((i * 131) ^ (i >> 11));
    }
    std::string large = videos.write("large.mp4", content);
    std::string largeKey;
    ASSERT_EQ(service->addFile(large, LIST_SOURCE, &largeKey), ADD_OK);
    const std::uint64_t before = widenedSendfileCalls();
    const std::uint64_t joinedBefore = headersJoinedToBodies();
    const CorkCounts corksBefore = corkCounts();
    Reply whole = request("GET", "/" + largeKey);
    EXPECT_EQ(whole.status, 200);
    EXPECT_TRUE(whole.body == content) << whole.body.size() << " bytes";
    for (auto [first, last] : {std::pair<std::size_t, std::size_t>{1001, 2 * 1024 * 1024 + 77},
                               {content.size() - 140000, content.size() - 1}}) {
        Reply part =
            request("GET", "/" + largeKey,
                    {"Range: bytes=" + std::to_string(first) + "-" + std::to_string(last)});
        EXPECT_EQ(part.status, 206);
        EXPECT_TRUE(part.body == content.substr(first, last - first + 1))
            << first << ": " << part.body.size() << " bytes";
    }
    EXPECT_GE(widenedSendfileCalls(), before + 3);
    EXPECT_EQ(headersJoinedToBodies(), joinedBefore + 3);
    EXPECT_EQ(corkCounts().corked, corksBefore.corked + 1);
    EXPECT_EQ(corkCounts().released, corksBefore.released + 1);
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

    // The catalogue's look-up follows its link file, told of it moments
    // after: gone, it hides the video; back, it serves it again; unshared,
    // the key is a plain miss.
    auto answers = [&](int status) {
        return test::waitUntil([&] { return request("GET", "/" + key).status == status; });
    };
    std::string link = test::readFile(home.file("file_root/" + key));
    std::filesystem::remove(home.file("file_root/" + key));
    EXPECT_TRUE(answers(404));
    home.write("file_root/" + key, link);
    EXPECT_TRUE(answers(200));
    std::string other = videos.write("other.mp4", "other");
    std::string otherKey;
    ASSERT_EQ(service->addFile(other, LIST_CONVERTED, &otherKey), ADD_OK);
    service->removeFile(LIST_CONVERTED, other);
    EXPECT_EQ(request("GET", "/" + otherKey).status, 404);

    std::filesystem::remove(video);
    EXPECT_TRUE(std::filesystem::exists(home.file("file_root/" + key)));
    EXPECT_EQ(request("GET", "/" + key).status, 404);
    EXPECT_EQ(request("GET", "/" + std::string(32, 'f')).status, 404);
}

// Phones are told a video is there exactly when it can be fetched: a folder,
// a FIFO or (for a user other than root) a file without read permission is
// neither.
// Thumbnails are answered from memory once their file has settled: what
// is served must still follow the file as it is rewritten, replaced or removed.
TEST_F(HttpFiles, KeptThumbnailsFollowTheirFile) {
    namespace fs = std::filesystem;
    const std::string path = "/image/" + key + ".jpg";
    const std::string file = home.file("file_root" + path);
    auto settle = [&] {
        fs::last_write_time(file, fs::last_write_time(file) - std::chrono::hours(1));
    };
    home.write("file_root" + path, "jpeg bytes");
    settle();
    for (int i = 0; i < 2; ++i) EXPECT_EQ(request("GET", path).body, "jpeg bytes") << i;
    Reply cached = request("GET", path, {"If-None-Match: " + request("GET", path).headers["etag"]});
    EXPECT_EQ(cached.status, 304);
    EXPECT_EQ(request("GET", path, {"Range: bytes=5-"}).body, "bytes");

    home.write("file_root" + path, "JPEG BYTES");  // the same size, rewritten in place
    EXPECT_EQ(request("GET", path).body, "JPEG BYTES");
    settle();
    EXPECT_EQ(request("GET", path).body, "JPEG BYTES");
    home.write("file_root/image/next.jpg", "next bytes");
    fs::last_write_time(home.file("file_root/image/next.jpg"), fs::last_write_time(file));
    fs::rename(home.file("file_root/image/next.jpg"), file);
    EXPECT_EQ(request("GET", path).body, "next bytes");
    fs::remove(file);
    EXPECT_EQ(request("GET", path).status, 404);
}

TEST_F(HttpFiles, ListedAsPresentExactlyWhenServed) {
    std::string folder = videos.file("folder.mp4"), fifo = videos.file("fifo.mp4");
    std::string locked = videos.write("locked.mp4", "bytes");
    std::filesystem::create_directories(folder);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    std::string unused;
    for (const std::string& path : {folder, fifo, locked})
        ASSERT_EQ(service->addFile(path, LIST_SOURCE, &unused), ADD_OK);
    ClientSlot slot;
    auto decoded = wire::decodeListResponse(service->buildListResponse(LIST_SOURCE, slot, 0));
    auto entries = wire::decodeListBody(decoded.response.body);
    ASSERT_TRUE(entries && entries->size() == 4u);
    for (const wire::WireEntry& entry : *entries) {
        EXPECT_EQ(entry.exists, request("GET", "/" + entry.key).status == 200) << entry.name;
    }
    EXPECT_FALSE((*entries)[1].exists);
    EXPECT_FALSE((*entries)[2].exists);
}

TEST_F(HttpFiles, RootIsAListingOfLinkFilesAndTheImageFolder) {
    Reply listing = request("GET", "/");
    EXPECT_EQ(listing.status, 200);
    EXPECT_NE(listing.body.find(key), std::string::npos);
    EXPECT_NE(listing.body.find("image/"), std::string::npos);
}

TEST_F(HttpFiles, WritesAreRefusedWithADigestChallenge) {
    for (const char* method : {"PUT", "DELETE", "MKCOL", "MOVE"}) {
        Reply refused = request(method, std::string("/") + (method[0] == 'P' ? "new.txt" : key),
                                {"Destination: /moved"}, "payload");
        EXPECT_EQ(refused.status, 401) << method;
        EXPECT_EQ(refused.headers["www-authenticate"].rfind("Digest ", 0), 0u) << method;
        EXPECT_NE(refused.headers["www-authenticate"].find("nonce=\""), std::string::npos);
    }
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

TEST_F(HttpFiles, RangeSyntaxFollowsRfc9110AndInvalidFormsGetTheWholeFile) {
    std::string content = test::readFile(video);
    for (const char* invalid : {"bytes=+1-+2", "bytes=-1-2", "bytes=5-2", "items=0-1", "bytes 0-1",
                                "bytes=", "bytes=,", "bytes=0-1;x", "bytes=1", "bytes=0x10-"}) {
        Reply reply = request("GET", "/" + key, {std::string("Range: ") + invalid});
        EXPECT_EQ(reply.status, 200) << invalid;
        EXPECT_EQ(reply.body.size(), content.size()) << invalid;
        EXPECT_EQ(reply.headers.count("content-range"), 0u) << invalid;
    }
    Reply unit = request("GET", "/" + key, {"Range: BYTES=0-0"});
    EXPECT_EQ(unit.status, 206);
    EXPECT_EQ(unit.body, content.substr(0, 1));
    // A range past the end beside one that can be met: only the latter is answered.
    Reply mixed = request("GET", "/" + key, {"Range: bytes=9000-9100, 10-19"});
    EXPECT_EQ(mixed.status, 206);
    EXPECT_EQ(mixed.headers["content-range"], "bytes 10-19/5000");
    EXPECT_EQ(mixed.body, content.substr(10, 10));
}

TEST_F(HttpFiles, SeveralRangesComeAsOneMultipartBody) {
    std::string content = test::readFile(video);
    Reply reply = request("GET", "/" + key, {"Range: bytes=0-9, 100-109,-5"});
    ASSERT_EQ(reply.status, 206);
    std::string type = reply.headers["content-type"];
    const std::string prefix = "multipart/byteranges; boundary=";
    ASSERT_EQ(type.rfind(prefix, 0), 0u) << type;
    std::string boundary = type.substr(prefix.size());
    EXPECT_EQ(reply.headers["content-length"], std::to_string(reply.body.size()));
    std::string expected;
    for (auto [first, last] : {std::pair{0, 9}, {100, 109}, {4995, 4999}}) {
        expected += "\r\n--" + boundary + "\r\nContent-Type: video/mp4\r\nContent-Range: bytes " +
                    std::to_string(first) + "-" + std::to_string(last) + "/5000\r\n\r\n" +
                    content.substr(first, last - first + 1);
    }
    expected += "\r\n--" + boundary + "--\r\n";
    EXPECT_EQ(reply.body, expected);

    // Overlaps that ask for more than the file holds get the file once.
    Reply overlapping = request("GET", "/" + key, {"Range: bytes=0-4999,0-4999"});
    EXPECT_EQ(overlapping.status, 200);
    EXPECT_EQ(overlapping.body, content);
}

TEST_F(HttpFiles, OptionsNamesOnlyTheMethodsThatAreServed) {
    Reply options = request("OPTIONS", "/");
    EXPECT_EQ(options.status, 200);
    EXPECT_EQ(options.headers["allow"], "GET, HEAD, OPTIONS, PROPFIND");
    Reply post = request("POST", "/" + key, {}, "payload");
    EXPECT_EQ(post.status, 405);
    EXPECT_EQ(post.headers["allow"], "GET, HEAD, OPTIONS, PROPFIND");
}

TEST_F(HttpFiles, PropfindListsFoldersAsMultistatus) {
    Reply all = request("PROPFIND", "/", {"Depth: 1", "Content-Type: text/xml"},
                        "<?xml version=\"1.0\"?><d:propfind xmlns:d=\"DAV:\"><d:allprop/>"
                        "</d:propfind>");
    EXPECT_EQ(all.status, 207);
    EXPECT_NE(all.body.find("<d:href>/" + key + "</d:href>"), std::string::npos) << all.body;
    EXPECT_NE(all.body.find("<d:href>/image/</d:href><d:propstat><d:prop><d:resourcetype>"
                            "<d:collection/>"),
              std::string::npos)
        << all.body;
    Reply self = request("PROPFIND", "/", {"Depth: 0"});
    EXPECT_EQ(self.status, 207);
    EXPECT_EQ(self.body.find(key), std::string::npos);
    EXPECT_EQ(request("PROPFIND", "/missing", {"Depth: 1"}).status, 404);
}

TEST_F(HttpFiles, HiddenAndTemporaryNamesAreNeverServedOrListed) {
    // What a crash may leave of an atomic write: a whole link file under a dot name.
    std::string leftover = "." + key + ".tmp-Ab12Cd";
    home.write("file_root/" + leftover, test::readFile(home.file("file_root/" + key)));
    home.write("file_root/image/.half.jpg", "jpeg");
    for (const std::string& path :
         std::vector<std::string>{"/" + leftover, "/%2E" + leftover.substr(1), "/image/.half.jpg",
                                  "/image/%2ehalf.jpg", "/./" + key, "/image/./.half.jpg"}) {
        Reply reply = request("GET", path);
        EXPECT_EQ(reply.status, 404) << path;
        EXPECT_EQ(reply.body.find(video), std::string::npos) << path;
    }
    for (const char* method : {"GET", "PROPFIND"}) {
        for (const char* folder : {"/", "/image/"}) {
            Reply listing = request(method, folder);
            EXPECT_EQ(listing.body.find(".tmp-"), std::string::npos) << method << folder;
            EXPECT_EQ(listing.body.find(".half"), std::string::npos) << method << folder;
        }
    }
}

TEST_F(HttpFiles, SymlinksThatLeaveTheRootAreNotFollowed) {
    namespace fs = std::filesystem;
    home.write("config.ini", "[NormalSetting]\n");
    home.write("file_root/image/" + key + ".jpg", "jpeg bytes");
    fs::create_directory_symlink(home.path(), home.file("file_root/escape"));
    fs::create_symlink(home.file("config.ini"), home.file("file_root/settings.ini"));
    // A link file planted outside, reached through a key-named symlink.
    std::string planted = std::string(32, 'c');
    videos.write(planted, encodeLinkFile({1, true, true, "s.txt", planted, secret}));
    fs::create_symlink(videos.file(planted), home.file("file_root/" + planted));
    // Links that stay inside are fine.
    fs::create_directory_symlink(home.file("file_root/image"), home.file("file_root/thumbs"));

    for (const std::string& path : {std::string("/escape/config.ini"), std::string("/escape/"),
                                    std::string("/settings.ini"), "/" + planted}) {
        Reply reply = request("GET", path);
        EXPECT_EQ(reply.status, 404) << path;
        EXPECT_EQ(reply.body.find("NormalSetting"), std::string::npos) << path;
        EXPECT_EQ(reply.body.find("do not serve"), std::string::npos) << path;
    }
    EXPECT_EQ(request("PROPFIND", "/escape/", {"Depth: 1"}).status, 404);
    Reply inside = request("GET", "/thumbs/" + key + ".jpg");
    EXPECT_EQ(inside.status, 200);
    EXPECT_EQ(inside.body, "jpeg bytes");
    for (const char* method : {"GET", "PROPFIND"}) {
        Reply listing = request(method, "/");
        EXPECT_EQ(listing.body.find("escape"), std::string::npos) << method;
        EXPECT_EQ(listing.body.find("settings.ini"), std::string::npos) << method;
        EXPECT_EQ(listing.body.find(planted), std::string::npos) << method;
        EXPECT_NE(listing.body.find("thumbs/"), std::string::npos) << method;
    }
}

TEST_F(HttpFiles, FoldersAreListedUnderTheirSlashedPath) {
    home.write("file_root/image/" + key + ".jpg", "jpeg bytes");
    Reply bare = request("GET", "/image");
    EXPECT_EQ(bare.status, 301);
    EXPECT_EQ(bare.headers["location"], "/image/");
    Reply listing = request("GET", "/image/");
    EXPECT_EQ(listing.status, 200);
    EXPECT_EQ(listing.headers["content-type"], "text/html; charset=utf-8");
    EXPECT_NE(listing.body.find("href=\"" + key + ".jpg\""), std::string::npos) << listing.body;
    EXPECT_NE(listing.body.find("href=\"../\""), std::string::npos);
}

TEST_F(HttpFiles, OneConnectionCarriesRequestAfterRequest) {
    // Phones fetch thumbnails over keep-alive; a server that closed after
    // each answer would cost them a connection per picture.
    home.write("file_root/image/" + key + ".jpg", "jpeg bytes");
    test::PhoneLink phone(kHost, wire::kHttpPort);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(phone.send("GET /image/" + key + ".jpg HTTP/1.1\r\nHost: x\r\n\r\n")) << i;
        std::string head;
        while (head.find("\r\n\r\n") == std::string::npos) {
            std::string byte = phone.receive(1);
            ASSERT_EQ(byte.size(), 1u) << i << head;
            head += byte;
        }
        EXPECT_EQ(head.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << head;
        EXPECT_EQ(head.find("Connection: close"), std::string::npos) << head;
        EXPECT_EQ(phone.receive(10), "jpeg bytes");
    }
}

}  // namespace
}  // namespace zorvex
