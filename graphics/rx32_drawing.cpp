// Pixels, lines and rectangles of TBitmap32.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "graphics/rx32.h"
#include "graphics/rx32_drawingex.h"

namespace strandel {

namespace {
const uint8_t *G() { return GAMMA_TABLE; }

int32_t Sat32(int64_t v)
{
    return v > INT32_MAX ? INT32_MAX : (v < INT32_MIN ? INT32_MIN : int32_t(v));
}
} // namespace

// ---- Pixels ------------------------------------------------------------------------------------

TColor32 TBitmap32::GetPixelS(int32_t x, int32_t y) const
{
    if (x >= 0 && x < Width() && y >= 0 && y < Height() && m_bits)
        return GetPixel(x, y);
    return OuterColor;
}

TColor32 TBitmap32::GetPixelB(int32_t x, int32_t y) const
{
    if (Empty()) // no border pixel to fall back on
        return OuterColor;
    return GetPixel(Constrain(x, 0, Width() - 1), Constrain(y, 0, Height() - 1));
}

void TBitmap32::SetPixelS(int32_t x, int32_t y, TColor32 c)
{
    if (x >= 0 && x < Width() && y >= 0 && y < Height() && m_bits)
        SetPixel(x, y, c);
}

void TBitmap32::SetPixelT(int32_t x, int32_t y, TColor32 c)
{
    BlendMem(c, *PixelPtr(x, y));
    EMMS();
}

void TBitmap32::SetPixelT(PColor32 &ptr, TColor32 c)
{
    BlendMem(c, *ptr);
    ++ptr;
    EMMS();
}

void TBitmap32::SetPixelTS(int32_t x, int32_t y, TColor32 c)
{
    if (x >= 0 && x < Width() && y >= 0 && y < Height() && m_bits)
        SetPixelT(x, y, c);
}

void TBitmap32::SET_T256(int32_t x, int32_t y, TColor32 c)
{
    const uint32_t fx = x & 255, fy = y & 255;
    x >>= 8;
    y >>= 8;
    const uint32_t a = c >> 24;
    const uint32_t wx0 = a * G()[fx ^ 255], wy0 = G()[fy ^ 255], wx1 = a * G()[fx], wy1 = G()[fy];
    CombineMem(c, *PixelPtr(x, y), wx0 * wy0 >> 16);
    CombineMem(c, *PixelPtr(x + 1, y), wx1 * wy0 >> 16);
    CombineMem(c, *PixelPtr(x + 1, y + 1), wx1 * wy1 >> 16);
    CombineMem(c, *PixelPtr(x, y + 1), wx0 * wy1 >> 16);
}

void TBitmap32::SET_TS256(int32_t x, int32_t y, TColor32 c)
{
    if (!m_bits || x < -256 || y < -256)
        return;
    const uint32_t fx = x & 255, fy = y & 255;
    x >>= 8;
    y >>= 8;
    if (x >= Width() || y >= Height())
        return;
    const uint32_t a = c >> 24;
    const uint32_t wx0 = a * G()[fx ^ 255], wy0 = G()[fy ^ 255], wx1 = a * G()[fx], wy1 = G()[fy];
    const bool left = x >= 0, top = y >= 0, right = x < Width() - 1, bottom = y < Height() - 1;
    if (left && top)
        CombineMem(c, *PixelPtr(x, y), wx0 * wy0 >> 16);
    if (right && top)
        CombineMem(c, *PixelPtr(x + 1, y), wx1 * wy0 >> 16);
    if (right && bottom)
        CombineMem(c, *PixelPtr(x + 1, y + 1), wx1 * wy1 >> 16);
    if (left && bottom)
        CombineMem(c, *PixelPtr(x, y + 1), wx0 * wy1 >> 16);
}

void TBitmap32::SetPixelX(TFixed x, TFixed y, TColor32 c)
{
    SET_T256(int32_t((int64_t(x) + 127) >> 8), int32_t((int64_t(y) + 127) >> 8), c);
    EMMS();
}

void TBitmap32::SetPixelXS(TFixed x, TFixed y, TColor32 c)
{
    SET_TS256(int32_t((int64_t(x) + 127) >> 8), int32_t((int64_t(y) + 127) >> 8), c);
    EMMS();
}

void TBitmap32::SetPixelF(float x, float y, TColor32 c)
{
    SET_T256(RoundSat(double(x) * 256), RoundSat(double(y) * 256), c);
    EMMS();
}

void TBitmap32::SetPixelFS(float x, float y, TColor32 c)
{
    SET_TS256(RoundSat(double(x) * 256), RoundSat(double(y) * 256), c);
    EMMS();
}

// ---- Stipple -----------------------------------------------------------------------------------

namespace {
// counter into [0, n) by a remainder: a huge step or counter must not loop for ever.
float Wrap(double counter, size_t n)
{
    if (!std::isfinite(counter))
        return 0;
    double r = counter - std::floor(counter / double(n)) * double(n);
    float f = float(r);
    if (!(f >= 0) || f >= float(n))
        f = 0;
    return f;
}
} // namespace

void TBitmap32::SetStipple(const TArrayOfColor32 &pattern)
{
    StippleCounter = 0;
    StipplePattern = pattern;
}

void TBitmap32::AdvanceStippleCounter(float lengthPixels)
{
    const size_t n = StipplePattern.size();
    const double d = double(lengthPixels) * StippleStep;
    if (n == 0 || d == 0)
        return;
    StippleCounter = Wrap(double(StippleCounter) + d, n);
}

TColor32 TBitmap32::GetStippleColor()
{
    const size_t n = StipplePattern.size();
    if (n == 0)
        return clBlack32;
    if (!(StippleCounter >= 0 && StippleCounter < float(n)))
        StippleCounter = Wrap(StippleCounter, n);
    int64_t i = int64_t(std::nearbyint(double(StippleCounter) - 0.5));
    i = std::clamp<int64_t>(i, 0, int64_t(n) - 1);
    const int32_t w = 255 - int32_t(std::nearbyint(255.0 * (double(StippleCounter) - double(i))));
    const size_t j = size_t(i) + 1 >= n ? 0 : size_t(i) + 1;
    TColor32 result = StipplePattern[size_t(i)];
    if (w != 255) {
        result = CombineReg(StipplePattern[size_t(i)], StipplePattern[j], TColor32(Clamp(w)));
        EMMS();
    }
    StippleCounter = StippleCounter + StippleStep;
    return result;
}

// ---- Horizontal and vertical lines -------------------------------------------------------------

void TBitmap32::HorzLine(int32_t x1, int32_t y, int32_t x2, TColor32 c)
{
    if (x2 >= x1)
        FillLongword(PixelPtr(x1, y), x2 - x1 + 1, c);
}

void TBitmap32::HorzLineT(int32_t x1, int32_t y, int32_t x2, TColor32 c)
{
    if (x2 < x1)
        return;
    TColor32 *p = PixelPtr(x1, y);
    for (int32_t x = x1; x <= x2; ++x, ++p)
        BlendMem(c, *p);
    EMMS();
}

void TBitmap32::VertLine(int32_t x, int32_t y1, int32_t y2, TColor32 c)
{
    TColor32 *p = y2 >= y1 ? PixelPtr(x, y1) : nullptr;
    for (int32_t y = y1; y <= y2; ++y, p += Width())
        *p = c;
}

void TBitmap32::VertLineT(int32_t x, int32_t y1, int32_t y2, TColor32 c)
{
    TColor32 *p = y2 >= y1 ? PixelPtr(x, y1) : nullptr;
    for (int32_t y = y1; y <= y2; ++y, p += Width())
        BlendMem(c, *p);
    EMMS();
}

namespace {
// Orders and clamps the ends of a checked line; false when nothing is left.
bool ClipSpan(int32_t &a, int32_t &b, int32_t size)
{
    TestSwap(a, b);
    if (a < 0)
        a = 0;
    if (b > size - 1)
        b = size - 1;
    return b >= a;
}
} // namespace

void TBitmap32::HorzLineS(int32_t x1, int32_t y, int32_t x2, TColor32 c)
{
    if (m_bits && y >= 0 && y < Height() && ClipSpan(x1, x2, Width()))
        HorzLine(x1, y, x2, c);
}

void TBitmap32::HorzLineTS(int32_t x1, int32_t y, int32_t x2, TColor32 c)
{
    if (m_bits && y >= 0 && y < Height() && ClipSpan(x1, x2, Width()))
        HorzLineT(x1, y, x2, c);
}

void TBitmap32::VertLineS(int32_t x, int32_t y1, int32_t y2, TColor32 c)
{
    if (m_bits && x >= 0 && x < Width() && ClipSpan(y1, y2, Height()))
        VertLine(x, y1, y2, c);
}

void TBitmap32::VertLineTS(int32_t x, int32_t y1, int32_t y2, TColor32 c)
{
    if (m_bits && x >= 0 && x < Width() && ClipSpan(y1, y2, Height()))
        VertLineT(x, y1, y2, c);
}

namespace {
// The stippled line along one axis: clipped ends advance the pattern as if drawn.
template <typename Put>
void StippleSpan(TBitmap32 &b, int32_t a1, int32_t a2, int32_t size, Put put)
{
    if ((a1 < 0 && a2 < 0) || (a1 >= size && a2 >= size)) {
        b.AdvanceStippleCounter(float(std::llabs(int64_t(a2) - a1) + 1));
        return;
    }
    if (a1 < 0) {
        b.AdvanceStippleCounter(float(-int64_t(a1)));
        a1 = 0;
    } else if (a1 >= size) {
        b.AdvanceStippleCounter(float(int64_t(a1) - (size - 1)));
        a1 = size - 1;
    }
    int64_t rest = 0;
    if (a2 < 0) {
        rest = -int64_t(a2);
        a2 = 0;
    } else if (a2 >= size) {
        rest = int64_t(a2) - (size - 1);
        a2 = size - 1;
    }
    const int32_t step = a2 >= a1 ? 1 : -1;
    for (int32_t a = a1;; a += step) {
        put(a, b.GetStippleColor());
        if (a == a2)
            break;
    }
    if (rest > 0)
        b.AdvanceStippleCounter(float(rest));
}
} // namespace

void TBitmap32::HorzLineTSP(int32_t x1, int32_t y, int32_t x2)
{
    if (Empty() || y < 0 || y >= Height())
        return;
    StippleSpan(*this, x1, x2, Width(), [&](int32_t x, TColor32 c) { SetPixelT(x, y, c); });
}

void TBitmap32::VertLineTSP(int32_t x, int32_t y1, int32_t y2)
{
    if (Empty() || x < 0 || x >= Width())
        return;
    StippleSpan(*this, y1, y2, Height(), [&](int32_t y, TColor32 c) { SetPixelT(x, y, c); });
}

// ---- Lines between two points ------------------------------------------------------------------

namespace {
// Bresenham: put(x, y) for every pixel, the last one only when l.
template <typename Put>
void Bresenham(int32_t x1, int32_t y1, int32_t x2, int32_t y2, bool l, Put put)
{
    int64_t dx = int64_t(x2) - x1, dy = int64_t(y2) - y1;
    const int32_t sx = dx > 0 ? 1 : -1, sy = dy > 0 ? 1 : -1;
    dx = std::llabs(dx);
    dy = std::llabs(dy);
    int32_t x = x1, y = y1;
    if (dx > dy) {
        int64_t e = dx >> 1;
        for (int64_t i = 0; i < dx; ++i) {
            put(x, y);
            x += sx;
            e += dy;
            if (e > dx) {
                y += sy;
                e -= dx;
            }
        }
    } else {
        int64_t e = dy >> 1;
        for (int64_t i = 0; i < dy; ++i) {
            put(x, y);
            y += sy;
            e += dx;
            if (e > dy) {
                x += sx;
                e -= dy;
            }
        }
    }
    if (l)
        put(x, y);
}
} // namespace

void TBitmap32::Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor32 c, bool l)
{
    if (x1 == x2) {
        if (y2 > y1)
            VertLine(x1, y1, y2 - 1, c);
        else if (y2 < y1)
            VertLine(x1, y2 + 1, y1, c);
        if (l)
            SetPixel(x2, y2, c);
    } else if (y1 == y2) {
        if (x2 > x1)
            HorzLine(x1, y1, x2 - 1, c);
        else
            HorzLine(x2 + 1, y1, x1, c);
        if (l)
            SetPixel(x2, y2, c);
    } else {
        Bresenham(x1, y1, x2, y2, l, [&](int32_t x, int32_t y) { SetPixel(x, y, c); });
    }
    Changed();
}

