#include "library/relation_file.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cstring>
#include <sstream>

#include "foundation/stored_xml.h"
#include "platform/file_util.h"

namespace zorvex {

namespace {
std::string forwardSlashes(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}
}  // namespace

bool SaveRelations(const std::string& file, const std::vector<VIDEO_RELATION_ST>& relations) {
    pugi::xml_document document;
    pugi::xml_node root = document.append_child("VideoRelation");
    int index = 0;
    for (const auto& relation : relations) {
        pugi::xml_node item = root.append_child(("Item" + std::to_string(index++)).c_str());
        item.append_attribute("VideoSrcPath") = forwardSlashes(relation.VideoSrcPath).c_str();
        item.append_attribute("VideoTargetPath") = forwardSlashes(relation.VideoTargetPath).c_str();
    }
    std::ostringstream text;
    document.save(text, "\t", pugi::format_default | pugi::format_no_declaration,
                  pugi::encoding_utf8);
    return writeFileAtomic(file, text.str());
}

RelationsLoad LoadRelations(const std::string& file) {
    RelationsLoad load;
    pugi::xml_document document;
    StoredXml xml = ReadStoredXml(file, document);
    load.status = xml.status;
    load.problem = std::move(xml.problem);
    if (!xml.root) return load;
    pugi::xml_node root = xml.root;
    std::vector<VIDEO_RELATION_ST>& relations = load.relations;
    for (pugi::xml_node item : root.children()) {
        if (item.type() != pugi::node_element) continue;
        VIDEO_RELATION_ST relation;
        for (pugi::xml_attribute a : item.attributes()) {
            if (std::strcmp(a.name(), "VideoSrcPath") == 0) relation.VideoSrcPath = a.value();
            if (std::strcmp(a.name(), "VideoTargetPath") == 0) relation.VideoTargetPath = a.value();
        }
        if (!relation.VideoSrcPath.empty() && !relation.VideoTargetPath.empty()) {
            relations.push_back(std::move(relation));
        }
    }
    if (load.status == StoredFileStatus::Damaged)
        load.problem += "; " + std::to_string(load.relations.size()) + " items recovered";
    return load;
}

}  // namespace zorvex
