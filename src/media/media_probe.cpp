#include "media/media_probe.h"

#include <cctype>
#include <filesystem>

#include "foundation/constants.h"
#include "platform/executable_path.h"
#include "platform/subprocess.h"

namespace zorvex {

namespace {

// zorvex-probe lies in libexec/zorvex/, in the build tree as installed; every
// program of ours (and the window program, which passes for zorvex) finds it
// from the bin folder.
const std::string& probeProgram() {
    static const std::string program =
        (std::filesystem::path(currentExecutablePath()).parent_path() / ZORVEX_PROBE_PROGRAM)
            .lexically_normal();
    return program;
}

MediaProbeResult failedProbe() {
    MediaProbeResult result;
    result.duration = result.fileSize = result.width = result.height = result.videoDuration =
        kMediaInfoLoadFailure;
    return result;
}

}  // namespace

MediaProbeResult ProbeMedia(const std::string& path) {
    auto started = Subprocess::start({probeProgram(), path}).process;
    if (!started) return failedProbe();
    std::string output;
    while (started->read(output, std::chrono::seconds(1))) {
    }
    const int status = started->wait();
    MediaProbeResult result;
    std::string* texts[] = {&result.duration, &result.fileSize, &result.width, &result.height,
                            &result.videoDuration};
    std::size_t at = 0;
    for (std::string* text : texts) {
        const std::size_t end = output.find('\0', at);
        if (end == std::string::npos) break;
        *text = output.substr(at, end - at);
        at = end + 1;
    }
    // A probe that died on a file tells as much as MediaInfo finding nothing.
    if (status != 0) return MediaProbeResult{};
    return result;
}

std::int64_t leadingNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    std::int64_t value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        if (value > (INT64_MAX - 9) / 10) break;
        value = value * 10 + (text[i] - '0');
    }
    return negative ? -value : value;
}

}  // namespace zorvex
