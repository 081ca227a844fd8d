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
    if (list.empty()) return removeFile(file) || !pathExists(file);
    pugi::xml_document document;
    pugi::xml_node root = document.append_child("Converting");
    int n = 0;
    for (const auto& running : list) {
        pugi::xml_node element = root.append_child(("Item" + std::to_string(n++)).c_str());
        for (const auto& attribute : kAttributes) {
            element.append_attribute(attribute.name) = (running.item.*attribute.field).c_str();
        }
        element.append_attribute("OutputPath") = running.outputPath.c_str();
    }
    std::ostringstream text;
    document.save(text, "\t", pugi::format_default | pugi::format_no_declaration,
                  pugi::encoding_utf8);
    return writeFileAtomic(file, text.str());
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

}  // namespace zorvex
