#include "ui/toolkit/qt_executor.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <memory>
#include <thread>

#include "support/test_support.h"

namespace zorvex {
namespace {

TEST(QtExecutor, RunsWorkersTasksOnTheContextsThreadAndDropsThemOnceItIsGone) {
    auto context = std::make_unique<QObject>();
    QtExecutor executor(context.get());
    std::atomic<int> ran{0};
    QThread* ranOn = nullptr;
    std::thread worker([&] {
        executor.post([&] {
            ranOn = QThread::currentThread();
            ++ran;
        });
    });
    worker.join();
    EXPECT_EQ(ran.load(), 0);  // queued, never inline
    ASSERT_TRUE(test::waitUntil([&] {
        QCoreApplication::processEvents();
        return ran.load() == 1;
    }));
    EXPECT_EQ(ranOn, QThread::currentThread());

    executor.post([&] { ++ran; });
    context.reset();
    executor.post([&] { ++ran; });
    QCoreApplication::processEvents();
    EXPECT_EQ(ran.load(), 1);
}

}  // namespace
}  // namespace zorvex
