#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "update/http_helper.h"
#include "update/update_download.h"

class QWidget;

namespace zorvex {
class ConversionQueue;
class VideoLibrary;
}  // namespace zorvex

namespace zorvex::ui {

class RightPage;
struct WindowContext;

// How the main window draws its shadow: four separate strip windows placed
// around it (where a client may place top-level windows, as on X11), or a
// translucent margin of its own (Wayland, where it may not).
enum class ShadowMode { Auto, Strips, Margin };

// Builds the page right of the left menu; the window parents and owns it.
using PageFactory = std::function<RightPage*(QWidget* owner, const WindowContext& context)>;

// What the fly-screen page (CRightVideoDlg) needs of the core besides the
// rest of WindowContext. The composition root fills it: the library and the
// queue it owns, already wired to each other (conversion requests become
// tasks; the queue's events and results reach the library's
// OnConversionEvent), the library built from the catalogue and the queue
// file loaded by the root, once, whether before or after the window is built.
// The page draws and drives them but builds nothing of the core itself.
struct PageContext {
    // Both must outlive the main window; without either there is no page
    // (the main window shows the placeholder).
    VideoLibrary* library = nullptr;
    ConversionQueue* queue = nullptr;
    // Phones connected now (Service::connectedClients, an atomic read).
    // Called on the GUI thread every 100 ms; empty: none.
    std::function<int()> connectedPhones;
    // Moves the LAN service to the address (Service::setAddress): true only
    // when every part of it listens there now. Called on the page's own
    // worker thread, one call at a time; it may block while the service
    // stops and starts.
    std::function<bool(const std::string& address)> switchAddress;
    // Whether every part of the LAN service listens on its address now
    // (Service::running, an atomic read). Asked on the GUI thread when the
    // page opens and after each switch; empty: taken as running.
    std::function<bool()> serviceRunning;
    // The addresses the address menu offers (the adapters', or --address).
    std::vector<std::string> addresses;
};

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
    // Opens a downloaded installer or a folder with the desktop's handler;
    // empty: the windows use QDesktopServices.
    std::function<bool(const std::string& path)> openFile;
    // Hands a downloaded installer to the desktop: true only when a program
    // took it, as the application quits then. Empty: openFile.
    std::function<bool(const std::string& path)> openInstaller;

    // The conversion queue, before the application quits.
    std::function<bool()> anyRunning;
    std::function<void()> stopAll;  // quietly
    // Stops the LAN service, after a successful update download.
    std::function<void()> stopService;

    // The fly-screen page; empty: a PlaceholderPage.
    // CRightVideoDlg::Factory() builds the real one over `page`.
    PageFactory makePage;
    PageContext page;
    // nullopt: QSystemTrayIcon::isSystemTrayAvailable().
    std::optional<bool> trayAvailable;
    ShadowMode shadow = ShadowMode::Auto;
};

}  // namespace zorvex::ui
