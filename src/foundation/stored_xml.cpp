#include "foundation/stored_xml.h"

#include <utility>

namespace zorvex {

StoredXml ReadStoredXml(const std::string& path, pugi::xml_document& document) {
    StoredXml xml;
    StoredFile stored = ReadStoredFile(path);
    xml.status = stored.status;
    xml.problem = std::move(stored.problem);
    if (stored.status != StoredFileStatus::Ok) return xml;
    pugi::xml_parse_result parsed = document.load_buffer(stored.data.data(), stored.data.size());
    xml.root = document.document_element();
    if (!parsed || !xml.root) {
        xml.status = StoredFileStatus::Damaged;
        xml.problem = parsed ? "no root element" : parsed.description();
    }
    return xml;
}

}  // namespace zorvex
