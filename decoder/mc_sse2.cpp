// SSE2 twins of the interpolation routines; same bits as the plain ones.
#include "decoder/mc.h"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace strandel::lumaset {
namespace {

template <int W>
inline __m128i LoadRow(const uint8_t *p)
{
    if constexpr (W == 16)
        return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    else
        return _mm_loadl_epi64(reinterpret_cast<const __m128i *>(p));
}

template <int W>
inline void StoreRow(uint8_t *p, __m128i v)
{
    if constexpr (W == 16)
        _mm_storeu_si128(reinterpret_cast<__m128i *>(p), v);
    else
        _mm_storel_epi64(reinterpret_cast<__m128i *>(p), v);
}

// (a + b + 1 - round) >> 1 on bytes.
template <int Round>
inline __m128i Average2(__m128i a, __m128i b)
{
    const __m128i up = _mm_avg_epu8(a, b);
    if constexpr (Round == 0)
        return up;
    else
        return _mm_sub_epi8(up, _mm_and_si128(_mm_xor_si128(a, b), _mm_set1_epi8(1)));
}

// (a + b + c + d + 2 - round) >> 2 on bytes, through 16-bit lanes; eight-wide rows need only the
// low half.
template <int W, int Round>
inline __m128i Average4(__m128i a, __m128i b, __m128i c, __m128i d)
{
    const __m128i z = _mm_setzero_si128(), k = _mm_set1_epi16(2 - Round);
    auto half = [&](auto unpack) {
        __m128i s = _mm_add_epi16(unpack(a, z), unpack(b, z));
        s = _mm_add_epi16(s, _mm_add_epi16(unpack(c, z), unpack(d, z)));
        return _mm_srli_epi16(_mm_add_epi16(s, k), 2);
    };
    const __m128i lo = half([](__m128i x, __m128i y) { return _mm_unpacklo_epi8(x, y); });
    if constexpr (W == 8)
        return _mm_packus_epi16(lo, lo);
    const __m128i hi = half([](__m128i x, __m128i y) { return _mm_unpackhi_epi8(x, y); });
    return _mm_packus_epi16(lo, hi);
}

template <int W, int Phase, int Round>
inline __m128i Predict(const uint8_t *src, ptrdiff_t stride)
{
    if constexpr (Phase == 0)
        return LoadRow<W>(src);
    else if constexpr (Phase == 1)
        return Average2<Round>(LoadRow<W>(src), LoadRow<W>(src + 1));
    else if constexpr (Phase == 2)
        return Average2<Round>(LoadRow<W>(src), LoadRow<W>(src + stride));
    else
        return Average4<W, Round>(LoadRow<W>(src), LoadRow<W>(src + 1), LoadRow<W>(src + stride),
                                  LoadRow<W>(src + stride + 1));
}

// Two rows a step: heights are 16, 8 or 4.
template <int W, int Phase, int Round>
void Interpolate(uint8_t *dst, const uint8_t *src, ptrdiff_t stride, int height, bool average)
{
    if (average) {
        for (int y = 0; y < height; y += 2, dst += 2 * stride, src += 2 * stride) {
            StoreRow<W>(dst, _mm_avg_epu8(LoadRow<W>(dst), Predict<W, Phase, Round>(src, stride)));
            StoreRow<W>(dst + stride,
                        _mm_avg_epu8(LoadRow<W>(dst + stride), Predict<W, Phase, Round>(src + stride, stride)));
        }
        return;
    }
    for (int y = 0; y < height; y += 2, dst += 2 * stride, src += 2 * stride) {
        StoreRow<W>(dst, Predict<W, Phase, Round>(src, stride));
        StoreRow<W>(dst + stride, Predict<W, Phase, Round>(src + stride, stride));
    }
}

template <int W>
constexpr McRoutine kRoutines[8] = {Interpolate<W, 0, 0>, Interpolate<W, 1, 0>, Interpolate<W, 2, 0>,
                                    Interpolate<W, 3, 0>, Interpolate<W, 0, 0>, Interpolate<W, 1, 1>,
                                    Interpolate<W, 2, 1>, Interpolate<W, 3, 1>};

const McTable sse2 = {{kRoutines<8>[0], kRoutines<8>[1], kRoutines<8>[2], kRoutines<8>[3], kRoutines<8>[4],
                       kRoutines<8>[5], kRoutines<8>[6], kRoutines<8>[7], kRoutines<16>[0], kRoutines<16>[1],
                       kRoutines<16>[2], kRoutines<16>[3], kRoutines<16>[4], kRoutines<16>[5], kRoutines<16>[6],
                       kRoutines<16>[7]}};

} // namespace

const McTable *McSse2() { return &sse2; }

} // namespace strandel::lumaset

#else

namespace strandel::lumaset {
const McTable *McSse2() { return nullptr; }
} // namespace strandel::lumaset

#endif
