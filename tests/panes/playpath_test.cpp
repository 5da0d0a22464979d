#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "playpath_fixture.h"

using namespace strandel;
using namespace strandel::testing_playpath;

TEST(PlayPathFields, PacketFieldsAndRecordTimes)
{
    const auto p = Packet(0x1ABCDEF1u, 3, 100);
    EXPECT_TRUE(IsMpegVideoStart(p.data(), p.size()));
    EXPECT_FALSE(IsDirectStart(p.data(), p.size()));
    EXPECT_EQ(MpegPts(p.data()), 0x1ABCDEF1u);
    EXPECT_EQ(MpegFrameDelay(p.data()), 3u);
    EXPECT_EQ(MpegLength(p.data()), 100u);
    EXPECT_EQ(p.size(), 132u);
    const auto big = Packet(0, 0, 0x2FFFFF);
    EXPECT_EQ(MpegLength(big.data()), 0x2FFFFFu);

    struct Case {
        uint32_t a, b;
        int result;
    } cases[] = {{5, 5, 0}, {6, 5, 1}, {5, 6, -1}, {0, 0x7FFFFFF, 1}, {0, 0x7FFFFFE, -1}, {0x7FFFFFF0, 0x10, -1}, {0x10, 0x7FFFFFF0, 1}};
    for (const Case &c : cases)
        EXPECT_EQ(CompareRecordTime(c.a, c.b), c.result) << c.a << " " << c.b;
    EXPECT_EQ(RingDistance(5, 2), 3);
    EXPECT_EQ(RingDistance(2, 88), 4);
}

TEST(PlayPath, RecordOfThreePacketsFillsThreeSlotsAndFastSpeedShowsTheFirst)
{
    Fixture f(2);
    const auto rec = Record(1, {Packet(100, 2, 80), Packet(101, 2, 80), Packet(102, 2, 80)}, 10);
    EXPECT_EQ(f.path.QueueMpegFrame(rec.header, rec.data), QueueResult::Queued);
    EXPECT_EQ(f.path.Ring(0).Distance(), 3);
    EXPECT_EQ(f.path.QueuedFirstFrames(), 1);
    EXPECT_EQ(f.path.Ring(0).Front()->header.timeValue, 10u | kFrameTimeFirstMark);
    EXPECT_EQ(f.path.Ring(0).Front()->header.partSize[0], 112u);
    EXPECT_EQ(f.host.leds, (std::vector<std::pair<int, bool>>{{0, false}}));

    f.path.SetPlaySpeed(4, 0, 31); // fast: only record-first frames are shown
    f.path.Tick();
    EXPECT_EQ(f.host.decodedPts, std::vector<uint32_t>{100});
    EXPECT_TRUE(f.path.Ring(0).Empty());
    EXPECT_EQ(f.path.QueuedFirstFrames(), 0);
}

// The multi view waits for a record of every channel that delivers, so that channels play in
// record-time order, but never for channels that send nothing or have gone quiet.
TEST(PlayPath, MultiViewWaitsForTheChannelsThatDeliver)
{
    Fixture f(16);
    for (int c = 1; c <= 4; ++c) {
        const auto rec = Record(c, {Packet(uint32_t(c), 0, 80)}, uint32_t(10 + c));
        f.path.QueueMpegFrame(rec.header, rec.data);
    }
    f.path.Tick();
    EXPECT_EQ(f.host.decodedPts, std::vector<uint32_t>{1}) << "then channel 1 has nothing queued";
    f.now = 100;
    f.path.Tick();
    EXPECT_EQ(f.host.decodedPts.size(), 1u);
    const auto next = Record(1, {Packet(5, 0, 80)}, 20);
    f.path.QueueMpegFrame(next.header, next.data);
    f.path.Tick();
    EXPECT_EQ(f.host.decodedPts, (std::vector<uint32_t>{1, 2}));
    f.now = kQuietChannelMs - 1;
    f.path.Tick();
    EXPECT_EQ(f.host.decodedPts, (std::vector<uint32_t>{1, 2}));
    f.now = kQuietChannelMs; // channels 2 to 4 went quiet: only channel 1 is waited for
    f.path.Tick();
    EXPECT_EQ(f.host.decodedPts, (std::vector<uint32_t>{1, 2, 3, 4, 5}));
}

