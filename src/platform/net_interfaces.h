#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zorvex {

// One network interface as the system lists it.
struct NetInterface {
    std::string name;
    unsigned index = 0;
    bool loopback = false;
    // Backed by a device (a card or a USB adapter), as opposed to a bridge,
    // a container's veth, a tunnel or a VPN.
    bool physical = false;
    std::vector<std::uint8_t> hardwareAddress;  // empty when it has none
    std::vector<std::string> ipv4Addresses;     // dotted text, in the system's order
};

// Every interface (getifaddrs), in interface-index order; labelled aliases
// such as "eth0:1" count as their interface. Empty when the query fails.
// Callable from any thread.
std::vector<NetInterface> listNetInterfaces();

}  // namespace zorvex
