#include "platform/endian.h"
#include "viewer/link/crc32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace strandel;

namespace {
uint32_t CrcOf(const std::string &s) { return CrcUpdate(0, reinterpret_cast<const uint8_t *>(s.data()), int(s.size())); }
} // namespace

TEST(Crc32, KnownVectors)
{
    BuildCrcTable();
    EXPECT_EQ(CrcOf("123456789"), 0x89A1897Fu);
    EXPECT_EQ(CrcOf("abc"), 0x2C17398Cu);
    EXPECT_EQ(CrcTable()[0], 0u);
    EXPECT_EQ(CrcTable()[1], 0x04C11DB7u);
    EXPECT_EQ(CrcTable()[255], 0xB1F740B4u);
}

TEST(Crc32, UpdateContinuesAndIgnoresEmptyCounts)
{
    const uint8_t *p = reinterpret_cast<const uint8_t *>("123456789");
    EXPECT_EQ(CrcUpdate(CrcUpdate(0, p, 4), p + 4, 5), 0x89A1897Fu);
    EXPECT_EQ(CrcUpdate(0x1234u, p, 0), 0x1234u);
    EXPECT_EQ(CrcUpdate(0x1234u, p, -5), 0x1234u);
}

TEST(Crc32, CheckCrcReadsTrailingLittleEndianWord)
{
    uint8_t buf[13];
    std::memcpy(buf, "123456789", 9);
    PutLe32(buf + 9, 0x89A1897Fu);
    EXPECT_TRUE(CheckCrc(buf, 13));
    buf[0] ^= 1;
    EXPECT_FALSE(CheckCrc(buf, 13));

    uint8_t zero[4] = {0, 0, 0, 0}; // CRC of nothing is 0
    EXPECT_TRUE(CheckCrc(zero, 4));
    EXPECT_FALSE(CheckCrc(zero, 3));
    EXPECT_FALSE(CheckCrc(zero, 0));
}

TEST(Crc32, EveryRoutineMatchesThePlainOne)
{
    std::vector<uint8_t> buf(700 + 16);
    uint32_t seed = 12345;
    for (auto &b : buf) {
        seed = seed * 1103515245u + 12345u;
        b = uint8_t(seed >> 16);
    }
    ASSERT_GE(CrcRoutines().size(), 2u);
    EXPECT_STREQ(CrcRoutines().front().name, "plain");
    for (const CrcRoutine &r : CrcRoutines())
        for (uint32_t start : {0u, 0xFFFFFFFFu, 0x89A1897Fu})
            for (int offset = 0; offset < 16; offset += 3)
                for (int n = 0; n <= 700; ++n)
                    ASSERT_EQ(r.fn(start, buf.data() + offset, n), CrcUpdatePlain(start, buf.data() + offset, n))
                        << r.name << " offset " << offset << " count " << n;
    EXPECT_EQ(CrcUpdate(7, buf.data(), 700), CrcUpdatePlain(7, buf.data(), 700));
}
