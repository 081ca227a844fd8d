#include "front/front.h"

#include <algorithm>
#include <filesystem>

#include "foundation/log_recorder.h"
#include "foundation/settings.h"
#include "foundation/system_info.h"
#include "library/video_card.h"
#include "library/video_library.h"
#include "media/media_probe.h"
#include "platform/coalesced_post.h"
#include "platform/error_text.h"
#include "platform/file_util.h"
#include "platform/firewall.h"
#include "platform/keep_awake.h"
#include "service/served_networks.h"
#include "service/service.h"
#include "transcode/conversion_queue.h"
#include "transcode/conversion_task.h"
#include "transcode/convert_param.h"
#include "update/http_helper.h"
#include "update/update_download.h"

namespace zorvex {
namespace {
// The firewall's opening is the main window's business in the day's log.
constexpr const char* kMainWindowTag = "ZorvexVRClientDlg";
// config.ini keeps at most 19 characters of the address in use.
constexpr std::size_t kAddressTextLimit = 19;

DownloadEnd endOf(int result) {
    return result == kDownloadSucceeded   ? DownloadEnd::Succeeded
           : result == kDownloadCancelled ? DownloadEnd::Cancelled
                                          : DownloadEnd::Failed;
}

CardLook lookOf(CardKind kind) {
    switch (kind) {
        case KIND_WAITING:
            return CardLook::Waiting;
        case KIND_CONVERTING:
            return CardLook::Converting;
        case KIND_CONVERTED:
            return CardLook::Converted;
        case KIND_INTERRUPTED:
            return CardLook::Interrupted;
        case KIND_MISSING:
            return CardLook::Missing;
        default:
            return CardLook::Plain;
    }
}

TaskLook lookOfTask(TaskState state) {
    switch (state) {
        case TASK_WAITING:
            return TaskLook::Waiting;
        case TASK_RUNNING:
            return TaskLook::Running;
        case TASK_DONE:
            return TaskLook::Done;
        case TASK_STOPPED:
            return TaskLook::Stopped;
        case TASK_INTERRUPTED:
            return TaskLook::Interrupted;
        case TASK_FAILED:
            return TaskLook::Failed;
        default:
            return TaskLook::New;
    }
}

TaskStep stepOf(TaskEvent code) {
    switch (code) {
        case TE_WAITING:
            return TaskStep::Waiting;
        case TE_STARTED:
            return TaskStep::Started;
        case TE_DONE:
            return TaskStep::Done;
        case TE_REMOVED:
            return TaskStep::Removed;
        case TE_INTERRUPTED:
            return TaskStep::Interrupted;
        case TE_FAILED:
            break;
    }
    return TaskStep::Failed;
}

char folded(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Name order as file managers show it: runs of digits compare as numbers
// ("clip 9" before "clip 10"), letters without regard to case.
bool namedBefore(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            std::size_t ei = i, ej = j;
            while (ei < a.size() && isDigit(a[ei])) ++ei;
            while (ej < b.size() && isDigit(b[ej])) ++ej;
            std::string_view x = a.substr(i, ei - i), y = b.substr(j, ej - j);
            while (x.size() > 1 && x.front() == '0') x.remove_prefix(1);
            while (y.size() > 1 && y.front() == '0') y.remove_prefix(1);
            if (x.size() != y.size()) return x.size() < y.size();
            if (const int c = x.compare(y); c != 0) return c < 0;
            i = ei;
            j = ej;
            continue;
        }
        // UTF-8 bytes compare as their code points do.
        const auto x = static_cast<unsigned char>(folded(a[i]));
        const auto y = static_cast<unsigned char>(folded(b[j]));
        if (x != y) return x < y;
        ++i;
        ++j;
    }
    if ((i < a.size()) != (j < b.size())) return j < b.size();
    return a < b;
}

}  // namespace

