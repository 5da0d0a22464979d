#pragma once
// A channel title bitmap: 72 x 16 pixels, one bit each, stored as nine 8-pixel-wide columns of
// 16 bytes (one byte per row of the column), leftmost pixel in the top bit. A set bit is black.
#include <cstdint>
#include <span>

namespace strandel {

constexpr int kTitleWidth = 72;
constexpr int kTitleHeight = 16;

// Byte index and bit of pixel (x, y); the caller keeps x and y inside the bitmap.
constexpr int TitleByte(int x, int y) { return (x / 8) * kTitleHeight + y; }
constexpr uint8_t TitleBit(int x) { return uint8_t(0x80 >> (x % 8)); }

// Pixels outside the bitmap read white and are never written.
bool TitlePixel(std::span<const uint8_t, 144> bits, int x, int y);
void SetTitlePixel(std::span<uint8_t, 144> bits, int x, int y, bool black);
void ClearTitle(std::span<uint8_t, 144> bits);
// Moves every pixel by (dx, dy) with wrap-around: pixels pushed out come in on the other side.
void RotateTitle(std::span<uint8_t, 144> bits, int dx, int dy);

} // namespace strandel
