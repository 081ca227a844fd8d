#include "platform/executor.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace zorvex
