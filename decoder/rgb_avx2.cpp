// AVX2 twins of the RGB row conversions: sixteen pixels a step; same bits as the plain ones.
#include "decoder/dsp.h"
#include "decoder/scaled.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cstring>
#include <immintrin.h>

namespace strandel::lumaset {
namespace {

struct Rgb16 {
    __m256i r, g, b; // clamped 0..255 in 16-bit lanes, pixels in order
};

[[gnu::target("avx2")]] inline __m256i Clamp255(__m256i x)
{
    return _mm256_min_epi16(_mm256_max_epi16(x, _mm256_setzero_si256()), _mm256_set1_epi16(255));
}

// Sixteen pixels from sixteen luma bytes and eight chroma bytes each.
[[gnu::target("avx2")]] inline Rgb16 Convert16(const uint8_t *y, const uint8_t *u, const uint8_t *v)
{
    const __m128i y8 = _mm_subs_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(y)), _mm_set1_epi8(16));
    const __m256i yv = _mm256_slli_epi16(_mm256_cvtepu8_epi16(y8), 3);
    const __m256i yc = _mm256_mulhi_epi16(yv, _mm256_set1_epi16(kConvLuma));
    const __m128i u8 = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(u));
    const __m128i v8 = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(v));
    const __m256i k128 = _mm256_set1_epi16(128);
    const __m256i uv = _mm256_slli_epi16(_mm256_sub_epi16(_mm256_cvtepu8_epi16(_mm_unpacklo_epi8(u8, u8)), k128), 3);
    const __m256i vv = _mm256_slli_epi16(_mm256_sub_epi16(_mm256_cvtepu8_epi16(_mm_unpacklo_epi8(v8, v8)), k128), 3);
    const __m256i r = _mm256_adds_epi16(yc, _mm256_mulhi_epi16(vv, _mm256_set1_epi16(kConvVToR)));
    const __m256i g = _mm256_adds_epi16(_mm256_adds_epi16(yc, _mm256_mulhi_epi16(uv, _mm256_set1_epi16(kConvUToG))),
                                        _mm256_mulhi_epi16(vv, _mm256_set1_epi16(kConvVToG)));
    const __m256i b = _mm256_adds_epi16(yc, _mm256_mulhi_epi16(uv, _mm256_set1_epi16(kConvUToB)));
    return {Clamp255(r), Clamp255(g), Clamp255(b)};
}

template <int Format>
[[gnu::target("avx2")]] void Row(uint8_t *out, const uint8_t *y, const uint8_t *u, const uint8_t *v, int width)
{
    for (int x = 0; x < width; x += 16) {
        const Rgb16 c = Convert16(y + x, u + x / 2, v + x / 2);
        if constexpr (Format == 6 || Format == 7) {
            const __m256i r5 = _mm256_slli_epi16(_mm256_srli_epi16(c.r, 3), Format == 6 ? 10 : 11);
            const __m256i g = Format == 6 ? _mm256_slli_epi16(_mm256_srli_epi16(c.g, 3), 5)
                                          : _mm256_slli_epi16(_mm256_srli_epi16(c.g, 2), 5);
            _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + 2 * x),
                                _mm256_or_si256(_mm256_or_si256(r5, g), _mm256_srli_epi16(c.b, 3)));
        } else {
            const __m256i bg = _mm256_or_si256(c.b, _mm256_slli_epi16(c.g, 8)); // bytes B G per pixel
            const __m256i lo = _mm256_unpacklo_epi16(bg, c.r); // B G R 0: pixels 0..3 and 8..11
            const __m256i hi = _mm256_unpackhi_epi16(bg, c.r); // pixels 4..7 and 12..15
            const __m256i first = _mm256_permute2x128_si256(lo, hi, 0x20);  // pixels 0..7
            const __m256i second = _mm256_permute2x128_si256(lo, hi, 0x31); // pixels 8..15
            if constexpr (Format == 4) {
                _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + 4 * x), first);
                _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + 4 * x + 32), second);
            } else {
                // Drop every fourth byte: each 16-byte lane packs to 12 bytes.
                const __m256i pack = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0, 1, 2,
                                                      4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
                const __m256i a = _mm256_shuffle_epi8(first, pack), b = _mm256_shuffle_epi8(second, pack);
                uint8_t *o = out + 3 * x;
                _mm_storeu_si128(reinterpret_cast<__m128i *>(o), _mm256_castsi256_si128(a));
                _mm_storeu_si128(reinterpret_cast<__m128i *>(o + 12), _mm256_extracti128_si256(a, 1));
                _mm_storeu_si128(reinterpret_cast<__m128i *>(o + 24), _mm256_castsi256_si128(b));
                // The last 12 bytes may end the row: never a byte past it.
                alignas(16) uint8_t t[16];
                _mm_store_si128(reinterpret_cast<__m128i *>(t), _mm256_extracti128_si256(b, 1));
                std::memcpy(o + 36, t, 12);
            }
        }
    }
}

[[gnu::target("avx2")]] void RgbRowAvx2(uint8_t *out, const uint8_t *y, const uint8_t *u, const uint8_t *v,
                                        int width, int format)
{
    switch (format) {
    case 4: Row<4>(out, y, u, v, width); break;
    case 5: Row<5>(out, y, u, v, width); break;
    case 6: Row<6>(out, y, u, v, width); break;
    default: Row<7>(out, y, u, v, width); break;
    }
}

} // namespace

RgbRow RgbRowAvx2Routine() { return __builtin_cpu_supports("avx2") ? RgbRowAvx2 : nullptr; }
ScaledRow ScaledRowAvx2Routine()
{
    return __builtin_cpu_supports("avx2") ? ScaledThrough<RgbRowAvx2, 16> : nullptr;
}

} // namespace strandel::lumaset

#else
namespace strandel::lumaset {
RgbRow RgbRowAvx2Routine() { return nullptr; }
ScaledRow ScaledRowAvx2Routine() { return nullptr; }
} // namespace strandel::lumaset
#endif
