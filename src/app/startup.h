#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/service_catalogue.h"
#include "foundation/system_info.h"
#include "platform/executor.h"
#include "platform/keep_awake.h"
#include "service/file_status_manager.h"
#include "service/served_networks.h"
#include "service/service.h"

namespace zorvex {

inline constexpr const char* kMainLogTag = "ZorvexVRClientDlg";

// What the start-up sequence brings to life; the main window (or the
// headless runner) owns it and hands it to ShutDownSequence.
struct AppCore {
    LocalAdapters adapters;  // the address list offered to the user, and the MACs
    std::unique_ptr<FileStatusManager> statusManager;
    std::unique_ptr<Service> service;
    std::unique_ptr<NetworkChangeLines> networkLog;  // logs each change of what is served
    // Which networks the service serves, followed as adapters change.
    std::unique_ptr<ServedNetworks> networks;
    NetworksView serviceStart;                    // what the first look at the networks served
    std::unique_ptr<ServiceCatalogue> catalogue;  // the library's view of the service
    std::unique_ptr<KeepAwake> keepAwake;
};

// What the start-up sequence tells the window or the console.
struct StartupResult {
    bool ok = true;
    // When not ok: one line naming the path and the reason, for the console
    // or a message box; the application then exits.
    std::string message;
    explicit operator bool() const { return ok; }
};

struct StartupOptions {
    std::string home;
    std::vector<std::string> addresses;  // --address; empty: the machine's adapters
    Executor* executor = nullptr;        // where file status changes are delivered
    FileStatusManager::Receiver onFileStatus;
};

// Working folders and settings, old logs removed, the log thread, the LAN
// service on the chosen address, the catalogue from the link files (a
// damaged one renamed to "<key>.damaged-YYYYMMDD-HHMMSS" and logged, its
// thumbnail removed). Fails, before anything else starts, when the home
// folder or the document root cannot be created or written. The service
// serves every usable network, or the pinned address; each change of what
// it serves is logged (also why a part does not run), and it waits for a
// network, or retries held ports, rather than give up.
StartupResult StartUpSequence(AppCore& core, const StartupOptions& options);

// The log thread, the network watch, then the service (its link files
// rewritten), then the keep-awake request.
void ShutDownSequence(AppCore& core);

}  // namespace zorvex
