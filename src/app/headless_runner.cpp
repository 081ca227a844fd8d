#include "app/headless_runner.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "app/catalogue_restore.h"
#include "platform/executor.h"
#include "service/file_status_manager.h"
#include "service/service.h"

namespace zorvex {

namespace {

std::string absolutePath(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) return path;
    std::string text = resolved;
    std::free(resolved);
    return text;
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
    FileStatusManager statusManager(mainThread, [](const FileStatusEvent& event) {
        std::printf("list %d: %s %s\n", event.type, event.path.c_str(),
                    event.exists ? "is back" : "is gone");
        std::fflush(stdout);
    });
    {
        Service service(home);
        service.setListener(&statusManager);
        if (line.addresses.empty()) {
            std::printf("no address: the LAN service stays idle\n");
        } else if (!service.setAddress(line.addresses.front())) {
            std::printf("could not start the LAN service on %s\n", line.addresses.front().c_str());
        }
        LoadCatalogueFromDisk(service, home);
        for (const std::string& file : line.shares) {
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
        std::printf("running on %s, home %s\n", service.address().c_str(), home.c_str());
        std::fflush(stdout);

        std::thread signalWaiter([&] {
            int received = 0;
            sigwait(&signals, &received);
            mainThread.quit();
        });
        mainThread.run();
        signalWaiter.join();
        service.stop();
    }  // destruction rewrites every link file
    std::printf("stopped\n");
    std::fflush(stdout);
    return 0;
}

}  // namespace zorvex
