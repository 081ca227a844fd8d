#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zorvex {

// Which firewall stands between the phones and our TCP ports 11717 (HTTP) and
// 11718 (lists). The UDP broadcast goes out and needs no opening.
enum class FirewallKind { None, Firewalld, Ufw };

enum class FirewallState {
    Open,     // phones reach both ports, or no firewall runs
    Blocked,  // the firewall's rules, as read, shut at least one port
    // A firewall runs whose rules we cannot read: ufw's are root's, and
    // firewalld's "server" polkit policy wants a password to show a zone.
    MayBlock,
};

struct FirewallVerdict {
    FirewallKind kind = FirewallKind::None;
    FirewallState state = FirewallState::Open;
    std::string zone;        // firewalld's zone of the adapter; "" for the others
    std::string fixCommand;  // what to type in a terminal to open it; "" when Open

    bool operator==(const FirewallVerdict&) const = default;
};

// Tells whether the local firewall lets phones on one adapter reach us.
// firewalld is asked over the system bus (read-only, never started by the
// asking, at most a second per call, so a hung bus costs seconds, not the
// caller); without it, ufw's configuration is read. Constant after
// construction: look() may run on any thread, several at once. Nothing is
// kept open between looks.
class FirewallProbe {
public:
    struct Options {
        std::string busAddress;  // "" = the system bus (DBUS_SYSTEM_BUS_ADDRESS or its socket)
        std::string ufwConf = "/etc/ufw/ufw.conf";
        std::string ufwRules = "/etc/ufw/user.rules";  // root's alone on most systems
        // The user let us through ufw once (runFirewallFix said Opened); the
        // caller remembers it, since ufw's rules are not ours to read.
        bool ufwAllowed = false;
    };

    explicit FirewallProbe(Options options);

    // Blocks for a few milliseconds, or up to a few seconds on a hung bus.
    FirewallVerdict look(const std::string& adapter) const;

private:
    const Options options_;
};

// firewalld's own limit on zone names, and all the helper accepts: 1-17 of
// [A-Za-z0-9_-], not starting with '-'.
inline bool firewallZoneNameValid(std::string_view zone) {
    if (zone.empty() || zone.size() > 17 || zone.front() == '-') return false;
    for (char c : zone) {
        bool letterOrDigit =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!letterOrDigit && c != '_' && c != '-') return false;
    }
    return true;
}

// The command that opens the firewall with the user's consent: pkexec asks
// for an administrator and runs our installed helper, e.g. {"pkexec",
// "/usr/libexec/zorvex/zorvex-firewall", "firewalld", "home"}. Empty when the
// verdict is Open or names a zone the helper would refuse.
std::vector<std::string> firewallFixArguments(const FirewallVerdict& verdict);

struct FirewallFixResult {
    enum class Outcome {
        Opened,         // every step of the helper succeeded
        Dismissed,      // the user closed the password dialog
        NotAuthorized,  // polkit said no, or the password was wrong
        Failed,         // the helper or its tool failed; see output
        CannotStart,    // no pkexec, or nothing to fix
    };
    Outcome outcome = Outcome::CannotStart;
    std::string output;  // the helper's and its tool's words, for the log
};

// Runs firewallFixArguments(verdict) and waits for its end, the user's answer
// included: call it on a worker thread that lives until it returns.
FirewallFixResult runFirewallFix(const FirewallVerdict& verdict);

}  // namespace zorvex
