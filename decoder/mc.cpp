#include "decoder/mc.h"

#include <cstdlib>
#include <cstring>

namespace strandel::lumaset {
namespace {

// phase: 0 full, 1 horizontal half, 2 vertical half, 3 both.
template <int W, int Phase, int Round>
void Interpolate(uint8_t *dst, const uint8_t *src, ptrdiff_t stride, int height, bool average)
{
    for (int y = 0; y < height; ++y, dst += stride, src += stride) {
        for (int x = 0; x < W; ++x) {
            int p;
            if constexpr (Phase == 0)
                p = src[x];
            else if constexpr (Phase == 1)
                p = (src[x] + src[x + 1] + 1 - Round) >> 1;
            else if constexpr (Phase == 2)
                p = (src[x] + src[x + stride] + 1 - Round) >> 1;
            else
                p = (src[x] + src[x + 1] + src[x + stride] + src[x + stride + 1] + 2 - Round) >> 2;
            dst[x] = uint8_t(average ? (dst[x] + p + 1) >> 1 : p);
        }
    }
}

template <int W>
constexpr McRoutine kRoutines[8] = {Interpolate<W, 0, 0>, Interpolate<W, 1, 0>, Interpolate<W, 2, 0>,
                                    Interpolate<W, 3, 0>, Interpolate<W, 0, 0>, Interpolate<W, 1, 1>,
                                    Interpolate<W, 2, 1>, Interpolate<W, 3, 1>};

const McTable plain = {{kRoutines<8>[0], kRoutines<8>[1], kRoutines<8>[2], kRoutines<8>[3], kRoutines<8>[4],
                        kRoutines<8>[5], kRoutines<8>[6], kRoutines<8>[7], kRoutines<16>[0], kRoutines<16>[1],
                        kRoutines<16>[2], kRoutines<16>[3], kRoutines<16>[4], kRoutines<16>[5], kRoutines<16>[6],
                        kRoutines<16>[7]}};

} // namespace

const McTable &McPlain() { return plain; }

const McTable &McBest()
{
    if (const McTable *avx2 = McAvx2())
        return *avx2;
    const McTable *simd = McSse2();
    return simd ? *simd : plain;
}

int ChromaVector(int v) { return (v % 4 ? v | 2 : v) >> 1; }

int ChromaVectorOfSum(int sum)
{
    static constexpr int kRound[16] = {0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2};
    const int a = std::abs(sum);
    const int c = kRound[a % 16] + 2 * (a / 16);
    return sum < 0 ? -c : c;
}

void PredictBlock(const McTable &mc, const uint8_t *ref, uint8_t *dst, ptrdiff_t stride, const PlaneGeometry &g,
                  int bw, int bh, int x, int y, int vx, int vy, int rounding, bool average)
{
    const int X = x + (vx >> 1), Y = y + (vy >> 1);
    // Half-pixel phases read one column or row beyond the block.
    if (X < -g.edge || Y < -g.edge || X + bw + (vx & 1) > g.width + g.edge || Y + bh + (vy & 1) > g.height + g.edge)
        return;
    const int index = (vx & 1) + 2 * (vy & 1) + 4 * rounding + (bw == 16 ? 8 : 0);
    mc.routine[index](dst + ptrdiff_t(y) * stride + x, ref + ptrdiff_t(Y) * stride + X, stride, bh, average);
}

void PredictMacroblock(const DecoderState &s, const McTable &mc, const Planes &ref, const int16_t (*v)[2],
                       bool four_vectors, bool average)
{
    const int x = 16 * s.mb_x, y = 16 * s.mb_y;
    if (!four_vectors && v[0][0] == 0 && v[0][1] == 0) {
        // The co-located macroblock (skipped and concealed ones, most of all): full-pel copies,
        // always inside the plane.
        const ptrdiff_t luma = ptrdiff_t(y) * s.stride + x, chroma = ptrdiff_t(y / 2) * s.chroma_stride + x / 2;
        mc.routine[8](s.cur.y + luma, ref.y + luma, s.stride, 16, average);
        mc.routine[0](s.cur.u + chroma, ref.u + chroma, s.chroma_stride, 8, average);
        mc.routine[0](s.cur.v + chroma, ref.v + chroma, s.chroma_stride, 8, average);
        return;
    }
    const int rounding = s.vop.vop_rounding_type;
    const PlaneGeometry luma{s.width, s.height, 32}, chroma{s.width / 2, s.height / 2, 16};
    int cvx, cvy;
    if (four_vectors) {
        for (int b = 0; b < 4; ++b)
            PredictBlock(mc, ref.y, s.cur.y, s.stride, luma, 8, 8, x + 8 * (b & 1), y + 8 * (b >> 1), v[b][0],
                         v[b][1], rounding, average);
        cvx = ChromaVectorOfSum(v[0][0] + v[1][0] + v[2][0] + v[3][0]);
        cvy = ChromaVectorOfSum(v[0][1] + v[1][1] + v[2][1] + v[3][1]);
    } else {
        PredictBlock(mc, ref.y, s.cur.y, s.stride, luma, 16, 16, x, y, v[0][0], v[0][1], rounding, average);
        cvx = ChromaVector(v[0][0]);
        cvy = ChromaVector(v[0][1]);
    }
    PredictBlock(mc, ref.u, s.cur.u, s.chroma_stride, chroma, 8, 8, x / 2, y / 2, cvx, cvy, rounding, average);
    PredictBlock(mc, ref.v, s.cur.v, s.chroma_stride, chroma, 8, 8, x / 2, y / 2, cvx, cvy, rounding, average);
}

void CopyMacroblocks(const DecoderState &s, const Planes &ref, int mb_x, int count)
{
    const int x = 16 * mb_x, y = 16 * s.mb_y;
    for (int row = 0; row < 16; ++row) {
        const ptrdiff_t at = ptrdiff_t(y + row) * s.stride + x;
        std::memcpy(s.cur.y + at, ref.y + at, size_t(16 * count));
    }
    for (int row = 0; row < 8; ++row) {
        const ptrdiff_t at = ptrdiff_t(y / 2 + row) * s.chroma_stride + x / 2;
        std::memcpy(s.cur.u + at, ref.u + at, size_t(8 * count));
        std::memcpy(s.cur.v + at, ref.v + at, size_t(8 * count));
    }
}

void PredictMacroblockFields(const DecoderState &s, const McTable &mc, const Planes &ref, const int16_t (*v)[2],
                             const int32_t *field_ref, bool average)
{
    const int x = 16 * s.mb_x, y = 8 * s.mb_y; // field rows
    const int rounding = s.vop.vop_rounding_type;
    const ptrdiff_t S = s.stride, C = s.chroma_stride;
    const PlaneGeometry luma{s.width, s.height / 2, 16}, chroma{s.width / 2, s.height / 4, 8};
    for (int f = 0; f < 2; ++f) {
        const int vx = v[f][0], vy = v[f][1] >> 1; // field units
        const ptrdiff_t src = field_ref[f] ? 1 : 0;
        PredictBlock(mc, ref.y + src * S, s.cur.y + f * S, 2 * S, luma, 16, 8, x, y, vx, vy, rounding, average);
        const int cvx = ChromaVector(vx), cvy = ChromaVector(vy);
        PredictBlock(mc, ref.u + src * C, s.cur.u + f * C, 2 * C, chroma, 8, 4, x / 2, y / 2, cvx, cvy, rounding,
                     average);
        PredictBlock(mc, ref.v + src * C, s.cur.v + f * C, 2 * C, chroma, 8, 4, x / 2, y / 2, cvx, cvy, rounding,
                     average);
    }
}

} // namespace strandel::lumaset
