#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/stored_file.h"
#include "transcode/conversion_task.h"

namespace zorvex {

// One element of ConvertList.xml: the eight attributes of a finished task.
struct ConvertListRecord {
    LISTITEM_ST item;  // TaskKey unused
    int type = 0;      // "VideoConvertType"
};

// Root "ConvertList" with children Item0, Item1, ... in order, each carrying
// "VideoName", "VideoPath", "VideoSize", "VideoScreenPath", "VideoTime",
// "VideoWidth", "VideoHeight", "VideoConvertType" in that order. Written
// atomically; false when it could not be written.
bool SaveConvertList(const std::string& file, const std::vector<ConvertListRecord>& records);

// What a reading of the queue's files left out, for one line in the log.
struct ItemsLeftOut {
    std::size_t items = 0;        // elements under the root
    std::size_t unsafeNames = 0;  // refused: a VideoName that is no plain file name
    std::string firstUnsafe;      // the first of them, for the log
    std::size_t noRoom = 0;       // past the room asked for, not read at all
};

struct ConvertListLoad : StoredItemsRead {
    std::vector<ConvertListRecord> records;  // when Ok, or those before the damage
    ItemsLeftOut leftOut;
};

// Every child of the root element, read as ReadStoredItems reads, but for
// those whose VideoName IsPlainFileName refuses: a name that climbs out of
// the conversion folder never reaches a task. Past finishedRoom finished
// (VideoConvertType 3) and otherRoom other items the rest are only counted,
// so that a file grown huge costs little. The caller decides what to do with
// a damaged file.
ConvertListLoad LoadConvertList(const std::string& file, std::size_t finishedRoom = SIZE_MAX,
                                std::size_t otherRoom = SIZE_MAX);

// A conversion under way: its task (VideoPath the source) and the output it
// makes. Kept in a file of its own, "Converting" with Item0, Item1, ...
// carrying ConvertList.xml's attributes and "OutputPath"; ConvertList.xml
// itself holds finished conversions only.
struct RunningConversion {
    LISTITEM_ST item;
    std::string outputPath;
};
// Written atomically; no conversion removes the file. False on failure.
bool SaveRunningConversions(const std::string& file, const std::vector<RunningConversion>& list);
// Those with a source and an output that a job of theirs could have made
// (the converted name of a plain VideoName, no ".." on the way); nothing from
// a missing or damaged file.
std::vector<RunningConversion> LoadRunningConversions(const std::string& file);

// A task not finished yet, in the order the list shows it: kept in a file of
// its own, "ConvertQueue" with Item0, Item1, ... carrying ConvertList.xml's
// attributes and "OutputPath" (the output its job was writing, for the
// running one), so that ConvertList.xml stays as older builds read it.
struct QueuedConversion {
    LISTITEM_ST item;  // VideoPath the source; TaskKey unused
    int type = 0;      // "VideoConvertType": the task's state
    std::string outputPath;
    std::string failReason{};  // "FailReason", of a failed task: why, for the user
};
// Written atomically; no task removes the file. False on failure.
bool SaveQueuedConversions(const std::string& file, const std::vector<QueuedConversion>& list);
// Those with a source, in order, but for a VideoName that IsPlainFileName
// refuses; of a torn file, the whole items before the tear. An item that
// `take` (when given) refuses is left out as well; once `room` items are
// taken the rest are only counted.
struct QueuedConversionsLoad : StoredItemsRead {
    std::vector<QueuedConversion> list;
    ItemsLeftOut leftOut;
};
QueuedConversionsLoad LoadQueuedConversions(
    const std::string& file, std::size_t room = SIZE_MAX,
    const std::function<bool(const QueuedConversion&)>& take = nullptr);

// A failure's reason as the queue keeps it: valid UTF-8 on one line, at most
// kMaxFailReasonUnits UTF-16 code units, so that a tooltip can show it whole.
inline constexpr std::size_t kMaxFailReasonUnits = 300;
std::string KeptFailReason(std::string_view reason);

}  // namespace zorvex