void TBitmap32::LineT(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor32 c, bool l)
{
    if (x1 == x2) {
        if (y2 > y1)
            VertLineT(x1, y1, y2 - 1, c);
        else if (y2 < y1)
            VertLineT(x1, y2 + 1, y1, c);
        if (l)
            SetPixelT(x2, y2, c);
    } else if (y1 == y2) {
        if (x2 > x1)
            HorzLineT(x1, y1, x2 - 1, c);
        else
            HorzLineT(x2 + 1, y1, x1, c);
        if (l)
            SetPixelT(x2, y2, c);
    } else {
        Bresenham(x1, y1, x2, y2, l, [&](int32_t x, int32_t y) { BlendMem(c, *PixelPtr(x, y)); });
        EMMS();
    }
    Changed();
}

void TBitmap32::LineS(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor32 c, bool l)
{
    if (Empty() || !ClipLine(x1, y1, x2, y2, 0, 0, Width() - 1, Height() - 1))
        return;
    Line(x1, y1, x2, y2, c, l);
}

void TBitmap32::LineTS(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor32 c, bool l)
{
    const int32_t ox2 = x2, oy2 = y2;
    if (Empty() || !ClipLine(x1, y1, x2, y2, 0, 0, Width() - 1, Height() - 1))
        return;
    if (x2 != ox2 || y2 != oy2)
        l = true;
    LineT(x1, y1, x2, y2, c, l);
}

