#pragma once

#include <string>

namespace zorvex {

// The seven texts of a conversion request, in the order the queue takes them.
struct ConversionRequest {
    std::string sourcePath, thumbnailPath, name, size, duration, width, height;
};

// Where a task stands, as its source's card shows it. None: no such task,
// or one that has ended (finished, failed, stopped).
enum class TaskPhase { None, Waiting, Running, Interrupted };

// The conversions the library asks for, and where they stand: the library
// keeps no copy of a task's state. app/ wires it to the conversion queue; the
// library holds no queue of its own. Called on the library's thread, which is
// the queue's.
class ConversionPort {
public:
    virtual ~ConversionPort() = default;
    // Returns the new task's key; "" when no task was made.
    virtual std::string enqueue(const ConversionRequest& request) = 0;
    // Drops the task of a video, by its key (or, without one, by the source
    // path); true when the task is gone or stopping.
    virtual bool remove(const std::string& taskKey, const std::string& sourcePath) = 0;
    // The task with this key ("" or unknown: None).
    virtual TaskPhase phase(const std::string& taskKey) const = 0;
    // The key of the source's waiting, running or interrupted task; "" when
    // none. Tasks restored at start have keys the library never handed out.
    virtual std::string liveTask(const std::string& sourcePath) const = 0;
};

}  // namespace zorvex
