#pragma once

#include <chrono>
#include <cstddef>
#include <string_view>

namespace zorvex {

// The LAN service's diagnostics go to standard output only. Whole lines are
// written under one lock, so the service threads never interleave a line.
void consoleWrite(std::string_view text);
void consolePrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// How much of something may go to the console per window of time: a peer
// that sends without pause must not fill the disk that the output is logged
// to. Not thread-safe: one owner (a client slot, or a holder with a lock).
class OutputBudget {
public:
    using Clock = std::chrono::steady_clock;
    enum class Verdict {
        Allowed,
        RanOut,  // the first refusal of this window: time to say that output pauses
        Refused,
    };

    OutputBudget(std::size_t perWindow, Clock::duration window)
        : perWindow_(perWindow), window_(window) {}

    // Whether `amount` may be written now; counted if so.
    Verdict take(std::size_t amount, Clock::time_point now);
    void reset() { started_ = false; }

private:
    std::size_t perWindow_;
    Clock::duration window_;
    Clock::time_point windowStart_{};
    bool started_ = false;
    bool refused_ = false;
    std::size_t used_ = 0;
};

}  // namespace zorvex
