#include "app/startup.h"

#include <algorithm>
#include <ctime>

#include "foundation/constants.h"
#include "foundation/log_recorder.h"
#include "foundation/paths.h"
#include "foundation/settings.h"
#include "foundation/stored_file.h"
#include "platform/file_util.h"
#include "service/catalogue_restore.h"

namespace zorvex {

namespace {

// The text kept as the current address is at most 19 characters.
constexpr std::size_t kAddressTextLimit = 19;

void StartLanService(AppCore& core, const StartupOptions& options) {
    LocalAdapters machine = GetLocalAdapters();
    core.adapters = machine;
    if (!options.addresses.empty()) core.adapters.addresses = options.addresses;

    std::string saved = g_pSettings()->DefaultIP;
    std::string address =
        ChooseStartAddress(core.adapters.addresses, saved).substr(0, kAddressTextLimit);
    SetLocalIP(address);
    SetLocalMac(core.adapters.macs.empty() ? std::string() : core.adapters.macs.front());

    if (!core.service) core.service = std::make_unique<Service>(options.home);
    if (!core.catalogue) core.catalogue = std::make_unique<ServiceCatalogue>(*core.service);
    if (!core.statusManager) {
        core.statusManager =
            std::make_unique<FileStatusManager>(*options.executor, options.onFileStatus);
    }
    core.service->setListener(core.statusManager.get());
    if (address.empty()) {
        PostLog("没有可用的IPv4地址，服务未开启", kMainLogTag);
        return;
    }
    core.serviceStart = core.service->setAddress(address);
    PostLog(core.serviceStart ? std::string("开启服务成功")
                              : "开启服务失败：" + core.serviceStart.describe(),
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

std::string ChooseStartAddress(const std::vector<std::string>& offered,
                               const std::string& savedAddress) {
    if (offered.empty()) return {};
    if (!savedAddress.empty() &&
        std::find(offered.begin(), offered.end(), savedAddress) != offered.end()) {
        return savedAddress;
    }
    return offered.front();
}

StartupResult StartUpSequence(AppCore& core, const StartupOptions& options) {
    if (StorageStatus storage = InitWorkingDirectories(options.home); !storage) {
        return {false, storage.message};
    }
    RemoveOldLogs(std::time(nullptr) - kLogKeepSeconds);
    StartLogThread();
    StartLanService(core, options);
    LoadCatalogueFromDisk(*core.service, options.home, KeepDamagedLinkFile);
    if (!core.keepAwake) {
        core.keepAwake = makeSystemKeepAwake(
            kProductName, [](const std::string& line) { PostLog(line, kMainLogTag); });
    }
    return {};
}

void ShutDownSequence(AppCore& core) {
    StopLogThread();
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
