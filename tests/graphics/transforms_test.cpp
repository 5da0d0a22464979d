#include <cstdlib>
#include <functional>
#include <random>
#include <span>
#include <vector>

#include <gtest/gtest.h>

#include "graphics/rx32_transforms.h"

using namespace strandel;

namespace {

std::vector<TColor32> Pixels(const TBitmap32 &b)
{
    return {b.Bits(), b.Bits() + size_t(b.Width()) * size_t(b.Height())};
}

// Pixel (x, y) holds 0xFF0000yx so that every read names its source.
void Label(TBitmap32 &b, int w, int h)
{
    b.SetSize(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            *b.PixelPtr(x, y) = 0xFF000000u | TColor32(y << 4 | x);
}

void Random(TBitmap32 &b, int w, int h, uint32_t seed)
{
    std::mt19937 rng(seed);
    b.SetSize(w, h);
    for (TColor32 &p : std::span(b.Bits(), size_t(w * h))) {
        p = rng();
        if (rng() % 3 == 0)
            p |= 0xFF000000; // opaque ones take the shortcuts
    }
}

void Uniform(TBitmap32 &b, int w, int h, TColor32 c)
{
    b.SetSize(w, h);
    b.Clear(c);
}

std::string Message(const std::function<void()> &f)
{
    try {
        f();
    } catch (const ETransformError &e) {
        return e.what();
    }
    return "";
}

} // namespace

TEST(Transforms, NearestTwoByTwoToFourByFour)
{
    TBitmap32 src, dst;
    Label(src, 2, 2);
    dst.SetSize(4, 4);
    StretchTransfer(&dst, MakeRect(0, 0, 4, 4), &src, MakeRect(0, 0, 2, 2), sfNearest, dmOpaque);
    const int idx[4] = {0, 0, 1, 1};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(*dst.PixelPtr(x, y), *src.PixelPtr(idx[x], idx[y])) << x << "," << y;

    dst.Clear(0);
    StretchTransfer(&dst, MakeRect(-1, 0, 3, 4), &src, MakeRect(0, 0, 2, 2), sfNearest, dmOpaque);
    const int moved[3] = {0, 1, 1};
    for (int x = 0; x < 3; ++x)
        EXPECT_EQ(*dst.PixelPtr(x, 0), *src.PixelPtr(moved[x], 0)) << x;
    EXPECT_EQ(*dst.PixelPtr(3, 0), 0u);
}

TEST(Transforms, EqualSizesAreABlockTransfer)
{
    TBitmap32 src, base;
    Random(src, 3, 2, 1);
    src.SetMasterAlpha(200);
    Random(base, 5, 4, 2);
    const TPixelCombineEvent xorer = [](TColor32 f, TColor32 &b, TColor32 m) { b ^= f + m; };
    for (TStretchFilter filter : {sfNearest, sfLinear, sfLinear2, sfSpline}) {
        for (TDrawMode mode : {dmOpaque, dmBlend, dmCustom}) {
            for (uint32_t ma : {255u, 200u}) {
                src.SetMasterAlpha(ma);
                TBitmap32 a, b;
                a.Assign(&base);
                b.Assign(&base);
                StretchTransfer(&a, MakeRect(3, 3, 6, 5), &src, MakeRect(0, 0, 3, 2), filter, mode, xorer);
                BlockTransfer(&b, 3, 3, &src, MakeRect(0, 0, 3, 2), mode, xorer);
                EXPECT_EQ(Pixels(a), Pixels(b)) << int(filter) << " " << int(mode) << " " << ma;
            }
        }
    }
}

TEST(Transforms, ChecksAndTheirMessages)
{
    TBitmap32 src, dst, empty;
    Label(src, 2, 2);
    dst.SetSize(2, 2);
    const char *noDst = "Destination bitmap is nil or empty", *noSrc = "Source bitmap is nil or empty";
    EXPECT_EQ(Message([&] { BlockTransfer(nullptr, 0, 0, nullptr, MakeRect(0, 0, 1, 1), dmOpaque); }), noDst);
    EXPECT_EQ(Message([&] { BlockTransfer(&empty, 0, 0, &src, MakeRect(0, 0, 1, 1), dmOpaque); }), noDst);
    EXPECT_EQ(Message([&] { BlockTransfer(&dst, 0, 0, &empty, MakeRect(0, 0, 1, 1), dmOpaque); }), noSrc);
    EXPECT_EQ(Message([&] { StretchTransfer(&dst, MakeRect(0, 0, 2, 2), nullptr, {}, sfLinear, dmBlend); }), noSrc);
    EXPECT_EQ(Message([&] {
                  StretchTransfer(&dst, MakeRect(0, 0, 2, 2), &src, MakeRect(0, 0, 3, 2), sfNearest, dmOpaque);
              }),
              "Source rectangle is invalid");
    EXPECT_EQ(Pixels(dst), std::vector<TColor32>(4, 0));
    // An empty source rectangle draws nothing and raises nothing.
    StretchTransfer(&dst, MakeRect(0, 0, 2, 2), &src, MakeRect(1, 0, 1, 2), sfSpline, dmOpaque);
    EXPECT_EQ(Pixels(dst), std::vector<TColor32>(4, 0));
    // Block transfer clips the same rectangle silently.
    BlockTransfer(&dst, 0, 0, &src, MakeRect(0, 0, 3, 2), dmOpaque);
    EXPECT_EQ(Pixels(dst), Pixels(src));
    dst.Clear(0);
    BlockTransfer(&dst, 0, 0, &src, MakeRect(-1, -1, 1, 1), dmOpaque);
    EXPECT_EQ(Pixels(dst), (std::vector<TColor32>{0, 0, 0, *src.PixelPtr(0, 0)}));
}

TEST(Transforms, MasterAlphaZeroAndMissingMethods)
{
    TBitmap32 src, dst;
    Label(src, 2, 2);
    src.SetMasterAlpha(0);
    dst.SetSize(4, 4);
    for (TStretchFilter filter : {sfNearest, sfLinear, sfLinear2, sfSpline}) {
        StretchTransfer(&dst, MakeRect(0, 0, 4, 4), &src, MakeRect(0, 0, 2, 2), filter, dmBlend);
        EXPECT_EQ(Pixels(dst), std::vector<TColor32>(16, 0)) << int(filter);
    }
    BlockTransfer(&dst, 0, 0, &src, MakeRect(0, 0, 2, 2), dmBlend);
    StretchTransfer(&dst, MakeRect(0, 0, 4, 4), &src, MakeRect(0, 0, 2, 2), sfLinear, dmOpaque);
    EXPECT_EQ(Pixels(dst), std::vector<TColor32>(16, 0));
    StretchTransfer(&dst, MakeRect(0, 0, 4, 4), &src, MakeRect(0, 0, 2, 2), sfNearest, dmOpaque);
    EXPECT_EQ(*dst.PixelPtr(3, 3), *src.PixelPtr(1, 1));

    // Custom without a method is opaque.
    src.SetMasterAlpha(255);
    dst.Clear(0);
    BlockTransfer(&dst, 0, 0, &src, MakeRect(0, 0, 2, 2), dmCustom);
    EXPECT_EQ(*dst.PixelPtr(1, 1), *src.PixelPtr(1, 1));
    dst.Clear(0);
    StretchTransfer(&dst, MakeRect(0, 0, 4, 4), &src, MakeRect(0, 0, 2, 2), sfLinear2, dmCustom);
    EXPECT_EQ(*dst.PixelPtr(0, 0), *src.PixelPtr(0, 0));
}

TEST(Transforms, BlendAndCustomModes)
{
    TBitmap32 src, dst, expect;
    Random(src, 7, 3, 3);
    Random(dst, 7, 3, 4);
    expect.Assign(&dst);
    for (uint32_t ma : {255u, 100u}) {
        src.SetMasterAlpha(ma);
        BlockTransfer(&dst, 0, 0, &src, MakeRect(0, 0, 7, 3), dmBlend);
        for (int i = 0; i < 21; ++i) {
            if (ma == 255)
                BlendMem(src.Bits()[i], expect.Bits()[i]);
            else
                BlendLineEx(src.Bits() + i, expect.Bits() + i, 1, ma);
        }
        EXPECT_EQ(Pixels(dst), Pixels(expect));
    }
    // The combine method sees source, destination and master alpha; its exception ends the run.
    int calls = 0;
    const TPixelCombineEvent stopper = [&](TColor32 f, TColor32 &b, TColor32 m) {
        EXPECT_EQ(m, 100u);
        if (++calls == 3)
            throw std::runtime_error("stop");
        b = f;
    };
    EXPECT_THROW(BlockTransfer(&dst, 0, 0, &src, MakeRect(0, 0, 7, 3), dmCustom, stopper), std::runtime_error);
    EXPECT_EQ(dst.Bits()[1], src.Bits()[1]);
    EXPECT_EQ(calls, 3);
}

TEST(Transforms, BuildMapping)
{
    const TMappingTable expected = {{{0, 256}}, {{0, 171}, {1, 85}}, {{0, 85}, {1, 171}}, {{1, 256}}};
    EXPECT_EQ(BuildMapping(4, 2, 0, 2, sfLinear2), expected);
    const TMappingTable reduced = BuildMapping(2, 4, 0, 4, sfLinear2);
    ASSERT_EQ(reduced.size(), 2u);
    int sum = 0;
    for (const TClusterEntry &e : reduced[0])
        sum += e.Weight;
    EXPECT_EQ(sum, 255);
    EXPECT_EQ(reduced[0].size(), 5u); // 28, 57, 85, 57, 28 with clamped positions
    EXPECT_EQ(reduced[0][2], (TClusterEntry{0, 85}));
    EXPECT_EQ(BuildMapping(3, 0, 0, 0, sfSpline), TMappingTable{});
    EXPECT_EQ(BuildMapping(2, 1, 0, 1, sfSpline), (TMappingTable{{{0, 255}}, {{0, 255}}}));
    EXPECT_EQ(BuildMapping(2, 4, 3, 1, sfLinear2), (TMappingTable(2)));
}

TEST(Transforms, ResamplerUniformAreas)
{
    TBitmap32 src, dst;
    Uniform(src, 2, 2, 0xFFFFFFFF);
    dst.SetSize(4, 4);
    StretchTransfer(&dst, MakeRect(0, 0, 4, 4), &src, MakeRect(0, 0, 2, 2), sfLinear2, dmOpaque);
    EXPECT_EQ(Pixels(dst), std::vector<TColor32>(16, 0xFFFFFFFF));
    Uniform(src, 4, 4, 0xFFFFFFFF);
    dst.SetSize(2, 2);
    StretchTransfer(&dst, MakeRect(0, 0, 2, 2), &src, MakeRect(0, 0, 4, 4), sfLinear2, dmOpaque);
    EXPECT_EQ(Pixels(dst), std::vector<TColor32>(4, 0xFDFDFDFD));
}

TEST(Transforms, OnePixelSourcesAndDestinations)
{
    // A one-pixel-wide source rectangle: column i reads Left + i, limited to the bitmap.
    TBitmap32 src, dst;
    Label(src, 3, 2);
    dst.SetSize(3, 2);
    StretchTransfer(&dst, MakeRect(0, 0, 3, 2), &src, MakeRect(1, 0, 2, 2), sfLinear2, dmOpaque);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(*dst.PixelPtr(x, y), *src.PixelPtr(std::min(1 + x, 2), y)) << x << "," << y;
    // The bilinear stretch repeats that column and reads nothing beside it.
    StretchTransfer(&dst, MakeRect(0, 0, 3, 2), &src, MakeRect(1, 1, 2, 2), sfLinear, dmOpaque);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(*dst.PixelPtr(x, y), *src.PixelPtr(1, 1)) << x << "," << y;

    // A one-pixel destination shows the source, not transparent black.
    Uniform(src, 4, 4, 0xFF808080);
    for (TStretchFilter filter : {sfLinear2, sfSpline}) {
        dst.SetSize(1, 1);
        StretchTransfer(&dst, MakeRect(0, 0, 1, 1), &src, MakeRect(0, 0, 4, 4), filter, dmOpaque);
        for (int shift : {0, 8, 16})
            EXPECT_NEAR(int((dst.Bits()[0] >> shift) & 255), 0x80, 2) << int(filter);
    }
}

TEST(Transforms, SteepReductionsAndFarRectangles)
{
    TBitmap32 src, dst;
    Uniform(src, 3000, 1, 0xFF404040);
    dst.SetSize(2, 1);
    for (TStretchFilter filter : {sfLinear2, sfSpline}) {
        dst.Clear(0);
        EXPECT_NO_THROW(StretchTransfer(&dst, MakeRect(0, 0, 2, 1), &src, MakeRect(0, 0, 3000, 1), filter, dmOpaque));
        for (int i = 0; i < 2; ++i)
            EXPECT_NEAR(int(dst.Bits()[i] & 255), 0x40, 2) << int(filter);
    }

    // Destination rectangles far larger than 32-bit steps allow.
    TBitmap32 small;
    Label(small, 3, 3);
    dst.SetSize(4, 4);
    const TRect far = MakeRect(-(1 << 30), -(1 << 30), 1 << 30, 1 << 30);
    for (TStretchFilter filter : {sfNearest, sfLinear, sfLinear2, sfSpline}) {
        dst.Clear(0);
        StretchTransfer(&dst, far, &small, MakeRect(0, 0, 3, 3), filter, dmOpaque);
        EXPECT_EQ(dst.Bits()[0] | 0xFF000000, dst.Bits()[0]) << int(filter);
    }
    dst.Clear(0);
    StretchTransfer(&dst, far, &small, MakeRect(0, 0, 3, 3), sfNearest, dmOpaque);
    EXPECT_EQ(dst.Bits()[0], *small.PixelPtr(1, 1));
    // The whole 32-bit range across: the four columns shown lie in the middle third, so every
    // row shows the middle source column (nearest) or one colour across (linear).
    dst.Clear(0);
    StretchTransfer(&dst, MakeRect(INT32_MIN, 0, INT32_MAX, 4), &small, MakeRect(0, 0, 3, 3), sfNearest, dmOpaque);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(*dst.PixelPtr(x, y), *small.PixelPtr(1, y * 3 / 4)) << x << "," << y;
    dst.Clear(0);
    StretchTransfer(&dst, MakeRect(INT32_MIN, 0, INT32_MAX, 4), &small, MakeRect(0, 0, 3, 3), sfLinear, dmBlend);
    for (int y = 0; y < 4; ++y) {
        EXPECT_NE(*dst.PixelPtr(0, y), 0u) << y;
        for (int x = 1; x < 4; ++x)
            EXPECT_EQ(*dst.PixelPtr(x, y), *dst.PixelPtr(0, y)) << x << "," << y;
    }
    // A block placed at the far corner lands nowhere.
    const auto before = Pixels(dst);
    BlockTransfer(&dst, INT32_MAX, INT32_MIN, &small, MakeRect(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX), dmBlend);
    EXPECT_EQ(Pixels(dst), before);
}

TEST(Transforms, NearestRowReuseAndLinearWeights)
{
    TBitmap32 src, dst;
    Label(src, 2, 2);
    dst.SetSize(2, 8); // rows repeat: 2 * 2 < 8
    StretchTransfer(&dst, MakeRect(0, 0, 2, 8), &src, MakeRect(0, 0, 2, 2), sfNearest, dmOpaque);
    for (int y = 0; y < 8; ++y)
        EXPECT_EQ(*dst.PixelPtr(1, y), *src.PixelPtr(1, y / 4)) << y;

    // Bilinear halfway between black and white columns.
    src.SetSize(2, 1);
    src.Bits()[0] = 0xFF000000;
    src.Bits()[1] = 0xFFFFFFFF;
    dst.SetSize(2, 1);
    StretchTransfer(&dst, MakeRect(0, 0, 2, 1), &src, MakeRect(0, 0, 2, 1), sfLinear, dmOpaque); // a block copy
    EXPECT_EQ(Pixels(dst), Pixels(src));
    dst.SetSize(4, 1);
    StretchTransfer(&dst, MakeRect(0, 0, 4, 1), &src, MakeRect(0, 0, 2, 1), sfLinear, dmOpaque);
    // dx = 0x4000: weights of the left column 255, 191, 127, 63.
    const TColor32 w[4] = {255, 191, 127, 63};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(dst.Bits()[i], CombineReg(0xFF000000, 0xFFFFFFFF, w[i])) << i;
}

TEST(Transforms, BlockTransferWithinOneBitmap)
{
    // Overlapping moves inside one bitmap copy as if from a snapshot, in every direction.
    for (auto [dx, dy] : {std::pair{1, 1}, std::pair{-1, -1}, std::pair{1, -1}, std::pair{0, 2}}) {
        TBitmap32 b, snapshot;
        Label(b, 4, 4);
        snapshot.Assign(&b);
        BlockTransfer(&b, dx, dy, &b, MakeRect(0, 0, 4, 4), dmOpaque);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x) {
                const int sx = x - dx, sy = y - dy;
                const TColor32 want = sx >= 0 && sx < 4 && sy >= 0 && sy < 4 ? *snapshot.PixelPtr(sx, sy)
                                                                            : *snapshot.PixelPtr(x, y);
                EXPECT_EQ(*b.PixelPtr(x, y), want) << dx << "," << dy << " at " << x << "," << y;
            }
    }
}
