#pragma once
// Variable-length code tables of MPEG-4 Visual and the readers over them.
#include "decoder/state.h"

namespace strandel::lumaset {

struct Code {
    uint16_t bits;
    uint8_t length;
    int16_t value;
};

// Fills every table of the block from the constant code lists.
bool BuildTables(DecoderTables &t);

// Builds one lookup table; false when the codes do not fit its capacity.
bool BuildVlc(uint8_t *max_zeros, uint8_t *width, uint16_t *offset, VlcEntry *entry, int capacity,
              const Code *codes, int count);

constexpr int kVlcInvalid = -0x10000; // below every table value (motion differences are negative)

// Reads one code; returns kVlcInvalid (and consumes nothing) when the bits match no code.
template <typename Reader, int N>
inline int ReadVlc(Reader &r, const Vlc<N> &t)
{
    const uint32_t v = ShowBits(r, 16);
    const int zeros = v ? __builtin_clz(v) - 16 : 16;
    if (zeros > t.max_zeros)
        return kVlcInvalid;
    const int w = t.width[zeros];
    const uint32_t idx = (v >> (15 - zeros - w)) & ((1u << w) - 1);
    const VlcEntry e = t.entry[t.offset[zeros] + idx];
    if (e.length == 0)
        return kVlcInvalid;
    FlushBits(r, e.length);
    return e.value;
}

// Direct lookup of the coefficient codes (intra or inter) by their first kTcoefFastBits bits;
// length 0 where no code of at most that many bits starts.
constexpr int kTcoefFastBits = 12;
const VlcEntry *TcoefFast(bool inter);

// The same look-up with each code's event taken apart in advance, sign included: length counts
// the sign bit after the code, run counts 64 more on the last event of a block, level is twice
// the level's magnitude plus the sign bit (1 for negative). 0 marks the escape code, codes whose sign lies beyond the kTcoefFastBits looked at,
// and bits that start no code.
struct TcoefEvent {
    uint8_t length, run, level;
    uint8_t spare; // 0: keeps an entry four bytes, one load
};
const TcoefEvent *TcoefEvents(bool inter);

constexpr uint8_t kChromaRound[16] = {0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2};

} // namespace strandel::lumaset
