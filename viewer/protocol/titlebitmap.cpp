#include "viewer/protocol/titlebitmap.h"

#include <algorithm>
#include <array>

namespace strandel {

namespace {
bool Inside(int x, int y) { return x >= 0 && x < kTitleWidth && y >= 0 && y < kTitleHeight; }
} // namespace

bool TitlePixel(std::span<const uint8_t, 144> bits, int x, int y)
{
    return Inside(x, y) && (bits[size_t(TitleByte(x, y))] & TitleBit(x)) != 0;
}

void SetTitlePixel(std::span<uint8_t, 144> bits, int x, int y, bool black)
{
    if (!Inside(x, y))
        return;
    uint8_t &b = bits[size_t(TitleByte(x, y))];
    b = black ? uint8_t(b | TitleBit(x)) : uint8_t(b & ~TitleBit(x));
}

void ClearTitle(std::span<uint8_t, 144> bits) { std::fill(bits.begin(), bits.end(), uint8_t(0)); }

void RotateTitle(std::span<uint8_t, 144> bits, int dx, int dy)
{
    std::array<uint8_t, 144> out{};
    for (int y = 0; y < kTitleHeight; ++y)
        for (int x = 0; x < kTitleWidth; ++x)
            if (TitlePixel(bits, x, y)) {
                const int nx = ((x + dx) % kTitleWidth + kTitleWidth) % kTitleWidth;
                const int ny = ((y + dy) % kTitleHeight + kTitleHeight) % kTitleHeight;
                SetTitlePixel(out, nx, ny, true);
            }
    std::copy(out.begin(), out.end(), bits.begin());
}

} // namespace strandel
