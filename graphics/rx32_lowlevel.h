#pragma once
// Small integer helpers used all over the raster library.
#include <cstdint>

namespace strandel {

using TColor32 = uint32_t;

int32_t Clamp(int32_t value);                       // 0..255
void FillLongword(void *x, int32_t count, uint32_t value);
void MoveLongword(const void *source, void *dest, int32_t count); // overlap-safe
template <typename T> inline void Swap(T &a, T &b) { T t = a; a = b; b = t; }
inline void TestSwap(int32_t &a, int32_t &b) { if (a > b) Swap(a, b); }
bool TestClip(int32_t &a, int32_t &b, int32_t size);
inline int32_t Constrain(int32_t value, int32_t lo, int32_t hi)
{
    return value < lo ? lo : (value > hi ? hi : value);
}

// Arithmetic (sign-keeping) shifts; C++20 defines >> on negative values this way.
inline int32_t SAR_4(int32_t v) { return v >> 4; }
inline int32_t SAR_8(int32_t v) { return v >> 8; }
inline int32_t SAR_9(int32_t v) { return v >> 9; }
inline int32_t SAR_12(int32_t v) { return v >> 12; }
inline int32_t SAR_13(int32_t v) { return v >> 13; }
inline int32_t SAR_14(int32_t v) { return v >> 14; }
inline int32_t SAR_16(int32_t v) { return v >> 16; }

// 0x00BBGGRR -> 0xFFRRGGBB.
TColor32 ColorSwap(uint32_t winColor);

// A * B / C with a 64-bit product, rounded half away from zero; -1 when the quotient
// does not fit in 32 bits or C is 0.
int32_t MulDiv(int32_t multiplicand, int32_t multiplier, int32_t divisor);

} // namespace strandel
