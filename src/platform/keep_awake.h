#pragma once

#include <sys/types.h>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/keep_awake_obstacle.h"

namespace zorvex {

// Keeps the computer from sleeping (and the screen from blanking) while long
// work runs. Implementations are thread-safe; the conversion queue holds it
// while it converts and shutdown releases it.
class KeepAwake {
public:
    // What keeps hold() from working on this system.
    using Obstacle = KeepAwakeObstacle;

    virtual ~KeepAwake() = default;
    // Holding again while held changes nothing.
    virtual void hold() = 0;
    // Lets the system sleep again; harmless when nothing is held.
    virtual void release() = 0;
    // Obstacle::None while holding may work (it may still be refused).
    virtual Obstacle obstacle() { return Obstacle::None; }
};

class NoKeepAwake final : public KeepAwake {
public:
    void hold() override {}
    void release() override {}
};

// A logind "sleep:idle" block inhibitor held by a systemd-inhibit child whose
// command reads a pipe from us: closing the pipe ends it, and so does our own
// death, so a crash never leaves the machine unable to sleep. Without a system
// bus or the program it does nothing and logs one line.
class InhibitKeepAwake final : public KeepAwake {
public:
    struct Options {
        std::string program = "systemd-inhibit";  // searched on PATH when it has no '/'
        std::string busSocket;  // "" = from DBUS_SYSTEM_BUS_ADDRESS or the usual socket
        std::string who = "Zorvex";
        std::string why = "Converting videos";
        std::function<void(const std::string&)> log;  // called on the caller's thread
    };

    explicit InhibitKeepAwake(Options options);
    ~InhibitKeepAwake() override;  // releases

    void hold() override;
    void release() override;
    // No system bus, or no inhibitor program: checked once, logged then.
    Obstacle obstacle() override;

    // True while our inhibitor child runs (as far as we know).
    bool holding() const;

private:
    Obstacle check();  // mutex_ held
    void stopChild();  // mutex_ held

    const Options options_;
    mutable std::mutex mutex_;  // guards the members below
    pid_t child_ = -1;
    int pipeWrite_ = -1;
    std::optional<Obstacle> obstacle_;  // once checked
    std::string programPath_;
};

// The system's keep-awake for the running platform; who names the program in
// the system's list of inhibitors, log receives the one line about a missing bus.
std::unique_ptr<KeepAwake> makeSystemKeepAwake(std::string who,
                                               std::function<void(const std::string&)> log);

}  // namespace zorvex
