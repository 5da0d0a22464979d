// The capture and playback objects on detached devices (the test is the device), and what
// happens on a machine without any audio device.
#include "platform/debuglog.h"
#include "viewer/audio/waveaudio.h"

#include <gtest/gtest.h>

#include <cmath>
#include <mutex>
#include <string>
#include <vector>

using namespace strandel;

namespace {

class Detached : public ::testing::Test {
protected:
    void SetUp() override { SetDetachedAudioDevices(true); }
    void TearDown() override { SetDetachedAudioDevices(false); }
};

std::vector<uint8_t> ToneBlock(double hz, size_t index)
{
    std::vector<uint8_t> pcm(kImaSamplesPerBlock);
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = uint8_t(std::lround(128 + 90 * std::sin(2 * M_PI * hz * double(index * kImaSamplesPerBlock + i) / 8000)));
    ImaStreamEncoder encoder;
    std::vector<uint8_t> block;
    encoder.Encode(pcm.data(), pcm.size(), block);
    return block;
}

struct LogCapture {
    LogCapture()
    {
        SetDebugSink([this](const std::string &line) {
            std::lock_guard<std::mutex> lock(mutex);
            lines.push_back(line);
        });
    }
    ~LogCapture() { SetDebugSink({}); }
    bool Has(const std::string &text)
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (const std::string &l : lines)
            if (l == text)
                return true;
        return false;
    }
    std::mutex mutex;
    std::vector<std::string> lines;
};

} // namespace

TEST_F(Detached, PlaybackStartsOnceTheRingHoldsTwentyThreeBlocks)
{
    WavePlayback playback(nullptr);
    LogCapture log;
    ASSERT_TRUE(playback.Open());
    EXPECT_TRUE(log.Has("Wave Out Opened"));
    const std::vector<uint8_t> block = ToneBlock(500, 0);
    for (uint32_t i = 1; i <= 30; ++i) {
        playback.Play(block.data(), block.size());
        EXPECT_EQ(playback.RingIndex(), i);
        EXPECT_EQ(playback.IsStarted(), i >= kPlaybackStartIndex) << i;
    }
    // What plays is the decoded block, as 8-bit PCM.
    uint8_t out[kImaSamplesPerBlock];
    ASSERT_EQ(playback.ReadOut(out, sizeof out), sizeof out);
    int16_t expected[kImaSamplesPerBlock];
    ASSERT_TRUE(DecodeImaBlock(block.data(), block.size(), expected));
    for (size_t i = 0; i < kImaSamplesPerBlock; ++i)
        ASSERT_EQ(out[i], Pcm16ToPcm8(expected[i])) << i;
    // Every open starts the count again.
    playback.Close();
    ASSERT_TRUE(playback.Open());
    EXPECT_EQ(playback.RingIndex(), 0u);
    EXPECT_FALSE(playback.IsStarted());
    EXPECT_EQ(playback.Queued(), 0u);
}

TEST_F(Detached, PlaybackPlaysOnlyWholeValidBlocksAndDropsTheNewestWhenFull)
{
    WavePlayback playback(nullptr);
    std::vector<uint8_t> block = ToneBlock(300, 0);
    playback.Play(block.data(), block.size()); // closed: nothing
    ASSERT_TRUE(playback.Open());
    std::vector<uint8_t> longer = block;
    longer.resize(300);
    std::vector<uint8_t> badIndex = block;
    badIndex[2] = 89;
    playback.Play(block.data(), 128);
    playback.Play(longer.data(), longer.size());
    playback.Play(badIndex.data(), badIndex.size());
    EXPECT_EQ(playback.Queued(), 0u);
    EXPECT_EQ(playback.RingIndex(), 0u);

    // 40 blocks fill the ring; the 41st and 42nd find slot 0 still waiting and are dropped.
    std::vector<std::vector<uint8_t>> blocks;
    for (size_t i = 0; i < kPlaybackBufferCount + 2; ++i) {
        blocks.push_back(ToneBlock(300, i));
        playback.Play(blocks.back().data(), blocks.back().size());
    }
    EXPECT_EQ(playback.Queued(), kPlaybackBufferCount);
    EXPECT_EQ(playback.Dropped(), 2u);
    // The first block still plays first, untouched.
    uint8_t out[kImaSamplesPerBlock];
    ASSERT_EQ(playback.ReadOut(out, sizeof out), sizeof out);
    int16_t expected[kImaSamplesPerBlock];
    ASSERT_TRUE(DecodeImaBlock(blocks[0].data(), kImaBlockSize, expected));
    EXPECT_EQ(out[100], Pcm16ToPcm8(expected[100]));
    // Its slot is free again and takes the next block.
    playback.Play(blocks[1].data(), kImaBlockSize);
    EXPECT_EQ(playback.Queued(), kPlaybackBufferCount);
    EXPECT_EQ(playback.Dropped(), 2u);
}

