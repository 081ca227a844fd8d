#include "app/headless_runner.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "app/startup.h"
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

void shareFiles(Service& service, const std::vector<std::string>& files) {
    for (const std::string& file : files) {
        std::string path = absolutePath(file);
        std::string key;
        int result = service.addFile(path, LIST_SOURCE, &key);
        if (result == ADD_OK) {
            std::printf("shared %s %s\n", key.c_str(), path.c_str());
        } else {
            std::printf("not shared (%s): %s\n", result == ADD_FULL ? "list full" : "rejected",
                        path.c_str());
        }
    }
}

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
    if (!StartUpSequence(core, options)) {
        std::fprintf(stderr, "zorvex: cannot use the home folder %s\n", home.c_str());
        return 1;
    }
    shareFiles(*core.service, line.shares);
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
    ShutDownSequence(core);
    std::printf("stopped\n");
    std::fflush(stdout);
    return 0;
}

}  // namespace zorvex
