#pragma once

#include <pugixml.hpp>

#include <string>

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

}  // namespace zorvex