// Fewer channels deliver than the view has, or one channel is shown alone, and records hold
// more frames than the ring has room for beside the records the scheduler would wait for: the
// producer waiting for room never waits for ever, and every frame is shown in order.
TEST(PlayPath, ADeliveringThreadNeverWaitsForRecordsThatCannotCome)
{
    struct Case {
        int channels, shown, channel, frames;
    } cases[] = {{16, 0, 5, 8}, {16, 0, 1, 30}, {4, 2, 2, 30}, {1, 0, 1, 45}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.channels << " channels, " << c.frames << " frames a record");
        FakeHost host;
        PlayPath *self = nullptr;
        std::atomic<bool> stop{false};
        uint32_t now = 0;
        int slept = 0;
        // Each pause of the producer lets time pass and the scheduler take what it may.
        PlayPath path{host, {[&] { return now; }, [&](int ms) {
                                 slept += ms;
                                 now += uint32_t(ms);
                                 if (slept > 20000)
                                     stop = true; // a wait for ever: the frames are lost
                                 self->Tick();
                             }}};
        self = &path;
        path.SetStopFlag(&stop);
        path.SetFormat(c.channels, 0, false);
        path.SetCurrentChannel(c.shown);
        path.SetConnected(true);
        const int records = 12;
        uint32_t pts = 0;
        for (int r = 0; r < records; ++r) {
            TestRecord rec = Record(c.channel, {}, uint32_t(10 + r));
            for (int i = 0; i < c.frames; ++i) {
                const auto p = Packet(pts++, 0, 80);
                rec.data.insert(rec.data.end(), p.begin(), p.end());
            }
            rec.header.partSize[0] = uint32_t(rec.data.size());
            path.QueueMpegFrame(rec.header, rec.data);
            path.Tick();
            now += 10;
        }
        EXPECT_FALSE(stop);
        now += kQuietChannelMs; // the channel stopped sending: the last records are shown too
        for (int i = 0; i < 100 && host.decodedPts.size() < pts; ++i)
            path.Tick();
        ASSERT_EQ(host.decodedPts.size(), size_t(pts));
        for (uint32_t i = 0; i < pts; ++i)
            ASSERT_EQ(host.decodedPts[i], i);
    }
}

TEST(PlayPath, EarliestTimeThenSmallerPtsThenHigherChannel)
{
    Fixture f(4);
    f.path.SetPlaySpeed(4, 0, 31); // no waiting for a full set
    const struct {
        int channel;
        uint32_t time, pts;
    } records[] = {{1, 20, 1}, {2, 10, 9}, {3, 10, 5}, {4, 10, 5}};
    for (const auto &r : records) {
        const auto rec = Record(r.channel, {Packet(r.pts, 0, 80)}, r.time);
        f.path.QueueMpegFrame(rec.header, rec.data);
    }
    f.path.Tick();
    EXPECT_EQ(f.host.decodedRings, (std::vector<int>{3, 2, 1, 0}));

    // Record times wrap: 0x10 after 0x7FFFFFF0.
    Fixture w(2);
    w.path.SetPlaySpeed(4, 0, 31);
    const auto later = Record(1, {Packet(1, 0, 80)}, 0x10), earlier = Record(2, {Packet(1, 0, 80)}, 0x7FFFFFF0);
    w.path.QueueMpegFrame(later.header, later.data);
    w.path.QueueMpegFrame(earlier.header, earlier.data);
    w.path.Tick();
    EXPECT_EQ(w.host.decodedRings, (std::vector<int>{1, 0}));
}

TEST(PlayPath, OneChannelShownIsPacedByItsFrameDelay)
{
    Fixture f(4, /*ntsc*/ true);
    f.path.SetCurrentChannel(1);
    // Another channel's ring-path record is not queued.
    const auto other = Record(2, {Packet(1, 3, 80)}, 1);
    f.path.QueueMpegFrame(other.header, other.data);
    EXPECT_TRUE(f.path.Ring(1).Empty());
    for (uint32_t i = 0; i < 4; ++i) {
        const auto rec = Record(1, {Packet(i, 3, 80)}, 10 + i);
        f.path.QueueMpegFrame(rec.header, rec.data);
    }
    f.now = 1000;
    f.path.Tick();
    EXPECT_EQ(f.host.decodedPts, std::vector<uint32_t>{0});
    EXPECT_EQ(f.path.Delay(0), 3);
    f.now = 1049; // 3 x 1000 / 60 = 50 ms not yet over
    f.path.Tick();
    EXPECT_EQ(f.host.decodedPts.size(), 1u);
    f.now = 1050;
    f.path.Tick();
    EXPECT_EQ(f.host.decodedPts, (std::vector<uint32_t>{0, 1}));
}

TEST(PlayPath, AbsentChannelsAreBlankedWithEveryShownFrame)
{
    Fixture f(4);
    f.path.SetPlaySpeed(4, 0, 31);
    auto rec = Record(1, {Packet(1, 0, 80)}, 10);
    rec.header.liveMask = 0b0101;
    f.path.QueueMpegFrame(rec.header, rec.data);
    f.path.Tick();
    EXPECT_EQ(f.host.blanked, (std::vector<int>{1, 3}));
}

