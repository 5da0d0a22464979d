#include <gtest/gtest.h>

#include <random>
#include <string>

#include "report/pages/splay.h"

using namespace strandel;

namespace {

std::vector<uint8_t> Bytes(const std::string &s) { return std::vector<uint8_t>(s.begin(), s.end()); }

std::vector<uint8_t> Compress(const std::vector<uint8_t> &in) { return PgxCompressBytes(in.data(), in.size()); }

} // namespace

TEST(Splay, KnownVectors)
{
    struct Case {
        std::vector<uint8_t> in, code;
    } cases[] = {
        {{}, {}},                         // an empty page writes nothing
        {{0x00}, {0x80}},                 // 0000000 then 1, root end first
        {Bytes("abc"), {0x46, 0x3D, 0x01}},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(Compress(c.in), c.code);
        std::vector<uint8_t> out;
        ASSERT_TRUE(PgxExpandBytes(c.code.data(), c.code.size(), c.in.size(), out));
        EXPECT_EQ(out, c.in);
    }
}

TEST(Splay, ByteBoundaryGetsNoExtraByte)
{
    // Byte 0 codes in exactly 8 bits from a fresh tree: one byte out, no flush byte.
    EXPECT_EQ(Compress({0x00}).size(), 1u);
    // Byte 255 starts with a 9-bit code: two bytes, the second holding one bit.
    std::vector<uint8_t> code = Compress({0xff});
    ASSERT_EQ(code.size(), 2u);
    EXPECT_EQ(code[1] & 0xfe, 0);
}

TEST(Splay, RoundTripsAndShrinksRuns)
{
    std::mt19937 rng(7);
    for (size_t size : {1u, 2u, 255u, 256u, 4096u, 70000u}) {
        std::vector<uint8_t> in(size);
        for (auto &b : in)
            b = uint8_t(rng());
        std::vector<uint8_t> code = Compress(in), out;
        ASSERT_TRUE(PgxExpandBytes(code.data(), code.size(), in.size(), out)) << size;
        EXPECT_EQ(out, in) << size;
    }
    std::vector<uint8_t> run(10000, 'x'), out;
    std::vector<uint8_t> code = Compress(run);
    EXPECT_LT(code.size(), run.size() / 4);
    ASSERT_TRUE(PgxExpandBytes(code.data(), code.size(), run.size(), out));
    EXPECT_EQ(out, run);
}

TEST(Splay, ExpanderReportsEarlyEnd)
{
    std::vector<uint8_t> code = Compress(Bytes("a longer text to expand")), out;
    // A code cut short runs out of input inside its last byte.
    EXPECT_FALSE(PgxExpandBytes(code.data(), code.size() - 1, 23, out));
    EXPECT_FALSE(PgxExpandBytes(nullptr, 0, 1, out));
    size_t consumed = 0;
    ASSERT_TRUE(PgxExpandBytes(code.data(), code.size(), 23, out, &consumed));
    EXPECT_EQ(consumed, code.size());
}
