#include "app/headless_runner.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <thread>

#include "app/core_wiring.h"
#include "app/startup.h"
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

// Without windows the library's news goes to the console.
class ConsolePage final : public VideoLibraryListener {
public:
    void attach(VideoLibrary* library) { library_ = library; }

    void onToast(int code) override { say("%s\n", toastText(code)); }
    void onConversionRequested(const ConversionRequest&) override {}
    void onButtonLooks(int, int) override {}
    bool removeQueuedTask(const std::string&, const std::string&) override { return true; }
    void onPathFreed(const std::string&) override {}
    void onConversionBalloon(const std::string&) override {}
    int confirmDuplicateName(const std::string&) override { return ANSWER_SKIP; }
    void onLibraryChanged() override { report(); }
    void onCardChanged(const std::string&) override { report(); }

private:
    void report() {
        if (!library_) return;
        for (const VIDEOINFO_ST& item : library_->items()) {
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

    VideoLibrary* library_ = nullptr;
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
    AppCore core;
    StartupOptions options;
    options.home = home;
    options.addresses = line.addresses;
    options.executor = &mainThread;
    options.onFileStatus = [](const FileStatusEvent& event) {
        std::printf("list %d: %s %s\n", event.type, event.path.c_str(),
                    event.exists ? "is back" : "is gone");
        std::fflush(stdout);
    };
    if (StartupResult started = StartUpSequence(core, options); !started) {
        std::fprintf(stderr, "zorvex: %s\n", started.message.c_str());
        return 1;
    }
    ConsolePage page;
    auto library = std::make_unique<VideoLibrary>(MakeLibraryContext(core, home, mainThread, page));
    page.attach(library.get());
    library->LoadRelations();
    // Thumbnails missing on disk are made again for cards rebuilt here.
    library->BuildFromCatalogue();
    std::vector<std::string> shares;
    for (const std::string& file : line.shares) shares.push_back(absolutePath(file));
    library->AddDropped(shares);
    std::string address = core.service->address();
    if (address.empty()) {
        std::printf("no IPv4 address: the LAN service stays idle, home %s\n", home.c_str());
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
    library->setClosing();
    library.reset();  // its workers end before the service goes
    ShutDownSequence(core);
    std::printf("stopped\n");
    std::fflush(stdout);
    return 0;
}

}  // namespace zorvex
