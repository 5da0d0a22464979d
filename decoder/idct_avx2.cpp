// AVX2 twins of the inverse DCT, put/add, both at once and the intra dequantiser: two rows a
// step; same bits as the plain routines.
#include "decoder/dsp.h"

#if defined(__x86_64__) || defined(__i386__)
#include "decoder/idct_simd.h"

#include <immintrin.h>

namespace strandel::lumaset {
namespace {

// The row tables of rows 2k and 2k + 1 side by side, one per 128-bit lane.
struct PairTables {
    alignas(32) int16_t even04[4][16], even26[4][16], odd15[4][16], odd37[4][16];
    alignas(32) int32_t rounder[4][8];
};

const PairTables kPairs = [] {
    const IdctMaddTables t = MakeIdctMaddTables();
    PairTables p{};
    for (int k = 0; k < 4; ++k)
        for (int lane = 0; lane < 2; ++lane) {
            const int row = 2 * k + lane, table = IdctTableForRow(row);
            for (int i = 0; i < 8; ++i) {
                p.even04[k][8 * lane + i] = t.even04[table][i];
                p.even26[k][8 * lane + i] = t.even26[table][i];
                p.odd15[k][8 * lane + i] = t.odd15[table][i];
                p.odd37[k][8 * lane + i] = t.odd37[table][i];
            }
            for (int i = 0; i < 4; ++i)
                p.rounder[k][4 * lane + i] = kIdctRounder[row];
        }
    return p;
}();

[[gnu::target("avx2")]] inline __m256i Load(const void *p) { return _mm256_load_si256(static_cast<const __m256i *>(p)); }

// Row pass of rows 2K and 2K + 1, as the SSE2 twin does one row, lane by lane.
template <int K>
[[gnu::target("avx2")]] inline void RowPair(const int16_t *block, __m128i (&x)[8])
{
    const __m256i in = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(block + 16 * K));
    if (_mm256_testz_si256(in, in)) { // both rows zero
        x[2 * K] = IdctZeroRow(2 * K);
        x[2 * K + 1] = IdctZeroRow(2 * K + 1);
        return;
    }
    const __m256i p = _mm256_unpacklo_epi16(in, _mm256_srli_si256(in, 8));
    const __m256i a = _mm256_add_epi32(
        _mm256_add_epi32(_mm256_madd_epi16(_mm256_shuffle_epi32(p, 0x00), Load(kPairs.even04[K])),
                         _mm256_madd_epi16(_mm256_shuffle_epi32(p, 0xAA), Load(kPairs.even26[K]))),
        Load(kPairs.rounder[K]));
    const __m256i b = _mm256_add_epi32(_mm256_madd_epi16(_mm256_shuffle_epi32(p, 0x55), Load(kPairs.odd15[K])),
                                       _mm256_madd_epi16(_mm256_shuffle_epi32(p, 0xFF), Load(kPairs.odd37[K])));
    const __m256i sum = _mm256_srai_epi32(_mm256_add_epi32(a, b), 11);
    const __m256i diff = _mm256_shuffle_epi32(_mm256_srai_epi32(_mm256_sub_epi32(a, b), 11), 0x1B);
    const __m256i out = _mm256_packs_epi32(sum, diff);
    x[2 * K] = _mm256_castsi256_si128(out);
    x[2 * K + 1] = _mm256_extracti128_si256(out, 1);
}

// The column pass when only row 0 held coefficients: the other rows' row pass gives 1 in rows 1
// and 2 and 0 below, and with those the column pass comes down to a few sums of row 0's.
[[gnu::target("avx2")]] inline void IdctRow0Columns(__m128i x0, __m128i (&out)[8])
{
    const __m128i one = _mm_set1_epi16(1);
    const __m128i up = _mm_adds_epi16(x0, one);
    const __m128i mid = _mm_srai_epi16(x0, 6), low = _mm_srai_epi16(_mm_subs_epi16(x0, one), 6);
    out[0] = _mm_srai_epi16(_mm_adds_epi16(up, one), 6);
    out[1] = mid;
    out[2] = mid;
    out[3] = low;
    out[4] = low;
    out[5] = mid;
    out[6] = mid;
    out[7] = _mm_srai_epi16(_mm_subs_epi16(up, one), 6);
}

// The inverse DCT of the block as eight rows in registers.
[[gnu::target("avx2"), gnu::always_inline]] inline void IdctRows(const int16_t *block, __m128i (&out)[8])
{
    __m128i x[8];
    const __m256i *in = reinterpret_cast<const __m256i *>(block);
    const __m256i below = _mm256_or_si256(_mm256_or_si256(_mm256_loadu_si256(in + 1), _mm256_loadu_si256(in + 2)),
                                          _mm256_loadu_si256(in + 3));
    const __m256i row1 = _mm256_set_epi64x(-1, -1, 0, 0);
    if (_mm256_testz_si256(below, below) && _mm256_testz_si256(_mm256_loadu_si256(in), row1)) {
        RowPair<0>(block, x); // common in inter blocks: the low horizontal frequencies alone
        IdctRow0Columns(x[0], out);
        return;
    }
    RowPair<0>(block, x);
    RowPair<1>(block, x);
    RowPair<2>(block, x);
    RowPair<3>(block, x);
    IdctColumnRows(x, out);
}

[[gnu::target("avx2")]] void IdctAvx2(int16_t *block)
{
    __m128i out[8];
    IdctRows(block, out);
    __m128i *rows = reinterpret_cast<__m128i *>(block);
    for (int i = 0; i < 8; ++i)
        _mm_storeu_si128(rows + i, out[i]);
}

// Two rows of eight pixels as one register of sixteen 16-bit lanes, and back.
[[gnu::target("avx2")]] inline __m256i LoadTwoRows(const uint8_t *p, ptrdiff_t stride)
{
    const __m128i rows = _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(p)),
                                            _mm_loadl_epi64(reinterpret_cast<const __m128i *>(p + stride)));
    return _mm256_cvtepu8_epi16(rows);
}

