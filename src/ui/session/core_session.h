#pragma once

#include <QObject>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// The core's types the windows draw and pass back: they reach the windows
// through this header only.
#include "foundation/log_recorder.h"
#include "foundation/settings.h"
#include "library/video_library.h"
#include "service/served_networks.h"
#include "transcode/conversion_queue.h"
#include "update/http_helper.h"
#include "update/update_download.h"

namespace zorvex {
class Service;
}

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
    // The download dialog's transfer settings and the update module's settings.
    DownloadOptions download;
    UpdateContext update;
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
class CoreSession : public QObject, private VideoLibraryListener, private ConversionQueueListener {
    Q_OBJECT
public:
    explicit CoreSession(CoreParts parts, QObject* parent = nullptr);
    ~CoreSession() override;  // unsubscribes

    bool hasLibrary() const { return parts_.library && parts_.queue; }

    // The library (hasLibrary only).
    std::vector<VIDEOINFO_ST> items() const;
    bool examining() const;
    // Before "添加" opens its dialog: false, with the library's toast, when
    // the library is full.
    bool mayAdd();
    // "添加"'s files, or a drop of files: false when none could be taken.
    bool addChosen(const std::vector<std::string>& paths);
    void addDropped(const std::vector<std::string>& paths, bool folderWithoutVideos = false);
    void toggleChecked(const std::string& itemId);
    // The selection's looks come as selectionLooks.
    void evaluateSelection();
    bool allChecked() const;
    void setAllChecked(bool on);
    // "转码" over the checked cards. It stops at a duplicate output name with
    // the question for answerDuplicate; once the batch ends with a task
    // queued, the queue is laid out and saved.
    QueueOutcome queueConversion();
    QueueOutcome answerDuplicate(DuplicateAnswer answer);
    void deleteItems(bool deleteConvertedFiles);
    // The library's workers wind down; nothing is added from here on.
    void setLibraryClosing();

    // The queue (hasLibrary only).
    std::vector<TaskView> tasks() const;
    std::optional<TaskView> task(const std::string& taskKey) const;
    // A row's cancel: a running task stops, any other leaves the queue.
    void cancelTask(const std::string& taskKey);
    void pinToTop(const std::string& taskKey);
    // A failed task goes again (the queue's RetryTask), laid out and saved.
    void retryTask(const std::string& taskKey);
    // Where a task's output goes: its own once its job started, else where
    // it would go now.
    std::string outputPathOf(const TaskView& task) const;
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
    NetworksView networks() const;
    // The address shown as the service's: the pinned one, else the one of
    // the adapter with the default route, else the first served.
    std::string currentAddress() const;
    void setCurrentAddress(const std::string& address);
    // Phones connected now; an atomic read, fit for a timer.
    virtual int connectedPhones() const;
    // Whether every part of the service listens on its address now.
    virtual bool serviceRunning() const;
    // Pins the service to the address ("" serves every network again) and
    // saves the choice: true only when every part listens now. On a worker
    // thread, one call at a time; it blocks while sockets close and open.
    virtual bool switchAddress(const std::string& address);
    virtual void stopService();

    // The settings record.
    SETTINGS_ST settings() const;
    int exitWndType() const;
    // The exit prompt's remember box: stores ExitWndType and saves.
    void saveExitWndType(int type);
    bool deleteOrigin() const;
    void setComSleepUnSleep(int value);
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
    virtual VersionCheckResult checkVersion();
    virtual void cancelCheck();
    const DownloadOptions& downloadOptions() const { return parts_.download; }
    const UpdateContext& updateContext() const { return parts_.update; }

    // Opens a folder with the desktop's handler.
    virtual bool openFile(const std::string& path);
    // Hands a downloaded installer to the desktop: true only when a program
    // took it, as the application quits then.
    virtual bool openInstaller(const std::string& path);

signals:
    // The library's calls (its toast codes are the toast's own).
    void toast(LibraryToast code);
    // Once per change of the check marks, and after evaluateSelection.
    void selectionLooks(const SelectionLooks& looks);
    void libraryChanged();
    void cardChanged(const std::string& itemId);
    // A file that could not be examined as a video left the library.
    void unexaminable(const std::string& name);
    // A conversion's output joined the library: its name, for the balloon.
    void conversionBalloon(const std::string& name);
    // The queue's calls.
    void taskEvent(TaskEvent code, const std::string& videoPath);
    void converted(const std::string& sourcePath, const std::string& outputPath);
    void jobMessage(const std::string& text);
    void queueChanged();
    void progress(const std::string& taskKey, std::uint32_t percent);
    // The served networks, the offered addresses or the pin changed.
    void networksChanged();

private:
    // VideoLibraryListener
    void onToast(int code) override;
    void onSelectionLooks(const SelectionLooks& looks) override;
    void onConversionBalloon(const std::string& name) override;
    void onLibraryChanged() override;
    void onCardChanged(const std::string& itemId) override;
    void onUnexaminable(const std::string& name) override;
    // ConversionQueueListener
    void onTaskEvent(TaskEvent code, const std::string& videoPath) override;
    void onConverted(const std::string& sourcePath, const std::string& outputPath) override;
    void onJobMessage(const std::string& text) override;
    void onQueueChanged() override;
    void onProgress(const std::string& taskKey, std::uint32_t percent) override;

    QueueOutcome laidOut(QueueOutcome outcome);

    const CoreParts parts_;
    int networksListener_ = 0;
};

}  // namespace zorvex::ui
