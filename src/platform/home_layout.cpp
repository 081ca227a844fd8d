#include "platform/home_layout.h"

namespace zorvex {

namespace {

bool isPlainName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

}  // namespace

std::string HomeLayout::below(std::string_view relative) const {
    std::string path = home_;
    path += '/';
    path += relative;
    return path;
}

std::string HomeLayout::configFile() const {
    return below("config.ini");
}

std::string HomeLayout::logFolder() const {
    return below("PTTLog");
}

std::string HomeLayout::convertList() const {
    return below("ConvertList.xml");
}

std::string HomeLayout::videoRelation() const {
    return below("VideoRelation.xml");
}

std::string HomeLayout::documentRoot() const {
    return below("file_root");
}

std::string HomeLayout::thumbnailFolder() const {
    std::string folder = below(kThumbnailFolder);
    folder.pop_back();
    return folder;
}

std::string HomeLayout::linkFile(std::string_view key) const {
    if (!isPlainName(key)) return {};
    return documentRoot() + '/' + std::string(key);
}

std::string HomeLayout::thumbnail(std::string_view key) const {
    if (!isPlainName(key)) return {};
    return below(kThumbnailFolder) + std::string(key) + kThumbnailExtension;
}

std::string HomeLayout::appDataFolder() const {
    return below("appData");
}

std::string HomeLayout::convertedFolder() const {
    return appDataFolder() + "/converted/";
}

std::string HomeLayout::downloadFolder() const {
    return appDataFolder() + "/download/";
}

std::string HomeLayout::conversionFolders() const {
    return appDataFolder() + "/ConvertFolders.txt";
}

std::string HomeLayout::runningConversions() const {
    return appDataFolder() + "/Converting.xml";
}

std::string HomeLayout::queuedConversions() const {
    return appDataFolder() + "/ConvertQueue.xml";
}

std::string HomeLayout::shippedFolder(std::string_view name) const {
    return below(name);
}

}  // namespace zorvex
