#include "transcode/conversion_queue.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <vector>

#include "foundation/home_folder.h"
#include "foundation/log_recorder.h"
#include "media_fixtures.h"
#include "platform/file_util.h"
#include "platform/home_layout.h"
#include "platform/utf16_text.h"
#include "support/test_support.h"
#include "transcode/convert_list_file.h"

namespace zorvex {
namespace {

// A stand-in FFmpeg that converts nothing until the test says how it ends:
// it waits for "<output>.go" beside the final name (it writes under a hidden
// one), prints one progress line, then writes WHOLE (a video as long as the
// tasks' sources) and exits 0 for "ok", writes CUT (a video of a second) and
// exits 0 for "short", or exits 1.
constexpr const char* kControlledFfmpeg = R"sh(for last; do :; done
name=${last##*/}; name=${name#.}; final="${last%/*}/${name%.part-*}"
while [ ! -e "$final.go" ]; do sleep 0.02; done
printf 'frame=1 time=00:00:01.00 bitrate=1\r' >&2
case "$(cat "$final.go")" in
  ok) cat "WHOLE" > "$last"; exit 0;;
  short) cat "CUT" > "$last"; exit 0;;
esac
exit 1
)sh";

struct Events : ConversionQueueListener {
    std::vector<std::pair<int, std::string>> events;
    std::vector<std::pair<std::string, std::string>> converted;
    std::vector<std::string> messages;
    int changes = 0;
    // What the queue answers about the source's live task while it tells:
    // the task is in its place with its state by then.
    const ConversionQueue* queue = nullptr;
    std::vector<std::optional<TaskState>> toldStates;
    void onTaskEvent(TaskEvent code, const std::string& path) override {
        events.emplace_back(code, path);
        if (queue) toldStates.push_back(queue->StateOf(queue->LiveTaskOf(path)));
    }
    void onConverted(const std::string& source, const std::string& output) override {
        converted.emplace_back(source, output);
    }
    void onJobMessage(const std::string& text) override { messages.push_back(text); }
    void onQueueChanged() override { ++changes; }
    void onProgress(const std::string&, std::uint32_t) override {}
};

struct RecordingKeepAwake : KeepAwake {
    std::vector<std::string> calls;
    void hold() override { calls.push_back("hold"); }
    void release() override { calls.push_back("release"); }
};

class Queue : public ::testing::Test {
protected:
    void SetUp() override {
        std::string script = kControlledFfmpeg;
        script.replace(script.find("WHOLE"), 5, test::mediaFixtures().longClip);
        script.replace(script.find("CUT"), 3, test::mediaFixtures().shortClip);
        ffmpeg = test::writeScript(tools.path(), "ffmpeg", script);
        queue = makeQueue();
    }

    std::unique_ptr<ConversionQueue> makeQueue() {
        ConversionQueueContext context;
        context.executor = &executor;
        context.keepAwake = &keepAwake;
        context.listFile = HomeLayout(home.path()).convertList();
        context.runningFile = HomeLayout(home.path()).runningConversions();
        if (keepQueue) context.queueFile = HomeLayout(home.path()).queuedConversions();
        makeDirectories(HomeLayout(home.path()).appDataFolder());
        context.videoConvertRatio = [] { return 1; };
        context.comSleepUnSleep = [this] { return comSleep; };
        context.convertFolder = [this] { return out.path(); };
        context.ffmpeg = [this] { return FfmpegTool{ffmpeg, "aac"}; };
        auto made = std::make_unique<ConversionQueue>(context);
        made->subscribe(&events);
        events.queue = made.get();
        return made;
    }

    std::string add(const std::string& name) {
        // As long as the long fixture, 40 s.
        return queue->AddTask(name, videos.file(name), "104857600", "/thumb.jpg", "40000", "1920",
                              "1080");
    }

    // Lets the running task's FFmpeg end and waits until the queue has heard of it.
    void finish(const std::string& key, bool ok) { finish(key, ok ? "ok" : "fail"); }
    void finish(const std::string& key, const char* how) {
        auto view = queue->task(key);
        ASSERT_TRUE(view);
        // Whole or not at all: the script must never read a half-written answer.
        ASSERT_TRUE(writeFileAtomic(view->outputPath + ".go", how));
        ASSERT_TRUE(test::waitUntil([&] {
            executor.runPending();
            auto now = queue->task(key);
            return !now || now->state != TASK_RUNNING;
        }));
    }

