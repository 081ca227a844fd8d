#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/executor.h"
#include "platform/firewall.h"
#include "platform/net_interfaces.h"
#include "platform/subscribers.h"
#include "service/service.h"

namespace zorvex {

class NetworkWatch;

// What the service offers phones now, as the windows and the console show it.
struct NetworksView {
    // The addresses a user may pin, in order: the usable adapters' (the one
    // with the default route first), or exactly the --address ones.
    std::vector<std::string> offered;
    std::string pin;  // the pinned address; "" serves every network
    // The one address shown: the pin; else the default route's adapter's,
    // else the first served; "" while nothing is served.
    std::string shown;
    std::vector<AddressStatus> served;  // what each network asked for has
    bool pinAbsent = false;  // pinned to an address this machine lacks now: nothing served
    bool portsHeld = false;  // some part cannot bind (another program): tried again
    // What the firewall lets through to each network of `served`, in its
    // order; kind None until asked, and where no firewall runs.
    std::vector<FirewallVerdict> firewall;
    // Everything asked for listens, and something is asked for.
    bool listening() const;
    // The first served network that a firewall blocks, or may block; -1 for none.
    int firewalled() const;

    bool operator==(const NetworksView&) const;
};

// Hears what the service serves, on the executor's thread, after each change.
class NetworksListener {
public:
    virtual ~NetworksListener() = default;
    virtual void onNetworksChanged(const NetworksView& view) = 0;
};

// Which networks the service serves, followed as adapters come, go and
// change their addresses; a part that cannot bind is tried again every few
// seconds. A network is usable when its adapter is up, has a carrier, can
// broadcast, is neither loopback nor point-to-point, and its address is not
// link-local (169.254/16) and has a broadcast address (wider than /31).
//
// Threads: every method but subscribe and unsubscribe may be called from
// any thread; looks at the adapters are serialised inside. Listeners hear on
// the executor's thread, with a value, after each change.
class ServedNetworks {
public:
    struct Options {
        // --address: exactly these are offered, and the first (or the pin
        // among them) is pinned for the run.
        std::vector<std::string> fixed;
        std::string pin;  // the remembered pin; "" for every network
        // Asks what the firewall lets through to an adapter; none: not asked.
        // Called on the watch's thread, never the caller's.
        std::function<FirewallVerdict(const std::string& adapter)> firewall;
    };
    // The machine's adapters; nothing when they could not be listed.
    using Adapters = std::function<std::optional<std::vector<NetInterface>>()>;

    // The service and executor outlive this. adapters: the machine's list
    // (tests give their own). A look that fails keeps what is served and is
    // tried again: only an answer without an address stops serving it.
    ServedNetworks(Service& service, Executor& executor, Options options,
                   Adapters adapters = &listNetInterfaces);
    ~ServedNetworks();  // stops watching; the service keeps what it serves
    ServedNetworks(const ServedNetworks&) = delete;
    ServedNetworks& operator=(const ServedNetworks&) = delete;

    // The first look, on the caller's thread, then the watch. Returns what
    // is served.
    NetworksView begin();
    // Looks at the adapters again and follows them; retries held ports.
    NetworksView refresh();
    // Pins the service to one address ("" serves every network again);
    // what is served follows at once. Returns the new view.
    NetworksView pin(const std::string& address);
    // Asks the firewall again soon, on the watch's thread (after the user
    // opened it). Any thread; listeners hear of what changed.
    void recheckFirewall();

    // Stops the service for good (the application quits): nothing is
    // served again, whatever the adapters do.
    void stop();

    NetworksView view() const;
    // The listener hears every change from now on, until it unsubscribes; it
    // must outlive its subscription. On the executor's thread.
    void subscribe(NetworksListener* listener) { listeners_->add(listener); }
    void unsubscribe(NetworksListener* listener) { listeners_->remove(listener); }

    // The usable networks of an adapter list, in the order they are offered.
    static std::vector<ServedAddress> usableNetworks(const std::vector<NetInterface>& adapters);

private:
    // askFirewall: on the watch's thread, where a slow bus stalls no caller.
    NetworksView lookLocked(bool askFirewall);
    std::vector<FirewallVerdict> firewallLocked(const std::vector<AddressStatus>& served,
                                                bool askFirewall);

    // constant after construction
    Service& service_;
    Executor& executor_;
    const std::vector<std::string> fixed_;
    const Adapters adapters_;
    const std::function<FirewallVerdict(const std::string&)> firewall_;

    std::mutex mutex_;  // guards the members below, and serialises looks
    std::string pin_;
    bool stopped_ = false;
    bool firewallDue_ = true;  // the firewall is to be asked at the next look on the watch
    NetworksView lastView_;
    // A copy for readers, who must not wait while sockets open and close.
    mutable std::mutex viewMutex_;
    NetworksView view_;
    // Told by the tasks posted to the executor, which tell nobody once this is gone.
    const std::shared_ptr<Subscribers<NetworksListener>> listeners_ =
        std::make_shared<Subscribers<NetworksListener>>();
    std::unique_ptr<NetworkWatch> watch_;
};

// The lines that say what changed from one view to the next, each once:
// "serving 192.168.77.1 (wlan0), broadcast 192.168.77.255", "no longer
// serving …", "waiting for a
// network", "waiting for 10.66.0.1, the address chosen", a part that
// cannot bind with "trying again every 2 s", and a firewall in the way with
// the command that lets phones through.
std::vector<std::string> networkChanges(const NetworksView& before, const NetworksView& after);
// Says each change it hears as the lines of networkChanges.
class NetworkChangeLines final : public NetworksListener {
public:
    using Say = std::function<void(const std::string& line)>;
    // first: the view the first change is told against.
    explicit NetworkChangeLines(Say say, NetworksView first = {})
        : say_(std::move(say)), last_(std::move(first)) {}
    void onNetworksChanged(const NetworksView& view) override;

private:
    const Say say_;
    NetworksView last_;
};
// Why the view does not listen whole; "" when it does.
std::string describeNetworks(const NetworksView& view);

}  // namespace zorvex
