#pragma once

#include <chrono>
#include <string>

namespace zorvex {

// Which program the desktop would open a file with, as xdg-open decides it:
// by the file's type that xdg-mime reports and that type's default
// application.
struct DesktopHandler {
    enum class Answer {
        Found,    // application names its desktop entry
        None,     // xdg-mime answered: no program takes this type
        Unknown,  // xdg-mime is missing, failed or did not answer in time
    };
    Answer answer = Answer::Unknown;
    std::string type;         // e.g. "application/x-ms-dos-executable", when known
    std::string application;  // e.g. "wine.desktop", with Found
};

// Asks xdg-mime (found on PATH) twice, each within bound; blocks meanwhile.
// Any thread.
DesktopHandler FindDesktopHandler(const std::string& path,
                                  std::chrono::milliseconds bound = std::chrono::seconds(3));

}  // namespace zorvex
