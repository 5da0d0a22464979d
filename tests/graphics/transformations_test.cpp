#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "graphics/rx32_transforms.h"

using namespace strandel;

namespace {

// Pixel (x, y) holds 0xFF0000yx so that every read names its source.
void Label(TBitmap32 &b, int w, int h)
{
    b.SetSize(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            *b.PixelPtr(x, y) = 0xFF000000u | TColor32(y << 4 | x);
}

TFloatMatrix M(std::initializer_list<float> stored)
{
    TFloatMatrix m{};
    int i = 0;
    for (float v : stored) {
        m[i / 3][i % 3] = v;
        ++i;
    }
    return m;
}

// Applies a matrix to (x, y, 1) without dividing by w.
TFloatPoint Apply(const TFloatMatrix &m, float x, float y)
{
    return {m[0][0] * x + m[1][0] * y + m[2][0], m[0][1] * x + m[1][1] * y + m[2][1]};
}

void ExpectNear(const TFloatMatrix &a, const TFloatMatrix &b, float eps = 1e-5f)
{
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 3; ++r)
            EXPECT_NEAR(a[c][r], b[c][r], eps) << "[" << c << "," << r << "]";
}

} // namespace

TEST(Matrix, AdjointDeterminantInvertMult)
{
    const TFloatMatrix m = M({2, 1, 0, -1, 3, 2, 4, 0, 1});
    const float det = Determinant(m);
    EXPECT_FLOAT_EQ(det, 2 * (3 * 1 - 2 * 0) - (-1) * (1 * 1 - 0 * 0) + 4 * (1 * 2 - 0 * 3));
    TFloatMatrix adj = m;
    Adjoint(adj);
    TFloatMatrix scaled = IdentityMatrix;
    Scale(scaled, det);
    ExpectNear(Mult(m, adj), scaled, 1e-4f);

    TFloatMatrix inv = m;
    Invert(inv);
    ExpectNear(Mult(m, inv), IdentityMatrix);

    // Mult(a, b) applies b first: translate then scale.
    TFloatMatrix scale2 = IdentityMatrix, move = IdentityMatrix;
    scale2[0][0] = scale2[1][1] = 2;
    move[2][0] = 1;
    const TFloatPoint p = Apply(Mult(scale2, move), 1, 1);
    EXPECT_EQ(p, (TFloatPoint{4, 2}));
}

TEST(Matrix, NearlySingularInvertsToIdentity)
{
    TFloatMatrix m = IdentityMatrix;
    m[0][0] = 5e-6f; // det 5e-6
    Invert(m);
    EXPECT_EQ(m, IdentityMatrix);
    TFloatMatrix nan = IdentityMatrix;
    nan[1][1] = std::numeric_limits<float>::quiet_NaN();
    Invert(nan);
    EXPECT_EQ(nan, IdentityMatrix);
}

TEST(Affine, Vectors)
{
    TAffineTransformation t;
    EXPECT_FALSE(t.Prepared());
    t.PrepareTransform();
    int32_t x = 0, y = 0;
    t.Transform(5, 7, x, y);
    EXPECT_EQ(x, 5);
    EXPECT_EQ(y, 7);
    t.Transform256(5, 7, x, y);
    EXPECT_EQ(x, 1280);
    EXPECT_EQ(y, 1792);

    t.Translate(10.5f, 0);
    EXPECT_FALSE(t.Prepared());
    t.PrepareTransform();
    EXPECT_EQ(t.I20, -43008);
    t.Transform(20, 0, x, y);
    EXPECT_EQ(x, 9); // 9.5 rounds down

    TAffineTransformation r;
    r.Rotate(0, 0, 90);
    r.Scale(2, 2);
    const TFloatPoint p = Apply(r.Matrix(), 1, 0);
    EXPECT_NEAR(p.X, 0, 1e-6);
    EXPECT_FLOAT_EQ(p.Y, -2);

    TAffineTransformation id;
    id.SetSrcRect({0, 0, 10, 10});
    EXPECT_EQ(id.GetTransformedBounds(), (TRect{0, 0, 10, 10}));

    // Skew: x' = x + Fx*y, y' = Fy*x + y.
    TAffineTransformation s;
    s.Skew(0.5f, 0.25f);
    EXPECT_EQ(Apply(s.Matrix(), 4, 2), (TFloatPoint{5, 3}));
}

