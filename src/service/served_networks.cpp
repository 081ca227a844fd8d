#include "service/served_networks.h"

#include <algorithm>
#include <chrono>
#include <map>

#include "platform/network_watch.h"
#include "service/link_frame.h"

namespace zorvex {

namespace {

// Held ports are tried again, and a missed change found, this often.
constexpr std::chrono::milliseconds kHeartbeat{2000};

bool isLinkLocal(const std::string& address) {
    return address.starts_with("169.254.");
}

bool heldPart(const PartStart& part) {
    return part.cause == StartCause::PortTaken || part.cause == StartCause::Failed;
}

}  // namespace

bool NetworksView::listening() const {
    return !served.empty() && std::all_of(served.begin(), served.end(),
                                          [](const AddressStatus& item) { return item.ok(); });
}

int NetworksView::firewalled() const {
    for (std::size_t i = 0; i < firewall.size(); ++i) {
        if (firewall[i].state != FirewallState::Open) return static_cast<int>(i);
    }
    return -1;
}

bool NetworksView::operator==(const NetworksView& other) const {
    auto sameParts = [](const AddressStatus& a, const AddressStatus& b) {
        return a.where == b.where && a.link.cause == b.link.cause && a.http.cause == b.http.cause;
    };
    return offered == other.offered && pin == other.pin && shown == other.shown &&
           pinAbsent == other.pinAbsent && portsHeld == other.portsHeld &&
           firewall == other.firewall &&
           std::equal(served.begin(), served.end(), other.served.begin(), other.served.end(),
                      sameParts);
}

ServedNetworks::ServedNetworks(Service& service, Executor& executor, Options options,
                               Adapters adapters)
    : service_(service),
      executor_(executor),
      fixed_(std::move(options.fixed)),
      adapters_(std::move(adapters)),
      firewall_(std::move(options.firewall)),
      pin_(std::move(options.pin)) {
    // An address given for the run is pinned: the remembered one when it is
    // among them, else the first.
    if (!fixed_.empty() && std::find(fixed_.begin(), fixed_.end(), pin_) == fixed_.end()) {
        pin_ = fixed_.front();
    }
}

ServedNetworks::~ServedNetworks() {
    watch_.reset();
}

NetworksView ServedNetworks::begin() {
    NetworksView view;
    {
        std::lock_guard lock(mutex_);
        view = lookLocked(false);
    }
    // Looked at on the watch's own thread, so that neither a window nor the
    // console loop waits while sockets open and close, or for the firewall,
    // which is asked there at once.
    auto watch = std::make_unique<NetworkWatch>([this] { refresh(); }, kHeartbeat);
    std::lock_guard lock(mutex_);
    watch_ = std::move(watch);
    if (firewall_) watch_->poke();
    return view;
}

NetworksView ServedNetworks::refresh() {
    std::lock_guard lock(mutex_);
    return lookLocked(true);
}

NetworksView ServedNetworks::pin(const std::string& address) {
    std::lock_guard lock(mutex_);
    pin_ = address;
    NetworksView view = lookLocked(false);
    if (firewallDue_ && watch_) watch_->poke();
    return view;
}

void ServedNetworks::recheckFirewall() {
    std::lock_guard lock(mutex_);
    firewallDue_ = true;
    if (watch_) watch_->poke();
}

void ServedNetworks::stop() {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    service_.stop();
}

NetworksView ServedNetworks::view() const {
    std::lock_guard lock(viewMutex_);
    return view_;
}

std::vector<ServedAddress> ServedNetworks::usableNetworks(
    const std::vector<NetInterface>& adapters) {
    std::vector<const NetInterface*> order;
    for (const NetInterface& item : adapters) {
        if (item.up && item.carrier && item.canBroadcast && !item.loopback && !item.pointToPoint)
            order.push_back(&item);
    }
    // The default route's adapter first, then devices before bridges,
    // containers and tunnels, each group in interface order.
    std::stable_sort(order.begin(), order.end(), [](const NetInterface* a, const NetInterface* b) {
        if (a->defaultRoute != b->defaultRoute) return a->defaultRoute;
        return a->physical && !b->physical;
    });
    std::vector<ServedAddress> usable;
    for (const NetInterface* item : order) {
        for (const NetAddress& ip : item->ipv4) {
            // Without a broadcast address (a /31 or /32) no phone would hear of it.
            if (ip.address == "0.0.0.0" || isLinkLocal(ip.address) || ip.broadcast.empty())
                continue;
            usable.push_back({ip.address, ip.broadcast, item->name});
        }
    }
    return usable;
}

NetworksView ServedNetworks::lookLocked(bool askFirewall) {
    if (stopped_) return lastView_;
    // Out of descriptors the system cannot list the adapters: that is no
    // news of the networks, so what is served stays until an answer comes.
    const std::optional<std::vector<NetInterface>> adapters = adapters_();
    if (!adapters) return lastView_;
    NetworksView view;
    std::vector<ServedAddress> every;
    if (fixed_.empty()) {
        every = usableNetworks(*adapters);
        for (const ServedAddress& network : every) view.offered.push_back(network.address);
    } else {
        view.offered = fixed_;
        for (const std::string& address : fixed_) {
            ServedAddress network = servedAddressFor(address, *adapters);
            if (!network.adapter.empty()) {
                every.push_back(network);
                continue;
            }
            // Loopback's range is local without being listed address by address.
            std::optional<bool> local = isLocalAddress(address);
            if (!local) return lastView_;
            if (*local) every.push_back(network);
        }
    }

    std::vector<ServedAddress> wanted;
    if (pin_.empty()) {
        wanted = every;
    } else {
        view.pin = pin_;
        auto found = std::find_if(every.begin(), every.end(), [&](const ServedAddress& network) {
            return network.address == pin_;
        });
        if (found != every.end()) wanted.push_back(*found);
        view.pinAbsent = wanted.empty();
    }

    std::vector<AddressStatus> now = service_.networks();
    bool same =
        std::equal(now.begin(), now.end(), wanted.begin(), wanted.end(),
                   [](const AddressStatus& a, const ServedAddress& b) { return a.where == b; });
    bool whole = std::all_of(now.begin(), now.end(),
                             [](const AddressStatus& network) { return network.ok(); });
    if (!same || !whole) now = service_.serve(wanted);

    view.served = now;
    view.firewall = firewallLocked(now, askFirewall);
    view.shown = !view.pin.empty() ? view.pin : wanted.empty() ? std::string() : wanted[0].address;
    view.portsHeld = std::any_of(now.begin(), now.end(), [](const AddressStatus& network) {
        return heldPart(network.link) || heldPart(network.http);
    });
    if (!(view == lastView_)) {
        lastView_ = view;
        {
            std::lock_guard lock(viewMutex_);
            view_ = view;
        }
        executor_.post([weak = std::weak_ptr(listeners_), view] {
            if (auto listeners = weak.lock())
                listeners->tell([&](NetworksListener& l) { l.onNetworksChanged(view); });
        });
    }
    return view;
}

std::vector<FirewallVerdict> ServedNetworks::firewallLocked(
    const std::vector<AddressStatus>& served, bool askFirewall) {
    std::vector<FirewallVerdict> verdicts(served.size());
    if (!firewall_) return verdicts;
    // What is known of networks that stay holds until the firewall is asked.
    bool blocked = false;
    for (std::size_t i = 0; i < served.size(); ++i) {
        const auto& before = lastView_.served;
        auto old = std::find_if(before.begin(), before.end(), [&](const AddressStatus& item) {
            return item.where == served[i].where;
        });
        auto index = static_cast<std::size_t>(old - before.begin());
        if (old == before.end() || index >= lastView_.firewall.size()) {
            firewallDue_ = true;
            continue;
        }
        verdicts[i] = lastView_.firewall[index];
        blocked = blocked || verdicts[i].state != FirewallState::Open;
    }
    // A firewall in the way is asked at every beat, so that a user who opens
    // it by hand sees the warning go.
    if (!askFirewall || (!firewallDue_ && !blocked)) return verdicts;
    firewallDue_ = false;
    std::map<std::string, FirewallVerdict> byAdapter;
    for (std::size_t i = 0; i < served.size(); ++i) {
        const std::string& adapter = served[i].where.adapter;
        // An address given by hand on no adapter (loopback) has no zone.
        if (adapter.empty()) continue;
        auto known = byAdapter.find(adapter);
        if (known == byAdapter.end()) known = byAdapter.emplace(adapter, firewall_(adapter)).first;
        verdicts[i] = known->second;
    }
    return verdicts;
}

namespace {

std::string named(const ServedAddress& where) {
    return where.adapter.empty() ? where.address : where.address + " (" + where.adapter + ")";
}

std::string whyNot(const AddressStatus& network) {
    StartResult result;
    result.address = network.where.address;
    result.link = network.link;
    result.http = network.http;
    return result.describe();
}

const AddressStatus* find(const std::vector<AddressStatus>& list, const ServedAddress& where) {
    for (const AddressStatus& item : list) {
        if (item.where.address == where.address) return &item;
    }
    return nullptr;
}

std::string firewallLine(const FirewallVerdict& verdict, const std::string& where) {
    std::string line = "firewall: ";
    if (verdict.kind == FirewallKind::Firewalld && !verdict.zone.empty()) {
        line += "firewalld's zone " + verdict.zone +
                (verdict.state == FirewallState::Blocked ? " blocks" : " may block") +
                " phones on " + where;
    } else {
        line += std::string(verdict.kind == FirewallKind::Ufw ? "ufw" : "firewalld") +
                (verdict.state == FirewallState::Blocked ? " blocks" : " is on and may block") +
                " phones on " + where;
    }
    if (!verdict.fixCommand.empty()) line += "; to let them in: " + verdict.fixCommand;
    return line;
}

std::string waiting(const NetworksView& view) {
    if (view.pinAbsent) return "waiting for " + view.pin + ", the address chosen";
    if (view.served.empty()) return "waiting for a network";
    return {};
}

}  // namespace

std::vector<std::string> networkChanges(const NetworksView& before, const NetworksView& after) {
    std::vector<std::string> lines;
    for (const AddressStatus& old : before.served) {
        const AddressStatus* now = find(after.served, old.where);
        if (old.ok() && (!now || !now->ok()))
            lines.push_back("no longer serving " + named(old.where));
    }
    for (const AddressStatus& now : after.served) {
        const AddressStatus* old = find(before.served, now.where);
        if (now.ok()) {
            if (!old || !old->ok()) {
                const std::string& to = now.where.broadcast;
                lines.push_back("serving " + named(now.where) + ", broadcast " +
                                (to.empty() ? wire::broadcastAddressFor(now.where.address) : to));
            }
        } else if (!old || whyNot(*old) != whyNot(now)) {
            std::string line = "not serving " + named(now.where) + ": " + whyNot(now);
            if (heldPart(now.link) || heldPart(now.http)) {
                line += "; trying again every " + std::to_string(kHeartbeat.count() / 1000) + " s";
            }
            lines.push_back(line);
        }
    }
    if (std::string line = waiting(after); !line.empty() && line != waiting(before))
        lines.push_back(line);
    for (std::size_t i = 0; i < after.served.size() && i < after.firewall.size(); ++i) {
        const ServedAddress& where = after.served[i].where;
        const FirewallVerdict& now = after.firewall[i];
        const FirewallVerdict* old = nullptr;
        for (std::size_t j = 0; j < before.served.size() && j < before.firewall.size(); ++j) {
            if (before.served[j].where.address == where.address) old = &before.firewall[j];
        }
        const bool wasOpen = !old || old->state == FirewallState::Open;
        if (now.state == FirewallState::Open) {
            if (!wasOpen)
                lines.push_back("firewall: phones may connect to " + named(where) + " now");
        } else if (wasOpen || !(*old == now)) {
            lines.push_back(firewallLine(now, named(where)));
        }
    }
    return lines;
}

void NetworkChangeLines::onNetworksChanged(const NetworksView& view) {
    for (const std::string& line : networkChanges(last_, view)) say_(line);
    last_ = view;
}

std::string describeNetworks(const NetworksView& view) {
    if (std::string line = waiting(view); !line.empty()) return line;
    std::string text;
    for (const AddressStatus& network : view.served) {
        if (network.ok()) continue;
        if (!text.empty()) text += "; ";
        text += whyNot(network);
    }
    return text;
}

}  // namespace zorvex
