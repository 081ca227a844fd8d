#include "foundation/settings.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "foundation/constants.h"
#include "foundation/home_folder.h"
#include "foundation/ini_file.h"
#include "foundation/stored_file.h"
#include "platform/ascii.h"
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

namespace {

// The values of a new file, which differ from the missing-key defaults:
// autostart off, 1080P.
SETTINGS_ST firstStartRecord() {
    SETTINGS_ST record;
    record.AutoRun = 0;
    record.AutoUpdate = 1;
    record.ExitWndType = EXIT_WND_ASK;
    record.ComSleepUnSleep = 1;
    record.DefaultIP = "127.0.0.1";
    record.VideoConvertRatio = 1;
    record.ConvertPath = DefaultConvertedDir();
    record.ConvertedNotify = 1;
    record.DeleteOrigin = 0;
    record.UpdateServer = kDefaultUpdateServer;
    return record;
}

// What a config.ini read as it stands gives for a key it lacks.
SETTINGS_ST missingKeyRecord() {
    SETTINGS_ST record;
    record.AutoRun = 1;
    record.AutoUpdate = 1;
    record.ExitWndType = EXIT_WND_ASK;
    record.ComSleepUnSleep = 1;
    record.VideoConvertRatio = 0;
    record.ConvertedNotify = 1;
    record.DeleteOrigin = 0;
    record.UfwAllowed = 0;
    record.UpdateServer = kDefaultUpdateServer;
    return record;
}

// The record ini holds, with fallback's value for each key it lacks.
// missing, when given, receives the names of the documented keys it lacks.
SETTINGS_ST recordFrom(const IniFile& ini, const SETTINGS_ST& fallback,
                       std::vector<std::string>* missing = nullptr) {
    auto has = [&](std::string_view section, std::string_view key) {
        bool found = ini.value(section, key).has_value();
        if (!found && missing) missing->emplace_back(key);
        return found;
    };
    auto number = [&](std::string_view section, std::string_view key, std::int32_t otherwise) {
        has(section, key);
        return ini.readInt(section, key, otherwise);
    };
    auto text = [&](std::string_view section, std::string_view key, const std::string& otherwise,
                    std::size_t units) {
        has(section, key);
        return ini.readString(section, key, otherwise, units);
    };
    SETTINGS_ST record;
    record.AutoRun = number(kNormalSection, "Base-AutoRun", fallback.AutoRun);
    record.AutoUpdate = number(kNormalSection, "Base-AutoUpdate", fallback.AutoUpdate);
    record.ExitWndType = number(kNormalSection, "ExitWndType", fallback.ExitWndType);
    record.ComSleepUnSleep = number(kNormalSection, "ComSleep-UnSleep", fallback.ComSleepUnSleep);
    record.DefaultIP = text(kNormalSection, "DefaultIP", fallback.DefaultIP, kDefaultIpUnits);
    // Not in every file: a file without them lacks nothing.
    record.PinnedIP =
        ini.readString(kNormalSection, "PinnedIP", fallback.PinnedIP, kDefaultIpUnits);
    record.UfwAllowed = ini.readInt(kNormalSection, "UfwAllowed", fallback.UfwAllowed);
    record.VideoConvertRatio =
        number(kVideoSection, "VideoConvert-Ratio", fallback.VideoConvertRatio);
    record.ConvertPath =
        text(kVideoSection, "ConvertPath", fallback.ConvertPath, kConvertPathUnits);
    record.ConvertedNotify = number(kVideoSection, "ConvertedNotify", fallback.ConvertedNotify);
    record.DeleteOrigin = number(kNormalSection, "DeleteOrigin", fallback.DeleteOrigin);
    record.UpdateServer =
        text(kNormalSection, "UpdateServer", fallback.UpdateServer, kUpdateServerUnits);
    // An empty host cannot be asked; fall back as for a missing key.
    if (record.UpdateServer.empty()) record.UpdateServer = kDefaultUpdateServer;
    return record;
}

// A whole new file holding record, in the order a first start writes.
bool writeRecordFile(const std::string& configPath, const SETTINGS_ST& record,
                     std::error_code* error) {
    auto number = [](std::int32_t value) { return std::to_string(value); };
    IniFile ini;
    ini.write(kNormalSection, "Base-AutoRun", number(record.AutoRun));
    ini.write(kNormalSection, "Base-AutoUpdate", number(record.AutoUpdate));
    ini.write(kNormalSection, "ExitWndType", number(record.ExitWndType));
    ini.write(kNormalSection, "ComSleep-UnSleep", number(record.ComSleepUnSleep));
    ini.write(kNormalSection, "DefaultIP", record.DefaultIP);
    ini.write(kVideoSection, "VideoConvert-Ratio", number(record.VideoConvertRatio));
    ini.write(kVideoSection, "ConvertPath", record.ConvertPath);
    ini.write(kVideoSection, "ConvertedNotify", number(record.ConvertedNotify));
    ini.write(kNormalSection, "DeleteOrigin", number(record.DeleteOrigin));
    ini.write(kNormalSection, "UpdateServer", record.UpdateServer);
    if (!record.PinnedIP.empty()) ini.write(kNormalSection, "PinnedIP", record.PinnedIP);
    if (record.UfwAllowed != 0) ini.write(kNormalSection, "UfwAllowed", number(record.UfwAllowed));
    return ini.save(configPath, error);
}

// Settings that fill a megabyte are no settings: the file is something else.
constexpr std::size_t kMaxConfigBytes = 1 << 20;

std::string_view trimmed(std::string_view text) {
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

// Why a config.ini's text cannot be the user's settings, or "" when it can.
// Read as it stands, a torn or foreign file gives the missing-key defaults,
// among them autostart on, which the user never chose. Whatever the
// private-profile functions would read from a hand-made file is accepted:
// comments, blank lines, blanks around '=', no line end at the end, one of
// the two sections alone, or sections without keys.
std::string damageOf(std::string_view text) {
    // Private-profile text holds no NUL; a file that does is another kind of file.
    if (text.find('\0') != std::string_view::npos) return "not a text file";
    if (text.size() > kMaxConfigBytes) return "larger than 1 MiB";
    bool ours = false;  // a section this program reads
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        for (char c : line) {
            if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7f)
                return "not a text file";
        }
        line = trimmed(line);
        if (line.empty() || line.front() == ';' || line.front() == '#') continue;
        if (line.front() == '[' && line.back() == ']') {
            std::string_view name = trimmed(line.substr(1, line.size() - 2));
            ours = ours || equalsIgnoringCase(name, kNormalSection) ||
                   equalsIgnoringCase(name, kVideoSection);
            continue;
        }
        // A torn line: the file was cut, or was never settings.
        if (line.find('=') == std::string_view::npos) return "a line that is no setting";
    }
    if (!ours) return text.empty() ? "empty" : "no settings in it";
    return {};
}

