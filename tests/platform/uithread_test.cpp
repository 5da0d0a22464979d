#include "platform/uithread.h"

#include <QCoreApplication>
#include <QTimer>
#include <gtest/gtest.h>

#include <thread>

using namespace strandel;

namespace {

QCoreApplication &App() { return *static_cast<QCoreApplication *>(QCoreApplication::instance()); }

} // namespace

TEST(UiThread, BlockingCallOnTheUiThreadRunsDirectly)
{
    App();
    bool ran = false;
    EXPECT_TRUE(RunOnUiThreadBlocking([&] { ran = true; }));
    EXPECT_TRUE(ran);
}

TEST(UiThread, BlockingCallFromAThreadRunsOnTheUiThread)
{
    auto &app = App();
    std::thread::id ranOn;
    bool result = false;
    std::thread worker([&] {
        result = RunOnUiThreadBlocking([&] { ranOn = std::this_thread::get_id(); });
        QMetaObject::invokeMethod(&app, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    });
    app.exec();
    worker.join();
    EXPECT_TRUE(result);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

// The classic trap: the UI thread waits for a worker that waits for the UI thread.
// Setting the cancel flag before joining frees the worker, and the call never runs late.
TEST(UiThread, CancelledBlockingCallNeverDeadlocksAJoiningUiThread)
{
    App();
    std::atomic<bool> stop{false};
    std::atomic<bool> started{false};
    bool ran = false;
    bool result = true;
    std::thread worker([&] {
        started = true;
        result = RunOnUiThreadBlocking([&] { ran = true; }, &stop);
    });
    while (!started)
        std::this_thread::yield();
    stop = true;
    worker.join();
    QCoreApplication::processEvents();
    EXPECT_FALSE(result);
    EXPECT_FALSE(ran);
}

TEST(UiThread, QueuedCallRunsLaterOnTheUiThread)
{
    App();
    int value = 0;
    std::thread worker([&] { RunOnUiThreadQueued([&] { value = 42; }); });
    worker.join();
    EXPECT_EQ(value, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(value, 42);
}