TEST(Projective, ParallelogramAndDegenerateCorners)
{
    TProjectiveTransformation t;
    EXPECT_FALSE(t.Prepared());
    t.SetSrcRect({0, 0, 10, 10});
    // A parallelogram: the source square sheared right by 5 and scaled by 2.
    t.SetX0(0), t.SetY0(0), t.SetX1(20), t.SetY1(0), t.SetX2(30), t.SetY2(20), t.SetX3(10), t.SetY3(20);
    t.PrepareTransform();
    EXPECT_TRUE(t.Prepared());
    EXPECT_FLOAT_EQ(t.Matrix()[0][2], 0); // no perspective row
    EXPECT_FLOAT_EQ(t.Matrix()[1][2], 0);
    int32_t x = -1, y = -1;
    t.Transform(30, 20, x, y);
    EXPECT_EQ(x, 10);
    EXPECT_EQ(y, 10);
    t.Transform256(15, 10, x, y); // the middle
    EXPECT_EQ(x, 5 * 256);
    EXPECT_EQ(y, 5 * 256);
    EXPECT_EQ(t.GetTransformedBounds(), (TRect{0, 0, 30, 20}));
    t.SetX0(1);
    EXPECT_FALSE(t.Prepared());

    TProjectiveTransformation line;
    line.SetSrcRect({0, 0, 10, 10});
    line.SetX1(10), line.SetX2(20), line.SetX3(30); // all four on y = 0
    line.PrepareTransform();
    EXPECT_EQ(line.Matrix(), IdentityMatrix);

    // A true quadrilateral: the corners map back to the source corners.
    TProjectiveTransformation q;
    q.SetSrcRect({0, 0, 8, 8});
    q.SetX0(0), q.SetY0(0), q.SetX1(16), q.SetY1(4), q.SetX2(12), q.SetY2(12), q.SetX3(2), q.SetY3(10);
    q.PrepareTransform();
    q.Transform(16, 4, x, y);
    EXPECT_EQ(x, 8);
    EXPECT_EQ(y, 0);
    q.Transform(2, 10, x, y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 8);
}

TEST(Projective, SourceRectangleWithoutAreaIsRefused)
{
    for (TFloatRect r : {TFloatRect{3, 0, 3, 10}, TFloatRect{0, 4, 10, 4}}) {
        TProjectiveTransformation t;
        t.SetSrcRect(r);
        t.SetX1(10), t.SetX2(10), t.SetY2(10), t.SetY3(10);
        EXPECT_THROW(t.PrepareTransform(), ETransformError);
        EXPECT_FALSE(t.Prepared());
        TBitmap32 src, dst;
        Label(src, 4, 4);
        dst.SetSize(4, 4);
        dst.Clear(0);
        EXPECT_THROW(Transform(&dst, &src, &t), ETransformError);
        EXPECT_EQ(dst.GetPixel(0, 0), 0u);
    }
}

TEST(TransformDraw, QuarterTurnOfASmallFixture)
{
    TBitmap32 src, dst;
    Label(src, 4, 3);
    dst.SetSize(3, 4);
    dst.Clear(0);
    TAffineTransformation t;
    t.SetSrcRect({0, 0, 4, 3});
    t.Rotate(0, 0, 90); // (x, y) -> (y, -x)
    t.Translate(0, 3);
    int changes = 0;
    dst.OnChange = [&](TThreadPersistent *) { ++changes; };
    Transform(&dst, &src, &t);
    EXPECT_TRUE(t.Prepared());
    EXPECT_EQ(changes, 1);
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(dst.GetPixel(i, j), src.GetPixel(3 - j, i)) << i << "," << j;
}

TEST(TransformDraw, OnePixelWideDestinationIsDrawn)
{
    TBitmap32 src, dst;
    Label(src, 4, 4);
    for (auto [w, h] : {std::pair{1, 4}, std::pair{4, 1}, std::pair{1, 1}}) {
        dst.SetSize(w, h);
        dst.Clear(0);
        TAffineTransformation t;
        t.SetSrcRect({0, 0, 4, 4});
        Transform(&dst, &src, &t);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                EXPECT_EQ(dst.GetPixel(x, y), src.GetPixel(x, y));
    }
}

TEST(TransformDraw, NearestStaysInsideSourceBoundsLinearReadsOuterColor)
{
    TBitmap32 src, dst;
    Label(src, 4, 4);
    src.OuterColor = 0xFF0000FF;
    dst.SetSize(8, 8);

    // Shift right by 2: destination columns 0 and 1 have no source under nearest sampling.
    TAffineTransformation t;
    t.SetSrcRect({0, 0, 4, 4});
    t.Translate(2, 0);
    dst.Clear(0);
    Transform(&dst, &src, &t);
    for (int y = 0; y < 4; ++y) {
        EXPECT_EQ(dst.GetPixel(1, y), 0u);
        EXPECT_EQ(dst.GetPixel(2, y), src.GetPixel(0, y));
        EXPECT_EQ(dst.GetPixel(5, y), src.GetPixel(3, y));
        EXPECT_EQ(dst.GetPixel(6, y), 0u);
    }

    // A half-pixel shift under linear sampling: the column left of the source mixes with
    // the outer colour, and the sample a whole pixel outside is still drawn.
    src.SetStretchFilter(sfLinear);
    TAffineTransformation h;
    h.SetSrcRect({0, 0, 4, 4});
    h.Translate(1.5f, 0);
    dst.Clear(0);
    Transform(&dst, &src, &h);
    // source x = -0.5, y = 1: weights 127 (x) and 255 (y), the left taps from the outer colour
    const TColor32 mixed = CombineReg(CombineReg(src.OuterColor, src.GetPixel(0, 1), 127),
                                      CombineReg(src.OuterColor, src.GetPixel(0, 2), 127), 255);
    EXPECT_EQ(dst.GetPixel(1, 1), mixed);
    EXPECT_EQ(dst.GetPixel(0, 1), 0u); // x = -1.5: more than a pixel outside
}

