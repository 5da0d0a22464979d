// AVX2 twins of the interpolation routines where they pay: sixteen-wide rows whose prediction
// goes through 16-bit lanes (the 2 x 2 average), one row a register instead of two halves. The
// other routines stay the SSE2 ones. Same bits as the plain routines.
#include "decoder/mc.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

namespace strandel::lumaset {
namespace {

[[gnu::target("avx2")]] inline __m256i Widen(const uint8_t *p)
{
    return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p)));
}

// (a + b + c + d + 2 - round) >> 2 over one sixteen-pixel row.
template <int Round>
[[gnu::target("avx2")]] inline __m128i Average4Row(const uint8_t *src, ptrdiff_t stride)
{
    const __m256i s = _mm256_add_epi16(_mm256_add_epi16(Widen(src), Widen(src + 1)),
                                       _mm256_add_epi16(Widen(src + stride), Widen(src + stride + 1)));
    const __m256i v = _mm256_srli_epi16(_mm256_add_epi16(s, _mm256_set1_epi16(2 - Round)), 2);
    return _mm_packus_epi16(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
}

template <int Round>
[[gnu::target("avx2")]] void Interpolate16Both(uint8_t *dst, const uint8_t *src, ptrdiff_t stride, int height,
                                               bool average)
{
    for (int y = 0; y < height; ++y, dst += stride, src += stride) {
        __m128i p = Average4Row<Round>(src, stride);
        if (average)
            p = _mm_avg_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(dst)), p);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(dst), p);
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
