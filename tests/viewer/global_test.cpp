#include "viewer/base/dvrlistrecord.h"
#include "viewer/base/global.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace strandel;

TEST(TimeText, FormatsTheSevenFields)
{
    struct Case {
        RecorderTime t;
        const char *text;
    } cases[] = {
        {{20, 4, 10, 10, 0, 0, 0}, "2004/10/10  00:00:00"},
        {{19, 99, 12, 31, 23, 59, 59}, "1999/12/31  23:59:59"},
    };
    for (const auto &c : cases) {
        char buf[kTimeTextSize];
        EXPECT_STREQ(TimeText(&c.t, buf), c.text);
        EXPECT_EQ(std::strlen(buf), 20u);
    }
}

TEST(TimeText, HostileFieldsNeverOverrunTheBuffer)
{
    RecorderTime t{0x80, 0xFF, 0x80, 0x80, 0x80, 0x80, 0x80};
    char buf[kTimeTextSize + 8];
    std::memset(buf, 'Z', sizeof buf);
    TimeText(&t, buf);
    EXPECT_EQ(std::strlen(buf), size_t(kTimeTextSize - 1));
    for (size_t i = kTimeTextSize; i < sizeof buf; ++i)
        EXPECT_EQ(buf[i], 'Z');
}

TEST(DayOfWeek, KnownDates)
{
    struct Case {
        RecorderTime t;
        int day;
    } cases[] = {
        {{20, 4, 10, 10, 0, 0, 0}, 0},
        {{20, 0, 1, 1, 0, 0, 0}, 6},
        {{20, 0, 3, 1, 0, 0, 0}, 3},
        {{20, 26, 12, 10, 0, 0, 0}, 4},
    };
    for (const auto &c : cases)
        EXPECT_EQ(DayOfWeek(&c.t), c.day);
    RecorderTime bad{0, 0, 200, 0, 0, 0, 0};
    int d = DayOfWeek(&bad);
    EXPECT_GE(d, 0);
    EXPECT_LE(d, 6);
}

TEST(RecorderTime, ComparesAsSevenByteStrings)
{
    EXPECT_LT(CompareRecorderTime({20, 4, 10, 10, 0, 0, 0}, {20, 4, 10, 10, 0, 0, 1}), 0);
    EXPECT_GT(CompareRecorderTime({20, 5, 1, 1, 0, 0, 0}, {20, 4, 12, 31, 23, 59, 59}), 0);
    EXPECT_EQ(CompareRecorderTime({20, 4, 1, 1, 0, 0, 0}, {20, 4, 1, 1, 0, 0, 0}), 0);
}

TEST(IpText, FormatsAndParses)
{
    const uint8_t ip[4] = {192, 168, 0, 7};
    EXPECT_EQ(IpToString(ip), "192.168.0.7");
    EXPECT_STREQ(IpToText(ip), "192.168.0.7");

    struct Case {
        const char *text;
        int count;
        uint8_t ip[4];
    } cases[] = {
        {"192.168.0.7", 4, {192, 168, 0, 7}},
        {"10.1", 2, {10, 1, 0, 0}},
        {"300.1.2.3", 4, {44, 1, 2, 3}},
        {"", 0, {0, 0, 0, 0}},
        {"abc", 0, {0, 0, 0, 0}},
        {"1.2.3.4.5", 4, {1, 2, 3, 4}},
        {"99999999999999999999.1.1.1", 4, {0xFF, 1, 1, 1}},
    };
    for (const auto &c : cases) {
        uint8_t out[4] = {0, 0, 0, 0};
        EXPECT_EQ(TextToIp(c.text, out), c.count) << c.text;
        if (c.count == 4 || c.count == 2) {
            EXPECT_EQ(std::memcmp(out, c.ip, size_t(c.count)), 0) << c.text;
        }
    }
    EXPECT_EQ(TextToIp(nullptr, nullptr), 0);
}

TEST(DvrListRecord, RoundTripsByteExact)
{
    uint8_t bytes[DvrListRecord::kSize];
    for (int i = 0; i < DvrListRecord::kSize; ++i)
        bytes[i] = uint8_t(i * 7 + 3);
    DvrListRecord r = DvrListRecord::Read(bytes);
    EXPECT_EQ(r.kind, bytes[0]);
    EXPECT_EQ(uint32_t(r.port), uint32_t(bytes[14] | bytes[15] << 8 | bytes[16] << 16 | bytes[17] << 24));
    uint8_t back[DvrListRecord::kSize];
    r.Write(back);
    EXPECT_EQ(std::memcmp(bytes, back, sizeof back), 0);

    std::array<char, 17> user;
    SetField(user, "a-very-long-user-name-indeed");
    EXPECT_EQ(FieldText(user), "a-very-long-user");
    std::array<char, 4> full = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(FieldText(full), "abcd");
}
