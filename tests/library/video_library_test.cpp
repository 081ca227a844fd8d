#include "library/video_library.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>

#include "../transcode/media_fixtures.h"
#include "library/relation_file.h"
#include "platform/utf16_text.h"
#include "service/service.h"
#include "support/test_support.h"
#include "transcode/conversion_task.h"

namespace zorvex {
namespace {

namespace fs = std::filesystem;

struct Page : VideoLibraryListener {
    std::vector<int> toasts;
    std::vector<ConversionRequest> requests;
    std::vector<std::pair<int, int>> looks;
    std::vector<std::pair<std::string, std::string>> removedTasks;
    bool removeResult = true;
    std::vector<std::string> freed, balloons, asked;
    std::deque<int> answers;
    int changes = 0;
    std::vector<std::string> changedCards;
    void onToast(int code) override { toasts.push_back(code); }
    void onConversionRequested(const ConversionRequest& r) override { requests.push_back(r); }
    void onButtonLooks(int a, int b) override { looks.emplace_back(a, b); }
    bool removeQueuedTask(const std::string& name, const std::string& path) override {
        removedTasks.emplace_back(name, path);
        return removeResult;
    }
    void onPathFreed(const std::string& path) override { freed.push_back(path); }
    void onConversionBalloon(const std::string& name) override { balloons.push_back(name); }
    int confirmDuplicateName(const std::string& shown) override {
        asked.push_back(shown);
        int answer = answers.empty() ? ANSWER_SKIP : answers.front();
        if (!answers.empty()) answers.pop_front();
        return answer;
    }
    void onLibraryChanged() override { ++changes; }
    void onCardChanged(const std::string& itemId) override { changedCards.push_back(itemId); }
};

class Library : public ::testing::Test {
protected:
    void SetUp() override {
        service = std::make_unique<Service>(home.path());
        library = make();
    }
    void TearDown() override {
        library.reset();
        service.reset();
    }

    std::unique_ptr<VideoLibrary> make() {
        VideoLibraryContext context;
        context.service = service.get();
        context.executor = &executor;
        context.listener = &page;
        context.relationFile = home.file("VideoRelation.xml");
        context.convertFolder = [this] { return converted.path(); };
        context.ffmpeg = [] { return FfmpegTool{"ffmpeg", "aac"}; };
        context.thumbnailPathFor = [this](const std::string& key) {
            return home.file("file_root/image/" + key + ".jpg");
        };
        auto made = std::make_unique<VideoLibrary>(context);
        made->LoadRelations();
        return made;
    }

    // Runs the library's thread until the condition holds.
    bool pump(const std::function<bool()>& condition) {
        return test::waitUntil(
            [&] {
                executor.runPending();
                return condition();
            },
            std::chrono::minutes(1));
    }

    bool allExamined() {
        for (const auto& item : library->items()) {
            if (!item.card->examined()) return false;
        }
        return !library->examining();
    }

    std::string copyClip(const std::string& from, const std::string& name) {
        std::string to = videos.file(name);
        fs::create_directories(fs::path(to).parent_path());
        fs::copy_file(from, to, fs::copy_options::overwrite_existing);
        return to;
    }

