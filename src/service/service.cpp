#include "service/service.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <utility>

#include "platform/file_util.h"
#include "platform/md5.h"
#include "platform/net_interfaces.h"
#include "platform/process_limits.h"
#include "service/console.h"
#include "service/link_file.h"
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
    : home_(std::move(root)),
      wakeFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
      budget_(DescriptorBudget::of(descriptorLimit())),
      ledger_(makeConnectionLedger(budget_.httpConnections, budget_.unfinishedHeads)),
      source_(LIST_SOURCE, home_.home()),
      converted_(LIST_CONVERTED, home_.home()) {
    makePath(home_.thumbnailFolder());
}

Service::~Service() {
    stop();
    std::lock_guard lock(catalogueMutex_);
    // One sequence over both lists: the restore sorts all link files by it.
    std::int64_t stamp = std::chrono::duration_cast<std::chrono::nanoseconds>(
                             std::chrono::system_clock::now().time_since_epoch())
                             .count();
    source_.saveAndClear(stamp);
    converted_.saveAndClear(stamp);
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

CatalogueList* Service::list(int type) {
    if (type == LIST_SOURCE) return &source_;
    if (type == LIST_CONVERTED) return &converted_;
    return nullptr;
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
        table_ = std::make_unique<ClientTable>(this, wakeFd_, &connected_);
        std::lock_guard lock(catalogueMutex_);
        clients_ = table_.get();
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
            network.httpStart = http->start(address, wire::kHttpPort, home_.home(), limits);
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
        {
            std::lock_guard lock(catalogueMutex_);
            clients_ = nullptr;
        }
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

int Service::addFile(const std::string& path, int type, std::string* key) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos) return ADD_REJECTED;
    std::string name = path.substr(slash + 1);
    // A long name is no reason to refuse: phones are shown it shortened.
    if (name.empty() || path.size() > kMaxPathBytes) return ADD_REJECTED;
    CatalogueList* target = list(type);
    if (!target) return ADD_REJECTED;
    std::size_t& pending = pendingAdds_[type - 1];
    {
        // The place is taken under the lock, so concurrent adds can never
        // push a list past its capacity.
        std::lock_guard lock(catalogueMutex_);
        if (target->count() + pending >= kListCapacity) return ADD_FULL;
        ++pending;
    }
    CatalogueEntry entry;
    entry.type = type;
    entry.name = std::move(name);
    entry.key = md5Hex(path);
    entry.path = path;
    std::error_code error;
    // Listed without its link file, the share would vanish at the next start
    // while phones and the user took it as made.
    if (!saveLinkFile(home_, entry, &error)) {  // also tests the file and its thumbnail
        consolePrintf("%s not shared: its link file cannot be written (%s)\n", path.c_str(),
                      error.message().c_str());
        std::lock_guard lock(catalogueMutex_);
        --pending;
        return ADD_NOT_SAVED;
    }
    if (key) *key = entry.key;

    std::lock_guard lock(catalogueMutex_);
    --pending;
    target->append(std::move(entry));
    return ADD_OK;
}

LinkFileLoad Service::loadLinkFile(const std::string& key) {
    if (!isCatalogueKey(key)) return LinkFileLoad::NotAKey;
    std::string file = home_.linkFile(key);
    auto bytes = readFileHead(file, kLinkFileReadLimit);
    if (!bytes) return LinkFileLoad::Unreadable;
    auto record = parseLinkFile(*bytes);
    // A record for another key would be saved under that key at shutdown
    // and leave this file behind for ever.
    if (!record || record->key != key) {
        consolePrintf("skipped damaged link file %s\n", file.c_str());
        return LinkFileLoad::Damaged;
    }
    CatalogueList* target = list(record->type);
    CatalogueEntry entry;
    entry.type = record->type;
    entry.exists = record->exists;
    entry.hasThumbnail = record->hasThumbnail;
    entry.name = std::move(record->name);
    entry.key = std::move(record->key);
    entry.path = std::move(record->path);

    std::lock_guard lock(catalogueMutex_);
    if (target->count() + pendingAdds_[record->type - 1] >= kListCapacity) {
        consolePrintf("list %d is full, link file %s left on disk\n", record->type, file.c_str());
        return LinkFileLoad::ListFull;
    }
    target->append(std::move(entry));
    return LinkFileLoad::Restored;
}

