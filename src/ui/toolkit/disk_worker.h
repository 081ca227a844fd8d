#pragma once

#include <QImage>
#include <QObject>
#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "ui/toolkit/qt_executor.h"

namespace zorvex::ui {

// Runs the views' short disk jobs (decoding a thumbnail, listing a dropped
// folder) on one thread of its own, in the order given, and hands each result
// back on the GUI thread, so a slow disk never freezes a window.
// Construct, call run() and destroy on the GUI thread. The destructor drops
// jobs not yet started and joins the thread; results not yet delivered are
// dropped with it.
class DiskWorker {
public:
    DiskWorker();
    ~DiskWorker();
    DiskWorker(const DiskWorker&) = delete;
    DiskWorker& operator=(const DiskWorker&) = delete;

    // job runs on the worker and must touch no widget; done runs on the GUI
    // thread with its result (it checks itself whether its window still lives).
    template <typename Result>
    void run(std::function<Result()> job, std::function<void(Result)> done) {
        ++outstanding_;
        auto alive = std::weak_ptr<int>(alive_);
        post([this, alive, job = std::move(job), done = std::move(done)]() mutable {
            auto result = std::make_shared<Result>(job());
            executor_.post([this, alive, result, done = std::move(done)] {
                if (alive.expired()) return;
                --outstanding_;
                done(std::move(*result));
            });
        });
    }

    // Decodes the picture at path on the worker, premultiplied ARGB (null
    // when unreadable), and hands it to done unless receiver is gone by then.
    void loadPicture(const QString& path, QObject* receiver, std::function<void(QImage)> done);

    // Jobs given and not yet handed back: benchmarks and tests wait for 0.
    int outstanding() const { return outstanding_; }

private:
    void post(std::function<void()> job);
    void loop();

    QObject context_;  // results are delivered to its thread, the GUI thread
    QtExecutor executor_{&context_};
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
    int outstanding_ = 0;  // GUI thread only

    std::mutex mutex_;  // guards the members below
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    std::thread thread_;  // last: started once everything above exists
};

}  // namespace zorvex::ui
