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
    const std::string name = ConvertedFileName(fileName);
    // The folder is remembered for the clean-up of partial files and the
    // output is shared: neither may end up anywhere else.
    if (name.find('/') != std::string::npos || name == "." || name == "..") return {};
    std::string folder = convertFolder;
    for (char& c : folder) {
        if (c == '\\') c = '/';
    }
    // A folder set as "converted/" would give "converted//clip.mp4", which
    // the card, the link file and the relation keep, and which a user naming
    // the file never types.
    return normalizedPath(folder + "/" + name);
}

bool IsPlainFileName(std::string_view name) {
    std::size_t partStart = 0;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        if (i == name.size() || name[i] == '\\') {
            if (name.substr(partStart, i - partStart) == "..") return false;
            partStart = i + 1;
            continue;
        }
        const auto c = static_cast<unsigned char>(name[i]);
        if (c == '/' || c < 0x20 || c == 0x7F) return false;
    }
    return true;
}

}  // namespace zorvex
