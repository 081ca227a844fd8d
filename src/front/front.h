#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "front/command_worker.h"
#include "front/front_views.h"

namespace zorvex {
class Executor;
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

// What a front drives. The composition root fills it and keeps every part
// alive for longer than the front. Without the library and the queue there
// is nothing to show; without the service no phone is counted and no address
// switch succeeds; without the update module a check answers as an
// unreachable server.
struct FrontParts {
    VideoLibrary* library = nullptr;
    ConversionQueue* queue = nullptr;
    Service* service = nullptr;
    // Which networks the service serves; without it the service stays on
    // the address it was given and the menu offers `addresses`.
    ServedNetworks* networks = nullptr;
    HttpHelper* updates = nullptr;
    // The addresses offered without `networks`.
    std::vector<std::string> addresses;
    // The update download's transfer settings (null: the defaults) and the
    // update module's settings (null: no download can start).
    const DownloadOptions* download = nullptr;
    const UpdateContext* update = nullptr;
    // What keeps the computer awake during conversions (null: nothing to ask).
    KeepAwake* keepAwake = nullptr;
};

// The front's news, on the executor's thread. A listener overrides what it hears.
class FrontListener {
public:
    virtual ~FrontListener() = default;
    // The library's (its toast codes are ToastCodes).
    virtual void onToast(int /*code*/) {}
    // Once after a burst of changes to the check marks, the cards or their
    // kinds, when the looks differ from those last told.
    virtual void onSelectionLooks(const SelectionView& /*looks*/) {}
    virtual void onLibraryChanged() {}
    virtual void onCardChanged(const std::string& /*itemId*/) {}
    // A file that could not be examined as a video left the library.
    virtual void onUnexaminable(const std::string& /*name*/) {}
    // A conversion's output joined the library: its name.
    virtual void onConversionBalloon(const std::string& /*name*/) {}
    // The queue's.
    virtual void onTaskEvent(TaskStep /*step*/, const std::string& /*videoPath*/) {}
    virtual void onJobMessage(const std::string& /*text*/) {}
    virtual void onQueueChanged() {}
    virtual void onProgress(const std::string& /*taskKey*/, std::uint32_t /*percent*/) {}
    // The served networks, the offered addresses or the pin changed.
    virtual void onNetworksChanged() {}
    // The update download's: its share done (or the update module's
    // "unknown" without a size), then once, last, how it ended.
    virtual void onDownloadProgress(int /*percent*/) {}
    virtual void onDownloadFinished(DownloadEnd /*result*/, const std::string& /*path*/) {}
};

// The decisions a front end makes over the core, the same for the window and
// the headless runner: the selection and its looks, the delete question,
// folders opened into their videos, the settings record and the queue saved
// after a batch, the core's news in one stream, and the commands that block
// run on a worker of its own.
//
// It subscribes to the library, the queue and the networks for as long as it
// lives (after the application's own wiring of them, so the library has
// changed when a listener hears). The executor's thread only, which must be
// the one the library and the queue run on, unless a method says otherwise.
class Front {
public:
    Front(FrontParts parts, Executor& executor);
    ~Front();  // ends the worker and the download, unsubscribes
    Front(const Front&) = delete;
    Front& operator=(const Front&) = delete;

    // Listeners hear in the order they subscribed, and outlive their subscription.
    void subscribe(FrontListener* listener);
    void unsubscribe(FrontListener* listener);

    const FrontParts& parts() const { return parts_; }
    bool hasLibrary() const { return parts_.library && parts_.queue; }

    // The library (hasLibrary only).
    // The cards in library order, and one card; none for an unknown item.
    std::vector<CardView> cards() const;
    std::optional<CardView> card(const std::string& itemId) const;
    bool examining() const;
    // Before "添加" opens its dialog: false, with the library's toast, when full.
    bool mayAdd();
    // "添加"'s files: false when none could be taken.
    bool addChosen(const std::vector<std::string>& paths);
    // A drop on the library, or --share: each folder gives the videos
    // directly inside it, in name order; one without any says so. Reads the
    // disk, and so runs anywhere; addDropped only on the executor's thread.
    static DroppedPaths expandDrop(const std::vector<std::string>& paths);
    void addDropped(const DroppedPaths& dropped);
    // Whether a file of this name is a video the library takes (by its extension).
    static bool isVideoName(const std::string& name);
    void toggleChecked(const std::string& itemId);
    // What the check marks make of the page's buttons now.
    SelectionView selection() const;
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