TEST(TransformDraw, BlendAndCustomUseMasterAlpha)
{
    TBitmap32 src, dst;
    src.SetSize(2, 2);
    src.Clear(0xFFFF0000);
    src.SetDrawMode(dmBlend);
    src.SetMasterAlpha(128);
    dst.SetSize(2, 2);
    dst.Clear(0xFF0000FF);
    TAffineTransformation t;
    t.SetSrcRect({0, 0, 2, 2});
    Transform(&dst, &src, &t);
    TColor32 expected = 0xFF0000FF;
    BlendMemEx(0xFFFF0000, expected, 128);
    EXPECT_EQ(dst.GetPixel(1, 1), expected);

    int calls = 0;
    src.SetDrawMode(dmCustom);
    src.OnPixelCombine = [&](TColor32 f, TColor32 &b, TColor32 m) {
        ++calls;
        b = f ^ m;
    };
    Transform(&dst, &src, &t);
    EXPECT_EQ(calls, 4);
    EXPECT_EQ(dst.GetPixel(0, 0), 0xFFFF0000u ^ 128u);

    src.OnPixelCombine = nullptr; // dmCustom without a method draws opaque
    dst.Clear(0);
    Transform(&dst, &src, &t);
    EXPECT_EQ(dst.GetPixel(0, 0), 0xFFFF0000u);
}

TEST(TransformDraw, HugeAndNonFiniteMappingsAreSkipped)
{
    TBitmap32 src, dst;
    Label(src, 4, 4);
    dst.SetSize(6, 6);
    for (TStretchFilter f : {sfNearest, sfLinear}) {
        src.SetStretchFilter(f);
        // A translation far beyond any integer: the 20.12 inverse saturates, nothing lands.
        TAffineTransformation far;
        far.SetSrcRect({0, 0, 4, 4});
        far.Translate(-1e30f, 1e30f);
        dst.Clear(0);
        Transform(&dst, &src, &far);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 6; ++x)
                EXPECT_EQ(dst.GetPixel(x, y), 0u) << x << "," << y;

        // Corners near a line through the destination: denominators near 0 and beyond.
        TProjectiveTransformation p;
        p.SetSrcRect({0, 0, 4, 4});
        p.SetX0(0), p.SetY0(0), p.SetX1(6), p.SetY1(0.001f), p.SetX2(0.002f), p.SetY2(6), p.SetX3(0), p.SetY3(5);
        dst.Clear(0);
        Transform(&dst, &src, &p);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 6; ++x) {
                const TColor32 c = dst.GetPixel(x, y);
                if (f == sfNearest && c != 0) {
                    EXPECT_EQ(c & 0xFF000000u, 0xFF000000u); // only source pixels land
                }
            }

        TProjectiveTransformation inf;
        inf.SetSrcRect({0, 0, 4, 4});
        inf.SetX1(std::numeric_limits<float>::infinity());
        inf.SetX2(5), inf.SetY2(5), inf.SetY3(5);
        Transform(&dst, &src, &inf); // must not convert inf or NaN to an integer
    }
}

TEST(BorderTransparent, ClearsTheOutlineOnly)
{
    TBitmap32 b;
    b.SetSize(5, 4);
    b.Clear(0xFF112233);
    SetBorderTransparent(&b, {1, 1, 3, 3});
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) {
            const bool outline = x >= 1 && x <= 3 && y >= 1 && y <= 3 && !(x == 2 && y == 2);
            EXPECT_EQ(b.GetPixel(x, y), outline ? 0x00112233u : 0xFF112233u) << x << "," << y;
        }
    b.Clear(0xFF112233);
    SetBorderTransparent(&b, {-5, 2, 20, 2}); // one clipped row
    EXPECT_EQ(b.GetPixel(0, 2), 0x00112233u);
    EXPECT_EQ(b.GetPixel(4, 2), 0x00112233u);
    EXPECT_EQ(b.GetPixel(0, 1), 0xFF112233u);
    b.Clear(0xFF112233);
    SetBorderTransparent(&b, {7, 0, 9, 3}); // wholly outside
    EXPECT_EQ(b.GetPixel(4, 0), 0xFF112233u);
}
