// AVX2 line routines of the vector blend set (eight pixels a step); the single-pixel
// routines stay SSE2. Built with -mavx2 and chosen only when the processor has AVX2.
#include "graphics/rx32_blend.h"
#include "graphics/rx32_blend_ref.h"

#if defined(__AVX2__)
#include <immintrin.h>

namespace strandel::blend_detail {
namespace {

inline __m256i Mix16(__m256i x, __m256i y, __m256i w)
{
    __m256i d = _mm256_mullo_epi16(_mm256_sub_epi16(x, y), w);
    d = _mm256_add_epi16(d, _mm256_slli_epi16(y, 8));
    d = _mm256_add_epi16(d, _mm256_set1_epi16(128));
    return _mm256_srli_epi16(d, 8);
}

// Eight pixels, each with its own weight (dword lanes of w). The unpacks and the pack
// work within 128-bit halves, so the pixel order comes back unchanged.
inline __m256i Mix8(__m256i x, __m256i y, __m256i w)
{
    const __m256i zero = _mm256_setzero_si256();
    const __m256i w16 = _mm256_or_si256(w, _mm256_slli_epi32(w, 16));
    const __m256i wlo = _mm256_unpacklo_epi32(w16, w16);
    const __m256i whi = _mm256_unpackhi_epi32(w16, w16);
    const __m256i lo = Mix16(_mm256_unpacklo_epi8(x, zero), _mm256_unpacklo_epi8(y, zero), wlo);
    const __m256i hi = Mix16(_mm256_unpackhi_epi8(x, zero), _mm256_unpackhi_epi8(y, zero), whi);
    return _mm256_packus_epi16(lo, hi);
}

void BlendLine(const TColor32 *src, TColor32 *dst, int32_t count)
{
    const __m256i alphaMask = _mm256_set1_epi32(int(0xFF000000));
    int32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(src + i));
        const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(dst + i));
        const __m256i mixed = Mix8(s, d, _mm256_srli_epi32(s, 24));
        const __m256i opaque = _mm256_cmpeq_epi32(_mm256_and_si256(s, alphaMask), alphaMask);
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(dst + i), _mm256_blendv_epi8(mixed, s, opaque));
    }
    for (; i < count; ++i)
        VecBlendMem(src[i], dst[i]);
}

void BlendLineEx(const TColor32 *src, TColor32 *dst, int32_t count, TColor32 m)
{
    const uint32_t mm = Wt(m);
    const __m256i master = _mm256_set1_epi32(int(mm));
    const __m256i one = _mm256_set1_epi32(1);
    int32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(src + i));
        const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(dst + i));
        const __m256i a1 = _mm256_add_epi32(_mm256_srli_epi32(s, 24), one);
        const __m256i w = _mm256_srli_epi32(_mm256_mullo_epi16(a1, master), 8);
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(dst + i), Mix8(s, d, w));
    }
    for (; i < count; ++i)
        VecBlendLineExPixel(src[i], dst[i], mm);
}

} // namespace

const BlendSet *Avx2Set()
{
    static const BlendSet *set = []() -> const BlendSet * {
        const BlendSet *sse2 = Sse2Set();
        if (!sse2 || !__builtin_cpu_supports("avx2"))
            return nullptr;
        static BlendSet s = *sse2;
        s.BlendLine = BlendLine;
        s.BlendLineEx = BlendLineEx;
        return &s;
    }();
    return set;
}

} // namespace strandel::blend_detail

#else

namespace strandel::blend_detail {
const BlendSet *Avx2Set() { return nullptr; }
} // namespace strandel::blend_detail

#endif
