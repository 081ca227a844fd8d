#include "platform/net_interfaces.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netpacket/packet.h>

#include <algorithm>

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

}  // namespace

std::vector<NetInterface> listNetInterfaces() {
    std::vector<NetInterface> list;
    ifaddrs* head = nullptr;
    if (::getifaddrs(&head) != 0) return list;
    for (ifaddrs* it = head; it; it = it->ifa_next) {
        if (!it->ifa_name) continue;
        NetInterface& item = entryFor(list, it->ifa_name);
        if (it->ifa_flags & IFF_LOOPBACK) item.loopback = true;
        if (!it->ifa_addr) continue;
        if (it->ifa_addr->sa_family == AF_PACKET) {
            const auto* link = reinterpret_cast<const sockaddr_ll*>(it->ifa_addr);
            std::size_t length = std::min<std::size_t>(link->sll_halen, sizeof link->sll_addr);
            item.hardwareAddress.assign(link->sll_addr, link->sll_addr + length);
        } else if (it->ifa_addr->sa_family == AF_INET) {
            const auto* in = reinterpret_cast<const sockaddr_in*>(it->ifa_addr);
            char text[INET_ADDRSTRLEN] = {};
            if (::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text)) {
                item.ipv4Addresses.emplace_back(text);
            }
        }
    }
    ::freeifaddrs(head);
    std::stable_sort(list.begin(), list.end(), [](const NetInterface& a, const NetInterface& b) {
        return a.index < b.index;
    });
    return list;
}

}  // namespace zorvex
