// zorvex-probe PATH: MediaInfo's five texts of one file, each ended by a zero
// byte, on standard output. MediaInfo cannot be unloaded once opened (it
// binds unique C++ symbols) and brings libcurl and its TLS libraries with it,
// so the application probes here rather than keep them all for good.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>

#include "media/media_probe_impl.h"
#include "platform/utf8_locale.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: zorvex-probe PATH\n", stderr);
        return 2;
    }
    // Standard error shares the caller's pipe: MediaInfo's own remarks would
    // read as texts.
    const int quiet = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (quiet >= 0) ::dup2(quiet, STDERR_FILENO);
    // Opening MediaInfo costs more than the probe itself: on a busy machine
    // the window's thread goes first.
    ::setpriority(PRIO_PROCESS, 0, 10);
    // MediaInfo decodes names by the locale, as the application does.
    zorvex::EnsureUtf8Locale();
    const zorvex::MediaProbeResult result = zorvex::probeWithWrapper(argv[1]);
    for (const std::string* text : {&result.duration, &result.fileSize, &result.width,
                                    &result.height, &result.videoDuration}) {
        std::fwrite(text->c_str(), 1, text->size() + 1, stdout);
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
