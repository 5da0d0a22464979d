#pragma once
// Hot pixel routines behind one table: the plain routine first, the SIMD twin where the CPU has it.
#include <cstddef>
#include <cstdint>

namespace strandel::lumaset {

struct Dsp {
    void (*idct)(int16_t *block);                                          // in place
    void (*put)(uint8_t *dst, ptrdiff_t stride, const int16_t *block);     // clamp to 0..255
    void (*add)(uint8_t *dst, ptrdiff_t stride, const int16_t *block);     // saturating add
};

const Dsp &DspPlain();
const Dsp *DspSse2(); // null when the CPU lacks it
const Dsp &DspBest();

// Row tables of the inverse DCT (rows 0/4, 1/7, 2/6, 3/5) and the per-row rounders.
struct IdctTables {
    int16_t row[4][32];
};
const IdctTables &GetIdctTables();
extern const int32_t kIdctRounder[8];
int IdctTableForRow(int row);

} // namespace strandel::lumaset
