// The inverse DCT and put/add: table rule, accuracy, clamping, and each SIMD routine against its twin.
#include "decoder/dsp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace strandel::lumaset {
namespace {

TEST(Idct, RowTablesFollowTheScaledCosineRule)
{
    const int16_t rows04[32] = {16384, 16384, 16384, -16384, 21407, 8867,  8867,  -21407, 16384, -16384, 16384,
                                16384, -8867, 21407, -21407, -8867, 22725, 12873, 19266,  -22725, 19266, 4520,
                                -4520, -12873, 12873, 4520,   4520,  19266, -22725, 19266, -12873, -22725};
    const IdctTables &t = GetIdctTables();
    EXPECT_EQ(0, std::memcmp(t.row[0], rows04, sizeof rows04));
    const int16_t leading[4] = {16384, 22725, 21407, 19266};
    const int tableOfRow[8] = {0, 1, 2, 3, 0, 3, 2, 1};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(t.row[i][0], leading[i]);
    for (int r = 0; r < 8; ++r)
        EXPECT_EQ(IdctTableForRow(r), tableOfRow[r]);
}

TEST(Idct, DcOnlyBlockIsFlat)
{
    for (int v : {0, 1, 37, 100, 255, -50}) {
        int16_t b[64] = {};
        b[0] = int16_t(8 * v);
        DspPlain().idct(b);
        for (int i = 0; i < 64; ++i)
            ASSERT_NEAR(b[i], v, 1) << "v " << v << " at " << i;
    }
}

// Double-precision reference transforms.
void ForwardDct(const double in[64], double out[64])
{
    for (int v = 0; v < 8; ++v)
        for (int u = 0; u < 8; ++u) {
            double s = 0;
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x)
                    s += in[8 * y + x] * std::cos((2 * x + 1) * u * M_PI / 16) * std::cos((2 * y + 1) * v * M_PI / 16);
            const double cu = u ? 1 : M_SQRT1_2, cv = v ? 1 : M_SQRT1_2;
            out[8 * v + u] = s * cu * cv / 4;
        }
}

void InverseDct(const double in[64], double out[64])
{
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            double s = 0;
            for (int v = 0; v < 8; ++v)
                for (int u = 0; u < 8; ++u) {
                    const double cu = u ? 1 : M_SQRT1_2, cv = v ? 1 : M_SQRT1_2;
                    s += cu * cv * in[8 * v + u] * std::cos((2 * x + 1) * u * M_PI / 16) *
                         std::cos((2 * y + 1) * v * M_PI / 16);
                }
            out[8 * y + x] = s / 4;
        }
}

// Accuracy in the manner of IEEE 1180: random pixel blocks, transformed, rounded and transformed
// back, against the exact inverse. This is the tolerance that the reference-stream tests rely on.
TEST(Idct, AccuracyAgainstExactTransform)
{
    std::mt19937 rng(1180);
    std::uniform_int_distribution<int> pixel(-256, 255);
    constexpr int kBlocks = 2000;
    double sumSq = 0, sum = 0;
    int peak = 0;
    for (int n = 0; n < kBlocks; ++n) {
        double spatial[64], coef[64], exact[64];
        for (double &p : spatial)
            p = pixel(rng);
        ForwardDct(spatial, coef);
        int16_t block[64];
        for (int i = 0; i < 64; ++i) {
            coef[i] = std::clamp(std::round(coef[i]), -2048.0, 2047.0);
            block[i] = int16_t(coef[i]);
        }
        InverseDct(coef, exact);
        DspPlain().idct(block);
        for (int i = 0; i < 64; ++i) {
            const int e = block[i] - int(std::clamp(std::round(exact[i]), -256.0, 255.0));
            peak = std::max(peak, std::abs(e));
            sumSq += e * e;
            sum += e;
        }
    }
    EXPECT_LE(peak, 1);
    EXPECT_LE(sumSq / (64.0 * kBlocks), 0.06);
    EXPECT_LE(std::abs(sum) / (64.0 * kBlocks), 0.015);
}

TEST(Idct, PutAndAddClamp)
{
    int16_t b[64];
    for (int i = 0; i < 64; ++i)
        b[i] = int16_t(i % 2 ? 300 : -300);
    for (const Dsp *d : {&DspPlain(), DspSse2()}) {
        if (!d)
            continue;
        uint8_t pic[8 * 16];
        std::memset(pic, 200, sizeof pic);
        d->add(pic, 16, b);
        EXPECT_EQ(pic[0], 0);
        EXPECT_EQ(pic[1], 255);
        EXPECT_EQ(pic[8], 200) << "outside the block";
        d->put(pic, 16, b);
        EXPECT_EQ(pic[16 + 2], 0);
        EXPECT_EQ(pic[16 + 3], 255);
    }
}

