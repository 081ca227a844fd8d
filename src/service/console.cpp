#include "service/console.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

namespace zorvex {

namespace {
std::mutex consoleMutex;
}

void consoleWrite(std::string_view text) {
    std::lock_guard lock(consoleMutex);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void consolePrintf(const char* format, ...) {
    char small[512];
    va_list args;
    va_start(args, format);
    int size = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (size < 0) return;
    if (static_cast<std::size_t>(size) < sizeof small) {
        consoleWrite(std::string_view(small, static_cast<std::size_t>(size)));
        return;
    }
    std::string big(static_cast<std::size_t>(size) + 1, '\0');
    va_start(args, format);
    std::vsnprintf(big.data(), big.size(), format, args);
    va_end(args);
    big.pop_back();
    consoleWrite(big);
}

OutputBudget::Verdict OutputBudget::take(std::size_t amount, Clock::time_point now) {
    if (!started_ || now - windowStart_ >= window_) {
        started_ = true;
        windowStart_ = now;
        used_ = 0;
        refused_ = false;
    }
    if (used_ + amount <= perWindow_) {
        used_ += amount;
        return Verdict::Allowed;
    }
    if (refused_) return Verdict::Refused;
    refused_ = true;
    return Verdict::RanOut;
}

}  // namespace zorvex
