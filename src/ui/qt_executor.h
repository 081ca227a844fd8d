#pragma once

#include <QObject>
#include <QPointer>

#include "platform/executor.h"

namespace zorvex {

// Runs posted tasks on the thread of a context object (the GUI thread for a
// widget), as queued invocations. Tasks posted after the context is gone
// are dropped. Any thread may post.
class QtExecutor final : public Executor {
public:
    explicit QtExecutor(QObject* context) : context_(context) {}

    void post(std::function<void()> task) override;

private:
    QPointer<QObject> context_;
};

}  // namespace zorvex
