#include "graphics/rx32_lowlevel.h"

#include <cstring>

namespace strandel {

int32_t Clamp(int32_t value)
{
    return value < 0 ? 0 : (value > 255 ? 255 : value);
}

void FillLongword(void *x, int32_t count, uint32_t value)
{
    auto *p = static_cast<uint32_t *>(x);
    for (int32_t i = 0; i < count; ++i)
        p[i] = value;
}

void MoveLongword(const void *source, void *dest, int32_t count)
{
    if (count <= 0 || source == dest)
        return;
    // memmove: rolls and row reuse hand us overlapping ranges.
    std::memmove(dest, source, size_t(count) * 4);
}

bool TestClip(int32_t &a, int32_t &b, int32_t size)
{
    TestSwap(a, b);
    if (a < 0)
        a = 0;
    if (b >= size)
        b = size - 1;
    return b >= a;
}

TColor32 ColorSwap(uint32_t winColor)
{
    return 0xFF000000u | ((winColor & 0xFF) << 16) | (winColor & 0xFF00) | ((winColor >> 16) & 0xFF);
}

int32_t MulDiv(int32_t multiplicand, int32_t multiplier, int32_t divisor)
{
    const bool negative = ((multiplicand ^ multiplier ^ divisor) < 0);
    const uint64_t a = multiplicand < 0 ? uint64_t(-int64_t(multiplicand)) : uint64_t(multiplicand);
    const uint64_t b = multiplier < 0 ? uint64_t(-int64_t(multiplier)) : uint64_t(multiplier);
    const uint64_t c = divisor < 0 ? uint64_t(-int64_t(divisor)) : uint64_t(divisor);
    if (c == 0)
        return -1;
    const uint64_t p = a * b; // at most 2^62
    uint64_t q = p / c;
    const uint64_t r = p % c;
    if (c - r <= r)
        ++q;
    // Every quotient that does not fit gives -1, whatever its sign.
    if (negative) {
        if (q > 0x80000000u)
            return -1;
        return int32_t(-int64_t(q));
    }
    if (q > 0x7FFFFFFFu)
        return -1;
    return int32_t(q);
}

} // namespace strandel
