#include "platform/executor.h"

#include "platform/coalesced_post.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace zorvex
