#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include "platform/executor.h"

namespace zorvex {

// Collapses a burst of requests into one task posted to an executor: the
// first request posts, the rest find it pending. The task takes the request
// back before it runs, so a request made while it runs posts again.
// request() and cancel() from any thread. Destroy it on the executor's
// thread: a task that runs after it is gone does nothing.
class CoalescedPost {
public:
    // The executor outlives this; run goes on the executor's thread.
    CoalescedPost(Executor& executor, std::function<void()> run)
        : executor_(executor), state_(std::make_shared<State>(std::move(run))) {}

    void request();
    // Takes back a request not yet run: its task does nothing.
    void cancel() { state_->pending = false; }

private:
    struct State {
        explicit State(std::function<void()> task) : run(std::move(task)) {}
        const std::function<void()> run;
        std::atomic<bool> pending{false};
    };

    Executor& executor_;
    const std::shared_ptr<State> state_;
};

}  // namespace zorvex
