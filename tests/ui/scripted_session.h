#pragma once

#include <functional>
#include <string>

#include "ui/session/core_session.h"

namespace zorvex::test {

// A session over real core parts whose blocking, desktop and ending commands
// follow the test's script where one is given: a slow address switch, an
// update server's answer, a desktop without a program for the installer.
class ScriptedSession : public ui::CoreSession {
public:
    using CoreSession::CoreSession;
    // The scripts run on the session's worker: it ends before they go.
    ~ScriptedSession() override { endCommands(); }

    std::function<bool()> anyRunningScript;
    std::function<void()> stopAllScript;
    std::function<void()> stopServiceScript;
    std::function<int()> phonesScript;
    std::function<bool()> serviceRunningScript;
    std::function<bool(const std::string&)> switchScript;
    std::function<ui::UpdateCheck()> checkScript;
    std::function<void()> cancelScript;
    std::function<bool(const std::string&)> openScript;

    bool anyRunning() const override {
        return anyRunningScript ? anyRunningScript() : CoreSession::anyRunning();
    }
    void stopAll() override { stopAllScript ? stopAllScript() : CoreSession::stopAll(); }
    void stopService() override {
        stopServiceScript ? stopServiceScript() : CoreSession::stopService();
    }
    int connectedPhones() const override {
        return phonesScript ? phonesScript() : CoreSession::connectedPhones();
    }
    bool serviceRunning() const override {
        return serviceRunningScript ? serviceRunningScript() : CoreSession::serviceRunning();
    }
    bool switchAddressNow(const std::string& address) override {
        return switchScript ? switchScript(address) : CoreSession::switchAddressNow(address);
    }
    ui::UpdateCheck checkVersionNow() override {
        return checkScript ? checkScript() : CoreSession::checkVersionNow();
    }
    void cancelCheck() override { cancelScript ? cancelScript() : CoreSession::cancelCheck(); }
    bool openFile(const std::string& path) override {
        return openScript ? openScript(path) : CoreSession::openFile(path);
    }
    bool openInstaller(const std::string& path) override {
        return openScript ? openScript(path) : CoreSession::openInstaller(path);
    }
};

}  // namespace zorvex::test
