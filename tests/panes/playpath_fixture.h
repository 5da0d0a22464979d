#pragma once
// MPEG packets, records and a recording view for the picture-path tests.
#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>
#include <vector>

#include "viewer/view/playpath.h"

namespace strandel::testing_playpath {

// A video packet of L + 32 bytes with the given presentation time and frame delay.
inline std::vector<uint8_t> Packet(uint32_t pts, uint32_t delay, uint32_t length)
{
    std::vector<uint8_t> p(length + kPesFrameOverhead, 0x5A);
    p[0] = 0, p[1] = 0, p[2] = 1, p[3] = 0xE0;
    p[9] = uint8_t(((pts >> 30) & 3) << 1 | 1);
    p[10] = uint8_t(pts >> 22);
    p[11] = uint8_t(((pts >> 15) & 0x7F) << 1 | 1);
    p[12] = uint8_t(pts >> 7);
    p[13] = uint8_t((pts & 0x7F) << 1 | 1);
    p[17] = uint8_t(delay >> 7);
    p[18] = uint8_t((delay & 0x7F) << 1);
    p[24] = uint8_t((length >> 15) & 0x7F);
    p[25] = uint8_t(((length >> 11) & 0xF) << 4 | ((length >> 8) & 7));
    p[26] = uint8_t(length);
    return p;
}

inline std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> out;
    for (const auto &p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

struct TestRecord {
    FrameRecordHeader header;
    std::vector<uint8_t> data;
};

inline TestRecord Record(int channel, std::initializer_list<std::vector<uint8_t>> packets, uint32_t time)
{
    TestRecord r;
    r.data = Join(packets);
    r.header.channel = uint8_t(channel);
    r.header.timeValue = time;
    r.header.liveMask = 0xFFFF;
    r.header.playMask = 0xFFFF;
    r.header.partSize[0] = uint32_t(r.data.size());
    return r;
}

struct FakeHost : PlayPathHost {
    std::vector<int> decodedRings;
    std::vector<uint32_t> decodedPts;
    std::vector<int> jpegPanes;
    std::vector<int64_t> jpegSeconds;
    std::vector<int> blanked;
    std::vector<std::pair<int, bool>> leds;
    std::vector<bool> schedulerStates;
    int captions = 0;

    void ShowJpeg(int index, const FrameRecordHeader &header, DvrRecordStream &) override
    {
        jpegPanes.push_back(index);
        jpegSeconds.push_back(RecordSecond(header.time));
    }
    bool DecodeMpeg(int ring, const FrameRecordHeader &, const uint8_t *frame, size_t size) override
    {
        EXPECT_GE(size, kPesHeaderBytes);
        decodedRings.push_back(ring);
        decodedPts.push_back(MpegPts(frame));
        return true;
    }
    void BlankChannel(int index) override { blanked.push_back(index); }
    void SetLed(int index, bool event) override { leds.push_back({index, event}); }
    void SetSchedulerRunning(bool on) override
    {
        if (!on || schedulerStates.empty() || !schedulerStates.back())
            schedulerStates.push_back(on);
    }
    void UpdateCaption(const FrameRecordHeader &) override { ++captions; }
};

// A connected view in live mode with a fake clock; sleeping only counts.
struct Fixture {
    FakeHost host;
    uint32_t now = 0;
    int slept = 0;
    PlayPath path{host, {[this] { return now; }, [this](int ms) {
                             slept += ms;
                             ASSERT_LT(slept, 100000) << "a producer waits for ever";
                         }}};
    explicit Fixture(int channels, bool ntsc = false, uint8_t model = 0)
    {
        path.SetFormat(channels, model, ntsc);
        path.SetConnected(true);
    }
};

} // namespace strandel::testing_playpath
