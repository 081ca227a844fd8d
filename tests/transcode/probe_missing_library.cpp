// The probe built against a library name that does not exist, as on a
// machine without MediaInfo.
#define MEDIAINFODLL_NAME "libmediainfo-not-installed.so.0"
#include "media/media_probe_impl.h"

namespace zorvex {

MediaProbeResult ProbeMediaWithoutLibrary(const std::string& path) {
    return probeWithWrapper(path);
}

}  // namespace zorvex
