#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

namespace zorvex {

// A few threads that run posted tasks in the order they came. A thread
// starts only when a task finds none idle and ends once it has found no task
// for idleExit, so that a library at rest keeps no thread up. An ended
// thread is joined by the next post() or when the pool goes; every thread is
// joined when the pool goes, and tasks still queued then are dropped. Owners
// cancel theirs first (TaskGroup). Any thread.
class WorkerPool {
public:
    explicit WorkerPool(std::size_t threads,
                        std::chrono::milliseconds idleExit = std::chrono::seconds(10));
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    void post(std::function<void()> task);
    // Threads up now: never more than the pool was made with.
    std::size_t threadCount() const;

private:
    void run(const std::stop_token& stop);
    // Called by a thread about to end: hands its own jthread to ended_.
    void retireLocked();

    const std::size_t limit_;
    const std::chrono::milliseconds idleExit_;
    mutable std::mutex mutex_;  // guards the members below
    std::condition_variable_any wake_;
    std::deque<std::function<void()>> tasks_;
    std::size_t idle_ = 0;
    bool stopping_ = false;
    // Last: joined before the queue goes.
    std::vector<std::jthread> threads_;
    std::vector<std::jthread> ended_;  // returned from run(), not joined yet
};

// The tasks one owner posts to a pool. cancel() drops those not started yet
// and waits for those running, so that after it no task touches the owner.
// Any thread; the pool outlives every task posted before cancel().
class TaskGroup {
public:
    explicit TaskGroup(WorkerPool& pool);
    ~TaskGroup();  // cancel()
    TaskGroup(const TaskGroup&) = delete;
    TaskGroup& operator=(const TaskGroup&) = delete;

    // False, the task dropped, once cancelled.
    bool post(std::function<void()> task);
    // Called from a task of this group it waits for the group's other tasks only.
    void cancel();
    // For long tasks to look at; set as cancel() begins.
    const std::atomic<bool>& cancelled() const { return state_->cancelled; }

private:
    struct State {
        std::mutex mutex;  // guards running
        std::condition_variable finished;
        int running = 0;
        std::atomic<bool> cancelled{false};
    };

    WorkerPool& pool_;
    const std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace zorvex
