// zorvex-window: the application with its window. zorvex execs it in its
// place, so it passes for that zorvex (home folder, skin, autostart entry).
#include <filesystem>

#include "app/program_main.h"
#include "app/window_runner.h"
#include "platform/executable_path.h"
#include "platform/file_util.h"
#include "platform/termination_signal.h"

int main(int argc, char** argv) {
    // A logout during the start waits for the window's loop instead of killing it halfway.
    zorvex::WatchTerminationSignals();
    namespace fs = std::filesystem;
    const fs::path application =
        (fs::path(zorvex::currentExecutablePath()).parent_path() / ZORVEX_APPLICATION)
            .lexically_normal();
    if (zorvex::isRegularFile(application.string()))
        zorvex::passForExecutable(application.string());
    return zorvex::runProgram(argc, argv, &zorvex::runWindowed);
}
