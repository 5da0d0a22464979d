#pragma once
// Moving pixels from a rectangle of one bitmap into another: 1:1 block transfer and
// stretching with four resampling filters. Neither calls Changed; callers do.
#include <vector>

#include "graphics/rx32.h"

namespace strandel {

class ETransformError : public ERx32Error
{
public:
    using ERx32Error::ERx32Error;
};

struct TClusterEntry
{
    int32_t Pos;
    int32_t Weight;
    bool operator==(const TClusterEntry &) const = default;
};
using TCluster = std::vector<TClusterEntry>;
using TMappingTable = std::vector<TCluster>;

void BlockTransfer(TBitmap32 *dst, int32_t dstX, int32_t dstY, TBitmap32 *src, TRect srcRect, TDrawMode combineOp,
                   const TPixelCombineEvent &combineCallBack = {});

void StretchTransfer(TBitmap32 *dst, TRect dstRect, TBitmap32 *src, TRect srcRect, TStretchFilter stretchFilter,
                     TDrawMode combineOp, const TPixelCombineEvent &combineCallBack = {});

// The source taps of every destination column (or row) of one axis, weights in 1/256.
TMappingTable BuildMapping(int32_t dstSize, int32_t srcSize, int32_t srcFrom, int32_t srcTo,
                           TStretchFilter filter);

} // namespace strandel
