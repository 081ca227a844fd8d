#include "platform/desktop_handler.h"

#include <optional>
#include <string_view>
#include <vector>

#include "platform/subprocess.h"

namespace zorvex {

namespace {

struct Reply {
    int exitCode = -1;
    std::string lastLine;  // warnings may come before it on the shared output
};

// xdg-mime's reply, when it ended in time.
std::optional<Reply> ask(const std::vector<std::string>& argv, std::chrono::milliseconds bound) {
    auto child = Subprocess::start(argv).process;
    if (!child) return std::nullopt;
    std::string output;
    const auto deadline = std::chrono::steady_clock::now() + bound;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        // The destructor ends a child that is still running.
        if (left.count() <= 0) return std::nullopt;
        if (!child->read(output, left)) break;
    }
    Reply reply;
    reply.exitCode = child->wait();
    std::string_view text(output);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.remove_suffix(1);
    auto newline = text.rfind('\n');
    if (newline != std::string_view::npos) text.remove_prefix(newline + 1);
    reply.lastLine = text;
    return reply;
}

bool isMimeType(std::string_view text) {
    auto slash = text.find('/');
    return slash != std::string_view::npos && slash > 0 && slash + 1 < text.size() &&
           text.find_first_of(" \t;") == std::string_view::npos;
}

}  // namespace

DesktopHandler FindDesktopHandler(const std::string& path, std::chrono::milliseconds bound) {
    DesktopHandler handler;
    std::optional<Reply> type = ask({"xdg-mime", "query", "filetype", path}, bound);
    if (!type || type->exitCode != 0 || !isMimeType(type->lastLine)) return handler;
    handler.type = type->lastLine;
    std::optional<Reply> application = ask({"xdg-mime", "query", "default", handler.type}, bound);
    if (!application) return handler;
    if (application->exitCode == 0 && application->lastLine.ends_with(".desktop")) {
        handler.answer = DesktopHandler::Answer::Found;
        handler.application = application->lastLine;
    } else {
        // No entry, whether xdg-mime says so by an empty line or by failing:
        // xdg-open would find none either.
        handler.answer = DesktopHandler::Answer::None;
    }
    return handler;
}

}  // namespace zorvex
