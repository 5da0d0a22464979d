// Deblocking of the shown picture into the display buffer, in stripes of four rows.
#include "decoder/decode.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace strandel::lumaset {
namespace {

// Samples s0..s9 across one block edge (between s4 and s5) of one line, read and written
// through a base pointer and a step (1 across a vertical edge, the stride across a horizontal one).
struct Line {
    uint8_t *p; // s0
    ptrdiff_t step;
    int operator[](int i) const { return p[i * step]; }
    void Set(int i, int v) { p[i * step] = uint8_t(std::clamp(v, 0, 255)); }
};

void DefaultMode(Line l, int qp)
{
    const int q = (l[4] - l[5]) / 2;
    if (q == 0)
        return;
    const int a0 = 2 * (l[3] - l[6]) - 5 * (l[4] - l[5]);
    if (std::abs(a0) >= 8 * qp)
        return;
    const int nearSide = 2 * (l[1] - l[4]) + 5 * (l[3] - l[2]);
    const int farSide = 2 * (l[5] - l[8]) + 5 * (l[7] - l[6]);
    const int r = std::abs(a0) - std::min(std::abs(nearSide), std::abs(farSide));
    if (r <= 0)
        return;
    const int d = (5 * r + 32) >> 6;
    if (d <= 0)
        return;
    int c;
    if (q > 0 && a0 < 0)
        c = std::min(d, q);
    else if (q < 0 && a0 > 0)
        c = std::max(-d, q);
    else
        return;
    l.Set(4, l[4] - c);
    l.Set(5, l[5] + c);
}

void DcOffsetMode(Line l, int qp)
{
    // The samples padded by four on each side with the (possibly replaced) outer samples.
    int e[18];
    const int s0 = std::abs(l[0] - l[1]) >= qp ? l[1] : l[0];
    const int s9 = std::abs(l[9] - l[8]) >= qp ? l[8] : l[9];
    for (int i = 0; i < 5; ++i)
        e[i] = s0, e[13 + i] = s9;
    for (int i = 1; i < 9; ++i)
        e[4 + i] = l[i];
    static constexpr int kTaps[9] = {1, 1, 2, 2, 4, 2, 2, 1, 1};
    for (int n = 1; n <= 8; ++n) {
        int sum = 8;
        for (int k = 0; k < 9; ++k)
            sum += kTaps[k] * e[n + k];
        l.p[n * l.step] = uint8_t(sum >> 4); // a weighted mean of bytes: always 0..255
    }
}

// One segment of four lines across an edge; lines are `across` apart.
void FilterSegment(uint8_t *s0, ptrdiff_t step, ptrdiff_t across, int qp)
{
    int flat = 0;
    for (int k = 0; k < 4; ++k) {
        const Line l{s0 + k * across, step};
        for (int i = 1; i < 8; ++i)
            flat += std::abs(l[i] - l[i + 1]) <= 1;
    }
    if (flat >= 16) {
        const Line first{s0, step};
        if (std::abs(first[1] - first[8]) >= 2 * qp)
            return;
        for (int k = 0; k < 4; ++k)
            DcOffsetMode(Line{s0 + k * across, step}, qp);
    } else {
        for (int k = 0; k < 4; ++k)
            DefaultMode(Line{s0 + k * across, step}, qp);
    }
}

struct PlaneJob {
    const uint8_t *src;
    int src_stride;
    uint8_t *dst;
    int width, height;
    int mb_size; // 16 for luma, 8 for chroma
    bool horizontal, vertical;
};

void DeblockPlane(const PlaneJob &j, const uint16_t *quant)
{
    auto qpAt = [&](int x, int y) {
        return int(quant[(y / j.mb_size + 1) * kQuantStride + x / j.mb_size + 1]);
    };
    for (int y0 = 0; y0 < j.height; y0 += 4) {
        for (int y = y0; y < y0 + 4; ++y)
            std::memcpy(j.dst + ptrdiff_t(y) * j.width, j.src + ptrdiff_t(y) * j.src_stride, size_t(j.width));
        if (j.horizontal)
            for (int x = 8; x < j.width; x += 8)
                FilterSegment(j.dst + ptrdiff_t(y0) * j.width + x - 5, 1, j.width, qpAt(x, y0));
        if (j.vertical && y0 >= 12 && (y0 / 4) % 2 == 1) {
            const int edge = y0 - 4;
            for (int x = 0; x < j.width; x += 4)
                FilterSegment(j.dst + ptrdiff_t(edge - 5) * j.width + x, j.width, 1, qpAt(x, y0));
        }
    }
}

} // namespace

void Deblock(const DecoderState &s, const Planes &shown, const uint16_t *quant)
{
    const int w = s.width, h = s.height, f = s.postproc_flags;
    uint8_t *y = s.display_buffer, *u = y + size_t(w) * size_t(h), *v = u + size_t(w / 2) * size_t(h / 2);
    DeblockPlane({shown.y, s.stride, y, w, h, 16, (f & 1) != 0, (f & 2) != 0}, quant);
    DeblockPlane({shown.u, s.chroma_stride, u, w / 2, h / 2, 8, (f & 4) != 0, (f & 8) != 0}, quant);
    DeblockPlane({shown.v, s.chroma_stride, v, w / 2, h / 2, 8, (f & 4) != 0, (f & 8) != 0}, quant);
}

} // namespace strandel::lumaset
