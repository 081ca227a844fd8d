#include "foundation/stored_xml.h"

#include <sstream>
#include <utility>

#include "platform/file_util.h"

namespace zorvex {

namespace {

// The parser keeps what it read before an error, including the element it was
// in: one whose start tag was cut holds attributes cut short ("/c/2.mp" for
// "/c/2.mp4"), so it goes. That element is the last one made.
void dropCutElement(pugi::xml_node root, pugi::xml_parse_status status) {
    if (status != pugi::status_bad_start_element && status != pugi::status_bad_attribute) return;
    pugi::xml_node last = root;
    while (pugi::xml_node child = last.last_child()) {
        if (child.type() != pugi::node_element) break;
        last = child;
    }
    if (last != root) last.parent().remove_child(last);
}

}  // namespace

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
        if (xml.root) dropCutElement(xml.root, parsed.status);
    }
    return xml;
}

bool WriteStoredXml(const std::string& path, const pugi::xml_document& document) {
    std::ostringstream text;
    document.save(text, "\t", pugi::format_default | pugi::format_no_declaration,
                  pugi::encoding_utf8);
    return writeFileAtomic(path, text.str());
}

}  // namespace zorvex
