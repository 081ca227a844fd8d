#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

namespace zorvex::test {

// A fresh folder below the system's temporary folder, removed with its content.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // path() + "/" + relative
    std::string file(std::string_view relative) const;
    // Writes a file (creating its folders) and returns its full path.
    std::string write(std::string_view relative, std::string_view content) const;
    // Writes a file at a full path, creating its folders.
    static void writeTo(const std::string& path, std::string_view content);

private:
    std::string path_;
};

// Polls the condition until it holds or the bound passes; never a bare sleep.
bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds bound = std::chrono::seconds(20));

std::string readFile(const std::string& path);

// True while some process's command line holds the text (say, an output path).
bool anyProcessMentions(const std::string& text);

}  // namespace zorvex::test
