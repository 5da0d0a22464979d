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
    std::mutex mutex;
    std::condition_variable cond;
    State state = State::Pending;
};

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
            std::lock_guard l(call->mutex);
            if (call->state == BlockingCall::State::Abandoned)
                return;
            call->state = BlockingCall::State::Running;
        }
        fn();
        {
            std::lock_guard l(call->mutex);
            call->state = BlockingCall::State::Done;
        }
        call->cond.notify_all();
    }, Qt::QueuedConnection);

    std::unique_lock l(call->mutex);
    for (;;) {
        if (call->state == BlockingCall::State::Done)
            return true;
        if (call->state == BlockingCall::State::Pending && cancel && cancel->load()) {
            call->state = BlockingCall::State::Abandoned;
            return false;
        }
        call->cond.wait_for(l, std::chrono::milliseconds(10));
    }
}

} // namespace strandel
