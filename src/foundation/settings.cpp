#include "foundation/settings.h"

#include <string_view>

#include "foundation/constants.h"
#include "foundation/ini_file.h"
#include "foundation/paths.h"
#include "foundation/system_info.h"
#include "platform/autostart_entry.h"
#include "platform/executable_path.h"
#include "platform/file_util.h"

namespace zorvex {

namespace {

// The process-wide record; reached only through g_pSettings().
std::recursive_mutex g_settingsMutex;  // guards everything below
SETTINGS_ST g_settings;
std::string g_configPath;
std::string g_autostartFolder;
bool g_autostartFolderSet = false;

// The Windows program reads these into buffers of 20 and 200 characters;
// cutting the same way keeps a carried-over config.ini reading the same.
constexpr std::size_t kDefaultIpUnits = 19;
constexpr std::size_t kConvertPathUnits = 199;
// A host name is at most 253 characters; room for ":port" besides.
constexpr std::size_t kUpdateServerUnits = 260;

}  // namespace

SettingsAccess g_pSettings() {
    return SettingsAccess(g_settingsMutex, &g_settings);
}

bool LoadSettings() {
    std::string configPath = GetModuleDir() + "/config.ini";
    SETTINGS_ST record;
    bool ok = true;
    bool applyAutoRun = false;
    if (pathExists(configPath)) {
        IniFile ini = IniFile::load(configPath);
        record.AutoRun = ini.readInt(kNormalSection, "Base-AutoRun", 1);
        applyAutoRun = record.AutoRun == 1;
        record.AutoUpdate = ini.readInt(kNormalSection, "Base-AutoUpdate", 1);
        record.ExitWndType = ini.readInt(kNormalSection, "ExitWndType", 1);
        record.ComSleepUnSleep = ini.readInt(kNormalSection, "ComSleep-UnSleep", 1);
        record.DefaultIP = ini.readString(kNormalSection, "DefaultIP", "", kDefaultIpUnits);
        record.VideoConvertRatio = ini.readInt(kVideoSection, "VideoConvert-Ratio", 0);
        record.ConvertPath = ini.readString(kVideoSection, "ConvertPath", "", kConvertPathUnits);
        record.ConvertedNotify = ini.readInt(kVideoSection, "ConvertedNotify", 1);
        record.DeleteOrigin = ini.readInt(kNormalSection, "DeleteOrigin", 0);
        record.UpdateServer = ini.readString(kNormalSection, "UpdateServer", kDefaultUpdateServer,
                                             kUpdateServerUnits);
        // An empty host cannot be asked; fall back as for a missing key.
        if (record.UpdateServer.empty()) record.UpdateServer = kDefaultUpdateServer;
    } else {
        // A new file differs from the missing-key defaults: autostart off, 1080P.
        record.AutoRun = 0;
        record.AutoUpdate = 1;
        record.ExitWndType = 1;
        record.ComSleepUnSleep = 1;
        record.DefaultIP = "127.0.0.1";
        record.VideoConvertRatio = 1;
        record.ConvertPath = DefaultConvertedDir();
        record.ConvertedNotify = 1;
        record.DeleteOrigin = 0;
        record.UpdateServer = kDefaultUpdateServer;
        IniFile ini;
        ini.write(kNormalSection, "Base-AutoRun", "0");
        ini.write(kNormalSection, "Base-AutoUpdate", "1");
        ini.write(kNormalSection, "ExitWndType", "1");
        ini.write(kNormalSection, "ComSleep-UnSleep", "1");
        ini.write(kNormalSection, "DefaultIP", record.DefaultIP);
        ini.write(kVideoSection, "VideoConvert-Ratio", "1");
        ini.write(kVideoSection, "ConvertPath", record.ConvertPath);
        ini.write(kVideoSection, "ConvertedNotify", "1");
        ini.write(kNormalSection, "DeleteOrigin", "0");
        ini.write(kNormalSection, "UpdateServer", record.UpdateServer);
        ok = ini.save(configPath);
    }
    {
        std::lock_guard lock(g_settingsMutex);
        g_settings = record;
        g_configPath = configPath;
    }
    // At every start, so a moved installation repairs its own entry.
    if (applyAutoRun) ApplyAutoRun();
    return ok;
}

bool SaveSettings() {
    SETTINGS_ST record;
    std::string configPath;
    {
        std::lock_guard lock(g_settingsMutex);
        record = g_settings;
        configPath = g_configPath;
    }
    if (configPath.empty()) return false;
    // With no address in use (no adapter at start) keep the user's saved
    // choice rather than erase it.
    std::string address = GetLocalIP();
    if (address.empty()) address = record.DefaultIP;

    // A file that exists but cannot be read is not replaced by nine keys alone.
    auto text = readWholeFile(configPath);
    if (!text && pathExists(configPath)) return false;
    IniFile ini = IniFile::parse(text ? *text : std::string());
    auto number = [](std::int32_t value) { return std::to_string(value); };
    bool ok = true;
    ok &= ini.write(kNormalSection, "Base-AutoRun", number(record.AutoRun));
    ok &= ini.write(kNormalSection, "Base-AutoUpdate", number(record.AutoUpdate));
    ok &= ini.write(kNormalSection, "ExitWndType", number(record.ExitWndType));
    ok &= ini.write(kNormalSection, "ComSleep-UnSleep", number(record.ComSleepUnSleep));
    ok &= ini.write(kNormalSection, "DefaultIP", address);
    ok &= ini.write(kNormalSection, "DeleteOrigin", number(record.DeleteOrigin));
    ok &= ini.write(kVideoSection, "VideoConvert-Ratio", number(record.VideoConvertRatio));
    // A folder name with a line break cannot be stored; the old value stays.
    ok &= ini.write(kVideoSection, "ConvertPath", record.ConvertPath);
    ok &= ini.write(kVideoSection, "ConvertedNotify", number(record.ConvertedNotify));
    ok &= ini.write(kNormalSection, "UpdateServer", record.UpdateServer);
    return ini.save(configPath) && ok;
}

std::string GetConfigPath() {
    std::lock_guard lock(g_settingsMutex);
    return g_configPath;
}

std::string GetConvertPath() {
    std::lock_guard lock(g_settingsMutex);
    return g_settings.ConvertPath;
}

bool ApplyAutoRun() {
    return writeAutostartEntry(GetAutostartFolder(), kProductName, currentExecutablePath());
}

bool RemoveAutoRun() {
    return removeAutostartEntry(GetAutostartFolder());
}

void SetAutostartFolder(const std::string& folder) {
    std::lock_guard lock(g_settingsMutex);
    g_autostartFolder = folder;
    g_autostartFolderSet = true;
}

std::string GetAutostartFolder() {
    std::lock_guard lock(g_settingsMutex);
    return g_autostartFolderSet ? g_autostartFolder : userAutostartFolder();
}

}  // namespace zorvex
