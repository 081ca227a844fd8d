#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <system_error>

namespace zorvex {

// What closing the main window does, as config.ini stores it in ExitWndType.
enum ExitWndChoice : std::int32_t { EXIT_WND_ASK = 1, EXIT_WND_HIDE = 2, EXIT_WND_QUIT = 3 };

// The user's preferences, read once from config.ini at start-up and saved
// whole. One record per process, created by LoadSettings.
struct SETTINGS_ST {
    std::int32_t AutoRun = 0;          // 1 = start at log-in (the autostart entry)
    std::int32_t AutoUpdate = 0;       // loaded and saved only
    std::int32_t DeleteOrigin = 0;     // initial state of "also delete the source" boxes
    std::int32_t ComSleepUnSleep = 0;  // 1 = keep the computer awake while converting
    std::int32_t ConvertedNotify = 0;  // loaded and saved only
    std::string DefaultIP;             // address last in use, dotted text
    // The one address the user chose to serve; "" serves every network.
    // Only a choice made in the menu sets it, never DefaultIP.
    std::string PinnedIP;
    // 1 once the user let phones through ufw, whose rules only root may read.
    std::int32_t UfwAllowed = 0;
    std::int32_t ExitWndType = 0;        // closing the main window: an ExitWndChoice
    std::int32_t VideoConvertRatio = 0;  // 1 = 1080P; anything else is 2K
    std::string ConvertPath;             // folder that receives converted videos
    std::string UpdateServer;            // host[:port] the version check asks
};

// Holds the record's lock for as long as it lives: use it within one
// expression (g_pSettings()->ExitWndType = EXIT_WND_HIDE;) or copy the record out
// (SETTINGS_ST copy = *g_pSettings();). The lock is recursive, so nesting on
// one thread is safe; keep it away from anything that waits on another thread.
class SettingsAccess {
public:
    SETTINGS_ST* operator->() const { return record_; }
    SETTINGS_ST& operator*() const { return *record_; }

private:
    friend SettingsAccess g_pSettings();
    SettingsAccess(std::recursive_mutex& mutex, SETTINGS_ST* record)
        : lock_(mutex), record_(record) {}
    std::unique_lock<std::recursive_mutex> lock_;
    SETTINGS_ST* record_;
};

// The process-wide settings record; any thread. Before LoadSettings it holds
// zeros and empty texts.
SettingsAccess g_pSettings();

// Section and key names of config.ini.
inline constexpr const char* kNormalSection = "NormalSetting";
inline constexpr const char* kVideoSection = "VideoSetting";
// "UpdateServer" when config.ini has none, or an empty one. A reserved name
// that never resolves: a real host is configured per deployment.
inline constexpr const char* kDefaultUpdateServer = "update.zorvex.invalid";

inline constexpr const char* kSettingsLogTag = "ZorvexDataManager\\Settings";

// Replaces the record with one read from home/config.ini, or, when there is no
// such file, creates it with the first-start values. A file that cannot be
// read (or holds a NUL, or is over 16 MiB) is first renamed to
// "config.ini.damaged-YYYYMMDD-HHMMSS", with a log line, and then replaced as
// a missing one. Applies autostart when "Base-AutoRun" reads 1. Start-up
// thread. False when a new file could not be written, or a damaged one could
// not be set aside (the record holds the first-start values all the same);
// error then receives the cause.
bool LoadSettings(std::error_code* error = nullptr);

// Writes the eleven keys from the record (the ten and "PinnedIP"), with
// "DefaultIP" the address in use as its owner shows it ("" keeps the saved
// one), keeping every other line of the file. One atomic rewrite. Any
// thread; callers set the fields first.
bool SaveSettings(const std::string& addressInUse);

// home + "/config.ini", as set by the last LoadSettings.
std::string GetConfigPath();
// The folder conversions go to: ConvertPath when IsUsableConvertPath, else
// the default home + "/appData/converted/". So an empty setting (a 0-byte
// config.ini gives one), a relative one or a folder that is gone never sends
// output to "/" or the working directory. Any thread.
std::string GetConvertPath();
// An absolute path of an existing folder this process may write in.
bool IsUsableConvertPath(const std::string& path);

// Writes the autostart entry that starts the running executable at log-in.
// Callers ignore a failure; the result is for tests.
bool ApplyAutoRun();
// Where the entry goes; by default the user's autostart folder. Tests aim it
// at a temporary folder before loading settings.
void SetAutostartFolder(const std::string& folder);
std::string GetAutostartFolder();

}  // namespace zorvex
