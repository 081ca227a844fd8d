#pragma once

#include <memory>
#include <string>
#include <vector>

#include "foundation/system_info.h"
#include "platform/executor.h"
#include "platform/keep_awake.h"
#include "service/file_status_manager.h"
#include "service/service.h"

namespace zorvex {

inline constexpr const char* kMainLogTag = "ZorvexVRClientDlg";

// What the start-up sequence brings to life; the main window (or the
// headless runner) owns it and hands it to ShutDownSequence.
struct AppCore {
    LocalAdapters adapters;  // the address list offered to the user, and the MACs
    std::unique_ptr<FileStatusManager> statusManager;
    std::unique_ptr<Service> service;
    std::unique_ptr<KeepAwake> keepAwake;
};

struct StartupOptions {
    std::string home;
    std::vector<std::string> addresses;  // --address; empty: the machine's adapters
    Executor* executor = nullptr;        // where file status changes are delivered
    FileStatusManager::Receiver onFileStatus;
};

// The address the service starts on: the saved one when it is still offered,
// else the first offered; "" when none is.
std::string ChooseStartAddress(const std::vector<std::string>& offered,
                               const std::string& savedAddress);

// Working folders and settings, old logs removed, the log thread, the LAN
// service on the chosen address, the catalogue from the link files. False
// only when the home folder cannot be made; a service that cannot start is
// logged and the application runs on.
bool StartUpSequence(AppCore& core, const StartupOptions& options);

// The log thread, then the service (its link files rewritten), then the
// keep-awake request.
void ShutDownSequence(AppCore& core);

}  // namespace zorvex
