#pragma once

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Windows see the session's own values only: the core's types stay in the
// session's sources, so that no window can reach the core through here.
#include "ui/session/session_views.h"

namespace zorvex {
class KeepAwake;
class VideoLibrary;
class ConversionQueue;
struct VIDEOINFO_ST;
struct TaskView;
class Service;
class ServedNetworks;
class HttpHelper;
class UpdateDownload;
struct DownloadOptions;
struct UpdateContext;
}  // namespace zorvex

namespace zorvex::ui {

// What a session drives. The composition root fills it and keeps every part
// alive for longer than the session. Without the library and the queue the
// main window shows the placeholder page; without the service no phone is
// counted and no address switch succeeds; without the update module a check
// answers as an unreachable server.
struct CoreParts {
    VideoLibrary* library = nullptr;
    ConversionQueue* queue = nullptr;
    Service* service = nullptr;
    // Which networks the service serves; without it the service stays on
    // the address it was given and the menu offers `addresses`.
    ServedNetworks* networks = nullptr;
    HttpHelper* updates = nullptr;
    // The addresses the address menu offers without `networks`.
    std::vector<std::string> addresses;
    // The update download's transfer settings (null: the defaults) and the
    // update module's settings (null: no download can start).
    const DownloadOptions* download = nullptr;
    const UpdateContext* update = nullptr;
    // What keeps the computer awake during conversions (null: nothing to ask).
    KeepAwake* keepAwake = nullptr;
};

// The windows' one road to the core. It subscribes to the library and the
// queue for as long as it lives (after the application's own wiring of the
// two, so the library has changed when a window hears) and turns their news
// into signals that any number of windows connect to; the commands the
// windows give, and the settings they read and write, go through it.
//
// The virtual commands are those that block, wait on the desktop or end
// what runs; a test replaces them to stand for a slow or failing core.
// GUI thread only, unless a command says otherwise: the library's and the
// queue's executor must run on the GUI thread.
class CoreSession : public QObject {
    Q_OBJECT
public:
    explicit CoreSession(CoreParts parts, QObject* parent = nullptr);
    ~CoreSession() override;  // ends the download, unsubscribes

    bool hasLibrary() const { return parts_.library && parts_.queue; }

    // The library (hasLibrary only).
    // The cards in library order, and one card; none for an unknown item.
    std::vector<CardView> cards() const;
    std::optional<CardView> card(const std::string& itemId) const;
    bool examining() const;
    // Before "添加" opens its dialog: false, with the library's toast, when
    // the library is full.
    bool mayAdd();
    // "添加"'s files, or a drop of files: false when none could be taken.
    bool addChosen(const std::vector<std::string>& paths);
    void addDropped(const std::vector<std::string>& paths, bool folderWithoutVideos = false);
    void toggleChecked(const std::string& itemId);
    // What the check marks make of the page's buttons now; changes come as
    // selectionLooks.
    SelectionView selection() const;
    bool allChecked() const;
    void setAllChecked(bool on);
    // "转码" over the checked cards. It stops at a duplicate output name with
    // the question for answerDuplicate; once the batch ends with a task
    // queued, the queue is laid out and saved.
    ConvertOutcome queueConversion();
    ConvertOutcome answerDuplicate(DuplicateChoice answer);
    // What "删除" asks about the checked cards.
    DeleteQuestion deleteQuestion() const;
    void deleteItems(bool deleteConvertedFiles);
    // The library's workers wind down; nothing is added from here on.
    void setLibraryClosing();
    // Whether a file of this name is a video the library takes (by its extension).
    static bool isVideoName(const std::string& name);

    // The queue (hasLibrary only).
    std::vector<TaskRowView> tasks() const;
    std::optional<TaskRowView> task(const std::string& taskKey) const;
    // A row's cancel: a running task stops, any other leaves the queue.
    void cancelTask(const std::string& taskKey);
    void pinToTop(const std::string& taskKey);
    // A failed task goes again (the queue's RetryTask), laid out and saved.
    void retryTask(const std::string& taskKey);
    void clearFinished();
    virtual bool anyRunning() const;
    // Stops every conversion quietly, before the application quits.
    virtual void stopAll();

    // The LAN service.
    // The addresses a user may pin, as they are now.
    std::vector<std::string> addresses() const;
    // Whether the service follows the networks (else it stays on one address).
    bool followsNetworks() const { return parts_.networks != nullptr; }
    // The pinned address; "" while every network is served.
    std::string pinnedAddress() const;
    // What is served now, and why not where it is not.
    AddressView networks() const;
    // The address shown as the service's: the pinned one, else the one of
    // the adapter with the default route, else the first served; without
    // `networks`, the service's own. Any thread.
    std::string currentAddress() const;
    // Phones connected now; an atomic read, fit for a timer.
    virtual int connectedPhones() const;
    // Whether every part of the service listens on its address now.
    virtual bool serviceRunning() const;
    // Pins the service to the address ("" serves every network again) and
    // saves the choice: true only when every part listens now. On a worker
    // thread, one call at a time; it blocks while sockets close and open.
    virtual bool switchAddress(const std::string& address);
    virtual void stopService();
    // Lets phones through the firewall that networks() warns of, with the
    // user's consent (an administrator's password, through pkexec), then asks
    // the firewall again. On a worker thread: it waits for the user's answer.
    FirewallOpening openFirewall();

