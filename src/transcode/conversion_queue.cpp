#include "transcode/conversion_queue.h"

#include <algorithm>
#include <atomic>

#include "foundation/log_recorder.h"
#include "foundation/paths.h"
#include "platform/allocator_arenas.h"
#include "platform/coalesced_post.h"
#include "platform/file_util.h"
#include "platform/guid.h"
#include "transcode/convert_list_file.h"

namespace zorvex {

namespace {
constexpr auto kStopWait = std::chrono::milliseconds(2000);
constexpr const char* kLogTag = "ZorvexTranscode\\ConversionQueue";
constexpr std::size_t kNamedInLog = 3;

// A name from a file as the log may hold it: one line, whatever it contains.
std::string printable(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) {
            out += c;
        } else {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        }
    }
    return out;
}

// What loading one of the queue's files left out, said in one log line
// however many items it holds.
struct Dropped {
    std::size_t full = 0;  // past the room the queue has
    std::size_t unsafe = 0;
    std::string firstUnsafe;
    std::size_t gone = 0;
    std::vector<std::string> goneNamed;  // the first few missing sources

    void add(const ItemsLeftOut& read) {
        full += read.noRoom;
        if (unsafe == 0) firstUnsafe = read.firstUnsafe;
        unsafe += read.unsafeNames;
    }

    void sourceGone(const std::string& source) {
        if (gone++ < kNamedInLog) goneNamed.push_back(source);
    }

    void log(const std::string& file, std::size_t items, const std::string& kept) const {
        std::vector<std::string> why;
        if (full > 0) why.push_back(std::to_string(full) + " (full)");
        if (unsafe > 0) {
            why.push_back(std::to_string(unsafe) + " (unsafe name, the first \"" +
                          printable(firstUnsafe) + "\")");
        }
        if (gone > 0) {
            std::string named;
            for (const std::string& source : goneNamed)
                named += (named.empty() ? "" : ", ") + printable(source);
            why.push_back(std::to_string(gone) + " (source gone: " + named +
                          (gone > goneNamed.size() ? ", ...)" : ")"));
        }
        if (why.empty()) return;
        std::string line = fileNamePart(file) + " holds " + std::to_string(items) +
                           " items: kept " + kept + ", dropped ";
        for (std::size_t i = 0; i < why.size(); ++i) line += (i > 0 ? ", " : "") + why[i];
        PostLog(line, kLogTag);
    }
};

}  // namespace

// Carries a job's reports to the queue's thread. Progress keeps only the
// latest value and posts once while none is pending. Made and destroyed on
// the queue's thread.
class ConversionQueue::JobReporter final : public TranscodeJobListener {
public:
    JobReporter(ConversionQueue& queue, std::string key)
        : queue_(&queue), alive_(queue.alive_), key_(std::move(key)) {}

    void onProgress(std::uint32_t percent) override {
        latest_ = percent;
        progress_.request();
    }

    void onFinished(const TranscodeOutcome& outcome) override {
        post([outcome](ConversionQueue& queue, const std::string& key) {
            queue.onJobFinished(key, outcome);
        });
    }

private:
    template <typename F>
    void post(F body) {
        queue_->context_.executor->post([queue = queue_, alive = alive_, key = key_, body]() {
            if (alive.lock()) body(*queue, key);
        });
    }

    ConversionQueue* const queue_;
    const std::weak_ptr<bool> alive_;
    const std::string key_;
    std::atomic<std::uint32_t> latest_{0};
    CoalescedPost progress_{*queue_->context_.executor, [this] {
                                if (alive_.lock()) queue_->onProgress(key_, latest_.load());
                            }};
};

struct ConversionQueue::Task {
    TaskView view;
    // The job refers to the reporter: it is declared after it, so it goes first.
    std::unique_ptr<JobReporter> reporter;
    std::unique_ptr<TranscodeJob> job;
    // Restored at start: the output its job was making when the last run ended.
    std::string formerOutput;
};

ConversionQueue::ConversionQueue(ConversionQueueContext context) : context_(std::move(context)) {}

