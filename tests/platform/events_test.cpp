#include "platform/events.h"
#include <gtest/gtest.h>
using namespace strandel;
TEST(TimedEvent, AutoResetIsTakenOnce)
{
    TimedEvent e;
    EXPECT_TRUE(e.Wait(0));
    EXPECT_FALSE(e.Wait(10));
    e.Set();
    EXPECT_TRUE(e.Wait(0));
}
