#include "viewer/protocol/motionmask.h"

#include "platform/endian.h"

namespace strandel {

MotionGrid MotionFromMask(const uint8_t *mask)
{
    MotionGrid g{};
    for (int y = 0; y < kMotionRows; ++y) {
        const uint32_t word = GetLe32(mask + 4 * y);
        for (int x = 0; x < kMotionColumns; ++x)
            g[size_t(y)][size_t(x)] = (word & (0x20000000u >> x)) ? 1 : 0;
    }
    return g;
}

void MotionToMask(const MotionGrid &grid, uint8_t *mask)
{
    for (int y = 0; y < kMotionRows; ++y) {
        uint32_t word = 0;
        for (int x = 0; x < kMotionColumns; ++x)
            if (grid[size_t(y)][size_t(x)])
                word |= 0x20000000u >> x;
        PutLe32(mask + 4 * y, word);
    }
}

void ApplyMotionBrush(MotionGrid &grid, int cx, int cy, int size, bool on)
{
    const int h = size / 2;
    for (int j = 0; j < size; ++j)
        for (int i = 0; i < size; ++i) {
            const int x = cx - h + i, y = cy - h + j;
            if (x >= 0 && x < kMotionColumns && y >= 0 && y < kMotionRows)
                grid[size_t(y)][size_t(x)] = on ? 1 : 0;
        }
}

std::optional<int> MotionCellAt(int pixel, int cells)
{
    if (pixel < 0 || pixel >= cells * kMotionCellPixels)
        return std::nullopt;
    return pixel / kMotionCellPixels;
}

} // namespace strandel
