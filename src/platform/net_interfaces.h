#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zorvex {

// One IPv4 address of an interface, dotted text.
struct NetAddress {
    std::string address;
    std::string netmask;    // empty when the system gives none
    std::string broadcast;  // empty unless the interface can broadcast
};

// One network interface as the system lists it.
struct NetInterface {
    std::string name;
    unsigned index = 0;
    bool loopback = false;
    bool up = false;            // administratively up
    bool carrier = false;       // operationally up: a cable in, an associated radio
    bool canBroadcast = false;  // IFF_BROADCAST
    bool pointToPoint = false;  // a tunnel or VPN, which phones cannot sit on
    // Backed by a device (a card or a USB adapter), as opposed to a bridge,
    // a container's veth, a tunnel or a VPN.
    bool physical = false;
    bool defaultRoute = false;                  // holds the IPv4 default route
    std::vector<std::uint8_t> hardwareAddress;  // empty when it has none
    std::vector<NetAddress> ipv4;               // in the system's order
};

// Every interface (getifaddrs), in interface-index order; labelled aliases
// such as "eth0:1" count as their interface. Empty when the query fails.
// Callable from any thread.
std::vector<NetInterface> listNetInterfaces();

// The interface of the IPv4 default route with the lowest metric, "" for none.
std::string defaultRouteInterface();

// Whether this machine can bind the address now (any of its interfaces
// holds it, or it is in a local range such as 127.0.0.0/8).
bool isLocalAddress(const std::string& address);

}  // namespace zorvex
