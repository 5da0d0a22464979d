// Motion compensation: the interpolation rules, the bounds, chroma vectors, and the SIMD twins.
#include "decoder/mc.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace strandel::lumaset {
namespace {

// A padded test plane: picture 32 x 32 with a 32-pixel border.
struct Plane {
    static constexpr int kEdge = 32, kSize = 32, kStride = kSize + 2 * kEdge;
    std::vector<uint8_t> data = std::vector<uint8_t>(kStride * kStride);
    uint8_t *origin() { return data.data() + kEdge * kStride + kEdge; }
    PlaneGeometry geometry() const { return {kSize, kSize, kEdge}; }
};

TEST(MotionCompensation, InterpolationRules)
{
    struct Case {
        int vx, vy, rounding;
        uint8_t expected;
    };
    // Reference: a = 1, right neighbour b = 2, lower neighbour c = 4, diagonal d = 5.
    const Case cases[] = {
        {0, 0, 1, 1}, {1, 0, 0, 2}, {1, 0, 1, 1}, {0, 1, 0, 3}, {0, 1, 1, 2}, {1, 1, 0, 3}, {1, 1, 1, 3},
    };
    for (const Case &c : cases) {
        Plane ref, cur;
        for (int y = -1; y < 20; ++y)
            for (int x = -1; x < 20; ++x)
                ref.origin()[y * Plane::kStride + x] = uint8_t(1 + (x & 1) + 3 * (y & 1));
        PredictBlock(McPlain(), ref.origin(), cur.origin(), Plane::kStride, ref.geometry(), 8, 8, 0, 0, c.vx, c.vy,
                     c.rounding, false);
        EXPECT_EQ(cur.origin()[0], c.expected) << c.vx << "," << c.vy << " r" << c.rounding;
    }
}

TEST(MotionCompensation, AveragingAndBounds)
{
    Plane ref, cur;
    std::memset(ref.data.data(), 13, ref.data.size());
    std::memset(cur.data.data(), 10, cur.data.size());
    PredictBlock(McPlain(), ref.origin(), cur.origin(), Plane::kStride, ref.geometry(), 16, 16, 0, 0, 0, 0, 0, true);
    EXPECT_EQ(cur.origin()[0], 12);
    // Vectors reaching past the padded border write nothing; the border itself is fair.
    std::memset(cur.data.data(), 10, cur.data.size());
    const int reach[][2] = {{-66, 0}, {0, -66}, {98, 0}, {0, 98}, {97, 0}, {0, 97}, {-65, 0}};
    for (auto [vx, vy] : reach) {
        PredictBlock(McPlain(), ref.origin(), cur.origin(), Plane::kStride, ref.geometry(), 16, 16, 0, 0, vx, vy, 0,
                     false);
        EXPECT_EQ(cur.origin()[0], 10) << vx << "," << vy;
    }
    PredictBlock(McPlain(), ref.origin(), cur.origin(), Plane::kStride, ref.geometry(), 16, 16, 0, 0, -64, 64, 0,
                 false);
    EXPECT_EQ(cur.origin()[0], 13);
}

TEST(MotionCompensation, ChromaVectors)
{
    const std::pair<int, int> single[] = {{0, 0}, {1, 1},   {2, 1},   {3, 1},   {4, 2},
                                          {5, 3}, {-1, -1}, {-2, -1}, {-3, -1}, {-5, -3}};
    for (auto [v, c] : single)
        EXPECT_EQ(ChromaVector(v), c) << v;
    const std::pair<int, int> sums[] = {{0, 0}, {3, 1}, {13, 1}, {14, 2}, {16, 2}, {19, 3}, {-14, -2}, {-35, -5}};
    for (auto [s, c] : sums)
        EXPECT_EQ(ChromaVectorOfSum(s), c) << s;
}

// The SSE2 table, and the AVX2 one over it: every routine gives the bits of its plain twin.
class McTwins : public ::testing::TestWithParam<int> {};

TEST_P(McTwins, MatchPlain)
{
    const McTable *simd = GetParam() == 1 ? McSse2() : McAvx2();
    if (!simd)
        GTEST_SKIP() << "the CPU lacks this twin";
    std::mt19937 rng(3);
    constexpr int kStride = 48;
    std::vector<uint8_t> src(kStride * 20), a(kStride * 17), b(kStride * 17);
    for (int n = 0; n < 800; ++n) {
        // Random pixels, and from n = 400 on the extremes: all 0, all 255, 0 and 255 in a
        // checkerboard, and rows of 255 over rows of 0 (each rounding case at its largest sums).
        const int kind = n < 400 ? 0 : 1 + (n / 16) % 4;
        for (size_t i = 0; i < src.size(); ++i) {
            const size_t x = i % kStride, y = i / kStride;
            const int extreme = kind == 1 ? 0 : kind == 2 ? 255 : kind == 3 ? ((x + y) & 1) * 255 : (y & 1) * 255;
            src[i] = kind == 0 ? uint8_t(rng()) : uint8_t(extreme);
        }
        for (uint8_t &p : a)
            p = uint8_t(rng());
        std::memcpy(b.data(), a.data(), a.size()); // same size: no reallocation
        const int routine = n % 16, height = (n / 16) % 3 == 0 ? 16 : (n / 16) % 3 == 1 ? 8 : 4;
        const bool average = n % 5 < 2;
        McPlain().routine[routine](a.data() + 1, src.data() + 2, kStride, height, average);
        simd->routine[routine](b.data() + 1, src.data() + 2, kStride, height, average);
        ASSERT_EQ(a, b) << "routine " << routine << " height " << height << " average " << average << " kind " << kind;
    }
}

INSTANTIATE_TEST_SUITE_P(Simd, McTwins, ::testing::Values(1, 2),
                         [](const auto &info) { return info.param == 1 ? "Sse2" : "Avx2"; });

} // namespace
} // namespace strandel::lumaset
