#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "graphics/rx32.h"

using namespace strandel;

namespace {

constexpr TColor32 K = 0xFF000000, W = 0xFFFFFFFF, R = 0xFFFF0000;

// A w x h bitmap cleared to black.
struct Canvas32
{
    TBitmap32 b;
    Canvas32(int w, int h, TColor32 fill = K)
    {
        b.SetSize(w, h);
        b.Clear(fill);
    }
    std::vector<TColor32> Pixels() const { return {b.Bits(), b.Bits() + size_t(b.Width() * b.Height())}; }
};

// Which pixels differ from black, as rows of '#' and '.'.
std::string Mask(const TBitmap32 &b, TColor32 background = K)
{
    std::string s;
    for (int y = 0; y < b.Height(); ++y) {
        for (int x = 0; x < b.Width(); ++x)
            s += b.GetPixel(x, y) == background ? '.' : '#';
        s += '\n';
    }
    return s;
}

} // namespace

TEST(Pixels, CheckedAndBorderReads)
{
    Canvas32 c(10, 10);
    c.b.OuterColor = 0x12345678;
    c.b.SetPixel(0, 9, R);
    EXPECT_EQ(c.b.GetPixelS(-1, 0), 0x12345678u);
    EXPECT_EQ(c.b.GetPixelS(0, 10), 0x12345678u);
    EXPECT_EQ(c.b.GetPixelB(-5, 99), R);
    c.b.SetPixelS(10, 0, W);
    c.b.SetPixelS(-1, 0, W);
    c.b.SetPixelTS(INT32_MIN, INT32_MAX, W);
    std::string expected;
    for (int y = 0; y < 10; ++y)
        expected += y == 9 ? "#.........\n" : "..........\n";
    EXPECT_EQ(Mask(c.b), expected);
    EXPECT_EQ(c.b.GetScanLine(9), c.b.GetPixelPtr(0, 9));
    TBitmap32 empty;
    empty.OuterColor = 5;
    EXPECT_EQ(empty.GetPixelB(0, 0), 5u);
}

TEST(Pixels, SubPixelBlendAtFixedPosition)
{
    Canvas32 c(3, 3);
    // Exactly on pixel (1, 1): one pixel takes weight 253, the neighbours 0.
    c.b.SetPixelX(Fixed(1), Fixed(1), W);
    EXPECT_EQ(c.b.GetPixel(1, 1), CombineReg(W, K, 253));
    EXPECT_EQ(Mask(c.b), "...\n.#.\n...\n");
    // The checked form drops the pixels outside.
    Canvas32 d(2, 2);
    d.b.SetPixelXS(-0x8000, -0x8000, W);
    EXPECT_EQ(Mask(d.b), "#.\n..\n");
    d.b.SetPixelFS(-2.0f, 5.0f, W);
    d.b.SetPixelFS(1e30f, -1e30f, W);
    EXPECT_EQ(Mask(d.b), "#.\n..\n");
}

TEST(Stipple, ColourSequenceAndCounter)
{
    const TColor32 a = 0xFF102030, b = 0xFFF0E0D0;
    Canvas32 c(1, 1);
    c.b.SetStipple({a, b});
    c.b.StippleStep = 0.5f;
    EXPECT_EQ(c.b.GetStippleColor(), a);
    EXPECT_EQ(c.b.GetStippleColor(), CombineReg(a, b, 127));
    EXPECT_EQ(c.b.GetStippleColor(), b);
    EXPECT_EQ(c.b.GetStippleColor(), CombineReg(b, a, 127));
    EXPECT_EQ(c.b.StippleCounter, 2.0f);

    c.b.StipplePattern.clear();
    EXPECT_EQ(c.b.GetStippleColor(), 0xFF000000u);

    // A huge step or length wraps by a remainder instead of looping.
    c.b.SetStipple({a, b, a});
    c.b.StippleStep = 1e30f;
    for (int i = 0; i < 3; ++i)
        c.b.GetStippleColor();
    c.b.AdvanceStippleCounter(3e38f);
    EXPECT_GE(c.b.StippleCounter, 0.0f);
    EXPECT_LT(c.b.StippleCounter, 3.0f);
    c.b.StippleStep = 1;
    c.b.StippleCounter = 2.5f;
    c.b.AdvanceStippleCounter(4);
    EXPECT_EQ(c.b.StippleCounter, 0.5f);
}

