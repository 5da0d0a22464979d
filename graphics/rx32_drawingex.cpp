#include "graphics/rx32_drawingex.h"

#include <limits>

namespace strandel {

namespace {

int32_t Sat(__int128 v)
{
    if (v > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    return int32_t(v);
}

// p + a * b / c rounded half away from zero, on wide integers so that coordinates far
// outside the rectangle cannot overflow; a zero divisor moves nothing.
int32_t MoveBy(int32_t p, int64_t a, int64_t b, int64_t c)
{
    if (c == 0)
        return p;
    __int128 n = __int128(a) * b;
    const bool negative = (n < 0) != (c < 0);
    if (n < 0)
        n = -n;
    const __int128 d = c < 0 ? -__int128(c) : __int128(c);
    __int128 q = n / d;
    const __int128 r = n % d;
    if (d - r <= r)
        ++q;
    return Sat(__int128(p) + (negative ? -q : q));
}

} // namespace

bool ClipLine(int32_t &x1, int32_t &y1, int32_t &x2, int32_t &y2, int32_t minX, int32_t minY, int32_t maxX,
              int32_t maxY)
{
    const auto xCode = [&](int32_t x) { return (x < minX ? 1 : 0) | (x > maxX ? 2 : 0); };
    const auto code = [&](int32_t x, int32_t y) { return xCode(x) | (y < minY ? 4 : 0) | (y > maxY ? 8 : 0); };

    int c1 = code(x1, y1), c2 = code(x2, y2);
    if (c1 & c2)
        return false;
    if ((c1 | c2) == 0)
        return true;

    if (c1 & 12) {
        const int32_t y = c1 < 8 ? minY : maxY;
        x1 = MoveBy(x1, int64_t(y) - y1, int64_t(x2) - x1, int64_t(y2) - y1);
        y1 = y;
        c1 = xCode(x1);
    }
    if (c2 & 12) {
        const int32_t y = c2 < 8 ? minY : maxY;
        x2 = MoveBy(x2, int64_t(y) - y2, int64_t(x2) - x1, int64_t(y2) - y1);
        y2 = y;
        c2 = xCode(x2);
    }
    if ((c1 & c2) == 0 && (c1 | c2) != 0) {
        if (c1) {
            const int32_t x = c1 == 1 ? minX : maxX;
            y1 = MoveBy(y1, int64_t(x) - x1, int64_t(y2) - y1, int64_t(x2) - x1);
            x1 = x;
            c1 = 0;
        }
        if (c2) {
            const int32_t x = c2 == 1 ? minX : maxX;
            y2 = MoveBy(y2, int64_t(x) - x2, int64_t(y2) - y1, int64_t(x2) - x1);
            x2 = x;
            c2 = 0;
        }
    }
    return (c1 | c2) == 0;
}

} // namespace strandel
