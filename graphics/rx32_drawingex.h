#pragma once
#include <cstdint>

namespace strandel {

// Clips the segment (x1, y1)-(x2, y2) to the rectangle whose bounds are included.
// False when nothing of the segment is left.
bool ClipLine(int32_t &x1, int32_t &y1, int32_t &x2, int32_t &y2, int32_t minX, int32_t minY, int32_t maxX,
              int32_t maxY);

} // namespace strandel
