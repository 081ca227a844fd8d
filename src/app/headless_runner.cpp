#include "app/headless_runner.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "app/application.h"
#include "app/headless_unshare.h"
#include "foundation/log_recorder.h"
#include "front/front.h"
#include "library/video_library.h"
#include "platform/executor.h"
#include "platform/file_util.h"

namespace zorvex {

namespace {

std::optional<std::string> realPath(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) return std::nullopt;
    std::string text = resolved;
    std::free(resolved);
    return text;
}

// As the share was made; a file already gone (one to unshare) through its folder.
std::string absolutePath(const std::string& path) {
    if (auto real = realPath(path)) return *real;
    auto slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    if (auto real = realPath(folder.empty() ? "/" : folder)) {
        return (*real == "/" ? "" : *real) + "/" + fileNamePart(path);
    }
    return path;
}

// Without windows the front's news goes to the console.
class ConsolePage final : public FrontListener {
public:
    ConsolePage(Front& front, VideoLibrary& library) : front_(front), library_(library) {
        front_.subscribe(this);
    }
    ~ConsolePage() override { front_.unsubscribe(this); }
    ConsolePage(const ConsolePage&) = delete;
    ConsolePage& operator=(const ConsolePage&) = delete;

    void onToast(int code) override { say("%s\n", toastText(code)); }
    void onConversionBalloon(const std::string& name) override {
        say("converted %s\n", name.c_str());
    }
    void onLibraryChanged() override { report(); }
    void onCardChanged(const std::string& /*itemId*/) override { report(); }

    // The files of --share: once each is settled (shared, refused, or its
    // card examined), onNothingShared runs if not one of them is shared.
    void expectShares(std::vector<std::string> paths, std::function<void()> onNothingShared) {
        asked_ = std::move(paths);
        onNothingShared_ = std::move(onNothingShared);
        expecting_ = true;
        report();
    }

    // Items deleted meanwhile were deleted on purpose, and have been told of.
    template <typename F>
    void quietly(F&& task) {
        quiet_ = true;
        task();
        quiet_ = false;
        report();
    }

private:
    void report() {
        std::map<std::string, std::string> present;  // item, path
        for (const VIDEOINFO_ST& item : library_.items()) present[item.itemId] = item.path;
        for (const auto& [itemId, path] : known_) {
            // The library lets go by itself only of what it could not examine.
            if (!present.count(itemId) && !quiet_)
                say("removed %s: it could not be examined\n", path.c_str());
        }
        known_ = present;
        for (const VIDEOINFO_ST& item : library_.items()) {
            auto& card = *item.card;
            if (!card.examined()) continue;
            std::string line = card.kind() == KIND_MISSING ? "missing " + card.path()
                               : card.key().empty()        ? "not shared " + card.path()
                                                    : "shared " + card.key() + " " + card.path();
            if (card.thumbUsable()) line += " with thumbnail";
            if (reported_[item.itemId] == line) continue;
            reported_[item.itemId] = line;
            say("%s\n", line.c_str());
        }
        settleShares();
    }
    void settleShares() {
        if (!expecting_) return;
        bool anyShared = false;
        const std::vector<VIDEOINFO_ST> items = library_.items();
        for (const std::string& path : asked_) {
            auto item = std::find_if(items.begin(), items.end(),
                                     [&](const VIDEOINFO_ST& i) { return i.path == path; });
            if (item == items.end()) continue;  // refused with a toast
            if (!item->card->examined()) return;
            anyShared = anyShared || !item->card->key().empty();
        }
        asked_.clear();
        expecting_ = false;
        if (!anyShared && onNothingShared_) onNothingShared_();
    }
    template <typename... A>
    void say(const char* format, A... args) {
        std::printf(format, args...);
        std::fflush(stdout);
    }

