// The vector blend set in SSE2: the same bits as the plain C reference of that set.
#include "graphics/rx32_blend.h"
#include "graphics/rx32_blend_ref.h"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace strandel::blend_detail {
namespace {

// One pixel widened to four 16-bit words in the low half.
inline __m128i Widen(TColor32 c) { return _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(c)), _mm_setzero_si128()); }

// ((x - y) * w + (y << 8) + 128) >> 8 on 16-bit words with wrap-around.
inline __m128i Mix16(__m128i x, __m128i y, __m128i w)
{
    __m128i d = _mm_mullo_epi16(_mm_sub_epi16(x, y), w);
    d = _mm_add_epi16(d, _mm_slli_epi16(y, 8));
    d = _mm_add_epi16(d, _mm_set1_epi16(128));
    return _mm_srli_epi16(d, 8);
}
inline TColor32 Mix1(TColor32 x, TColor32 y, uint32_t w)
{
    const __m128i r = Mix16(Widen(x), Widen(y), _mm_set1_epi16(short(w)));
    return TColor32(_mm_cvtsi128_si32(_mm_packus_epi16(r, r)));
}

// Four pixels, each with its own weight (dword lanes of w, 0..255).
inline __m128i Mix4(__m128i x, __m128i y, __m128i w)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i w16 = _mm_or_si128(w, _mm_slli_epi32(w, 16));
    const __m128i wlo = _mm_unpacklo_epi32(w16, w16);
    const __m128i whi = _mm_unpackhi_epi32(w16, w16);
    const __m128i lo = Mix16(_mm_unpacklo_epi8(x, zero), _mm_unpacklo_epi8(y, zero), wlo);
    const __m128i hi = Mix16(_mm_unpackhi_epi8(x, zero), _mm_unpackhi_epi8(y, zero), whi);
    return _mm_packus_epi16(lo, hi);
}

TColor32 CombineReg(TColor32 x, TColor32 y, TColor32 w) { return Mix1(x, y, Wt(w)); }
void CombineMem(TColor32 f, TColor32 &b, TColor32 w)
{
    if ((w & 0xFFFF) == 0)
        return;
    b = w == 255 ? f : Mix1(f, b, Wt(w));
}
TColor32 BlendReg(TColor32 f, TColor32 b) { return Mix1(f, b, f >> 24); }
void BlendMem(TColor32 f, TColor32 &b)
{
    const uint32_t a = f >> 24;
    if (a == 0)
        return;
    b = a == 255 ? f : Mix1(f, b, a);
}
TColor32 BlendRegEx(TColor32 f, TColor32 b, TColor32 m)
{
    const uint32_t w = ((Wt(m) + 1) * (f >> 24)) >> 8;
    return w == 0 ? b : Mix1(f, b, w);
}
void BlendMemEx(TColor32 f, TColor32 &b, TColor32 m)
{
    const uint32_t a = f >> 24;
    if (a == 0)
        return;
    const uint32_t w = ((Wt(m) + 1) * a) >> 8;
    if (w != 0)
        b = Mix1(f, b, w);
}

// Weight 0 gives the background exactly, so only opaque sources need a select.
void BlendLine(const TColor32 *src, TColor32 *dst, int32_t count)
{
    const __m128i alphaMask = _mm_set1_epi32(int(0xFF000000));
    int32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + i));
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i *>(dst + i));
        const __m128i mixed = Mix4(s, d, _mm_srli_epi32(s, 24));
        const __m128i opaque = _mm_cmpeq_epi32(_mm_and_si128(s, alphaMask), alphaMask);
        const __m128i r = _mm_or_si128(_mm_and_si128(opaque, s), _mm_andnot_si128(opaque, mixed));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + i), r);
    }
    for (; i < count; ++i)
        VecBlendMem(src[i], dst[i]);
}

void BlendLineEx(const TColor32 *src, TColor32 *dst, int32_t count, TColor32 m)
{
    const uint32_t mm = Wt(m);
    const __m128i master = _mm_set1_epi32(int(mm));
    const __m128i one = _mm_set1_epi32(1);
    int32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + i));
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i *>(dst + i));
        // (alpha + 1) * master <= 65280 fits the low word of each lane.
        const __m128i a1 = _mm_add_epi32(_mm_srli_epi32(s, 24), one);
        const __m128i w = _mm_srli_epi32(_mm_mullo_epi16(a1, master), 8);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + i), Mix4(s, d, w));
    }
    for (; i < count; ++i)
        VecBlendLineExPixel(src[i], dst[i], mm);
}

// Two pixels side by side, each widened to four words: [p, q].
inline __m128i Pair(TColor32 p, TColor32 q)
{
    return _mm_unpacklo_epi8(_mm_unpacklo_epi32(_mm_cvtsi32_si128(int(p)), _mm_cvtsi32_si128(int(q))),
                             _mm_setzero_si128());
}

// Both mixes of the first stage in one multiply; the words stay below 256, so the second
// stage takes them without packing.
void CombineRow(const TColor32 *a, const TColor32 *b, const int32_t *xa, const int32_t *xb, const TColor32 *wx,
                TColor32 wy, bool rowsFirst, TColor32 *out, int32_t count)
{
    const __m128i wY = _mm_set1_epi16(short(Wt(wy)));
    for (int32_t i = 0; i < count; ++i) {
        const int32_t x = xa[i], x1 = xb[i];
        const __m128i wX = _mm_set1_epi16(short(Wt(wx[i])));
        __m128i r;
        if (rowsFirst) {
            const __m128i first = Mix16(Pair(a[x], b[x]), Pair(a[x1], b[x1]), wX); // [a mix, b mix]
            r = Mix16(first, _mm_srli_si128(first, 8), wY);
        } else {
            // Neighbouring columns (all but the clamped last ones) come in one 8-byte load.
            const __m128i zero = _mm_setzero_si128();
            const bool adjacent = x1 == x + 1;
            const __m128i pa = adjacent ? _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(a + x)), zero)
                                        : Pair(a[x], a[x1]);
            const __m128i pb = adjacent ? _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(b + x)), zero)
                                        : Pair(b[x], b[x1]);
            const __m128i first = Mix16(pa, pb, wY); // [column x, column x1]
            r = Mix16(first, _mm_srli_si128(first, 8), wX);
        }
        out[i] = TColor32(_mm_cvtsi128_si32(_mm_packus_epi16(r, r)));
    }
}

const BlendSet kSse2Set{CombineReg, CombineMem, BlendReg,   BlendMem,  BlendRegEx,
                        BlendMemEx, BlendLine,  BlendLineEx, CombineRow};

} // namespace

const BlendSet *Sse2Set() { return &kSse2Set; }

} // namespace strandel::blend_detail

#else

namespace strandel::blend_detail {
const BlendSet *Sse2Set() { return nullptr; }
} // namespace strandel::blend_detail

#endif