ConversionQueue::~ConversionQueue() {
    alive_.reset();
    tasks_.clear();  // each running job stops quietly and is joined
    if (context_.keepAwake) context_.keepAwake->release();
}

std::unique_ptr<ConversionQueue::Task> ConversionQueue::makeTask(LISTITEM_ST item) {
    auto task = std::make_unique<Task>();
    item.TaskKey = NewGuid();
    ConvertChoice choice = ChooseConvertParam(item.VideoSize, item.VideoTime, item.VideoWidth,
                                              item.VideoHeight, context_.videoConvertRatio());
    task->view.item = std::move(item);
    task->view.param = choice.param;
    task->view.modeLabel = choice.label;
    return task;
}

std::string ConversionQueue::AddTask(const std::string& name, const std::string& sourcePath,
                                     const std::string& size, const std::string& thumbnailPath,
                                     const std::string& duration, const std::string& width,
                                     const std::string& height) {
    auto task = makeTask({name, size, thumbnailPath, duration, width, height, sourcePath, {}});
    std::string key = task->view.item.TaskKey;
    if (!AnyRunning()) {
        Task& started = *task;
        tasks_.push_front(std::move(task));
        startTask(started);
    } else {
        task->view.state = TASK_WAITING;
        tasks_.insert(firstWithState({TASK_DONE, TASK_STOPPED}), std::move(task));
        notify(TE_WAITING, sourcePath);
    }
    applyKeepAwake(AnyRunning());
    return key;
}

std::optional<TaskState> ConversionQueue::IsQueued(const std::string& name,
                                                   const std::string& sourcePath) const {
    for (const auto& task : tasks_) {
        const auto& v = task->view;
        if (v.item.VideoName == name && v.item.VideoPath == sourcePath && v.state != TASK_STOPPED) {
            return v.state;
        }
    }
    return std::nullopt;
}

bool ConversionQueue::RemoveTaskForVideo(const std::string& taskKey,
                                         const std::string& sourcePath) {
    auto at = taskKey.empty() ? findLive(sourcePath) : find(taskKey);
    if (at == tasks_.end()) return false;
    auto& v = (*at)->view;
    if (v.state == TASK_RUNNING) {
        if ((*at)->job) (*at)->job->requestStop(false);
        return true;
    }
    if (v.state == TASK_WAITING || v.state == TASK_INTERRUPTED) {
        DeleteTask(v.item.TaskKey);
        return true;
    }
    return false;
}

void ConversionQueue::DeleteTask(const std::string& taskKey) {
    // Handled after whatever runs now, as a posted event would be.
    context_.executor->post([this, alive = std::weak_ptr<bool>(alive_), taskKey] {
        if (alive.lock()) handleRemoved(taskKey, false);
    });
}

void ConversionQueue::StopTask(const std::string& taskKey) {
    auto at = find(taskKey);
    if (at != tasks_.end() && (*at)->job) (*at)->job->requestStop(false);
}

void ConversionQueue::StopAll(bool quiet) {
    for (auto& task : tasks_) {
        if (task->view.state != TASK_RUNNING) continue;
        task->view.state = TASK_INTERRUPTED;
        if (task->job) {
            task->job->requestStop(quiet);
            task->job->waitFor(kStopWait);
        }
    }
    listeners_.tell([&](ConversionQueueListener& l) { l.onQueueChanged(); });
}

void ConversionQueue::ClearFinished() {
    for (auto it = tasks_.end(); it != tasks_.begin();) {
        --it;
        TaskState state = (*it)->view.state;
        if (state == TASK_DONE || state == TASK_STOPPED) it = tasks_.erase(it);
    }
    listeners_.tell([&](ConversionQueueListener& l) { l.onQueueChanged(); });
    SaveQueueFile();
    saveQueued();
}

void ConversionQueue::PinToTop(const std::string& taskKey) {
    auto at = find(taskKey);
    auto running = firstWithState({TASK_RUNNING});
    if (at == tasks_.end() || running == tasks_.end() || at == running) return;
    auto task = take(at);
    running = firstWithState({TASK_RUNNING});
    tasks_.insert(std::next(running), std::move(task));
    Refresh();
}