// Hears the library, the queue and the networks on the executor's thread,
// and tells the front's listeners; the selection follows once per burst.
class Front::Subscriber final : public VideoLibraryListener,
                                public ConversionQueueListener,
                                public NetworksListener {
public:
    explicit Subscriber(Front& front) : front_(front) {}

    void onToast(int code) override {
        front_.tell([&](FrontListener& l) { l.onToast(code); });
    }
    void onConversionBalloon(const std::string& name) override {
        front_.tell([&](FrontListener& l) { l.onConversionBalloon(name); });
    }
    void onLibraryChanged() override {
        front_.tell([](FrontListener& l) { l.onLibraryChanged(); });
        selectionMayChange();
    }
    void onCardChanged(const std::string& itemId) override {
        front_.tell([&](FrontListener& l) { l.onCardChanged(itemId); });
        selectionMayChange();
    }
    void onTaskEvent(TaskEvent code, const std::string& videoPath) override {
        front_.tell([&](FrontListener& l) { l.onTaskEvent(stepOf(code), videoPath); });
        selectionMayChange();
    }
    void onUnexaminable(const std::string& name) override {
        front_.tell([&](FrontListener& l) { l.onUnexaminable(name); });
    }
    void onJobMessage(const std::string& text) override {
        front_.tell([&](FrontListener& l) { l.onJobMessage(text); });
    }
    void onQueueChanged() override {
        front_.tell([](FrontListener& l) { l.onQueueChanged(); });
    }
    void onProgress(const std::string& taskKey, std::uint32_t percent) override {
        front_.tell([&](FrontListener& l) { l.onProgress(taskKey, percent); });
    }
    void onNetworksChanged(const NetworksView&) override {
        front_.tell([](FrontListener& l) { l.onNetworksChanged(); });
    }

private:
    // Within a command, once it is done; else once the news of a burst (an
    // examination, the queue's steps) has been heard.
    void selectionMayChange() {
        if (front_.commands_ == 0) selection_.request();
    }

    Front& front_;
    CoalescedPost selection_{front_.executor_, [this] { front_.sendSelection(); }};
};

// A command of the user's: the cards it changes are one change of the
// selection, told as soon as the command is done.
class Front::SelectionBatch {
public:
    explicit SelectionBatch(Front& front) : front_(front) { ++front_.commands_; }
    ~SelectionBatch() {
        if (--front_.commands_ == 0) front_.sendSelection();
    }
    SelectionBatch(const SelectionBatch&) = delete;
    SelectionBatch& operator=(const SelectionBatch&) = delete;

private:
    Front& front_;
};

// Hands the download's news to the executor's thread, for the round it was made for.
class Front::DownloadListener final : public UpdateDownloadListener {
public:
    DownloadListener(Front& front, int round)
        : front_(front), round_(round), alive_(front.alive_) {}

    void onProgress(int percent) override {
        post([percent](Front& front) {
            front.tell([&](FrontListener& l) { l.onDownloadProgress(percent); });
        });
    }
    void onFinished(int result, const std::string& path) override {
        post([result, path](Front& front) {
            front.tell([&](FrontListener& l) { l.onDownloadFinished(endOf(result), path); });
        });
    }

private:
    template <typename Task>
    void post(Task task) {
        // Dropped with the front, or once another download began.
        front_.executor_.post(
            [&front = front_, alive = alive_, round = round_, task = std::move(task)] {
                if (*alive && round == front.downloadRound_) task(front);
            });
    }

    Front& front_;
    const int round_;
    const std::shared_ptr<bool> alive_;
};

Front::Front(FrontParts parts, Executor& executor)
    : parts_(std::move(parts)),
      executor_(executor),
      subscriber_(std::make_unique<Subscriber>(*this)) {
    if (parts_.library) parts_.library->subscribe(subscriber_.get());
    if (parts_.queue) parts_.queue->subscribe(subscriber_.get());
    if (parts_.networks) parts_.networks->subscribe(subscriber_.get());
}

Front::~Front() {
    *alive_ = false;
    endCommands();
    endDownload();
    if (parts_.networks) parts_.networks->unsubscribe(subscriber_.get());
    if (parts_.library) parts_.library->unsubscribe(subscriber_.get());
    if (parts_.queue) parts_.queue->unsubscribe(subscriber_.get());
}

