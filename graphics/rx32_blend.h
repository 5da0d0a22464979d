#pragma once
// Pixel combining: one plain integer set and one vector set (the results of the
// original MMX routines, computed here with SSE2). Callers use only the eight
// procedure variables, bound once at start to the set the processor allows.
#include <cstdint>

#include "graphics/rx32_types.h"

namespace strandel {

using TCombineReg = TColor32 (*)(TColor32 x, TColor32 y, TColor32 w);
using TCombineMem = void (*)(TColor32 f, TColor32 &b, TColor32 w);
using TBlendReg = TColor32 (*)(TColor32 f, TColor32 b);
using TBlendMem = void (*)(TColor32 f, TColor32 &b);
using TBlendRegEx = TColor32 (*)(TColor32 f, TColor32 b, TColor32 m);
using TBlendMemEx = void (*)(TColor32 f, TColor32 &b, TColor32 m);
using TBlendLine = void (*)(const TColor32 *src, TColor32 *dst, int32_t count);
using TBlendLineEx = void (*)(const TColor32 *src, TColor32 *dst, int32_t count, TColor32 m);
// One row of the bilinear stretch: for each i, the three CombineReg mixes of the pixels
// a[xa[i]], a[xb[i]], b[xa[i]], b[xb[i]] with weights wx[i] and wy, columns first
// (rows first when rowsFirst), written to out[i].
using TCombineRow = void (*)(const TColor32 *a, const TColor32 *b, const int32_t *xa, const int32_t *xb,
                             const TColor32 *wx, TColor32 wy, bool rowsFirst, TColor32 *out, int32_t count);

// One complete set of the eight routines.
struct BlendSet
{
    TCombineReg CombineReg;
    TCombineMem CombineMem;
    TBlendReg BlendReg;
    TBlendMem BlendMem;
    TBlendRegEx BlendRegEx;
    TBlendMemEx BlendMemEx;
    TBlendLine BlendLine;
    TBlendLineEx BlendLineEx;
    TCombineRow CombineRow; // not one of the eight: the stretcher's row of CombineReg mixes
};

enum class BlendKind {
    Plain,     // integer-register set
    VectorRef, // plain C reference of the vector set
    Sse2,      // the vector set in SSE2
    Avx2,      // SSE2 set with AVX2 line routines
};

// The set of one kind; null when the processor cannot run it.
const BlendSet *GetBlendSet(BlendKind kind);
bool BlendKindAvailable(BlendKind kind);

extern bool MMX_ACTIVE;
extern TCombineReg CombineReg;
extern TCombineMem CombineMem;
extern TBlendReg BlendReg;
extern TBlendMem BlendMem;
extern TBlendRegEx BlendRegEx;
extern TBlendMemEx BlendMemEx;
extern TBlendLine BlendLine;
extern TBlendLineEx BlendLineEx;
extern TCombineRow CombineRow;

// Rebinds the procedure variables (tests force the plain set with it). MMX_ACTIVE
// follows: true for every vector kind.
void BindBlendSet(BlendKind kind);
// The kind bound at start: the fastest vector set when HasMMX, else the plain set.
BlendKind DefaultBlendKind();

// Kept for callers' symmetry; SSE2 leaves no multimedia state to clear.
inline void EMMS() {}

TColor32 ColorAdd(TColor32 c1, TColor32 c2);
TColor32 ColorSub(TColor32 c1, TColor32 c2);
TColor32 ColorModulate(TColor32 c1, TColor32 c2);
TColor32 ColorMax(TColor32 c1, TColor32 c2);
TColor32 ColorMin(TColor32 c1, TColor32 c2);
TColor32 Lighten(TColor32 c, int32_t amount);

namespace blend_detail {
// Filled by the SIMD units (null where not compiled or not available).
const BlendSet *Sse2Set();
const BlendSet *Avx2Set();
} // namespace blend_detail

} // namespace strandel
