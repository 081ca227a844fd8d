#include "ui/toolkit/disk_worker.h"

#include <QByteArray>
#include <QFile>
#include <QPointer>

#include "platform/file_util.h"

namespace zorvex::ui {

namespace {

// Far above any thumbnail; a picture path in a stored file may name anything.
constexpr std::size_t kMaxPictureBytes = std::size_t{64} << 20;

}  // namespace

DiskWorker::DiskWorker() : thread_([this] { loop(); }) {}

DiskWorker::~DiskWorker() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        jobs_.clear();
    }
    wake_.notify_all();
    thread_.join();
    alive_.reset();
}

void DiskWorker::loadPicture(const QString& path, QObject* receiver,
                             std::function<void(QImage)> done) {
    QPointer<QObject> alive(receiver);
    run<QImage>(
        [path] {
            // A stored path may name a FIFO, whose open would hold this
            // thread, and the quit that joins it, for good.
            BoundedRead read =
                readFileAtMost(QFile::encodeName(path).toStdString(), kMaxPictureBytes);
            if (read.status != BoundedRead::Status::Ok) return QImage();
            QImage image = QImage::fromData(QByteArray::fromStdString(read.data));
            if (image.isNull()) return QImage();
            return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        },
        [alive, done = std::move(done)](QImage image) {
            if (alive) done(std::move(image));
        });
}

void DiskWorker::post(std::function<void()> job) {
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
}

void DiskWorker::loop() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (stopping_) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job();
    }
}

}  // namespace zorvex::ui
