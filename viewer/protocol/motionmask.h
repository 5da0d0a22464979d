#pragma once
// One channel's motion area: 30 x 24 cells; in the record 24 little-endian 32-bit words, one
// per row, column 0 in bit 29 and column 29 in bit 0. Bits 30 and 31 are unused.
#include <array>
#include <cstdint>
#include <optional>

namespace strandel {

constexpr int kMotionColumns = 30;
constexpr int kMotionRows = 24;
constexpr int kMotionMaskBytes = 96;
constexpr int kMotionCellPixels = 10;

using MotionGrid = std::array<std::array<uint8_t, kMotionColumns>, kMotionRows>; // [y][x], 1 = on

MotionGrid MotionFromMask(const uint8_t *mask);
// Every word rebuilt from zero: the unused bits 30 and 31 come out clear.
void MotionToMask(const MotionGrid &grid, uint8_t *mask);
// Sets the cells of a square brush of size 1, 3 or 5 centred on (cx, cy); cells beyond the
// grid are skipped.
void ApplyMotionBrush(MotionGrid &grid, int cx, int cy, int size, bool on);
// The cell under a pixel coordinate, or nothing outside the grid (negative pixels included:
// a division would take -1 .. -9 to cell 0).
std::optional<int> MotionCellAt(int pixel, int cells);

} // namespace strandel
