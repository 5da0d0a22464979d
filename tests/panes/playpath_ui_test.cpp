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

// On the UI thread what fits is queued and the caller offers the rest of the record again from
// where it stopped: a record longer than a ring, and a view where one channel of sixteen
// delivers, show every frame in order.
TEST(PlayPathOnUiThread, RecordsAreQueuedAsFarAsThereIsRoom)
{
    struct Case {
        int channels, frames, records;
    } cases[] = {{1, 120, 2}, {16, 8, 20}, {16, 200, 1}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.channels << " channels, " << c.frames << " frames a record");
        Fixture f(c.channels);
        uint32_t pts = 0;
        int offers = 0;
        for (int r = 0; r < c.records; ++r) {
            TestRecord rec = Record(1, {}, uint32_t(10 + r));
            for (int i = 0; i < c.frames; ++i) {
                const auto p = Packet(pts++, 0, 80);
                rec.data.insert(rec.data.end(), p.begin(), p.end());
            }
            rec.header.partSize[0] = uint32_t(rec.data.size());
            size_t resume = 0;
            while (f.path.QueueMpegFrame(rec.header, rec.data, &resume) == QueueResult::Busy) {
                ASSERT_LT(++offers, 1000) << "refused for ever";
                ASSERT_GT(resume, 0u) << "a busy record has begun";
                f.path.Tick();
                f.now += 10;
            }
            f.path.Tick();
            f.now += 10;
        }
        f.now += kQuietChannelMs;
        for (int i = 0; i < 100 && f.host.decodedPts.size() < pts; ++i)
            f.path.Tick();
        ASSERT_EQ(f.host.decodedPts.size(), size_t(pts));
        for (uint32_t i = 0; i < pts; ++i)
            ASSERT_EQ(f.host.decodedPts[i], i);
        EXPECT_EQ(f.slept, 0);
    }
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
