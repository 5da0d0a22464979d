#pragma once
// Whole-bitmap filters from Src into Dst (which may be the same bitmap).
#include "graphics/rx32.h"

namespace strandel {

// Raises "The source is nil" / "Destination is nil", then sizes Dst to Src.
void CheckFilterBitmaps(TBitmap32 *dst, const TBitmap32 *src);

void AlphaToGrayscale(TBitmap32 *dst, const TBitmap32 *src);
void IntensityToAlpha(TBitmap32 *dst, const TBitmap32 *src);
void Invert(TBitmap32 *dst, const TBitmap32 *src);
void InvertRGB(TBitmap32 *dst, const TBitmap32 *src);
void ColorToGrayscale(TBitmap32 *dst, const TBitmap32 *src);
void ApplyLUT(TBitmap32 *dst, const TBitmap32 *src, const uint8_t (&lut)[256]);

} // namespace strandel
