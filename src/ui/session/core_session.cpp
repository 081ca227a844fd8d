#include "ui/session/core_session.h"

#include <QDesktopServices>
#include <QUrl>

#include "foundation/log_recorder.h"
#include "foundation/settings.h"
#include "foundation/system_info.h"
#include "library/video_card.h"
#include "library/video_library.h"
#include "platform/coalesced_post.h"
#include "platform/desktop_handler.h"
#include "platform/error_text.h"
#include "platform/file_util.h"
#include "platform/firewall.h"
#include "platform/keep_awake.h"
#include "service/served_networks.h"
#include "service/service.h"
#include "transcode/conversion_queue.h"
#include "transcode/conversion_task.h"
#include "transcode/convert_param.h"
#include "ui/toolkit/qt_executor.h"
#include "update/http_helper.h"
#include "update/update_download.h"

namespace zorvex::ui {
namespace {
// The installer is the main window's business in the day's log.
constexpr const char* kMainWindowTag = "ZorvexVRClientDlg";

DownloadEnd endOf(int result) {
    return result == kDownloadSucceeded   ? DownloadEnd::Succeeded
           : result == kDownloadCancelled ? DownloadEnd::Cancelled
                                          : DownloadEnd::Failed;
}
// config.ini keeps at most 19 characters of the address in use.
constexpr std::size_t kAddressTextLimit = 19;

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

}  // namespace

class CoreSession::Subscriber final : public VideoLibraryListener,
                                      public ConversionQueueListener,
                                      public NetworksListener {
public:
    explicit Subscriber(CoreSession& session) : session_(session) {}

    // The library's news (its toast codes are the toast's own).
    void onToast(int code) override { emit session_.toast(code); }
    void onConversionBalloon(const std::string& name) override {
        emit session_.conversionBalloon(name);
    }
    void onLibraryChanged() override {
        emit session_.libraryChanged();
        selectionMayChange();
    }
    void onCardChanged(const std::string& itemId) override {
        emit session_.cardChanged(itemId);
        selectionMayChange();
    }
    void onTaskEvent(TaskEvent code, const std::string& videoPath) override {
        emit session_.taskEvent(stepOf(code), videoPath);
        selectionMayChange();
    }
    void onUnexaminable(const std::string& name) override { emit session_.unexaminable(name); }
    // The queue's.
    void onJobMessage(const std::string& text) override { emit session_.jobMessage(text); }
    void onQueueChanged() override { emit session_.queueChanged(); }
    void onProgress(const std::string& taskKey, std::uint32_t percent) override {
        emit session_.progress(taskKey, percent);
    }
    // The served networks' (on the GUI thread, the core's executor).
    void onNetworksChanged(const NetworksView&) override { emit session_.networksChanged(); }

private:
    // Within a command, once it is done; else once the news of a burst (an
    // examination, the queue's steps) has been heard.
    void selectionMayChange() {
        if (session_.commands_ == 0) selection_.request();
    }

    CoreSession& session_;
    QtExecutor gui_{&session_};
    CoalescedPost selection_{gui_, [this] { session_.sendSelection(); }};
};

// A command of the user's: the cards it changes are one change of the
// selection, sent as soon as the command is done.
class CoreSession::SelectionBatch {
public:
    explicit SelectionBatch(CoreSession& session) : session_(session) { ++session_.commands_; }
    ~SelectionBatch() {
        if (--session_.commands_ == 0) session_.sendSelection();
    }
    SelectionBatch(const SelectionBatch&) = delete;
    SelectionBatch& operator=(const SelectionBatch&) = delete;

private:
    CoreSession& session_;
};

CoreSession::CoreSession(CoreParts parts, QObject* parent)
    : QObject(parent), parts_(std::move(parts)), subscriber_(std::make_unique<Subscriber>(*this)) {
    if (parts_.library) parts_.library->subscribe(subscriber_.get());
    if (parts_.queue) parts_.queue->subscribe(subscriber_.get());
    if (parts_.networks) parts_.networks->subscribe(subscriber_.get());
}

// Hands the worker's news to the GUI thread, for the round it was made for.
class CoreSession::DownloadListener final : public UpdateDownloadListener {
public:
    DownloadListener(CoreSession* session, int round) : session_(session), round_(round) {}