void Front::subscribe(FrontListener* listener) {
    listeners_.push_back(listener);
}

void Front::unsubscribe(FrontListener* listener) {
    std::erase(listeners_, listener);
}

template <typename Tell>
void Front::tell(Tell&& what) {
    // A listener may unsubscribe while it hears.
    const std::vector<FrontListener*> now = listeners_;
    for (FrontListener* listener : now) {
        if (std::find(listeners_.begin(), listeners_.end(), listener) != listeners_.end())
            what(*listener);
    }
}

std::vector<CardView> Front::cards() const {
    std::vector<CardView> cards;
    for (const VIDEOINFO_ST& item : parts_.library->items()) cards.push_back(viewOf(item));
    return cards;
}

std::optional<CardView> Front::card(const std::string& itemId) const {
    for (const VIDEOINFO_ST& item : parts_.library->items()) {
        if (item.itemId == itemId) return viewOf(item);
    }
    return std::nullopt;
}

CardView Front::viewOf(const VIDEOINFO_ST& item) const {
    const VideoCard& card = *item.card;
    CardView view;
    view.itemId = item.itemId;
    view.path = card.path();
    view.name = card.name();
    if (view.name.empty()) view.name = item.name;
    view.shortName = ShortName(view.name);
    view.thumbnailPath = card.thumbnailPath();
    view.thumbUsable = card.thumbUsable();
    view.look = lookOf(parts_.library->KindOf(item));
    view.checked = card.checked();
    view.examined = card.examined();
    // Examined without a key: the catalogue refused it (full, or its link
    // file could not be written).
    view.notShared = view.examined && view.look != CardLook::Missing && card.key().empty();
    const MediaProbeResult probe = card.probe();
    view.durationMs = leadingNumber(probe.duration);
    view.bytes = leadingNumber(probe.fileSize);
    view.width = leadingNumber(probe.width);
    view.height = leadingNumber(probe.height);
    return view;
}

bool Front::isVideoName(const std::string& name) {
    return IsAcceptedVideoName(name);
}

bool Front::examining() const {
    return parts_.library->examining();
}

bool Front::mayAdd() {
    return parts_.library->MayAdd();
}

bool Front::addChosen(const std::vector<std::string>& paths) {
    return parts_.library->AddByDialog(paths);
}

DroppedPaths Front::expandDrop(const std::vector<std::string>& paths) {
    namespace fs = std::filesystem;
    DroppedPaths out;
    for (const std::string& path : paths) {
        std::error_code error;
        if (!fs::is_directory(path, error)) {
            out.files.push_back(path);
            continue;
        }
        // What a file manager shows of the folder: its files, hidden ones aside.
        std::vector<std::string> names;
        for (const fs::directory_entry& entry : fs::directory_iterator(path, error)) {
            std::string name = entry.path().filename().string();
            if (name.starts_with('.') || !entry.is_regular_file(error)) continue;
            if (isVideoName(name)) names.push_back(std::move(name));
        }
        std::sort(names.begin(), names.end(), namedBefore);
        if (names.empty()) out.emptyFolder = true;
        const std::string folder = path.ends_with('/') ? path : path + "/";
        for (const std::string& name : names) out.files.push_back(folder + name);
    }
    return out;
}

void Front::addDropped(const DroppedPaths& dropped) {
    if (dropped.files.empty() && !dropped.emptyFolder) return;
    parts_.library->AddDropped(dropped.files, dropped.emptyFolder);
}

void Front::toggleChecked(const std::string& itemId) {
    SelectionBatch batch(*this);
    parts_.library->ToggleChecked(itemId);
}

SelectionView Front::selection() const {
    if (!parts_.library) return {};
    SelectionView looks;
    const std::vector<CardView> all = cards();
    for (const CardView& card : all) {
        if (!card.checked) continue;
        looks.actions = true;
        looks.convert =
            looks.convert || card.look == CardLook::Plain || card.look == CardLook::Interrupted;
    }
    looks.allChecked = !all.empty() && std::all_of(all.begin(), all.end(),
                                                   [](const CardView& c) { return c.checked; });
    return looks;
}

