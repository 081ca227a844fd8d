#pragma once

#include <string>

namespace zorvex {

// Why a part of the LAN service does not run after a start.
enum class StartCause {
    None,  // it runs
    // Refusals: nothing was tried and nothing changed.
    BadAddress,      // not four dotted numbers of 0 to 255
    SameAddress,     // setAddress: the service already runs there, whole
    NoAddress,       // start before any address was set
    AlreadyRunning,  // start while the parts run
    // A part that could not open its sockets.
    NotLocal,   // no interface of this machine has the address
    PortTaken,  // another program holds the port on the address
    Stopped,    // not opened yet, or stopped by the owner
    Failed,     // any other error; PartStart::error says which
};

// One part: the link (the discovery broadcast and the listener on port
// 11718) or HTTP (port 11717).
struct PartStart {
    StartCause cause = StartCause::None;
    int error = 0;  // errno of the failing call, 0 when none
    bool running() const { return cause == StartCause::None; }
    explicit operator bool() const { return running(); }
};

// What Service::setAddress and Service::start did: each part either runs,
// bound on the address, or says why not.
struct StartResult {
    std::string address;
    PartStart link;
    PartStart http;

    bool ok() const { return link.running() && http.running(); }
    explicit operator bool() const { return ok(); }
    bool anyRunning() const { return link.running() || http.running(); }
    bool refused() const;
    // One line naming each part that does not run and why, and what does
    // run beside it; empty when everything runs.
    std::string describe() const;

    static StartResult refusal(StartCause cause, std::string address);
};

// The cause for a failed bind (or socket call) with this errno.
PartStart partFailure(int error);

}  // namespace zorvex