    std::vector<std::string> order() const {
        std::vector<std::string> names;
        for (const auto& t : queue->tasks()) names.push_back(t.item.VideoName);
        return names;
    }
    std::vector<int> states() const {
        std::vector<int> values;
        for (const auto& t : queue->tasks()) values.push_back(t.state);
        return values;
    }

    test::TempDir home, videos, out, tools;
    std::string ffmpeg;
    TaskQueue executor;
    Events events;
    RecordingKeepAwake keepAwake;
    int comSleep = 1;
    bool keepQueue = false;
    std::unique_ptr<ConversionQueue> queue;
};

TEST_F(Queue, AnOutputFinishedAsTheApplicationEndedIsKeptAtTheNextStart) {
    auto restart = [&] {
        queue = makeQueue();
        queue->LoadQueueFile();
        queue->AdoptFinishedOutputs();
    };
    // Ended midway: nothing to keep.
    add("cut.avi");
    queue.reset();
    restart();
    EXPECT_TRUE(queue->tasks().empty());

    // FFmpeg ended and the job named the output, but the application ended
    // before the queue heard of it.
    std::string output = queue->task(add("a.avi"))->outputPath;
    ASSERT_TRUE(writeFileAtomic(output + ".go", "ok"));
    ASSERT_TRUE(test::waitUntil([&] { return isRegularFile(output); }));
    queue.reset();
    std::filesystem::remove(output + ".go");
    restart();
    ASSERT_EQ(states(), std::vector<int>{TASK_DONE});
    EXPECT_EQ(queue->tasks()[0].outputPath, output);
    using Pairs = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(events.converted, (Pairs{{videos.file("a.avi"), output}}));
    auto saved = LoadConvertList(HomeLayout(home.path()).convertList()).records;
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].item.VideoPath, output);
    EXPECT_FALSE(pathExists(HomeLayout(home.path()).runningConversions()));
    restart();  // once only
    EXPECT_EQ(queue->tasks().size(), 1u);
    EXPECT_EQ(events.converted.size(), 1u);
}

// The end of the queue's life is a crash here: nothing is saved on the way out.
TEST_F(Queue, UnfinishedTasksComeBackInOrderAfterACrashAndNoneRunsTwice) {
    keepQueue = true;
    queue = makeQueue();
    auto restart = [&] {
        queue = makeQueue();
        events.events.clear();
        events.toldStates.clear();
        queue->LoadQueueFile();
        queue->AdoptFinishedOutputs();
        queue->ResumeWaiting();
    };
    for (const char* name : {"a.avi", "b.avi", "c.avi", "d.avi", "gone.avi"})
        videos.write(name, "");
    std::string a = add("a.avi");
    for (const char* name : {"b.avi", "c.avi", "d.avi", "gone.avi"}) add(name);
    queue->Refresh();
    finish(a, false);
    queue->PinToTop(queue->tasks()[2].item.TaskKey);  // d after the running b
    std::filesystem::remove(videos.file("gone.avi"));
    restart();
    EXPECT_EQ(order(), (std::vector<std::string>{"b.avi", "d.avi", "c.avi", "a.avi"}));
    EXPECT_EQ(states(), (std::vector<int>{TASK_RUNNING, TASK_WAITING, TASK_WAITING, TASK_FAILED}));
    EXPECT_EQ(queue->tasks()[3].failReason, "FFmpeg 异常退出（1）");
    EXPECT_EQ(events.events.front(), std::make_pair(int(TE_WAITING), videos.file("b.avi")));
    EXPECT_EQ(events.events.back(), std::make_pair(int(TE_STARTED), videos.file("b.avi")));
    using Told = std::vector<std::optional<TaskState>>;
    EXPECT_EQ(events.toldStates, (Told{TASK_WAITING, TASK_WAITING, TASK_WAITING, TASK_RUNNING}));

    // b's output is whole, but the run ends before the queue hears of it.
    std::string output = queue->tasks()[0].outputPath;
    ASSERT_TRUE(writeFileAtomic(output + ".go", "ok"));
    ASSERT_TRUE(test::waitUntil([&] { return isRegularFile(output); }));
    queue.reset();
    std::filesystem::remove(output + ".go");
    restart();
    EXPECT_EQ(order(), (std::vector<std::string>{"d.avi", "c.avi", "a.avi", "b.avi"}));
    EXPECT_EQ(states(), (std::vector<int>{TASK_RUNNING, TASK_WAITING, TASK_FAILED, TASK_DONE}));
    EXPECT_EQ(events.converted.size(), 1u);
    restart();
    EXPECT_EQ(states(), (std::vector<int>{TASK_RUNNING, TASK_WAITING, TASK_FAILED, TASK_DONE}));
}

