// AVX2 line routines of the vector blend set (eight pixels a step); the single-pixel
// routines stay SSE2. Built with -mavx2 and chosen only when the processor has AVX2.
#include "graphics/rx32_blend.h"
#include "graphics/rx32_blend_ref.h"

#if defined(__AVX2__)
#include <immintrin.h>

namespace strandel::blend_detail {
namespace {

// Per-pixel alpha as the weight words of the low (pixels 0, 1) and high (2, 3) unpack of
// each 128-bit half.
inline __m256i AlphaWordsLo(__m256i s)
{
    const __m256i pick = _mm256_setr_epi8(3, -1, 3, -1, 3, -1, 3, -1, 7, -1, 7, -1, 7, -1, 7, -1, //
                                          3, -1, 3, -1, 3, -1, 3, -1, 7, -1, 7, -1, 7, -1, 7, -1);
    return _mm256_shuffle_epi8(s, pick);
}
inline __m256i AlphaWordsHi(__m256i s)
{
    const __m256i pick = _mm256_setr_epi8(11, -1, 11, -1, 11, -1, 11, -1, 15, -1, 15, -1, 15, -1, 15, -1, //
                                          11, -1, 11, -1, 11, -1, 11, -1, 15, -1, 15, -1, 15, -1, 15, -1);
    return _mm256_shuffle_epi8(s, pick);
}

// The mix with (y << 8) + 128 formed by one unpack of y under the bias byte.
inline __m256i MixBiased(__m256i x, __m256i y, __m256i yBiased, __m256i w)
{
    return _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(_mm256_sub_epi16(x, y), w), yBiased), 8);
}

void BlendLine(const TColor32 *src, TColor32 *dst, int32_t count)
{
    const __m256i alphaMask = _mm256_set1_epi32(int(0xFF000000));
    const __m256i zero = _mm256_setzero_si256();
    const __m256i bias = _mm256_set1_epi8(char(0x80));
    int32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(src + i));
        const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(dst + i));
        const __m256i lo = MixBiased(_mm256_unpacklo_epi8(s, zero), _mm256_unpacklo_epi8(d, zero),
                                     _mm256_unpacklo_epi8(bias, d), AlphaWordsLo(s));
        const __m256i hi = MixBiased(_mm256_unpackhi_epi8(s, zero), _mm256_unpackhi_epi8(d, zero),
                                     _mm256_unpackhi_epi8(bias, d), AlphaWordsHi(s));
        const __m256i mixed = _mm256_packus_epi16(lo, hi);
        const __m256i opaque = _mm256_cmpeq_epi32(_mm256_and_si256(s, alphaMask), alphaMask);
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(dst + i), _mm256_blendv_epi8(mixed, s, opaque));
    }
    for (; i < count; ++i)
        VecBlendMem(src[i], dst[i]);
}

// Weights held in the low byte of each dword lane, as the words of the two unpacks.
inline __m256i LaneWordsLo(__m256i w)
{
    const __m256i pick = _mm256_setr_epi8(0, -1, 0, -1, 0, -1, 0, -1, 4, -1, 4, -1, 4, -1, 4, -1, //
                                          0, -1, 0, -1, 0, -1, 0, -1, 4, -1, 4, -1, 4, -1, 4, -1);
    return _mm256_shuffle_epi8(w, pick);
}
inline __m256i LaneWordsHi(__m256i w)
{
    const __m256i pick = _mm256_setr_epi8(8, -1, 8, -1, 8, -1, 8, -1, 12, -1, 12, -1, 12, -1, 12, -1, //
                                          8, -1, 8, -1, 8, -1, 8, -1, 12, -1, 12, -1, 12, -1, 12, -1);
    return _mm256_shuffle_epi8(w, pick);
}

void BlendLineEx(const TColor32 *src, TColor32 *dst, int32_t count, TColor32 m)
{
    const uint32_t mm = Wt(m);
    const __m256i master = _mm256_set1_epi32(int(mm));
    const __m256i one = _mm256_set1_epi32(1);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i bias = _mm256_set1_epi8(char(0x80));
    int32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(src + i));
        const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(dst + i));
        // (alpha + 1) * master <= 65280 fits the low word of each lane; w = that >> 8.
        const __m256i a1 = _mm256_add_epi32(_mm256_srli_epi32(s, 24), one);
        const __m256i w = _mm256_srli_epi32(_mm256_mullo_epi16(a1, master), 8);
        const __m256i lo = MixBiased(_mm256_unpacklo_epi8(s, zero), _mm256_unpacklo_epi8(d, zero),
                                     _mm256_unpacklo_epi8(bias, d), LaneWordsLo(w));
        const __m256i hi = MixBiased(_mm256_unpackhi_epi8(s, zero), _mm256_unpackhi_epi8(d, zero),
                                     _mm256_unpackhi_epi8(bias, d), LaneWordsHi(w));
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(dst + i), _mm256_packus_epi16(lo, hi));
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
