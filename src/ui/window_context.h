#pragma once

#include <functional>
#include <optional>
#include <string>

#include "update/http_helper.h"
#include "update/update_download.h"

class QWidget;

namespace zorvex::ui {

class RightPage;
struct WindowContext;

// How the main window draws its shadow: four separate strip windows placed
// around it (where a client may place top-level windows, as on X11), or a
// translucent margin of its own (Wayland, where it may not).
enum class ShadowMode { Auto, Strips, Margin };

// Builds the page right of the left menu; the window parents and owns it.
using PageFactory = std::function<RightPage*(QWidget* owner, const WindowContext& context)>;

// What the windows need of the core. The composition root fills it and keeps
// everything the functions reach alive for longer than the main window.
// Every function is called on the GUI thread, except checkVersion. An empty
// function does nothing (and answers false or 1 where it answers).
struct WindowContext {
    // The setting ExitWndType now: 1 ask, 2 hide to the tray, 3 quit.
    std::function<int()> exitWndType;
    // The exit prompt's remember box: stores ExitWndType (2 or 3) and saves.
    std::function<void(int)> saveExitWndType;
    // The setting DeleteOrigin, for confirmation dialogs.
    std::function<bool()> deleteOrigin;
    // Writes the settings record to config.ini (SaveSettings).
    std::function<bool()> saveSettings;

    // The version check. Called on a worker thread of the main window, one
    // call at a time; blocks for the whole exchange.
    std::function<VersionCheckResult()> checkVersion;
    // Ends a running check soon (HttpHelper::Cancel); the window calls it
    // when it goes while a check runs. Any thread.
    std::function<void()> cancelCheck;
    // The download dialog's transfer settings.
    DownloadOptions downloadOptions;
    // The update module's settings, for the download dialog.
    UpdateContext update;
    // Opens a downloaded installer with the desktop's handler; empty: the
    // windows use QDesktopServices.
    std::function<bool(const std::string& path)> openFile;

    // The conversion queue, before the application quits.
    std::function<bool()> anyRunning;
    std::function<void()> stopAll;  // quietly
    // Stops the LAN service, after a successful update download.
    std::function<void()> stopService;

    // The fly-screen page; empty: a PlaceholderPage.
    PageFactory makePage;
    // nullopt: QSystemTrayIcon::isSystemTrayAvailable().
    std::optional<bool> trayAvailable;
    ShadowMode shadow = ShadowMode::Auto;
};

}  // namespace zorvex::ui