TEST_F(Queue, RunsOneAtATimeInTheOrderAdded) {
    Events second;  // hears what the first hears, in the same order
    queue->subscribe(&second);
    std::string a = add("a.avi");
    add("b.avi");
    add("c.avi");
    EXPECT_EQ(order(), (std::vector<std::string>{"a.avi", "b.avi", "c.avi"}));
    EXPECT_EQ(states(), (std::vector<int>{TASK_RUNNING, TASK_WAITING, TASK_WAITING}));
    EXPECT_EQ(events.events.front(), std::make_pair(int(TE_STARTED), videos.file("a.avi")));
    EXPECT_EQ(events.events[1].first, TE_WAITING);
    EXPECT_EQ(events.toldStates[1], TASK_WAITING);
    std::string key = queue->tasks().front().item.TaskKey;
    EXPECT_EQ(key.size(), 38u);
    EXPECT_EQ(key.front(), '{');
    EXPECT_NE(key, queue->tasks()[1].item.TaskKey);

    finish(a, true);
    // b moved to the top and runs; a heads the finished tasks.
    EXPECT_EQ(order(), (std::vector<std::string>{"b.avi", "c.avi", "a.avi"}));
    EXPECT_EQ(states(), (std::vector<int>{TASK_RUNNING, TASK_WAITING, TASK_DONE}));
    ASSERT_EQ(events.converted.size(), 1u);
    EXPECT_EQ(events.converted[0].first, videos.file("a.avi"));
    EXPECT_EQ(events.converted[0].second, out.path() + "/a.mp4");
    EXPECT_EQ(queue->tasks()[2].item.VideoPath, out.path() + "/a.mp4");

    finish(queue->tasks()[0].item.TaskKey, true);
    EXPECT_EQ(order(), (std::vector<std::string>{"c.avi", "b.avi", "a.avi"}));
    EXPECT_EQ(queue->IsQueued("c.avi", videos.file("c.avi")), TASK_RUNNING);
    queue->StopAll(true);
    EXPECT_EQ(second.events, events.events);
    EXPECT_EQ(second.converted, events.converted);
    EXPECT_EQ(second.changes, events.changes);
    queue->unsubscribe(&second);
}

TEST_F(Queue, FailureMovesAboveFinishedAndTheNextStarts) {
    std::string r = add("r.avi");
    finish(r, true);  // one finished task
    std::string running = add("x.avi");
    add("w1.avi");
    add("w2.avi");
    EXPECT_EQ(order(), (std::vector<std::string>{"x.avi", "w1.avi", "w2.avi", "r.avi"}));
    finish(running, false);
    EXPECT_EQ(order(), (std::vector<std::string>{"w1.avi", "w2.avi", "x.avi", "r.avi"}));
    EXPECT_EQ(states(), (std::vector<int>{TASK_RUNNING, TASK_WAITING, TASK_FAILED, TASK_DONE}));
    bool toldFailed = false;
    for (auto& [code, path] : events.events)
        toldFailed |= code == TE_FAILED && path == videos.file("x.avi");
    EXPECT_TRUE(toldFailed);
    EXPECT_EQ(queue->task(running)->failReason, "FFmpeg 异常退出（1）");

    // Again: it waits where a task added now would, and keeps its key.
    EXPECT_FALSE(queue->RetryTask(queue->tasks()[0].item.TaskKey)) << "it runs";
    EXPECT_TRUE(queue->RetryTask(running));
    EXPECT_EQ(order(), (std::vector<std::string>{"w1.avi", "w2.avi", "x.avi", "r.avi"}));
    EXPECT_EQ(states(), (std::vector<int>{TASK_RUNNING, TASK_WAITING, TASK_WAITING, TASK_DONE}));
    EXPECT_EQ(queue->task(running)->failReason, "");
    queue->StopAll(true);
}

