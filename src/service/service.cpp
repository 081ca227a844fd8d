#include "service/service.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <utility>

#include "platform/net_interfaces.h"
#include "platform/process_limits.h"
#include "service/console.h"
#include "service/http_workers.h"
#include "service/link_frame.h"

namespace zorvex {

DescriptorBudget DescriptorBudget::of(std::size_t limit) {
    DescriptorBudget budget;
    budget.limit = limit;
    std::size_t left = limit > kReserve + kClientSlots ? limit - kReserve - kClientSlots : 0;
    budget.httpConnections =
        std::clamp<std::size_t>(left / kPerStream, kMinConnections, kMaxConnections);
    budget.unfinishedHeads = std::min<std::size_t>(kMaxUnfinishedHeads, budget.httpConnections / 2);
    return budget;
}

Service::Service(std::string root)
    : catalogue_(root),
      home_(std::move(root)),
      wakeFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
      budget_(DescriptorBudget::of(descriptorLimit())),
      ledger_(makeConnectionLedger(budget_.httpConnections, budget_.unfinishedHeads)),
      workers_(std::make_shared<HttpWorkers>(HttpFileServer::defaultLimits().threads)) {}

Service::~Service() {
    stop();
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

std::string Service::address() const {
    std::lock_guard lock(addressMutex_);
    return status_.empty() ? std::string() : status_.front().where.address;
}

std::vector<AddressStatus> Service::networks() const {
    std::lock_guard lock(addressMutex_);
    return status_;
}

bool Service::running() const {
    if (state_.load() & (STOP_LINK | STOP_HTTP)) return false;
    std::lock_guard lock(addressMutex_);
    return !status_.empty() &&
           std::all_of(status_.begin(), status_.end(),
                       [](const AddressStatus& network) { return network.ok(); });
}

namespace {

// Only the four numbers go on the wire and to bind: text after them would
// reach phones as part of the address.
std::optional<std::string> canonicalAddress(const std::string& text) {
    unsigned parts[4];
    if (!wire::readDottedQuad(text, parts) ||
        std::any_of(parts, parts + 4, [](unsigned part) { return part > 255; })) {
        return std::nullopt;
    }
    return std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." +
           std::to_string(parts[2]) + "." + std::to_string(parts[3]);
}

StartResult resultOf(const AddressStatus& network) {
    StartResult result;
    result.address = network.where.address;
    result.link = network.link;
    result.http = network.http;
    return result;
}

}  // namespace

ServedAddress servedAddressFor(const std::string& address,
                               const std::vector<NetInterface>& adapters) {
    ServedAddress served;
    served.address = address;
    for (const NetInterface& item : adapters) {
        for (const NetAddress& ip : item.ipv4) {
            if (ip.address != address) continue;
            served.adapter = item.name;
            // A directed broadcast reaches the whole network, whatever its mask.
            if (item.canBroadcast && !item.loopback) served.broadcast = ip.broadcast;
            return served;
        }
    }
    return served;
}

StartResult Service::setAddress(const std::string& address) {
    auto next = canonicalAddress(address);
    if (!next) return StartResult::refusal(StartCause::BadAddress, address);
    {
        std::lock_guard lifecycle(lifecycleMutex_);
        if (networks_.size() == 1 && networks_.front().where.address == *next && running()) {
            return StartResult::refusal(StartCause::SameAddress, *next);
        }
    }
    auto networks =
        serve({servedAddressFor(*next, listNetInterfaces().value_or(std::vector<NetInterface>{}))});
    return resultOf(networks.front());
}

StartResult Service::start() {
    std::lock_guard lifecycle(lifecycleMutex_);
    if (networks_.empty()) return StartResult::refusal(StartCause::NoAddress, {});
    if (state_.load() != 0) {
        return StartResult::refusal(StartCause::AlreadyRunning, networks_.front().where.address);
    }
    openLocked();
    std::lock_guard lock(addressMutex_);
    return resultOf(status_.front());
}

void Service::stop() {
    std::lock_guard lifecycle(lifecycleMutex_);
    stopLocked();
}

std::vector<AddressStatus> Service::serve(const std::vector<ServedAddress>& wanted) {
    std::lock_guard lifecycle(lifecycleMutex_);
    std::vector<Network> next;
    for (const ServedAddress& where : wanted) {
        Network& network = next.emplace_back();
        network.where = where;
        network.link.cause = network.httpStart.cause = StartCause::Stopped;
        if (auto canonical = canonicalAddress(where.address)) {
            network.where.address = *canonical;
        } else {
            network.link.cause = network.httpStart.cause = StartCause::BadAddress;
        }
    }
    if (next.empty()) {
        stopLocked();
        networks_.clear();
        publishLocked();
        return {};
    }
    parkLinkThread();
    for (Network& old : networks_) {
        auto kept = std::find_if(next.begin(), next.end(), [&](const Network& network) {
            return network.where == old.where;
        });
        if (kept != next.end()) {
            kept->http = std::move(old.http);
            kept->link = old.link;
            kept->httpStart = old.httpStart;
            continue;
        }
        if (old.link.running() && table_) table_->closeLink(old.where.address);
        if (old.http) old.http->stop();
    }
    networks_ = std::move(next);
    openLocked();
    std::lock_guard lock(addressMutex_);
    return status_;
}

void Service::openLocked() {
    parkLinkThread();
    if (!table_) {
        std::uint64_t drained;
        while (::read(wakeFd_, &drained, sizeof drained) > 0) {
        }
        table_ = std::make_unique<ClientTable>(&protocol_, wakeFd_, &connected_);
        protocol_.attach(table_.get());
    }
    for (Network& network : networks_) {
        if (network.link.cause == StartCause::BadAddress) continue;
        const std::string& address = network.where.address;
        if (!network.link.running()) {
            network.link = table_->openSockets(address, network.where.broadcast);
        }
        if (!network.http) {
            auto http = std::make_unique<HttpFileServer>();
            HttpFileServer::Limits limits = HttpFileServer::defaultLimits();
            limits.ledger = ledger_;
            limits.workers = workers_;
            network.httpStart =
                http->start(address, wire::kHttpPort, home_.home(), limits, &catalogue_);
            if (network.httpStart.running()) network.http = std::move(http);
        }
    }
    resumeLinkThread();
    publishLocked();
}

void Service::parkLinkThread() {
    if (!linkThread_.joinable()) return;
    state_.fetch_or(STOP_LINK);
    wakeThreads();
    linkThread_.join();
    state_.fetch_and(~STOP_LINK);
}

void Service::resumeLinkThread() {
    if (!table_ || table_->linkAddresses().empty() || linkThread_.joinable()) return;
    linkThread_ = std::thread([this] { linkThreadMain(); });
}

void Service::publishLocked() {
    std::vector<AddressStatus> status;
    std::uint32_t bits = 0;
    for (const Network& network : networks_) {
        AddressStatus& item = status.emplace_back();
        item.where = network.where;
        item.link = network.link;
        item.http = network.http ? PartStart{} : network.httpStart;
        if (item.link.running()) bits |= RUN_LINK;
        if (item.http.running()) bits |= RUN_HTTP;
    }
    {
        std::lock_guard lock(addressMutex_);
        status_ = std::move(status);
    }
    state_.store(bits | (state_.load() & (STOP_LINK | STOP_HTTP)));
}

void Service::stopLocked() {
    bool wasRunning = (state_.load() & (RUN_LINK | RUN_HTTP)) != 0;
    state_.fetch_or(STOP_HTTP);
    parkLinkThread();
    if (table_) {
        table_->closeAll();
        protocol_.attach(nullptr);
        table_.reset();
        if (wasRunning) consolePrintf("the broadcast thread is closed\n");
    }
    bool hadHttp = false;
    for (Network& network : networks_) {
        if (network.http) {
            network.http->stop();
            network.http.reset();
            hadHttp = true;
        }
        network.link.cause = network.httpStart.cause = StartCause::Stopped;
    }
    if (hadHttp) consolePrintf("关闭http服务完毕 %d!\n", static_cast<int>(state_.load()));
    state_.store(0);
    publishLocked();
    if (wasRunning) consoleWrite("服务器关闭suc!\n");
}

void Service::wakeThreads() {
    std::uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(wakeFd_, &one, sizeof one);
    state_.notify_all();
}

void Service::linkThreadMain() {
    while ((state_.load() & STOP_LINK) == 0) table_->runCycle();
}

}  // namespace zorvex