void Front::sendSelection() {
    const SelectionView now = selection();
    if (now == selectionSent_) return;
    selectionSent_ = now;
    tell([&](FrontListener& l) { l.onSelectionLooks(now); });
}

void Front::setAllChecked(bool on) {
    SelectionBatch batch(*this);
    parts_.library->SetAllChecked(on);
}

ConvertOutcome Front::queueConversion() {
    SelectionBatch batch(*this);
    QueueOutcome outcome = parts_.library->QueueConversion();
    return laidOut(outcome.queued, std::move(outcome.question));
}

ConvertOutcome Front::answerDuplicate(DuplicateChoice answer) {
    SelectionBatch batch(*this);
    QueueOutcome outcome =
        parts_.library->AnswerDuplicate(answer == DuplicateChoice::Continue ? ANSWER_CONTINUE
                                        : answer == DuplicateChoice::Skip   ? ANSWER_SKIP
                                                                            : ANSWER_CLOSED);
    return laidOut(outcome.queued, std::move(outcome.question));
}

ConvertOutcome Front::laidOut(bool queued, std::optional<std::string> question) {
    // The new tasks are laid out and saved once, after the whole batch.
    if (queued) parts_.queue->Refresh();
    return {std::move(question), queued};
}

DeleteQuestion Front::deleteQuestion() const {
    bool converting = false, queued = false, converted = false, any = false;
    for (const CardView& card : cards()) {
        if (!card.checked) continue;
        any = true;
        converting |= card.look == CardLook::Converting;
        queued |= card.look == CardLook::Waiting || card.look == CardLook::Interrupted;
        converted |= card.look == CardLook::Converted;
    }
    if (!any) return DeleteQuestion::None;
    // The weightiest loss is asked about: a running conversion's progress,
    // then a queued task, then a converted file. A plain card is only
    // unshared, its file stays: that needs no question.
    return converting  ? DeleteQuestion::StopRunning
           : queued    ? DeleteQuestion::DeleteQueued
           : converted ? DeleteQuestion::DeleteConverted
                       : DeleteQuestion::Unasked;
}

void Front::deleteItems(bool deleteConvertedFiles) {
    SelectionBatch batch(*this);
    parts_.library->DeleteItems(deleteConvertedFiles);
}

void Front::setLibraryClosing() {
    if (parts_.library) parts_.library->setClosing();
}

std::vector<TaskRowView> Front::tasks() const {
    std::vector<TaskRowView> rows;
    for (const TaskView& task : parts_.queue->tasks()) rows.push_back(rowOf(task));
    return rows;
}

std::optional<TaskRowView> Front::task(const std::string& taskKey) const {
    auto found = parts_.queue->task(taskKey);
    if (!found) return std::nullopt;
    return rowOf(*found);
}

TaskRowView Front::rowOf(const TaskView& task) const {
    TaskRowView row;
    row.key = task.item.TaskKey;
    row.name = task.item.VideoName;
    row.bytes = leadingNumber(task.item.VideoSize);
    row.thumbnailPath = task.item.VideoScreenPath;
    row.modeLabel = task.modeLabel;
    row.look = lookOfTask(task.state);
    row.percent = task.progress;
    row.failReason = task.failReason;
    row.outputPath = task.outputPath.empty()
                         ? ConvertedOutputPath(convertFolder(), task.item.VideoName)
                         : task.outputPath;
    return row;
}

void Front::cancelTask(const std::string& taskKey) {
    auto found = parts_.queue->task(taskKey);
    if (!found) return;
    // No question asked: a running task stops (its partial file is deleted)
    // and leaves the queue; any other one leaves it at once.
    if (found->state == TASK_RUNNING)
        parts_.queue->StopTask(taskKey);
    else
        parts_.queue->DeleteTask(taskKey);
}

void Front::pinToTop(const std::string& taskKey) {
    parts_.queue->PinToTop(taskKey);
}

void Front::retryTask(const std::string& taskKey) {
    parts_.queue->RetryTask(taskKey);
}

void Front::clearFinished() {
    parts_.queue->ClearFinished();
}