bool ConversionQueue::RetryTask(const std::string& taskKey) {
    auto at = find(taskKey);
    if (at == tasks_.end() || (*at)->view.state != TASK_FAILED) return false;
    auto task = take(at);
    Task& again = *task;
    again.view.failReason.clear();
    again.view.progress = 0;
    if (!AnyRunning()) {
        tasks_.push_front(std::move(task));
        startTask(again);
    } else {
        again.view.state = TASK_WAITING;
        tasks_.insert(firstWithState({TASK_DONE, TASK_STOPPED}), std::move(task));
        notify(TE_WAITING, again.view.item.VideoPath);
    }
    applyKeepAwake(AnyRunning());
    Refresh();
    return true;
}

bool ConversionQueue::AnyRunning() const {
    return std::any_of(tasks_.begin(), tasks_.end(),
                       [](const auto& task) { return task->view.state == TASK_RUNNING; });
}

void ConversionQueue::LoadQueueFile() {
    // A file grown past anything the window can show must not bring it
    // down; what is cut was never on a phone's list.
    ConvertListLoad load = LoadConvertList(context_.listFile, kKeptFinishedTasks, kKeptOtherTasks);
    // Set aside, so that the next save does not overwrite what may be saved.
    if (load.status == StoredFileStatus::Damaged)
        KeepDamagedFile(context_.listFile, load.problem, kLogTag);
    std::size_t others = 0;
    for (auto& record : load.records) {
        int type = record.type;
        auto task = makeTask(record.item);
        const bool cutShort =
            type == TASK_WAITING || type == TASK_RUNNING || type == TASK_INTERRUPTED;
        // Cut short by the end of a run it comes back interrupted; any other
        // keeps the number in the file.
        task->view.state = cutShort ? TASK_INTERRUPTED : static_cast<TaskState>(type);
        if (task->view.state == TASK_DONE) task->view.outputPath = task->view.item.VideoPath;
        others += task->view.state != TASK_DONE;
        const std::string source = task->view.item.VideoPath;
        tasks_.push_back(std::move(task));
        if (cutShort) notify(TE_INTERRUPTED, source);
    }
    Dropped dropped;
    dropped.add(load.leftOut);
    dropped.log(context_.listFile, load.leftOut.items,
                std::to_string(load.records.size() - others) + " finished and " +
                    std::to_string(others) + " others");
    loadQueued(others);
    // What was recovered from a torn file is saved now, not at the next change.
    if (load.status == StoredFileStatus::Damaged && !tasks_.empty()) SaveQueueFile();
    listeners_.tell([&](ConversionQueueListener& l) { l.onQueueChanged(); });
}

bool ConversionQueue::SaveQueueFile() {
    std::vector<ConvertListRecord> records;
    for (const auto& task : tasks_) {
        const auto& v = task->view;
        if (v.state != TASK_DONE) continue;
        ConvertListRecord record{v.item, v.state};
        record.item.VideoPath = v.outputPath;
        records.push_back(std::move(record));
    }
    if (SaveConvertList(context_.listFile, records)) return true;
    PostLog("ConvertList.xml could not be written: " + context_.listFile, kLogTag);
    return false;
}

void ConversionQueue::Refresh() {
    listeners_.tell([&](ConversionQueueListener& l) { l.onQueueChanged(); });
    // In this order: a crash between two writes finds a finished task in
    // ConvertList.xml or among the running conversions, never in neither.
    bool saved = SaveQueueFile();
    saveQueued();
    if (saved) saveRunning(false);
}

// Every change of the unfinished tasks is written at once, so that a crash
// at any moment finds them; the running one with the output it makes.
void ConversionQueue::saveQueued() {
    if (context_.queueFile.empty()) return;
    std::vector<QueuedConversion> list;
    for (const auto& task : tasks_) {
        const TaskView& v = task->view;
        if (v.state == TASK_DONE || v.state == TASK_NEW) continue;
        list.push_back({v.item, v.state, v.state == TASK_RUNNING ? v.outputPath : std::string(),
                        v.state == TASK_FAILED ? v.failReason : std::string()});
    }
    if (!SaveQueuedConversions(context_.queueFile, list))
        PostLog("the queued conversions could not be noted: " + context_.queueFile, kLogTag);
}