TEST_F(Queue, AnFfmpegCutShortThatExitsZeroFailsAndIsNotSaved) {
    std::string a = add("a.avi");
    finish(a, "short");
    EXPECT_EQ(states(), (std::vector<int>{TASK_FAILED}));
    EXPECT_EQ(queue->task(a)->failReason, "输出只有 1 秒，原视频 40 秒");
    EXPECT_TRUE(events.converted.empty());
    EXPECT_EQ(queue->tasks()[0].item.VideoPath, videos.file("a.avi"));
    EXPECT_EQ(LoadConvertList(home.file("ConvertList.xml")).records.size(), 0u);
    for (const auto& entry : std::filesystem::directory_iterator(out.path()))
        EXPECT_EQ(entry.path().extension(), ".go") << "left behind: " << entry.path();
}

TEST_F(Queue, PinToTopOnlyWhileSomethingRuns) {
    std::string a = add("a.avi");
    add("b.avi");
    std::string c = add("c.avi");
    queue->PinToTop(c);
    EXPECT_EQ(order(), (std::vector<std::string>{"a.avi", "c.avi", "b.avi"}));
    queue->StopAll(false);
    ASSERT_TRUE(test::waitUntil([&] {
        executor.runPending();
        return !queue->task(a);
    }));
    // The stopped task left the queue and the next waiting one started.
    EXPECT_EQ(order(), (std::vector<std::string>{"c.avi", "b.avi"}));
    EXPECT_EQ(states()[0], TASK_RUNNING);
    queue->StopAll(true);
    executor.runPending();
    auto before = order();
    queue->PinToTop(queue->tasks()[1].item.TaskKey);  // nothing runs now
    EXPECT_EQ(order(), before);
}

TEST_F(Queue, QuietStopKeepsTheTaskStoppedAndItCanBeQueuedAgain) {
    std::string a = add("a.avi");
    queue->StopAll(true);
    ASSERT_TRUE(test::waitUntil([&] {
        executor.runPending();
        return queue->task(a)->state == TASK_STOPPED;
    }));
    EXPECT_FALSE(std::filesystem::exists(queue->task(a)->outputPath));
    EXPECT_FALSE(queue->IsQueued("a.avi", videos.file("a.avi")));
    add("a.avi");
    EXPECT_EQ(queue->IsQueued("a.avi", videos.file("a.avi")), TASK_RUNNING);
    queue->StopAll(true);
}

TEST_F(Queue, RemoveForVideoStopsOrDeletesByKeyOrSourcePath) {
    std::string a = add("a.avi");
    add("b.avi");
    EXPECT_TRUE(queue->RemoveTaskForVideo("", videos.file("b.avi")));
    EXPECT_TRUE(queue->RemoveTaskForVideo(a, "/elsewhere/a.avi"));
    EXPECT_FALSE(queue->RemoveTaskForVideo("", videos.file("z.avi")));
    EXPECT_FALSE(
        queue->RemoveTaskForVideo("{00000000-0000-0000-0000-000000000000}", videos.file("a.avi")));
    ASSERT_TRUE(test::waitUntil([&] {
        executor.runPending();
        return queue->tasks().empty();
    }));
    int removed = 0;
    for (auto& [code, path] : events.events) removed += code == TE_REMOVED;
    EXPECT_EQ(removed, 2);
}

