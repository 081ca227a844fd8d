#include "front/command_worker.h"

namespace zorvex {

void CommandWorker::push(std::function<void()> job) {
    std::lock_guard lock(mutex_);
    if (stopped_) return;
    jobs_.push_back(std::move(job));
    if (!thread_.joinable())
        thread_ = std::jthread([this](const std::stop_token& stopping) { serve(stopping); });
    wake_.notify_one();
}

void CommandWorker::serve(const std::stop_token& stopping) {
    std::unique_lock lock(mutex_);
    while (wake_.wait(lock, stopping, [this] { return !jobs_.empty(); })) {
        std::function<void()> job = std::move(jobs_.front());
        jobs_.pop_front();
        lock.unlock();
        job();
        lock.lock();
    }
}

void CommandWorker::stop() {
    *alive_ = false;
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;
        jobs_.clear();
    }
    if (thread_.joinable()) {
        thread_.request_stop();
        thread_.join();
    }
}

}  // namespace zorvex
