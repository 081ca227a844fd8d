#include "ui/toolkit/desktop_notice.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QGuiApplication>
#include <QStringList>
#include <QVariantMap>

#include "ui/toolkit/skin.h"

namespace zorvex::ui {

void ShowDesktopNotice(const QString& summary, const QString& body) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    QDBusMessage notify = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    QVariantMap hints;
    // Lets the desktop group the notice under the application's menu entry.
    hints.insert(QStringLiteral("desktop-entry"), QGuiApplication::desktopFileName());
    notify << QGuiApplication::applicationDisplayName() << 0u
           << skinPath(QStringLiteral("Icon/app_48.png")) << summary << body << QStringList()
           << hints << -1;
    // The answer (or the error where no service runs) is not waited for.
    bus.send(notify);
}

}  // namespace zorvex::ui
