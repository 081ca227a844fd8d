#include "ui/toolkit/qt_executor.h"

#include <QMetaObject>

namespace zorvex {

void QtExecutor::post(std::function<void()> task) {
    // Only a post after the context is gone, out of contract, finds it null.
    QObject* context = context_.data();
    if (!context) return;
    QMetaObject::invokeMethod(context, std::move(task), Qt::QueuedConnection);
}

}  // namespace zorvex
