#include <gtest/gtest.h>

#include "viewer/protocol/dvrcommand.h"

using namespace strandel;

namespace {
const RecorderTime kTime{20, 26, 12, 10, 13, 14, 15};
}

TEST(DvrCommand, RequestPayloads)
{
    const uint8_t event[kEventEntrySize] = {1, 2, 3};
    const uint8_t block[kBlockEntrySize] = {9, 8, 7};
    struct Case {
        const char *name;
        Payload got;
        Payload want;
    } cases[] = {
        {"login", BuildLogin("admin", "123456789"),
         {'a', 'd', 'm', 'i', 'n', 0, 0, 0, '1', '2', '3', '4', '5', '6', '7', '8'}},
        {"login empty user", BuildLogin("", "pw"), {0, 0, 0, 0, 0, 0, 0, 0, 'p', 'w', 0, 0, 0, 0, 0, 0}},
        {"mode", BuildMode(1), {1, 0}},
        {"pause", BuildPlayControl(0, 0, 0, 0), {30, 0, 0, 0, 0}},
        {"slow back", BuildPlayControl(1, 0, 1, PlayDirBackward), {30, 1, 0, 1, 32}},
        {"play time", BuildPlayTime(2, 5, kTime), {2, 2, 5, 20, 26, 12, 10, 13, 14, 15}},
        {"play pos", BuildPlayPos(0x01020304, 0x0A0B0C0D), {8, 4, 3, 2, 1, 0x0D, 0x0C, 0x0B, 0x0A}},
        {"play file", BuildPlayFile("a.dvr"), {7, 'a', '.', 'd', 'v', 'r', 0}},
        {"event search", BuildEventSearch(3, 1, 7, kTime), {3, 1, 7, 20, 26, 12, 10, 13, 14, 15}},
        {"block search", BuildBlockSearch(0, kTime), {0, 20, 26, 12, 10, 13, 14, 15}},
        {"copy", BuildCopy(1, 2, kTime, kTime),
         {1, 2, 20, 26, 12, 10, 13, 14, 15, 20, 26, 12, 10, 13, 14, 15}},
        {"upgrade start", BuildUpgradePhase(0, 70000), {0, 0x70, 0x11, 0x01, 0}},
        {"remote key", BuildRemoteKey(0x100), {0, 1, 0, 0}},
        {"relay on", BuildControl(11), {11, 0}},
        {"audio on", BuildAudioSwitch(true), {1, 0, 0, 0}},
        {"env password", BuildEnvPassword("1111"), {'1', '1', '1', '1', 0, 0, 0, 0}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.got, c.want) << c.name;
    EXPECT_EQ(BuildPlayEvent(event).size(), 21u);
    EXPECT_EQ(BuildPlayBlock(block)[1], 9);
    const std::vector<uint8_t> big(1500, 0xEE);
    EXPECT_EQ(BuildUpgradeData(5, big.data(), big.size()).size(), 1005u);
}

TEST(DvrCommand, ReadersDropShortPayloads)
{
    const std::vector<uint8_t> zeros(200, 0);
    struct Case {
        const char *name;
        size_t need;
        bool (*read)(const uint8_t *, size_t);
    } cases[] = {
        {"login", 9, [](const uint8_t *p, size_t n) { return ReadLoginAnswer(p, n).has_value(); }},
        {"mask", 2, [](const uint8_t *p, size_t n) { return ReadChannelMask(p, n).has_value(); }},
        {"play status", 5, [](const uint8_t *p, size_t n) { return ReadPlayStatus(p, n).has_value(); }},
        {"rec time", 23, [](const uint8_t *p, size_t n) { return ReadPlayRecTime(p, n).has_value(); }},
        {"play pos", 9, [](const uint8_t *p, size_t n) { return ReadPlayPosition(p, n).has_value(); }},
        {"segment total", 4, [](const uint8_t *p, size_t n) { return ReadSegmentTotal(p, n).has_value(); }},
        {"result", 1, [](const uint8_t *p, size_t n) { return ReadResultByte(p, n).has_value(); }},
        {"log entry", 9, [](const uint8_t *p, size_t n) { return ReadLogEntry(p, n).has_value(); }},
    };
    for (const auto &c : cases) {
        EXPECT_FALSE(c.read(zeros.data(), c.need - 1)) << c.name;
        EXPECT_TRUE(c.read(zeros.data(), c.need)) << c.name;
        EXPECT_FALSE(c.read(nullptr, c.need)) << c.name;
    }
    EXPECT_FALSE(ReadScreenLayoutInfo(zeros.data(), 127));
    EXPECT_FALSE(ReadScreenLayoutInfo(zeros.data(), 129));
    EXPECT_TRUE(ReadScreenLayoutInfo(zeros.data(), 128));
}

TEST(DvrCommand, LoginAnswerFields)
{
    const uint8_t p[9] = {0xFF, 16, 0x31, 0x00, 0x11, 0x22, 0x33, 0x44, 0xAB};
    const auto a = *ReadLoginAnswer(p, 9);
    EXPECT_EQ(a.result, -1);
    EXPECT_EQ(a.channelCount, 16);
    EXPECT_TRUE(a.Ntsc());
    EXPECT_EQ(a.Model(), 3);
    EXPECT_EQ(a.mac[5], 0xAB);
    const uint8_t mask[2] = {0x80, 0x01};
    EXPECT_EQ(*ReadChannelMask(mask, 2), 0x8001);
}

TEST(DvrCommand, ScreenLayoutOffsets)
{
    uint8_t p[128] = {};
    for (int i = 0; i < 128; ++i)
        p[i] = uint8_t(i);
    const auto s = *ReadScreenLayoutInfo(p, 128);
    EXPECT_EQ(s.cells4[0], 0);
    EXPECT_EQ(s.cells6[0], 4);
    EXPECT_EQ(s.cells7[0], 10);
    EXPECT_EQ(s.cells9[0], 17);
    EXPECT_EQ(s.cells10[0], 26);
    EXPECT_EQ(s.cells13[12], 48);
    EXPECT_EQ(s.features, 127);
}

TEST(DvrCommand, PlayStateTexts)
{
    struct Case {
        uint8_t mode;
        PlayStatus status;
        const char *text;
    } cases[] = {
        {DvrModePlayback, {1, 4, 0, 31}, ">>4"},
        {DvrModePlayback, {1, 0, 0, 32}, "<"},
        {DvrModePlayback, {0, 4, 0, 32}, "<||"},
        {DvrModePlayback, {1, 3, 0, 32}, "<<3"},
        {DvrModePlayback, {1, 0, 2, 32}, "<|2"},
        {DvrModePlayback, {2, 0, 0, 32}, "<||"},
        {DvrModePlayback, {0, 0, 0, 31}, "||>"},
        {DvrModePlayback, {1, 0, 8, 31}, "|>8"},
        {DvrModePlayback, {1, 1, 1, 0}, ">"},
        {DvrModePlayback, {5, 0, 0, 31}, "||>"},
        {DvrModeLive, {1, 4, 0, 32}, ">"},
        {DvrModeLive, {0, 0, 0, 31}, "||"},
        {DvrModeLive, {2, 0, 0, 31}, "||"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(PlayStateText(c.mode, c.status), c.text)
            << int(c.mode) << " " << int(c.status.state) << " " << c.status.fast << " " << c.status.slow;
}

TEST(DvrCommand, LogFileIsLastEntryFirst)
{
    // The file says what the log search lists: disk errors and failures keep their disk.
    const uint8_t log[45] = {
        1, 20, 26, 1, 2, 3, 4, 5, 0xEE,   // RECORD START
        21, 20, 26, 1, 2, 3, 4, 6, 0,     // no text for 21: an empty one
        10, 20, 26, 1, 2, 3, 4, 7, 3,     // HDD ERROR on disk 3
        11, 20, 26, 1, 2, 3, 4, 8, 12,    // a bay fails
        20, 20, 26, 12, 31, 23, 59, 59, 0, // last code of the table
    };
    EXPECT_EQ(FormatLogFile(log, sizeof log), "1 2026/12/31 23:59:59 BAY4 FAN ERR\r\n"
                                              "2 2026/01/02 03:04:08 BAY FAIL-12\r\n"
                                              "3 2026/01/02 03:04:07 HDD ERROR- 3\r\n"
                                              "4 2026/01/02 03:04:06 \r\n"
                                              "5 2026/01/02 03:04:05 RECORD START\r\n");
    EXPECT_EQ(FormatLogFile(log, 8), "");
    EXPECT_EQ(LogText(21), "");
    EXPECT_EQ(LogText(0xFF), ""); // a negative code
    EXPECT_EQ(LogText(0), "POWER OFF   ");
}
