#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zorvex {

// One IPv4 address of an interface, dotted text.
struct NetAddress {
    std::string address;
    std::string netmask;  // empty when the system gives none
    // Where a packet for the whole network goes: empty unless the interface
    // can broadcast and the network is wider than /31.
    std::string broadcast;
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
// such as "eth0:1" count as their interface. Nothing when the system could
// not be asked (out of descriptors or memory), which says nothing about the
// networks. Callable from any thread.
std::optional<std::vector<NetInterface>> listNetInterfaces();

// The broadcast address of a network: the one the system gives, unless it
// gives none, 0.0.0.0 or the address itself (an address set without one),
// then the address with its host bits set. Empty for a /31 or /32, which has
// no broadcast, and for text that is not an address.
std::string directedBroadcast(const std::string& address, const std::string& netmask,
                              const std::string& given);

// The interface of the IPv4 default route with the lowest metric, "" for none.
std::string defaultRouteInterface();

// Whether this machine can bind the address now (any of its interfaces
// holds it, or it is in a local range such as 127.0.0.0/8); nothing when
// it could not try (no descriptor to spare).
std::optional<bool> isLocalAddress(const std::string& address);

}  // namespace zorvex