TEST(PlayPath, DroppedWhenTheModeDiffers)
{
    Fixture f(4);
    auto rec = Record(1, {Packet(1, 0, 80)}, 10);
    rec.header.kind = 1;
    EXPECT_EQ(f.path.QueueMpegFrame(rec.header, rec.data), QueueResult::Dropped);
    EXPECT_TRUE(f.host.leds.empty());
    EXPECT_TRUE(f.path.Ring(0).Empty());
}

TEST(PlayPath, DirectPathShowsAtOnce)
{
    // A 16-channel model-1 recorder in live mode: every record is shown directly.
    Fixture f(16, false, 1);
    const auto rec = Record(3, {Packet(7, 0, 80), Packet(8, 0, 80)}, 10);
    EXPECT_EQ(f.path.QueueMpegFrame(rec.header, rec.data), QueueResult::Shown);
    EXPECT_TRUE(f.path.Ring(2).Empty());
    EXPECT_EQ(f.host.decodedPts, std::vector<uint32_t>{7}); // the first frame only
    EXPECT_EQ(f.host.captions, 1);
    EXPECT_EQ(f.host.schedulerStates, std::vector<bool>{false});

    // A JPEG record with the direct flag goes to the panes of both its channels.
    Fixture j(8);
    auto jpeg = Record(5, {}, 10);
    jpeg.data.assign(200, 0xFF);
    jpeg.header.partSize[0] = 200;
    jpeg.header.channel2 = 6;
    jpeg.header.directShow = 1;
    jpeg.header.liveMask = 0xFF;
    EXPECT_EQ(j.path.QueueMpegFrame(jpeg.header, jpeg.data), QueueResult::Shown);
    EXPECT_EQ(j.host.jpegPanes, (std::vector<int>{4, 5}));
    EXPECT_TRUE(j.host.blanked.empty());
}

TEST(PlayPath, BadPacketsEndTheWalk)
{
    struct Case {
        const char *name;
        std::vector<uint8_t> data;
        int queued;
    };
    auto bad = Packet(3, 0, 80);
    bad[3] = 0xC0; // not a video stream
    auto tooLong = Packet(4, 0, 80);
    tooLong[26] = 0xFF; // longer than the record
    std::vector<Case> cases = {
        {"bad second start code", Join({Packet(1, 0, 80), bad, Packet(5, 0, 80)}), 1},
        {"length beyond the record", Join({Packet(1, 0, 80), tooLong}), 1},
        {"short lengths are skipped, the walk goes on", Join({Packet(1, 0, 20), Packet(2, 0, 80)}), 1},
        {"a header cut short", std::vector<uint8_t>{0, 0, 1, 0xE0, 0, 0}, 0},
        {"a JPEG on the ring path", std::vector<uint8_t>(300, 0xFF), 0},
    };
    for (const Case &c : cases) {
        Fixture g(2);
        auto rec = Record(1, {}, 10);
        rec.data = c.data;
        rec.header.partSize[0] = uint32_t(c.data.size());
        g.path.QueueMpegFrame(rec.header, rec.data);
        EXPECT_EQ(g.path.Ring(0).Distance(), c.queued) << c.name;
    }
}

TEST(PlayPath, SwitchFlushesBlanksAndPauses)
{
    Fixture f(4);
    const auto rec = Record(1, {Packet(1, 0, 80), Packet(2, 0, 80)}, 10);
    f.path.QueueMpegFrame(rec.header, rec.data);
    f.path.RequestFlush(1);
    const auto next = Record(2, {Packet(3, 0, 80)}, 11);
    f.path.QueueMpegFrame(next.header, next.data);
    EXPECT_TRUE(f.path.Ring(0).Empty());
    EXPECT_EQ(f.path.Ring(1).Distance(), 1);
    EXPECT_EQ(f.path.QueuedFirstFrames(), 1);
    EXPECT_EQ(f.host.blanked.size(), 16u);
    EXPECT_EQ(f.slept, 500);
}

TEST(PlayPath, AStoppedLinkNeverWaitsForAFullRing)
{
    Fixture f(1);
    f.path.SetConnected(false); // nothing drains the ring here
    for (int i = 0; i < kPlayRingSlots - 1; ++i) {
        const auto rec = Record(1, {Packet(uint32_t(i), 0, 80)}, 10);
        f.path.QueueMpegFrame(rec.header, rec.data);
    }
    ASSERT_TRUE(f.path.Ring(0).Full());
    EXPECT_TRUE(f.path.IsPlayBufferHigh());
    f.path.SetConnected(true);
    std::atomic<bool> stop{true};
    f.path.SetStopFlag(&stop);
    const auto more = Record(1, {Packet(99, 0, 80)}, 11);
    f.path.QueueMpegFrame(more.header, more.data);
    EXPECT_EQ(f.slept, 0);
    EXPECT_EQ(f.path.Ring(0).Distance(), kPlayRingSlots - 1);
}

