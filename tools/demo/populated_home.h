#pragma once

#include <functional>
#include <string>

namespace zorvex {
class ConversionQueue;
class VideoLibrary;
}  // namespace zorvex

// A home folder as a user's looks after a while, for the window demo and the
// pictures: a dozen videos made by FFmpeg, shared with their thumbnails, one
// of them converted for real, one lost since. Everything stays in the home
// folder; nothing is sent anywhere.
namespace zorvex::demo {

// Runs the GUI thread's events until the condition holds or the seconds pass.
using Pump = std::function<bool(const std::function<bool()>& condition, int seconds)>;

// True once Prepare has filled the folder.
bool IsPrepared(const std::string& home);

// Fills the home folder (after InitWorkingDirectories) through a fresh
// library and queue of it, wired as the application wires them. Takes a
// while: FFmpeg makes the clips, their thumbnails and one conversion.
// Throws std::runtime_error when it fails.
void Prepare(const std::string& home, VideoLibrary& library, ConversionQueue& queue,
             const Pump& pump);

// Puts a task that was running when the application last ended into the
// queue file, as an earlier version would leave it; loaded, it shows as
// interrupted. (The queue itself keeps only finished tasks.)
void AddUnfinishedTask(const std::string& home);

// Brings the queue into every state it shows: besides the finished and the
// interrupted task of the queue file, one that fails, one running and one
// waiting (the last two started from their cards, as "转码" does). convert
// runs the page's "转码" over the checked cards. False when a state did not
// come within its bound.
bool StartConversions(const std::string& home, VideoLibrary& library, ConversionQueue& queue,
                      const std::function<void()>& convert, const Pump& pump);

}  // namespace zorvex::demo
