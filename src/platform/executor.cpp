#include "platform/executor.h"

#include <utility>

namespace zorvex {

void TaskQueue::post(std::function<void()> task) {
    // Woken under the lock: whoever sees the task may destroy the queue at
    // once, and a notify after the unlock would touch a dead condition.
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
    wake_.notify_one();
}

std::size_t TaskQueue::runPending() {
    std::deque<std::function<void()>> batch;
    {
        std::lock_guard lock(mutex_);
        batch.swap(tasks_);
    }
    for (auto& task : batch) task();
    return batch.size();
}

void TaskQueue::run() {
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return quit_ || !tasks_.empty(); });
            if (tasks_.empty()) return;  // quit with nothing left to do
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
    }
}

void TaskQueue::quit() {
    std::lock_guard lock(mutex_);
    quit_ = true;
    wake_.notify_all();
}

}  // namespace zorvex
