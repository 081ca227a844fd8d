#pragma once

#include <string>
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

struct ConvertListLoad : StoredItemsRead {
    std::vector<ConvertListRecord> records;  // when Ok, or those before the damage
};

// Every child of the root element, read as ReadStoredItems reads. The caller
// decides what to do with a damaged file.
ConvertListLoad LoadConvertList(const std::string& file);

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
// Those with a source and an output; nothing from a missing or damaged file.
std::vector<RunningConversion> LoadRunningConversions(const std::string& file);

// A task not finished yet, in the order the list shows it: kept in a file of
// its own, "ConvertQueue" with Item0, Item1, ... carrying ConvertList.xml's
// attributes and "OutputPath" (the output its job was writing, for the
// running one), so that ConvertList.xml stays as older builds read it.
struct QueuedConversion {
    LISTITEM_ST item;  // VideoPath the source; TaskKey unused
    int type = 0;      // "VideoConvertType": the task's state
    std::string outputPath;
};
// Written atomically; no task removes the file. False on failure.
bool SaveQueuedConversions(const std::string& file, const std::vector<QueuedConversion>& list);
// Those with a source, in order; of a torn file, the whole items before the tear.
struct QueuedConversionsLoad : StoredItemsRead {
    std::vector<QueuedConversion> list;
};
QueuedConversionsLoad LoadQueuedConversions(const std::string& file);

}  // namespace zorvex
