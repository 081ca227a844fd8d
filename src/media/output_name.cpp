#include "media/output_name.h"

#include "platform/file_util.h"

namespace zorvex {

std::string ConvertedFileName(const std::string& fileName) {
    auto dot = fileName.rfind('.');
    std::size_t cut = dot == std::string::npos ? 0 : dot + 1;
    std::string extension = fileName.substr(cut);
    if (extension == "mp4" || extension == "MP4") return fileName;
    return fileName.substr(0, cut) + "mp4";
}

std::string ConvertedOutputPath(const std::string& convertFolder, const std::string& fileName) {
    std::string path = convertFolder + "/" + ConvertedFileName(fileName);
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    // A folder set as "converted/" would give "converted//clip.mp4", which
    // the card, the link file and the relation keep, and which a user naming
    // the file never types.
    return normalizedPath(path);
}

}  // namespace zorvex
