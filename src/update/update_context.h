#pragma once

#include <functional>
#include <string>

namespace zorvex {

// What the update module reads from the rest of the system; app/ fills it.
// Each function is called when its value is needed, on the caller's thread
// (the version check's or the download's starter), never on a worker.
struct UpdateContext {
    // The setting "UpdateServer", host[:port]; "" or unset asks the default host.
    std::function<std::string()> updateServer;
    // The MAC text of the adapter in use, for the user agent and the request.
    std::function<std::string()> mac;
    // The folder that receives the installer, with its trailing '/'; "" or
    // unset before start-up has set it, and then nothing is downloaded.
    std::function<std::string()> downloadFolder;
};

}  // namespace zorvex
