#pragma once

#include <QObject>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Windows see the front's values only; the front itself names no core type.
#include "front/front.h"
#include "ui/session/session_views.h"
#include "ui/toolkit/qt_executor.h"

namespace zorvex::ui {

// What a session drives: see FrontParts. Without the library and the queue
// the main window shows the placeholder page.
using CoreParts = FrontParts;

// The windows' one road to the core: a Qt face over the front. The front
// makes every decision; the session hands it the windows' commands and says
// its news as signals that any number of windows connect to, on the GUI
// thread. What touches the desktop (opening a file or the installer) is the
// session's own.
//
// The virtual commands are those that block, wait on the desktop or end
// what runs; a test replaces them to stand for a slow or failing core.
// GUI thread only, unless a command says otherwise: the library's and the
// queue's executor must run on the GUI thread.
class CoreSession : public QObject, private FrontListener {
    Q_OBJECT
public:
    explicit CoreSession(CoreParts parts, QObject* parent = nullptr);
    ~CoreSession() override;  // ends the commands and the download, unsubscribes

    bool hasLibrary() const { return front_.hasLibrary(); }

    // The library (hasLibrary only); see Front.
    std::vector<CardView> cards() const { return front_.cards(); }
    std::optional<CardView> card(const std::string& itemId) const { return front_.card(itemId); }
    bool examining() const { return front_.examining(); }
    bool mayAdd() { return front_.mayAdd(); }
    bool addChosen(const std::vector<std::string>& paths) { return front_.addChosen(paths); }
    // A drop: expandDrop reads the disk (any thread), addDropped takes its result.
    static DroppedPaths expandDrop(const std::vector<std::string>& paths) {
        return Front::expandDrop(paths);
    }
    void addDropped(const DroppedPaths& dropped) { front_.addDropped(dropped); }
    static bool isVideoName(const std::string& name) { return Front::isVideoName(name); }
    void toggleChecked(const std::string& itemId) { front_.toggleChecked(itemId); }
    // What the check marks make of the page's buttons now; changes come as
    // selectionLooks.
    SelectionView selection() const { return front_.selection(); }
    bool allChecked() const { return front_.selection().allChecked; }
    void setAllChecked(bool on) { front_.setAllChecked(on); }
    ConvertOutcome queueConversion() { return front_.queueConversion(); }
    ConvertOutcome answerDuplicate(DuplicateChoice answer) {
        return front_.answerDuplicate(answer);
    }
    DeleteQuestion deleteQuestion() const { return front_.deleteQuestion(); }
    void deleteItems(bool deleteConvertedFiles) { front_.deleteItems(deleteConvertedFiles); }
    void setLibraryClosing() { front_.setLibraryClosing(); }

    // The queue (hasLibrary only).
    std::vector<TaskRowView> tasks() const { return front_.tasks(); }
    std::optional<TaskRowView> task(const std::string& taskKey) const {
        return front_.task(taskKey);
    }
    void cancelTask(const std::string& taskKey) { front_.cancelTask(taskKey); }
    void pinToTop(const std::string& taskKey) { front_.pinToTop(taskKey); }
    void retryTask(const std::string& taskKey) { front_.retryTask(taskKey); }
    void clearFinished() { front_.clearFinished(); }
    virtual bool anyRunning() const { return front_.anyRunning(); }
    virtual void stopAll() { front_.stopAll(); }

    // The LAN service.
    std::vector<std::string> addresses() const { return front_.addresses(); }
    // Whether the service follows the networks (else it stays on one address).
    bool followsNetworks() const { return front_.parts().networks != nullptr; }
    std::string pinnedAddress() const { return front_.pinnedAddress(); }
    AddressView networks() const { return front_.networks(); }
    // Any thread.
    std::string currentAddress() const { return front_.currentAddress(); }
    // An atomic read, fit for a timer.
    virtual int connectedPhones() const { return front_.connectedPhones(); }
    virtual bool serviceRunning() const { return front_.serviceRunning(); }
    virtual void stopService() { front_.stopService(); }

    // The commands that block run on the front's workers; the answer comes
    // to `done` on the GUI thread, unless `receiver` is gone.
    // Pins the service to the address ("" serves every network again) and
    // saves the choice: true only when every part listens now.
    void switchAddress(const std::string& address, QObject* receiver,
                       std::function<void(bool)> done);
    // Lets phones through the firewall that networks() warns of, with the
    // user's consent, then asks the firewall again.
    void openFirewall(QObject* receiver, std::function<void(FirewallOpening)> done);
    // The version check; cancelCheck ends it soon, from any thread.
    void checkVersion(QObject* receiver, std::function<void(const UpdateCheck&)> done);
    virtual void cancelCheck() { front_.cancelCheck(); }
    // One check by the given update module, as checkVersion makes it.
    static UpdateCheck checkWith(HttpHelper& updates) { return Front::checkWith(updates); }

