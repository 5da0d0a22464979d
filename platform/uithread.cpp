#include "uithread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace strandel {
namespace {

struct BlockingCall {
    enum class State { Pending, Running, Done, Abandoned };
    State state = State::Pending;
};

// One wake-up for every waiter: a call that has run and a cancel flag raised both wake them all,
// and each looks at its own call and flag. There are only ever a few (one per reader thread).
std::mutex waitMutex;
std::condition_variable waitCond;

} // namespace

bool IsUiThread()
{
    auto *app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void RunOnUiThreadQueued(std::function<void()> fn)
{
    auto *app = QCoreApplication::instance();
    if (!app || IsUiThread()) {
        fn();
        return;
    }
    QMetaObject::invokeMethod(app, std::move(fn), Qt::QueuedConnection);
}

bool RunOnUiThreadBlocking(const std::function<void()> &fn, const std::atomic<bool> *cancel)
{
    auto *app = QCoreApplication::instance();
    if (!app || IsUiThread()) {
        fn();
        return true;
    }
    auto call = std::make_shared<BlockingCall>();
    // fn is referenced, not copied: the waiter below never returns while it may still run.
    QMetaObject::invokeMethod(app, [call, &fn] {
        {
            std::lock_guard l(waitMutex);
            if (call->state == BlockingCall::State::Abandoned)
                return;
            call->state = BlockingCall::State::Running;
        }
        fn();
        {
            std::lock_guard l(waitMutex);
            call->state = BlockingCall::State::Done;
        }
        waitCond.notify_all();
    }, Qt::QueuedConnection);

    std::unique_lock l(waitMutex);
    for (;;) {
        if (call->state == BlockingCall::State::Done)
            return true;
        if (call->state == BlockingCall::State::Pending && cancel && cancel->load()) {
            call->state = BlockingCall::State::Abandoned;
            return false;
        }
        // Woken by the call or by RaiseCancel; the time-out only catches a flag set without it.
        waitCond.wait_for(l, std::chrono::milliseconds(100));
    }
}

void RaiseCancel(std::atomic<bool> &cancel)
{
    {
        // Under the waiters' lock: a waiter between its look at the flag and its wait gets the wake.
        std::lock_guard l(waitMutex);
        cancel = true;
    }
    waitCond.notify_all();
}

} // namespace strandel
