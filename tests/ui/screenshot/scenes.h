#pragma once

#include <QImage>
#include <QString>

#include <functional>
#include <string>
#include <vector>

// The pictures scripts/screenshot makes. A scene builds real windows on real
// core objects (clips made by FFmpeg, the library, the queue) and returns what
// a user would see. Add a scene by adding it to scenes(); the main-window
// captures belong here too.
namespace zorvex::screenshot {

struct Scene {
    const char* name;         // the file is <name>.png, or <name>@2x.png at scale 2
    const char* description;  // one line for --list
    std::function<QImage(const std::string& workFolder)> render;
};

const std::vector<Scene>& scenes();

// Runs the GUI thread's events until the condition holds or the seconds pass;
// false when they passed.
bool pumpUntil(const std::function<bool()>& condition, int seconds);

// A clip made by FFmpeg from one of its own test sources; throws when it fails.
void makeClip(const std::string& path, const std::string& source, int seconds);

}  // namespace zorvex::screenshot
