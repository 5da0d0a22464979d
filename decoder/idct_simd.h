#pragma once
// What the SSE2 and AVX2 twins of the inverse DCT share: the row tables regrouped for
// multiply-adds, and the column pass, which covers all eight columns in one 128-bit register.
#include "decoder/dsp.h"

#include <emmintrin.h>

namespace strandel::lumaset {

// Each row table regrouped so that one multiply-add gives four lanes of the even or odd part.
struct IdctMaddTables {
    alignas(16) int16_t even04[4][8], even26[4][8], odd15[4][8], odd37[4][8];
};

inline IdctMaddTables MakeIdctMaddTables()
{
    IdctMaddTables s{};
    const IdctTables &t = GetIdctTables();
    for (int i = 0; i < 4; ++i) {
        const int16_t *r = t.row[i];
        for (int k = 0; k < 4; ++k) {
            s.even04[i][k] = r[k];
            s.even04[i][4 + k] = r[8 + k];
            s.even26[i][k] = r[4 + k];
            s.even26[i][4 + k] = r[12 + k];
            s.odd15[i][k] = r[16 + k];
            s.odd15[i][4 + k] = r[24 + k];
            s.odd37[i][k] = r[20 + k];
            s.odd37[i][4 + k] = r[28 + k];
        }
    }
    return s;
}

// The row pass of an all-zero row: its rounder alone, the same in every column.
inline __m128i IdctZeroRow(int row) { return _mm_set1_epi16(int16_t(kIdctRounder[row] >> 11)); }

// Column pass over the eight row-pass outputs: the eight rows of the result.
inline void IdctColumnRows(const __m128i (&x)[8], __m128i (&out)[8])
{
    const __m128i tan1 = _mm_set1_epi16(13036), tan2 = _mm_set1_epi16(27146);
    const __m128i tan3m1 = _mm_set1_epi16(-21746), cos4 = _mm_set1_epi16(23170);
    const __m128i tm35 = _mm_subs_epi16(_mm_adds_epi16(_mm_mulhi_epi16(x[3], tan3m1), x[3]), x[5]);
    const __m128i tp35 = _mm_adds_epi16(_mm_adds_epi16(_mm_mulhi_epi16(x[5], tan3m1), x[3]), x[5]);
    const __m128i tp17 = _mm_adds_epi16(_mm_mulhi_epi16(x[7], tan1), x[1]);
    const __m128i tm17 = _mm_subs_epi16(_mm_mulhi_epi16(x[1], tan1), x[7]);
    const __m128i b0 = _mm_adds_epi16(tp17, tp35);
    const __m128i b3 = _mm_subs_epi16(tm17, tm35);
    const __m128i t1 = _mm_subs_epi16(tp17, tp35);
    const __m128i t2 = _mm_adds_epi16(tm17, tm35);
    const __m128i b1h = _mm_mulhi_epi16(_mm_adds_epi16(t1, t2), cos4);
    const __m128i b2h = _mm_mulhi_epi16(_mm_subs_epi16(t1, t2), cos4);
    const __m128i tm26 = _mm_subs_epi16(_mm_mulhi_epi16(x[2], tan2), x[6]);
    const __m128i tp26 = _mm_adds_epi16(_mm_mulhi_epi16(x[6], tan2), x[2]);
    const __m128i tp04 = _mm_adds_epi16(x[0], x[4]);
    const __m128i tm04 = _mm_subs_epi16(x[0], x[4]);
    const __m128i a0 = _mm_adds_epi16(tp04, tp26);
    const __m128i a3 = _mm_subs_epi16(tp04, tp26);
    const __m128i a1 = _mm_adds_epi16(tm04, tm26);
    const __m128i a2 = _mm_subs_epi16(tm04, tm26);
    const __m128i b1 = _mm_adds_epi16(b1h, b1h);
    const __m128i b2 = _mm_adds_epi16(b2h, b2h);
    out[0] = _mm_srai_epi16(_mm_adds_epi16(a0, b0), 6);
    out[1] = _mm_srai_epi16(_mm_adds_epi16(a1, b1), 6);
    out[2] = _mm_srai_epi16(_mm_adds_epi16(a2, b2), 6);
    out[3] = _mm_srai_epi16(_mm_adds_epi16(a3, b3), 6);
    out[4] = _mm_srai_epi16(_mm_subs_epi16(a3, b3), 6);
    out[5] = _mm_srai_epi16(_mm_subs_epi16(a2, b2), 6);
    out[6] = _mm_srai_epi16(_mm_subs_epi16(a1, b1), 6);
    out[7] = _mm_srai_epi16(_mm_subs_epi16(a0, b0), 6);
}

// Column pass written back into the block.
inline void IdctColumns(const __m128i (&x)[8], int16_t *block)
{
    __m128i out[8];
    IdctColumnRows(x, out);
    __m128i *rows = reinterpret_cast<__m128i *>(block);
    for (int i = 0; i < 8; ++i)
        _mm_storeu_si128(rows + i, out[i]);
}

} // namespace strandel::lumaset