void ConversionQueue::loadQueued(std::size_t& kept) {
    if (context_.queueFile.empty()) return;
    Dropped dropped;
    // Checked as the file is read, so that only as many items as the queue
    // has room for are made, and a source is looked for only while room is left.
    auto wanted = [&](const QueuedConversion& queued) {
        const std::string& output = queued.outputPath;
        bool converted = !output.empty() && std::any_of(tasks_.begin(), tasks_.end(), [&](auto& t) {
            return t->view.state == TASK_DONE && t->view.outputPath == output;
        });
        if (converted) return false;  // finished as the last run ended
        if (isRegularFile(queued.item.VideoPath)) return true;
        dropped.sourceGone(queued.item.VideoPath);
        return false;
    };
    QueuedConversionsLoad load = LoadQueuedConversions(
        context_.queueFile, kKeptOtherTasks - std::min(kept, kKeptOtherTasks), wanted);
    if (load.status == StoredFileStatus::Damaged)
        KeepDamagedFile(context_.queueFile, load.problem, kLogTag);
    dropped.add(load.leftOut);
    dropped.log(context_.queueFile, load.leftOut.items, std::to_string(load.list.size()));
    kept += load.list.size();
    TaskList restored;
    std::vector<std::string> waiting;  // told once the tasks are listed
    for (QueuedConversion& queued : load.list) {
        const std::string source = queued.item.VideoPath;
        auto task = makeTask(std::move(queued.item));
        task->formerOutput = queued.outputPath;
        // A failure stays one, with its reason, for the user to read;
        // anything else was cut short by the end of the run and starts again
        // from the beginning.
        if (queued.type == TASK_FAILED) {
            task->view.state = TASK_FAILED;
            task->view.failReason = std::move(queued.failReason);
        } else {
            task->view.state = TASK_WAITING;
            waiting.push_back(source);
        }
        restored.push_back(std::move(task));
    }
    tasks_.splice(tasks_.begin(), restored);
    for (const std::string& source : waiting) notify(TE_WAITING, source);
}

void ConversionQueue::ResumeWaiting() {
    if (AnyRunning() || firstWithState({TASK_WAITING}) == tasks_.end()) return;
    startNext();
    applyKeepAwake(AnyRunning());
    Refresh();
}

// A task that just finished stays listed while the next one starts, until
// ConvertList.xml holds it: an exit in between must not forget its output.
void ConversionQueue::saveRunning(bool keepListed) {
    if (context_.runningFile.empty()) return;
    std::vector<RunningConversion> list;
    if (keepListed) list = LoadRunningConversions(context_.runningFile);
    for (const auto& task : tasks_) {
        const TaskView& v = task->view;
        if (v.state != TASK_RUNNING || !task->job) continue;
        bool listed = std::any_of(list.begin(), list.end(),
                                  [&](const auto& r) { return r.outputPath == v.outputPath; });
        if (!listed) list.push_back({v.item, v.outputPath});
    }
    if (!SaveRunningConversions(context_.runningFile, list))
        PostLog("the running conversions could not be noted: " + context_.runningFile, kLogTag);
}

