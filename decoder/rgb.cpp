// Plain RGB row conversions, the references for their SIMD twins.
#include "decoder/dsp.h"

#include <algorithm>

namespace strandel::lumaset {

namespace {
inline int MulHi(int a, int b) { return (a * b) >> 16; }
inline int Sat16(int v) { return std::clamp(v, -32768, 32767); }
inline uint8_t Clamp8(int v) { return uint8_t(std::clamp(v, 0, 255)); }

struct Rgb {
    uint8_t r, g, b;
};

inline Rgb Pixel(int luma, int cb, int cr)
{
    const int u = 8 * (cb - 128), v = 8 * (cr - 128);
    const int yc = MulHi(8 * std::max(luma - 16, 0), kConvLuma);
    return {Clamp8(Sat16(yc + MulHi(v, kConvVToR))), Clamp8(Sat16(Sat16(yc + MulHi(u, kConvUToG)) + MulHi(v, kConvVToG))),
            Clamp8(Sat16(yc + MulHi(u, kConvUToB)))};
}

template <int Format>
void Row(uint8_t *o, const uint8_t *yr, const uint8_t *ur, const uint8_t *vr, int width)
{
    for (int x = 0; x < width; ++x) {
        const auto [r, g, b] = Pixel(yr[x], ur[x >> 1], vr[x >> 1]);
        if constexpr (Format == 4) {
            o[0] = b, o[1] = g, o[2] = r, o[3] = 0;
            o += 4;
        } else if constexpr (Format == 5) {
            o[0] = b, o[1] = g, o[2] = r;
            o += 3;
        } else {
            const unsigned p = Format == 6 ? unsigned(r >> 3) << 10 | unsigned(g >> 3) << 5 | unsigned(b >> 3)
                                           : unsigned(r >> 3) << 11 | unsigned(g >> 2) << 5 | unsigned(b >> 3);
            o[0] = uint8_t(p), o[1] = uint8_t(p >> 8);
            o += 2;
        }
    }
}
} // namespace

void RgbRowPlain(uint8_t *out, const uint8_t *y, const uint8_t *u, const uint8_t *v, int width, int format)
{
    switch (format) {
    case 4: Row<4>(out, y, u, v, width); break;
    case 5: Row<5>(out, y, u, v, width); break;
    case 6: Row<6>(out, y, u, v, width); break;
    default: Row<7>(out, y, u, v, width); break;
    }
}

void ScaledRowPlain(uint32_t *out, const uint8_t *y, const uint8_t *u, const uint8_t *v, const int32_t *xs, int width)
{
    for (int i = 0; i < width; ++i) {
        const int x = xs[i];
        const auto [r, g, b] = Pixel(y[x], u[x >> 1], v[x >> 1]);
        out[i] = 0xFF000000u | uint32_t(r) << 16 | uint32_t(g) << 8 | b;
    }
}

ScaledRow ScaledRowBest()
{
    static const ScaledRow best = [] {
        if (const ScaledRow avx2 = ScaledRowAvx2Routine())
            return avx2;
        const ScaledRow sse2 = ScaledRowSse2Routine();
        return sse2 ? sse2 : ScaledRowPlain;
    }();
    return best;
}

} // namespace strandel::lumaset
