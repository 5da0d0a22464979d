// Fixed-point inverse DCT after Intel's AP-922: a row pass with per-row scaled cosine tables and
// rounders, then a column pass with tangent constants on saturating 16-bit arithmetic.
#include "decoder/dsp.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace strandel::lumaset {
namespace {

// Entry j of the basis for row scale k is 2^15 cos(k pi/16) cos(j pi/16); the layout follows
// the pairwise multiply-add order of the row pass.
std::array<int16_t, 32> MakeRowTable(int k)
{
    auto c = [k](int j) {
        return int16_t(std::lround(32768.0 * std::cos(k * M_PI / 16) * std::cos(j * M_PI / 16)));
    };
    const int16_t c1 = c(1), c2 = c(2), c3 = c(3), c4 = c(4), c5 = c(5), c6 = c(6), c7 = c(7);
    return {c4, c4, c4, int16_t(-c4), c2, c6, c6, int16_t(-c2),
            c4, int16_t(-c4), c4, c4, int16_t(-c6), c2, int16_t(-c2), int16_t(-c6),
            c1, c5, c3, int16_t(-c1), c3, c7, int16_t(-c7), int16_t(-c5),
            c5, c7, c7, c3, int16_t(-c1), c3, int16_t(-c5), int16_t(-c1)};
}


inline int16_t Sat16(int32_t v) { return int16_t(std::clamp<int32_t>(v, -32768, 32767)); }
inline int16_t AddS(int16_t a, int16_t b) { return Sat16(int32_t(a) + b); }
inline int16_t SubS(int16_t a, int16_t b) { return Sat16(int32_t(a) - b); }
inline int16_t MulHi(int16_t a, int16_t b) { return int16_t((int32_t(a) * b) >> 16); }
// pmaddwd: two products summed with 32-bit wrap-around.
inline uint32_t Madd(int16_t a, int16_t ta, int16_t b, int16_t tb)
{
    return uint32_t(int32_t(a) * ta) + uint32_t(int32_t(b) * tb);
}
inline int16_t RowOut(uint32_t v) { return Sat16(int32_t(v) >> 11); }

void IdctRow(int16_t *x, const int16_t *t, int32_t rounder)
{
    const uint32_t r = uint32_t(rounder);
    const uint32_t a0 = Madd(x[0], t[0], x[4], t[1]) + Madd(x[2], t[4], x[6], t[5]) + r;
    const uint32_t a1 = Madd(x[0], t[2], x[4], t[3]) + Madd(x[2], t[6], x[6], t[7]) + r;
    const uint32_t a2 = Madd(x[0], t[8], x[4], t[9]) + Madd(x[2], t[12], x[6], t[13]) + r;
    const uint32_t a3 = Madd(x[0], t[10], x[4], t[11]) + Madd(x[2], t[14], x[6], t[15]) + r;
    const uint32_t b0 = Madd(x[1], t[16], x[5], t[17]) + Madd(x[3], t[20], x[7], t[21]);
    const uint32_t b1 = Madd(x[1], t[18], x[5], t[19]) + Madd(x[3], t[22], x[7], t[23]);
    const uint32_t b2 = Madd(x[1], t[24], x[5], t[25]) + Madd(x[3], t[28], x[7], t[29]);
    const uint32_t b3 = Madd(x[1], t[26], x[5], t[27]) + Madd(x[3], t[30], x[7], t[31]);
    x[0] = RowOut(a0 + b0);
    x[1] = RowOut(a1 + b1);
    x[2] = RowOut(a2 + b2);
    x[3] = RowOut(a3 + b3);
    x[4] = RowOut(a3 - b3);
    x[5] = RowOut(a2 - b2);
    x[6] = RowOut(a1 - b1);
    x[7] = RowOut(a0 - b0);
}

constexpr int16_t kTan1 = 13036, kTan2 = 27146, kTan3m1 = -21746, kCos4 = 23170;

void IdctColumn(int16_t *b, int c)
{
    int16_t x[8];
    for (int i = 0; i < 8; ++i)
        x[i] = b[8 * i + c];
    const int16_t tm35 = SubS(AddS(MulHi(x[3], kTan3m1), x[3]), x[5]);
    const int16_t tp35 = AddS(AddS(MulHi(x[5], kTan3m1), x[3]), x[5]);
    const int16_t tp17 = AddS(MulHi(x[7], kTan1), x[1]);
    const int16_t tm17 = SubS(MulHi(x[1], kTan1), x[7]);
    const int16_t b0 = AddS(tp17, tp35);
    const int16_t b3 = SubS(tm17, tm35);
    const int16_t t1 = SubS(tp17, tp35);
    const int16_t t2 = AddS(tm17, tm35);
    const int16_t b1h = MulHi(AddS(t1, t2), kCos4);
    const int16_t b2h = MulHi(SubS(t1, t2), kCos4);
    const int16_t tm26 = SubS(MulHi(x[2], kTan2), x[6]);
    const int16_t tp26 = AddS(MulHi(x[6], kTan2), x[2]);
    const int16_t tp04 = AddS(x[0], x[4]);
    const int16_t tm04 = SubS(x[0], x[4]);
    const int16_t a0 = AddS(tp04, tp26);
    const int16_t a3 = SubS(tp04, tp26);
    const int16_t a1 = AddS(tm04, tm26);
    const int16_t a2 = SubS(tm04, tm26);
    const int16_t b1 = AddS(b1h, b1h);
    const int16_t b2 = AddS(b2h, b2h);
    b[8 * 0 + c] = int16_t(AddS(a0, b0) >> 6);
    b[8 * 1 + c] = int16_t(AddS(a1, b1) >> 6);
    b[8 * 2 + c] = int16_t(AddS(a2, b2) >> 6);
    b[8 * 3 + c] = int16_t(AddS(a3, b3) >> 6);
    b[8 * 4 + c] = int16_t(SubS(a3, b3) >> 6);
    b[8 * 5 + c] = int16_t(SubS(a2, b2) >> 6);
    b[8 * 6 + c] = int16_t(SubS(a1, b1) >> 6);
    b[8 * 7 + c] = int16_t(SubS(a0, b0) >> 6);
}

void IdctPlain(int16_t *block)
{
    const IdctTables &tables = GetIdctTables();
    for (int r = 0; r < 8; ++r)
        IdctRow(block + 8 * r, tables.row[IdctTableForRow(r)], kIdctRounder[r]);
    for (int c = 0; c < 8; ++c)
        IdctColumn(block, c);
}

inline uint8_t Clamp8(int v) { return uint8_t(std::clamp(v, 0, 255)); }

void PutPlain(uint8_t *dst, ptrdiff_t stride, const int16_t *block)
{
    for (int y = 0; y < 8; ++y, dst += stride)
        for (int x = 0; x < 8; ++x)
            dst[x] = Clamp8(block[8 * y + x]);
}

void AddPlain(uint8_t *dst, ptrdiff_t stride, const int16_t *block)
{
    for (int y = 0; y < 8; ++y, dst += stride)
        for (int x = 0; x < 8; ++x)
            dst[x] = Clamp8(AddS(int16_t(dst[x]), block[8 * y + x]));
}

void DequantIntraPlain(int16_t *block, int q)
{
    const int bias = q & 1 ? q : q - 1;
    for (int i = 1; i < 64; ++i) {
        const int l = block[i];
        block[i] = int16_t(std::clamp(2 * q * l + ((l > 0) - (l < 0)) * bias, -2048, 2047));
    }
}

void IdctPutPlain(uint8_t *dst, ptrdiff_t stride, int16_t *block)
{
    IdctPlain(block);
    PutPlain(dst, stride, block);
}

void IdctAddPlain(uint8_t *dst, ptrdiff_t stride, int16_t *block)
{
    IdctPlain(block);
    AddPlain(dst, stride, block);
}

const Dsp plain = {IdctPlain, PutPlain, AddPlain, DequantIntraPlain, RgbRowPlain, IdctPutPlain, IdctAddPlain, ScaledRowPlain};

} // namespace

const IdctTables &GetIdctTables()
{
    static const IdctTables tables = [] {
        IdctTables t{};
        const int scale[4] = {4, 1, 2, 3};
        for (int i = 0; i < 4; ++i) {
            const auto a = MakeRowTable(scale[i]);
            std::copy(a.begin(), a.end(), t.row[i]);
        }
        return t;
    }();
    return tables;
}

const Dsp &DspPlain() { return plain; }

const Dsp *DspAvx2()
{
    static const Dsp avx2 = [] {
        const Dsp *sse2 = DspSse2();
        const RgbRow row = RgbRowAvx2Routine();
        if (!sse2 || !row)
            return Dsp{};
        Dsp d = *sse2;
        d.rgb_row = row;
        d.scaled_row = ScaledRowAvx2Routine();
        SetIdctAvx2(d);
        return d;
    }();
    return avx2.rgb_row ? &avx2 : nullptr;
}

const Dsp &DspBest()
{
    if (const Dsp *avx2 = DspAvx2())
        return *avx2;
    const Dsp *simd = DspSse2();
    return simd ? *simd : plain;
}

} // namespace strandel::lumaset