void ConversionQueue::AdoptFinishedOutputs() {
    if (context_.runningFile.empty()) return;
    std::vector<RunningConversion> list = LoadRunningConversions(context_.runningFile);
    if (list.empty()) return;
    for (const RunningConversion& running : list) {
        const std::string& output = running.outputPath;
        bool known = std::any_of(tasks_.begin(), tasks_.end(), [&](const auto& task) {
            return task->view.state == TASK_DONE && task->view.outputPath == output;
        });
        if (known) continue;
        // A job names its output only once it is whole and never over another
        // file; the probe tells one that someone put there since.
        if (!isRegularFile(output) ||
            !OutputMatchesSource(
                ProbeMedia(output),
                SourcePictureDuration(running.item.VideoPath, running.item.VideoTime))) {
            PostLog("a conversion ended with the application, nothing kept: " + output, kLogTag);
            continue;
        }
        // Its task came back from the queue's file: it is done now.
        auto again = std::find_if(tasks_.begin(), tasks_.end(),
                                  [&](const auto& task) { return task->formerOutput == output; });
        if (again != tasks_.end()) tasks_.erase(again);
        auto task = makeTask(running.item);
        task->view.state = TASK_DONE;
        task->view.outputPath = output;
        task->view.item.VideoPath = output;
        tasks_.insert(firstWithState({TASK_DONE}), std::move(task));
        listeners_.tell(
            [&](ConversionQueueListener& l) { l.onConverted(running.item.VideoPath, output); });
        PostLog("a conversion finished as the application ended, kept: " + output, kLogTag);
    }
    Refresh();
}

std::vector<TaskView> ConversionQueue::tasks() const {
    std::vector<TaskView> views;
    for (const auto& task : tasks_) views.push_back(task->view);
    return views;
}

std::optional<TaskView> ConversionQueue::task(const std::string& taskKey) const {
    auto at = find(taskKey);
    if (at == tasks_.end()) return std::nullopt;
    return (*at)->view;
}

std::optional<TaskState> ConversionQueue::StateOf(const std::string& taskKey) const {
    if (taskKey.empty()) return std::nullopt;
    auto at = find(taskKey);
    if (at == tasks_.end()) return std::nullopt;
    return (*at)->view.state;
}

std::string ConversionQueue::LiveTaskOf(const std::string& sourcePath) const {
    auto at = findLive(sourcePath);
    return at == tasks_.end() ? std::string() : (*at)->view.item.TaskKey;
}

ConversionQueue::TaskList::iterator ConversionQueue::find(const std::string& key) {
    return std::find_if(tasks_.begin(), tasks_.end(),
                        [&](const auto& task) { return task->view.item.TaskKey == key; });
}

ConversionQueue::TaskList::const_iterator ConversionQueue::find(const std::string& key) const {
    return std::find_if(tasks_.begin(), tasks_.end(),
                        [&](const auto& task) { return task->view.item.TaskKey == key; });
}

ConversionQueue::TaskList::const_iterator ConversionQueue::findLive(
    const std::string& sourcePath) const {
    return std::find_if(tasks_.begin(), tasks_.end(), [&](const auto& task) {
        const TaskState state = task->view.state;
        return task->view.item.VideoPath == sourcePath &&
               (state == TASK_RUNNING || state == TASK_WAITING || state == TASK_INTERRUPTED);
    });
}

std::unique_ptr<ConversionQueue::Task> ConversionQueue::take(TaskList::iterator at) {
    std::unique_ptr<Task> task = std::move(*at);
    tasks_.erase(at);
    return task;
}

ConversionQueue::TaskList::iterator ConversionQueue::firstWithState(
    std::initializer_list<TaskState> states, const Task* except) {
    return std::find_if(tasks_.begin(), tasks_.end(), [&](const auto& task) {
        return task.get() != except &&
               std::find(states.begin(), states.end(), task->view.state) != states.end();
    });
}

void ConversionQueue::startTask(Task& task) {
    auto& v = task.view;
    TranscodeRequest request{v.item.VideoPath, v.item.VideoName,         v.item.VideoTime,
                             v.param,          context_.convertFolder(), context_.ffmpeg()};
    task.reporter = std::make_unique<JobReporter>(*this, v.item.TaskKey);
    task.job = std::make_unique<TranscodeJob>(std::move(request), *task.reporter);
    v.outputPath = task.job->outputPath();
    // Before the job makes its partial file: a crash may leave it behind.
    RememberConversionFolder(parentFolder(v.outputPath));
    v.progress = 0;
    v.state = TASK_RUNNING;
    saveRunning(true);
    saveQueued();
    task.job->start();
    notify(TE_STARTED, v.item.VideoPath);
}

void ConversionQueue::startNext() {
    if (AnyRunning()) return;
    auto waiting = firstWithState({TASK_WAITING});
    if (waiting != tasks_.end()) startTask(**waiting);
}

