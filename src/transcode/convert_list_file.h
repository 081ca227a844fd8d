#pragma once

#include <optional>
#include <string>
#include <vector>

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

// Every child of the root element, whatever its name, in document order.
// nullopt when the file is missing or cannot be parsed.
std::optional<std::vector<ConvertListRecord>> LoadConvertList(const std::string& file);

}  // namespace zorvex
