#pragma once
// Half-pixel motion compensation from a reference picture into the current one.
#include "decoder/state.h"

#include <cstddef>

namespace strandel::lumaset {

// One interpolation routine: width is fixed per routine, height 16, 8 or 4.
using McRoutine = void (*)(uint8_t *dst, const uint8_t *src, ptrdiff_t stride, int height, bool average);

struct McTable {
    McRoutine routine[16]; // (vx & 1) + 2 (vy & 1) + 4 rounding + 8 (width 16)
};

const McTable &McPlain();
const McTable *McSse2(); // null when the CPU lacks it
const McTable *McAvx2(); // the SSE2 table with the AVX2 routines over it; null without AVX2
const McTable &McBest();

// Bounds of one plane: the picture size and the padded border around it.
struct PlaneGeometry {
    int width, height, edge;
};

// Predicts one block at (x, y) with vector (vx, vy) in half pixels. A vector that would read
// outside the padded plane writes nothing.
void PredictBlock(const McTable &mc, const uint8_t *ref, uint8_t *dst, ptrdiff_t stride, const PlaneGeometry &g,
                  int bw, int bh, int x, int y, int vx, int vy, int rounding, bool average);

// Prediction of the current macroblock from a reference with its vectors (one, or four for
// mb_type 2); with average set it is averaged into what the current picture holds.
void PredictMacroblock(const DecoderState &s, const McTable &mc, const Planes &ref, const int16_t (*v)[2],
                       bool four_vectors, bool average);

// Copies count macroblocks of the current row from column mb_x on from a reference: the
// prediction of that many macroblocks with zero vectors.
void CopyMacroblocks(const DecoderState &s, const Planes &ref, int mb_x, int count);

// Field prediction: one 16 x 8 luma and two 8 x 4 chroma predictions per field, each field from
// the reference field its flag names; vectors in frame units.
void PredictMacroblockFields(const DecoderState &s, const McTable &mc, const Planes &ref, const int16_t (*v)[2],
                             const int32_t *field_ref, bool average);

// Chroma vector of one luma vector, and of the sum of four.
int ChromaVector(int v);
int ChromaVectorOfSum(int sum);

} // namespace strandel::lumaset
