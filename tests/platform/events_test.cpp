#include "platform/events.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace strandel;

TEST(TimedEvent, AutoResetIsTakenOnce)
{
    TimedEvent e;
    EXPECT_TRUE(e.Wait(0));
    EXPECT_FALSE(e.Wait(10));
    e.Set();
    EXPECT_TRUE(e.Wait(0));
}

TEST(TimedEvent, WaiterWakesWhenSetFromAnotherThread)
{
    TimedEvent e(false);
    std::thread t([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        e.Set();
    });
    EXPECT_TRUE(e.Wait(5000));
    t.join();
}

TEST(EventGuard, ReleasesOnlyWhatItTook)
{
    TimedEvent e(false);
    {
        EventGuard g(e, 5);
        EXPECT_FALSE(g.Acquired());
    }
    EXPECT_FALSE(e.IsSet()); // still its holder's
    e.Set();
    {
        EventGuard g(e, 5);
        EXPECT_TRUE(g.Acquired());
        EXPECT_FALSE(e.IsSet());
    }
    EXPECT_TRUE(e.IsSet());
}

TEST(NamedEvent, IsOneObjectPerNameAndStartsFree)
{
    EXPECT_EQ(&NamedEvent(kSendEventName), &NamedEvent("SendEvent"));
    EXPECT_NE(&NamedEvent(kSendEventName), &NamedEvent(kRecEventName));
    EXPECT_TRUE(NamedEvent("FreshEvent").IsSet());
}
