#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/executor.h"

namespace zorvex {

// Runs blocking work one job at a time, in order, on a thread of its own
// (started with the first job), and hands each result to the executor's
// thread. run() and stop() on the executor's thread: a result is dropped
// once stop() has been called there, so nobody hears of work it gave up on.
class CommandWorker {
public:
    explicit CommandWorker(Executor& executor) : executor_(executor) {}
    ~CommandWorker() { stop(); }
    CommandWorker(const CommandWorker&) = delete;
    CommandWorker& operator=(const CommandWorker&) = delete;

    template <typename T>
    void run(std::function<T()> work, std::function<void(T)> done) {
        push([this, work = std::move(work), done = std::move(done)] {
            T result = work();
            executor_.post([alive = alive_, done, result = std::move(result)] {
                if (*alive && done) done(result);
            });
        });
    }

    // The job running finishes (joined), those waiting are dropped, and no
    // result reaches its `done` from now on. Idempotent.
    void stop();

private:
    void push(std::function<void()> job);
    void serve(const std::stop_token& stopping);

    Executor& executor_;
    // Read and cleared on the executor's thread only.
    const std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);

    std::mutex mutex_;  // guards jobs_ and stopped_
    std::condition_variable_any wake_;
    std::deque<std::function<void()>> jobs_;
    bool stopped_ = false;
    std::jthread thread_;  // last: joined before the queue goes
};

}  // namespace zorvex
