#include "service/service.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <utility>

#include "platform/file_util.h"
#include "platform/md5.h"
#include "service/console.h"
#include "service/link_file.h"
#include "service/link_frame.h"

namespace zorvex {

Service::Service(std::string root)
    : home_(std::move(root)),
      wakeFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
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
    return address_;
}

CatalogueList* Service::list(int type) {
    if (type == LIST_SOURCE) return &source_;
    if (type == LIST_CONVERTED) return &converted_;
    return nullptr;
}

StartResult Service::setAddress(const std::string& address) {
    std::lock_guard lifecycle(lifecycleMutex_);
    unsigned next[4];
    if (!wire::readDottedQuad(address, next) ||
        std::any_of(next, next + 4, [](unsigned part) { return part > 255; })) {
        return StartResult::refusal(StartCause::BadAddress, address);
    }
    unsigned current[4];
    if (wire::readDottedQuad(address_, current) && std::equal(current, current + 4, next) &&
        running()) {
        return StartResult::refusal(StartCause::SameAddress, boundAddress());
    }
    {
        std::lock_guard lock(addressMutex_);
        address_ = address;
    }
    stopLocked();
    return startLocked();
}

StartResult Service::start() {
    std::lock_guard lifecycle(lifecycleMutex_);
    return startLocked();
}

void Service::stop() {
    std::lock_guard lifecycle(lifecycleMutex_);
    stopLocked();
}

StartResult Service::startLocked() {
    if (address_.empty()) return StartResult::refusal(StartCause::NoAddress, {});
    // Only the four numbers go on the wire and to bind: text after them
    // would reach phones as part of the address.
    const std::string address = boundAddress();
    if (state_.load() != 0) return StartResult::refusal(StartCause::AlreadyRunning, address);
    std::uint64_t drained;
    while (::read(wakeFd_, &drained, sizeof drained) > 0) {
    }
    StartResult result;
    result.address = address;

    auto table = std::make_unique<ClientTable>(this, wakeFd_, &connected_);
    result.link = table->openSockets(address);
    if (result.link.running()) {
        table->storePacket(address);
        state_.fetch_or(RUN_LINK);
        linkThread_ = std::thread([this, owned = table.release()] {
            linkThreadMain(std::unique_ptr<ClientTable>(owned));
        });
    }

    auto http = std::make_unique<HttpFileServer>();
    result.http = http->start(address, wire::kHttpPort, home_.home());
    if (result.http.running()) {
        http_ = std::move(http);
        state_.fetch_or(RUN_HTTP);
    }
    return result;
}

void Service::stopLocked() {
    bool wasRunning = state_.load() != 0;
    if (wasRunning) {
        state_.fetch_or(STOP_LINK | STOP_HTTP);
        wakeThreads();
    }
    if (linkThread_.joinable()) linkThread_.join();
    if (http_) {
        http_->stop();
        http_.reset();
        consolePrintf("关闭http服务完毕 %d!\n", static_cast<int>(state_.load()));
    }
    state_.store(0);
    if (wasRunning) consoleWrite("服务器关闭suc!\n");
}

void Service::wakeThreads() {
    std::uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(wakeFd_, &one, sizeof one);
    state_.notify_all();
}

std::string Service::boundAddress() const {
    unsigned parts[4] = {};
    wire::readDottedQuad(address(), parts);
    return std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." +
           std::to_string(parts[2]) + "." + std::to_string(parts[3]);
}

void Service::linkThreadMain(std::unique_ptr<ClientTable> table) {
    {
        std::lock_guard lock(catalogueMutex_);
        clients_ = table.get();
    }
    while ((state_.load() & STOP_LINK) == 0) table->runCycle();
    {
        std::lock_guard lock(catalogueMutex_);
        clients_ = nullptr;
    }
    table->closeAll();
    table.reset();
    consolePrintf("the broadcast thread is closed, state %u\n", state_.load());
    state_.fetch_and(~(RUN_LINK | STOP_LINK));
    state_.notify_all();
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
    if (key) *key = entry.key;
    saveLinkFile(home_, entry);  // also tests the file and its thumbnail

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