void TBitmap32::LineA(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor32 c, bool l)
{
    LineAImpl(x1, y1, x2, y2, c, l, false);
}

void TBitmap32::LineAS(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor32 c, bool l)
{
    if (Empty() || !ClipLine(x1, y1, x2, y2, 0, 0, Width() - 1, Height() - 1))
        return;
    // Checked: the second pixel of a step may lie just beyond the clipped edge.
    LineAImpl(x1, y1, x2, y2, c, l, true);
}

void TBitmap32::LineAImpl(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor32 c, bool l, bool checked)
{
    if (x1 == x2 || y1 == y2) {
        LineT(x1, y1, x2, y2, c, l);
        return;
    }
    const auto blend = [&](int32_t x, int32_t y, uint32_t w) {
        if (!checked || (x >= 0 && x < Width() && y >= 0 && y < Height()))
            BlendMemEx(c, *PixelPtr(x, y), w);
    };
    int64_t dx = std::llabs(int64_t(x2) - x1), dy = std::llabs(int64_t(y2) - y1);
    const int32_t sx = x2 > x1 ? 1 : -1, sy = y2 > y1 ? 1 : -1;
    BlendMem(c, *PixelPtr(x1, y1));
    uint16_t e = 0;
    if (dy > dx) {
        const uint16_t step = uint16_t((dx << 16) / dy);
        if (!l)
            --dy;
        for (int64_t i = 0; i < dy; ++i) {
            const uint16_t e2 = uint16_t(e + step);
            if (e2 <= e)
                x1 += sx;
            y1 += sy;
            e = e2;
            const uint32_t k = e >> 8;
            blend(x1, y1, G()[k ^ 255]);
            blend(x1 + sx, y1, G()[k]);
        }
    } else {
        const uint16_t step = uint16_t((dy << 16) / dx);
        if (!l)
            --dx;
        for (int64_t i = 0; i < dx; ++i) {
            const uint16_t e2 = uint16_t(e + step);
            if (e2 <= e)
                y1 += sy;
            x1 += sx;
            e = e2;
            const uint32_t k = e >> 8;
            blend(x1, y1, G()[k ^ 255]);
            blend(x1, y1 + sy, G()[k]);
        }
    }
    EMMS();
    Changed();
}