bool Front::anyRunning() const {
    return parts_.queue && parts_.queue->AnyRunning();
}

void Front::stopAll() {
    if (parts_.queue) parts_.queue->StopAll(true);
}

std::vector<std::string> Front::addresses() const {
    return parts_.networks ? parts_.networks->view().offered : parts_.addresses;
}

std::string Front::pinnedAddress() const {
    return parts_.networks ? parts_.networks->view().pin : std::string();
}

AddressView Front::networks() const {
    if (!parts_.networks) return {};
    const NetworksView view = parts_.networks->view();
    AddressView shown{view.pin, {}, view.pinAbsent, view.portsHeld, {}};
    for (const AddressStatus& network : view.served)
        shown.served.push_back({network.where.address, network.where.adapter});
    if (int blocked = view.firewalled(); blocked >= 0) {
        const FirewallVerdict& verdict = view.firewall[static_cast<std::size_t>(blocked)];
        shown.firewall = FirewallWarning{
            verdict.kind == FirewallKind::Firewalld ? "firewalld" : "ufw", verdict.zone,
            verdict.state == FirewallState::Blocked,
            view.served[static_cast<std::size_t>(blocked)].where.address, verdict.fixCommand};
    }
    return shown;
}

std::string Front::currentAddress() const {
    if (parts_.networks) return parts_.networks->view().shown;
    return parts_.service ? parts_.service->address() : std::string();
}

int Front::connectedPhones() const {
    return parts_.service ? parts_.service->connectedClients() : 0;
}

bool Front::serviceRunning() const {
    if (parts_.networks) return parts_.networks->view().listening();
    return !parts_.service || parts_.service->running();
}

void Front::stopService() {
    if (parts_.networks)
        parts_.networks->stop();
    else if (parts_.service)
        parts_.service->stop();
}

CommandWorker& Front::worker(Lane lane) {
    switch (lane) {
        case Lane::Network:
            return network_;
        case Lane::Firewall:
            return firewall_;
        case Lane::Updates:
            break;
    }
    return updates_;
}

void Front::endCommands() {
    network_.stop();
    firewall_.stop();
    updates_.stop();
}

void Front::switchAddress(const std::string& address, std::function<void(bool)> done) {
    command<bool>(
        Lane::Network, [this, address] { return switchAddressNow(address); }, std::move(done));
}

bool Front::switchAddressNow(const std::string& address) {
    if (!parts_.networks) return parts_.service && parts_.service->setAddress(address).ok();
    NetworksView view = parts_.networks->pin(address);
    // Remembered at once: a crash or a kill must not lose the choice.
    g_pSettings()->PinnedIP = address;
    saveSettings();
    return view.listening();
}

void Front::openFirewall(std::function<void(FirewallOpening)> done) {
    command<FirewallOpening>(
        Lane::Firewall, [this] { return openFirewallNow(); }, std::move(done));
}

FirewallOpening Front::openFirewallNow() {
    if (!parts_.networks) return FirewallOpening::Failed;
    const NetworksView view = parts_.networks->view();
    const int blocked = view.firewalled();
    if (blocked < 0) return FirewallOpening::Opened;
    const FirewallVerdict verdict = view.firewall[static_cast<std::size_t>(blocked)];
    const FirewallFixResult result = runFirewallFix(verdict);
    PostLog("firewall: " +
                (result.output.empty() ? std::string("no answer from pkexec") : result.output),
            kMainWindowTag);
    if (result.outcome == FirewallFixResult::Outcome::Opened && verdict.kind == FirewallKind::Ufw) {
        // ufw's rules are root's to read: that phones may pass is ours to remember.
        g_pSettings()->UfwAllowed = 1;
        saveSettings();
    }
    parts_.networks->recheckFirewall();
    switch (result.outcome) {
        case FirewallFixResult::Outcome::Opened:
            return FirewallOpening::Opened;
        case FirewallFixResult::Outcome::Dismissed:
        case FirewallFixResult::Outcome::NotAuthorized:
            return FirewallOpening::Dismissed;
        default:
            return FirewallOpening::Failed;
    }
}

