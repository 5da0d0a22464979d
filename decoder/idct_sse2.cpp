// SSE2 twins of the inverse DCT and put/add; same bits as the plain routines.
#include "decoder/dsp.h"

#if defined(__SSE2__)
#include "decoder/idct_simd.h"

#include <emmintrin.h>

namespace strandel::lumaset {
namespace {

const IdctMaddTables kTables = MakeIdctMaddTables();

inline __m128i Load(const int16_t *p) { return _mm_load_si128(reinterpret_cast<const __m128i *>(p)); }

// Row pass of row R: sums and differences of the even and odd dot products, >> 11, saturated.
template <int R>
inline __m128i Row(const __m128i *rows)
{
    constexpr int t = IdctTableForRow(R);
    const __m128i in = _mm_loadu_si128(rows + R);
    // Rows of zeros are common (few coefficients survive quantisation).
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(in, _mm_setzero_si128())) == 0xFFFF)
        return IdctZeroRow(R);
    const __m128i p = _mm_unpacklo_epi16(in, _mm_srli_si128(in, 8)); // x0 x4 x1 x5 x2 x6 x3 x7
    const __m128i a = _mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_shuffle_epi32(p, 0x00), Load(kTables.even04[t])),
                                                  _mm_madd_epi16(_mm_shuffle_epi32(p, 0xAA), Load(kTables.even26[t]))),
                                    _mm_set1_epi32(kIdctRounder[R]));
    const __m128i b = _mm_add_epi32(_mm_madd_epi16(_mm_shuffle_epi32(p, 0x55), Load(kTables.odd15[t])),
                                    _mm_madd_epi16(_mm_shuffle_epi32(p, 0xFF), Load(kTables.odd37[t])));
    const __m128i sum = _mm_srai_epi32(_mm_add_epi32(a, b), 11);
    const __m128i diff = _mm_shuffle_epi32(_mm_srai_epi32(_mm_sub_epi32(a, b), 11), 0x1B);
    return _mm_packs_epi32(sum, diff);
}

void IdctSse2(int16_t *block)
{
    const __m128i *rows = reinterpret_cast<const __m128i *>(block);
    const __m128i x[8] = {Row<0>(rows), Row<1>(rows), Row<2>(rows), Row<3>(rows),
                          Row<4>(rows), Row<5>(rows), Row<6>(rows), Row<7>(rows)};
    IdctColumns(x, block);
}

void PutSse2(uint8_t *dst, ptrdiff_t stride, const int16_t *block)
{
    const __m128i *in = reinterpret_cast<const __m128i *>(block);
    for (int y = 0; y < 8; ++y, dst += stride) {
        const __m128i v = _mm_loadu_si128(in + y);
        _mm_storel_epi64(reinterpret_cast<__m128i *>(dst), _mm_packus_epi16(v, v));
    }
}

void AddSse2(uint8_t *dst, ptrdiff_t stride, const int16_t *block)
{
    const __m128i *in = reinterpret_cast<const __m128i *>(block);
    const __m128i zero = _mm_setzero_si128();
    for (int y = 0; y < 8; ++y, dst += stride) {
        const __m128i pix = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(dst)), zero);
        const __m128i sum = _mm_adds_epi16(pix, _mm_loadu_si128(in + y));
        _mm_storel_epi64(reinterpret_cast<__m128i *>(dst), _mm_packus_epi16(sum, sum));
    }
}

// 2 q l + sign(l) bias as one multiply-add of the pairs (l, sign l) and (2 q, bias).
void DequantIntraSse2(int16_t *block, int q)
{
    const int16_t dc = block[0];
    const int bias = q & 1 ? q : q - 1;
    const __m128i k = _mm_set1_epi32(int32_t(uint32_t(bias) << 16 | uint32_t(2 * q)));
    const __m128i zero = _mm_setzero_si128(), low = _mm_set1_epi16(-2048), high = _mm_set1_epi16(2047);
    __m128i *rows = reinterpret_cast<__m128i *>(block);
    for (int r = 0; r < 8; ++r) {
        const __m128i l = _mm_loadu_si128(rows + r);
        const __m128i sign = _mm_sub_epi16(_mm_cmpgt_epi16(zero, l), _mm_cmpgt_epi16(l, zero));
        const __m128i lo = _mm_madd_epi16(_mm_unpacklo_epi16(l, sign), k);
        const __m128i hi = _mm_madd_epi16(_mm_unpackhi_epi16(l, sign), k);
        _mm_storeu_si128(rows + r, _mm_min_epi16(_mm_max_epi16(_mm_packs_epi32(lo, hi), low), high));
    }
    block[0] = dc;
}

void IdctPutSse2(uint8_t *dst, ptrdiff_t stride, int16_t *block)
{
    IdctSse2(block);
    PutSse2(dst, stride, block);
}

void IdctAddSse2(uint8_t *dst, ptrdiff_t stride, int16_t *block)
{
    IdctSse2(block);
    AddSse2(dst, stride, block);
}

const Dsp sse2 = {IdctSse2, PutSse2, AddSse2, DequantIntraSse2, RgbRowSse2Routine(), IdctPutSse2, IdctAddSse2,
                  ScaledRowSse2Routine()};

} // namespace

const Dsp *DspSse2() { return &sse2; }

} // namespace strandel::lumaset

#else

namespace strandel::lumaset {
const Dsp *DspSse2() { return nullptr; }
} // namespace strandel::lumaset

#endif