// The antialiased fixed-point line. Positions are carried in 64 bits: the clipped forms
// reach (width << 16) and beyond.
template <typename ColorOf>
bool TBitmap32::LineXImpl(int64_t x1, int64_t y1, int64_t x2, int64_t y2, bool l, bool checked, ColorOf colorOf)
{
    int64_t nx = x2 - x1, ny = y2 - y1;
    x1 += 127;
    y1 += 127;
    x2 += 127;
    y2 += 127;
    int64_t hyp = int64_t(std::nearbyint(std::hypot(double(nx), double(ny))));
    if (l)
        hyp += 65536;
    if (hyp < 256)
        return false;
    // Unchecked dots take the logical shifts of 32-bit positions, checked ones arithmetic shifts.
    const auto dotPos = [&](int64_t v, int shift) -> int32_t {
        return checked ? Sat32(v >> shift) : int32_t(uint32_t(v) >> shift);
    };
    const auto put = [&](int32_t x, int32_t y, TColor32 c) {
        if (checked)
            SET_TS256(x, y, c);
        else
            SET_T256(x, y, c);
        EMMS();
    };
    const int64_t n = hyp >> 16;
    if (n > 0) {
        const float h = 65536.0f / float(hyp);
        nx = int64_t(std::nearbyint(double(nx) * h));
        ny = int64_t(std::nearbyint(double(ny) * h));
        for (int64_t i = 0; i < n; ++i) {
            put(dotPos(x1, 8), dotPos(y1, 8), colorOf());
            x1 += nx;
            y1 += ny;
        }
    }
    const int64_t r = hyp - (n << 16);
    const TColor32 c = colorOf();
    const TColor32 alpha = TColor32((uint64_t(c >> 24) * uint64_t(r) << 8) & 0xFF000000u);
    put(dotPos(x1 + x2 - nx, 9), dotPos(y1 + y2 - ny, 9), (c & 0x00FFFFFF) | alpha);
    return true;
}