[[gnu::target("avx2")]] inline void StoreTwoRows(uint8_t *p, ptrdiff_t stride, __m256i v)
{
    const __m128i bytes = _mm_packus_epi16(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    _mm_storel_epi64(reinterpret_cast<__m128i *>(p), bytes);
    _mm_storel_epi64(reinterpret_cast<__m128i *>(p + stride), _mm_srli_si128(bytes, 8));
}

[[gnu::target("avx2")]] void PutAvx2(uint8_t *dst, ptrdiff_t stride, const int16_t *block)
{
    for (int y = 0; y < 8; y += 2, dst += 2 * stride)
        StoreTwoRows(dst, stride, _mm256_loadu_si256(reinterpret_cast<const __m256i *>(block + 8 * y)));
}

[[gnu::target("avx2")]] void AddAvx2(uint8_t *dst, ptrdiff_t stride, const int16_t *block)
{
    for (int y = 0; y < 8; y += 2, dst += 2 * stride) {
        const __m256i sum = _mm256_adds_epi16(LoadTwoRows(dst, stride),
                                              _mm256_loadu_si256(reinterpret_cast<const __m256i *>(block + 8 * y)));
        StoreTwoRows(dst, stride, sum);
    }
}

// The inverse DCT put or added straight from registers: the block is not written back.
[[gnu::target("avx2")]] void IdctPutAvx2(uint8_t *dst, ptrdiff_t stride, int16_t *block)
{
    __m128i out[8];
    IdctRows(block, out);
    for (int y = 0; y < 8; y += 2, dst += 2 * stride)
        StoreTwoRows(dst, stride, _mm256_set_m128i(out[y + 1], out[y]));
}

[[gnu::target("avx2")]] void IdctAddAvx2(uint8_t *dst, ptrdiff_t stride, int16_t *block)
{
    __m128i out[8];
    IdctRows(block, out);
    for (int y = 0; y < 8; y += 2, dst += 2 * stride)
        StoreTwoRows(dst, stride, _mm256_adds_epi16(LoadTwoRows(dst, stride), _mm256_set_m128i(out[y + 1], out[y])));
}

// The SSE2 twin's multiply-add, two rows a step.
[[gnu::target("avx2")]] void DequantIntraAvx2(int16_t *block, int q)
{
    const int16_t dc = block[0];
    const int bias = q & 1 ? q : q - 1;
    const __m256i k = _mm256_set1_epi32(int32_t(uint32_t(bias) << 16 | uint32_t(2 * q)));
    const __m256i zero = _mm256_setzero_si256(), low = _mm256_set1_epi16(-2048), high = _mm256_set1_epi16(2047);
    __m256i *rows = reinterpret_cast<__m256i *>(block);
    for (int r = 0; r < 4; ++r) {
        const __m256i l = _mm256_loadu_si256(rows + r);
        const __m256i sign = _mm256_sub_epi16(_mm256_cmpgt_epi16(zero, l), _mm256_cmpgt_epi16(l, zero));
        const __m256i lo = _mm256_madd_epi16(_mm256_unpacklo_epi16(l, sign), k);
        const __m256i hi = _mm256_madd_epi16(_mm256_unpackhi_epi16(l, sign), k);
        _mm256_storeu_si256(rows + r, _mm256_min_epi16(_mm256_max_epi16(_mm256_packs_epi32(lo, hi), low), high));
    }
    block[0] = dc;
}

} // namespace

void SetIdctAvx2(Dsp &d)
{
    d.idct = IdctAvx2;
    d.put = PutAvx2;
    d.add = AddAvx2;
    d.dequant_intra = DequantIntraAvx2;
    d.idct_put = IdctPutAvx2;
    d.idct_add = IdctAddAvx2;
}

} // namespace strandel::lumaset

#else

namespace strandel::lumaset {
void SetIdctAvx2(Dsp &) {}
} // namespace strandel::lumaset

#endif