TEST_F(Queue, KeepAwakeWhileConvertingOnlyWhenAsked) {
    std::string a = add("a.avi");
    EXPECT_EQ(keepAwake.calls.back(), "hold");
    add("b.avi");
    finish(a, true);
    EXPECT_EQ(keepAwake.calls.back(), "hold");  // b runs now
    finish(queue->tasks()[0].item.TaskKey, false);
    // Nothing converts after the failure: the machine may sleep again.
    EXPECT_EQ(keepAwake.calls.back(), "release");

    comSleep = 0;
    keepAwake.calls.clear();
    add("c.avi");
    EXPECT_EQ(keepAwake.calls, (std::vector<std::string>{"release"}));
    queue->StopAll(true);
}

TEST_F(Queue, FinishedTasksSurviveARestartInOrder) {
    std::string a = add("a.avi");
    add("b.avi");
    finish(a, true);
    finish(queue->tasks()[0].item.TaskKey, true);
    add("waiting.avi");  // runs, so it is not written
    auto load = LoadConvertList(home.file("ConvertList.xml"));
    ASSERT_EQ(load.status, StoredFileStatus::Ok);
    const auto& records = load.records;
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].item.VideoName, "b.avi");
    EXPECT_EQ(records[0].item.VideoPath, out.path() + "/b.mp4");
    EXPECT_EQ(records[0].type, 3);
    std::string text = test::readFile(home.file("ConvertList.xml"));
    EXPECT_EQ(text.rfind("<ConvertList>", 0), 0u);
    EXPECT_NE(text.find("<Item0 VideoName=\"b.avi\" VideoPath=\""), std::string::npos);
    EXPECT_NE(text.find("VideoHeight=\"1080\" VideoConvertType=\"3\" />"), std::string::npos);
    queue->StopAll(true);
    queue.reset();

    queue = makeQueue();
    queue->LoadQueueFile();
    EXPECT_EQ(order(), (std::vector<std::string>{"b.avi", "a.avi"}));
    EXPECT_EQ(states(), (std::vector<int>{TASK_DONE, TASK_DONE}));
    EXPECT_EQ(queue->tasks()[0].outputPath, out.path() + "/b.mp4");
    EXPECT_EQ(queue->tasks()[0].modeLabel, "3D-1080P");
}

TEST_F(Queue, HandWrittenFileRestoresUnfinishedTasksAsInterrupted) {
    home.write(
        "ConvertList.xml",
        "<?xml version=\"1.0\"?>\n<ConvertList><!-- kept by hand -->"
        "<Item0 VideoName=\"x.avi\" VideoPath=\"/v/x.avi\" VideoConvertType=\"2\" Extra=\"1\"/>"
        "<Other VideoName=\"y.mp4\" VideoPath=\"/o/y.mp4\" VideoConvertType=\"3\"/>"
        "</ConvertList>");
    queue->LoadQueueFile();
    EXPECT_EQ(states(), (std::vector<int>{TASK_INTERRUPTED, TASK_DONE}));
    ASSERT_FALSE(events.events.empty());
    EXPECT_EQ(events.events[0], std::make_pair(int(TE_INTERRUPTED), std::string("/v/x.avi")));
    EXPECT_EQ(events.toldStates[0], TASK_INTERRUPTED);
    EXPECT_EQ(queue->tasks()[1].outputPath, "/o/y.mp4");

    auto fresh = makeQueue();
    home.write("ConvertList.xml", "<ConvertList><Item0");  // torn: starts empty
    fresh->LoadQueueFile();
    EXPECT_TRUE(fresh->tasks().empty());
}

