#include "ui/session/core_session.h"

#include <QDesktopServices>
#include <QPointer>
#include <QUrl>

#include "foundation/log_recorder.h"
#include "platform/desktop_handler.h"
#include "update/update_download.h"

namespace zorvex::ui {
namespace {
// The installer is the main window's business in the day's log.
constexpr const char* kMainWindowTag = "ZorvexVRClientDlg";

// The front answers on the GUI thread; a window gone by then hears nothing.
template <typename T>
std::function<void(T)> guarded(QObject* receiver, std::function<void(T)> done) {
    return [receiver = QPointer<QObject>(receiver), done = std::move(done)](T result) {
        if (receiver) done(std::move(result));
    };
}
}  // namespace

CoreSession::CoreSession(CoreParts parts, QObject* parent)
    : QObject(parent), front_(std::move(parts), gui_) {
    front_.subscribe(this);
}

CoreSession::~CoreSession() {
    front_.unsubscribe(this);
    // The worker may be running one of this session's blocking forms.
    endCommands();
}

void CoreSession::switchAddress(const std::string& address, QObject* receiver,
                                std::function<void(bool)> done) {
    front_.command<bool>(
        Front::Lane::Network, [this, address] { return switchAddressNow(address); },
        guarded(receiver, std::move(done)));
}

void CoreSession::openFirewall(QObject* receiver, std::function<void(FirewallOpening)> done) {
    front_.openFirewall(guarded(receiver, std::move(done)));
}

void CoreSession::checkVersion(QObject* receiver, std::function<void(const UpdateCheck&)> done) {
    front_.command<UpdateCheck>(
        Front::Lane::Updates, [this] { return checkVersionNow(); },
        guarded<UpdateCheck>(receiver, std::move(done)));
}

bool CoreSession::openFile(const std::string& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

bool CoreSession::openInstaller(const std::string& path) {
    // QDesktopServices says only whether a launcher started; whether a
    // program takes the file is known before, from its type's default.
    DesktopHandler handler = FindDesktopHandler(path);
    if (handler.answer == DesktopHandler::Answer::None) {
        PostLog("没有可以打开 " + handler.type + " 的程序: " + path, kMainWindowTag);
        return false;
    }
    return openFile(path);
}

void CoreSession::onDownloadFinished(DownloadEnd result, const std::string& path) {
    bool opened = false;
    if (result == DownloadEnd::Succeeded)
        opened =
            OpenInstaller(path, [this](const std::string& file) { return openInstaller(file); });
    if (result == DownloadEnd::Cancelled) log("取消下载", kDownLoadDlgTag);
    emit downloadFinished(result, path, opened);
}

void CoreSession::log(std::string_view text, std::string_view tag) const {
    PostLog(text, tag);
}

}  // namespace zorvex::ui
