#pragma once

#include <QObject>
#include <QPointer>

#include "platform/coalesced_post.h"  // for the windows, which collapse bursts through it
#include "platform/executor.h"

namespace zorvex {

// Runs posted tasks on the thread of a context object (the GUI thread for a
// widget), as queued invocations. Any thread may post while the context
// lives: its owner joins every worker that posts here before the context
// goes (a post racing the context's destruction is not safe). Tasks still
// queued when the context is destroyed are dropped by Qt.
class QtExecutor final : public Executor {
public:
    explicit QtExecutor(QObject* context) : context_(context) {}

    void post(std::function<void()> task) override;

private:
    QPointer<QObject> context_;
};

}  // namespace zorvex