TEST(Stipple, ClippedLinesStayAligned)
{
    const TColor32 p[4] = {0xFF000001, 0xFF000002, 0xFF000003, 0xFF000004};
    Canvas32 c(4, 2);
    c.b.SetStipple({p[0], p[1], p[2], p[3]});
    c.b.HorzLineTSP(-2, 0, 5); // the two pixels left of the bitmap advance the pattern
    EXPECT_EQ(c.b.GetPixel(0, 0), p[2]);
    EXPECT_EQ(c.b.GetPixel(3, 0), p[1]);
    EXPECT_EQ(c.b.StippleCounter, 0.0f); // 8 pixels of a 4-pattern
    c.b.HorzLineTSP(3, 1, 0); // drawn from the first end
    EXPECT_EQ(c.b.GetPixel(3, 1), p[0]);
    EXPECT_EQ(c.b.GetPixel(0, 1), p[3]);
    EXPECT_EQ(c.b.StippleCounter, 4.0f); // wrapped on the next read
    c.b.VertLineTSP(9, 0, 1);             // outside: nothing, not even an advance
    EXPECT_EQ(c.b.StippleCounter, 4.0f);
    c.b.HorzLineTSP(-9, 0, -7); // fully left: advance by 3
    EXPECT_EQ(c.b.StippleCounter, 3.0f);
}

TEST(Lines, HorizontalAndVertical)
{
    Canvas32 c(4, 3);
    c.b.HorzLineS(5, 2, -3, W);
    c.b.HorzLine(5, 1, 3, W);
    c.b.VertLineS(0, -10, 0, R);
    c.b.VertLineS(7, 0, 2, R);
    EXPECT_EQ(Mask(c.b), "#...\n....\n####\n");
    EXPECT_EQ(c.b.GetPixel(0, 0), R);
}

TEST(Lines, BresenhamGoldens)
{
    struct Case { int x1, y1, x2, y2; bool l; const char *mask; };
    const Case cases[] = {
        {0, 0, 3, 0, false, "###..\n.....\n.....\n"},
        {0, 0, 3, 0, true, "####.\n.....\n.....\n"},
        {0, 0, 4, 2, false, "##...\n..##.\n.....\n"},
        {0, 0, 4, 2, true, "##...\n..##.\n....#\n"},
        {4, 2, 0, 0, false, ".....\n.##..\n...##\n"},
        {1, 2, 1, 0, false, ".....\n.#...\n.#...\n"},
        {1, 2, 1, 0, true, ".#...\n.#...\n.#...\n"},
    };
    for (const Case &k : cases) {
        Canvas32 c(5, 3);
        int changes = 0;
        c.b.OnChange = [&](TThreadPersistent *) { ++changes; };
        c.b.Line(k.x1, k.y1, k.x2, k.y2, W, k.l);
        EXPECT_EQ(changes, 1);
        EXPECT_EQ(Mask(c.b), k.mask) << k.x1 << "," << k.y1 << "-" << k.x2 << "," << k.y2 << " " << k.l;
    }
}

TEST(Lines, ClippedEnds)
{
    // LineS leaves the clipped end undrawn; LineTS draws it.
    Canvas32 s(4, 1), t(4, 1);
    s.b.LineS(0, 0, 10, 0, W);
    t.b.LineTS(0, 0, 10, 0, W);
    EXPECT_EQ(Mask(s.b), "###.\n");
    EXPECT_EQ(Mask(t.b), "####\n");
    // Far coordinates clip without overflow.
    Canvas32 f(4, 4);
    f.b.LineS(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, W, true);
    f.b.LineTS(INT32_MAX, INT32_MIN, INT32_MIN, INT32_MAX, W);
    f.b.LineAS(INT32_MIN, 0, INT32_MAX, 3, W);
    f.b.LineXS(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, W);
    f.b.LineFS(-1e30f, 2.0f, 1e30f, 2.0f, W);
    EXPECT_EQ(f.b.GetPixel(0, 0), W);
}