void Service::removeFile(int type, const std::string& path) {
    CatalogueList* target = list(type);
    if (!target) return;
    std::lock_guard lock(catalogueMutex_);
    target->remove(path);
}

std::vector<CatalogueEntry> Service::entries(int type) {
    CatalogueList* target = list(type);
    if (!target) return {};
    std::lock_guard lock(catalogueMutex_);
    return target->entries();
}

bool Service::nextEntry(int type, CatalogueEntry& out) {
    CatalogueList* target = list(type);
    if (!target) return false;
    // The link thread re-tests the entries' flags while the library walks.
    std::lock_guard lock(catalogueMutex_);
    return target->nextEntry(out);
}

namespace {

// At most the head of each frame, and at most kDumpBytesPerMinute per
// connection: a phone that sends without pause must not fill a disk.
constexpr std::size_t kDumpHeadBytes = 64;

void dump(ClientSlot& slot, std::string_view label, std::string_view bytes) {
    std::string text = wire::hexDumpHead(label, bytes, kDumpHeadBytes);
    switch (slot.dumpBudget.take(text.size(), std::chrono::steady_clock::now())) {
        case OutputBudget::Verdict::Allowed:
            consoleWrite(text);
            break;
        case OutputBudget::Verdict::RanOut:
            consolePrintf("dump of %s paused for the rest of the minute\n", slot.peer.c_str());
            break;
        case OutputBudget::Verdict::Refused:
            break;
    }
}

}  // namespace

void Service::parse(ClientSlot& slot, int length) {
    if (length <= 0) return;
    std::string_view received(reinterpret_cast<const char*>(slot.buffer.data()),
                              static_cast<std::size_t>(length));
    dump(slot, "请求数据", received);
    wire::Request request = wire::parseRequest(received);
    std::string reply = request.kind == wire::Request::Kind::List
                            ? buildListResponse(request.listType, slot, request.stamp)
                            : wire::rejectionReply();
    if (reply.empty()) return;
    dump(slot, "回复数据", reply);
    ClientTable::sendAll(slot, reply.data(), reply.size());
}

namespace {

// The clock's stamp, moved on until no open connection holds it: two changes
// within one millisecond must still give every phone a stamp it has not seen.
std::uint32_t freshStamp(ClientTable& clients) {
    std::uint32_t stamp = wire::msClock();
    for (bool taken = true; taken;) {
        taken = stamp == 0;
        for (const ClientSlot& slot : clients.allSlots()) {
            taken = taken || (slot.socket >= 0 && slot.stamp == stamp);
        }
        if (taken) ++stamp;
    }
    return stamp;
}

}  // namespace

std::string Service::buildListResponse(int type, ClientSlot& slot, std::uint32_t requestStamp) {
    CatalogueList* target = list(type);
    if (!target) return {};
    std::uint32_t stamp;
    {
        std::lock_guard lock(catalogueMutex_);
        scratch_.clear();
        bool notified = false;
        target->serialise(scratch_, listener_, notified);
        if ((target->changed() || notified) && clients_) {
            target->clearChanged();
            std::uint32_t now = freshStamp(*clients_);
            for (ClientSlot& other : clients_->allSlots()) {
                if (other.socket >= 0) other.stamp = now;
            }
        }
        if (slot.stamp == 0) slot.stamp = std::max<std::uint32_t>(wire::msClock(), 1);
        stamp = slot.stamp;
    }
    std::uint16_t command = type == LIST_SOURCE ? wire::CMD_LIST_SOURCE : wire::CMD_LIST_CONVERTED;
    std::string_view body = stamp != requestStamp ? std::string_view(scratch_) : std::string_view();
    return wire::encodeListResponse(command, stamp, body);
}

}  // namespace zorvex
