#include "app/startup.h"

#include <algorithm>
#include <ctime>
#include <memory>

#include "foundation/constants.h"
#include "foundation/log_recorder.h"
#include "foundation/paths.h"
#include "foundation/settings.h"
#include "foundation/stored_file.h"
#include "platform/file_util.h"
#include "platform/firewall.h"
#include "service/catalogue_restore.h"

namespace zorvex {

namespace {

void StartLanService(AppCore& core, const StartupOptions& options) {
    core.adapters = GetLocalAdapters();
    if (!options.addresses.empty()) core.adapters.addresses = options.addresses;
    SetLocalMac(core.adapters.macs.empty() ? std::string() : core.adapters.macs.front());

    if (!core.service) core.service = std::make_unique<Service>(options.home);
    if (!core.catalogue) core.catalogue = std::make_unique<ServiceCatalogue>(*core.service);
    if (!core.statusManager) {
        core.statusManager =
            std::make_unique<FileStatusManager>(*options.executor, options.onFileStatus);
    }
    core.service->setListener(core.statusManager.get());

    ServedNetworks::Options choice;
    choice.fixed = options.addresses;
    choice.pin = g_pSettings()->PinnedIP;
    // Among addresses given for the run, the one used last is taken again.
    if (std::find(choice.fixed.begin(), choice.fixed.end(), choice.pin) == choice.fixed.end())
        choice.pin = choice.fixed.empty() ? choice.pin : g_pSettings()->DefaultIP;
    choice.firewall = [](const std::string& adapter) {
        FirewallProbe::Options probe;
        probe.ufwAllowed = g_pSettings()->UfwAllowed == 1;
        return FirewallProbe(probe).look(adapter);
    };
    core.networks = std::make_unique<ServedNetworks>(*core.service, *options.executor, choice);
    // Every change is logged.
    core.networkLog = std::make_unique<NetworkChangeLines>(
        [](const std::string& line) { PostLog(line, kMainLogTag); });
    core.networks->subscribe(core.networkLog.get());
    core.serviceStart = core.networks->begin();
    PostLog(core.serviceStart.listening() ? std::string("开启服务成功")
                                          : "开启服务失败：" + describeNetworks(core.serviceStart),
            kMainLogTag);
}

// Kept aside as a damaged XML file is, so that the next start neither trips
// over it again nor loses what it may still tell.
void KeepDamagedLinkFile(const DamagedLinkFile& damaged) {
    if (KeepDamagedFile(damaged.path, damaged.problem, kMainLogTag).empty()) return;
    // Nothing leads to it any more; sharing the video again makes it anew.
    if (!damaged.thumbnail.empty() && removeFile(damaged.thumbnail)) {
        PostLog("removed its thumbnail " + damaged.thumbnail, kMainLogTag);
    }
}

}  // namespace

StartupResult StartUpSequence(AppCore& core, const StartupOptions& options) {
    if (StorageStatus storage = InitWorkingDirectories(options.home); !storage) {
        return {false, storage.message};
    }
    RemoveOldLogs(std::time(nullptr) - kLogKeepSeconds);
    StartLogThread();
    StartLanService(core, options);
    LoadCatalogueFromDisk(core.service->catalogue(), options.home, KeepDamagedLinkFile);
    if (!core.keepAwake) {
        core.keepAwake = makeSystemKeepAwake(
            kProductName, [](const std::string& line) { PostLog(line, kMainLogTag); });
    }
    return {};
}

void ShutDownSequence(AppCore& core) {
    StopLogThread();
    core.networks.reset();
    core.catalogue.reset();
    if (core.service) {
        core.service->stop();
        core.service.reset();  // rewrites every link file
    }
    core.statusManager.reset();
    if (core.keepAwake) core.keepAwake->release();
    core.adapters = {};
}

}  // namespace zorvex
