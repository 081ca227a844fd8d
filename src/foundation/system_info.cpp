#include "foundation/system_info.h"

#include <sys/utsname.h>

#include <array>
#include <cctype>
#include <cstdio>
#include <mutex>

namespace zorvex {

namespace {

std::mutex g_localMutex;  // guards the value below
std::string g_localMac;

bool isLoopbackAddress(const std::string& address) {
    return address.starts_with("127.");
}

// Up to three leading numbers separated by '.', missing ones 0.
std::array<unsigned long, 3> leadingNumbers(std::string_view text) {
    std::array<unsigned long, 3> numbers{};
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        if (text.empty() || !std::isdigit(static_cast<unsigned char>(text.front()))) break;
        unsigned long value = 0;
        while (!text.empty() && std::isdigit(static_cast<unsigned char>(text.front()))) {
            value = value * 10 + static_cast<unsigned long>(text.front() - '0');
            text.remove_prefix(1);
        }
        numbers[i] = value;
        if (text.empty() || text.front() != '.') break;
        text.remove_prefix(1);
    }
    return numbers;
}

}  // namespace

LocalAdapters GetLocalAdapters() {
    return LocalAdaptersFrom(listNetInterfaces().value_or(std::vector<NetInterface>{}));
}

LocalAdapters LocalAdaptersFrom(const std::vector<NetInterface>& interfaces) {
    LocalAdapters adapters;
    for (bool physical : {true, false}) {
        for (const auto& item : interfaces) {
            if (item.loopback || item.physical != physical) continue;
            adapters.macs.push_back(MacText(item.hardwareAddress));
            for (const auto& ip : item.ipv4) {
                if (ip.address != "0.0.0.0" && !isLoopbackAddress(ip.address)) {
                    adapters.addresses.push_back(ip.address);
                }
            }
        }
    }
    return adapters;
}

std::string MacText(const std::vector<std::uint8_t>& hardwareAddress) {
    std::string text;
    char byte[4];
    for (std::uint8_t value : hardwareAddress) {
        std::snprintf(byte, sizeof byte, "%02X:", value);
        text += byte;
    }
    if (!text.empty()) text.pop_back();
    return text;
}

std::string GetLocalMac() {
    std::lock_guard lock(g_localMutex);
    return g_localMac;
}

void SetLocalMac(const std::string& mac) {
    std::lock_guard lock(g_localMutex);
    g_localMac = mac;
}

std::string GetSystemVersionText() {
    utsname name{};
    if (::uname(&name) != 0) return "0.0.0 NoVersion";
    return SystemVersionText(name.release, name.sysname);
}

std::string SystemVersionText(std::string_view release, std::string_view systemName) {
    auto n = leadingNumbers(release);
    return std::to_string(n[0]) + "." + std::to_string(n[1]) + "." + std::to_string(n[2]) + "." +
           std::string(systemName);
}

std::string GetProductVersionText() {
    return ProductVersionText(ZORVEX_PRODUCT_VERSION);
}

std::string ProductVersionText(std::string_view version) {
    if (version.empty()) return {};
    auto n = leadingNumbers(version);
    return std::to_string(n[0]) + "." + std::to_string(n[1]) + "." + std::to_string(n[2]);
}

}  // namespace zorvex
