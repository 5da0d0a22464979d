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

// On the UI thread the pause a playback record asks for (delay x 10 ms, kept for 10 to 99 ms)
// is never slept: it is a time the next record waits for, stretched by slow play.
TEST(PlayPathOnUiThread, APlaybackRecordsPauseIsHeldNotSlept)
{
    struct Case {
        uint8_t mode;
        uint32_t delay;
        uint16_t slow;
        int held;
    } cases[] = {
        {1, 5, 0, 50}, {1, 9, 1, 90}, {1, 5, 2, 100}, {1, 5, 4, 200},
        {1, 0, 0, 0}, {1, 10, 0, 0}, // outside 10 to 99 ms
        {0, 5, 0, 0},                // live: never
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.mode) << " " << c.delay << " " << c.slow);
        Fixture f(1);
        f.path.SetMode(c.mode);
        f.path.SetPlaySpeed(0, c.slow, 31);
        auto rec = Record(1, {Packet(1, 0, 80)}, 10);
        rec.header.kind = c.mode;
        rec.header.delay = c.delay;
        EXPECT_EQ(f.path.QueueMpegFrame(rec.header, rec.data), QueueResult::Queued);
        EXPECT_EQ(f.slept, 0);
        EXPECT_EQ(f.path.PauseLeft(), c.held);
        f.now += 30;
        EXPECT_EQ(f.path.PauseLeft(), std::max(0, c.held - 30));
    }
}

// Pauses follow each other from where the last one ended, so a record taken a little late does
// not make the recording late; after a long stop they start afresh.
TEST(PlayPathOnUiThread, PausesKeepTheirPaceAcrossLateRecords)
{
    Fixture f(1);
    f.path.SetMode(1);
    auto rec = Record(1, {Packet(1, 0, 80)}, 10);
    rec.header.kind = 1;
    rec.header.delay = 5;
    f.path.QueueMpegFrame(rec.header, rec.data);
    f.now += 53; // the next record comes 3 ms after the pause ended
    f.path.QueueMpegFrame(rec.header, rec.data);
    EXPECT_EQ(f.path.PauseLeft(), 47);
    f.now += 1000; // a long stop
    f.path.QueueMpegFrame(rec.header, rec.data);
    EXPECT_EQ(f.path.PauseLeft(), 50);
    f.path.SetMode(0); // back to live: nothing waits for it
    EXPECT_EQ(f.path.PauseLeft(), 0);
}
