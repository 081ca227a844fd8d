#include "platform/worker_pool.h"

#include <algorithm>
#include <utility>

namespace zorvex {

WorkerPool::WorkerPool(std::size_t threads, std::chrono::milliseconds idleExit)
    : limit_(threads > 0 ? threads : 1), idleExit_(idleExit) {}

WorkerPool::~WorkerPool() {
    std::vector<std::jthread> threads, ended;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        threads.swap(threads_);
        ended.swap(ended_);
        tasks_.clear();
    }
    for (auto& thread : threads) thread.request_stop();
    threads.clear();  // joins
}

void WorkerPool::post(std::function<void()> task) {
    std::vector<std::jthread> ended;  // joined on leaving, outside the lock
    {
        std::lock_guard lock(mutex_);
        if (stopping_) return;  // a task its owner failed to cancel: dropped
        ended.swap(ended_);
        tasks_.push_back(std::move(task));
        // Idle threads already woken may take the earlier tasks: start one
        // more only when the queue outnumbers them.
        if (tasks_.size() > idle_ && threads_.size() < limit_) {
            threads_.emplace_back([this](const std::stop_token& stop) { run(stop); });
            return;
        }
    }
    wake_.notify_one();
}

std::size_t WorkerPool::threadCount() const {
    std::lock_guard lock(mutex_);
    return threads_.size();
}

void WorkerPool::run(const std::stop_token& stop) {
    std::unique_lock lock(mutex_);
    for (;;) {
        ++idle_;
        const bool woken =
            wake_.wait_for(lock, stop, idleExit_, [this] { return !tasks_.empty(); });
        --idle_;
        if (!woken) {
            // Asked to stop, the pool joins it; idle too long, it leaves for
            // the next post() to join. Either way under the lock, so a task
            // posted meanwhile found it gone and started another thread.
            if (!stop.stop_requested()) retireLocked();
            return;
        }
        std::function<void()> task = std::move(tasks_.front());
        tasks_.pop_front();
        lock.unlock();
        task();
        task = nullptr;  // what it holds goes on this thread, outside the lock
        lock.lock();
    }
}

void WorkerPool::retireLocked() {
    const auto self = std::find_if(threads_.begin(), threads_.end(), [](const std::jthread& t) {
        return t.get_id() == std::this_thread::get_id();
    });
    if (self == threads_.end()) return;  // the pool is going and holds it already
    ended_.push_back(std::move(*self));
    threads_.erase(self);
}

namespace {
// The group whose task this thread runs: its own cancel() does not wait for itself.
thread_local const void* t_runningGroup = nullptr;
}  // namespace

TaskGroup::TaskGroup(WorkerPool& pool) : pool_(pool) {}

TaskGroup::~TaskGroup() {
    cancel();
}

bool TaskGroup::post(std::function<void()> task) {
    if (state_->cancelled) return false;
    pool_.post([state = state_, task = std::move(task)] {
        {
            std::lock_guard lock(state->mutex);
            if (state->cancelled) return;
            ++state->running;
        }
        const void* outer = std::exchange(t_runningGroup, state.get());
        task();
        t_runningGroup = outer;
        {
            std::lock_guard lock(state->mutex);
            --state->running;
        }
        state->finished.notify_all();
    });
    return true;
}

void TaskGroup::cancel() {
    std::unique_lock lock(state_->mutex);
    state_->cancelled = true;
    const int self = t_runningGroup == state_.get() ? 1 : 0;
    state_->finished.wait(lock, [&] { return state_->running <= self; });
}

}  // namespace zorvex
