#pragma once

#include <QString>

namespace zorvex::ui {

// Hands a notice to the desktop's notification service
// (org.freedesktop.Notifications on the session bus), for desktops without
// a tray to show a balloon. Does nothing where there is no bus or no
// service; never waits for the answer. GUI thread.
void ShowDesktopNotice(const QString& summary, const QString& body);

}  // namespace zorvex::ui
