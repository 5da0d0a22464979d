#pragma once
// The scaled row of the SIMD tables: each stretch of the source row that the sampled columns fall
// in is converted whole by the table's row routine (contiguous, so it runs at full vector speed),
// then the sampled pixels are picked from it. Same bits as the plain routine.
#include "decoder/dsp.h"

#include <algorithm>
#include <cstring>

namespace strandel::lumaset {

// Convert: the table's RGB row routine, which takes whole steps of Step pixels.
template <RgbRow Convert, int Step>
void ScaledThrough(uint32_t *out, const uint8_t *y, const uint8_t *u, const uint8_t *v, const int32_t *xs, int width)
{
    constexpr int kSpan = 512; // source columns converted at a time
    alignas(32) uint32_t row[kSpan + Step];
    for (int i = 0; i < width;) {
        const int from = xs[i] & ~1; // even: the chroma of the stretch starts with it
        const int end = int(std::lower_bound(xs + i, xs + width, from + kSpan) - xs);
        const int last = xs[end - 1];
        // Whole steps in place; the rest through a padded copy, so nothing past the last sampled
        // column (and its chroma) is read.
        const int count = last - from + 1, whole = count / Step * Step, rest = count - whole;
        if (whole)
            Convert(reinterpret_cast<uint8_t *>(row), y + from, u + from / 2, v + from / 2, whole, 4);
        if (rest) {
            alignas(32) uint8_t py[Step] = {}, pu[Step / 2] = {}, pv[Step / 2] = {};
            const int at = from + whole;
            std::memcpy(py, y + at, size_t(rest));
            std::memcpy(pu, u + at / 2, size_t(rest + 1) / 2);
            std::memcpy(pv, v + at / 2, size_t(rest + 1) / 2);
            Convert(reinterpret_cast<uint8_t *>(row + whole), py, pu, pv, Step, 4);
        }
        for (int k = i; k < end; ++k)
            out[k] = row[xs[k] - from] | 0xFF000000u;
        i = end;
    }
}

} // namespace strandel::lumaset
