#pragma once

namespace zorvex {

// A descriptor that turns readable when SIGINT or SIGTERM arrives, for an
// event loop that wants to end in order rather than be killed mid-save (a
// logout, systemctl stop, Ctrl+C in a terminal). The handler only writes a
// byte, so it is safe at any moment; the signals stay unblocked, and the
// children we start see them as usual. Installed by the first call, on the
// main thread; later calls give the same descriptor. -1 when the pipe cannot
// be made.
int WatchTerminationSignals();

}  // namespace zorvex
