#include "app/core_wiring.h"

#include "foundation/paths.h"
#include "foundation/settings.h"
#include "foundation/system_info.h"
#include "platform/home_layout.h"
#include "transcode/ffmpeg_tool.h"
#include "transcode/media_probe.h"

namespace zorvex {

VideoLibraryContext MakeLibraryContext(AppCore& core, const std::string& home, Executor& executor,
                                       VideoLibraryListener& listener) {
    VideoLibraryContext context;
    context.catalogue = core.catalogue.get();
    context.executor = &executor;
    context.listener = &listener;
    context.relationFile = HomeLayout(home).videoRelation();
    context.convertFolder = [] { return GetConvertPath(); };
    context.ffmpeg = [] { return LocateFfmpeg(); };
    context.thumbnailPathFor = [](const std::string& key) { return ThumbnailPath(key); };
    context.probe = [](const std::string& path) { return ProbeMedia(path); };
    return context;
}

UpdateContext MakeUpdateContext() {
    UpdateContext context;
    context.updateServer = [] { return g_pSettings()->UpdateServer; };
    context.mac = [] { return GetLocalMac(); };
    context.downloadFolder = [] { return GetDownloadDir(); };
    return context;
}

}  // namespace zorvex
