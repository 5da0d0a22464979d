// SSE2 twins of the inverse DCT and put/add; same bits as the plain routines.
#include "decoder/dsp.h"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace strandel::lumaset {
namespace {

// Each row table regrouped so that one multiply-add gives four lanes of the even or odd part.
struct Sse2Tables {
    alignas(16) int16_t even04[4][8], even26[4][8], odd15[4][8], odd37[4][8];
};

const Sse2Tables &GetSse2Tables()
{
    static const Sse2Tables tables = [] {
        Sse2Tables s{};
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
    }();
    return tables;
}

inline __m128i Load(const int16_t *p) { return _mm_load_si128(reinterpret_cast<const __m128i *>(p)); }

void IdctSse2(int16_t *block)
{
    const Sse2Tables &tab = GetSse2Tables();
    __m128i *rows = reinterpret_cast<__m128i *>(block);
    __m128i x[8];
    for (int r = 0; r < 8; ++r) {
        const int t = IdctTableForRow(r);
        const __m128i in = _mm_loadu_si128(rows + r);
        const __m128i p = _mm_unpacklo_epi16(in, _mm_srli_si128(in, 8)); // x0 x4 x1 x5 x2 x6 x3 x7
        const __m128i a = _mm_add_epi32(
            _mm_add_epi32(_mm_madd_epi16(_mm_shuffle_epi32(p, 0x00), Load(tab.even04[t])),
                          _mm_madd_epi16(_mm_shuffle_epi32(p, 0xAA), Load(tab.even26[t]))),
            _mm_set1_epi32(kIdctRounder[r]));
        const __m128i b = _mm_add_epi32(_mm_madd_epi16(_mm_shuffle_epi32(p, 0x55), Load(tab.odd15[t])),
                                        _mm_madd_epi16(_mm_shuffle_epi32(p, 0xFF), Load(tab.odd37[t])));
        const __m128i sum = _mm_srai_epi32(_mm_add_epi32(a, b), 11);
        const __m128i diff = _mm_shuffle_epi32(_mm_srai_epi32(_mm_sub_epi32(a, b), 11), 0x1B);
        x[r] = _mm_packs_epi32(sum, diff);
    }

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
    _mm_storeu_si128(rows + 0, _mm_srai_epi16(_mm_adds_epi16(a0, b0), 6));
    _mm_storeu_si128(rows + 1, _mm_srai_epi16(_mm_adds_epi16(a1, b1), 6));
    _mm_storeu_si128(rows + 2, _mm_srai_epi16(_mm_adds_epi16(a2, b2), 6));
    _mm_storeu_si128(rows + 3, _mm_srai_epi16(_mm_adds_epi16(a3, b3), 6));
    _mm_storeu_si128(rows + 4, _mm_srai_epi16(_mm_subs_epi16(a3, b3), 6));
    _mm_storeu_si128(rows + 5, _mm_srai_epi16(_mm_subs_epi16(a2, b2), 6));
    _mm_storeu_si128(rows + 6, _mm_srai_epi16(_mm_subs_epi16(a1, b1), 6));
    _mm_storeu_si128(rows + 7, _mm_srai_epi16(_mm_subs_epi16(a0, b0), 6));
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

const Dsp sse2 = {IdctSse2, PutSse2, AddSse2, RgbRowSse2Routine()};

} // namespace

const Dsp *DspSse2() { return &sse2; }

} // namespace strandel::lumaset

#else

namespace strandel::lumaset {
const Dsp *DspSse2() { return nullptr; }
} // namespace strandel::lumaset

#endif
