#pragma once

#include "app/startup.h"
#include "library/video_library.h"
#include "update/update_context.h"

namespace zorvex {

// The library's context over a started core: its catalogue, the relation
// file in the home folder, the conversion folder of the settings, FFmpeg,
// the thumbnail paths and the media probe. The same for the window and the
// headless runner.
VideoLibraryContext MakeLibraryContext(AppCore& core, const std::string& home, Executor& executor,
                                       VideoLibraryListener& listener);

// The update module's context: the setting "UpdateServer", the MAC in use and
// the download folder, each read when the module asks.
UpdateContext MakeUpdateContext();

}  // namespace zorvex
