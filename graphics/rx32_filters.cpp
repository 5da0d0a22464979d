#include "graphics/rx32_filters.h"

namespace strandel {

void CheckFilterBitmaps(TBitmap32 *dst, const TBitmap32 *src)
{
    if (!src)
        throw ERx32Error("The source is nil");
    if (!dst)
        throw ERx32Error("Destination is nil");
    dst->SetSize(src->Width(), src->Height());
}

namespace {
template <typename Op> void Filter(TBitmap32 *dst, const TBitmap32 *src, Op op)
{
    CheckFilterBitmaps(dst, src);
    if (!src->Empty()) {
        const int64_t n = int64_t(src->Width()) * src->Height();
        const TColor32 *s = src->Bits();
        TColor32 *d = dst->Bits();
        for (int64_t i = 0; i < n; ++i)
            d[i] = op(s[i], d[i]);
    }
    dst->Changed();
}
} // namespace

void AlphaToGrayscale(TBitmap32 *dst, const TBitmap32 *src)
{
    Filter(dst, src, [](TColor32 s, TColor32) { return Gray32(uint8_t(s >> 24)); });
}

void IntensityToAlpha(TBitmap32 *dst, const TBitmap32 *src)
{
    Filter(dst, src, [](TColor32 s, TColor32 d) { return SetAlpha(d, Intensity(s)); });
}

void Invert(TBitmap32 *dst, const TBitmap32 *src)
{
    Filter(dst, src, [](TColor32 s, TColor32) { return ~s; });
}

void InvertRGB(TBitmap32 *dst, const TBitmap32 *src)
{
    Filter(dst, src, [](TColor32 s, TColor32) { return s ^ 0x00FFFFFFu; });
}

void ColorToGrayscale(TBitmap32 *dst, const TBitmap32 *src)
{
    Filter(dst, src, [](TColor32 s, TColor32) { return Gray32(uint8_t(Intensity(s))); });
}

void ApplyLUT(TBitmap32 *dst, const TBitmap32 *src, const uint8_t (&lut)[256])
{
    Filter(dst, src, [&](TColor32 s, TColor32) {
        return 0xFF000000u | TColor32(lut[(s >> 16) & 255]) << 16 | TColor32(lut[(s >> 8) & 255]) << 8 |
               lut[s & 255];
    });
}

} // namespace strandel
