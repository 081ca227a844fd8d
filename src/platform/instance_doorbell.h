#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorvex {

// How a second start of the window asks the running one to come forward: a
// local socket the window's copy listens on. The caller says "show\n"; the
// window answers "ok\n" once it has heard it, and hangs up.
//
// Where: the home folder's own name in $XDG_RUNTIME_DIR, which all of the
// user's homes share ("ZorvexVRClient-" and 12 hex digits of the MD5 of the
// home's canonical path, ".sock"; a runtime folder keeps the path short, as a
// socket's may hold at most 107 bytes), else "ZorvexVRClient.sock" in the
// home folder itself. The place taken is published in the single-instance
// lock's record, so a second start rings wherever the first listens.
//
// Only the same user's copy can ask: the socket is the user's alone (mode
// 0600) and each caller's uid is checked. The window never waits for a
// caller: callers are accepted and heard as they become readable, at most
// kMaxCallers at once (a newcomer pushes out the oldest, so a flood cannot
// use up descriptors or shut a real caller out), each for at most
// kCallerDeadline.
// Move-only; one thread (the GUI thread) calls a listening doorbell.
class InstanceDoorbell {
public:
    static constexpr const char* kFileName = "ZorvexVRClient.sock";
    static constexpr std::size_t kMaxCallers = 16;
    static constexpr std::chrono::milliseconds kCallerDeadline{500};
    // How long a second start waits for the window's answer (the first copy
    // may still be starting).
    static constexpr std::chrono::milliseconds kRingWait{5000};

    // Where the doorbell of homeDir may listen, best first (see above);
    // places too long for a socket are left out.
    static std::vector<std::string> placesFor(const std::string& homeDir);

    // For the holder of the home's lock: listens at the first of places that
    // is ours to take: nothing there, or a socket of ours nobody answers on
    // (a crash's leftover, replaced). A folder, a file, another user's socket
    // or one that answers is left alone and the next place tried. Not
    // listening() when none could be taken; problem() says why. A caller
    // that has not spoken within callerDeadline is hung up on.
    static InstanceDoorbell listen(const std::vector<std::string>& places,
                                   std::chrono::milliseconds callerDeadline = kCallerDeadline);

    enum class Rang {
        Answered,       // the window heard it and comes forward
        NobodyListens,  // nothing at path, or nobody accepts calls there
        NoAnswer,       // called, but no answer within the wait
    };
    struct RingResult {
        Rang rang = Rang::NobodyListens;
        std::string problem;  // for a person, when not Answered
    };
    // For a second start: asks whoever listens at path to come forward and
    // waits up to wait for the answer.
    static RingResult ring(const std::string& path, std::chrono::milliseconds wait = kRingWait);

    InstanceDoorbell() = default;
    ~InstanceDoorbell();  // stops listening, hangs up on callers, removes the socket
    InstanceDoorbell(InstanceDoorbell&& other) noexcept;
    InstanceDoorbell& operator=(InstanceDoorbell&& other) noexcept;
    InstanceDoorbell(const InstanceDoorbell&) = delete;
    InstanceDoorbell& operator=(const InstanceDoorbell&) = delete;

    bool listening() const { return listener_ >= 0; }
    // Where it listens; "" when not listening.
    const std::string& path() const { return path_; }
    // Why it does not listen; "" when it does.
    const std::string& problem() const { return problem_; }
    // Readable while answer() has something to do: a new caller, a caller's
    // words or hang-up, a caller's deadline passed. For the event loop's
    // notifier; -1 when not listening.
    int fd() const { return epoll_; }
    // Does what there is to do, without waiting: hears the callers that
    // wrote, accepts new ones, drops those past their deadline. True when
    // this user's copy asked the window to come forward.
    bool answer();
    // Callers held now, waiting for their words.
    std::size_t callers() const { return callers_.size(); }

private:
    struct Caller {
        int fd = -1;
        std::chrono::steady_clock::time_point deadline;
        std::string heard;
    };
    enum class Heard { Show, Waiting, Done };

    Heard hear(Caller& caller);
    void acceptCallers(bool& show);
    void hangUp(std::size_t index);
    void armTimer();
    void close();

    // Oldest first, so deadlines run in order.
    std::deque<Caller> callers_;
    int listener_ = -1;
    int epoll_ = -1;  // the listener, the callers and the timer
    int timer_ = -1;  // fires at the oldest caller's deadline, or the rest's end
    // Out of descriptors: the listener is not watched until then.
    std::optional<std::chrono::steady_clock::time_point> restUntil_;
    std::chrono::milliseconds callerDeadline_ = kCallerDeadline;
    std::string path_;
    std::string problem_;
};

}  // namespace zorvex
