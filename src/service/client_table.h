#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "service/console.h"
#include "service/start_result.h"

namespace zorvex {

inline constexpr int kClientSlots = 64;
// Slots one peer address may hold; its next connection replaces its own
// longest-silent one, so that one host cannot lock phones out.
inline constexpr int kSlotsPerAddress = 8;
// When every slot is taken, a newcomer gets a slot of the address holding
// most, or one whose phone lags behind its replies, at once; a slot that is
// its address's only one goes once it has been silent this long.
inline constexpr std::chrono::seconds kSilenceBeforeEviction{30};
// Console dump allowed per connection and minute.
inline constexpr std::size_t kDumpBytesPerMinute = std::size_t{64} * 1024;
// Connection lines (connected, closed, refused) a minute, over all slots.
inline constexpr std::size_t kConnectionLinesPerMinute = 256;
// Replies a phone has not taken yet, beyond what its socket holds: a full
// list is at most 3.5 KB, so this is some 70 of them. A phone further
// behind is closed.
inline constexpr std::size_t kSlotOutputLimit = std::size_t{256} * 1024;

struct ClientSlot {
    int socket = -1;                // -1 when free
    std::string peer;               // "address:port" of the phone; empty when free
    std::uint32_t peerAddress = 0;  // the phone's IPv4 address, host order; 0 when free
    std::string local;              // the served address the phone connected to
    std::uint64_t connection = 0;   // numbers the slot's connections, from 1; 0 when free
    std::array<unsigned char, 4096> buffer{};           // cleared before every receive
    std::chrono::steady_clock::time_point lastHeard{};  // connected, or last bytes received
    OutputBudget dumpBudget{kDumpBytesPerMinute, std::chrono::minutes(1)};
    // Replies owed to the phone, sent from outputSent on whenever its socket
    // takes more; whole replies only, in order.
    std::string output;
    std::size_t outputSent = 0;
    std::size_t outputLimit = kSlotOutputLimit;
    bool watchingOutput = false;  // the table waits for the socket to be writable
    // Set by sendAll; the table closes the slot once the owner's parse returns.
    bool overflowed = false;  // a reply would have gone past outputLimit
    bool sendFailed = false;  // the connection is gone

    std::size_t pendingOutput() const { return output.size() - outputSent; }
};

// Receives every block of bytes read from a phone.
class ParserHandler {
public:
    virtual ~ParserHandler() = default;
    // slot.buffer holds `length` bytes just received (length > 0).
    virtual void parse(ClientSlot& slot, int length) = 0;
};

// The network side of the discovery/link thread: the discovery broadcast, the
// link listener and 64 client slots. Used by that thread alone; the count of
// connected phones it keeps is the owner's, which any thread may read.
class ClientTable {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // wakeFd: readable when the owner wants the thread to look at its stop
    // flag at once; -1 for none. connected: kept equal to the number of open
    // slots, for readers on other threads; may be null. Neither is owned.
    // clock: the time that silence is measured in (tests move it on); the
    // steady clock when empty. outputLimit: the replies a slot may owe its
    // phone before it is closed.
    ClientTable(ParserHandler* owner, int wakeFd, std::atomic<int>* connected = nullptr,
                Clock clock = {}, std::size_t outputLimit = kSlotOutputLimit);
    ~ClientTable();
    ClientTable(const ClientTable&) = delete;
    ClientTable& operator=(const ClientTable&) = delete;

    // Opens one network's part: the broadcast socket (bound to the address,
    // sending to `broadcast`, port 7171; to the address's x.y.z.255 when
    // empty) and the listener on the address, port 11718, with the discovery
    // packet for it, dumped to the console. A failure leaves nothing of it
    // open and says why. Phones connected on other networks are untouched.
    PartStart openSockets(const std::string& address, const std::string& broadcast = {});
    // Closes one network's sockets and the connections of its phones; phones
    // on other networks are untouched.
    void closeLink(const std::string& address);
    // The addresses whose sockets are open, in the order opened.
    std::vector<std::string> linkAddresses() const;

    // One cycle: the broadcast when a second has passed since the last, then
    // up to one second of waiting for connections, data and sockets that
    // take the replies still owed. Never waits on one phone.
    void runCycle();
    void closeAll();
    void closeSlot(ClientSlot& slot);

    std::array<ClientSlot, kClientSlots>& allSlots() { return slots_; }

    // Sends one whole reply behind those the slot still owes: what the
    // socket takes now goes at once, the rest when it is writable. Never
    // waits. A reply past the slot's outputLimit, or a failed send, marks the
    // slot, which the table then closes: a phone never gets a frame after a
    // torn one.
    static void sendAll(ClientSlot& slot, const void* data, std::size_t length);

private:
    // One network's sockets and its packet.
    struct Link {
        std::string address;
        int listenSocket = -1;
        int broadcastSocket = -1;
        std::array<unsigned char, 16> destination{};  // sockaddr_in of the broadcast
        std::string packet;
        bool failing = false;       // the last broadcast failed; said once
        bool acceptPaused = false;  // out of descriptors: not listened to for a moment
    };

    void sendBroadcast();
    void acceptClients(int listenSocket);
    // Out of descriptors, a listener would wake every wait at once: it is left
    // alone for a moment, then listened to again.
    void pauseAccepting(int listenSocket);
    void resumeAccepting();
    void closeSockets(Link& link, bool say = true);
    void readClient(ClientSlot& slot);
    // Sends what the slot owes while its socket takes it.
    void flushClient(ClientSlot& slot);
    // Closes a slot that sendAll marked, else waits for writability while it owes.
    void settleOutput(ClientSlot& slot);
    void watchOutput(ClientSlot& slot, bool on);
    // The slot a newcomer may take from a full table, or null: see
    // kSilenceBeforeEviction.
    ClientSlot* evictable();
    // The longest-silent slot of the address, or null when it holds none.
    ClientSlot* quietestOf(std::uint32_t address);
    int slotsOf(std::uint32_t address) const;
    // "what: peer socket n", within the minute's budget of such lines.
    void connectionLine(const char* what, const std::string& peer, int socket);

    ParserHandler* const owner_;
    const int wakeFd_;
    const Clock clock_;
    const std::size_t outputLimit_;

    std::array<ClientSlot, kClientSlots> slots_;
    std::vector<Link> links_;
    int epollFd_ = -1;  // the wake descriptor, the listeners and every open slot
    std::chrono::steady_clock::time_point nextBroadcast_{};
    std::optional<std::chrono::steady_clock::time_point> acceptResumes_;
    std::atomic<int> ownCount_{0};
    std::uint64_t connections_ = 0;  // accepted so far
    std::atomic<int>* const connected_;
    // Someone connecting as fast as they can must not fill a disk either.
    OutputBudget connectionLines_{kConnectionLinesPerMinute, std::chrono::minutes(1)};
};

}  // namespace zorvex
