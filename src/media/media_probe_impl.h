#pragma once
// The probe over MediaInfo's own loading wrapper. The wrapper keeps its state
// in statics of the including file and names the library by the macro
// MEDIAINFODLL_NAME, so a test can include this with another name. Everything
// here has internal linkage: each including file gets its own copy.

#include <MediaInfoDLL/MediaInfoDLL.h>

#include <mutex>
#include <optional>

#include "foundation/constants.h"
#include "media/media_probe.h"
#include "platform/file_util.h"
#include "platform/utf16_text.h"

namespace zorvex {
namespace {

bool libraryLoaded() {
    // The wrapper counts loads without a lock; one load for the process.
    static std::once_flag once;
    static bool loaded = false;
    std::call_once(once, [] { loaded = MediaInfoDLL_Load() > 0 && MediaInfo_Module != nullptr; });
    return loaded;
}

MediaProbeResult probeWithWrapper(const std::string& path) {
    MediaProbeResult result;
    if (!libraryLoaded()) {
        result.duration = result.fileSize = result.width = result.height = result.videoDuration =
            kMediaInfoLoadFailure;
        return result;
    }
    void* handle = MediaInfo_New();
    if (!handle) {
        result.duration = result.fileSize = result.width = result.height = result.videoDuration =
            kMediaInfoLoadFailure;
        return result;
    }
    // MediaInfo decodes the name first and cannot open one that is not
    // UTF-8 (a name from an old archive); by its descriptor it reads the file.
    // Opened first through the check every media read takes: a FIFO or a
    // device would hold MediaInfo's own open for good.
    OpenedForReading opened(path);
    std::string name = isValidUtf8(path) ? path : opened.alias();
    if (!opened.alias().empty()) MediaInfo_Open(handle, name.c_str());
    auto get = [&](MediaInfo_stream_C kind, const char* parameter) {
        const char* text =
            MediaInfo_Get(handle, kind, 0, parameter, MediaInfo_Info_Text, MediaInfo_Info_Name);
        return std::string(text ? text : "");
    };
    result.duration = get(MediaInfo_Stream_General, "Duration");
    result.fileSize = get(MediaInfo_Stream_General, "FileSize");
    result.width = get(MediaInfo_Stream_Video, "Width");
    result.height = get(MediaInfo_Stream_Video, "Height");
    result.videoDuration = get(MediaInfo_Stream_Video, "Duration");
    MediaInfo_Close(handle);
    MediaInfo_Delete(handle);
    return result;
}

}  // namespace
}  // namespace zorvex
