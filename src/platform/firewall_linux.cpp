#include "platform/firewall.h"

#include <systemd/sd-bus.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <utility>

#include "platform/file_util.h"
#include "platform/subprocess.h"

#ifndef ZORVEX_FIREWALL_HELPER
#error "ZORVEX_FIREWALL_HELPER names the installed zorvex-firewall"
#endif

namespace zorvex {

namespace {

constexpr int kPorts[] = {11717, 11718};
constexpr const char* kFirewalld = "org.fedoraproject.FirewallD1";
constexpr const char* kFirewalldPath = "/org/fedoraproject/FirewallD1";
constexpr const char* kFirewalldZone = "org.fedoraproject.FirewallD1.zone";
constexpr std::chrono::milliseconds kCallBound{1000};

struct MessageRef {
    sd_bus_message* message = nullptr;
    MessageRef() = default;
    MessageRef(const MessageRef&) = delete;
    MessageRef& operator=(const MessageRef&) = delete;
    MessageRef(MessageRef&& other) noexcept : message(std::exchange(other.message, nullptr)) {}
    ~MessageRef() { sd_bus_message_unref(message); }
    explicit operator bool() const { return message != nullptr; }
};

// One connection for one look, closed with it.
class Bus {
public:
    explicit Bus(const std::string& address) {
        int r;
        if (address.empty()) {
            r = sd_bus_open_system(&bus_);
        } else {
            r = sd_bus_new(&bus_);
            if (r >= 0) r = sd_bus_set_address(bus_, address.c_str());
            if (r >= 0) r = sd_bus_set_bus_client(bus_, 1);
            if (r >= 0) r = sd_bus_start(bus_);
        }
        if (r < 0) bus_ = sd_bus_close_unref(bus_);
    }
    // Not sd_bus_flush_close_unref: its flush waits for a stalled handshake
    // without a bound, and read-only calls leave nothing worth flushing.
    ~Bus() { sd_bus_close_unref(bus_); }
    Bus(const Bus&) = delete;
    Bus& operator=(const Bus&) = delete;

    explicit operator bool() const { return bus_ != nullptr; }