TEST_F(Detached, CaptureEncodesTheStreamAndKeepsGoingWhenBlocksAreNotSent)
{
    WaveCapture capture(nullptr);
    std::vector<uint8_t> sent;
    int calls = 0;
    bool send = false;
    ASSERT_TRUE(capture.Open([&](WaveHeader &h) {
        ++calls;
        if (!send)
            return; // dropped, as while the layout switches
        uint8_t out[2 * kImaBlockSize];
        const size_t n = capture.OnData(h, out, sizeof out);
        sent.insert(sent.end(), out, out + n);
    }));
    std::vector<uint8_t> pcm(512 * 40);
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = uint8_t(128 + 60 * std::sin(double(i) * 0.3));
    capture.Deliver(pcm.data(), 512 * 10); // not started: the device delivers nothing to encode
    ASSERT_TRUE(capture.Start());
    capture.Deliver(pcm.data(), 512 * 10); // ten buffers not sent: capture must not run dry
    EXPECT_EQ(calls, 20);
    send = true;
    // Odd pieces, as a device hands them over, still make whole 512-byte buffers.
    for (size_t at = 0; at < pcm.size();) {
        const size_t n = std::min<size_t>(333, pcm.size() - at);
        capture.Deliver(&pcm[at], n);
        at += n;
    }
    EXPECT_EQ(calls, 60);
    ImaStreamEncoder reference;
    std::vector<uint8_t> expected;
    reference.Encode(pcm.data(), pcm.size(), expected);
    EXPECT_EQ(sent, expected) << "one continuous stream, no sample lost at buffer boundaries";

    // Stopped: OnData zeroes the block and produces nothing; starting again works.
    ASSERT_TRUE(capture.Stop());
    WaveHeader h;
    h.length = 512;
    uint8_t out[kImaBlockSize];
    std::fill(out, out + sizeof out, 0xAA);
    EXPECT_EQ(capture.OnData(h, out, sizeof out), 0u);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[255], 0);
    ASSERT_TRUE(capture.Start());
    sent.clear();
    capture.Deliver(pcm.data(), 512);
    EXPECT_EQ(sent.size(), kImaBlockSize);
    capture.Close();
    capture.Deliver(pcm.data(), 512); // closed: no callback
    EXPECT_EQ(calls, 61);
}

// With no sound server and no sound card (CI, a server) both objects refuse to open and say why.
TEST(NoDevice, BothObjectsRefuseToOpenAndSaySo)
{
    if (HasAudioOutput() || HasAudioInput())
        GTEST_SKIP() << "this machine has an audio device";
    LogCapture log;
    WavePlayback playback(nullptr);
    EXPECT_FALSE(playback.Open());
    EXPECT_EQ(playback.LastResult(), kWaveNoDevice);
    const std::vector<uint8_t> block = ToneBlock(400, 0);
    playback.Play(block.data(), block.size());
    EXPECT_EQ(playback.Queued(), 0u);
    WaveCapture capture(nullptr);
    EXPECT_FALSE(capture.Open([](WaveHeader &) { FAIL() << "no callback without a device"; }));
    EXPECT_FALSE(capture.Start());
    EXPECT_TRUE(log.Has("Cannot open Wave Out: 2"));
    EXPECT_TRUE(log.Has("Cannot open WaveIn : 2"));
}
