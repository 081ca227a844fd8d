#include "transcode/convert_list_file.h"

#include <pugixml.hpp>

#include <cstring>

#include "foundation/stored_xml.h"
#include "media/output_name.h"
#include "platform/file_util.h"
#include "platform/utf16_text.h"
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
// whatever `extra` appends; written atomically, also when empty.
template <typename T, typename Extra>
bool writeItems(const std::string& file, const char* root, const std::vector<T>& list,
                Extra extra) {
    return WriteStoredItems(file, root, list, [&](pugi::xml_node element, const T& entry) {
        for (const auto& attribute : kAttributes) {
            element.append_attribute(attribute.name) = (entry.item.*attribute.field).c_str();
        }
        extra(element, entry);
    });
}

// Root `root` with Item0, Item1, ... carrying the seven attributes and
// whatever `extra` appends; written atomically, or removed when empty.
template <typename T, typename Extra>
bool saveItems(const std::string& file, const char* root, const std::vector<T>& list, Extra extra) {
    if (list.empty()) return removeFile(file) || !pathExists(file);
    return writeItems(file, root, list, extra);
}

// The seven attributes of an item.
LISTITEM_ST readItem(pugi::xml_node element) {
    LISTITEM_ST item;
    for (const auto& attribute : kAttributes)
        item.*attribute.field = element.attribute(attribute.name).value();
    return item;
}

// False, and counted, for an item whose name could lead its output elsewhere.
bool plainName(const LISTITEM_ST& item, ItemsLeftOut& leftOut) {
    if (IsPlainFileName(item.VideoName)) return true;
    if (leftOut.unsafeNames++ == 0) leftOut.firstUnsafe = item.VideoName;
    return false;
}

}  // namespace

bool SaveConvertList(const std::string& file, const std::vector<ConvertListRecord>& records) {
    return writeItems(file, "ConvertList", records, [](pugi::xml_node element, const auto& record) {
        element.append_attribute("VideoConvertType") = std::to_string(record.type).c_str();
    });
}

ConvertListLoad LoadConvertList(const std::string& file, std::size_t finishedRoom,
                                std::size_t otherRoom) {
    ConvertListLoad load;
    std::size_t finished = 0, others = 0;
    static_cast<StoredItemsRead&>(load) = ReadStoredItems(file, [&](pugi::xml_node element) {
        ++load.leftOut.items;
        const bool done = leadingNumber(element.attribute("VideoConvertType").value()) == TASK_DONE;
        std::size_t& taken = done ? finished : others;
        if (taken == (done ? finishedRoom : otherRoom)) {
            ++load.leftOut.noRoom;
            return false;
        }
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
        if (!plainName(record.item, load.leftOut)) return false;
        ++taken;
        load.records.push_back(std::move(record));
        return true;
    });
    return load;
}

bool SaveRunningConversions(const std::string& file, const std::vector<RunningConversion>& list) {
    return saveItems(file, "Converting", list, [](pugi::xml_node element, const auto& running) {
        element.append_attribute("OutputPath") = running.outputPath.c_str();
    });
}

std::vector<RunningConversion> LoadRunningConversions(const std::string& file) {
    std::vector<RunningConversion> list;
    StoredItemsRead read = ReadStoredItems(file, [&](pugi::xml_node element) {
        RunningConversion running{readItem(element), element.attribute("OutputPath").value()};
        if (running.item.VideoPath.empty() || running.outputPath.empty()) return false;
        // Taken in as a finished conversion and shared: only a job's own output.
        const std::string& output = running.outputPath;
        if (!IsPlainFileName(running.item.VideoName) || output.find("/../") != std::string::npos ||
            fileNamePart(output) != ConvertedFileName(running.item.VideoName)) {
            return false;
        }
        list.push_back(std::move(running));
        return true;
    });
    if (read.status != StoredFileStatus::Ok) list.clear();
    return list;
}

bool SaveQueuedConversions(const std::string& file, const std::vector<QueuedConversion>& list) {
    return saveItems(file, "ConvertQueue", list, [](pugi::xml_node element, const auto& queued) {
        element.append_attribute("VideoConvertType") = std::to_string(queued.type).c_str();
        if (!queued.outputPath.empty())
            element.append_attribute("OutputPath") = queued.outputPath.c_str();
        if (!queued.failReason.empty())
            element.append_attribute("FailReason") = KeptFailReason(queued.failReason).c_str();
    });
}

QueuedConversionsLoad LoadQueuedConversions(
    const std::string& file, std::size_t room,
    const std::function<bool(const QueuedConversion&)>& take) {
    QueuedConversionsLoad load;
    static_cast<StoredItemsRead&>(load) = ReadStoredItems(file, [&](pugi::xml_node element) {
        ++load.leftOut.items;
        if (load.list.size() == room) {
            ++load.leftOut.noRoom;
            return false;
        }
        QueuedConversion queued;
        queued.item = readItem(element);
        queued.type =
            static_cast<int>(leadingNumber(element.attribute("VideoConvertType").value()));
        queued.outputPath = element.attribute("OutputPath").value();
        queued.failReason = KeptFailReason(element.attribute("FailReason").value());
        if (queued.item.VideoPath.empty() || !plainName(queued.item, load.leftOut)) return false;
        if (take && !take(queued)) return false;
        load.list.push_back(std::move(queued));
        return true;
    });
    return load;
}

std::string KeptFailReason(std::string_view reason) {
    std::string line = toValidUtf8(reason);
    // FFmpeg's words may hold a tab or a line end; the row's tooltip shows one line.
    for (char& c : line) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    }
    if (utf16Length(line) <= kMaxFailReasonUnits) return line;
    return truncateUtf16Units(line, kMaxFailReasonUnits - 1) + "…";
}

}  // namespace zorvex
