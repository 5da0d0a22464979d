#include <gtest/gtest.h>

#include "platform/uithread.h"
#include "playpath_fixture.h"

using namespace strandel;
using namespace strandel::testing_playpath;

// A local player delivers on the UI thread, where the scheduler runs: it is told to come back
// instead of waiting for room.
TEST(PlayPathOnUiThread, AFullRingMakesTheCallerComeBackLater)
{
    ASSERT_TRUE(IsUiThread());
    Fixture f(1);
    for (int i = 0; i < 3; ++i) {
        const auto rec = Record(1, {Packet(uint32_t(i), 0, 80)}, 10);
        EXPECT_EQ(f.path.QueueMpegFrame(rec.header, rec.data), QueueResult::Queued);
    }
    // 3 x channel count record-first frames are queued; one more record would cross it.
    const auto one = Record(1, {Packet(3, 0, 80)}, 11);
    EXPECT_EQ(f.path.QueueMpegFrame(one.header, one.data), QueueResult::Queued);
    const auto two = Record(1, {Packet(4, 0, 80), Packet(5, 0, 80)}, 12);
    EXPECT_EQ(f.path.QueueMpegFrame(two.header, two.data), QueueResult::Busy);
    EXPECT_EQ(f.path.Ring(0).Distance(), 4);
    EXPECT_EQ(f.slept, 0);

    f.path.Tick(); // the scheduler drains the ring
    EXPECT_EQ(f.host.decodedPts.size(), 4u);
    EXPECT_EQ(f.path.QueueMpegFrame(two.header, two.data), QueueResult::Queued);
    EXPECT_EQ(f.path.Ring(0).Distance(), 2);
}
