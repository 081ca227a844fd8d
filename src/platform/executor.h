#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

namespace zorvex {

// The one seam through which worker threads reach the thread that owns a
// piece of state (the GUI thread in the windowed application). Tasks must
// capture values, never pointers into state the worker may free.
class Executor {
public:
    virtual ~Executor() = default;
    // Thread-safe; never runs the task inline.
    virtual void post(std::function<void()> task) = 0;
};

// A mutex-and-condition queue drained by one thread: the headless runner's
// main loop, and the manual executor of tests (runPending).
class TaskQueue final : public Executor {
public:
    void post(std::function<void()> task) override;

    // Runs the tasks queued now (not those they post); returns how many ran.
    std::size_t runPending();
    // Runs tasks as they come until quit() has been called and the queue is empty.
    void run();
    void quit();

private:
    std::mutex mutex_;  // guards the members below
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    bool quit_ = false;
};

}  // namespace zorvex
