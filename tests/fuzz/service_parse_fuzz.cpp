// Service::parse as the link thread calls it: a received block in a client
// slot whose socket is one end of a socket pair; the reply is drained.
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "service/service.h"

namespace {

struct Fixture {
    Fixture() {
        // In TMPDIR when set, so that a run's caller can clear it away.
        const char* tmp = std::getenv("TMPDIR");
        std::string folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/zorvex-fuzz-XXXXXX";
        root = ::mkdtemp(folder.data());
        service = std::make_unique<zorvex::Service>(root);
        std::string key;
        service->addFile("/v/a.mp4", zorvex::LIST_SOURCE, &key);
        service->addFile("/v/视频.mp4", zorvex::LIST_CONVERTED, &key);
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, pair);
        slot.socket = pair[0];
    }
    std::string root;
    std::unique_ptr<zorvex::Service> service;
    int pair[2];
    zorvex::ClientSlot slot;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Fixture* fixture = new Fixture;
    std::size_t length = size < fixture->slot.buffer.size() ? size : fixture->slot.buffer.size();
    fixture->slot.buffer.fill(0);
    std::memcpy(fixture->slot.buffer.data(), data, length);
    fixture->service->parse(fixture->slot, static_cast<int>(length));
    char drain[8192];
    while (::read(fixture->pair[1], drain, sizeof drain) > 0) {
    }
    return 0;
}
