#pragma once
// Per-pixel kernels shared by the reference sets and the tails of the SIMD line routines.
#include "graphics/rx32_types.h"

namespace strandel::blend_detail {

// Weights and masters are 0..255; larger values are taken as 255 so that no routine
// reads past its tables or carries into a neighbouring channel.
inline uint32_t Wt(uint32_t w) { return w > 255 ? 255 : w; }

// Vector-set channel mix: ((x - y) * w + (y << 8) + 128) >> 8 in 16-bit wrap-around.
inline uint32_t VecMix(uint32_t x, uint32_t y, uint32_t w)
{
    return (((x - y) * w + (y << 8) + 128) & 0xFFFF) >> 8;
}
inline TColor32 Vec4(TColor32 x, TColor32 y, uint32_t w)
{
    return VecMix(x >> 24, y >> 24, w) << 24 | VecMix((x >> 16) & 0xFF, (y >> 16) & 0xFF, w) << 16 |
           VecMix((x >> 8) & 0xFF, (y >> 8) & 0xFF, w) << 8 | VecMix(x & 0xFF, y & 0xFF, w);
}
inline void VecBlendMem(TColor32 f, TColor32 &b)
{
    const uint32_t a = f >> 24;
    if (a == 0)
        return;
    b = a == 255 ? f : Vec4(f, b, a);
}
inline void VecBlendLineExPixel(TColor32 f, TColor32 &b, uint32_t m)
{
    const uint32_t a = f >> 24;
    if (a == 0)
        return;
    const uint32_t w = ((a + 1) * m) >> 8; // m already limited to 255
    if (w == 0)
        return;
    b = Vec4(f, b, w);
}

// The row of bilinear mixes through any CombineReg.
template <typename Combine>
inline void CombineRowWith(Combine combine, const TColor32 *a, const TColor32 *b, const int32_t *xa,
                           const int32_t *xb, const TColor32 *wx, TColor32 wy, bool rowsFirst, TColor32 *out,
                           int32_t count)
{
    for (int32_t i = 0; i < count; ++i) {
        const int32_t x = xa[i], x1 = xb[i];
        out[i] = rowsFirst ? combine(combine(a[x], a[x1], wx[i]), combine(b[x], b[x1], wx[i]), wy)
                           : combine(combine(a[x], b[x], wy), combine(a[x1], b[x1], wy), wx[i]);
    }
}

} // namespace strandel::blend_detail
