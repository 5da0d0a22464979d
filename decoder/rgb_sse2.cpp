// SSE2 twins of the RGB row conversions; same bits as the plain ones.
#include "decoder/dsp.h"
#include "decoder/scaled.h"

#if defined(__SSE2__)
#include <cstring>
#include <emmintrin.h>

namespace strandel::lumaset {
namespace {

struct Rgb16 {
    __m128i r, g, b; // clamped 0..255 in 16-bit lanes
};

// Eight pixels from eight luma bytes and four chroma bytes each.
inline Rgb16 Convert8(const uint8_t *y, const uint8_t *u, const uint8_t *v)
{
    const __m128i zero = _mm_setzero_si128();
    __m128i yv = _mm_subs_epu8(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(y)), _mm_set1_epi8(16));
    yv = _mm_slli_epi16(_mm_unpacklo_epi8(yv, zero), 3);
    const __m128i yc = _mm_mulhi_epi16(yv, _mm_set1_epi16(kConvLuma));
    int32_t u4, v4;
    std::memcpy(&u4, u, 4);
    std::memcpy(&v4, v, 4);
    __m128i uv = _mm_cvtsi32_si128(u4), vv = _mm_cvtsi32_si128(v4);
    const __m128i k128 = _mm_set1_epi16(128);
    uv = _mm_slli_epi16(_mm_sub_epi16(_mm_unpacklo_epi8(_mm_unpacklo_epi8(uv, uv), zero), k128), 3);
    vv = _mm_slli_epi16(_mm_sub_epi16(_mm_unpacklo_epi8(_mm_unpacklo_epi8(vv, vv), zero), k128), 3);
    const __m128i r = _mm_adds_epi16(yc, _mm_mulhi_epi16(vv, _mm_set1_epi16(kConvVToR)));
    const __m128i g = _mm_adds_epi16(_mm_adds_epi16(yc, _mm_mulhi_epi16(uv, _mm_set1_epi16(kConvUToG))),
                                     _mm_mulhi_epi16(vv, _mm_set1_epi16(kConvVToG)));
    const __m128i b = _mm_adds_epi16(yc, _mm_mulhi_epi16(uv, _mm_set1_epi16(kConvUToB)));
    // Clamp to 0..255 through a byte pack and back.
    auto clamp = [zero](__m128i x) { return _mm_unpacklo_epi8(_mm_packus_epi16(x, x), zero); };
    return {clamp(r), clamp(g), clamp(b)};
}

inline void Store(uint8_t *p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i *>(p), v); }

template <int Format>
void Row(uint8_t *out, const uint8_t *y, const uint8_t *u, const uint8_t *v, int width)
{
    for (int x = 0; x < width; x += 8) {
        const Rgb16 c = Convert8(y + x, u + x / 2, v + x / 2);
        if constexpr (Format == 6 || Format == 7) {
            const __m128i r5 = _mm_slli_epi16(_mm_srli_epi16(c.r, 3), Format == 6 ? 10 : 11);
            const __m128i g = Format == 6 ? _mm_slli_epi16(_mm_srli_epi16(c.g, 3), 5)
                                          : _mm_slli_epi16(_mm_srli_epi16(c.g, 2), 5);
            Store(out + 2 * x, _mm_or_si128(_mm_or_si128(r5, g), _mm_srli_epi16(c.b, 3)));
        } else {
            const __m128i bg = _mm_or_si128(c.b, _mm_slli_epi16(c.g, 8)); // bytes B G per pixel
            const __m128i px0 = _mm_unpacklo_epi16(bg, c.r);               // B G R 0, pixels 0..3
            const __m128i px1 = _mm_unpackhi_epi16(bg, c.r);               // pixels 4..7
            if constexpr (Format == 4) {
                Store(out + 4 * x, px0);
                Store(out + 4 * x + 16, px1);
            } else {
                alignas(16) uint8_t t[32];
                _mm_store_si128(reinterpret_cast<__m128i *>(t), px0);
                _mm_store_si128(reinterpret_cast<__m128i *>(t + 16), px1);
                uint8_t *o = out + 3 * x;
                for (int i = 0; i < 7; ++i)
                    std::memcpy(o + 3 * i, t + 4 * i, 4); // the fourth byte is overwritten next
                std::memcpy(o + 21, t + 28, 3);          // never a byte past the row
            }
        }
    }
}

void RgbRowSse2(uint8_t *out, const uint8_t *y, const uint8_t *u, const uint8_t *v, int width, int format)
{
    switch (format) {
    case 4: Row<4>(out, y, u, v, width); break;
    case 5: Row<5>(out, y, u, v, width); break;
    case 6: Row<6>(out, y, u, v, width); break;
    default: Row<7>(out, y, u, v, width); break;
    }
}

} // namespace

RgbRow RgbRowSse2Routine() { return RgbRowSse2; }
ScaledRow ScaledRowSse2Routine() { return ScaledThrough<RgbRowSse2, 8>; }

} // namespace strandel::lumaset

#else
namespace strandel::lumaset {
RgbRow RgbRowSse2Routine() { return nullptr; }
ScaledRow ScaledRowSse2Routine() { return nullptr; }
} // namespace strandel::lumaset
#endif
