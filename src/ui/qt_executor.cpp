#include "ui/qt_executor.h"

#include <QMetaObject>

namespace zorvex {

void QtExecutor::post(std::function<void()> task) {
    // QPointer is read here without the GUI thread's lock; invokeMethod on a
    // context destroyed meanwhile is refused by Qt rather than run.
    QObject* context = context_.data();
    if (!context) return;
    QMetaObject::invokeMethod(context, std::move(task), Qt::QueuedConnection);
}

}  // namespace zorvex
