#include "service/phone_protocol.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <string_view>
#include <utility>
#include <vector>

#include "service/console.h"
#include "service/link_frame.h"
#include "service/shared_catalogue.h"

namespace zorvex {

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

void PhoneProtocol::attach(ClientTable* clients) {
    std::lock_guard lock(mutex_);
    clients_ = clients;
    // A new table numbers its connections afresh.
    stamps_.clear();
}

void PhoneProtocol::parse(ClientSlot& slot, int length) {
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

void PhoneProtocol::refreshLocked(int type, ListBody& list) {
    constexpr std::uint64_t kNone = std::numeric_limits<std::uint64_t>::max();
    std::vector<CatalogueEntry> entries;
    auto version = catalogue_.refresh(type, listener_, list.built ? list.version : kNone, entries);
    if (!version || (list.built && *version == list.version)) return;
    std::unordered_map<std::string, WireForm> forms;
    list.body.clear();
    wire::putU32(list.body, static_cast<std::uint32_t>(entries.size()));
    for (const CatalogueEntry& entry : entries) {
        // An entry without a name or a proper key has no wire form.
        if (entry.name.empty() || entry.key.size() != 32) continue;
        auto same = [&](const WireForm& form) {
            return form.exists == entry.exists && form.hasThumbnail == entry.hasThumbnail &&
                   form.name == entry.name;
        };
        auto laid = forms.find(entry.key);
        if (laid == forms.end() || !same(laid->second)) {
            // The GBK conversion is the costly part: done once per name and flags.
            auto old = list.forms.find(entry.key);
            WireForm form;
            if (old != list.forms.end() && same(old->second)) {
                form = std::move(old->second);
            } else {
                form = {entry.exists, entry.hasThumbnail, entry.name,
                        wire::encodeWireEntry(
                            {entry.exists, entry.hasThumbnail, phoneName(entry.name), entry.key})};
            }
            laid = forms.insert_or_assign(entry.key, std::move(form)).first;
        }
        list.body += laid->second.wire;
    }
    list.forms = std::move(forms);
    list.version = *version;
    list.built = true;
}

std::uint32_t& PhoneProtocol::stampLocked(const ClientSlot& slot) {
    Stamp& stamp = stamps_[&slot];
    if (stamp.connection != slot.connection) stamp = {slot.connection, 0};
    return stamp.value;
}

// Two changes within one millisecond must still give every phone a stamp it
// has not seen.
std::uint32_t PhoneProtocol::freshStampLocked() {
    std::uint32_t stamp = wire::msClock();
    for (bool taken = true; taken;) {
        taken = stamp == 0;
        for (const ClientSlot& slot : clients_->allSlots()) {
            taken = taken || (slot.socket >= 0 && stampLocked(slot) == stamp);
        }
        if (taken) ++stamp;
    }
    return stamp;
}

std::string PhoneProtocol::buildListResponse(int type, ClientSlot& slot,
                                             std::uint32_t requestStamp) {
    if (type != LIST_SOURCE && type != LIST_CONVERTED) return {};
    std::lock_guard lock(mutex_);
    ListBody& list = lists_[type - 1];
    refreshLocked(type, list);
    // A change is kept for the phones until a table of them is there to hear it.
    if (list.version != list.announced && clients_) {
        list.announced = list.version;
        std::uint32_t now = freshStampLocked();
        for (ClientSlot& other : clients_->allSlots()) {
            if (other.socket >= 0) stampLocked(other) = now;
        }
    }
    std::uint32_t& stamp = stampLocked(slot);
    if (stamp == 0) stamp = std::max<std::uint32_t>(wire::msClock(), 1);
    std::uint16_t command = type == LIST_SOURCE ? wire::CMD_LIST_SOURCE : wire::CMD_LIST_CONVERTED;
    std::string_view body =
        stamp != requestStamp ? std::string_view(list.body) : std::string_view();
    return wire::encodeListResponse(command, stamp, body);
}

}  // namespace zorvex