    test::TempDir home, videos, converted;
    std::unique_ptr<Service> service;
    TaskQueue executor;
    Page page;
    std::unique_ptr<VideoLibrary> library;
};

TEST_F(Library, DropChecksExtensionNameLengthAndDuplicates) {
    const auto& media = test::mediaFixtures();
    std::string good = copyClip(media.video1080, "clip.MP4");
    std::string wrongCase = copyClip(media.video1080, "clip.Mp4");
    std::string longName = copyClip(media.shortClip, std::string(57, 'n') + ".avi");  // 61
    library->AddDropped({wrongCase, good, longName, good});
    EXPECT_EQ(page.toasts, (std::vector<int>{TOAST_NOT_VIDEO, TOAST_NAME_TOO_LONG, TOAST_EXISTS}));
    ASSERT_EQ(library->items().size(), 1u);
    ASSERT_TRUE(pump([&] { return allExamined(); }));

    // Examined: registered, probed, and its thumbnail made and shared.
    auto card = library->items()[0].card;
    EXPECT_EQ(card->probe().width, "1920");
    ASSERT_EQ(card->key().size(), 32u);
    EXPECT_EQ(library->items()[0].key, card->key());
    std::string thumbnail = home.file("file_root/image/" + card->key() + ".jpg");
    ASSERT_TRUE(pump([&] { return card->thumbUsable(); }));
    EXPECT_EQ(card->thumbnailPath(), thumbnail);
    EXPECT_EQ(service->list(LIST_SOURCE)->count(), 1u);
}

TEST_F(Library, LimitOfSeventyIsTestedOncePerDrop) {
    std::vector<std::string> absent;
    for (int i = 0; i < 69; ++i) absent.push_back(videos.file("gone" + std::to_string(i) + ".mp4"));
    ASSERT_TRUE(library->AddByDialog(absent));
    ASSERT_TRUE(pump([&] { return allExamined(); }));
    EXPECT_EQ(library->items()[0].card->kind(), KIND_MISSING);  // gone before examination
    EXPECT_EQ(library->items()[0].card->previousKind(), KIND_PLAIN);

    std::vector<std::string> five;
    for (int i = 0; i < 5; ++i) five.push_back(videos.file("more" + std::to_string(i) + ".mp4"));
    library->AddDropped(five);
    EXPECT_EQ(library->items().size(), 74u);
    library->AddDropped({videos.file("ignored.mp4")});
    EXPECT_EQ(library->items().size(), 74u);
    EXPECT_FALSE(library->AddByDialog({videos.file("refused.mp4")}));
    EXPECT_EQ(page.toasts.back(), TOAST_FULL);
}

TEST_F(Library, AFileGoneSinceItWasChosenTurnsItsCardMissingAndSaysSo) {
    library->AddByDialog({videos.file("gone.mp4")});
    ASSERT_TRUE(pump([&] { return allExamined(); }));
    const VIDEOINFO_ST item = library->items().at(0);
    EXPECT_EQ(item.card->kind(), KIND_MISSING);
    EXPECT_NE(std::find(page.changedCards.begin(), page.changedCards.end(), item.itemId),
              page.changedCards.end())
        << "its look changed, and whoever draws it must hear of it";
}

TEST_F(Library, FilesWithoutAVideoStreamLeaveAfterExamination) {
    std::string sound = copyClip(test::mediaFixtures().audioOnly, "sound.mp4");
    library->AddDropped({sound});
    ASSERT_TRUE(pump([&] { return library->items().empty(); }));
    EXPECT_EQ(service->list(LIST_SOURCE)->count(), 0u);  // taken out of the catalogue again
}

TEST_F(Library, RefusedRegistrationSharesNoCommonThumbnail) {
    std::string key;
    for (int i = 0; i < 35; ++i)
        service->addFile("/elsewhere/" + std::to_string(i) + ".mp4", 1, &key);
    std::string clip = copyClip(test::mediaFixtures().shortClip, "late.avi");
    library->AddDropped({clip});
    ASSERT_TRUE(pump([&] { return allExamined(); }));
    auto card = library->items()[0].card;
    EXPECT_EQ(card->key(), "");
    EXPECT_FALSE(card->thumbUsable());
    library.reset();  // joins every worker
    EXPECT_FALSE(fs::exists(home.file("file_root/image/.jpg")));
}

TEST_F(Library, ConversionRequestsAndNumberedOutputNames) {
    std::string a = copyClip(test::mediaFixtures().video1080, "a.mp4");
    library->AddDropped({a});
    ASSERT_TRUE(pump([&] { return allExamined(); }));
    test::TempDir::writeTo(converted.file("a.mp4"), "x");
    test::TempDir::writeTo(converted.file("a(1).mp4"), "x");
    library->SetAllChecked(true);

    page.answers = {ANSWER_SKIP};
    EXPECT_EQ(library->QueueConversion(), 0);
    EXPECT_FALSE(library->items()[0].card->checked());

    library->SetAllChecked(true);
    page.answers = {ANSWER_CLOSED};
    EXPECT_EQ(library->QueueConversion(), 0);
    EXPECT_TRUE(page.requests.empty());

    page.answers = {ANSWER_CONTINUE};
    EXPECT_EQ(library->QueueConversion(), 1);
    ASSERT_EQ(page.requests.size(), 1u);
    const ConversionRequest& r = page.requests[0];
    EXPECT_EQ(r.sourcePath, a);
    EXPECT_EQ(r.name, "a(2).mp4");
    EXPECT_EQ(r.width, "1920");
    EXPECT_FALSE(r.duration.empty());
    EXPECT_EQ(page.asked, (std::vector<std::string>{"a.mp4", "a.mp4", "a.mp4"}));

    // A source whose converted name collides: clip.avi becomes clip.mp4.
    EXPECT_EQ(library->UniqueOutputName("clip.mp4"), "clip(1).mp4");
}

TEST_F(Library, FinishedConversionFollowsItsSourceAndIsRemembered) {
    std::string a = copyClip(test::mediaFixtures().shortClip, "a.mp4");
    std::string b = copyClip(test::mediaFixtures().shortClip, "b.mp4");
    library->AddDropped({a, b});
    ASSERT_TRUE(pump([&] { return allExamined(); }));
    std::string output = copyClip(test::mediaFixtures().shortClip, "out/a.mp4");

    library->OnConversionEvent(TE_STARTED, a, "");
    EXPECT_EQ(library->items()[0].card->kind(), KIND_CONVERTING);
    library->OnConversionEvent(TE_DONE, output, a);
    auto items = library->items();
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].card->kind(), KIND_PLAIN);
    EXPECT_EQ(items[1].path, output);
    EXPECT_EQ(items[1].card->kind(), KIND_CONVERTED);
    EXPECT_EQ(page.balloons, (std::vector<std::string>{"a.mp4"}));
    ASSERT_TRUE(pump([&] { return allExamined(); }));
    EXPECT_EQ(service->list(LIST_CONVERTED)->count(), 1u);

