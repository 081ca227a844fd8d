#include "ui/session/core_session.h"

#include <QDesktopServices>
#include <QTimer>
#include <QUrl>

#include "foundation/system_info.h"
#include "platform/desktop_handler.h"
#include "platform/error_text.h"
#include "platform/file_util.h"
#include "service/service.h"
#include "transcode/conversion_task.h"
#include "transcode/convert_param.h"

namespace zorvex::ui {
namespace {
// The installer is the main window's business in the day's log.
constexpr const char* kMainWindowTag = "ZorvexVRClientDlg";
constexpr int kMissingRecheckMs = 2000;
}  // namespace

CoreSession::CoreSession(CoreParts parts, QObject* parent)
    : QObject(parent), parts_(std::move(parts)) {
    if (parts_.library) parts_.library->subscribe(this);
    if (parts_.queue) parts_.queue->subscribe(this);
    if (parts_.library) {
        // A missing file may come back while no phone asks for the lists.
        auto* recheck = new QTimer(this);
        connect(recheck, &QTimer::timeout, this, [this] { parts_.library->RecheckMissing(); });
        recheck->start(kMissingRecheckMs);
    }
    if (parts_.networks) {
        // Heard on the GUI thread (the core's executor), while this lives.
        networksListener_ =
            parts_.networks->addListener([this](const NetworksView&) { emit networksChanged(); });
    }
}

CoreSession::~CoreSession() {
    if (parts_.networks) parts_.networks->removeListener(networksListener_);
    if (parts_.library) parts_.library->unsubscribe(this);
    if (parts_.queue) parts_.queue->unsubscribe(this);
}

std::vector<VIDEOINFO_ST> CoreSession::items() const {
    return parts_.library->items();
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
    parts_.library->ToggleChecked(itemId);
}

void CoreSession::evaluateSelection() {
    parts_.library->EvaluateSelection();
}

bool CoreSession::allChecked() const {
    return parts_.library->AllChecked();
}

void CoreSession::setAllChecked(bool on) {
    parts_.library->SetAllChecked(on);
}

QueueOutcome CoreSession::queueConversion() {
    return laidOut(parts_.library->QueueConversion());
}

QueueOutcome CoreSession::answerDuplicate(DuplicateAnswer answer) {
    return laidOut(parts_.library->AnswerDuplicate(answer));
}

QueueOutcome CoreSession::laidOut(QueueOutcome outcome) {
    // The new tasks are laid out and saved once, after the whole batch.
    if (outcome.queued) parts_.queue->Refresh();
    return outcome;
}

void CoreSession::deleteItems(bool deleteConvertedFiles) {
    parts_.library->DeleteItems(deleteConvertedFiles);
}

void CoreSession::setLibraryClosing() {
    if (parts_.library) parts_.library->setClosing();
}

std::vector<TaskView> CoreSession::tasks() const {
    return parts_.queue->tasks();
}

std::optional<TaskView> CoreSession::task(const std::string& taskKey) const {
    return parts_.queue->task(taskKey);
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

std::string CoreSession::outputPathOf(const TaskView& task) const {
    if (!task.outputPath.empty()) return task.outputPath;
    return ConvertedOutputPath(convertFolder(), task.item.VideoName);
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

NetworksView CoreSession::networks() const {
    return parts_.networks ? parts_.networks->view() : NetworksView{};
}

std::string CoreSession::currentAddress() const {
    return parts_.networks ? parts_.networks->view().shown : GetLocalIP();
}

void CoreSession::setCurrentAddress(const std::string& address) {
    SetLocalIP(address);
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
    SaveSettings();
    return view.listening();
}

void CoreSession::stopService() {
    if (parts_.networks)
        parts_.networks->stop();
    else if (parts_.service)
        parts_.service->stop();
}

SETTINGS_ST CoreSession::settings() const {
    return *g_pSettings();
}

int CoreSession::exitWndType() const {
    return static_cast<int>(g_pSettings()->ExitWndType);
}

void CoreSession::saveExitWndType(int type) {
    g_pSettings()->ExitWndType = type;
    SaveSettings();
}

bool CoreSession::deleteOrigin() const {
    return g_pSettings()->DeleteOrigin != 0;
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
    return SaveSettings();
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
    return SaveSettings() ? FolderChoice::Saved : FolderChoice::NotSaved;
}

VersionCheckResult CoreSession::checkVersion() {
    return parts_.updates ? parts_.updates->CheckVersion() : VersionCheckResult{};
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

void CoreSession::onToast(int code) {
    emit toast(static_cast<LibraryToast>(code));
}

void CoreSession::onSelectionLooks(const SelectionLooks& looks) {
    emit selectionLooks(looks);
}

void CoreSession::onConversionBalloon(const std::string& name) {
    emit conversionBalloon(name);
}

void CoreSession::onLibraryChanged() {
    emit libraryChanged();
}

void CoreSession::onCardChanged(const std::string& itemId) {
    emit cardChanged(itemId);
}

void CoreSession::onUnexaminable(const std::string& name) {
    emit unexaminable(name);
}

void CoreSession::onTaskEvent(TaskEvent code, const std::string& videoPath) {
    emit taskEvent(code, videoPath);
}

void CoreSession::onConverted(const std::string& sourcePath, const std::string& outputPath) {
    emit converted(sourcePath, outputPath);
}

void CoreSession::onJobMessage(const std::string& text) {
    emit jobMessage(text);
}

void CoreSession::onQueueChanged() {
    emit queueChanged();
}

void CoreSession::onProgress(const std::string& taskKey, std::uint32_t percent) {
    emit progress(taskKey, percent);
}

}  // namespace zorvex::ui
