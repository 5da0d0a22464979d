#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>

#include <gtest/gtest.h>

#include "graphics/rx32_drawingex.h"
#include "graphics/rx32_lowlevel.h"
#include "graphics/rx32_system.h"
#include "graphics/rx32_types.h"

using namespace strandel;

TEST(Types, GammaTableAtStart)
{
    const std::pair<int, int> cases[] = {{0, 0},    {1, 5},     {2, 9},     {8, 23},    {16, 37},  {32, 60},
                                         {64, 97},  {128, 157}, {192, 209}, {254, 254}, {255, 255}};
    for (auto [i, v] : cases)
        EXPECT_EQ(GAMMA_TABLE[i], v) << i;
}

TEST(Types, ColourConstructionAndAccess)
{
    EXPECT_EQ(Color32(0x11, 0x22, 0x33), 0xFF112233u);
    EXPECT_EQ(Color32(0x11, 0x22, 0x33, 0x44), 0x44112233u);
    EXPECT_EQ(Gray32(0x80, 0x10), 0x10808080u);
    EXPECT_EQ(Intensity(0xFFFFFFFF), 255);
    EXPECT_EQ(Intensity(0xFF00FF00), 173);
    EXPECT_EQ(SetAlpha(0x12345678, 300), 0xFF345678u);
    EXPECT_EQ(SetAlpha(0x12345678, -5), 0x00345678u);
    for (TColor c : {0x000000, 0x123456, 0xFFFFFF, 0x00FF00})
        EXPECT_EQ(WinColor(Color32(c)), c);
    EXPECT_EQ(Color32(WinColor(0x12345678)), 0xFF345678u);
    // A system colour resolves through the palette: opaque, never an index.
    EXPECT_EQ(Color32(TColor(0x80000005)) >> 24, 0xFFu);
    EXPECT_EQ(ColorSwap(0x00112233), 0xFF332211u);
}

