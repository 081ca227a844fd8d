#include "library/video_library.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>

#include "../transcode/media_fixtures.h"
#include "app/service_catalogue.h"
#include "foundation/home_folder.h"
#include "front/front.h"
#include "library/relation_file.h"
#include "platform/home_layout.h"
#include "platform/utf16_text.h"
#include "platform/utf8_locale.h"
#include "service/service.h"
#include "support/test_support.h"

namespace zorvex {
namespace {

namespace fs = std::filesystem;

// As main() does before any thread starts.
const bool utf8 = EnsureUtf8Locale();

// Hears the library and stands for the queue behind its port.
struct Page : VideoLibraryListener, ConversionPort {
    std::vector<int> toasts;
    std::vector<ConversionRequest> requests;
    std::vector<std::pair<std::string, std::string>> removedTasks;
    bool removeResult = true;
    std::vector<std::string> balloons, asked;
    std::deque<DuplicateAnswer> answers;
    int changes = 0;
    std::vector<std::string> changedCards;
    void onToast(int code) override { toasts.push_back(code); }
    std::string enqueue(const ConversionRequest& r) override {
        requests.push_back(r);
        std::string key = "{KEY-" + std::to_string(requests.size()) + "}";
        sources[key] = r.sourcePath;
        return key;
    }
    // The queue's tasks: their state by source path, their source by key.
    std::map<std::string, TaskPhase> phases;
    std::map<std::string, std::string> sources;
    TaskPhase phase(const std::string& key) const override {
        auto source = sources.find(key);
        if (source == sources.end()) return TaskPhase::None;
        auto at = phases.find(source->second);
        return at == phases.end() ? TaskPhase::None : at->second;
    }
    std::string liveTask(const std::string& path) const override {
        auto at = phases.find(path);
        return at == phases.end() || at->second == TaskPhase::None ? "" : "{LIVE-" + path + "}";
    }
    bool remove(const std::string& taskKey, const std::string& path) override {
        removedTasks.emplace_back(taskKey, path);
        return removeResult;
    }
    void onConversionBalloon(const std::string& name) override { balloons.push_back(name); }
    DuplicateAnswer answer(const std::string& shown) {
        asked.push_back(shown);
        DuplicateAnswer answer = answers.empty() ? ANSWER_SKIP : answers.front();
        if (!answers.empty()) answers.pop_front();
        return answer;
    }
    void onLibraryChanged() override { ++changes; }
    void onCardChanged(const std::string& itemId) override { changedCards.push_back(itemId); }
    void onUnexaminable(const std::string& name) override { unexaminable.push_back(name); }
    std::vector<std::string> unexaminable;
};

class Library : public ::testing::Test {
protected:
    void SetUp() override {
        service = std::make_unique<Service>(home.path());
        catalogue = std::make_unique<ServiceCatalogue>(*service);
        library = make();
    }
    void TearDown() override {
        library.reset();
        catalogue.reset();
        service.reset();
    }

    // probe: the media probe the cards get; the real one when empty.
    std::unique_ptr<VideoLibrary> make(
        std::function<MediaProbeResult(const std::string&)> probe = {},
        std::chrono::milliseconds recheckEvery = {}) {
        VideoLibraryContext context;
        context.probe = std::move(probe);
        context.recheckEvery = recheckEvery;
        context.catalogue = catalogue.get();
        context.executor = &executor;
        context.conversions = &page;
        const HomeLayout layout(home.path());
        context.relationFile = layout.videoRelation();
        context.convertFolder = [this] { return converted.path(); };
        context.ffmpeg = [] { return FfmpegTool{"ffmpeg", "aac"}; };
        context.thumbnailPathFor = [layout](const std::string& key) {
            return layout.thumbnail(key);
        };
        auto made = std::make_unique<VideoLibrary>(context);
        made->subscribe(&page);
        made->LoadRelations();
        return made;
    }

    // The queue's task of this source is now in this state, and says so.
    void setTask(const std::string& path, TaskPhase phase) {
        page.phases[path] = phase;
        page.sources["{LIVE-" + path + "}"] = path;
        library->OnTaskChanged(path);
    }