    auto relations = LoadRelations(home.file("VideoRelation.xml"));
    ASSERT_EQ(relations.size(), 1u);
    EXPECT_EQ(relations[0].VideoSrcPath, a);
    EXPECT_EQ(relations[0].VideoTargetPath, output);
    std::string text = test::readFile(home.file("VideoRelation.xml"));
    EXPECT_EQ(
        text.rfind("<VideoRelation>\n\t<Item0 VideoSrcPath=\"" + a + "\" VideoTargetPath=", 0), 0u);

    // Converting the same source again is skipped silently.
    library->SetAllChecked(true);
    EXPECT_EQ(library->QueueConversion(), 1);  // b only
    ASSERT_EQ(page.requests.size(), 1u);
    EXPECT_EQ(page.requests[0].sourcePath, b);
    EXPECT_FALSE(library->items()[0].card->checked());

    // After a restart the converted card again follows its source.
    library.reset();
    library = make();
    std::string orphanKey;
    service->addFile(videos.file("elsewhere/z.mp4"), LIST_CONVERTED, &orphanKey);
    library->BuildFromCatalogue();
    items = library->items();
    ASSERT_EQ(items.size(), 4u);
    // The sources come in catalogue order (a drop registers them in parallel).
    std::size_t source = items[0].name == "a.mp4" ? 0 : 1;
    EXPECT_EQ(items[source].name, "a.mp4");
    EXPECT_EQ(items[source + 1].card->kind(), KIND_CONVERTED);
    EXPECT_EQ(items[source + 1].path, output);
    EXPECT_EQ(items[source == 0 ? 2 : 0].name, "b.mp4");
    EXPECT_EQ(items[3].name, "z.mp4");
    EXPECT_EQ(library->relations().size(), 1u);
    ASSERT_TRUE(pump([&] { return allExamined(); }));
    EXPECT_EQ(items[3].card->kind(), KIND_MISSING);
    EXPECT_EQ(items[3].card->previousKind(), KIND_CONVERTED);
}

