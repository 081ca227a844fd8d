#include "library/relation_file.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cstring>

#include "foundation/stored_xml.h"

namespace zorvex {

namespace {
std::string forwardSlashes(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}
}  // namespace

bool SaveRelations(const std::string& file, const std::vector<VIDEO_RELATION_ST>& relations) {
    return WriteStoredItems(file, "VideoRelation", relations,
                            [](pugi::xml_node item, const VIDEO_RELATION_ST& relation) {
                                item.append_attribute("VideoSrcPath") =
                                    forwardSlashes(relation.VideoSrcPath).c_str();
                                item.append_attribute("VideoTargetPath") =
                                    forwardSlashes(relation.VideoTargetPath).c_str();
                            });
}

RelationsLoad LoadRelations(const std::string& file) {
    RelationsLoad load;
    static_cast<StoredItemsRead&>(load) = ReadStoredItems(file, [&](pugi::xml_node item) {
        VIDEO_RELATION_ST relation;
        for (pugi::xml_attribute a : item.attributes()) {
            if (std::strcmp(a.name(), "VideoSrcPath") == 0) relation.VideoSrcPath = a.value();
            if (std::strcmp(a.name(), "VideoTargetPath") == 0) relation.VideoTargetPath = a.value();
        }
        if (relation.VideoSrcPath.empty() || relation.VideoTargetPath.empty()) return false;
        load.relations.push_back(std::move(relation));
        return true;
    });
    return load;
}

}  // namespace zorvex