    Front& front_;
    VideoLibrary& library_;
    std::map<std::string, std::string> reported_;
    std::map<std::string, std::string> known_;  // item, path, as last seen
    std::vector<std::string> asked_;            // --share files not settled yet
    bool expecting_ = false;                    // until asked_ is settled
    std::function<void()> onNothingShared_;
    bool quiet_ = false;
};

// The start-up's wiring logs these already.
void print(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

void say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    PostLog(line, kMainLogTag);
}

void tell(const UnshareResult& result) {
    for (const auto& path : result.dropped) say("dropped " + path + ": the file is gone");
    for (const auto& path : result.kept) {
        say("kept " + path + ": its disk may not be mounted");
    }
    for (const auto& path : result.unshared) say("unshared " + path);
    for (const auto& path : result.notShared) say("not shared, nothing to stop: " + path);
}

// SIGINT and SIGTERM are waited for from the first moment, not only once
// the service runs: a start that takes long (a slow disk) must still stop
// when asked. A start is given a while to finish, so that what it began
// ends in order; past that the process ends where it stands, which loses
// nothing, as every stored file is renamed into place whole.
class StopRequest {
public:
    explicit StopRequest(TaskQueue& mainThread) : mainThread_(mainThread) {
        sigemptyset(&signals_);
        sigaddset(&signals_, SIGINT);
        sigaddset(&signals_, SIGTERM);
        // Blocked before any thread starts, so every thread inherits the
        // mask and the signals wait for the one thread that asks for them.
        pthread_sigmask(SIG_BLOCK, &signals_, nullptr);
        waiter_ = std::thread([this] { waitForSignal(); });
    }
    ~StopRequest() {
        startFinished();
        // A run that ends by itself (a failed start) wakes the waiter with a
        // signal it waits for, aimed at it alone.
        if (!signalled_) pthread_kill(waiter_.native_handle(), SIGINT);
        waiter_.join();
    }
    StopRequest(const StopRequest&) = delete;
    StopRequest& operator=(const StopRequest&) = delete;

    // The service runs: from now on a signal ends the main loop.
    void startFinished() {
        std::lock_guard lock(mutex_);
        started_ = true;
        startEnded_.notify_all();
    }

private:
    static constexpr auto kStartGrace = std::chrono::seconds(3);

    void waitForSignal() {
        int received = 0;
        sigwait(&signals_, &received);
        signalled_ = true;
        std::unique_lock lock(mutex_);
        if (!startEnded_.wait_for(lock, kStartGrace, [this] { return started_; })) {
            std::printf("stopped during start-up\n");
            std::fflush(stdout);
            std::_Exit(0);
        }
        mainThread_.quit();
    }

    TaskQueue& mainThread_;
    sigset_t signals_;
    std::mutex mutex_;  // guards started_
    std::condition_variable startEnded_;
    bool started_ = false;
    std::atomic<bool> signalled_{false};
    std::thread waiter_;
};

}  // namespace

int runHeadless(const CommandLine& line, const std::string& home) {
    TaskQueue mainThread;
    StopRequest stop(mainThread);
    Application application;
    Application::Options options;
    options.home = home;
    options.addresses = line.addresses;
    options.executor = &mainThread;
    options.onFileStatus = [](const FileStatusEvent& event) {
        std::printf("list %d: %s %s\n", event.type, event.path.c_str(),
                    event.exists ? "is back" : "is gone");
        std::fflush(stdout);
    };
    if (StartupResult started = application.start(options); !started) {
        std::fprintf(stderr, "zorvex: %s\n", started.message.c_str());
        return 1;
    }
    // The window's decisions, made here as there.
    auto front = std::make_unique<Front>(application.frontParts(), mainThread);
    auto page = std::make_unique<ConsolePage>(*front, application.library());
    application.restore();
    std::vector<std::string> unshares;
    for (const std::string& file : line.unshares) unshares.push_back(absolutePath(file));
    page->quietly([&] { tell(UnshareAtStart(application.library(), unshares)); });
    std::vector<std::string> shares;
    for (const std::string& file : line.shares) shares.push_back(absolutePath(file));
    // A folder gives its videos, as one dropped on the window does.
    const DroppedPaths dropped = Front::expandDrop(shares);
    front->addDropped(dropped);
    // A share that cannot be stored (a full disk) is refused, not claimed;
    // a run asked to share that shares nothing at all has failed.
    int exitCode = 0;
    if (!shares.empty()) {
        page->expectShares(dropped.files, [&] {
            say("nothing could be shared");
            exitCode = 1;
            mainThread.quit();
        });
    }
    // What is served, and each change of it from now on, once.
    const NetworksView first = application.core().serviceStart;
    for (const std::string& change : networkChanges({}, first)) print(change);
    // Never idle for good: a network that comes, or a port that frees,
    // starts it; the lines above said why not yet.
    if (first.listening())
        std::printf("running on %s, home %s\n", first.shown.c_str(), home.c_str());
    else
        std::printf("not serving yet, home %s\n", home.c_str());
    std::fflush(stdout);
    NetworkChangeLines changes(print, first);
    application.core().networks->subscribe(&changes);

    stop.startFinished();
    mainThread.run();
    page.reset();
    front.reset();
    application.core().networks->unsubscribe(&changes);
    application.shutDown();
    std::printf("stopped\n");
    std::fflush(stdout);
    return exitCode;
}

}  // namespace zorvex