    // The queue (hasLibrary only).
    std::vector<TaskRowView> tasks() const;
    std::optional<TaskRowView> task(const std::string& taskKey) const;
    // A row's cancel: a running task stops, any other leaves the queue.
    void cancelTask(const std::string& taskKey);
    void pinToTop(const std::string& taskKey);
    // A failed task goes again (the queue's RetryTask), laid out and saved.
    void retryTask(const std::string& taskKey);
    void clearFinished();
    bool anyRunning() const;
    // Stops every conversion quietly, before the application quits.
    void stopAll();

    // The LAN service.
    // The addresses a user may pin, as they are now.
    std::vector<std::string> addresses() const;
    // The pinned address; "" while every network is served.
    std::string pinnedAddress() const;
    // What is served now, and why not where it is not.
    AddressView networks() const;
    // The address shown as the service's: the pinned one, else the one of
    // the adapter with the default route, else the first served; without
    // `networks`, the service's own. Any thread.
    std::string currentAddress() const;
    // Phones connected now; an atomic read. Any thread.
    int connectedPhones() const;
    // Whether every part of the service listens on its address now.
    bool serviceRunning() const;
    void stopService();

    // The commands that block run on the front's workers, one worker for
    // each kind, so that a firewall waiting for the user's password holds up
    // neither a switch nor a check; each kind runs one at a time, in order.
    // `done` hears the result on the executor's thread, unless the front is
    // gone by then. Their blocking forms (…Now) run on the worker, or on a
    // thread of the caller's own.
    enum class Lane { Network, Firewall, Updates };
    //
    // Pins the service to the address ("" serves every network again) and
    // saves the choice: true only when every part listens now.
    void switchAddress(const std::string& address, std::function<void(bool)> done);
    bool switchAddressNow(const std::string& address);
    // Lets phones through the firewall that networks() warns of, with the
    // user's consent (an administrator's password, through pkexec), then
    // asks the firewall again.
    void openFirewall(std::function<void(FirewallOpening)> done);
    FirewallOpening openFirewallNow();
    // The version check; cancelCheck ends a running one soon, from any thread.
    void checkVersion(std::function<void(UpdateCheck)> done);
    UpdateCheck checkVersionNow();
    static UpdateCheck checkWith(HttpHelper& updates);
    void cancelCheck();
    // Runs any blocking work on a lane's worker, as the commands above run.
    template <typename T>
    void command(Lane lane, std::function<T()> work, std::function<void(T)> done) {
        worker(lane).run(std::move(work), std::move(done));
    }
    // The workers end: the commands running finish, those waiting are
    // dropped. An owner whose commands reach into its own members calls it
    // before they go; the destructor calls it too.
    void endCommands();

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
    static std::string productVersion();
    // Writes the record to config.ini, with the address in use. Any thread.
    bool saveSettings() const;
    // Where conversions go now (the setting, or the default folder).
    static std::string convertFolder();
    // A folder chosen by the user: refused (nothing changes) when a file
    // cannot be made in it, else saved at once.
    FolderChoice setConvertFolder(const std::string& folder);

    // The update download, made and owned here, one at a time; a new one
    // ends the last. Its news comes as onDownloadProgress and
    // onDownloadFinished. False when its worker could not start.
    bool startDownload(const std::string& url, const std::string& version);
    // Ends the transfer soon; onDownloadFinished(DownloadEnd::Cancelled) follows.
    void cancelDownload();
    // Succeeded once the installer is complete, Cancelled after a cancel, else Failed.
    DownloadEnd downloadResult() const;
    // Cancels and joins the download; its last news is dropped.
    void endDownload();

private:
    class Subscriber;
    class DownloadListener;
    class SelectionBatch;

    // The one place a card's look is read from the library.
    CardView viewOf(const VIDEOINFO_ST& item) const;
    TaskRowView rowOf(const TaskView& task) const;
    ConvertOutcome laidOut(bool queued, std::optional<std::string> question);
    void sendSelection();
    CommandWorker& worker(Lane lane);
    template <typename Tell>
    void tell(Tell&& what);

    // Constant after construction.
    const FrontParts parts_;
    Executor& executor_;

    // What the executor runs after the front is gone finds this false.
    const std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    std::vector<FrontListener*> listeners_;
    int commands_ = 0;             // the user's commands under way
    SelectionView selectionSent_;  // nothing checked, until told otherwise
    std::unique_ptr<Subscriber> subscriber_;
    // The news of an ended download is told apart by its round.
    int downloadRound_ = 0;
    std::unique_ptr<DownloadListener> downloadListener_;
    std::unique_ptr<UpdateDownload> download_;
    // Last: joined before anything their commands use goes.
    CommandWorker network_{executor_};
    CommandWorker firewall_{executor_};
    CommandWorker updates_{executor_};
};

}  // namespace zorvex
