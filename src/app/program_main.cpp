#include "app/program_main.h"

#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <utility>
#include <vector>

#include "app/headless_runner.h"
#include "foundation/paths.h"
#include "platform/allocator_arenas.h"
#include "platform/error_text.h"
#include "platform/executable_path.h"
#include "platform/file_util.h"
#include "platform/process_limits.h"
#include "platform/single_instance_lock.h"
#include "platform/utf8_locale.h"

namespace zorvex {

namespace {

// Exit status of a second start that could not do its job: another copy runs
// on the home folder (the user unit does not restart on it).
constexpr int kAlreadyRunning = 3;

// Another copy holds the home folder's lock. A window's second start asks it
// to come forward; anything else says why it ends.
int secondStart(const CommandLine& line, const std::string& home) {
    auto holder = SingleInstanceLock::readHolder(home, std::chrono::seconds(2));
    const std::string process = holder ? " (process " + std::to_string(holder->pid) + ")" : "";
    const char* where = home.c_str();
    if (line.headless) {
        std::fprintf(stderr,
                     "zorvex: another copy%s already runs on the home folder %s; "
                     "one copy runs per home folder\n",
                     process.c_str(), where);
        return kAlreadyRunning;
    }
    if (!holder || !holder->windowed || holder->doorbell.empty()) {
        const char* why = !holder ? "it did not say where to ring"
                          : !holder->windowed
                              ? "it runs without a window (--headless)"
                              : "it cannot listen for second starts (it said why as it started)";
        std::fprintf(stderr,
                     "zorvex: another copy%s already runs on the home folder %s, "
                     "and no window can be brought forward: %s\n",
                     process.c_str(), where, why);
        return kAlreadyRunning;
    }
    auto rang = InstanceDoorbell::ring(holder->doorbell);
    if (rang.rang != InstanceDoorbell::Rang::Answered) {
        std::fprintf(stderr,
                     "zorvex: another copy%s already runs on the home folder %s, "
                     "but its window did not come forward: %s\n",
                     process.c_str(), where, rang.problem.c_str());
        return kAlreadyRunning;
    }
    std::fprintf(stderr,
                 "zorvex: already running on the home folder %s%s; its window comes forward\n",
                 where, process.c_str());
    return 0;
}

// The window lives in a program of its own, so that the headless service
// maps no Qt library. It replaces this process, which keeps its id and the
// user's arguments; returns only when it cannot.
int becomeWindowProgram(char** argv) {
    const char* relative = ZORVEX_WINDOW_PROGRAM;
    if (*relative == '\0') {
        std::fputs("zorvex: this build has no windows; run zorvex --headless\n", stderr);
        return 1;
    }
    // Beside this executable as installed, so the build tree and the package agree.
    const std::string program =
        (std::filesystem::path(currentExecutablePath()).parent_path() / relative)
            .lexically_normal();
    // Held across the exec, until the window program watches for them.
    sigset_t termination, previous;
    sigemptyset(&termination);
    sigaddset(&termination, SIGINT);
    sigaddset(&termination, SIGTERM);
    ::pthread_sigmask(SIG_BLOCK, &termination, &previous);
    ::execv(program.c_str(), argv);
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    std::fprintf(stderr,
                 "zorvex: cannot start the window program %s: %s;\n"
                 "        to share videos without a window, run: zorvex --headless\n",
                 program.c_str(), errorText(errno).c_str());
    return 1;
}

}  // namespace

int runProgram(int argc, char** argv, WindowRunner openWindow) {
    KeepAllocatorSmall();
    // Streams hold descriptors: the service shares out whatever it may open.
    raiseDescriptorLimit(65536);
    EnsureUtf8Locale();
    std::vector<std::string> arguments(argv + 1, argv + argc);
    auto parsed = parseCommandLine(arguments);
    if (!parsed.line) {
        std::fprintf(stderr, "zorvex: %s\n%s", parsed.error.c_str(), usageText());
        return 2;
    }
    const CommandLine& line = *parsed.line;
    if (line.help) {
        std::fputs(usageText(), stdout);
        return 0;
    }
    if (line.version) {
        std::printf("zorvex %s\n", ZORVEX_VERSION);
        return 0;
    }
    if (!line.headless && !openWindow) return becomeWindowProgram(argv);
    std::optional<std::string> homeOverride;
    if (!line.home.empty()) homeOverride = line.home;
    std::string home = DecideHomeFolder(homeOverride, currentExecutablePath());

    // One copy per home folder; the lock lives in it, so a fresh one is made
    // now (the start-up would make it a moment later anyway).
    makeDirectories(home);
    SingleInstanceLock instance =
        SingleInstanceLock::acquireOutlastingTheGone(home, std::chrono::seconds(5));
    if (instance.result() == SingleInstanceLock::Result::AlreadyRunning)
        return secondStart(line, home);
    // An unusable home is the start-up's to name; a usable one without a lock
    // (a folder in the lock's place, a file system without flock) runs unguarded.
    if (instance.result() == SingleInstanceLock::Result::Unavailable && isDirectory(home) &&
        ::access(home.c_str(), W_OK) == 0)
        std::fprintf(stderr,
                     "zorvex: cannot take the lock %s/%s; another copy on this home folder "
                     "would not be noticed\n",
                     home.c_str(), SingleInstanceLock::kFileName);

    // Only the lock's holder may take the doorbell's place; listening before
    // the slow start-up, a second start meanwhile waits in the backlog and is
    // answered once the window is there.
    InstanceDoorbell doorbell;
    if (instance.held() && !line.headless) {
        doorbell = InstanceDoorbell::listen(InstanceDoorbell::placesFor(home));
        if (!doorbell.listening())
            std::fprintf(stderr, "zorvex: a second start cannot bring this window forward: %s\n",
                         doorbell.problem().c_str());
    }
    instance.publish({static_cast<long>(::getpid()), !line.headless, doorbell.path()});

    // The doorbell goes with the window, before the lock is let go.
    if (!line.headless) return openWindow(line, home, std::move(doorbell), argc, argv);
    return runHeadless(line, home);
}

}  // namespace zorvex