// The lines of a damaged file that still read as they were written: what
// a crash or a stray write left whole, as the XML files keep their items.
IniFile readableLines(std::string_view text) {
    std::string kept;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        bool whole = end != std::string_view::npos;
        if (!whole) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        // The last line without its end may be cut inside its value.
        if (!whole) break;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        bool clean = std::none_of(line.begin(), line.end(), [](char c) {
            return (static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7f;
        });
        std::string_view content = trimmed(line);
        bool header = content.starts_with('[') && content.ends_with(']');
        // A line that is not clean may have held a section's header: what
        // follows it can no longer be placed.
        if (!clean) {
            kept += "[?]\n";
            continue;
        }
        if (header || content.find('=') != std::string_view::npos) {
            kept += line;
            kept += '\n';
        }
    }
    return IniFile::parse(kept);
}

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

// config.ini as it stands: Ok with its text, Missing, or Damaged.
StoredFile readConfig(const std::string& configPath) {
    StoredFile stored = ReadStoredFile(configPath);
    if (stored.status != StoredFileStatus::Ok) return stored;
    if (std::string problem = damageOf(stored.data); !problem.empty())
        return {StoredFileStatus::Damaged, std::move(stored.data), std::move(problem)};
    return stored;
}

}  // namespace

bool LoadSettings(std::error_code* error) {
    std::string configPath = GetHomeLayout().configFile();
    SETTINGS_ST record = firstStartRecord();
    bool ok = true;
    StoredFile stored = readConfig(configPath);
    if (stored.status == StoredFileStatus::Ok) {
        record = recordFrom(IniFile::parse(stored.data), missingKeyRecord());
    } else if (stored.status == StoredFileStatus::Missing) {
        ok = writeRecordFile(configPath, record, error);
    } else {
        // What the damage spared is the user's; first-start values fill the rest.
        std::vector<std::string> lost;
        record = recordFrom(readableLines(stored.data), firstStartRecord(), &lost);
        std::string note = stored.problem;
        note +=
            lost.empty() ? "; every setting recovered" : "; first-start values for " + joined(lost);
        // One that could not be set aside stays as it is, and nothing is written over it.
        ok = !KeepDamagedFile(configPath, note, kSettingsLogTag, error).empty() &&
             writeRecordFile(configPath, record, error);
    }
    {
        std::lock_guard lock(g_settingsMutex);
        g_settings = record;
        g_configPath = configPath;
    }
    // At every start, so a moved installation repairs its own entry.
    if (record.AutoRun == 1) ApplyAutoRun();
    return ok;
}

bool SaveSettings(const std::string& addressInUse) {
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
    std::string address = addressInUse;
    if (address.empty()) address = record.DefaultIP;

    // A file that exists but cannot be read is not replaced by nine keys alone.
    StoredFile stored = ReadStoredFile(configPath);
    if (stored.status == StoredFileStatus::Damaged) return false;
    IniFile ini = IniFile::parse(stored.data);
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
    // A file that never had a pin keeps its documented keys alone.
    if (!record.PinnedIP.empty() || ini.value(kNormalSection, "PinnedIP"))
        ok &= ini.write(kNormalSection, "PinnedIP", record.PinnedIP);
    if (record.UfwAllowed != 0 || ini.value(kNormalSection, "UfwAllowed"))
        ok &= ini.write(kNormalSection, "UfwAllowed", number(record.UfwAllowed));
    return ini.save(configPath) && ok;
}

std::string GetConfigPath() {
    std::lock_guard lock(g_settingsMutex);
    return g_configPath;
}

std::string GetConvertPath() {
    std::string path;
    {
        std::lock_guard lock(g_settingsMutex);
        path = g_settings.ConvertPath;
    }
    return IsUsableConvertPath(path) ? path : DefaultConvertedDir();
}

bool IsUsableConvertPath(const std::string& path) {
    return path.starts_with('/') && isWritableFolder(path);
}

bool ApplyAutoRun() {
    return writeAutostartEntry(GetAutostartFolder(), kProductName, currentExecutablePath());
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