void TBitmap32::LineX(TFixed x1, TFixed y1, TFixed x2, TFixed y2, TColor32 c, bool l)
{
    LineXImpl(x1, y1, x2, y2, l, false, [c] { return c; });
    EMMS();
    Changed();
}

void TBitmap32::LineF(float x1, float y1, float x2, float y2, TColor32 c, bool l)
{
    LineX(Fixed(x1), Fixed(y1), Fixed(x2), Fixed(y2), c, l);
}

void TBitmap32::LineXP(TFixed x1, TFixed y1, TFixed x2, TFixed y2, bool l)
{
    LineXImpl(x1, y1, x2, y2, l, false, [this] { return GetStippleColor(); });
    EMMS();
    Changed();
}

void TBitmap32::LineFP(float x1, float y1, float x2, float y2, bool l)
{
    LineXP(Fixed(x1), Fixed(y1), Fixed(x2), Fixed(y2), l);
}

namespace {
// The clipping rectangle of the fixed-point lines, limited to what 32 bits hold.
int32_t FixedBound(int32_t size) { return Sat32(int64_t(size) << 16); }
bool InLineXRange(int64_t x1, int64_t y1, int64_t x2, int64_t y2, int32_t w, int32_t h)
{
    const int64_t mx = (int64_t(w) << 16) - 0x20000, my = (int64_t(h) << 16) - 0x20000;
    return x1 >= 0 && x2 >= 0 && y1 >= 0 && y2 >= 0 && x1 < mx && x2 < mx && y1 < my && y2 < my;
}
float FixedLength(int64_t dx, int64_t dy) { return float(std::hypot(dx / 65536.0, dy / 65536.0)); }
} // namespace

