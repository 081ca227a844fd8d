#include "platform/executor.h"

#include "platform/coalesced_post.h"
#include "platform/worker_pool.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <optional>
#include <thread>
#include <vector>

namespace zorvex {
namespace {

TEST(TaskQueue, RunPendingRunsOnlyWhatWasQueuedBefore) {
    TaskQueue queue;
    std::vector<int> order;
    queue.post([&] {
        order.push_back(1);
        queue.post([&] { order.push_back(3); });
    });
    queue.post([&] { order.push_back(2); });
    EXPECT_EQ(queue.runPending(), 2u);
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_EQ(queue.runPending(), 1u);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(TaskQueue, RunDrainsTasksPostedFromOtherThreadsThenQuits) {
    TaskQueue queue;
    int sum = 0;
    std::thread producer([&] {
        for (int i = 1; i <= 100; ++i) queue.post([&sum, i] { sum += i; });
        queue.quit();
    });
    queue.run();
    producer.join();
    EXPECT_EQ(sum, 5050);
}

TEST(CoalescedPost, ABurstRunsOnceAndARequestDuringTheRunPostsAgain) {
    TaskQueue queue;
    int runs = 0;
    std::optional<CoalescedPost> post;
    post.emplace(queue, [&] {
        if (++runs == 1) post->request();
    });
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&] {
            for (int j = 0; j < 100; ++j) post->request();
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(queue.runPending(), 1u);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(queue.runPending(), 1u) << "asked again while it ran";
    EXPECT_EQ(runs, 2);

    post->request();
    post->cancel();
    post->request();
    EXPECT_EQ(queue.runPending(), 2u);
    EXPECT_EQ(runs, 3) << "a cancelled request runs nothing, the next runs once";

    post->request();
    post.reset();
    EXPECT_EQ(queue.runPending(), 1u);
    EXPECT_EQ(runs, 3) << "nothing runs once it is gone";
}

std::size_t threadsAlive() {
    const std::filesystem::directory_iterator tasks("/proc/self/task");
    return static_cast<std::size_t>(std::distance(begin(tasks), end(tasks)));
}

// Blocks its tasks until opened.
struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
    int waiting = 0;
    void pass() {
        std::unique_lock lock(mutex);
        ++waiting;
        changed.notify_all();
        changed.wait(lock, [&] { return open; });
    }
    void openUp() {
        std::lock_guard lock(mutex);
        open = true;
        changed.notify_all();
    }
    bool held(int n) {
        std::lock_guard lock(mutex);
        return waiting == n;
    }
};

TEST(WorkerPool, RunsEveryTaskOnNoMoreThanItsThreadsAndJoinsThemAll) {
    // A sanitizer starts a thread of its own with the first one: counted before.
    std::thread([] {}).join();
    const std::size_t before = threadsAlive();
    Gate gate;
    std::mutex mutex;
    std::vector<int> order;
    {
        WorkerPool pool(2);
        for (int i = 0; i < 6; ++i) {
            pool.post([&, i] {
                if (i < 2) gate.pass();
                std::lock_guard lock(mutex);
                order.push_back(i);
            });
        }
        ASSERT_TRUE(test::waitUntil([&] { return gate.held(2); }));
        EXPECT_EQ(pool.threadCount(), 2u);
        {
            std::lock_guard lock(mutex);
            EXPECT_TRUE(order.empty()) << "the later tasks wait for a free thread";
        }
        gate.openUp();
        ASSERT_TRUE(test::waitUntil([&] {
            std::lock_guard lock(mutex);
            return order.size() == 6;
        }));
    }
    EXPECT_EQ(threadsAlive(), before) << "every thread is joined with its pool";
    std::sort(order.begin(), order.end());
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4, 5}));
}

TEST(WorkerPool, IdleThreadsEndAndComeBackWithoutLosingATask) {
    std::thread([] {}).join();
    const std::size_t before = threadsAlive();
    std::atomic<int> ran{0};
    {
        WorkerPool pool(2, std::chrono::milliseconds(5));
        // Posts land before, during and after a thread's idle end.
        for (int i = 1; i <= 100; ++i) {
            pool.post([&] { ++ran; });
            ASSERT_TRUE(i % 3 != 0 || test::waitUntil([&] { return ran == i; }));
        }
        ASSERT_TRUE(test::waitUntil([&] { return ran == 100 && pool.threadCount() == 0; }));
        EXPECT_TRUE(test::waitUntil([&] { return threadsAlive() == before; }));
        pool.post([&] { ++ran; });
        EXPECT_TRUE(test::waitUntil([&] { return ran == 101; })) << "a thread comes back";
    }
    EXPECT_EQ(threadsAlive(), before) << "ended threads are joined with the pool";
}

TEST(TaskGroup, CancelDropsWaitingTasksAndWaitsForTheRunningOne) {
    WorkerPool pool(1);
    Gate gate;
    std::atomic<int> ran{0};
    std::atomic<bool> endedBeforeCancelReturned{false};
    TaskGroup group(pool);
    group.post([&] {
        gate.pass();
        ++ran;
        endedBeforeCancelReturned = true;
    });
    group.post([&] { ++ran; });
    ASSERT_TRUE(test::waitUntil([&] { return gate.held(1); }));
    // Opened only once cancel() has begun, so the second task is surely waiting then.
    std::thread opener([&] {
        EXPECT_TRUE(test::waitUntil([&] { return group.cancelled().load(); }));
        gate.openUp();
    });
    group.cancel();
    EXPECT_TRUE(endedBeforeCancelReturned);
    opener.join();
    EXPECT_FALSE(group.post([&] { ++ran; }));
    // A later task of another group runs only after the dropped ones were passed.
    TaskGroup other(pool);
    std::atomic<bool> otherRan{false};
    other.post([&] { otherRan = true; });
    ASSERT_TRUE(test::waitUntil([&] { return otherRan.load(); }));
    EXPECT_EQ(ran, 1);
}

}  // namespace
}  // namespace zorvex
