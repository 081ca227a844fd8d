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
// of one call needs none: sendfile itself holds back all but its last
// segment. So this build defines setsockopt too, and takes every TCP_CORK
// request of the library as done without making it. A body of more than one
// call (over 4 MiB: a whole video, an open-ended range) is corked here from
// its first call to its last, which uncorks: with TCP_NODELAY on and nothing
// held between calls, each small opening of the phone's receive window let
// a small segment go, and a 1 GiB download took 75 % more segments and a
// third more CPU than nginx's, which corks its bodies the same way.
//
// Without the cork, the library sends a file body's header by send() with
// nothing to say that a body follows, and it leaves in a segment of its own:
// one more packet, wake-up and read for the phone per range. So this build
// defines send too: the first send on a socket whose file body was just
// noted gets MSG_MORE, and the header leaves in one segment with the body's
// first bytes. The library turns TCP_NODELAY on right after its first header
// on a connection, which would push that header out alone; the service sets
// it as the connection opens, and the library's request is taken as done.
// Every other send passes through unchanged.
namespace zorvex {

// The body read from fd ends at endOffset (exclusive), and goes out on socket
// after its header. Noted before the fd is handed to the library; a later
// body on the same descriptor number replaces it. Any thread.
void noteFileBody(int socket, int fd, std::uint64_t endOffset);

// A connection's socket opened: TCP_NODELAY is set now, before any header
// can wait for its body. Called before the library sends on it.
void noteSocketOpened(int socket);

// The socket is about to close: what was noted of it must not hold back the
// next connection that gets its number.
void noteSocketClosed(int socket);

// Calls that went beyond the library's chunk since the process started.
std::uint64_t widenedSendfileCalls();

// File headers sent with MSG_MORE, to leave with their body.
std::uint64_t headersJoinedToBodies();

// Bodies corked for their many calls, and those uncorked by their last call
// (not cut short by their connection's end), since the process started.
struct CorkCounts {
    std::uint64_t corked = 0;
    std::uint64_t released = 0;
};
CorkCounts corkCounts();

}  // namespace zorvex