    void onProgress(int percent) override {
        post([percent](CoreSession* session) { emit session->downloadProgress(percent); });
    }
    void onFinished(int result, const std::string& path) override {
        post([result, path](CoreSession* session) {
            session->onDownloadFinished(endOf(result), path);
        });
    }

private:
    template <typename Task>
    void post(Task task) {
        // Dropped with the session, or once another download began.
        QMetaObject::invokeMethod(
            session_,
            [session = session_, round = round_, task = std::move(task)] {
                if (round == session->downloadRound_) task(session);
            },
            Qt::QueuedConnection);
    }

    CoreSession* const session_;
    const int round_;
};

CoreSession::~CoreSession() {
    endDownload();
    if (parts_.networks) parts_.networks->unsubscribe(subscriber_.get());
    if (parts_.library) parts_.library->unsubscribe(subscriber_.get());
    if (parts_.queue) parts_.queue->unsubscribe(subscriber_.get());
}

std::vector<CardView> CoreSession::cards() const {
    std::vector<CardView> cards;
    for (const VIDEOINFO_ST& item : parts_.library->items()) cards.push_back(viewOf(item));
    return cards;
}

std::optional<CardView> CoreSession::card(const std::string& itemId) const {
    for (const VIDEOINFO_ST& item : parts_.library->items()) {
        if (item.itemId == itemId) return viewOf(item);
    }
    return std::nullopt;
}

CardView CoreSession::viewOf(const VIDEOINFO_ST& item) const {
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

bool CoreSession::isVideoName(const std::string& name) {
    return IsAcceptedVideoName(name);
}

bool CoreSession::examining() const {
    return parts_.library->examining();
}

bool CoreSession::mayAdd() {
    return parts_.library->MayAdd();
}

bool CoreSession::addChosen(const std::vector<std::string>& paths) {
    return parts_.library->AddByDialog(paths);
}

void CoreSession::addDropped(const std::vector<std::string>& paths, bool folderWithoutVideos) {
    parts_.library->AddDropped(paths, folderWithoutVideos);
}

void CoreSession::toggleChecked(const std::string& itemId) {
    SelectionBatch batch(*this);
    parts_.library->ToggleChecked(itemId);
}

SelectionView CoreSession::selection() const {
    if (!hasLibrary()) return {};
    const SelectionLooks looks = parts_.library->Selection();
    return {looks.convert, looks.actions, looks.allChecked};
}

void CoreSession::sendSelection() {
    const SelectionView now = selection();
    if (now == selectionSent_) return;
    selectionSent_ = now;
    emit selectionLooks(now);
}

bool CoreSession::allChecked() const {
    return parts_.library->AllChecked();
}

void CoreSession::setAllChecked(bool on) {
    SelectionBatch batch(*this);
    parts_.library->SetAllChecked(on);
}

ConvertOutcome CoreSession::queueConversion() {
    SelectionBatch batch(*this);
    QueueOutcome outcome = parts_.library->QueueConversion();
    return laidOut(outcome.queued, std::move(outcome.question));
}

ConvertOutcome CoreSession::answerDuplicate(DuplicateChoice answer) {
    SelectionBatch batch(*this);
    QueueOutcome outcome =
        parts_.library->AnswerDuplicate(answer == DuplicateChoice::Continue ? ANSWER_CONTINUE
                                        : answer == DuplicateChoice::Skip   ? ANSWER_SKIP
                                                                            : ANSWER_CLOSED);
    return laidOut(outcome.queued, std::move(outcome.question));
}

ConvertOutcome CoreSession::laidOut(bool queued, std::optional<std::string> question) {
    // The new tasks are laid out and saved once, after the whole batch.
    if (queued) parts_.queue->Refresh();
    return {std::move(question), queued};
}

DeleteQuestion CoreSession::deleteQuestion() const {
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

void CoreSession::deleteItems(bool deleteConvertedFiles) {
    SelectionBatch batch(*this);
    parts_.library->DeleteItems(deleteConvertedFiles);
}

void CoreSession::setLibraryClosing() {
    if (parts_.library) parts_.library->setClosing();
}

std::vector<TaskRowView> CoreSession::tasks() const {
    std::vector<TaskRowView> rows;
    for (const TaskView& task : parts_.queue->tasks()) rows.push_back(rowOf(task));
    return rows;
}

std::optional<TaskRowView> CoreSession::task(const std::string& taskKey) const {
    auto found = parts_.queue->task(taskKey);
    if (!found) return std::nullopt;
    return rowOf(*found);
}

TaskRowView CoreSession::rowOf(const TaskView& task) const {
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

void CoreSession::cancelTask(const std::string& taskKey) {
    auto found = parts_.queue->task(taskKey);
    if (!found) return;
    // No question asked: a running task stops (its partial file is deleted)
    // and leaves the queue; any other one leaves it at once.
    if (found->state == TASK_RUNNING)
        parts_.queue->StopTask(taskKey);
    else
        parts_.queue->DeleteTask(taskKey);
}

void CoreSession::pinToTop(const std::string& taskKey) {
    parts_.queue->PinToTop(taskKey);
}

void CoreSession::retryTask(const std::string& taskKey) {
    parts_.queue->RetryTask(taskKey);
}

void CoreSession::clearFinished() {
    parts_.queue->ClearFinished();
}

bool CoreSession::anyRunning() const {
    return parts_.queue && parts_.queue->AnyRunning();
}

void CoreSession::stopAll() {
    if (parts_.queue) parts_.queue->StopAll(true);
}

std::vector<std::string> CoreSession::addresses() const {
    return parts_.networks ? parts_.networks->view().offered : parts_.addresses;
}

std::string CoreSession::pinnedAddress() const {
    return parts_.networks ? parts_.networks->view().pin : std::string();
}

AddressView CoreSession::networks() const {
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

FirewallOpening CoreSession::openFirewall() {
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
        saveRecord();
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

std::string CoreSession::currentAddress() const {
    if (parts_.networks) return parts_.networks->view().shown;
    return parts_.service ? parts_.service->address() : std::string();
}

bool CoreSession::saveRecord() const {
    return SaveSettings(currentAddress().substr(0, kAddressTextLimit));
}

int CoreSession::connectedPhones() const {
    return parts_.service ? parts_.service->connectedClients() : 0;
}

bool CoreSession::serviceRunning() const {
    if (parts_.networks) return parts_.networks->view().listening();
    return !parts_.service || parts_.service->running();
}

bool CoreSession::switchAddress(const std::string& address) {
    if (!parts_.networks) return parts_.service && parts_.service->setAddress(address).ok();
    NetworksView view = parts_.networks->pin(address);
    // Remembered at once: a crash or a kill must not lose the choice.
    g_pSettings()->PinnedIP = address;
    saveRecord();
    return view.listening();
}

void CoreSession::stopService() {
    if (parts_.networks)
        parts_.networks->stop();
    else if (parts_.service)
        parts_.service->stop();
}

ExitChoice CoreSession::exitChoice() const {
    switch (g_pSettings()->ExitWndType) {
        case EXIT_WND_HIDE:
            return ExitChoice::Hide;
        case EXIT_WND_QUIT:
            return ExitChoice::Quit;
        default:
            return ExitChoice::Ask;
    }
}

void CoreSession::saveExitChoice(ExitChoice choice) {
    g_pSettings()->ExitWndType = choice == ExitChoice::Hide   ? EXIT_WND_HIDE
                                 : choice == ExitChoice::Quit ? EXIT_WND_QUIT
                                                              : EXIT_WND_ASK;
    saveRecord();
}

bool CoreSession::deleteOrigin() const {
    return g_pSettings()->DeleteOrigin != 0;
}

int CoreSession::comSleepUnSleep() const {
    return g_pSettings()->ComSleepUnSleep;
}

KeepAwakeObstacle CoreSession::keepAwakeObstacle() const {
    if (!parts_.keepAwake) return KeepAwakeObstacle::None;
    switch (parts_.keepAwake->obstacle()) {
        case KeepAwake::Obstacle::NoSystemBus:
            return KeepAwakeObstacle::NoSystemBus;
        case KeepAwake::Obstacle::NoInhibitor:
            return KeepAwakeObstacle::NoInhibitor;
        case KeepAwake::Obstacle::None:
            break;
    }
    return KeepAwakeObstacle::None;
}

int CoreSession::videoConvertRatio() const {
    return g_pSettings()->VideoConvertRatio;
}

void CoreSession::setComSleepUnSleep(int value) {
    g_pSettings()->ComSleepUnSleep = value;
}

void CoreSession::setVideoConvertRatio(int ratio) {
    g_pSettings()->VideoConvertRatio = ratio;
}

std::string CoreSession::productVersion() const {
    return GetProductVersionText();
}

bool CoreSession::saveSettings() {
    return saveRecord();
}

std::string CoreSession::convertFolder() const {
    return GetConvertPath();
}

CoreSession::FolderChoice CoreSession::setConvertFolder(const std::string& folder) {
    // Tried, not judged by its mode bits: root passes those everywhere, and a
    // read-only mount or a folder of /proc still refuses every file.
    if (int error = probeWritableFolder(folder); error != 0) {
        PostLog("save folder refused, " + errorText(error) + ": " + folder,
                "ZorvexUIFiles\\RightVideoDlg");
        return FolderChoice::NotWritable;
    }
    g_pSettings()->ConvertPath = folder;
    return saveRecord() ? FolderChoice::Saved : FolderChoice::NotSaved;
}

UpdateCheck CoreSession::checkVersion() {
    return parts_.updates ? checkWith(*parts_.updates) : UpdateCheck{};
}

UpdateCheck CoreSession::checkWith(HttpHelper& updates) {
    const VersionCheckResult result = updates.CheckVersion();
    using Outcome = VersionCheckResult::Outcome;
    const UpdateCheck::Outcome outcome =
        result.outcome == Outcome::UpdateOffered ? UpdateCheck::Outcome::UpdateOffered
        : result.outcome == Outcome::UpToDate    ? UpdateCheck::Outcome::UpToDate
        : result.outcome == Outcome::NoOffer     ? UpdateCheck::Outcome::NoOffer
                                                 : UpdateCheck::Outcome::Failed;
    return {outcome, result.downloadUrl, result.versionName};
}

void CoreSession::cancelCheck() {
    if (parts_.updates) parts_.updates->Cancel();
}

bool CoreSession::openFile(const std::string& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

bool CoreSession::openInstaller(const std::string& path) {
    // QDesktopServices says only whether a launcher started; whether a
    // program takes the file is known before, from its type's default.
    DesktopHandler handler = FindDesktopHandler(path);
    if (handler.answer == DesktopHandler::Answer::None) {
        PostLog("没有可以打开 " + handler.type + " 的程序: " + path, kMainWindowTag);
        return false;
    }
    return openFile(path);
}

bool CoreSession::startDownload(const std::string& url, const std::string& version) {
    endDownload();
    downloadListener_ = std::make_unique<DownloadListener>(this, downloadRound_);
    download_ = std::make_unique<UpdateDownload>(
        *downloadListener_, parts_.update ? *parts_.update : UpdateContext{},
        parts_.download ? *parts_.download : DownloadOptions{});
    download_->SetDownloadTarget(url, version);
    return download_->start();
}

void CoreSession::cancelDownload() {
    if (download_) download_->cancel();
}

DownloadEnd CoreSession::downloadResult() const {
    return download_ ? endOf(download_->Result()) : DownloadEnd::Failed;
}

void CoreSession::endDownload() {
    ++downloadRound_;
    // Joined before its listener goes.
    download_.reset();
    downloadListener_.reset();
}

void CoreSession::onDownloadFinished(DownloadEnd result, const std::string& path) {
    bool opened = false;
    if (result == DownloadEnd::Succeeded)
        opened =
            OpenInstaller(path, [this](const std::string& file) { return openInstaller(file); });
    if (result == DownloadEnd::Cancelled) log("取消下载", kDownLoadDlgTag);
    emit downloadFinished(result, path, opened);
}

void CoreSession::log(std::string_view text, std::string_view tag) const {
    PostLog(text, tag);
}

}  // namespace zorvex::ui
