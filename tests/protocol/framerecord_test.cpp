#include <gtest/gtest.h>

#include <numeric>

#include "viewer/protocol/framerecord.h"

using namespace strandel;

// Every byte survives a read and a write, also those the viewer does not interpret.
TEST(FrameRecordHeader, RoundTripKeepsEveryByte)
{
    std::array<uint8_t, kFrameRecordHeaderSize> raw;
    std::iota(raw.begin(), raw.end(), uint8_t(1));
    EXPECT_EQ(FrameRecordHeader::Read(raw.data()).ToBytes(), raw);
}

TEST(FrameRecordHeader, FieldOffsets)
{
    FrameRecordHeader h;
    h.channel = 3;
    h.channel2 = 4;
    h.event = 1;
    h.text[0] = {'C', 'A', 'M', '3'};
    h.text[1] = {'D', 'O', 'O', 'R'};
    h.frameId = 0x5A;
    h.sizeCode = 2;
    h.kind = FrameKindCopy;
    h.time = {20, 26, 12, 10, 13, 14, 15};
    h.liveMask = 0x01020304;
    h.playMask = 0xA0B0C0D0;
    h.sectors = 11;
    h.delay = 12;
    h.covert = 2;
    h.partSize = {5000, 7, 0x10203040};
    h.jpegLength = 4999;
    h.timeValue = kFrameTimeFirstMark | 99;
    h.directShow = 1;
    const auto b = h.ToBytes();

    EXPECT_EQ(b[0], 3);
    EXPECT_EQ(b[1], 4);
    EXPECT_EQ(b[2], 1);
    EXPECT_EQ(b[4], 'C');
    EXPECT_EQ(b[14], 'D');
    EXPECT_EQ(b[32], 0x5A);
    EXPECT_EQ(b[33], 2);
    EXPECT_EQ(b[34], 2);
    const uint8_t time[7] = {20, 26, 12, 10, 13, 14, 15};
    EXPECT_TRUE(std::equal(time, time + 7, b.begin() + 37));
    const std::pair<int, uint32_t> words[] = {{56, 0x01020304}, {60, 0xA0B0C0D0}, {64, 11}, {68, 12},
                                              {72, 2}, {76, 5000}, {80, 7}, {84, 0x10203040},
                                              {88, 4999}, {96, 0x80000063}};
    for (auto [off, v] : words) {
        SCOPED_TRACE(off);
        EXPECT_EQ(b[off], uint8_t(v));
        EXPECT_EQ(b[off + 1], uint8_t(v >> 8));
        EXPECT_EQ(b[off + 2], uint8_t(v >> 16));
        EXPECT_EQ(b[off + 3], uint8_t(v >> 24));
    }
    EXPECT_EQ(b[100], 1);
}

TEST(FrameRecordHeader, SizesDoNotWrap)
{
    FrameRecordHeader h;
    h.partSize = {0xFFFFFFFFu, 0xFFFFFFFFu, 2};
    EXPECT_EQ(h.TotalSize(), 0x200000000ull);
    h.partSize = {5000, 0, 0};
    EXPECT_EQ(h.SectorCount(), ((5000u + 127) >> 9) + 1);
}