// Every SIMD routine gives the bits of its plain twin: the SSE2 table, and the AVX2 one over it.
class IdctTwins : public ::testing::TestWithParam<int> {};

TEST_P(IdctTwins, MatchPlain)
{
    const Dsp *simd = GetParam() == 1 ? DspSse2() : DspAvx2();
    if (!simd)
        GTEST_SKIP() << "the CPU lacks this twin";
    const Dsp &plain = DspPlain();
    std::mt19937 rng(42);
    std::uniform_int_distribution<int> small(-2048, 2047), full(-32768, 32767), byte(0, 255);
    for (int n = 0; n < 20000; ++n) {
        alignas(16) int16_t a[64], b[64];
        const bool sparse = n % 3 == 0;
        for (int i = 0; i < 64; ++i) {
            const int v = n % 5 == 4 ? full(rng) : small(rng);
            a[i] = int16_t(sparse && byte(rng) < 220 ? 0 : v);
        }
        if (n % 4 == 1) // coefficients in row 0 alone, or the DC alone: blocks twins may take apart
            std::fill(a + (n % 8 == 1 ? 8 : 1), a + 64, int16_t(0));
        std::memcpy(b, a, sizeof a);
        alignas(16) int16_t in[64];
        std::memcpy(in, a, sizeof a);
        plain.idct(a);
        simd->idct(b);
        ASSERT_EQ(0, std::memcmp(a, b, sizeof a)) << "idct, block " << n;

        // The inverse DCT and put or add in one go, onto random pixels.
        for (int add = 0; add < 2; ++add) {
            uint8_t f1[8 * 24], f2[8 * 24];
            for (uint8_t &p : f1)
                p = uint8_t(byte(rng));
            std::memcpy(f2, f1, sizeof f1);
            alignas(16) int16_t c1[64], c2[64];
            std::memcpy(c1, in, sizeof in);
            std::memcpy(c2, in, sizeof in);
            (add ? plain.idct_add : plain.idct_put)(f1 + 7, 24, c1);
            (add ? simd->idct_add : simd->idct_put)(f2 + 7, 24, c2);
            ASSERT_EQ(0, std::memcmp(f1, f2, sizeof f1)) << (add ? "idct_add" : "idct_put") << ", block " << n;
        }

        uint8_t p1[8 * 24], p2[8 * 24];
        for (uint8_t &p : p1)
            p = uint8_t(byte(rng));
        std::memcpy(p2, p1, sizeof p1);
        plain.add(p1 + 3, 24, a);
        simd->add(p2 + 3, 24, a);
        ASSERT_EQ(0, std::memcmp(p1, p2, sizeof p1)) << "add, block " << n;
        plain.put(p1 + 5, 24, a);
        simd->put(p2 + 5, 24, a);
        ASSERT_EQ(0, std::memcmp(p1, p2, sizeof p1)) << "put, block " << n;

        // Intra dequantisation at every quantiser a 9-bit precision allows, levels up to 12 bits,
        // and now and then any 16-bit level at the smallest or largest quantiser.
        const bool extreme = n % 7 == 6;
        const int q = extreme ? (n & 8 ? 511 : 1) : 1 + n % 511;
        for (int i = 0; i < 64; ++i)
            a[i] = int16_t(sparse && byte(rng) < 200 ? 0 : extreme ? full(rng) : small(rng) >> (n % 4 * 3));
        std::memcpy(b, a, sizeof a);
        plain.dequant_intra(a, q);
        simd->dequant_intra(b, q);
        ASSERT_EQ(0, std::memcmp(a, b, sizeof a)) << "dequant_intra, block " << n << ", q " << q;
    }
}

INSTANTIATE_TEST_SUITE_P(Simd, IdctTwins, ::testing::Values(1, 2),
                         [](const auto &info) { return info.param == 1 ? "Sse2" : "Avx2"; });

} // namespace
} // namespace strandel::lumaset

