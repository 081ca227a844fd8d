#include "media_fixtures.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "platform/md5.h"
#include "platform/subprocess.h"
#include "support/test_support.h"

namespace zorvex::test {

namespace {

std::string runFfmpeg(std::vector<std::string> arguments) {
    std::vector<std::string> argv{"ffmpeg", "-v", "error", "-y"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    auto result = runToEnd(argv);
    if (!result || result->exitCode != 0) {
        throw std::runtime_error("ffmpeg could not make a fixture: " +
                                 (result ? result->output : std::string("not started")));
    }
    return result->output;
}

std::string ffmpegVersion() {
    auto result = runToEnd({"ffmpeg", "-version"});
    if (!result || result->exitCode != 0) return "unknown";
    return result->output.substr(0, result->output.find('\n'));
}

// Clips are made once per build folder, not once per test process: the
// cache name holds the FFmpeg and its arguments, so a change of either makes
// a new clip. The first process of a fresh build folder makes a clip while
// the others wait on its lock (ctest starts a handful at once, and each would
// otherwise encode every clip again); made under a temporary name and renamed,
// so a process killed midway leaves no half clip.
class ClipCache {
public:
    explicit ClipCache(std::string folder) : folder_(std::move(folder)) {
        std::filesystem::create_directories(folder_);
    }

    std::string clip(const std::string& name, const std::vector<std::string>& arguments) {
        std::string key = version_;
        for (const auto& argument : arguments) key += '\x1f' + argument;
        const std::string hash = md5Hex(key).substr(0, 16);
        // A folder per clip: tests see the clip under its own name.
        const std::string folder = folder_ + "/" + hash;
        const std::string path = folder + "/" + name;
        if (std::filesystem::exists(path)) return path;
        std::filesystem::create_directories(folder);
        const int lock = ::open((folder + "/.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (lock >= 0) ::flock(lock, LOCK_EX);  // unlocked by the close
        struct Closer {
            int fd;
            ~Closer() {
                if (fd >= 0) ::close(fd);
            }
        } closer{lock};
        if (std::filesystem::exists(path)) return path;
        std::string extension = name.substr(name.rfind('.'));
        std::string partial = folder + "/.partial-" + std::to_string(::getpid()) + extension;
        std::vector<std::string> withOutput = arguments;
        withOutput.push_back(partial);
        runFfmpeg(withOutput);
        std::filesystem::rename(partial, path);
        return path;
    }

private:
    const std::string folder_;
    const std::string version_ = ffmpegVersion();
};

}  // namespace

const MediaFixtures& mediaFixtures() {
    static TempDir folderForProcess;  // removed when the process ends
    static TempDir* folder = &folderForProcess;
    static const MediaFixtures fixtures = [] {
        ClipCache cache(ZORVEX_MEDIA_CACHE);
        MediaFixtures f;
        f.video1080 = cache.clip(
            "v1080.mp4", {"-f", "lavfi", "-i", "testsrc=size=1920x1080:rate=10", "-f", "lavfi",
                          "-i", "sine=frequency=440", "-t", "1", "-c:v", "libx264", "-preset",
                          "ultrafast", "-pix_fmt", "yuv420p", "-c:a", "aac", "-shortest"});
        f.video360 = cache.clip("v360.mkv", {"-f", "lavfi", "-i", "testsrc=size=320x160:rate=10",
                                             "-t", "2", "-c:v", "libx264", "-preset", "ultrafast"});
        f.audioOnly = cache.clip(
            "sound.m4a", {"-f", "lavfi", "-i", "sine=frequency=440", "-t", "2", "-c:a", "aac"});
        f.shortClip = cache.clip("short.avi",
                                 {"-f", "lavfi", "-i", "testsrc=size=320x240:rate=10", "-t", "1"});
        f.longClip =
            cache.clip("long.mp4", {"-f", "lavfi", "-i", "testsrc=size=640x360:rate=25", "-t", "40",
                                    "-c:v", "libx264", "-preset", "ultrafast"});
        f.longSound = cache.clip("picture3-sound12.mp4",
                                 {"-f", "lavfi", "-i", "testsrc=d=3", "-f", "lavfi", "-i",
                                  "sine=d=12", "-c:v", "libx264", "-preset", "ultrafast"});
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