    // The successful reply of a method call with at most one string argument,
    // waited for within kCallBound; empty on an error, a timeout or a broken
    // bus. sd_bus_call is not used: it waits for the connection's handshake
    // without a bound, and a stopped bus daemon never finishes it.
    MessageRef call(const char* destination, const char* path, const char* interface,
                    const char* member, const char* argument) {
        MessageRef request;
        if (sd_bus_message_new_method_call(bus_, &request.message, destination, path, interface,
                                           member) < 0)
            return {};
        if (argument && sd_bus_message_append(request.message, "s", argument) < 0) return {};
        // Asking must not start a firewalld that is installed but not running.
        sd_bus_message_set_auto_start(request.message, 0);

        struct Pending {
            MessageRef reply;
            bool done = false;
        } pending;
        auto answered = [](sd_bus_message* reply, void* data, sd_bus_error*) -> int {
            auto* p = static_cast<Pending*>(data);
            p->reply.message = sd_bus_message_ref(reply);
            p->done = true;
            return 0;
        };
        sd_bus_slot* slot = nullptr;
        const auto bound = std::chrono::duration_cast<std::chrono::microseconds>(kCallBound);
        if (sd_bus_call_async(bus_, &slot, request.message, answered, &pending,
                              static_cast<std::uint64_t>(bound.count())) < 0)
            return {};
        const auto deadline = std::chrono::steady_clock::now() + bound;
        while (!pending.done) {
            int r = sd_bus_process(bus_, nullptr);
            if (r < 0) break;
            if (r > 0) continue;
            auto left = std::chrono::duration_cast<std::chrono::microseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            if (sd_bus_wait(bus_, static_cast<std::uint64_t>(left.count())) < 0) break;
        }
        sd_bus_slot_unref(slot);  // forgets a call still unanswered
        if (!pending.done || sd_bus_message_is_method_error(pending.reply.message, nullptr))
            return {};
        return std::move(pending.reply);
    }

private:
    sd_bus* bus_ = nullptr;
};

std::optional<std::string> readString(const MessageRef& reply) {
    const char* text = nullptr;
    if (!reply || sd_bus_message_read(reply.message, "s", &text) < 0) return std::nullopt;
    return std::string(text);
}

// True when a port entry covers the port: "11717", or a range such as
// firewalld's "11700-11799" or ufw's "11700:11799".
bool portCovers(std::string_view entry, int port, char rangeMark) {
    auto number = [](std::string_view text) {
        int value = 0;
        if (text.empty() || text.size() > 5) return -1;
        for (char c : text) {
            if (c < '0' || c > '9') return -1;
            value = value * 10 + (c - '0');
        }
        return value;
    };
    auto mark = entry.find(rangeMark);
    int low = number(entry.substr(0, mark));
    int high = mark == std::string_view::npos ? low : number(entry.substr(mark + 1));
    return low >= 0 && low <= port && port <= high;
}

struct ZoneSettings {
    std::string target;
    std::vector<std::string> services;
    std::vector<std::pair<std::string, std::string>> ports;  // (port, protocol)
};

// Reads the a{sv} of getZoneSettings2, keeping the three keys we judge by.
// A key whose value has another type than documented is skipped.
std::optional<ZoneSettings> readZoneSettings(const MessageRef& reply) {
    if (!reply) return std::nullopt;
    sd_bus_message* m = reply.message;
    ZoneSettings settings;
    if (sd_bus_message_enter_container(m, 'a', "{sv}") <= 0) return std::nullopt;
    while (sd_bus_message_enter_container(m, 'e', "sv") > 0) {
        const char* key = nullptr;
        const char* contents = nullptr;
        if (sd_bus_message_read(m, "s", &key) < 0 ||
            sd_bus_message_peek_type(m, nullptr, &contents) < 0)
            return std::nullopt;
        std::string_view name = key, type = contents ? contents : "";
        bool wanted = (name == "target" && type == "s") || (name == "services" && type == "as") ||
                      (name == "ports" && type == "a(ss)");
        if (!wanted) {
            if (sd_bus_message_skip(m, "v") < 0) return std::nullopt;
        } else {
            if (sd_bus_message_enter_container(m, 'v', contents) < 0) return std::nullopt;
            const char* a = nullptr;
            const char* b = nullptr;
            if (name == "target") {
                if (sd_bus_message_read(m, "s", &a) < 0) return std::nullopt;
                settings.target = a;
            } else if (name == "services") {
                if (sd_bus_message_enter_container(m, 'a', "s") < 0) return std::nullopt;
                while (sd_bus_message_read(m, "s", &a) > 0) settings.services.emplace_back(a);
                if (sd_bus_message_exit_container(m) < 0) return std::nullopt;
            } else {
                if (sd_bus_message_enter_container(m, 'a', "(ss)") < 0) return std::nullopt;
                while (sd_bus_message_read(m, "(ss)", &a, &b) > 0)
                    settings.ports.emplace_back(a, b);
                if (sd_bus_message_exit_container(m) < 0) return std::nullopt;
            }
            if (sd_bus_message_exit_container(m) < 0) return std::nullopt;
        }
        if (sd_bus_message_exit_container(m) < 0) return std::nullopt;
    }
    return settings;
}

bool zoneLetsPhonesIn(const ZoneSettings& zone) {
    if (zone.target == "ACCEPT") return true;
    for (const auto& service : zone.services)
        if (service == "zorvex") return true;
    for (int port : kPorts) {
        bool covered = false;
        for (const auto& [entry, protocol] : zone.ports)
            covered = covered || (protocol == "tcp" && portCovers(entry, port, '-'));
        if (!covered) return false;
    }
    return true;
}

std::string firewalldFix(const std::string& zone) {
    if (!zone.empty() && !firewallZoneNameValid(zone)) return {};
    std::string where = zone.empty() ? "" : " --zone=" + zone;
    return "sudo firewall-cmd --permanent" + where +
           " --add-service=zorvex && sudo firewall-cmd --reload";
}

// nullopt when firewalld does not run (or no bus answers).
std::optional<FirewallVerdict> askFirewalld(const std::string& busAddress,
                                            const std::string& adapter) {
    Bus bus(busAddress);
    if (!bus) return std::nullopt;
    MessageRef owned = bus.call("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                "org.freedesktop.DBus", "NameHasOwner", kFirewalld);
    int running = 0;
    if (!owned || sd_bus_message_read(owned.message, "b", &running) < 0 || !running)
        return std::nullopt;

    FirewallVerdict verdict;
    verdict.kind = FirewallKind::Firewalld;
    verdict.state = FirewallState::MayBlock;  // until its zone has been read
    auto zone = readString(bus.call(kFirewalld, kFirewalldPath, kFirewalldZone,
                                    "getZoneOfInterface", adapter.c_str()));
    if (zone && zone->empty()) {
        zone =
            readString(bus.call(kFirewalld, kFirewalldPath, kFirewalld, "getDefaultZone", nullptr));
    }
    if (zone) {
        verdict.zone = *zone;
        auto settings = readZoneSettings(bus.call(kFirewalld, kFirewalldPath, kFirewalldZone,
                                                  "getZoneSettings2", zone->c_str()));
        if (settings) {
            verdict.state =
                zoneLetsPhonesIn(*settings) ? FirewallState::Open : FirewallState::Blocked;
        }
    }
    if (verdict.state != FirewallState::Open) verdict.fixCommand = firewalldFix(verdict.zone);
    return verdict;
}

std::string_view trimmed(std::string_view text) {
    constexpr std::string_view kSpace = " \t\r";
    auto first = text.find_first_not_of(kSpace);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(kSpace) - first + 1);
}

template <typename Each>
void forEachLine(std::string_view text, Each each) {
    while (!text.empty()) {
        auto end = text.find('\n');
        each(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
}

bool ufwEnabled(const std::string& conf) {
    auto text = readFileHead(conf, 65536);
    bool enabled = false;
    if (!text) return false;
    forEachLine(*text, [&](std::string_view line) {
        line = trimmed(line);
        if (!line.starts_with("ENABLED=")) return;
        std::string_view value = trimmed(line.substr(8));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        enabled = value == "yes";
    });
    return enabled;
}

// Whether ufw's rules let phones reach both ports, from its "### tuple ###"
// lines: action proto dport dst sport src [dapp sapp] direction[_adapter].
// As in ufw, the first rule that matches a port decides it.
bool ufwRulesAllow(std::string_view rules, const std::string& adapter) {
    std::optional<bool> open[std::size(kPorts)];
    forEachLine(rules, [&](std::string_view line) {
        constexpr std::string_view kTuple = "### tuple ###";
        if (!line.starts_with(kTuple)) return;
        std::vector<std::string_view> fields;
        std::string_view rest = line.substr(kTuple.size());
        while (!(rest = trimmed(rest)).empty()) {
            auto space = rest.find(' ');
            fields.push_back(rest.substr(0, space));
            rest.remove_prefix(space == std::string_view::npos ? rest.size() : space);
        }
        if (!fields.empty() && fields.back().starts_with("comment=")) fields.pop_back();
        if (fields.size() != 7 && fields.size() != 9) return;
        std::string_view action = fields[0], protocol = fields[1], ports = fields[2];
        std::string_view direction = fields.back();
        if (protocol != "tcp" && protocol != "any") return;
        if (direction != "in" && direction != "in_" + adapter) return;  // also routed ones
        // "allow", "limit" (still lets phones in), and either with "_log".
        bool allows = action.starts_with("allow") || action.starts_with("limit");
        bool ours = ports == "any" || (fields.size() == 9 && fields[6] == "zorvex");
        for (std::size_t i = 0; i < std::size(kPorts); ++i) {
            bool matches = ours;
            for (std::string_view list = ports; !list.empty() && !matches;) {
                auto comma = list.find(',');
                matches = portCovers(list.substr(0, comma), kPorts[i], ':');
                list.remove_prefix(comma == std::string_view::npos ? list.size() : comma + 1);
            }
            if (matches && !open[i]) open[i] = allows;
        }
    });
    for (const auto& decided : open)
        if (!decided.value_or(false)) return false;
    return true;
}

}  // namespace

FirewallProbe::FirewallProbe(Options options) : options_(std::move(options)) {}

FirewallVerdict FirewallProbe::look(const std::string& adapter) const {
    if (auto verdict = askFirewalld(options_.busAddress, adapter)) return *verdict;
    FirewallVerdict verdict;
    if (!ufwEnabled(options_.ufwConf)) return verdict;
    verdict.kind = FirewallKind::Ufw;
    if (auto rules = readWholeFile(options_.ufwRules)) {
        verdict.state =
            ufwRulesAllow(*rules, adapter) ? FirewallState::Open : FirewallState::Blocked;
    } else {
        verdict.state = options_.ufwAllowed ? FirewallState::Open : FirewallState::MayBlock;
    }
    if (verdict.state != FirewallState::Open) verdict.fixCommand = "sudo ufw allow zorvex";
    return verdict;
}

std::vector<std::string> firewallFixArguments(const FirewallVerdict& verdict) {
    if (verdict.state == FirewallState::Open) return {};
    switch (verdict.kind) {
        case FirewallKind::None:
            return {};
        case FirewallKind::Firewalld:
            if (!firewallZoneNameValid(verdict.zone)) return {};
            return {"pkexec", ZORVEX_FIREWALL_HELPER, "firewalld", verdict.zone};
        case FirewallKind::Ufw:
            return {"pkexec", ZORVEX_FIREWALL_HELPER, "ufw"};
    }
    return {};
}

FirewallFixResult runFirewallFix(const FirewallVerdict& verdict) {
    using Outcome = FirewallFixResult::Outcome;
    FirewallFixResult result;
    auto arguments = firewallFixArguments(verdict);
    if (arguments.empty()) return result;
    auto ran = runToEnd(arguments);
    if (!ran) return result;
    result.output = std::move(ran->output);
    switch (ran->exitCode) {
        case 0:
            result.outcome = Outcome::Opened;
            break;
        case 126:  // pkexec's codes for a dismissed dialog and a refusal
            result.outcome = Outcome::Dismissed;
            break;
        case 127:
            result.outcome = Outcome::NotAuthorized;
            break;
        default:
            result.outcome = Outcome::Failed;
    }
    return result;
}

}  // namespace zorvex