TEST_F(Queue, AHugeFileKeepsTheFinishedAPhoneCanListAndTheQueueBesideThem) {
    std::string text = "<ConvertList>";
    for (int n = 0; n < 300; ++n) {
        int type = n % 3 == 2 ? 6 : 3;  // one unfinished task in three
        text += "<Item" + std::to_string(n) + " VideoName=\"" + std::to_string(n) +
                ".mp4\" VideoPath=\"/o/" + std::to_string(n) + ".mp4\" VideoConvertType=\"" +
                std::to_string(type) + "\"/>";
    }
    home.write("ConvertList.xml", text + "</ConvertList>");
    queue->LoadQueueFile();
    auto tasks = queue->tasks();
    ASSERT_EQ(tasks.size(), 2 * kKeptFinishedTasks);
    // The first of each kind in the file's order, which puts the newest first.
    std::size_t done = 0;
    for (const auto& task : tasks) {
        if (task.state != TASK_DONE) continue;
        int n = static_cast<int>(done / 2 * 3 + done % 2);
        EXPECT_EQ(task.item.VideoName, std::to_string(n) + ".mp4");
        ++done;
    }
    EXPECT_EQ(done, kKeptFinishedTasks);
    EXPECT_EQ(tasks.back().item.VideoName, std::to_string(3 * kKeptFinishedTasks - 1) + ".mp4");
    ASSERT_TRUE(queue->SaveQueueFile());
    EXPECT_EQ(LoadConvertList(home.file("ConvertList.xml")).records.size(), kKeptFinishedTasks);
}

TEST_F(Queue, ItsFilesLoseUnsafeNamesAndWhatHasNoRoomInOneLogLineAndKeepReasons) {
    keepQueue = true;
    queue = makeQueue();
    std::string item = "\" VideoPath=\"" + videos.write("a.avi", "") + "\" VideoConvertType=\"";
    std::string text = "<ConvertQueue>";
    for (const char* name : {"../../elsewhere/evil.mkv", "..", "a&#1;b.avi", "..\\x.avi"})
        text += "<Item VideoName=\"" + std::string(name) + item + "1\"/>";
    // A failure's reason of two lines, markup and 2000 more characters.
    text += "<Item VideoName=\"a.avi" + item + "9\" FailReason=\"&lt;x&gt;&#10;" +
            std::string(2000, 'y') + "\"/>";
    for (int n = 0; n < 100; ++n) text += "<Item VideoName=\"a.avi" + item + "1\"/>";
    home.write("appData/ConvertQueue.xml", text + "</ConvertQueue>");
    home.write("ConvertList.xml",
               "<ConvertList><Item0 VideoName=\"../x.avi\" VideoPath=\"/x\" "
               "VideoConvertType=\"9\"/></ConvertList>");
    SetModuleDir(home.path());
    ASSERT_TRUE(StartLogThread());
    queue->LoadQueueFile();
    StopLogThread();
    SetModuleDir("");
    ASSERT_EQ(queue->tasks().size(), kKeptOtherTasks);
    for (const auto& task : queue->tasks()) EXPECT_EQ(task.item.VideoName, "a.avi");
    const std::string reason = queue->tasks()[0].failReason;
    EXPECT_EQ(reason.substr(0, 5), "<x> y");
    EXPECT_EQ(utf16Length(reason), 300u);
    queue->Refresh();
    queue = makeQueue();
    queue->LoadQueueFile();
    EXPECT_EQ(queue->tasks()[0].failReason, reason);
    // One line for each file, however many items it drops.
    std::vector<std::string> told;
    for (const auto& entry : std::filesystem::directory_iterator(home.file("PTTLog"))) {
        std::istringstream log(test::readFile(entry.path().string()));
        for (std::string line; std::getline(log, line);)
            if (auto at = line.find("ConversionQueue):"); at != line.npos)
                told.push_back(line.substr(at + 17));
    }
    EXPECT_EQ(told, (std::vector<std::string>{
                        "ConvertList.xml holds 1 items: kept 0 finished and 0 others, dropped 1 "
                        "(unsafe name, the first \"../x.avi\")",
                        "ConvertQueue.xml holds 105 items: kept 35, dropped 66 (full), 4 (unsafe "
                        "name, the first \"../../elsewhere/evil.mkv\")"}));
}

TEST_F(Queue, ClearFinishedRemovesDoneAndStoppedOnly) {
    std::string a = add("a.avi");
    finish(a, true);
    std::string b = add("b.avi");
    finish(b, false);
    add("c.avi");
    queue->ClearFinished();
    EXPECT_EQ(order(), (std::vector<std::string>{"c.avi", "b.avi"}));
    EXPECT_EQ(LoadConvertList(home.file("ConvertList.xml")).records.size(), 0u);
    queue->StopAll(true);
}

}  // namespace
}  // namespace zorvex
