#pragma once

#include <string>
#include <vector>

#include "foundation/stored_file.h"

namespace zorvex {

// Which source a converted video came from; paths with '/'.
struct VIDEO_RELATION_ST {
    std::string VideoSrcPath;
    std::string VideoTargetPath;
};

// Root "VideoRelation" with Item0, Item1, ... carrying "VideoSrcPath" and
// "VideoTargetPath" in that order ('\' written as '/'). Atomic; false when
// the file could not be written.
bool SaveRelations(const std::string& file, const std::vector<VIDEO_RELATION_ST>& relations);
struct RelationsLoad : StoredItemsRead {
    std::vector<VIDEO_RELATION_ST> relations;  // when Ok, or those before the damage
};

// Every child of the root whose two attributes are both non-empty, in order,
// read as ReadStoredItems reads. The caller decides what to do with a
// damaged file.
RelationsLoad LoadRelations(const std::string& file);

}  // namespace zorvex
