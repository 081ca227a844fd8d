#pragma once

#include <string>

namespace zorvex::test {

// Small media files made once per test process by the real FFmpeg.
struct MediaFixtures {
    std::string video1080;    // 1920x1080, 1 s, with sound
    std::string video360;     // 320x160 (2:1), 2 s
    std::string audioOnly;    // 2 s of sine
    std::string shortClip;    // 320x240, 1 s
    std::string longClip;     // 640x360, 40 s: slow enough to stop midway
    std::string longSound;    // 320x240, 3 s of picture under 12 s of sound
    std::string broken;       // not media at all
    std::string unicodeClip;  // a copy of shortClip under a Chinese name
};
const MediaFixtures& mediaFixtures();

// Writes an executable shell script standing in for FFmpeg and returns its path.
std::string writeScript(const std::string& folder, const std::string& name,
                        const std::string& body);

}  // namespace zorvex::test
