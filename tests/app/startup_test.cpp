#include "app/startup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>
#include <regex>

#include "../service/phone_link.h"
#include "app/application.h"
#include "app/headless_unshare.h"
#include "foundation/settings.h"
#include "foundation/system_info.h"
#include "service/link_file.h"
#include "support/test_support.h"

namespace zorvex {
namespace {

class StartUp : public ::testing::Test {
protected:
    void SetUp() override { SetAutostartFolder(autostart.path()); }

    AppCore start(std::vector<std::string> addresses) {
        AppCore core;
        StartupOptions options;
        options.home = home.path();
        options.addresses = std::move(addresses);
        options.executor = &executor;
        options.onFileStatus = [](const FileStatusEvent&) {};
        EXPECT_TRUE(StartUpSequence(core, options));
        return core;
    }

    std::string todaysLog() {
        for (auto& item : std::filesystem::directory_iterator(home.file("PTTLog"))) {
            return test::readFile(item.path().string());
        }
        return {};
    }

    test::TempDir home, autostart, videos;
    TaskQueue executor;
};

// This run's own loopback addresses, away from a copy the user runs on 127.0.0.1.
const std::string kFirst = test::runAddress(1);
const std::string kSecond = test::runAddress(2);

TEST_F(StartUp, FirstStartMakesTheFoldersAndStartsOnTheFirstAddress) {
    AppCore core = start({kFirst, kSecond});
    EXPECT_TRUE(std::filesystem::exists(home.file("config.ini")));
    EXPECT_TRUE(std::filesystem::is_directory(home.file("file_root/image")));
    EXPECT_TRUE(std::filesystem::is_directory(home.file("appData/download")));
    EXPECT_EQ(core.adapters.addresses, (std::vector<std::string>{kFirst, kSecond}));
    EXPECT_EQ(core.service->address(), kFirst);
    EXPECT_EQ(core.networks->view().shown, kFirst);
    EXPECT_TRUE(test::waitUntil([] { return test::PhoneLink(kFirst).connected(); }));
    ShutDownSequence(core);
    EXPECT_FALSE(core.service);
    EXPECT_NE(todaysLog().find("(ZorvexVRClientDlg):开启服务成功"), std::string::npos);
}

TEST_F(StartUp, RestartRestoresBothListsAndTheSavedAddress) {
    std::string a = videos.write("a.mp4", "a"), b = videos.write("b.mp4", "b");
    std::string keyA, keyB;
    {
        AppCore core = start({kFirst, kSecond});
        core.service->addFile(a, LIST_SOURCE, &keyA);
        core.service->addFile(b, LIST_CONVERTED, &keyB);
        ASSERT_TRUE(core.service->setAddress(kSecond));
        SaveSettings(kSecond);  // the user's choice of address is remembered
        ShutDownSequence(core);
    }
    home.write("file_root/not-a-key", "ignored");
    AppCore core = start({kFirst, kSecond});
    EXPECT_EQ(core.service->address(), kSecond);
    EXPECT_EQ(core.service->entries(LIST_SOURCE).size(), 1u);
    EXPECT_EQ(core.service->entries(LIST_CONVERTED).size(), 1u);
    CatalogueEntry entry;
    ASSERT_TRUE(core.service->nextEntry(LIST_CONVERTED, entry));
    EXPECT_EQ(entry.key, keyB);
    ShutDownSequence(core);
}

TEST_F(StartUp, DamagedLinkFilesAreKeptAsideAndLoggedAndTheirThumbnailsGo) {
    std::string good =
        encodeLinkFile({1, true, true, "a.mp4", std::string(32, 'a'), videos.write("a.mp4", "a")});
    std::mt19937 random(7);
    std::string noise(300, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    const std::map<std::string, std::string> damaged{
        {std::string(32, '1'), good.substr(0, 20)},  // truncated
        {std::string(32, '2'), noise},
        {std::string(32, '3'), std::string(300, '\0')},
        {std::string(32, '4'), good},  // a copy under another key's name
    };
    home.write("file_root/" + std::string(32, 'a'), good);
    home.write("file_root/image/" + std::string(32, 'a') + ".jpg", "jpeg");
    for (const auto& [key, bytes] : damaged) {
        home.write("file_root/" + key, bytes);
        home.write("file_root/image/" + key + ".jpg", "jpeg");
    }
    home.write("file_root/" + std::string(32, 'Z'), "not one of ours");

    AppCore core = start({kFirst});
    ASSERT_EQ(core.service->entries(LIST_SOURCE).size(), 1u);
    ShutDownSequence(core);
    EXPECT_TRUE(
        std::filesystem::exists(home.file("file_root/image/" + std::string(32, 'a') + ".jpg")));
    EXPECT_TRUE(std::filesystem::exists(home.file("file_root/" + std::string(32, 'Z'))));
    std::string log = todaysLog();
    const std::regex kept(R"(\.damaged-\d{8}-\d{6}$)");
    for (const auto& [key, bytes] : damaged) {
        EXPECT_FALSE(std::filesystem::exists(home.file("file_root/" + key))) << key;
        EXPECT_FALSE(std::filesystem::exists(home.file("file_root/image/" + key + ".jpg"))) << key;
        std::string keptAs;
        for (auto& item : std::filesystem::directory_iterator(home.file("file_root"))) {
            std::string name = item.path().filename().string();
            if (name.starts_with(key) && std::regex_search(name, kept)) keptAs = item.path();
        }
        ASSERT_NE(keptAs, "") << key;
        EXPECT_EQ(test::readFile(keptAs), bytes);
        EXPECT_NE(
            log.find("(ZorvexVRClientDlg):" + home.file("file_root/" + key) + " cannot be read ("),
            std::string::npos)
            << log;
        EXPECT_NE(log.find("; kept as " + keptAs), std::string::npos) << log;
        EXPECT_NE(log.find("removed its thumbnail " + home.file("file_root/image/" + key)),
                  std::string::npos);
    }
    EXPECT_NE(log.find("(written for the key " + std::string(32, 'a') + ")"), std::string::npos);
    EXPECT_NE(log.find("(300 bytes, all zero)"), std::string::npos);
}

TEST_F(StartUp, AHeadlessStartDropsGoneFilesAndUnsharesTheNamedOnes) {
    std::string kept = videos.write("kept.mp4", "k"), gone = videos.write("gone.mp4", "g"),
                named = videos.write("named.mp4", "n");
    std::string unmounted = videos.file("usb/away.mp4");  // its folder is gone too: kept
    // The empty folder a disk not mounted leaves: kept too.
    std::filesystem::create_directories(videos.file("disk"));
    std::string atRoot = videos.file("disk/root.mp4");
    std::vector<std::string> keys(5);
    {
        Service service(home.path());
        for (std::size_t i = 0; i < keys.size(); ++i) {
            service.addFile(std::vector{kept, gone, named, unmounted, atRoot}[i], LIST_SOURCE,
                            &keys[i]);
            home.write("file_root/image/" + keys[i] + ".jpg", "\xFF\xD8\xFF\xE0");
        }
    }
    std::filesystem::remove(gone);

    Application application;
    ASSERT_TRUE(application.start({home.path(), {kFirst}, &executor, {}, {}}));
    application.restore();
    UnshareResult result =
        UnshareAtStart(application.library(), {named, named, videos.file("never.mp4")});
    EXPECT_EQ(result.dropped, std::vector{gone});
    EXPECT_EQ(result.kept, (std::vector{unmounted, atRoot}));
    EXPECT_EQ(result.unshared, std::vector{named});
    EXPECT_EQ(result.notShared, std::vector{videos.file("never.mp4")});
    std::vector<std::string> left;
    for (const auto& entry : application.service().entries(LIST_SOURCE)) left.push_back(entry.path);
    EXPECT_EQ(left, (std::vector{kept, unmounted, atRoot}));
    EXPECT_EQ(application.library().items().size(), 3u);
    application.shutDown();
    for (std::size_t i = 0; i < keys.size(); ++i) {
        bool stays = i == 0 || i >= 3;
        EXPECT_EQ(std::filesystem::exists(home.file("file_root/" + keys[i])), stays) << i;
        EXPECT_EQ(std::filesystem::exists(home.file("file_root/image/" + keys[i] + ".jpg")), stays)
            << i;
    }
    EXPECT_TRUE(std::filesystem::exists(named)) << "only the share stops, never the file";
}

}  // namespace
}  // namespace zorvex
