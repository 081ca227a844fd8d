#pragma once

#include <string>
#include <string_view>
#include <utility>

namespace zorvex {

// Thumbnails, relative to the home folder: file_root/image/<key>.jpg. Phones
// fetch them as /image/<key>.jpg, so the pieces cannot move.
inline constexpr const char* kThumbnailFolder = "file_root/image/";
inline constexpr const char* kThumbnailExtension = ".jpg";

// Where every working file sits below the home folder: the one place that
// knows the layout, which old installations and phones depend on. Pure path
// arithmetic over the home folder's path: it never touches the file system,
// so every module may ask it, the service too. Paths use '/'; folders carry
// no trailing '/' unless stated. A value: copy it freely, any thread.
class HomeLayout {
public:
    explicit HomeLayout(std::string home) : home_(std::move(home)) {}

    const std::string& home() const { return home_; }

    std::string configFile() const;     // config.ini
    std::string logFolder() const;      // PTTLog
    std::string convertList() const;    // ConvertList.xml
    std::string videoRelation() const;  // VideoRelation.xml

    // file_root: the link files, and the folder the HTTP server serves.
    std::string documentRoot() const;
    // file_root/image
    std::string thumbnailFolder() const;
    // file_root/<key> and file_root/image/<key>.jpg. "" for a name that is
    // not one plain path component (empty, "." or "..", holding '/' or a
    // zero byte), so that no key can name a file outside its folder or the
    // folder itself; other bytes are kept as they are.
    std::string linkFile(std::string_view key) const;
    std::string thumbnail(std::string_view key) const;

    // appData
    std::string appDataFolder() const;
    // appData/converted/, with the trailing '/' that config.ini stores.
    std::string convertedFolder() const;
    // appData/download/, with its trailing '/'.
    std::string downloadFolder() const;
    // appData/ConvertFolders.txt: every folder conversions were written
    // into, one a line, so that a crash's leftovers are found there after the
    // setting changed.
    std::string conversionFolders() const;
    // appData/Converting.xml: the conversions under way, so that an output
    // finished just before a crash is taken in at the next start.
    std::string runningConversions() const;
    // appData/ConvertQueue.xml: the tasks not finished yet, in their order,
    // so that a restart or a crash loses none.
    std::string queuedConversions() const;

    // A shipped folder ("SkinRes", "ffmpeg") as a home folder may hold it.
    std::string shippedFolder(std::string_view name) const;

private:
    std::string below(std::string_view relative) const;

    std::string home_;
};

}  // namespace zorvex
