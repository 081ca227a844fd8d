#include "transcode/convert_list_file.h"

#include <pugixml.hpp>

#include <cstring>
#include <sstream>

#include "foundation/stored_xml.h"
#include "platform/file_util.h"
#include "transcode/convert_param.h"

namespace zorvex {

namespace {

struct Attribute {
    const char* name;
    std::string LISTITEM_ST::*field;
};

constexpr Attribute kAttributes[] = {
    {"VideoName", &LISTITEM_ST::VideoName},     {"VideoPath", &LISTITEM_ST::VideoPath},
    {"VideoSize", &LISTITEM_ST::VideoSize},     {"VideoScreenPath", &LISTITEM_ST::VideoScreenPath},
    {"VideoTime", &LISTITEM_ST::VideoTime},     {"VideoWidth", &LISTITEM_ST::VideoWidth},
    {"VideoHeight", &LISTITEM_ST::VideoHeight},
};

// Root `root` with Item0, Item1, ... carrying the seven attributes and
// whatever `extra` appends; written atomically, or removed when empty.
template <typename T, typename Extra>
bool saveItems(const std::string& file, const char* root, const std::vector<T>& list, Extra extra) {
    if (list.empty()) return removeFile(file) || !pathExists(file);
    pugi::xml_document document;
    pugi::xml_node top = document.append_child(root);
    int n = 0;
    for (const auto& entry : list) {
        pugi::xml_node element = top.append_child(("Item" + std::to_string(n++)).c_str());
        for (const auto& attribute : kAttributes) {
            element.append_attribute(attribute.name) = (entry.item.*attribute.field).c_str();
        }
        extra(element, entry);
    }
    std::ostringstream text;
    document.save(text, "\t", pugi::format_default | pugi::format_no_declaration,
                  pugi::encoding_utf8);
    return writeFileAtomic(file, text.str());
}

}  // namespace

bool SaveConvertList(const std::string& file, const std::vector<ConvertListRecord>& records) {
    pugi::xml_document document;
    pugi::xml_node root = document.append_child("ConvertList");
    int n = 0;
    for (const auto& record : records) {
        pugi::xml_node element = root.append_child(("Item" + std::to_string(n++)).c_str());
        for (const auto& attribute : kAttributes) {
            element.append_attribute(attribute.name) = (record.item.*attribute.field).c_str();
        }
        element.append_attribute("VideoConvertType") = std::to_string(record.type).c_str();
    }
    std::ostringstream text;
    // No declaration of our own, as the file always was.
    document.save(text, "\t", pugi::format_default | pugi::format_no_declaration,
                  pugi::encoding_utf8);
    return writeFileAtomic(file, text.str());
}

ConvertListLoad LoadConvertList(const std::string& file) {
    ConvertListLoad load;
    pugi::xml_document document;
    StoredXml xml = ReadStoredXml(file, document);
    load.status = xml.status;
    load.problem = std::move(xml.problem);
    if (!xml.root) return load;
    pugi::xml_node root = xml.root;
    std::vector<ConvertListRecord>& records = load.records;
    for (pugi::xml_node element = root.first_child(); element; element = element.next_sibling()) {
        if (element.type() != pugi::node_element) continue;
        ConvertListRecord record;
        for (pugi::xml_attribute a = element.first_attribute(); a; a = a.next_attribute()) {
            for (const auto& attribute : kAttributes) {
                if (std::strcmp(a.name(), attribute.name) == 0)
                    record.item.*attribute.field = a.value();
            }
            if (std::strcmp(a.name(), "VideoConvertType") == 0) {
                record.type = static_cast<int>(leadingNumber(a.value()));
            }
        }
        records.push_back(std::move(record));
    }
    if (load.status == StoredFileStatus::Damaged)
        load.problem += "; " + std::to_string(load.records.size()) + " items recovered";
    return load;
}

bool SaveRunningConversions(const std::string& file, const std::vector<RunningConversion>& list) {
    return saveItems(file, "Converting", list, [](pugi::xml_node element, const auto& running) {
        element.append_attribute("OutputPath") = running.outputPath.c_str();
    });
}

std::vector<RunningConversion> LoadRunningConversions(const std::string& file) {
    std::vector<RunningConversion> list;
    pugi::xml_document document;
    StoredXml xml = ReadStoredXml(file, document);
    if (xml.status != StoredFileStatus::Ok) return list;
    for (pugi::xml_node element : xml.root.children()) {
        if (element.type() != pugi::node_element) continue;
        RunningConversion running;
        for (const auto& attribute : kAttributes)
            running.item.*attribute.field = element.attribute(attribute.name).value();
        running.outputPath = element.attribute("OutputPath").value();
        if (!running.item.VideoPath.empty() && !running.outputPath.empty())
            list.push_back(std::move(running));
    }
    return list;
}

bool SaveQueuedConversions(const std::string& file, const std::vector<QueuedConversion>& list) {
    return saveItems(file, "ConvertQueue", list, [](pugi::xml_node element, const auto& queued) {
        element.append_attribute("VideoConvertType") = std::to_string(queued.type).c_str();
        if (!queued.outputPath.empty())
            element.append_attribute("OutputPath") = queued.outputPath.c_str();
    });
}

QueuedConversionsLoad LoadQueuedConversions(const std::string& file) {
    QueuedConversionsLoad load;
    pugi::xml_document document;
    StoredXml xml = ReadStoredXml(file, document);
    load.status = xml.status;
    load.problem = std::move(xml.problem);
    if (!xml.root) return load;
    for (pugi::xml_node element : xml.root.children()) {
        if (element.type() != pugi::node_element) continue;
        QueuedConversion queued;
        for (const auto& attribute : kAttributes)
            queued.item.*attribute.field = element.attribute(attribute.name).value();
        queued.type =
            static_cast<int>(leadingNumber(element.attribute("VideoConvertType").value()));
        queued.outputPath = element.attribute("OutputPath").value();
        if (!queued.item.VideoPath.empty()) load.list.push_back(std::move(queued));
    }
    return load;
}

}  // namespace zorvex
