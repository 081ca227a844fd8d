#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "service/console.h"
#include "service/start_result.h"

namespace zorvex {

inline constexpr int kClientSlots = 64;
// When every slot is taken, a newcomer gets the slot that has been silent
// longest, once it has been silent this long.
inline constexpr std::chrono::seconds kSilenceBeforeEviction{30};
// Console dump allowed per connection and minute.
inline constexpr std::size_t kDumpBytesPerMinute = std::size_t{64} * 1024;
// Connection lines (connected, closed, refused) a minute, over all slots.
inline constexpr std::size_t kConnectionLinesPerMinute = 256;

struct ClientSlot {
    int socket = -1;          // -1 when free
    std::string peer;         // "address:port" of the phone; empty when free
    std::uint32_t stamp = 0;  // the connection's list stamp; 0 until its first list request
    std::array<unsigned char, 4096> buffer{};           // cleared before every receive
    std::chrono::steady_clock::time_point lastHeard{};  // connected, or last bytes received
    OutputBudget dumpBudget{kDumpBytesPerMinute, std::chrono::minutes(1)};
};

// Receives every block of bytes read from a phone.
class ParserHandler {
public:
    virtual ~ParserHandler() = default;
    // slot.buffer holds `length` bytes just received (length > 0).
    virtual void parse(ClientSlot& slot, int length) = 0;
};

// The network side of the discovery/link thread: the discovery broadcast, the
// link listener and 64 client slots. Used by that thread alone, except
// connectedCount(), which any thread may read.
class ClientTable {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // wakeFd: readable when the owner wants the thread to look at its stop
    // flag at once; -1 for none. connected: kept equal to the number of open
    // slots, for readers on other threads; may be null. Neither is owned.
    // clock: the time that silence is measured in (tests move it on); the
    // steady clock when empty.
    ClientTable(ParserHandler* owner, int wakeFd, std::atomic<int>* connected = nullptr,
                Clock clock = {});
    ~ClientTable();
    ClientTable(const ClientTable&) = delete;
    ClientTable& operator=(const ClientTable&) = delete;

    // Opens the broadcast socket (bound to the address, sending to its .255,
    // port 7171) and the listener on the address, port 11718. A failure
    // leaves nothing open and says why.
    PartStart openSockets(const std::string& address);
    // Builds the discovery packet for the address and dumps it to the console.
    void storePacket(const std::string& address);

    // One cycle: the broadcast when a second has passed since the last, then
    // up to one second of waiting for connections and data.
    void runCycle();
    void closeAll();
    void closeSlot(ClientSlot& slot);

    std::array<ClientSlot, kClientSlots>& allSlots() { return slots_; }
    int connectedCount() const { return connected_->load(std::memory_order_relaxed); }

    // Sends all bytes, waiting a while for a full send buffer to drain; a
    // connection that still cannot take them loses the rest of this reply.
    static void sendAll(ClientSlot& slot, const void* data, std::size_t length);

private:
    void sendBroadcast();
    void acceptClients();
    void readClient(ClientSlot& slot);
    // The slot silent longest, if silent long enough to give away; else null.
    ClientSlot* evictable();
    // "what: peer socket n", within the minute's budget of such lines.
    void connectionLine(const char* what, const std::string& peer, int socket);

    ParserHandler* const owner_;
    const int wakeFd_;
    const Clock clock_;

    std::array<ClientSlot, kClientSlots> slots_;
    int listenSocket_ = -1;
    int broadcastSocket_ = -1;
    int epollFd_ = -1;  // the wake descriptor, the listener and every open slot
    std::string packet_;
    std::array<unsigned char, 16> destination_{};  // sockaddr_in of the broadcast
    std::chrono::steady_clock::time_point nextBroadcast_{};
    std::atomic<int> ownCount_{0};
    std::atomic<int>* const connected_;
    // Someone connecting as fast as they can must not fill a disk either.
    OutputBudget connectionLines_{kConnectionLinesPerMinute, std::chrono::minutes(1)};
};

}  // namespace zorvex
