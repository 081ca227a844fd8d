#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/headless_runner.h"
#if ZORVEX_WITH_WINDOWS
#include "app/window_runner.h"
#endif
#include "foundation/paths.h"
#include "platform/allocator_arenas.h"
#include "platform/executable_path.h"
#include "platform/instance_doorbell.h"
#include "platform/process_limits.h"
#include "platform/single_instance_lock.h"
#include "platform/utf8_locale.h"

int main(int argc, char** argv) {
    zorvex::KeepAllocatorSmall();
    // Streams hold descriptors: the service shares out whatever it may open.
    zorvex::raiseDescriptorLimit(65536);
    zorvex::EnsureUtf8Locale();
    std::vector<std::string> arguments(argv + 1, argv + argc);
    auto parsed = zorvex::parseCommandLine(arguments);
    if (!parsed.line) {
        std::fprintf(stderr, "zorvex: %s\n%s", parsed.error.c_str(), zorvex::usageText());
        return 2;
    }
    const zorvex::CommandLine& line = *parsed.line;
    if (line.help) {
        std::fputs(zorvex::usageText(), stdout);
        return 0;
    }
    if (line.version) {
        std::printf("zorvex %s\n", ZORVEX_VERSION);
        return 0;
    }
    std::optional<std::string> homeOverride;
    if (!line.home.empty()) homeOverride = line.home;
    std::string home = zorvex::DecideHomeFolder(homeOverride, zorvex::currentExecutablePath());

    // A second start ends at once. The window's asks the running copy to come
    // forward (a headless one does not listen); a headless start stays silent.
    const std::string lockFolder = zorvex::SingleInstanceLock::defaultFolder(home);
    auto instance = zorvex::SingleInstanceLock::acquire(lockFolder);
    if (instance.result() == zorvex::SingleInstanceLock::Result::AlreadyRunning) {
        if (!line.headless) zorvex::InstanceDoorbell::ring(lockFolder);
        return 0;
    }

#if ZORVEX_WITH_WINDOWS
    // Only the lock's holder may take the doorbell's place.
    if (!line.headless)
        return zorvex::runWindowed(line, home, instance.held() ? lockFolder : std::string(), argc,
                                   argv);
#else
    if (!line.headless) {
        std::fputs("zorvex: this build has no windows; run zorvex --headless\n", stderr);
        return 1;
    }
#endif
    return zorvex::runHeadless(line, home);
}
