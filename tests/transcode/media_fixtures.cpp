#include "media_fixtures.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "platform/subprocess.h"
#include "support/test_support.h"

namespace zorvex::test {

namespace {

void make(const std::vector<std::string>& arguments) {
    std::vector<std::string> argv{"ffmpeg", "-v", "error", "-y"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    auto result = runToEnd(argv);
    if (!result || result->exitCode != 0) {
        throw std::runtime_error("ffmpeg could not make a fixture: " +
                                 (result ? result->output : std::string("not started")));
    }
}

}  // namespace

const MediaFixtures& mediaFixtures() {
    static TempDir folderForProcess;  // removed when the process ends
    static TempDir* folder = &folderForProcess;
    static const MediaFixtures fixtures = [] {
        MediaFixtures f;
        f.video1080 = folder->file("v1080.mp4");
        make({"-f",      "lavfi",     "-i",        "testsrc=size=1920x1080:rate=10",
              "-f",      "lavfi",     "-i",        "sine=frequency=440",
              "-t",      "3",         "-c:v",      "libx264",
              "-preset", "ultrafast", "-pix_fmt",  "yuv420p",
              "-c:a",    "aac",       "-shortest", f.video1080});
        f.video360 = folder->file("v360.mkv");
        make({"-f", "lavfi", "-i", "testsrc=size=1280x640:rate=10", "-t", "2", "-c:v", "libx264",
              "-preset", "ultrafast", f.video360});
        f.audioOnly = folder->file("sound.m4a");
        make({"-f", "lavfi", "-i", "sine=frequency=440", "-t", "2", "-c:a", "aac", f.audioOnly});
        f.shortClip = folder->file("short.avi");
        make({"-f", "lavfi", "-i", "testsrc=size=320x240:rate=10", "-t", "1", f.shortClip});
        f.longClip = folder->file("long.mp4");
        make({"-f", "lavfi", "-i", "testsrc=size=640x360:rate=25", "-t", "40", "-c:v", "libx264",
              "-preset", "ultrafast", f.longClip});
        f.broken = folder->write("broken.mp4", "this is not a video at all");
        f.unicodeClip = folder->file("视频 片段.avi");
        std::filesystem::copy_file(f.shortClip, f.unicodeClip);
        return f;
    }();
    return fixtures;
}

std::string writeScript(const std::string& folder, const std::string& name,
                        const std::string& body) {
    std::string path = folder + "/" + name;
    TempDir::writeTo(path, "#!/bin/sh\n" + body);
    ::chmod(path.c_str(), 0755);
    return path;
}

}  // namespace zorvex::test