    // The settings record, one value at a time.
    ExitChoice exitChoice() const;
    // The exit prompt's remember box: stores ExitWndType and saves.
    void saveExitChoice(ExitChoice choice);
    bool deleteOrigin() const;
    // The keep-awake box: 1 while tasks keep the computer awake, else 0.
    int comSleepUnSleep() const;
    void setComSleepUnSleep(int value);
    // Why the box could keep nothing awake here; None where it may.
    KeepAwakeObstacle keepAwakeObstacle() const;
    // The conversion quality: 1 is 1080P, anything else 2K.
    int videoConvertRatio() const;
    void setVideoConvertRatio(int ratio);
    // "1.0.19": the version the settings page shows.
    std::string productVersion() const;
    // Writes the record to config.ini.
    bool saveSettings();
    // Where conversions go now (the setting, or the default folder).
    std::string convertFolder() const;
    // A folder chosen by the user: refused (nothing changes) when a file
    // cannot be made in it, else saved at once.
    enum class FolderChoice { Saved, NotWritable, NotSaved };
    FolderChoice setConvertFolder(const std::string& folder);

    // The version check, on a worker thread, one call at a time; blocks for
    // the whole exchange. cancelCheck ends it soon, from any thread.
    virtual UpdateCheck checkVersion();
    // One check by the given update module, as checkVersion makes it.
    static UpdateCheck checkWith(HttpHelper& updates);
    virtual void cancelCheck();

    // The update download, made and owned here, one at a time; a new one
    // ends the last. Its news comes as downloadProgress and downloadFinished
    // (a complete installer is first handed to openInstaller). False when
    // its worker could not start.
    bool startDownload(const std::string& url, const std::string& version);
    // Ends the transfer soon; downloadFinished(DownloadEnd::Cancelled) follows.
    void cancelDownload();
    // Succeeded once the installer is complete, Cancelled after a cancel,
    // else Failed.
    DownloadEnd downloadResult() const;
    // Cancels and joins the download; its last news is dropped.
    void endDownload();

    // A line in the day's log under a window's tag. Any thread.
    void log(std::string_view text, std::string_view tag) const;

    // Opens a folder with the desktop's handler.
    virtual bool openFile(const std::string& path);
    // Hands a downloaded installer to the desktop: true only when a program
    // took it, as the application quits then.
    virtual bool openInstaller(const std::string& path);

signals:
    // The library's calls (its toast codes are the toast's own).
    void toast(int code);
    // The selection's looks changed: once after a batch of changes to the
    // check marks, the cards or their kinds.
    void selectionLooks(const SelectionView& looks);
    void libraryChanged();
    void cardChanged(const std::string& itemId);
    // A file that could not be examined as a video left the library.
    void unexaminable(const std::string& name);
    // A conversion's output joined the library: its name, for the balloon.
    void conversionBalloon(const std::string& name);
    // The queue's calls.
    void taskEvent(TaskStep step, const std::string& videoPath);
    void jobMessage(const std::string& text);
    void queueChanged();
    void progress(const std::string& taskKey, std::uint32_t percent);
    // The served networks, the offered addresses or the pin changed.
    void networksChanged();
    // The update download's share done, or kProgressUnknown without a size.
    void downloadProgress(int percent);
    // Once per download, last; installerOpened: a program took the
    // complete installer at path.
    void downloadFinished(DownloadEnd result, const std::string& path, bool installerOpened);

private:
    class DownloadListener;

    // config.ini gets the record with the address in use.
    bool saveRecord() const;
    void onDownloadFinished(DownloadEnd result, const std::string& path);
    // The one place a card's look is read from the library.
    CardView viewOf(const VIDEOINFO_ST& item) const;
    TaskRowView rowOf(const TaskView& task) const;

    ConvertOutcome laidOut(bool queued, std::optional<std::string> question);
    class SelectionBatch;
    void sendSelection();

    const CoreParts parts_;
    // Hears the library and the queue, and says it as the signals above.
    class Subscriber;
    std::unique_ptr<Subscriber> subscriber_;
    int commands_ = 0;             // the user's commands under way
    SelectionView selectionSent_;  // nothing checked, until told otherwise
    // The news of an ended download is told apart by its round.
    int downloadRound_ = 0;
    std::unique_ptr<DownloadListener> downloadListener_;
    std::unique_ptr<UpdateDownload> download_;
};

}  // namespace zorvex::ui
