#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/net_interfaces.h"

namespace zorvex {

// The local IPv4 addresses and one MAC text per adapter. The lists are not
// parallel: an adapter gives one MAC and zero or more addresses.
struct LocalAdapters {
    std::vector<std::string> addresses;  // dotted text
    std::vector<std::string> macs;       // "00:1A:2B:3C:4D:5E", "" without hardware address
};

// The machine's adapters (getifaddrs). Any thread.
LocalAdapters GetLocalAdapters();
// The same from a given interface list: loopback interfaces and addresses,
// and 0.0.0.0, are left out; adapters backed by a device come before virtual
// ones (bridges, container links, tunnels, VPNs), each group in interface
// order, since "the first adapter" is what the service starts on and a
// container bridge is one no phone can reach.
LocalAdapters LocalAdaptersFrom(const std::vector<NetInterface>& interfaces);

// Each byte as two upper-case hex digits, joined by ':'.
std::string MacText(const std::vector<std::uint8_t>& hardwareAddress);

// The MAC in use: set at start-up, read by the version check. Any thread.
std::string GetLocalMac();
void SetLocalMac(const std::string& mac);

// "%d.%d.%d.%s" over the kernel release's three numbers and the system name
// (uname), e.g. "6.1.0.Linux"; "0.0.0 NoVersion" when the query fails.
std::string GetSystemVersionText();
std::string SystemVersionText(std::string_view release, std::string_view systemName);

// "%d.%d.%d" of the program's version, e.g. "1.0.18" for 1.0.18.3.
std::string GetProductVersionText();
std::string ProductVersionText(std::string_view version);

}  // namespace zorvex
