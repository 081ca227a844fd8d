#include "service/start_result.h"

#include <cerrno>
#include <utility>

#include "platform/error_text.h"
#include "service/link_frame.h"

namespace zorvex {

namespace {

bool isRefusal(StartCause cause) {
    return cause == StartCause::BadAddress || cause == StartCause::SameAddress ||
           cause == StartCause::NoAddress || cause == StartCause::AlreadyRunning;
}

std::string why(const PartStart& part, const std::string& address, int port) {
    switch (part.cause) {
        case StartCause::NotLocal:
            return "the address " + address + " is not on this machine";
        case StartCause::PortTaken:
            return "port " + std::to_string(port) + " on " + address +
                   " is taken by another program";
        case StartCause::BadAddress:
            return "\"" + address + "\" is not an IPv4 address";
        case StartCause::Stopped:
            return "stopped";
        default:
            return part.error != 0 ? errorText(part.error) : "it did not start";
    }
}

}  // namespace

PartStart partFailure(int error) {
    PartStart part;
    part.error = error;
    part.cause = error == EADDRINUSE      ? StartCause::PortTaken
                 : error == EADDRNOTAVAIL ? StartCause::NotLocal
                                          : StartCause::Failed;
    return part;
}

bool StartResult::refused() const {
    return isRefusal(link.cause) && link.cause == http.cause;
}

StartResult StartResult::refusal(StartCause cause, std::string address) {
    StartResult result;
    result.address = std::move(address);
    result.link.cause = cause;
    result.http.cause = cause;
    return result;
}

std::string StartResult::describe() const {
    if (refused()) {
        switch (link.cause) {
            case StartCause::BadAddress:
                return "\"" + address + "\" is not an IPv4 address";
            case StartCause::SameAddress:
                return "already running on " + address;
            case StartCause::NoAddress:
                return "no address to start on";
            default:
                return "already running";
        }
    }
    std::string text;
    if (!link.running()) {
        text = "link (UDP " + std::to_string(wire::kDiscoveryPort) + ", TCP " +
               std::to_string(wire::kLinkPort) + "): " + why(link, address, wire::kLinkPort);
    }
    if (!http.running()) {
        if (!text.empty()) text += "; ";
        text += "http (TCP " + std::to_string(wire::kHttpPort) +
                "): " + why(http, address, wire::kHttpPort);
    }
    if (!text.empty() && anyRunning()) text += link.running() ? "; the link runs" : "; http runs";
    return text;
}

}  // namespace zorvex
