// AVX2 twins of the interpolation routines where they pay: the 2 x 2 average, which goes through
// 16-bit lanes (sixteen-wide rows one register each instead of two halves) and reads each source
// row once. The other phases are byte averages and copies, as cheap in SSE2: they stay the SSE2
// ones. Same bits as the plain routines.
#include "decoder/mc.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

namespace strandel::lumaset {
namespace {

[[gnu::target("avx2")]] inline __m256i Widen(const uint8_t *p)
{
    return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p)));
}

// The 2 x 2 average (a + b + c + d + 2 - round) >> 2 row by row, as the sum of each source row's
// horizontal pairs (a + b) kept for the row below: one row read per output row, not two.
template <int Round>
[[gnu::target("avx2")]] void Interpolate16Both(uint8_t *dst, const uint8_t *src, ptrdiff_t stride, int height,
                                               bool average)
{
    const __m256i k = _mm256_set1_epi16(2 - Round);
    __m256i above = _mm256_add_epi16(Widen(src), Widen(src + 1));
    for (int y = 0; y < height; ++y, dst += stride) {
        src += stride;
        const __m256i below = _mm256_add_epi16(Widen(src), Widen(src + 1));
        const __m256i v = _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(above, below), k), 2);
        __m128i p = _mm_packus_epi16(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
        if (average)
            p = _mm_avg_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(dst)), p);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(dst), p);
        above = below;
    }
}

// Eight pixels of a row widened to 16 bits, and the sum of its horizontal pairs.
[[gnu::target("avx2")]] inline __m128i PairSum8(const uint8_t *p)
{
    return _mm_add_epi16(_mm_cvtepu8_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(p))),
                         _mm_cvtepu8_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(p + 1))));
}

template <int Round>
[[gnu::target("avx2")]] void Interpolate8Both(uint8_t *dst, const uint8_t *src, ptrdiff_t stride, int height,
                                              bool average)
{
    const __m128i k = _mm_set1_epi16(2 - Round);
    __m128i above = PairSum8(src);
    for (int y = 0; y < height; ++y, dst += stride) {
        src += stride;
        const __m128i below = PairSum8(src);
        const __m128i v = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(above, below), k), 2);
        __m128i p = _mm_packus_epi16(v, v);
        if (average)
            p = _mm_avg_epu8(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(dst)), p);
        _mm_storel_epi64(reinterpret_cast<__m128i *>(dst), p);
        above = below;
    }
}

} // namespace

const McTable *McAvx2()
{
    static const McTable table = [] {
        const McTable *sse2 = McSse2();
        if (!sse2 || !__builtin_cpu_supports("avx2"))
            return McTable{};
        McTable t = *sse2;
        t.routine[3] = Interpolate8Both<0>;
        t.routine[4 + 3] = Interpolate8Both<1>;
        t.routine[8 + 3] = Interpolate16Both<0>;
        t.routine[8 + 4 + 3] = Interpolate16Both<1>;
        return t;
    }();
    return table.routine[0] ? &table : nullptr;
}

} // namespace strandel::lumaset

#else

namespace strandel::lumaset {
const McTable *McAvx2() { return nullptr; }
} // namespace strandel::lumaset

#endif