// Awake exactly while a task runs and the user asked for it: also after a
// failure or a stop, the machine may sleep once nothing converts.
void ConversionQueue::applyKeepAwake(bool busy) {
    if (!context_.keepAwake) return;
    if (busy && context_.comSleepUnSleep() == 1) {
        context_.keepAwake->hold();
    } else {
        context_.keepAwake->release();
    }
}

void ConversionQueue::onProgress(const std::string& key, std::uint32_t percent) {
    auto at = find(key);
    if (at == tasks_.end() || (*at)->view.state != TASK_RUNNING) return;
    (*at)->view.progress = percent;
    listeners_.tell([&](ConversionQueueListener& l) { l.onProgress(key, percent); });
}

void ConversionQueue::onJobFinished(const std::string& key, const TranscodeOutcome& outcome) {
    auto at = find(key);
    if (at == tasks_.end()) return;
    Task& task = **at;
    if (task.job) {
        task.job->waitFor(kStopWait);
        task.job.reset();  // the worker has reported; collect its thread
    }
    if (!outcome.message.empty())
        listeners_.tell([&](ConversionQueueListener& l) { l.onJobMessage(outcome.message); });
    switch (outcome.kind) {
        case TranscodeOutcome::Kind::Done:
            task.view.state = TASK_DONE;
            listeners_.tell([&](ConversionQueueListener& l) {
                l.onConverted(task.view.item.VideoPath, task.view.outputPath);
            });
            handleDone(key);
            break;
        case TranscodeOutcome::Kind::Failed:
            task.view.state = TASK_FAILED;
            task.view.failReason = KeptFailReason(outcome.reason);
            handleFailed(key);
            break;
        case TranscodeOutcome::Kind::Stopped:
            task.view.state = TASK_STOPPED;
            task.view.progress = 0;
            if (outcome.quiet) {
                listeners_.tell([&](ConversionQueueListener& l) { l.onQueueChanged(); });
            } else {
                handleRemoved(key, true);
            }
            break;
    }
    const bool busy = AnyRunning();
    applyKeepAwake(busy);
    if (!busy) GiveBackFreeMemory();  // what the job's reports and probes left
}

void ConversionQueue::handleDone(const std::string& key) {
    auto at = find(key);
    if (!AnyRunning() && at != tasks_.end()) {
        auto finished = take(at);
        auto waiting = firstWithState({TASK_WAITING});
        if (waiting != tasks_.end()) {
            auto next = take(waiting);
            Task& started = *next;
            tasks_.push_front(std::move(next));
            startTask(started);
        }
        finished->view.item.VideoPath = finished->view.outputPath;
        tasks_.insert(firstWithState({TASK_DONE}), std::move(finished));
    }
    Refresh();
}

void ConversionQueue::handleFailed(const std::string& key) {
    auto at = find(key);
    if (at != tasks_.end()) {
        auto failed = take(at);
        auto before = firstWithState({TASK_INTERRUPTED, TASK_FAILED});
        if (before == tasks_.end()) before = firstWithState({TASK_DONE});
        std::string path = failed->view.item.VideoPath;
        tasks_.insert(before, std::move(failed));
        notify(TE_FAILED, path);
        startNext();
    }
    Refresh();
}

void ConversionQueue::handleRemoved(const std::string& key, bool startNextAfter) {
    auto at = find(key);
    if (at != tasks_.end()) {
        auto removed = take(at);
        std::string path = removed->view.item.VideoPath;
        removed.reset();
        notify(TE_REMOVED, path);
    }
    if (startNextAfter) startNext();
    applyKeepAwake(AnyRunning());
    Refresh();
}

void ConversionQueue::subscribe(ConversionQueueListener* listener) {
    listeners_.add(listener);
}

void ConversionQueue::unsubscribe(ConversionQueueListener* listener) {
    listeners_.remove(listener);
}

void ConversionQueue::notify(TaskEvent code, const std::string& path) {
    listeners_.tell([&](ConversionQueueListener& l) { l.onTaskEvent(code, path); });
}

}  // namespace zorvex
