#include "populated_home.h"

#include <stdexcept>
#include <vector>

#include "library/video_library.h"
#include "media/media_probe.h"
#include "platform/file_util.h"
#include "platform/home_layout.h"
#include "platform/md5.h"
#include "platform/subprocess.h"
#include "service/service.h"
#include "transcode/conversion_queue.h"
#include "transcode/convert_list_file.h"

namespace zorvex::demo {
namespace {

struct Clip {
    const char* name;
    const char* source;
    int seconds;
};

// A dozen videos as a user would collect them, each with its own picture.
// The two long ones are converted while the window is looked at.
const Clip kClips[] = {
    {"海边日落.mp4", "gradients=size=640x360:rate=10:seed=11:speed=0.01", 2},
    {"holiday_in_rome.mp4", "smptehdbars=size=640x360:rate=10", 2},
    {"alps_360_panorama.mkv", "gradients=size=1280x640:rate=25:seed=9:speed=0.01:type=radial", 60},
    {"concert_front_row.mov", "gradients=size=1280x720:rate=25:seed=3:speed=0.01", 40},
    {"ocean.avi", "gradients=size=640x360:rate=10:seed=5:speed=0.01", 2},
    {"城市夜景航拍.mp4", "gradients=size=640x360:rate=10:seed=21:speed=0.01:type=radial", 2},
    {"rollercoaster_3d.mp4", "testsrc2=size=640x360:rate=10", 2},
    {"forest_walk.mp4", "gradients=size=640x360:rate=10:seed=7:speed=0.01", 2},
    {"drone_flight.mkv", "gradients=size=640x360:rate=10:seed=17:speed=0.01:type=circular", 2},
    {"kids_party.mp4", "gradients=size=640x360:rate=10:seed=13:speed=0.01:type=spiral", 2},
    {"old_trip.avi", "gradients=size=640x360:rate=10:seed=29:speed=0.01", 2},
    {"museum_tour.flv", "pal100bars=size=640x360:rate=10", 2},
};
constexpr const char* kConverted = "rollercoaster_3d.mp4";
constexpr const char* kLost = "old_trip.avi";
constexpr const char* kInterrupted = "ocean.avi";
constexpr const char* kRunning = "alps_360_panorama.mkv";
constexpr const char* kWaiting = "concert_front_row.mov";

std::string videoFolder(const std::string& home) {
    return home + "/videos";
}

void makeClip(const std::string& path, const Clip& clip) {
    makeDirectories(parentFolder(path));
    // A camera's bitrate, so that the sizes shown are those of real videos.
    auto result =
        runToEnd({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", clip.source, "-t",
                  std::to_string(clip.seconds), "-pix_fmt", "yuv420p", "-b:v", "8M", path});
    if (!result || result->exitCode != 0)
        throw std::runtime_error("ffmpeg could not make " + path + ": " +
                                 (result ? result->output : std::string("not started")));
}

bool settled(const VideoLibrary& library) {
    for (const auto& item : library.items()) {
        if (!item.card->examined()) return false;
        if (item.card->kind() != KIND_MISSING && !item.card->thumbUsable()) return false;
    }
    return !library.examining();
}

void checkOnly(VideoLibrary& library, std::initializer_list<std::string> names) {
    library.SetAllChecked(false);
    for (const auto& item : library.items()) {
        for (const std::string& name : names)
            if (item.card->name() == name && item.card->kind() != KIND_CONVERTED)
                library.ToggleChecked(item.itemId);
    }
}

std::optional<int> stateOf(const ConversionQueue& queue, const std::string& key) {
    auto task = queue.task(key);
    if (!task) return std::nullopt;
    return task->state;
}

}  // namespace

bool IsPrepared(const std::string& home) {
    return pathExists(home + "/.demo-prepared");
}

void Prepare(const std::string& home, VideoLibrary& library, ConversionQueue& queue,
             const Pump& pump) {
    std::vector<std::string> paths;
    for (const Clip& clip : kClips) {
        paths.push_back(videoFolder(home) + "/" + clip.name);
        if (!isRegularFile(paths.back())) makeClip(paths.back(), clip);
    }
    library.AddDropped(paths);
    if (!pump([&] { return library.items().size() == paths.size() && settled(library); }, 300))
        throw std::runtime_error("the videos were not examined");

    // One converted for real, by the queue as "转码" asks it.
    checkOnly(library, {kConverted});
    if (!library.QueueConversion().queued) throw std::runtime_error("no conversion was queued");
    if (!pump(
            [&] {
                return library.items().size() == paths.size() + 1 && settled(library) &&
                       !queue.AnyRunning();
            },
            600))
        throw std::runtime_error("the conversion did not finish");
    library.SetAllChecked(false);
    queue.SaveQueueFile();
    removeFile(videoFolder(home) + "/" + kLost);  // lost since: its card keeps its thumbnail
    writeFileAtomic(home + "/.demo-prepared", "made by zorvex-window-demo --prepare\n");
}

void AddUnfinishedTask(const std::string& home) {
    const std::string file = HomeLayout(home).convertList();
    std::vector<ConvertListRecord> records = LoadConvertList(file).records;
    const std::string source = videoFolder(home) + "/" + kInterrupted;
    const MediaProbeResult probe = ProbeMedia(source);
    ConvertListRecord unfinished;
    unfinished.item.VideoName = kInterrupted;
    unfinished.item.VideoPath = source;
    unfinished.item.VideoSize = probe.fileSize;
    unfinished.item.VideoTime = probe.duration;
    unfinished.item.VideoWidth = probe.width;
    unfinished.item.VideoHeight = probe.height;
    unfinished.item.VideoScreenPath = HomeLayout(home).thumbnail(md5Hex(source));
    unfinished.type = TASK_RUNNING;
    records.insert(records.begin(), unfinished);
    SaveConvertList(file, records);
}

bool StartConversions(const std::string& home, VideoLibrary& library, ConversionQueue& queue,
                      const std::function<void()>& convert, const Pump& pump) {
    // A source that turned into something else: its conversion fails.
    const std::string source = videoFolder(home) + "/holiday_in_rome.mp4";
    const std::string broken = home + "/broken/holiday_in_rome (copy).mp4";
    makeDirectories(parentFolder(broken));
    const MediaProbeResult probe = ProbeMedia(source);
    writeFileAtomic(broken, "this is no longer a video");
    const std::string failing = queue.AddTask("holiday_in_rome (copy).mp4", broken, probe.fileSize,
                                              {}, probe.duration, probe.width, probe.height);
    queue.Refresh();
    if (!pump([&] { return stateOf(queue, failing) == TASK_FAILED; }, 60)) return false;

    checkOnly(library, {kRunning, kWaiting});
    convert();
    return pump(
        [&] {
            for (const TaskView& task : queue.tasks())
                if (task.state == TASK_RUNNING && task.progress >= 3) return true;
            return false;
        },
        120);
}

}  // namespace zorvex::demo
