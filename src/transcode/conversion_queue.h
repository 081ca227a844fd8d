#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "media/ffmpeg_tool.h"
#include "platform/executor.h"
#include "platform/keep_awake.h"
#include "platform/subscribers.h"
#include "transcode/conversion_task.h"
#include "transcode/transcode_job.h"

namespace zorvex {

// Tasks kept from the queue's files: the finished ones the phones' list of
// conversions can hold, and as many others, one for each source the library
// can hold. A longer file is cut to these, with a log line.
inline constexpr std::size_t kKeptFinishedTasks = 35;
inline constexpr std::size_t kKeptOtherTasks = 35;

// What the queue tells those who subscribed: news only, nothing is asked
// back. Called on the queue's thread; a subscriber overrides what it hears.
class ConversionQueueListener {
public:
    virtual ~ConversionQueueListener() = default;
    // TE_WAITING, TE_STARTED, TE_REMOVED, TE_INTERRUPTED or TE_FAILED with
    // the task's VideoPath at that moment, told once the task is in its
    // place with its new state (a removed one is gone); a finished task is
    // onConverted. StopAll tells none: it is the end of the run.
    virtual void onTaskEvent(TaskEvent /*code*/, const std::string& /*videoPath*/) {}
    // A conversion finished: the library takes the output in.
    virtual void onConverted(const std::string& /*sourcePath*/, const std::string& /*outputPath*/) {
    }
    // A job could not start; the text is for a message box.
    virtual void onJobMessage(const std::string& /*text*/) {}
    // Order, states or the set of tasks changed: lay the rows out again.
    virtual void onQueueChanged() {}
    // The running task's progress, 0..100.
    virtual void onProgress(const std::string& /*taskKey*/, std::uint32_t /*percent*/) {}
};

// Where the queue gets what it needs from the rest of the system.
struct ConversionQueueContext {
    Executor* executor = nullptr;  // the queue's own thread; job reports come through it
    KeepAwake* keepAwake = nullptr;
    std::string listFile;  // ConvertList.xml in the home folder
    // The conversions under way (HomeLayout::runningConversions); none kept when empty.
    std::string runningFile;
    // The unfinished tasks (HomeLayout::queuedConversions); none kept when empty.
    std::string queueFile;
    // Read when a task is made or its job starts.
    std::function<int()> videoConvertRatio;
    std::function<int()> comSleepUnSleep;
    std::function<std::string()> convertFolder;
    std::function<FfmpegTool()> ffmpeg;
};

// The conversion tasks in display order, run one at a time. Everything here
// runs on the executor's thread; jobs report back through it.
class ConversionQueue {
public:
    explicit ConversionQueue(ConversionQueueContext context);
    ~ConversionQueue();  // stops a running job quietly

    // Makes a task and starts it, or queues it behind the running one.
    // Returns its key. No save: the caller lays out and saves afterwards.
    std::string AddTask(const std::string& name, const std::string& sourcePath,
                        const std::string& size, const std::string& thumbnailPath,
                        const std::string& duration, const std::string& width,
                        const std::string& height);
    // The state of the first task with this name and path that is not
    // stopped; nullopt when there is none.
    std::optional<TaskState> IsQueued(const std::string& name, const std::string& sourcePath) const;
    // The task with this key (without a key: the first live task of this
    // source path) stops if running, goes if waiting or interrupted; false
    // when there is no such task or it has ended. Not by name: a task's
    // VideoName is its output's, which a kept duplicate renames.
    bool RemoveTaskForVideo(const std::string& taskKey, const std::string& sourcePath);
    // The row's delete button for a task that is not running.
    void DeleteTask(const std::string& taskKey);
    // The row's delete button for the running task: a stop that removes it.
    void StopTask(const std::string& taskKey);
    void StopAll(bool quiet);
    void ClearFinished();
    void PinToTop(const std::string& taskKey);
    // A failed task goes again as a task added now would: started when
    // nothing runs, else waiting where new tasks wait. Keeps its key; false
    // when the task is not a failed one.
    bool RetryTask(const std::string& taskKey);
    bool AnyRunning() const;

    // A ConvertList.xml that cannot be read is renamed to
    // "ConvertList.xml.damaged-YYYYMMDD-HHMMSS" (and logged); the queue then
    // starts with the whole items before the damage, saved at once. Of a
    // long one, the first kKeptFinishedTasks finished and kKeptOtherTasks
    // other tasks are kept; the rest is not even read.
    // Then the unfinished tasks of the last run come back at the top, in
    // their order: a failed one as failed, with its reason, any other as
    // waiting (the card is told), none started yet. One whose source is
    // gone, or whose output a finished task already holds, is dropped, as is
    // an item of either file whose name could lead its output out of the
    // conversion folder (IsPlainFileName). Each file's drops make one log
    // line: how many, why, and the first names.
    void LoadQueueFile();
    bool SaveQueueFile();
    // At start, after LoadQueueFile: an output that was finished for a task
    // running when the application ended, before the queue had heard of it,
    // becomes a finished conversion (the listener's onConverted, and
    // ConvertList.xml); an output that is not there is left to the clean-up
    // of partial files. Then the list of running conversions is emptied.
    void AdoptFinishedOutputs();
    // At start, last: the first waiting task starts.
    void ResumeWaiting();
    // Lays out (tells the listener) and saves.
    void Refresh();

    // Subscribers hear every event in the order they subscribed; each stays
    // subscribed until it unsubscribes, and must outlive its subscription.
    void subscribe(ConversionQueueListener* listener);
    void unsubscribe(ConversionQueueListener* listener);

    std::vector<TaskView> tasks() const;
    std::optional<TaskView> task(const std::string& taskKey) const;
    // The state of the task with this key; nullopt when there is none.
    std::optional<TaskState> StateOf(const std::string& taskKey) const;
    // The key of the first waiting, running or interrupted task of this
    // source path; "" when there is none.
    std::string LiveTaskOf(const std::string& sourcePath) const;

private:
    struct Task;
    class JobReporter;
    using TaskList = std::list<std::unique_ptr<Task>>;

    TaskList::iterator find(const std::string& key);
    TaskList::const_iterator find(const std::string& key) const;
    TaskList::const_iterator findLive(const std::string& sourcePath) const;
    std::unique_ptr<Task> take(TaskList::iterator at);
    TaskList::iterator firstWithState(std::initializer_list<TaskState> states,
                                      const Task* except = nullptr);
    void startTask(Task& task);
    void startNext();
    void applyKeepAwake(bool busy);
    void onProgress(const std::string& key, std::uint32_t percent);
    void onJobFinished(const std::string& key, const TranscodeOutcome& outcome);
    void handleDone(const std::string& key);
    void handleFailed(const std::string& key);
    void handleRemoved(const std::string& key, bool startNextAfter);
    void notify(TaskEvent code, const std::string& path);
    void saveRunning(bool keepListed);
    void saveQueued();
    void loadQueued(std::size_t& kept);
    std::unique_ptr<Task> makeTask(LISTITEM_ST item);

    ConversionQueueContext context_;
    Subscribers<ConversionQueueListener> listeners_;
    TaskList tasks_;
    // Reports of jobs posted before the queue died find it gone.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace zorvex