void TBitmap32::LineXS(TFixed x1, TFixed y1, TFixed x2, TFixed y2, TColor32 c, bool l)
{
    const TFixed ox2 = x2, oy2 = y2;
    if (Empty() || !ClipLine(x1, y1, x2, y2, -65536, -65536, FixedBound(Width()), FixedBound(Height())))
        return;
    if (x2 != ox2 || y2 != oy2)
        l = true;
    if (InLineXRange(x1, y1, x2, y2, Width(), Height())) {
        LineX(x1, y1, x2, y2, c, l);
        return;
    }
    LineXImpl(x1, y1, x2, y2, l, true, [c] { return c; });
    EMMS();
    Changed();
}

void TBitmap32::LineFS(float x1, float y1, float x2, float y2, TColor32 c, bool l)
{
    LineXS(Fixed(x1), Fixed(y1), Fixed(x2), Fixed(y2), c, l);
}

void TBitmap32::LineXSP(TFixed x1, TFixed y1, TFixed x2, TFixed y2, bool l)
{
    const TFixed ux1 = x1, uy1 = y1, ux2 = x2, uy2 = y2;
    if (Empty() || !ClipLine(x1, y1, x2, y2, -65536, -65536, FixedBound(Width()), FixedBound(Height()))) {
        AdvanceStippleCounter(FixedLength(int64_t(ux2) - ux1, int64_t(uy2) - uy1) - (l ? 1.0f : 0.0f));
        return;
    }
    const bool secondMoved = x2 != ux2 || y2 != uy2;
    if (secondMoved)
        l = true;
    if (InLineXRange(x1, y1, x2, y2, Width(), Height())) {
        LineXP(x1, y1, x2, y2, l);
        return;
    }
    if (x1 != ux1 || y1 != uy1)
        AdvanceStippleCounter(FixedLength(int64_t(x1) - ux1, int64_t(y1) - uy1));
    const bool drawn = LineXImpl(x1, y1, x2, y2, l, true, [this] { return GetStippleColor(); });
    if (drawn && secondMoved)
        AdvanceStippleCounter(FixedLength(int64_t(ux2) - x2, int64_t(uy2) - y2) - 1.0f);
    EMMS();
    Changed();
}

void TBitmap32::LineFSP(float x1, float y1, float x2, float y2, bool l)
{
    LineXSP(Fixed(x1), Fixed(y1), Fixed(x2), Fixed(y2), l);
}

// ---- Pen position --------------------------------------------------------------------------------

void TBitmap32::LineToS(int32_t x, int32_t y)
{
    LineS(RasterPos.X, RasterPos.Y, x, y, PenColor);
    MoveTo(x, y);
}

void TBitmap32::LineToTS(int32_t x, int32_t y)
{
    LineTS(RasterPos.X, RasterPos.Y, x, y, PenColor);
    MoveTo(x, y);
}

void TBitmap32::LineToAS(int32_t x, int32_t y)
{
    LineAS(RasterPos.X, RasterPos.Y, x, y, PenColor);
    MoveTo(x, y);
}

void TBitmap32::LineToXS(TFixed x, TFixed y)
{
    LineXS(RasterPosX.X, RasterPosX.Y, x, y, PenColor);
    MoveToX(x, y);
}

void TBitmap32::LineToXSP(TFixed x, TFixed y)
{
    LineXSP(RasterPosX.X, RasterPosX.Y, x, y);
    MoveToX(x, y);
}

// ---- Rectangles ----------------------------------------------------------------------------------

bool TBitmap32::RectVisible(int32_t x1, int32_t y1, int32_t x2, int32_t y2) const
{
    return m_bits && x2 > x1 && y2 > y1 && x1 < Width() && y1 < Height() && x2 > 0 && y2 > 0;
}