TEST(Lines, Antialiased)
{
    Canvas32 c(6, 6);
    c.b.LineA(0, 0, 5, 5, W);
    EXPECT_EQ(Mask(c.b), "#.....\n.#....\n..#...\n...#..\n....#.\n......\n");
    Canvas32 l(6, 6);
    l.b.LineA(0, 0, 5, 5, W, true);
    EXPECT_EQ(Mask(l.b), "#.....\n.#....\n..#...\n...#..\n....#.\n.....#\n");
    // The first pixel is blended by alpha, the others through the master-alpha form (254, no shortcut).
    EXPECT_EQ(l.b.GetPixel(0, 0), W);
    EXPECT_EQ(l.b.GetPixel(5, 5), BlendRegEx(W, K, 255));

    // A shallow line: the error accumulator moves one row after two steps; each step
    // blends the pixel and its lower neighbour by the gamma-shaped fraction.
    Canvas32 s(5, 3);
    s.b.LineA(0, 0, 4, 2, W);
    const auto ex = [](int k) { return BlendRegEx(W, K, GAMMA_TABLE[k]); };
    const std::vector<TColor32> golden = {
        W, ex(127), K,       K,       K, //
        K, ex(128), ex(255), ex(127), K, //
        K, K,       K,       ex(128), K, //
    };
    EXPECT_EQ(s.Pixels(), golden);

    // A step along the right edge must not blend into the next row's first pixel.
    Canvas32 e(4, 4);
    e.b.LineAS(3, 0, 5, 40, W);
    EXPECT_EQ(e.b.GetPixel(0, 1), K);
    EXPECT_EQ(e.b.GetPixel(0, 2), K);
    EXPECT_EQ(e.b.GetPixel(0, 3), K);
    EXPECT_NE(e.b.GetPixel(3, 0), K);
}

TEST(Lines, FixedPoint)
{
    // Two whole dots along row 0, each 253/255 of white over black; the partial dot has alpha 0.
    Canvas32 c(4, 2);
    c.b.LineX(0, 0, Fixed(2), 0, W);
    const TColor32 dot = CombineReg(W, K, 253);
    EXPECT_EQ(c.Pixels(), (std::vector<TColor32>{dot, dot, K, K, K, K, K, K}));
    // Closer than 1/256 pixel: nothing unless the last point is drawn.
    Canvas32 d(3, 3);
    d.b.LineX(Fixed(1), Fixed(1), Fixed(1) + 100, Fixed(1), W);
    EXPECT_EQ(Mask(d.b), "...\n...\n...\n");
    d.b.LineX(Fixed(1), Fixed(1), Fixed(1) + 100, Fixed(1), W, true);
    EXPECT_NE(Mask(d.b), "...\n...\n...\n");
    // The clipped form near the edges matches the unchecked one inside.
    Canvas32 a(6, 6), b(6, 6);
    a.b.LineF(1.0f, 1.5f, 3.0f, 2.25f, W);
    b.b.LineFS(1.0f, 1.5f, 3.0f, 2.25f, W);
    EXPECT_EQ(a.Pixels(), b.Pixels());
    Canvas32 edge(3, 3);
    edge.b.LineFS(-5, 2.9f, 10, 2.9f, W); // runs along the bottom row, partly outside
    EXPECT_NE(edge.b.GetPixel(1, 2), K);
}

TEST(Lines, PenPosition)
{
    Canvas32 c(4, 4);
    c.b.PenColor = R;
    c.b.MoveTo(0, 0);
    c.b.LineToS(3, 0);
    c.b.LineToTS(3, 3);
    EXPECT_EQ(c.b.RasterPos, Point(3, 3));
    EXPECT_EQ(Mask(c.b), "####\n...#\n...#\n....\n"); // the end point is left for the next line
    c.b.MoveToF(0.0f, 3.0f);
    c.b.LineToFS(2.0f, 3.0f);
    EXPECT_EQ(c.b.RasterPosX, FixedPoint(2, 3));
}