TEST(PlayPath, EveryFrameOfALongRecordWaitsForItsSlot)
{
    FakeHost host;
    PlayPath *self = nullptr;
    int slept = 0;
    // Each pause of the producer lets the scheduler take what it may.
    PlayPath path{host, {[] { return uint32_t(0); }, [&](int ms) {
                             slept += ms;
                             ASSERT_LT(slept, 100000);
                             self->Tick();
                         }}};
    self = &path;
    path.SetFormat(1, 0, false);
    path.SetConnected(true);
    path.SetMode(0);
    uint32_t pts = 0;
    auto record = [&](int frames, uint32_t time) {
        TestRecord r = Record(1, {}, time);
        for (int i = 0; i < frames; ++i) {
            const auto p = Packet(pts++, 0, 80);
            r.data.insert(r.data.end(), p.begin(), p.end());
        }
        r.header.partSize[0] = uint32_t(r.data.size());
        return r;
    };
    for (int i = 0; i < 3; ++i) { // 87 of the ring's 89 places taken
        const TestRecord r = record(29, 10 + uint32_t(i));
        path.QueueMpegFrame(r.header, r.data);
    }
    ASSERT_EQ(path.Ring(0).Distance(), 87);
    ASSERT_TRUE(host.decodedPts.empty());
    const TestRecord group = record(12, 20); // one group of pictures
    path.QueueMpegFrame(group.header, group.data);
    EXPECT_GT(slept, 0);
    // The scheduler takes a record's frames once the next record is queued.
    const TestRecord next = record(1, 21);
    path.QueueMpegFrame(next.header, next.data);
    for (int i = 0; i < 100 && host.decodedPts.size() < 87 + 12; ++i)
        path.Tick();
    ASSERT_GE(host.decodedPts.size(), size_t(87 + 12));
    for (size_t i = 0; i < 87 + 12; ++i)
        EXPECT_EQ(host.decodedPts[i], uint32_t(i));
}

// A recording as the demo has it: each second eight JPEG channels, then eight MPEG channels of
// four pictures a quarter second apart, delivered 60 ms apart in real time. Once a second has
// been delivered, every pane shows a picture within its own picture interval of the newest.
TEST(PlayPath, ChannelsOfOneRecordingPlayInStep)
{
    Fixture f(16);
    f.path.SetMode(1);
    f.path.SetPlaySpeed(1, 1, 31);
    std::array<int64_t, 16> shown;
    shown.fill(-1);
    size_t jpegSeen = 0, mpegSeen = 0;
    auto tickUntil = [&](uint32_t wall) {
        for (; f.now < wall; f.now += 5) {
            f.path.Tick();
            for (; jpegSeen < f.host.jpegPanes.size(); ++jpegSeen)
                shown[size_t(f.host.jpegPanes[jpegSeen])] = f.host.jpegSeconds[jpegSeen] * 1000;
            for (; mpegSeen < f.host.decodedRings.size(); ++mpegSeen)
                shown[size_t(f.host.decodedRings[mpegSeen])] = f.host.decodedPts[mpegSeen] / 90;
        }
    };
    const int64_t base = RecordSecond(RecorderTime{20, 26, 1, 1, 12, 0, 0});
    for (uint32_t t = 0; t < 6; ++t) {
        for (int c = 1; c <= 16; ++c) {
            tickUntil(t * 1000 + uint32_t(c - 1) * 60);
            TestRecord r;
            if (c <= 8) {
                r = Record(c, {}, t);
                r.data.assign(300, 0xFF);
                r.header.partSize[0] = 300;
                r.header.directShow = 1;
            } else {
                const uint32_t pts = t * 90000; // record seconds from the start, in 90 kHz
                r = Record(c, {Packet(pts, 15, 80), Packet(pts + 22500, 15, 80), Packet(pts + 45000, 15, 80),
                               Packet(pts + 67500, 15, 80)},
                           t);
            }
            r.header.kind = 1;
            r.header.time = RecorderTime{20, 26, 1, 1, 12, 0, uint8_t(t)};
            f.path.QueueMpegFrame(r.header, r.data);
        }
        tickUntil(t * 1000 + 980);
        for (int c = 0; c < 16; ++c) {
            const int64_t want = c < 8 ? int64_t(t) * 1000 : int64_t(t) * 1000 + 750;
            const int64_t got = c < 8 && shown[size_t(c)] >= 0 ? shown[size_t(c)] - base * 1000 : shown[size_t(c)];
            EXPECT_EQ(got, want) << "channel " << c + 1 << " at second " << t;
        }
    }
}