TEST_F(Library, DeletionByKind) {
    std::vector<std::string> paths;
    for (const char* name : {"plain.mp4", "waiting.mp4", "conv.mp4", "running.mp4"}) {
        paths.push_back(copyClip(test::mediaFixtures().shortClip, name));
    }
    library->AddDropped(paths);
    ASSERT_TRUE(pump([&] { return allExamined(); }));
    std::string output = copyClip(test::mediaFixtures().shortClip, "out/conv.mp4");
    library->OnConversionEvent(TE_DONE, output, paths[2]);
    ASSERT_TRUE(pump([&] { return allExamined(); }));
    library->OnConversionEvent(TE_WAITING, paths[1], "");
    library->OnConversionEvent(TE_STARTED, paths[3], "");
    EXPECT_EQ(service->list(LIST_SOURCE)->count(), 4u);
    EXPECT_EQ(service->list(LIST_CONVERTED)->count(), 1u);
    std::string convertedKey = library->items()[3].card->key();

    page.removeResult = false;  // the running conversion cannot be dropped
    library->SetAllChecked(true);
    EXPECT_EQ(library->EvaluateSelection(), 1);
    library->DeleteItems();
    auto items = library->items();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].name, "running.mp4");
    EXPECT_EQ(service->list(LIST_SOURCE)->count(), 0u);
    EXPECT_EQ(service->list(LIST_CONVERTED)->count(), 0u);
    EXPECT_FALSE(fs::exists(home.file("file_root/" + convertedKey)));
    EXPECT_TRUE(library->relations().empty());
    EXPECT_EQ(page.freed, (std::vector<std::string>{output}));
    ASSERT_EQ(page.removedTasks.size(), 2u);
    EXPECT_EQ(page.removedTasks[0].second, paths[1]);
    for (const auto& path : paths) EXPECT_TRUE(fs::exists(path));  // videos are never deleted
}

TEST_F(Library, SelectionDrivesTheButtons) {
    EXPECT_FALSE(library->AllChecked());
    EXPECT_EQ(library->EvaluateSelection(), 0);
    EXPECT_EQ(page.looks.back(), std::make_pair(2, 0));
    std::string a = copyClip(test::mediaFixtures().shortClip, "a.mp4");
    library->AddDropped({a});
    ASSERT_TRUE(pump([&] { return allExamined(); }));
    std::string id = library->items()[0].itemId;
    library->ToggleChecked(id);
    EXPECT_TRUE(library->AllChecked());
    EXPECT_EQ(page.looks.back(), std::make_pair(1, 1));
    library->OnConversionEvent(TE_WAITING, a, "");
    EXPECT_EQ(library->EvaluateSelection(), 1);
    EXPECT_EQ(page.looks.back(), std::make_pair(1, 0));
    library->SetAllChecked(false);
    EXPECT_FALSE(library->AllChecked());
}

TEST(ShortName, LongBasesAreShortened) {
    EXPECT_EQ(ShortName("a.mp4"), "a.mp4");
    EXPECT_EQ(ShortName("abcdefgh.mp4"), "abcdefgh.mp4");
    EXPECT_EQ(ShortName("abcdefghi.mp4"), "abcdefg...i.mp4");
    EXPECT_EQ(ShortName("holiday_in_rome.mp4"), "holiday...e.mp4");
    EXPECT_EQ(ShortName("一二三四五六七八九十.mkv"), "一二三四五六七...十.mkv");
    EXPECT_EQ(ShortName("noextensionatall"), "noextensionatall");
    EXPECT_EQ(utf16Length("视频.mp4"), 6u);
    EXPECT_EQ(truncateUtf16Units("一二三四", 2), "一二");
    EXPECT_TRUE(IsAcceptedVideoName("x.3GP"));
    EXPECT_FALSE(IsAcceptedVideoName("x.Mkv"));
}

}  // namespace
}  // namespace zorvex
