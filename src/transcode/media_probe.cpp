#include "transcode/media_probe_impl.h"

namespace zorvex {

MediaProbeResult ProbeMedia(const std::string& path) {
    return probeWithWrapper(path);
}

}  // namespace zorvex