    // "转码", each question answered by the page in turn.
    bool queueConversion() {
        QueueOutcome outcome = library->QueueConversion();
        while (outcome.question) outcome = library->AnswerDuplicate(page.answer(*outcome.question));
        return outcome.queued;
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

    // What the front makes of the check marks and the cards' kinds.
    SelectionView looks() {
        FrontParts parts;
        parts.library = library.get();
        return Front(parts, executor).selection();
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
    std::unique_ptr<ServiceCatalogue> catalogue;
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
    // The library copies the key when the card's report reaches its thread.
    ASSERT_TRUE(pump([&] { return !library->items()[0].key.empty(); }));
    EXPECT_EQ(library->items()[0].key, card->key());
    std::string thumbnail = home.file("file_root/image/" + card->key() + ".jpg");
    ASSERT_TRUE(pump([&] { return card->thumbUsable(); }));
    EXPECT_EQ(card->thumbnailPath(), thumbnail);
    EXPECT_EQ(service->entries(LIST_SOURCE).size(), 1u);
}

// A phone's list holds 35 videos: a 36th original would be a card no phone
// sees, so it is refused like a full library; converted videos fill the
// other 35 of the 70.
TEST_F(Library, EachListTakesThirtyFiveAndTheLibrarySeventy) {
    std::vector<std::string> absent;
    for (int i = 0; i < 34; ++i) absent.push_back(videos.file("gone" + std::to_string(i) + ".mp4"));
    ASSERT_TRUE(library->AddByDialog(absent));
    ASSERT_TRUE(pump([&] { return allExamined(); }));
    EXPECT_EQ(library->items()[0].card->kind(), KIND_MISSING);  // gone before examination
    EXPECT_EQ(library->items()[0].card->previousKind(), KIND_PLAIN);

    std::vector<std::string> three;
    for (int i = 0; i < 3; ++i) three.push_back(videos.file("more" + std::to_string(i) + ".mp4"));
    page.toasts.clear();
    library->AddDropped(three);
    EXPECT_EQ(library->items().size(), 35u);
    EXPECT_EQ(page.toasts, (std::vector<int>{TOAST_FULL, TOAST_FULL}));

    for (int i = 0; i < 35; ++i) {
        library->OnConverted(absent[static_cast<std::size_t>(i % 34)],
                             videos.file("out/" + std::to_string(i) + ".mp4"));
    }
    EXPECT_EQ(library->items().size(), 70u);
    library->AddDropped({videos.file("ignored.mp4")});
    EXPECT_EQ(library->items().size(), 70u);
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
    EXPECT_EQ(service->entries(LIST_SOURCE).size(), 0u);  // taken out of the catalogue again
    EXPECT_EQ(page.unexaminable, std::vector<std::string>{"sound.mp4"}) << "the user hears why";
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
    EXPECT_FALSE(queueConversion());
    EXPECT_FALSE(library->items()[0].card->checked());

    library->SetAllChecked(true);
    page.answers = {ANSWER_CLOSED};
    EXPECT_FALSE(queueConversion());
    EXPECT_TRUE(page.requests.empty());

    page.answers = {ANSWER_CONTINUE};
    EXPECT_TRUE(queueConversion());
    ASSERT_EQ(page.requests.size(), 1u);
    const ConversionRequest& r = page.requests[0];
    EXPECT_EQ(r.sourcePath, a);
    EXPECT_EQ(r.name, "a(2).mp4");
    EXPECT_EQ(r.width, "1920");
    EXPECT_FALSE(r.duration.empty());
    EXPECT_EQ(page.asked, (std::vector<std::string>{"a.mp4", "a.mp4", "a.mp4"}));
}

// The batch waits at a duplicate's question, with nothing asked of the queue
// for the cards after it, and goes on from there; every subscriber hears.
TEST_F(Library, DuplicateQuestionHoldsTheBatchUntilAnswered) {
    Page other;
    library->subscribe(&other);
    std::string a = copyClip(test::mediaFixtures().shortClip, "a.mp4");
    std::string b = copyClip(test::mediaFixtures().shortClip, "b.mp4");
    std::string c = copyClip(test::mediaFixtures().shortClip, "c.mp4");
    library->AddDropped({a, b, c});
    ASSERT_TRUE(pump([&] { return allExamined(); }));
    test::TempDir::writeTo(converted.file("b.mp4"), "an earlier conversion");
    library->SetAllChecked(true);

    QueueOutcome outcome = library->QueueConversion();
    ASSERT_EQ(outcome.question, std::optional<std::string>("b.mp4"));
    EXPECT_FALSE(outcome.queued);
    ASSERT_EQ(page.requests.size(), 1u);
    EXPECT_EQ(page.requests[0].sourcePath, a);
    outcome = library->AnswerDuplicate(ANSWER_CONTINUE);
    EXPECT_FALSE(outcome.question);
    EXPECT_TRUE(outcome.queued);
    ASSERT_EQ(page.requests.size(), 3u);
    EXPECT_EQ(page.requests[1].name, "b(1).mp4");
    EXPECT_EQ(page.requests[2].sourcePath, c);
    EXPECT_EQ(other.changedCards, page.changedCards);
    EXPECT_EQ(other.changes, page.changes);

    // Closed ends the batch at the question's card; a late answer does nothing.
    library->unsubscribe(&other);
    library->SetAllChecked(true);
    test::TempDir::writeTo(converted.file("a.mp4"), "an earlier conversion");
    outcome = library->QueueConversion();
    ASSERT_TRUE(outcome.question);
    outcome = library->AnswerDuplicate(ANSWER_CLOSED);
    EXPECT_FALSE(outcome.question || outcome.queued);
    outcome = library->AnswerDuplicate(ANSWER_CONTINUE);
    EXPECT_FALSE(outcome.question || outcome.queued);
    EXPECT_EQ(page.requests.size(), 3u);
    EXPECT_TRUE(other.toasts.empty() && other.requests.empty());
}

TEST_F(Library, FinishedConversionFollowsItsSourceAndIsRemembered) {
    std::string a = copyClip(test::mediaFixtures().shortClip, "a.mp4");
    std::string b = copyClip(test::mediaFixtures().shortClip, "b.mp4");
    library->AddDropped({a, b});
    ASSERT_TRUE(pump([&] { return allExamined(); }));
    std::string output = copyClip(test::mediaFixtures().shortClip, "out/a.mp4");

    setTask(a, TaskPhase::Running);
    EXPECT_EQ(library->KindOf(library->items()[0]), KIND_CONVERTING);
    page.phases[a] = TaskPhase::None;  // the queue's task is done before it tells
    library->OnConverted(a, output);
    auto items = library->items();
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(library->KindOf(items[0]), KIND_PLAIN);
    EXPECT_EQ(items[1].path, output);
    EXPECT_EQ(items[1].card->kind(), KIND_CONVERTED);
    EXPECT_EQ(page.balloons, (std::vector<std::string>{"a.mp4"}));
    ASSERT_TRUE(pump([&] { return allExamined(); }));
    EXPECT_EQ(service->entries(LIST_CONVERTED).size(), 1u);

    auto relations = LoadRelations(home.file("VideoRelation.xml")).relations;
    ASSERT_EQ(relations.size(), 1u);
    EXPECT_EQ(relations[0].VideoSrcPath, a);
    EXPECT_EQ(relations[0].VideoTargetPath, output);
    std::string text = test::readFile(home.file("VideoRelation.xml"));
    EXPECT_EQ(
        text.rfind("<VideoRelation>\n\t<Item0 VideoSrcPath=\"" + a + "\" VideoTargetPath=", 0), 0u);

    // Converting the same source again is skipped silently.
    library->SetAllChecked(true);
    EXPECT_TRUE(queueConversion());  // b only
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

    // Its file comes back: the card is what it was, examined, with a thumbnail.
    const auto& back = items[3].card;
    copyClip(test::mediaFixtures().shortClip, "elsewhere/z.mp4");
    library->OnFileStatus(videos.file("elsewhere/nothing.mp4"), true);
    library->RecheckFiles();
    ASSERT_TRUE(pump([&] { return back->examined() && back->thumbUsable(); }));
    EXPECT_EQ(back->kind(), KIND_CONVERTED);
    EXPECT_FALSE(back->probe().duration.empty());

    // Moved away and back while the application runs, with nobody asking:
    // the library's own look finds both.
    library.reset();
    library = make({}, std::chrono::milliseconds(20));
    library->BuildFromCatalogue();
    ASSERT_TRUE(pump([&] { return allExamined(); }));
    auto card = library->items()[3].card;
    ASSERT_EQ(card->kind(), KIND_CONVERTED);
    std::filesystem::rename(videos.file("elsewhere/z.mp4"), videos.file("z.mp4"));
    ASSERT_TRUE(pump([&] { return card->kind() == KIND_MISSING; }));
    EXPECT_EQ(page.changedCards.back(), library->items()[3].itemId);
    std::filesystem::rename(videos.file("z.mp4"), videos.file("elsewhere/z.mp4"));
    ASSERT_TRUE(pump([&] { return card->kind() == KIND_CONVERTED && card->examined(); }));

    // A video added in this run goes away and comes back: phones still see it once.
    const std::string added = copyClip(test::mediaFixtures().shortClip, "added.mp4");
    ASSERT_TRUE(library->AddByDialog({added}));
    ASSERT_TRUE(pump([&] { return allExamined(); }));
    card = library->items().back().card;
    std::filesystem::rename(added, added + ".away");
    ASSERT_TRUE(pump([&] { return card->kind() == KIND_MISSING; }));
    std::filesystem::rename(added + ".away", added);
    ASSERT_TRUE(pump([&] { return card->kind() == KIND_PLAIN && card->examined(); }));
    std::size_t shared = 0;
    for (const CatalogueEntry& entry : service->entries(LIST_SOURCE)) shared += entry.path == added;
    EXPECT_EQ(shared, 1u);
}

// Outputs that are not named as their sources (clip.mkv gives clip.mp4, a
// kept duplicate a(1).mp4), and sources of one name in two folders: a task
// belongs to its source by path, before and after a restart.
TEST_F(Library, ConversionsBelongToTheirSourceByPathNotByName) {
    std::string mkv = copyClip(test::mediaFixtures().shortClip, "one/clip.mkv");
    std::string twin = copyClip(test::mediaFixtures().shortClip, "two/clip.mkv");
    std::string a = copyClip(test::mediaFixtures().shortClip, "one/a.mp4");
    library->AddDropped({mkv, twin, a});
    ASSERT_TRUE(pump([&] { return allExamined(); }));
    auto at = [&](std::size_t i) { return library->items().at(i); };

    // Both clip.mkv would become clip.mp4, one of them still to be written:
    // the second is asked about and numbered, never made to overwrite.
    test::TempDir::writeTo(converted.file("a.mp4"), "an earlier conversion");
    library->SetAllChecked(true);
    page.answers = {ANSWER_CONTINUE, ANSWER_CONTINUE};
    ASSERT_TRUE(queueConversion());
    ASSERT_EQ(page.requests.size(), 3u);
    EXPECT_EQ(page.requests[0].name, "clip.mkv");
    EXPECT_EQ(page.requests[1].name, "clip(1).mp4");
    EXPECT_EQ(page.requests[2].name, "a(1).mp4");
    EXPECT_EQ(page.asked, (std::vector<std::string>{"clip.mp4", "a.mp4"}));

    for (const std::string& source : {mkv, twin, a}) setTask(source, TaskPhase::Running);
    std::string out1 = copyClip(test::mediaFixtures().shortClip, "out/clip.mp4");
    std::string out2 = copyClip(test::mediaFixtures().shortClip, "out/clip(1).mp4");
    std::string out3 = copyClip(test::mediaFixtures().shortClip, "out/a(1).mp4");
    // The queue reports the output, then that its source is done.
    page.phases.clear();
    library->OnConverted(twin, out2);
    library->OnConverted(a, out3);
    library->OnConverted(mkv, out1);
    std::vector<std::string> order;
    for (const auto& item : library->items()) order.push_back(item.path);
    EXPECT_EQ(order, (std::vector<std::string>{mkv, out1, twin, out2, a, out3}));
    for (std::size_t i : {0u, 2u, 4u}) EXPECT_EQ(library->KindOf(at(i)), KIND_PLAIN) << order[i];
    ASSERT_TRUE(pump([&] { return allExamined(); }));

    // After a restart each converted card follows its own source, once.
    library.reset();
    library = make();
    library->BuildFromCatalogue();
    std::vector<std::string> rebuilt;
    for (const auto& item : library->items()) rebuilt.push_back(item.path);
    std::vector<std::string> sources;
    for (const auto& e : service->entries(LIST_SOURCE)) sources.push_back(e.path);
    std::vector<std::string> expected;
    for (const std::string& source : sources) {
        expected.push_back(source);
        expected.push_back(source == mkv ? out1 : source == twin ? out2 : out3);
    }
    EXPECT_EQ(rebuilt, expected);
}

TEST_F(Library, SkippedCardsLoseTheirMarkVisiblyAndQueuedOnesAreNotAskedAgain) {
    std::string a = copyClip(test::mediaFixtures().shortClip, "a.mp4");
    std::string b = copyClip(test::mediaFixtures().shortClip, "b.mp4");
    library->AddDropped({a, b});
    ASSERT_TRUE(pump([&] { return allExamined(); }));
    setTask(a, TaskPhase::Waiting);
    library->SetAllChecked(true);
    page.changedCards.clear();
    ASSERT_TRUE(queueConversion());
    ASSERT_EQ(page.requests.size(), 1u);
    EXPECT_EQ(page.requests[0].sourcePath, b);
    auto items = library->items();
    EXPECT_FALSE(items[0].card->checked());
    EXPECT_EQ(page.changedCards.front(), items[0].itemId) << "its mark must be redrawn";

    // Deleting the queued card drops its task by the key the queue gave.
    setTask(b, TaskPhase::Running);
    items[1].card->setChecked(true);
    library->DeleteItems();
    ASSERT_EQ(page.removedTasks.size(), 1u);
    EXPECT_EQ(page.removedTasks[0], std::make_pair(std::string("{KEY-1}"), b));
}

// The card keeps no copy of its task's state: each look is read through the
// port, and a task the library did not ask for (restored at start) is
// learned by its source's path when the queue tells of it.
TEST_F(Library, CardLookFollowsItsTaskThroughThePort) {
    std::string a = copyClip(test::mediaFixtures().shortClip, "a.mp4");
    std::string b = copyClip(test::mediaFixtures().shortClip, "b.mp4");
    library->AddDropped({a, b});
    ASSERT_TRUE(pump([&] { return allExamined(); }));
    library->ToggleChecked(library->items()[0].itemId);
    ASSERT_TRUE(queueConversion());
    auto kindOfA = [&] { return library->KindOf(library->items()[0]); };
    EXPECT_EQ(kindOfA(), KIND_PLAIN);  // nothing waits yet
    page.phases[a] = TaskPhase::Waiting;
    EXPECT_EQ(kindOfA(), KIND_WAITING);
    page.phases[a] = TaskPhase::Running;
    EXPECT_EQ(kindOfA(), KIND_CONVERTING);
    EXPECT_FALSE(looks().convert);
    page.phases[a] = TaskPhase::None;  // failed
    EXPECT_EQ(kindOfA(), KIND_PLAIN);
    EXPECT_TRUE(looks().convert);

    page.changedCards.clear();
    setTask(b, TaskPhase::Waiting);
    EXPECT_EQ(page.changedCards, (std::vector<std::string>{library->items()[1].itemId}));
    EXPECT_EQ(library->items()[1].taskKey, "{LIVE-" + b + "}");
    EXPECT_EQ(library->KindOf(library->items()[1]), KIND_WAITING);
}

TEST_F(Library, NamesLongerThanPhonesShowAreSharedWhole) {
    ASSERT_TRUE(utf8);  // MediaInfo opens the Chinese path
    // Thirty-one Chinese characters: 35 of the 60 characters, 66 bytes of GBK.
    std::string name;
    for (int i = 0; i < 31; ++i) name += "视";
    name += ".mp4";
    std::string wide = copyClip(test::mediaFixtures().shortClip, name);
    library->AddDropped({wide});
    EXPECT_TRUE(page.toasts.empty());
    ASSERT_EQ(library->items().size(), 1u);
    ASSERT_TRUE(pump([&] { return allExamined(); }));
    ASSERT_EQ(library->items().size(), 1u) << "examined and kept";
    EXPECT_EQ(library->items()[0].name, name);
    auto shared = service->entries(LIST_SOURCE);
    ASSERT_EQ(shared.size(), 1u);
    EXPECT_EQ(shared[0].name, name);
}

TEST_F(Library, DeletionByKind) {
    std::vector<std::string> paths;
    for (const char* name : {"plain.mp4", "waiting.mp4", "conv.mp4", "running.mp4"}) {
        paths.push_back(copyClip(test::mediaFixtures().shortClip, name));
    }
    library->AddDropped(paths);
    ASSERT_TRUE(pump([&] { return allExamined(); }));
    std::string output = copyClip(test::mediaFixtures().shortClip, "out/conv.mp4");
    library->OnConverted(paths[2], output);
    ASSERT_TRUE(pump([&] { return allExamined(); }));
    setTask(paths[1], TaskPhase::Waiting);
    setTask(paths[3], TaskPhase::Running);
    EXPECT_EQ(service->entries(LIST_SOURCE).size(), 4u);
    EXPECT_EQ(service->entries(LIST_CONVERTED).size(), 1u);
    std::string convertedKey = library->items()[3].card->key();

    // A queue that no longer holds the running card's task has finished
    // with it: the card goes all the same, not half (entry gone, card kept).
    page.removeResult = false;
    library->SetAllChecked(true);
    EXPECT_TRUE(looks().actions);
    library->DeleteItems();
    EXPECT_TRUE(library->items().empty());
    EXPECT_EQ(service->entries(LIST_SOURCE).size(), 0u);
    EXPECT_EQ(service->entries(LIST_CONVERTED).size(), 0u);
    EXPECT_FALSE(fs::exists(home.file("file_root/" + convertedKey)));
    EXPECT_TRUE(library->relations().empty());
    ASSERT_EQ(page.removedTasks.size(), 2u);
    EXPECT_EQ(page.removedTasks[0].second, paths[1]);
    for (const auto& path : paths) EXPECT_TRUE(fs::exists(path));  // videos are never deleted
}

// The check marks and the cards' kinds make one value for the page's buttons.
TEST_F(Library, SelectionDrivesTheButtons) {
    using Looks = SelectionView;
    EXPECT_EQ(looks(), (Looks{false, false, false}));
    std::string a = copyClip(test::mediaFixtures().shortClip, "a.mp4");
    std::string b = copyClip(test::mediaFixtures().shortClip, "b.mp4");
    library->AddDropped({a, b});
    ASSERT_TRUE(pump([&] { return allExamined(); }));
    library->ToggleChecked(library->items()[0].itemId);
    EXPECT_EQ(looks(), (Looks{true, true, false}));
    setTask(a, TaskPhase::Waiting);
    EXPECT_EQ(looks(), (Looks{false, true, false}));
    library->SetAllChecked(true);
    EXPECT_EQ(looks(), (Looks{true, true, true}));
    library->SetAllChecked(false);
    EXPECT_EQ(looks(), (Looks{false, false, false}));
}

// A media probe that holds each call until the test lets it go, and
// remembers the order of the calls and how many ran at once.
class GatedProbe {
public:
    MediaProbeResult operator()(const std::string& path) {
        std::unique_lock lock(mutex_);
        calls_.push_back(path);
        ++running_;
        most_ = std::max(most_, running_);
        changed_.notify_all();
        changed_.wait(lock, [&] { return open_ > 0; });
        --open_;
        --running_;
        return {"1000", "10", "1920", "1080", "1000"};
    }
    void letOneGo() {
        std::lock_guard lock(mutex_);
        ++open_;
        changed_.notify_all();
    }
    void openAll() {
        std::lock_guard lock(mutex_);
        open_ = 1 << 20;
        changed_.notify_all();
    }
    std::size_t calls() {
        std::lock_guard lock(mutex_);
        return calls_.size();
    }
    std::vector<std::string> order() {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    int most() {
        std::lock_guard lock(mutex_);
        return most_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> calls_;
    int running_ = 0, most_ = 0, open_ = 0;
};

TEST_F(Library, ExaminationHandsOverOneCardAtATimeInOrderAndStopsWhenClosing) {
    auto gate = std::make_shared<GatedProbe>();
    // Whatever fails below, no worker stays held when the library goes.
    std::unique_ptr<GatedProbe, void (*)(GatedProbe*)> release(gate.get(),
                                                               [](GatedProbe* g) { g->openAll(); });
    library = make([gate](const std::string& path) { return (*gate)(path); });
    std::vector<std::string> paths;
    for (const char* name : {"1.mp4", "2.mp4", "3.mp4", "4.mp4"}) {
        paths.push_back(videos.write(name, "not probed for real"));
    }
    ASSERT_TRUE(library->AddByDialog(paths));
    ASSERT_TRUE(test::waitUntil([&] { return gate->calls() == 1; }));
    EXPECT_TRUE(library->examining());
    auto items = library->items();
    EXPECT_FALSE(items[1].card->sourceSet());  // the next waits for the first's report
    // A card still waiting for its turn already counts: the same file is not added twice.
    page.toasts.clear();
    ASSERT_TRUE(library->AddByDialog({paths[3]}));
    EXPECT_EQ(page.toasts, std::vector<int>{TOAST_EXISTS});
    EXPECT_EQ(library->items().size(), 4u);

    gate->letOneGo();
    ASSERT_TRUE(pump([&] { return gate->calls() == 2; }));
    EXPECT_TRUE(items[0].card->examined());
    EXPECT_FALSE(items[2].card->sourceSet());

    library->setClosing();
    gate->letOneGo();
    ASSERT_TRUE(pump([&] { return items[1].card->examined() && !library->examining(); }));
    executor.runPending();
    EXPECT_FALSE(items[2].card->sourceSet());  // closing: no further card
    EXPECT_EQ(gate->order(), (std::vector<std::string>{paths[0], paths[1]}));
    EXPECT_EQ(gate->most(), 1);
}

TEST_F(Library, DeletingTheCardUnderExaminationPassesToTheNext) {
    std::string a = copyClip(test::mediaFixtures().shortClip, "a.mp4");
    std::string b = copyClip(test::mediaFixtures().shortClip, "b.mp4");
    ASSERT_TRUE(library->AddByDialog({a, b}));
    auto items = library->items();
    // Examined, but its report still waits in the library's queue.
    ASSERT_TRUE(test::waitUntil([&] { return items[0].card->examined(); }));
    EXPECT_FALSE(items[1].card->sourceSet());
    items[0].card->setChecked(true);
    library->DeleteItems();
    EXPECT_TRUE(items[1].card->sourceSet());
    ASSERT_TRUE(pump([&] { return allExamined(); }));
    ASSERT_EQ(library->items().size(), 1u);
    EXPECT_EQ(library->items()[0].path, b);
}

TEST_F(Library, ACardDeletedWhileItsExaminationWaitsIsNeverExamined) {
    auto gate = std::make_shared<GatedProbe>();
    std::unique_ptr<GatedProbe, void (*)(GatedProbe*)> release(gate.get(),
                                                               [](GatedProbe* g) { g->openAll(); });
    library = make([gate](const std::string& path) { return (*gate)(path); });
    const std::string a = videos.write("a.mp4", "not probed for real");
    ASSERT_TRUE(library->AddByDialog({a}));
    gate->letOneGo();
    ASSERT_TRUE(pump([&] { return allExamined(); }));
    const auto card = library->items().at(0).card;
    fs::rename(a, a + ".away");
    library->RecheckFiles();
    ASSERT_EQ(card->kind(), KIND_MISSING);

    // b holds the examiner while a, back, waits behind it.
    const std::string b = videos.write("b.mp4", "not probed for real");
    ASSERT_TRUE(library->AddByDialog({b}));
    ASSERT_TRUE(test::waitUntil([&] { return gate->calls() == 2; }));
    fs::rename(a + ".away", a);
    library->RecheckFiles();
    ASSERT_NE(card->kind(), KIND_MISSING);
    card->setChecked(true);
    library->DeleteItems();  // returns without waiting for b's probe
    gate->openAll();
    ASSERT_TRUE(pump([&] { return allExamined(); }));
    EXPECT_EQ(gate->order(), (std::vector<std::string>{a, b}));
    EXPECT_FALSE(card->examined());
}

TEST_F(Library, ADamagedRelationFileIsKeptAsideAndItsWholeItemsStay) {
    SetModuleDir(home.path());  // the log line goes to this home
    std::string garbage = "<VideoRelation><Item0 VideoSrcPath=\"/v/a.mp4\"";
    home.write("VideoRelation.xml", garbage);
    library = make();
    EXPECT_TRUE(library->relations().empty());
    std::string kept;
    for (auto& e : fs::directory_iterator(home.path())) {
        std::string name = e.path().filename().string();
        if (name.rfind("VideoRelation.xml.damaged-", 0) == 0) kept = e.path().string();
    }
    ASSERT_FALSE(kept.empty());
    EXPECT_EQ(test::readFile(kept), garbage);
    EXPECT_FALSE(fs::exists(home.file("VideoRelation.xml")));
    ASSERT_TRUE(library->SaveRelations());
    EXPECT_EQ(test::readFile(kept), garbage);
    fs::remove(kept);

    // Torn inside its third item: the two whole ones come back and are saved.
    ASSERT_TRUE(SaveRelations(
        home.file("VideoRelation.xml"),
        {{"/v/0.avi", "/c/0.mp4"}, {"/v/1.avi", "/c/1.mp4"}, {"/v/2.avi", "/c/2.mp4"}}));
    std::string whole = test::readFile(home.file("VideoRelation.xml"));
    for (std::size_t cut : {whole.find("/c/2.mp4") + 7, whole.find("<Item2") + 3}) {
        home.write("VideoRelation.xml", whole.substr(0, cut));
        library = make();
        ASSERT_EQ(library->relations().size(), 2u) << cut;
        EXPECT_EQ(library->relations()[1].VideoTargetPath, "/c/1.mp4");
        EXPECT_EQ(LoadRelations(home.file("VideoRelation.xml")).relations.size(), 2u);
    }
    std::string log;
    for (auto& e : fs::directory_iterator(home.file("PTTLog"))) log += test::readFile(e.path());
    EXPECT_NE(log.find("; 2 items recovered); kept as "), std::string::npos) << log;
    SetModuleDir("");
}

TEST(RelationFile, SavedRelationsLoadBackWithForwardSlashes) {
    test::TempDir home;
    std::string file = home.file("VideoRelation.xml");
    EXPECT_EQ(LoadRelations(file).status, StoredFileStatus::Missing);
    ASSERT_TRUE(SaveRelations(
        file, {{"D:\\v\\a.mp4", "E:\\out\\a.mp4"}, {"/视频/\"<&>'.mp4", "/out/\"<&>'.mp4"}}));
    EXPECT_EQ(test::readFile(file).rfind("<VideoRelation>\n\t<Item0 VideoSrcPath=\"D:/v/a.mp4\" "
                                         "VideoTargetPath=\"E:/out/a.mp4\" />\n\t<Item1 ",
                                         0),
              0u);
    RelationsLoad load = LoadRelations(file);
    ASSERT_EQ(load.status, StoredFileStatus::Ok);
    ASSERT_EQ(load.relations.size(), 2u);
    EXPECT_EQ(load.relations[0].VideoSrcPath, "D:/v/a.mp4");
    EXPECT_EQ(load.relations[0].VideoTargetPath, "E:/out/a.mp4");
    EXPECT_EQ(load.relations[1].VideoSrcPath, "/视频/\"<&>'.mp4");
    EXPECT_EQ(load.relations[1].VideoTargetPath, "/out/\"<&>'.mp4");

    // Elements missing a path are skipped; a file that is no XML is damaged.
    home.write("VideoRelation.xml",
               "<R><A VideoSrcPath=\"/s\"/><B VideoSrcPath=\"/s\" VideoTargetPath=\"/t\"/></R>");
    load = LoadRelations(file);
    ASSERT_EQ(load.relations.size(), 1u);
    EXPECT_EQ(load.relations[0].VideoTargetPath, "/t");
    home.write("VideoRelation.xml", "");
    EXPECT_EQ(LoadRelations(file).status, StoredFileStatus::Damaged);
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
