#pragma once

#include <pugixml.hpp>

#include <string>

#include "foundation/stored_file.h"

namespace zorvex {

// A stored XML file (ConvertList.xml, VideoRelation.xml) read as
// ReadStoredFile reads it and parsed into document: Damaged, with the
// parser's reason, for XML that is not well formed or has no root element.
struct StoredXml {
    StoredFileStatus status = StoredFileStatus::Missing;
    std::string problem;  // why it is damaged, for the log
    pugi::xml_node root;  // the document element when Ok
};
StoredXml ReadStoredXml(const std::string& path, pugi::xml_document& document);

}  // namespace zorvex
