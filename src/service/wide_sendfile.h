#pragma once

#include <cstdint>

// libmicrohttpd sends a file body by sendfile, at most 128 KiB a call in its
// event-loop mode, and goes once round its loop between calls, visiting every
// other ready connection first. Measured on loopback: a 1 MiB range took 8
// calls and some 5 loop turns where nginx makes one call, and the service
// served ranges about 15 % slower for it, with no more CPU. This build
// defines sendfile64 itself, which the library's calls then reach: a call of
// the library's chunk on a body noted here may go on to just before the
// body's end (at most 4 MiB, about what a socket takes at once). A body whose
// rest fits goes in that one call; a longer one leaves the last piece to the
// library, which then ends the body. The library counts a call that sent past
// its chunk as it counts any other. Every other call passes through
// unchanged. A file cut short under a body (nothing left to send) fails the
// call, so that the library ends that connection at once.
//
// The library also pushes each file body's header out alone and corks the
// socket for the body, uncorking it after the next header: two setsockopt
// calls a response (three with the push after a widened body), where a body
// needs none: sendfile itself holds back all but its last segment, and the
// library turns TCP_NODELAY on before its first push on a connection and
// never off. So this build defines setsockopt too, and takes every TCP_CORK
// request as done without making it: no socket of this process is ever
// corked (nothing else here corks one), and each send of the library pushes
// its end as it goes. The segments on the wire stay as they were: the header
// alone, then the body in full segments.
namespace zorvex {

// The body read from fd ends at endOffset (exclusive). Noted before the fd is
// handed to the library; a later body on the same descriptor number replaces
// it. Any thread.
void noteFileBody(int fd, std::uint64_t endOffset);

// Calls that went beyond the library's chunk since the process started.
std::uint64_t widenedSendfileCalls();

}  // namespace zorvex