namespace strandel::lumaset {
namespace {

class RgbRowTwins : public ::testing::TestWithParam<int> {};

TEST_P(RgbRowTwins, MatchPlainAndStayInTheRow)
{
    const Dsp *simd = GetParam() == 2 ? DspAvx2() : DspSse2();
    if (!simd)
        GTEST_SKIP() << "the CPU lacks this twin";
    std::mt19937 rng(5);
    constexpr int kWidth = 48;
    for (int n = 0; n < 200; ++n) {
        uint8_t y[kWidth], u[kWidth / 2], v[kWidth / 2];
        for (uint8_t &p : y)
            p = uint8_t(rng());
        for (int i = 0; i < kWidth / 2; ++i)
            u[i] = uint8_t(rng()), v[i] = uint8_t(rng());
        if (n < 8) // extremes: black, white and saturated colours
            std::memset(y, n & 1 ? 255 : 0, sizeof y), std::memset(u, n & 2 ? 255 : 0, sizeof u),
                std::memset(v, n & 4 ? 255 : 0, sizeof v);
        for (int format = 4; format <= 7; ++format) {
            const size_t bytes = size_t(kWidth) * (format == 4 ? 4 : format == 5 ? 3 : 2);
            std::vector<uint8_t> a(bytes + 4, 0xEE), b(bytes + 4, 0xEE);
            DspPlain().rgb_row(a.data(), y, u, v, kWidth, format);
            simd->rgb_row(b.data(), y, u, v, kWidth, format);
            ASSERT_EQ(a, b) << "format " << format << ", row " << n;
            EXPECT_EQ(b[bytes], 0xEE) << "format " << format;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Simd, RgbRowTwins, ::testing::Values(1, 2),
                         [](const auto &info) { return info.param == 2 ? "avx2" : "sse2"; });

} // namespace
} // namespace strandel::lumaset

namespace strandel::lumaset {
namespace {

// The scaled row: at one-to-one sampling it is the decoder's own 32-bit conversion made opaque,
// and each SIMD table's routine gives the plain one's bits at any width, without writing past it.
class ScaledRowTwins : public ::testing::TestWithParam<int> {};

TEST_P(ScaledRowTwins, MatchPlainAtAnyWidth)
{
    const Dsp *d = GetParam() == 0 ? &DspPlain() : GetParam() == 2 ? DspAvx2() : DspSse2();
    if (!d)
        GTEST_SKIP() << "the CPU lacks this twin";
    std::mt19937 rng(9);
    constexpr int kSource = 64;
    uint8_t y[kSource], u[kSource / 2], v[kSource / 2];
    for (int n = 0; n < 100; ++n) {
        for (uint8_t &p : y)
            p = uint8_t(rng());
        for (int i = 0; i < kSource / 2; ++i)
            u[i] = uint8_t(rng()), v[i] = uint8_t(rng());
        // One to one, against the decoder's own conversion.
        std::vector<int32_t> xs(kSource);
        for (int i = 0; i < kSource; ++i)
            xs[size_t(i)] = i;
        std::vector<uint32_t> got(kSource);
        std::vector<uint8_t> want(kSource * 4);
        d->scaled_row(got.data(), y, u, v, xs.data(), kSource);
        DspPlain().rgb_row(want.data(), y, u, v, kSource, 4);
        for (int i = 0; i < kSource; ++i)
        {
            const uint8_t *w = &want[size_t(4 * i)];
            ASSERT_EQ(got[size_t(i)], 0xFF000000u | uint32_t(w[2]) << 16 | uint32_t(w[1]) << 8 | w[0]) << "pixel " << i;
        }
        // Any width and any rising sampled columns (shrinking, stretching, odd starts), against
        // the plain routine; the row's end is the last sampled column, so nothing past it is read.
        for (int width : {1, 5, 8, 15, 16, 17, 31, 47, 100}) {
            xs.resize(size_t(width));
            for (int32_t &x : xs)
                x = int32_t(rng() % kSource);
            std::sort(xs.begin(), xs.end());
            std::vector<uint32_t> a(size_t(width) + 3, 0xEEEEEEEEu), b(size_t(width) + 3, 0xEEEEEEEEu);
            const int last = xs.back();
            std::vector<uint8_t> ye(y, y + last + 1), ue(u, u + last / 2 + 1), ve(v, v + last / 2 + 1);
            ScaledRowPlain(a.data(), ye.data(), ue.data(), ve.data(), xs.data(), width);
            d->scaled_row(b.data(), ye.data(), ue.data(), ve.data(), xs.data(), width);
            ASSERT_EQ(a, b) << "width " << width << ", row " << n;
            EXPECT_EQ(b[size_t(width)], 0xEEEEEEEEu) << "width " << width;
        }
    }
    EXPECT_NE(ScaledRowBest(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Simd, ScaledRowTwins, ::testing::Values(0, 1, 2), [](const auto &info) {
    return info.param == 0 ? "plain" : info.param == 2 ? "avx2" : "sse2";
});

} // namespace
} // namespace strandel::lumaset
