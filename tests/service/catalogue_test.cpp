#include <gtest/gtest.h>

#include <filesystem>
#include <thread>
#include <vector>

#include "platform/gbk_text.h"
#include "platform/md5.h"
#include "platform/utf16_text.h"
#include "service/link_file.h"
#include "service/link_frame.h"
#include "service/service.h"
#include "support/test_support.h"

namespace zorvex {
namespace {

struct RecordingListener : FileStatusChangeListener {
    struct Call {
        int type;
        bool exists, hasThumbnail;
        std::string path;
    };
    std::vector<Call> calls;
    void onFileStatusChanged(int type, bool exists, bool hasThumbnail, const std::string&,
                             const std::string&, const std::string& path) override {
        calls.push_back({type, exists, hasThumbnail, path});
    }
};

// The list body a phone without a stamp receives.
std::string body(Service& service, int type) {
    ClientSlot slot;
    auto decoded = wire::decodeListResponse(service.buildListResponse(type, slot, 0));
    EXPECT_EQ(decoded.status, wire::Decoded::Status::Ok);
    return decoded.response.body;
}

std::size_t count(Service& service, int type) {
    return service.entries(type).size();
}

std::string repeated(std::string_view text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += text;
    return out;
}

class Catalogue : public ::testing::Test {
protected:
    test::TempDir home;
    test::TempDir videos;
};

TEST_F(Catalogue, ConstructionMakesTheDocumentRoot) {
    Service service(home.path());
    EXPECT_TRUE(std::filesystem::is_directory(home.file("file_root/image")));
}

TEST_F(Catalogue, KeyIsMd5OfThePathTextAndNamesTheLinkFile) {
    Service service(home.path());
    std::string key;
    EXPECT_EQ(service.addFile("D:/v/a.mp4", LIST_SOURCE, &key), ADD_OK);
    EXPECT_EQ(key, md5Hex("D:/v/a.mp4"));
    EXPECT_NE(key, md5Hex("D:\\v\\a.mp4"));
    auto record = parseLinkFile(test::readFile(home.file("file_root/" + key)));
    ASSERT_TRUE(record);
    EXPECT_EQ(record->path, "D:/v/a.mp4");
    EXPECT_EQ(record->name, "a.mp4");
    EXPECT_EQ(record->type, 1);
    EXPECT_FALSE(record->exists);
}

TEST_F(Catalogue, RejectsBadPathsAndTypesButNoLongName) {
    Service service(home.path());
    std::string key = "untouched";
    EXPECT_EQ(service.addFile("a.mp4", LIST_SOURCE, &key), ADD_REJECTED);
    EXPECT_EQ(service.addFile("/v/", LIST_SOURCE, &key), ADD_REJECTED);  // empty name
    EXPECT_EQ(service.addFile("/v/a.mp4", 3, &key), ADD_REJECTED);
    EXPECT_EQ(service.addFile("/v/" + std::string(1021, 'n'), LIST_SOURCE, &key), ADD_REJECTED);
    EXPECT_EQ(key, "untouched");

    // The whole name is kept and survives a restart; only phones see it shortened.
    std::string name = repeated("视", 83) + ".mp4";  // 253 bytes of UTF-8
    ASSERT_EQ(service.addFile("/v/" + name, LIST_SOURCE, &key), ADD_OK);
    EXPECT_EQ(service.entries(LIST_SOURCE).at(0).name, name);
    Service restarted(home.path());
    ASSERT_EQ(restarted.loadLinkFile(key), LinkFileLoad::Restored);
    EXPECT_EQ(restarted.entries(LIST_SOURCE).at(0).name, name);
}

TEST_F(Catalogue, PhonesGetNamesInGbkWithinSixtyBytes) {
    Service service(home.path());
    const std::string thirty = repeated("视", 30);
    const std::string gbkChar = "\xCA\xD3", ellipsis = "\xA1\xAD";
    std::string key;
    const std::vector<std::string> names = {
        "视频.mp4",   thirty,          thirty + "视.mp4", "a" + thirty + "视.mp4",
        "clip😀€.mp4", "cafe\u0301.mp4"};  // decomposed, as Macs write
    for (const std::string& name : names) {
        ASSERT_EQ(service.addFile("/v/" + name, LIST_SOURCE, &key), ADD_OK) << name;
    }
    auto entries = wire::decodeListBody(body(service, LIST_SOURCE));
    ASSERT_TRUE(entries && entries->size() == 6u);
    EXPECT_EQ((*entries)[0].name, "\xCA\xD3\xC6\xB5.mp4");
    EXPECT_EQ((*entries)[1].name, repeated(gbkChar, 30));  // 60 bytes: fits as it is
    EXPECT_EQ((*entries)[2].name, repeated(gbkChar, 27) + ellipsis + ".mp4");
    // An odd byte before: the cut falls between characters, one byte short of 60.
    EXPECT_EQ((*entries)[3].name, "a" + repeated(gbkChar, 26) + ellipsis + ".mp4");
    EXPECT_EQ((*entries)[4].name, "clip?\x80.mp4");  // no emoji in GBK; the euro is one byte
    EXPECT_EQ((*entries)[5].name, "caf\xA8\xA6.mp4");
    EXPECT_EQ(gbkToUtf8((*entries)[2].name), repeated("视", 27) + "….mp4");
}

TEST_F(Catalogue, ThirtySixthEntryIsRefusedAndLeavesTheRootUnchanged) {
    Service service(home.path());
    std::string key;
    for (int i = 0; i < 35; ++i) {
        ASSERT_EQ(service.addFile("/v/" + std::to_string(i) + ".mp4", LIST_CONVERTED, &key),
                  ADD_OK);
    }
    auto files = [&] {
        return std::distance(std::filesystem::directory_iterator(home.file("file_root")),
                             std::filesystem::directory_iterator());
    };
    auto before = files();
    EXPECT_EQ(service.addFile("/v/36.mp4", LIST_CONVERTED, &key), ADD_FULL);
    EXPECT_EQ(files(), before);
    EXPECT_EQ(count(service, LIST_CONVERTED), 35u);
    EXPECT_EQ(service.addFile("/v/36.mp4", LIST_SOURCE, &key), ADD_OK);  // the other list has room
}

TEST_F(Catalogue, ConcurrentAddsNeverPassTheCapacity) {
    Service service(home.path());
    std::vector<std::thread> workers;
    std::atomic<int> added{0};
    for (int t = 0; t < 4; ++t) {
        workers.emplace_back([&, t] {
            std::string key;
            for (int i = 0; i < 20; ++i) {
                if (service.addFile("/v/" + std::to_string(t) + "_" + std::to_string(i),
                                    LIST_SOURCE, &key) == ADD_OK) {
                    ++added;
                }
            }
        });
    }
    for (auto& w : workers) w.join();
    EXPECT_EQ(added.load(), 35);
    EXPECT_EQ(count(service, LIST_SOURCE), 35u);
}

TEST_F(Catalogue, WireFormAndEmptyList) {
    Service service(home.path());
    EXPECT_EQ(body(service, LIST_SOURCE), std::string(4, '\0'));

    std::string video = videos.write("a.mp4", "video");
    std::string key;
    service.addFile(video, LIST_SOURCE, &key);
    home.write("file_root/image/" + key + ".jpg", "jpeg");
    std::string out = body(service, LIST_SOURCE);
    ASSERT_EQ(out.size(), 4u + 43u);
    EXPECT_EQ(out.substr(0, 4), std::string("\x01\x00\x00\x00", 4));
    EXPECT_EQ(out.substr(4, 11), std::string("\x01\x01\x05\x00"
                                             "a.mp4"
                                             "\x20\x00",
                                             11));
    EXPECT_EQ(out.substr(15), key);
}

TEST_F(Catalogue, NamesThatAreNotUtf8ReachPhonesAsQuestionMarksWhileThePathKeepsItsBytes) {
    std::string video = videos.write(std::string("bad\xff\xfe") + "bytes.mp4", "video");
    std::string stale = "/old/\xe6\x97.mp4";  // a link file from before: cut in mid-character
    home.write("file_root/" + md5Hex(stale),
               encodeLinkFile({1, false, false, "\xe6\x97.mp4", md5Hex(stale), stale}));
    Service service(home.path());
    EXPECT_EQ(service.loadLinkFile(md5Hex(stale)), LinkFileLoad::Restored);
    std::string key;
    ASSERT_EQ(service.addFile(video, LIST_SOURCE, &key), ADD_OK);
    EXPECT_EQ(key, md5Hex(video));
    EXPECT_EQ(parseLinkFile(test::readFile(home.file("file_root/" + key)))->path, video);
    auto entries = wire::decodeListBody(body(service, LIST_SOURCE));
    ASSERT_TRUE(entries && entries->size() == 2u);
    EXPECT_EQ((*entries)[0].name, "?.mp4");
    EXPECT_EQ((*entries)[1].name, "bad??bytes.mp4");
    for (const char* broken : {"\xc0\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80"}) {
        EXPECT_FALSE(isValidUtf8(broken)) << broken;  // overlong, surrogate, past U+10FFFF
    }
    EXPECT_TRUE(isValidUtf8("视频\xF0\x9F\x98\x80.mp4"));
}

TEST_F(Catalogue, VanishingFileNotifiesOnceAndMarksTheChange) {
    Service service(home.path());
    std::string video = videos.write("a.mp4", "video");
    std::string key;
    service.addFile(video, LIST_CONVERTED, &key);
    RecordingListener listener;
    service.setListener(&listener);
    body(service, LIST_CONVERTED);
    EXPECT_TRUE(listener.calls.empty());

    std::filesystem::remove(video);
    std::string out = body(service, LIST_CONVERTED);
    ASSERT_EQ(listener.calls.size(), 1u);
    EXPECT_EQ(listener.calls[0].type, 2);
    EXPECT_FALSE(listener.calls[0].exists);
    EXPECT_EQ(listener.calls[0].path, video);
    EXPECT_EQ(out[4], 0);  // exists byte of the entry

    body(service, LIST_CONVERTED);
    EXPECT_EQ(listener.calls.size(), 1u);
}

TEST_F(Catalogue, DuplicatePathsShareOneKeyAndRemoveTakesTheFirst) {
    Service service(home.path());
    std::string key1, key2;
    service.addFile("/v/a.mp4", LIST_SOURCE, &key1);
    service.addFile("/v/a.mp4", LIST_SOURCE, &key2);
    EXPECT_EQ(key1, key2);
    home.write("file_root/image/" + key1 + ".jpg", "jpeg");
    std::string shared = videos.write("keep.mp4", "x");
    service.removeFile(LIST_SOURCE, "/v/a.mp4");
    service.removeFile(LIST_SOURCE, "/v/none.mp4");
    service.removeFile(7, "/v/a.mp4");
    EXPECT_EQ(count(service, LIST_SOURCE), 1u);
    EXPECT_FALSE(std::filesystem::exists(home.file("file_root/" + key1)));
    EXPECT_FALSE(std::filesystem::exists(home.file("file_root/image/" + key1 + ".jpg")));

    // Removing never touches the shared file itself.
    service.addFile(shared, LIST_SOURCE, &key1);
    service.removeFile(LIST_SOURCE, shared);
    EXPECT_EQ(count(service, LIST_SOURCE), 1u);
    EXPECT_TRUE(std::filesystem::exists(shared));

    // A removal renews the phones' stamps.
    CatalogueList list(LIST_SOURCE, home.path());
    list.append({LIST_SOURCE, false, false, "b.mp4", std::string(32, 'b'), "/v/b.mp4"});
    std::uint64_t version = list.version();
    list.remove("/v/b.mp4");
    EXPECT_NE(list.version(), version);
}

TEST_F(Catalogue, WalksRewindAfterTheirEnd) {
    Service service(home.path());
    CatalogueEntry entry;
    EXPECT_FALSE(service.nextEntry(LIST_SOURCE, entry));
    EXPECT_FALSE(service.nextEntry(LIST_SOURCE, entry));
    EXPECT_FALSE(service.nextEntry(7, entry));
    std::string key;
    service.addFile("/v/a.mp4", LIST_SOURCE, &key);
    service.addFile("/v/b.mp4", LIST_SOURCE, &key);
    for (int walk = 0; walk < 2; ++walk) {
        ASSERT_TRUE(service.nextEntry(LIST_SOURCE, entry));
        EXPECT_EQ(entry.name, "a.mp4");
        ASSERT_TRUE(service.nextEntry(LIST_SOURCE, entry));
        EXPECT_EQ(entry.name, "b.mp4");
        EXPECT_FALSE(service.nextEntry(LIST_SOURCE, entry));
    }
}

TEST_F(Catalogue, RestartRestoresBothListsWithTheirKeys) {
    std::string a = videos.write("a.mp4", "a");
    std::vector<std::string> keys(3);
    {
        Service service(home.path());
        service.addFile(a, LIST_SOURCE, &keys[0]);
        service.addFile("/v/b.mp4", LIST_CONVERTED, &keys[1]);
        service.addFile("/v/c.mp4", LIST_CONVERTED, &keys[2]);
        // The thumbnail appears after the add: the rewrite at destruction records it.
        home.write("file_root/image/" + keys[0] + ".jpg", "jpeg");
    }
    auto record = parseLinkFile(test::readFile(home.file("file_root/" + keys[0])));
    ASSERT_TRUE(record);
    EXPECT_TRUE(record->exists);
    EXPECT_TRUE(record->hasThumbnail);

    Service service(home.path());
    for (auto& item : std::filesystem::directory_iterator(home.file("file_root"))) {
        service.loadLinkFile(item.path().filename().string());  // "image" is ignored
    }
    EXPECT_EQ(count(service, LIST_SOURCE), 1u);
    EXPECT_EQ(count(service, LIST_CONVERTED), 2u);
    CatalogueEntry entry;
    ASSERT_TRUE(service.nextEntry(LIST_SOURCE, entry));
    EXPECT_EQ(entry.key, keys[0]);
    EXPECT_EQ(entry.path, a);
}

TEST_F(Catalogue, LoadingSkipsDamagedFilesAndRespectsTheCapacity) {
    Service service(home.path());
    std::string good = encodeLinkFile({1, true, true, "a.mp4", std::string(32, 'a'), "/v/a.mp4"});
    home.write("file_root/" + std::string(32, 'b'), good.substr(0, 20));  // truncated
    home.write("file_root/" + std::string(32, 'c'), "plain text, no magic");
    home.write("file_root/" + std::string(32, 'e'), good);  // a copy under another name
    EXPECT_EQ(service.loadLinkFile(std::string(32, 'b')), LinkFileLoad::Damaged);
    EXPECT_EQ(service.loadLinkFile(std::string(32, 'c')), LinkFileLoad::Damaged);
    EXPECT_EQ(service.loadLinkFile(std::string(32, 'e')), LinkFileLoad::Damaged);
    EXPECT_EQ(service.loadLinkFile(std::string(32, 'd')), LinkFileLoad::Unreadable);  // missing
    EXPECT_EQ(service.loadLinkFile("short"), LinkFileLoad::NotAKey);
    EXPECT_EQ(service.loadLinkFile(std::string(32, 'X')), LinkFileLoad::NotAKey);
    EXPECT_EQ(count(service, LIST_SOURCE), 0u);

    for (int i = 0; i < 40; ++i) {
        char key[33];
        std::snprintf(key, sizeof key, "%032x", i);
        home.write(std::string("file_root/") + key,
                   encodeLinkFile({1, false, false, "v.mp4", key, "/v/" + std::to_string(i)}));
        EXPECT_EQ(service.loadLinkFile(key),
                  i < 35 ? LinkFileLoad::Restored : LinkFileLoad::ListFull);
    }
    EXPECT_EQ(count(service, LIST_SOURCE), 35u);
    EXPECT_TRUE(std::filesystem::exists(home.file("file_root/00000000000000000000000000000027")));
    std::string out = body(service, LIST_SOURCE);
    EXPECT_EQ(out.size(), 4u + 35u * (5u + 38u));
}

}  // namespace
}  // namespace zorvex
