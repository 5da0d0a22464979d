#pragma once
// Hot pixel routines behind one table: the plain routine first, the SIMD twin where the CPU has it.
#include <cstddef>
#include <cstdint>

namespace strandel::lumaset {

// One row of RGB output (format 4, 5, 6 or 7) from Y and the shared chroma row; width a multiple of 16.
using RgbRow = void (*)(uint8_t *out, const uint8_t *y, const uint8_t *u, const uint8_t *v, int width, int format);

// One row of opaque 32-bit pixels (bytes B, G, R, 255) sampled from rows of a 4:2:0 picture:
// pixel i takes luma column xs[i] and chroma column xs[i] / 2, the columns never falling along
// the row (as nearest sampling gives them). Any width; nothing past the last column is read.
using ScaledRow = void (*)(uint32_t *out, const uint8_t *y, const uint8_t *u, const uint8_t *v, const int32_t *xs,
                           int width);

struct Dsp {
    void (*idct)(int16_t *block);                                          // in place
    void (*put)(uint8_t *dst, ptrdiff_t stride, const int16_t *block);     // clamp to 0..255
    void (*add)(uint8_t *dst, ptrdiff_t stride, const int16_t *block);     // saturating add
    // Intra AC levels 1..63 dequantised in place with quantiser q (first method), held to 12 bits.
    void (*dequant_intra)(int16_t *block, int q);
    RgbRow rgb_row;
    // idct then put or add, in one go; what the block holds afterwards is undefined.
    void (*idct_put)(uint8_t *dst, ptrdiff_t stride, int16_t *block);
    void (*idct_add)(uint8_t *dst, ptrdiff_t stride, int16_t *block);
    ScaledRow scaled_row;
};

// Colour conversion constants: 16-bit multipliers on values pre-multiplied by 8, high half kept.
constexpr int kConvLuma = 9576, kConvUToG = -3218, kConvUToB = 16591, kConvVToR = 13123, kConvVToG = -6686;

void RgbRowPlain(uint8_t *out, const uint8_t *y, const uint8_t *u, const uint8_t *v, int width, int format);
RgbRow RgbRowSse2Routine(); // null without SSE2
RgbRow RgbRowAvx2Routine(); // null when the CPU lacks AVX2
void ScaledRowPlain(uint32_t *out, const uint8_t *y, const uint8_t *u, const uint8_t *v, const int32_t *xs, int width);
ScaledRow ScaledRowSse2Routine(); // null without SSE2
ScaledRow ScaledRowAvx2Routine(); // null when the CPU lacks AVX2
// The best the CPU has; callers outside the decoder (the viewer's panes) link the pixel routines alone.
ScaledRow ScaledRowBest();

const Dsp &DspPlain();
const Dsp *DspSse2(); // null when the CPU lacks it
const Dsp *DspAvx2(); // the SSE2 table with the AVX2 routines over it; null without AVX2
void SetIdctAvx2(Dsp &d); // the AVX2 inverse DCT, put/add, both at once and intra dequantiser into d
const Dsp &DspBest();

// Row tables of the inverse DCT (rows 0/4, 1/7, 2/6, 3/5) and the per-row rounders.
struct IdctTables {
    int16_t row[4][32];
};
const IdctTables &GetIdctTables();
inline constexpr int32_t kIdctRounder[8] = {65536, 3597, 2260, 1203, 0, 120, 512, 512};
constexpr int IdctTableForRow(int row)
{
    constexpr int kTable[8] = {0, 1, 2, 3, 0, 3, 2, 1};
    return kTable[row & 7];
}

} // namespace strandel::lumaset