TEST(Types, FixedPoint)
{
    EXPECT_EQ(FixedRound(0x18000), 1);   // 1.5
    EXPECT_EQ(FixedRound(-0x18000), -2); // -1.5
    EXPECT_EQ(FixedCeil(0x10001), 2);
    EXPECT_EQ(FixedFloor(-1), -1);
    EXPECT_EQ(FixedRound(INT32_MAX), 32768); // no overflow on the bias
    EXPECT_EQ(Fixed(3), 0x30000);
    EXPECT_EQ(FixedPoint(1, -2), (TFixedPoint{0x10000, -0x20000}));
    EXPECT_EQ(Fixed(-1), int32_t(0xFFFF0000));
    EXPECT_EQ(FixedMul(0x18000, 0x20000), 0x30000);
    EXPECT_EQ(FixedDiv(0x30000, 0x20000), 0x18000);
    // Halves to even, and saturation instead of undefined conversions.
    EXPECT_EQ(Fixed(2.5 / 65536), 2);
    EXPECT_EQ(Fixed(3.5 / 65536), 4);
    EXPECT_EQ(Fixed(1e10f), INT32_MAX);
    EXPECT_EQ(Fixed(-1e10f), INT32_MIN);
    EXPECT_EQ(Fixed(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(Fixed(std::numeric_limits<double>::infinity()), INT32_MAX);
    EXPECT_EQ(Point(FloatPoint(2.5f, 3.5f)), Point(2, 4));
    EXPECT_EQ(Point(FloatPoint(3e9f, -3e9f)), Point(INT32_MAX, INT32_MIN));
    EXPECT_EQ(Point(TFixedPoint{0x18000, -0x18000}), Point(1, -2));
    EXPECT_EQ(FloatPoint(TFixedPoint{0x18000, -0x8000}), FloatPoint(1.5f, -0.5f));
}

TEST(Types, Hsl)
{
    for (float h : {0.0f, 0.3f, 0.9f})
        EXPECT_EQ(HSLtoRGB(h, 0, 0.5f), 0xFF808080u);
    EXPECT_EQ(HSLtoRGB(0, 1, 0.5f), 0xFFFF0000u);
    EXPECT_EQ(HSLtoRGB(1.0f / 3, 1, 0.5f), 0xFF00FF00u);
    EXPECT_EQ(HSLtoRGB(2.0f / 3, 1, 0.25f), 0xFF000080u);
    float h, s, l;
    RGBtoHSL(0xFF808080, h, s, l);
    EXPECT_EQ(h, 0);
    EXPECT_EQ(s, 0);
    RGBtoHSL(0xFF0000FF, h, s, l);
    EXPECT_FLOAT_EQ(h, 2.0f / 3);
    EXPECT_FLOAT_EQ(s, 1);
    EXPECT_FLOAT_EQ(l, 0.5f);
    for (TColor32 c : {0xFF123456u, 0xFFFEDCBAu, 0xFF00FF80u}) {
        RGBtoHSL(c, h, s, l);
        EXPECT_EQ(HSLtoRGB(h, s, l), c);
    }
}

TEST(Types, Rectangles)
{
    EXPECT_EQ(MakeRect(FloatRect(0.2f, 0.2f, 0.4f, 0.4f), rrInside), MakeRect(1, 1, 1, 1));
    EXPECT_EQ(MakeRect(FloatRect(0.2f, 0.2f, 0.4f, 0.4f), rrOutside), MakeRect(0, 0, 1, 1));
    EXPECT_EQ(MakeRect(FloatRect(0.5f, 1.5f, 2.5f, -0.5f)), MakeRect(0, 2, 2, 0));
    EXPECT_EQ(MakeRect(TFixedRect{0x8000, 0x18000, 0x10001, 0x2FFFF}, rrOutside), MakeRect(0, 1, 2, 3));
    EXPECT_EQ(MakeRect(FloatRect(-1e20f, 0, 1e20f, 1), rrOutside), MakeRect(INT32_MIN, 0, INT32_MAX, 1));

    struct Case { TRect a, b; bool result; TRect dst; };
    const Case cases[] = {
        {{0, 0, 10, 10}, {10, 0, 20, 10}, true, {10, 0, 10, 10}},
        {{0, 0, 10, 10}, {11, 0, 20, 10}, false, {0, 0, 0, 0}},
        {{0, 0, 10, 10}, {2, 3, 5, 20}, true, {2, 3, 5, 10}},
        {{5, 5, 6, 6}, {0, 7, 10, 10}, false, {0, 0, 0, 0}},
    };
    for (const Case &c : cases) {
        TRect d{9, 9, 9, 9};
        EXPECT_EQ(IntersectRect(d, c.a, c.b), c.result);
        EXPECT_EQ(d, c.dst);
    }
    TRect same{0, 0, 10, 10};
    EXPECT_TRUE(IntersectRect(same, same, TRect{5, 5, 20, 20})); // Dst may be an input
    EXPECT_EQ(same, (TRect{5, 5, 10, 10}));
    TFloatRect f;
    EXPECT_FALSE(IntersectRectF(f, FloatRect(0, 0, 1, 1), FloatRect(2, 2, 3, 3)));
    EXPECT_EQ(f, FloatRect(0, 0, 0, 0));

    const TRect r{0, 0, 10, 10};
    EXPECT_TRUE(PtInRect(r, Point(0, 9)));
    EXPECT_FALSE(PtInRect(r, Point(10, 5)));
    EXPECT_FALSE(PtInRect(r, Point(5, 10)));
    EXPECT_TRUE(IsRectEmpty(TRect{5, 0, 5, 10}));
    TRect g = r;
    InflateRect(g, 2, 1);
    OffsetRect(g, 1, 1);
    EXPECT_EQ(g, (TRect{-1, 0, 13, 12}));
}

TEST(LowLevel, MulDiv)
{
    struct Case { int32_t a, b, c, result; };
    const Case cases[] = {
        {7, 1, 2, 4},
        {-7, 1, 2, -4},
        {7, -1, -2, 4},
        {5, 5, 0, -1},
        {0x40000000, 4, 1, -1},
        {10, 10, 3, 33},
        {-10, 10, 6, -17},
        {INT32_MIN, 1, 1, INT32_MIN},
        {INT32_MIN, -1, 1, -1},        // 2^31 does not fit as a positive quotient
        {0x40000000, 6, 3, -1},        // 2^31 exactly, which slipped through with a wrong sign
        {-0x40000000, 6, 3, INT32_MIN},
        {65535, 65537, 2, -1},         // rounds up to 2^31
        {65535, 65537, 3, 1431655765},
    };
    for (const Case &c : cases)
        EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.result) << c.a << " " << c.b << " " << c.c;
}

TEST(LowLevel, Helpers)
{
    EXPECT_EQ(Clamp(-1), 0);
    EXPECT_EQ(Clamp(256), 255);
    EXPECT_EQ(Constrain(5, 6, 9), 6);
    EXPECT_EQ(Constrain(10, 6, 9), 9);
    EXPECT_EQ(SAR_4(-32), -2);
    EXPECT_EQ(SAR_16(-1), -1);

    int32_t a = 5, b = 2;
    EXPECT_TRUE(TestClip(a, b, 4));
    EXPECT_EQ(a, 2);
    EXPECT_EQ(b, 3);
    a = 5, b = 6;
    EXPECT_FALSE(TestClip(a, b, 4));
    EXPECT_EQ(a, 5);
    EXPECT_EQ(b, 3);

    uint32_t words[6] = {1, 2, 3, 4, 5, 6};
    FillLongword(words, 0, 9);
    FillLongword(words, -3, 9);
    EXPECT_EQ(words[0], 1u);
    MoveLongword(words, words + 1, 4); // overlapping, upwards
    const uint32_t up[6] = {1, 1, 2, 3, 4, 6};
    EXPECT_EQ(std::memcmp(words, up, sizeof up), 0);
    MoveLongword(words + 1, words, 5);
    const uint32_t down[6] = {1, 2, 3, 4, 6, 6};
    EXPECT_EQ(std::memcmp(words, down, sizeof down), 0);
}

TEST(System, HasMMXDecision)
{
    constexpr uint32_t mmx = 1u << 23;
    EXPECT_FALSE(HasMMXFrom(false, 0x600, mmx));
    EXPECT_FALSE(HasMMXFrom(true, 0x400, mmx)); // family 4
    EXPECT_FALSE(HasMMXFrom(true, 0x500, 0));
    EXPECT_TRUE(HasMMXFrom(true, 0x500, mmx));
#if defined(__x86_64__)
    EXPECT_TRUE(HasMMX());
#endif
}

TEST(DrawingEx, ClipLine)
{
    struct Case { int32_t x1, y1, x2, y2; bool result; int32_t rx1, ry1, rx2, ry2; };
    const Case cases[] = {
        {-10, 5, 5, -10, false, -10, 5, -5, 0}, // passes the corner; the second end has moved
        {-5, 5, 15, 5, true, 0, 5, 10, 5},
        {5, 20, 5, 30, false, 5, 20, 5, 30},
        {2, 3, 4, 5, true, 2, 3, 4, 5},
        {5, -10, 5, 20, true, 5, 0, 5, 10},
        {-10, -10, 20, 20, true, 0, 0, 10, 10},
        {INT32_MIN, 5, INT32_MAX, 5, true, 0, 5, 10, 5},           // no 32-bit overflow
        {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, true, 0, 0, 10, 10},
    };
    for (const Case &c : cases) {
        int32_t x1 = c.x1, y1 = c.y1, x2 = c.x2, y2 = c.y2;
        EXPECT_EQ(ClipLine(x1, y1, x2, y2, 0, 0, 10, 10), c.result) << c.x1 << "," << c.y1;
        EXPECT_EQ((std::array{x1, y1, x2, y2}), (std::array{c.rx1, c.ry1, c.rx2, c.ry2})) << c.x1 << "," << c.y1;
    }
}
