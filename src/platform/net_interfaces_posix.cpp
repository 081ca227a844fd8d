#include "platform/net_interfaces.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netpacket/packet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <limits>
#include <sstream>

#include "platform/file_util.h"

namespace zorvex {

namespace {

NetInterface& entryFor(std::vector<NetInterface>& list, const char* rawName) {
    std::string name = rawName;
    if (auto colon = name.find(':'); colon != std::string::npos) name.resize(colon);
    for (auto& item : list) {
        if (item.name == name) return item;
    }
    NetInterface& item = list.emplace_back();
    item.name = name;
    item.index = ::if_nametoindex(name.c_str());
    // Devices have a bus behind them; virtual interfaces live under /sys/devices/virtual.
    item.physical = isDirectory("/sys/class/net/" + name + "/device");
    return item;
}

std::string dotted4(const in_addr& address) {
    char text[INET_ADDRSTRLEN] = {};
    if (!::inet_ntop(AF_INET, &address, text, sizeof text)) return {};
    return text;
}

std::string dotted(const sockaddr* address) {
    if (!address || address->sa_family != AF_INET) return {};
    return dotted4(reinterpret_cast<const sockaddr_in*>(address)->sin_addr);
}

bool parseAddress(const std::string& text, in_addr& out) {
    return ::inet_pton(AF_INET, text.c_str(), &out) == 1;
}

}  // namespace

std::optional<std::vector<NetInterface>> listNetInterfaces() {
    std::vector<NetInterface> list;
    ifaddrs* head = nullptr;
    if (::getifaddrs(&head) != 0) return std::nullopt;
    for (ifaddrs* it = head; it; it = it->ifa_next) {
        if (!it->ifa_name) continue;
        NetInterface& item = entryFor(list, it->ifa_name);
        item.loopback = item.loopback || (it->ifa_flags & IFF_LOOPBACK) != 0;
        item.up = (it->ifa_flags & IFF_UP) != 0;
        item.carrier = (it->ifa_flags & IFF_RUNNING) != 0;
        item.canBroadcast = (it->ifa_flags & IFF_BROADCAST) != 0;
        item.pointToPoint = (it->ifa_flags & IFF_POINTOPOINT) != 0;
        if (!it->ifa_addr) continue;
        if (it->ifa_addr->sa_family == AF_PACKET) {
            const auto* link = reinterpret_cast<const sockaddr_ll*>(it->ifa_addr);
            std::size_t length = std::min<std::size_t>(link->sll_halen, sizeof link->sll_addr);
            item.hardwareAddress.assign(link->sll_addr, link->sll_addr + length);
        } else if (it->ifa_addr->sa_family == AF_INET) {
            NetAddress address;
            address.address = dotted(it->ifa_addr);
            if (address.address.empty()) continue;
            address.netmask = dotted(it->ifa_netmask);
            // ifa_broadaddr shares its slot with the point-to-point peer.
            if (it->ifa_flags & IFF_BROADCAST) {
                address.broadcast =
                    directedBroadcast(address.address, address.netmask, dotted(it->ifa_broadaddr));
            }
            item.ipv4.push_back(std::move(address));
        }
    }
    ::freeifaddrs(head);
    std::stable_sort(list.begin(), list.end(), [](const NetInterface& a, const NetInterface& b) {
        return a.index < b.index;
    });
    std::string routed = defaultRouteInterface();
    for (auto& item : list) item.defaultRoute = !routed.empty() && item.name == routed;
    return list;
}

std::string directedBroadcast(const std::string& address, const std::string& netmask,
                              const std::string& given) {
    in_addr host{}, mask{};
    if (!parseAddress(address, host) || !parseAddress(netmask, mask)) return {};
    std::uint32_t bits = ntohl(mask.s_addr);
    // Only a contiguous mask of /30 or wider leaves a broadcast: a /31 holds
    // two hosts and a /32 one.
    if ((bits & (~bits >> 1)) != 0 || (~bits & 0x3u) != 0x3u) return {};
    // glibc puts the address itself there when none was set (ip addr add
    // without brd), and sending to it reaches nobody.
    if (!given.empty() && given != "0.0.0.0" && given != address) return given;
    in_addr broadcast{};
    broadcast.s_addr = htonl(ntohl(host.s_addr) | ~bits);
    return dotted4(broadcast);
}

std::string defaultRouteInterface() {
    // Each namespace sees its own table here; no netlink dump needed.
    std::ifstream routes("/proc/net/route");
    std::string line;
    std::getline(routes, line);  // the column names
    std::string best;
    unsigned long bestMetric = std::numeric_limits<unsigned long>::max();
    while (std::getline(routes, line)) {
        std::istringstream fields(line);
        std::string name, destination, gateway, mask;
        unsigned long flags = 0, refs = 0, use = 0, metric = 0;
        fields >> name >> destination >> gateway >> std::hex >> flags >> std::dec >> refs >> use >>
            metric >> mask;
        if (!fields || destination != "00000000" || mask != "00000000") continue;
        if ((flags & 0x1) == 0) continue;  // RTF_UP
        if (metric < bestMetric) {
            bestMetric = metric;
            best = name;
        }
    }
    return best;
}

std::optional<bool> isLocalAddress(const std::string& address) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    if (!parseAddress(address, local.sin_addr)) return false;
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return std::nullopt;
    bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
    ::close(fd);
    return bound;
}

}  // namespace zorvex