    // The settings record, one value at a time; see Front.
    ExitChoice exitChoice() const { return front_.exitChoice(); }
    void saveExitChoice(ExitChoice choice) { front_.saveExitChoice(choice); }
    bool deleteOrigin() const { return front_.deleteOrigin(); }
    int comSleepUnSleep() const { return front_.comSleepUnSleep(); }
    void setComSleepUnSleep(int value) { front_.setComSleepUnSleep(value); }
    KeepAwakeObstacle keepAwakeObstacle() const { return front_.keepAwakeObstacle(); }
    int videoConvertRatio() const { return front_.videoConvertRatio(); }
    void setVideoConvertRatio(int ratio) { front_.setVideoConvertRatio(ratio); }
    std::string productVersion() const { return Front::productVersion(); }
    bool saveSettings() { return front_.saveSettings(); }
    std::string convertFolder() const { return Front::convertFolder(); }
    using FolderChoice = zorvex::FolderChoice;
    FolderChoice setConvertFolder(const std::string& folder) {
        return front_.setConvertFolder(folder);
    }

    // The update download; its news comes as downloadProgress and
    // downloadFinished (a complete installer is first handed to openInstaller).
    bool startDownload(const std::string& url, const std::string& version) {
        return front_.startDownload(url, version);
    }
    void cancelDownload() { front_.cancelDownload(); }
    DownloadEnd downloadResult() const { return front_.downloadResult(); }
    void endDownload() { front_.endDownload(); }

    // A line in the day's log under a window's tag. Any thread.
    void log(std::string_view text, std::string_view tag) const;

    // Opens a folder with the desktop's handler.
    virtual bool openFile(const std::string& path);
    // Hands a downloaded installer to the desktop: true only when a program
    // took it, as the application quits then.
    virtual bool openInstaller(const std::string& path);

signals:
    // The front's news, as FrontListener tells it.
    void toast(int code);
    void selectionLooks(const SelectionView& looks);
    void libraryChanged();
    void cardChanged(const std::string& itemId);
    void unexaminable(const std::string& name);
    void conversionBalloon(const std::string& name);
    void taskEvent(TaskStep step, const std::string& videoPath);
    void jobMessage(const std::string& text);
    void queueChanged();
    void progress(const std::string& taskKey, std::uint32_t percent);
    void networksChanged();
    // The update download's share done, or kProgressUnknown without a size.
    void downloadProgress(int percent);
    // Once per download, last; installerOpened: a program took the
    // complete installer at path.
    void downloadFinished(DownloadEnd result, const std::string& path, bool installerOpened);

protected:
    // The blocking forms the front's workers run for switchAddress and
    // checkVersion.
    virtual bool switchAddressNow(const std::string& address) {
        return front_.switchAddressNow(address);
    }
    virtual UpdateCheck checkVersionNow() { return front_.checkVersionNow(); }
    // A subclass whose blocking forms use its own members ends the workers
    // in its destructor, before they go.
    void endCommands() { front_.endCommands(); }

private:
    void onToast(int code) override { emit toast(code); }
    void onSelectionLooks(const SelectionView& looks) override { emit selectionLooks(looks); }
    void onLibraryChanged() override { emit libraryChanged(); }
    void onCardChanged(const std::string& itemId) override { emit cardChanged(itemId); }
    void onUnexaminable(const std::string& name) override { emit unexaminable(name); }
    void onConversionBalloon(const std::string& name) override { emit conversionBalloon(name); }
    void onTaskEvent(TaskStep step, const std::string& videoPath) override {
        emit taskEvent(step, videoPath);
    }
    void onJobMessage(const std::string& text) override { emit jobMessage(text); }
    void onQueueChanged() override { emit queueChanged(); }
    void onProgress(const std::string& taskKey, std::uint32_t percent) override {
        emit progress(taskKey, percent);
    }
    void onNetworksChanged() override { emit networksChanged(); }
    void onDownloadProgress(int percent) override { emit downloadProgress(percent); }
    void onDownloadFinished(DownloadEnd result, const std::string& path) override;

    QtExecutor gui_{this};
    Front front_;
};

}  // namespace zorvex::ui
