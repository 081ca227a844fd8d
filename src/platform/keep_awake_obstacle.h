#pragma once

namespace zorvex {

// What keeps a KeepAwake from holding on this system; the keep-awake box
// shows it.
enum class KeepAwakeObstacle { None, NoSystemBus, NoInhibitor };

}  // namespace zorvex