TEST(Rectangles, FillsFramesAndBevels)
{
    Canvas32 c(4, 4);
    c.b.FrameRectS(0, 0, 1, 1, W);
    EXPECT_EQ(Mask(c.b), "#...\n....\n....\n....\n");
    Canvas32 f(4, 4);
    f.b.FrameRectS(0, 0, 3, 3, W);
    EXPECT_EQ(Mask(f.b), "###.\n#.#.\n###.\n....\n");
    Canvas32 g(4, 4);
    g.b.FillRectS(-5, 2, 100, 100, W);
    g.b.FillRectS(3, 3, 3, 9, R); // empty: nothing
    EXPECT_EQ(Mask(g.b), "....\n....\n####\n####\n");

    Canvas32 opaque(3, 3, 0xFF808080), t(3, 3, 0xFF808080);
    opaque.b.FillRect(0, 0, 2, 2, 0xFF123456);
    t.b.FillRectT(0, 0, 2, 2, 0xFF123456);
    EXPECT_EQ(opaque.Pixels(), t.Pixels());
    t.b.FillRectTS(-1, -1, 5, 5, 0x00FFFFFF);
    EXPECT_EQ(opaque.Pixels(), t.Pixels());

    const TColor32 bg = 0xFF808080;
    Canvas32 r(3, 3, bg);
    r.b.RaiseRectTS(0, 0, 3, 3, 50); // white at alpha 255 (256 clamped), black at alpha 127
    EXPECT_EQ(r.b.GetPixel(0, 0), W);
    EXPECT_EQ(r.b.GetPixel(0, 1), W);
    EXPECT_EQ(r.b.GetPixel(2, 2), BlendReg(0x7F000000, bg));
    EXPECT_EQ(r.b.GetPixel(2, 1), BlendReg(0x7F000000, bg));
    EXPECT_EQ(r.b.GetPixel(1, 1), bg);
}

TEST(Rectangles, StippledFrameRunsClockwise)
{
    Canvas32 c(3, 3);
    std::vector<TColor32> pattern;
    for (TColor32 i = 1; i <= 8; ++i)
        pattern.push_back(0xFF000000 | i);
    c.b.SetStipple(pattern);
    c.b.FrameRectTSP(0, 0, 3, 3);
    const std::vector<TColor32> expected = {0xFF000001, 0xFF000002, 0xFF000003, 0xFF000008, K,
                                            0xFF000004, 0xFF000007, 0xFF000006, 0xFF000005};
    EXPECT_EQ(c.Pixels(), expected);
}

TEST(Drawing, WhichMembersNotify)
{
    struct Case { const char *name; std::function<void(TBitmap32 &)> draw; int changes; };
    const Case cases[] = {
        {"SetPixelTS", [](TBitmap32 &b) { b.SetPixelTS(1, 1, W); }, 0},
        {"HorzLineS", [](TBitmap32 &b) { b.HorzLineS(0, 1, 3, W); }, 0},
        {"VertLineTSP", [](TBitmap32 &b) { b.VertLineTSP(1, 0, 3); }, 0},
        {"Line", [](TBitmap32 &b) { b.Line(0, 0, 2, 3, W); }, 1},
        {"LineS outside", [](TBitmap32 &b) { b.LineS(10, 10, 20, 20, W); }, 0},
        {"LineAS", [](TBitmap32 &b) { b.LineAS(0, 0, 3, 2, W); }, 1},
        {"LineX too short", [](TBitmap32 &b) { b.LineX(0, 0, 10, 0, W); }, 1},
        {"LineXSP outside", [](TBitmap32 &b) { b.LineXSP(Fixed(9), Fixed(9), Fixed(12), Fixed(9)); }, 0},
        {"FillRectS hidden", [](TBitmap32 &b) { b.FillRectS(5, 5, 9, 9, W); }, 0},
        {"FillRectTS", [](TBitmap32 &b) { b.FillRectTS(1, 1, 9, 9, 0x80FFFFFF); }, 1},
        {"FrameRectTSP", [](TBitmap32 &b) { b.FrameRectTSP(0, 0, 4, 4); }, 1},
        {"RaiseRectTS flat", [](TBitmap32 &b) { b.RaiseRectTS(0, 0, 4, 4, 0); }, 1},
    };
    for (const Case &c : cases) {
        Canvas32 k(4, 4);
        int changes = 0;
        k.b.OnChange = [&](TThreadPersistent *) { ++changes; };
        c.draw(k.b);
        EXPECT_EQ(changes, c.changes) << c.name;
    }
}
