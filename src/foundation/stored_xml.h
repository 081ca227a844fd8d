#pragma once

#include <pugixml.hpp>

#include <cstddef>
#include <string>
#include <utility>

#include "foundation/stored_file.h"

namespace zorvex {

// A stored XML file (ConvertList.xml, VideoRelation.xml) read as
// ReadStoredFile reads it and parsed into document: Damaged, with the
// parser's reason, for XML that is not well formed or has no root element.
// A file torn by a crash or a full disk is Damaged, yet keeps root: what was
// parsed before the damage, without the element whose start tag it cut.
struct StoredXml {
    StoredFileStatus status = StoredFileStatus::Missing;
    std::string problem;  // why it is damaged, for the log
    pugi::xml_node root;  // the document element when Ok, or what of it came before the damage
};
StoredXml ReadStoredXml(const std::string& path, pugi::xml_document& document);

// Saves document tab-indented, without a declaration (as these files always
// were), to a temporary file renamed over path. False when it could not be
// written.
bool WriteStoredXml(const std::string& path, const pugi::xml_document& document);

// A root element named root with Item0, Item1, ..., one for each entry of
// list, filled by fill(element, entry); written as WriteStoredXml writes.
template <typename List, typename Fill>
bool WriteStoredItems(const std::string& path, const char* root, const List& list, Fill fill) {
    pugi::xml_document document;
    pugi::xml_node top = document.append_child(root);
    std::size_t n = 0;
    for (const auto& entry : list)
        fill(top.append_child(("Item" + std::to_string(n++)).c_str()), entry);
    return WriteStoredXml(path, document);
}

// Hands every element child of a stored file's root, whatever its name, in
// document order, to keep(element), which says whether it took the item.
// Reads only. Damaged as ReadStoredXml says: of a torn file, the whole items
// before the tear are still handed over, and the problem tells how many were
// taken.
template <typename Keep>
StoredItemsRead ReadStoredItems(const std::string& path, Keep keep) {
    pugi::xml_document document;
    StoredXml xml = ReadStoredXml(path, document);
    StoredItemsRead read{xml.status, std::move(xml.problem)};
    if (!xml.root) return read;
    std::size_t kept = 0;
    for (pugi::xml_node element : xml.root.children()) {
        if (element.type() == pugi::node_element && keep(element)) ++kept;
    }
    if (read.status == StoredFileStatus::Damaged)
        read.problem += "; " + std::to_string(kept) + " items recovered";
    return read;
}

}  // namespace zorvex
