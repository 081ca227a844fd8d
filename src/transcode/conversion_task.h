#pragma once

#include <memory>
#include <string>

#include "transcode/convert_param.h"

namespace zorvex {

// Task states, stored per task and written to ConvertList.xml as numbers.
enum TaskState : int {
    TASK_NEW = 0,
    TASK_WAITING = 1,
    TASK_RUNNING = 2,
    TASK_DONE = 3,
    TASK_STOPPED = 4,
    TASK_INTERRUPTED = 6,
    TASK_FAILED = 9,
};

// Task event codes: to the page (1, 2, 4, 6, 9) and within the queue (3, 4, 9).
enum TaskEvent : int {
    TE_WAITING = 1,
    TE_STARTED = 2,
    TE_DONE = 3,
    TE_REMOVED = 4,
    TE_INTERRUPTED = 6,
    TE_FAILED = 9,
};

// One conversion task as the queue keeps it.
struct LISTITEM_ST {
    std::string VideoName;        // source file name with extension
    std::string VideoSize;        // bytes, decimal
    std::string VideoScreenPath;  // the source's thumbnail
    std::string VideoTime;        // milliseconds, decimal
    std::string VideoWidth;
    std::string VideoHeight;
    std::string VideoPath;  // the source while unfinished, the output once done
    std::string TaskKey;    // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
};

// What a task row shows: a copy, safe to keep on the UI side.
struct TaskView {
    LISTITEM_ST item;
    TaskState state = TASK_NEW;
    CONVERT_PARAM_ST param;
    std::string modeLabel;       // "3D-1080P", ...
    std::string outputPath;      // set when its job starts, or restored from the file
    std::uint32_t progress = 0;  // 0..100 while running
    std::string failReason;      // why a TASK_FAILED task failed, for the user
};

}  // namespace zorvex
