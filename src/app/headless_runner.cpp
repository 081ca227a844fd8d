#include "app/headless_runner.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <thread>

#include "app/application.h"
#include "library/video_library.h"
#include "platform/executor.h"

namespace zorvex {

namespace {

std::string absolutePath(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) return path;
    std::string text = resolved;
    std::free(resolved);
    return text;
}

const char* toastText(int code) {
    switch (code) {
        case TOAST_EXISTS:
            return "文件已存在";
        case TOAST_NOT_VIDEO:
            return "无法添加非视频类文件";
        case TOAST_NAME_TOO_LONG:
            return "文件名过长";
        case TOAST_FULL:
            return "至多可添加70项视频";
        default:
            return "";
    }
}

// Without windows the library's news goes to the console; everything is
// passed on to the application's wiring behind it.
class ConsolePage final : public VideoLibraryListener {
public:
    explicit ConsolePage(VideoLibrary& library) : library_(library), next_(library.listener()) {
        library_.setListener(this);
    }
    ~ConsolePage() override { library_.setListener(next_); }
    ConsolePage(const ConsolePage&) = delete;
    ConsolePage& operator=(const ConsolePage&) = delete;

    void onToast(int code) override {
        say("%s\n", toastText(code));
        next_->onToast(code);
    }
    void onConversionRequested(const ConversionRequest& r) override {
        next_->onConversionRequested(r);
    }
    void onButtonLooks(int a, int b) override { next_->onButtonLooks(a, b); }
    bool removeQueuedTask(const std::string& name, const std::string& path) override {
        return next_->removeQueuedTask(name, path);
    }
    void onPathFreed(const std::string& path) override { next_->onPathFreed(path); }
    void onConversionBalloon(const std::string& name) override {
        say("converted %s\n", name.c_str());
        next_->onConversionBalloon(name);
    }
    int confirmDuplicateName(const std::string& shown) override {
        return next_->confirmDuplicateName(shown);
    }
    void onLibraryChanged() override {
        report();
        next_->onLibraryChanged();
    }
    void onCardChanged(const std::string& itemId) override {
        report();
        next_->onCardChanged(itemId);
    }

private:
    void report() {
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
    }
    template <typename... A>
    void say(const char* format, A... args) {
        std::printf(format, args...);
        std::fflush(stdout);
    }

    VideoLibrary& library_;
    VideoLibraryListener* const next_;
    std::map<std::string, std::string> reported_;
};

}  // namespace

int runHeadless(const CommandLine& line, const std::string& home) {
    // Blocked before any thread starts, so every thread inherits the mask
    // and the signals wait for the one thread that asks for them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    TaskQueue mainThread;
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
    std::string address = application.service().address();
    const StartResult& service = application.core().serviceStart;
    if (!address.empty() && !service.anyRunning()) {
        // Without a window there is nothing else to offer.
        std::fprintf(stderr, "zorvex: the LAN service could not start: %s\n",
                     service.describe().c_str());
        application.shutDown();
        return 1;
    }
    auto page = std::make_unique<ConsolePage>(application.library());
    application.restore();
    std::vector<std::string> shares;
    for (const std::string& file : line.shares) shares.push_back(absolutePath(file));
    application.library().AddDropped(shares);
    if (address.empty()) {
        std::printf("no IPv4 address: the LAN service stays idle, home %s\n", home.c_str());
    } else if (!service.ok()) {
        std::printf("running on %s in part (%s), home %s\n", address.c_str(),
                    service.describe().c_str(), home.c_str());
    } else {
        std::printf("running on %s, home %s\n", address.c_str(), home.c_str());
    }
    std::fflush(stdout);

    std::thread signalWaiter([&] {
        int received = 0;
        sigwait(&signals, &received);
        mainThread.quit();
    });
    mainThread.run();
    signalWaiter.join();
    page.reset();
    application.shutDown();
    std::printf("stopped\n");
    std::fflush(stdout);
    return 0;
}

}  // namespace zorvex