void Front::checkVersion(std::function<void(UpdateCheck)> done) {
    command<UpdateCheck>(
        Lane::Updates, [this] { return checkVersionNow(); }, std::move(done));
}

UpdateCheck Front::checkVersionNow() {
    return parts_.updates ? checkWith(*parts_.updates) : UpdateCheck{};
}

UpdateCheck Front::checkWith(HttpHelper& updates) {
    const VersionCheckResult result = updates.CheckVersion();
    using Outcome = VersionCheckResult::Outcome;
    const UpdateCheck::Outcome outcome =
        result.outcome == Outcome::UpdateOffered ? UpdateCheck::Outcome::UpdateOffered
        : result.outcome == Outcome::UpToDate    ? UpdateCheck::Outcome::UpToDate
        : result.outcome == Outcome::NoOffer     ? UpdateCheck::Outcome::NoOffer
                                                 : UpdateCheck::Outcome::Failed;
    return {outcome, result.downloadUrl, result.versionName};
}

void Front::cancelCheck() {
    if (parts_.updates) parts_.updates->Cancel();
}

ExitChoice Front::exitChoice() const {
    switch (g_pSettings()->ExitWndType) {
        case EXIT_WND_HIDE:
            return ExitChoice::Hide;
        case EXIT_WND_QUIT:
            return ExitChoice::Quit;
        default:
            return ExitChoice::Ask;
    }
}

void Front::saveExitChoice(ExitChoice choice) {
    g_pSettings()->ExitWndType = choice == ExitChoice::Hide   ? EXIT_WND_HIDE
                                 : choice == ExitChoice::Quit ? EXIT_WND_QUIT
                                                              : EXIT_WND_ASK;
    saveSettings();
}

bool Front::deleteOrigin() const {
    return g_pSettings()->DeleteOrigin != 0;
}

int Front::comSleepUnSleep() const {
    return g_pSettings()->ComSleepUnSleep;
}

void Front::setComSleepUnSleep(int value) {
    g_pSettings()->ComSleepUnSleep = value;
}

KeepAwakeObstacle Front::keepAwakeObstacle() const {
    return parts_.keepAwake ? parts_.keepAwake->obstacle() : KeepAwakeObstacle::None;
}

int Front::videoConvertRatio() const {
    return g_pSettings()->VideoConvertRatio;
}

void Front::setVideoConvertRatio(int ratio) {
    g_pSettings()->VideoConvertRatio = ratio;
}

std::string Front::productVersion() {
    return GetProductVersionText();
}

bool Front::saveSettings() const {
    return SaveSettings(currentAddress().substr(0, kAddressTextLimit));
}

std::string Front::convertFolder() {
    return GetConvertPath();
}

FolderChoice Front::setConvertFolder(const std::string& folder) {
    // Tried, not judged by its mode bits: root passes those everywhere, and a
    // read-only mount or a folder of /proc still refuses every file.
    if (int error = probeWritableFolder(folder); error != 0) {
        PostLog("save folder refused, " + errorText(error) + ": " + folder,
                "ZorvexUIFiles\\RightVideoDlg");
        return FolderChoice::NotWritable;
    }
    g_pSettings()->ConvertPath = folder;
    return saveSettings() ? FolderChoice::Saved : FolderChoice::NotSaved;
}

bool Front::startDownload(const std::string& url, const std::string& version) {
    endDownload();
    downloadListener_ = std::make_unique<DownloadListener>(*this, downloadRound_);
    download_ = std::make_unique<UpdateDownload>(
        *downloadListener_, parts_.update ? *parts_.update : UpdateContext{},
        parts_.download ? *parts_.download : DownloadOptions{});
    download_->SetDownloadTarget(url, version);
    return download_->start();
}

void Front::cancelDownload() {
    if (download_) download_->cancel();
}

DownloadEnd Front::downloadResult() const {
    return download_ ? endOf(download_->Result()) : DownloadEnd::Failed;
}

void Front::endDownload() {
    ++downloadRound_;
    // Joined before its listener goes.
    download_.reset();
    downloadListener_.reset();
}

}  // namespace zorvex