void TBitmap32::FillRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor32 c)
{
    for (int32_t y = y1; y < y2; ++y)
        FillLongword(PixelPtr(x1, y), x2 - x1, c);
    Changed();
}

void TBitmap32::FillRectS(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor32 c)
{
    if (!RectVisible(x1, y1, x2, y2))
        return;
    FillRect(std::max(x1, 0), std::max(y1, 0), std::min(x2, Width()), std::min(y2, Height()), c);
}

void TBitmap32::FillRectT(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor32 c)
{
    const uint32_t a = c >> 24;
    if (a == 255) {
        FillRect(x1, y1, x2, y2, c);
        return;
    }
    for (int32_t y = y1; y < y2; ++y) {
        TColor32 *p = PixelPtr(x1, y);
        for (int32_t x = x1; x < x2; ++x, ++p)
            CombineMem(c, *p, a);
    }
    EMMS();
    Changed();
}

void TBitmap32::FillRectTS(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor32 c)
{
    if (!RectVisible(x1, y1, x2, y2))
        return;
    FillRectT(std::max(x1, 0), std::max(y1, 0), std::min(x2, Width()), std::min(y2, Height()), c);
}

void TBitmap32::FrameRectS(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor32 c)
{
    if (!RectVisible(x1, y1, x2, y2))
        return;
    --x2;
    --y2;
    HorzLineS(x1, y1, x2, c);
    if (y2 > y1)
        HorzLineS(x1, y2, x2, c);
    if (y2 > y1 + 1) {
        VertLineS(x1, y1 + 1, y2 - 1, c);
        if (x2 > x1)
            VertLineS(x2, y1 + 1, y2 - 1, c);
    }
    Changed();
}

void TBitmap32::FrameRectTS(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor32 c)
{
    if (!RectVisible(x1, y1, x2, y2))
        return;
    --x2;
    --y2;
    HorzLineTS(x1, y1, x2, c);
    if (y2 > y1)
        HorzLineTS(x1, y2, x2, c);
    if (y2 > y1 + 1) {
        VertLineTS(x1, y1 + 1, y2 - 1, c);
        if (x2 > x1)
            VertLineTS(x2, y1 + 1, y2 - 1, c);
    }
    Changed();
}

void TBitmap32::FrameRectTSP(int32_t x1, int32_t y1, int32_t x2, int32_t y2)
{
    if (!RectVisible(x1, y1, x2, y2))
        return;
    --x2;
    --y2;
    if (x1 == x2 && y1 == y2)
        SetPixelTS(x1, y1, GetStippleColor());
    else if (x1 == x2)
        VertLineTSP(x1, y1, y2);
    else if (y1 == y2)
        HorzLineTSP(x1, y1, x2);
    else {
        HorzLineTSP(x1, y1, x2 - 1);
        VertLineTSP(x2, y1, y2 - 1);
        HorzLineTSP(x2, y2, x1 + 1);
        VertLineTSP(x1, y2, y1 + 1);
    }
    Changed();
}

void TBitmap32::RaiseRectTS(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t contrast)
{
    if (!RectVisible(x1, y1, x2, y2))
        return;
    if (contrast != 0) {
        const auto alpha = [](int64_t c, int64_t k) { return TColor32(std::clamp<int64_t>(c * k / 100, 0, 255)) << 24; };
        TColor32 light, dark;
        if (contrast > 0) {
            light = 0x00FFFFFF | alpha(contrast, 512);
            dark = alpha(contrast, 255);
        } else {
            const int64_t c = -int64_t(contrast);
            light = alpha(c, 255);
            dark = 0x00FFFFFF | alpha(c, 512);
        }
        --x2;
        --y2;
        HorzLineTS(x1, y1, x2, light);
        HorzLineTS(x1, y2, x2, dark);
        VertLineTS(x1, y1 + 1, y2 - 1, light);
        VertLineTS(x2, y1 + 1, y2 - 1, dark);
    }
    Changed();
}

} // namespace strandel
