#include "decoder/vlc.h"

#include <cstring>

namespace strandel::lumaset {
namespace {

// MCBPC of I-VOPs: mb_type | cbpc << 4; 7 is stuffing.
constexpr Code kMcbpcI[] = {
    {0b1, 1, 0x03}, {0b001, 3, 0x13}, {0b010, 3, 0x23}, {0b011, 3, 0x33}, {0b0001, 4, 0x04},
    {0b000001, 6, 0x14}, {0b000010, 6, 0x24}, {0b000011, 6, 0x34}, {0b000000001, 9, 0x07},
};

// MCBPC of P-VOPs.
constexpr Code kMcbpcP[] = {
    {0b1, 1, 0x00}, {0b0011, 4, 0x10}, {0b0010, 4, 0x20}, {0b000101, 6, 0x30},
    {0b011, 3, 0x01}, {0b0000111, 7, 0x11}, {0b0000110, 7, 0x21}, {0b000000101, 9, 0x31},
    {0b010, 3, 0x02}, {0b0000101, 7, 0x12}, {0b0000100, 7, 0x22}, {0b00000101, 8, 0x32},
    {0b00011, 5, 0x03}, {0b00000100, 8, 0x13}, {0b00000011, 8, 0x23}, {0b0000011, 7, 0x33},
    {0b000100, 6, 0x04}, {0b000000100, 9, 0x14}, {0b000000011, 9, 0x24}, {0b000000010, 9, 0x34},
    {0b000000001, 9, 0x07},
};

// CBPY as coded for intra macroblocks.
constexpr Code kCbpy[] = {
    {0b0011, 4, 0}, {0b00101, 5, 1}, {0b00100, 5, 2}, {0b1001, 4, 3}, {0b00011, 5, 4}, {0b0111, 4, 5},
    {0b000010, 6, 6}, {0b1011, 4, 7}, {0b00010, 5, 8}, {0b000011, 6, 9}, {0b0101, 4, 10}, {0b1010, 4, 11},
    {0b0100, 4, 12}, {0b1000, 4, 13}, {0b0110, 4, 14}, {0b11, 2, 15},
};

constexpr Code kDcSizeLuma[] = {
    {0b011, 3, 0}, {0b11, 2, 1}, {0b10, 2, 2}, {0b010, 3, 3}, {0b001, 3, 4}, {0b0001, 4, 5},
    {0b00001, 5, 6}, {0b000001, 6, 7}, {0b0000001, 7, 8}, {0b00000001, 8, 9}, {0b000000001, 9, 10},
    {0b0000000001, 10, 11}, {0b00000000001, 11, 12},
};

constexpr Code kDcSizeChroma[] = {
    {0b11, 2, 0}, {0b10, 2, 1}, {0b01, 2, 2}, {0b001, 3, 3}, {0b0001, 4, 4}, {0b00001, 5, 5},
    {0b000001, 6, 6}, {0b0000001, 7, 7}, {0b00000001, 8, 8}, {0b000000001, 9, 9}, {0b0000000001, 10, 10},
    {0b00000000001, 11, 11}, {0b000000000001, 12, 12},
};

// Motion vector differences -32..32 in half-pixel units.
constexpr Code kMvd[] = {
    {0b0000000000101, 13, -32}, {0b0000000000111, 13, -31}, {0b000000000101, 12, -30},
    {0b000000000111, 12, -29}, {0b000000001001, 12, -28}, {0b000000001011, 12, -27},
    {0b000000001101, 12, -26}, {0b000000001111, 12, -25}, {0b00000001001, 11, -24},
    {0b00000001011, 11, -23}, {0b00000001101, 11, -22}, {0b00000001111, 11, -21},
    {0b00000010001, 11, -20}, {0b00000010011, 11, -19}, {0b00000010101, 11, -18},
    {0b00000010111, 11, -17}, {0b00000011001, 11, -16}, {0b00000011011, 11, -15},
    {0b00000011101, 11, -14}, {0b00000011111, 11, -13}, {0b00000100001, 11, -12},
    {0b00000100011, 11, -11}, {0b0000010011, 10, -10}, {0b0000010101, 10, -9}, {0b0000010111, 10, -8},
    {0b00000111, 8, -7}, {0b00001001, 8, -6}, {0b00001011, 8, -5}, {0b0000111, 7, -4}, {0b00011, 5, -3},
    {0b0011, 4, -2}, {0b011, 3, -1}, {0b1, 1, 0}, {0b010, 3, 1}, {0b0010, 4, 2}, {0b00010, 5, 3},
    {0b0000110, 7, 4}, {0b00001010, 8, 5}, {0b00001000, 8, 6}, {0b00000110, 8, 7},
    {0b0000010110, 10, 8}, {0b0000010100, 10, 9}, {0b0000010010, 10, 10}, {0b00000100010, 11, 11},
    {0b00000100000, 11, 12}, {0b00000011110, 11, 13}, {0b00000011100, 11, 14},
    {0b00000011010, 11, 15}, {0b00000011000, 11, 16}, {0b00000010110, 11, 17},
    {0b00000010100, 11, 18}, {0b00000010010, 11, 19}, {0b00000010000, 11, 20},
    {0b00000001110, 11, 21}, {0b00000001100, 11, 22}, {0b00000001010, 11, 23},
    {0b00000001000, 11, 24}, {0b000000001110, 12, 25}, {0b000000001100, 12, 26},
    {0b000000001010, 12, 27}, {0b000000001000, 12, 28}, {0b000000000110, 12, 29},
    {0b000000000100, 12, 30}, {0b0000000000110, 13, 31}, {0b0000000000100, 13, 32},
};

// Coefficient events: level | run << 6 | last << 12 (sign bit not included).
constexpr int16_t Ev(int last, int run, int level) { return int16_t(level | run << 6 | last << 12); }

struct RunCodes {
    int last, run;
    Code codes[27]; // levels 1.. in order; length 0 ends the list
};

constexpr Code C(uint16_t bits, uint8_t length) { return Code{bits, length, 0}; }

// Intra events by (last, run), levels counting up from 1.
constexpr RunCodes kIntraRuns[] = {
    {0, 0, {C(0x2, 2), C(0x6, 3), C(0xf, 4), C(0xd, 5), C(0xc, 5), C(0x15, 6), C(0x13, 6), C(0x12, 6),
            C(0x17, 7), C(0x1f, 8), C(0x1e, 8), C(0x1d, 8), C(0x25, 9), C(0x24, 9), C(0x23, 9), C(0x21, 9),
            C(0x21, 10), C(0x20, 10), C(0xf, 10), C(0xe, 10), C(0x7, 11), C(0x6, 11), C(0x20, 11),
            C(0x21, 11), C(0x50, 12), C(0x51, 12), C(0x52, 12)}},
    {0, 1, {C(0xe, 4), C(0x14, 6), C(0x16, 7), C(0x1c, 8), C(0x20, 9), C(0x1f, 9), C(0xd, 10), C(0x22, 11),
            C(0x53, 12), C(0x55, 12)}},
    {0, 2, {C(0xb, 5), C(0x15, 7), C(0x1e, 9), C(0xc, 10), C(0x56, 12)}},
    {0, 3, {C(0x11, 6), C(0x1b, 8), C(0x1d, 9), C(0xb, 10)}},
    {0, 4, {C(0x10, 6), C(0x22, 9), C(0xa, 10)}},
    {0, 5, {C(0xd, 6), C(0x1c, 9), C(0x8, 10)}},
    {0, 6, {C(0x12, 7), C(0x1b, 9), C(0x54, 12)}},
    {0, 7, {C(0x14, 7), C(0x1a, 9), C(0x57, 12)}},
    {0, 8, {C(0x19, 8), C(0x9, 10)}},
    {0, 9, {C(0x18, 8), C(0x23, 11)}},
    {0, 10, {C(0x17, 8)}},
    {0, 11, {C(0x19, 9)}},
    {0, 12, {C(0x18, 9)}},
    {0, 13, {C(0x7, 10)}},
    {0, 14, {C(0x58, 12)}},
    {1, 0, {C(0x7, 4), C(0xc, 6), C(0x16, 8), C(0x17, 9), C(0x6, 10), C(0x5, 11), C(0x4, 11), C(0x59, 12)}},
    {1, 1, {C(0xf, 6), C(0x16, 9), C(0x5, 10)}},
    {1, 2, {C(0xe, 6), C(0x4, 10)}},
    {1, 3, {C(0x11, 7), C(0x24, 11)}},
    {1, 4, {C(0x10, 7), C(0x25, 11)}},
    {1, 5, {C(0x13, 7), C(0x5a, 12)}},
    {1, 6, {C(0x15, 8), C(0x5b, 12)}},
    {1, 7, {C(0x14, 8)}},
    {1, 8, {C(0x13, 8)}},
    {1, 9, {C(0x1a, 8)}},
    {1, 10, {C(0x15, 9)}},
    {1, 11, {C(0x14, 9)}},
    {1, 12, {C(0x13, 9)}},
    {1, 13, {C(0x12, 9)}},
    {1, 14, {C(0x11, 9)}},
    {1, 15, {C(0x26, 11)}},
    {1, 16, {C(0x27, 11)}},
    {1, 17, {C(0x5c, 12)}},
    {1, 18, {C(0x5d, 12)}},
    {1, 19, {C(0x5e, 12)}},
    {1, 20, {C(0x5f, 12)}},
};

// Inter events by (last, run).
constexpr RunCodes kInterRuns[] = {
    {0, 0, {C(0x2, 2), C(0xf, 4), C(0x15, 6), C(0x17, 7), C(0x1f, 8), C(0x25, 9), C(0x24, 9), C(0x21, 10),
            C(0x20, 10), C(0x7, 11), C(0x6, 11), C(0x20, 11)}},
    {0, 1, {C(0x6, 3), C(0x14, 6), C(0x1e, 8), C(0xf, 10), C(0x21, 11), C(0x50, 12)}},
    {0, 2, {C(0xe, 4), C(0x1d, 8), C(0xe, 10), C(0x51, 12)}},
    {0, 3, {C(0xd, 5), C(0x23, 9), C(0xd, 10)}},
    {0, 4, {C(0xc, 5), C(0x22, 9), C(0x52, 12)}},
    {0, 5, {C(0xb, 5), C(0xc, 10), C(0x53, 12)}},
    {0, 6, {C(0x13, 6), C(0xb, 10), C(0x54, 12)}},
    {0, 7, {C(0x12, 6), C(0xa, 10)}},
    {0, 8, {C(0x11, 6), C(0x9, 10)}},
    {0, 9, {C(0x10, 6), C(0x8, 10)}},
    {0, 10, {C(0x16, 7), C(0x55, 12)}},
    {0, 11, {C(0x15, 7)}}, {0, 12, {C(0x14, 7)}}, {0, 13, {C(0x1c, 8)}}, {0, 14, {C(0x1b, 8)}},
    {0, 15, {C(0x21, 9)}}, {0, 16, {C(0x20, 9)}}, {0, 17, {C(0x1f, 9)}}, {0, 18, {C(0x1e, 9)}},
    {0, 19, {C(0x1d, 9)}}, {0, 20, {C(0x1c, 9)}}, {0, 21, {C(0x1b, 9)}}, {0, 22, {C(0x1a, 9)}},
    {0, 23, {C(0x22, 11)}}, {0, 24, {C(0x23, 11)}}, {0, 25, {C(0x56, 12)}}, {0, 26, {C(0x57, 12)}},
    {1, 0, {C(0x7, 4), C(0x19, 9), C(0x5, 11)}},
    {1, 1, {C(0xf, 6), C(0x4, 11)}},
    {1, 2, {C(0xe, 6)}}, {1, 3, {C(0xd, 6)}}, {1, 4, {C(0xc, 6)}}, {1, 5, {C(0x13, 7)}},
    {1, 6, {C(0x12, 7)}}, {1, 7, {C(0x11, 7)}}, {1, 8, {C(0x10, 7)}}, {1, 9, {C(0x1a, 8)}},
    {1, 10, {C(0x19, 8)}}, {1, 11, {C(0x18, 8)}}, {1, 12, {C(0x17, 8)}}, {1, 13, {C(0x16, 8)}},
    {1, 14, {C(0x15, 8)}}, {1, 15, {C(0x14, 8)}}, {1, 16, {C(0x13, 8)}}, {1, 17, {C(0x18, 9)}},
    {1, 18, {C(0x17, 9)}}, {1, 19, {C(0x16, 9)}}, {1, 20, {C(0x15, 9)}}, {1, 21, {C(0x14, 9)}},
    {1, 22, {C(0x13, 9)}}, {1, 23, {C(0x12, 9)}}, {1, 24, {C(0x11, 9)}}, {1, 25, {C(0x7, 10)}},
    {1, 26, {C(0x6, 10)}}, {1, 27, {C(0x5, 10)}}, {1, 28, {C(0x4, 10)}}, {1, 29, {C(0x24, 11)}},
    {1, 30, {C(0x25, 11)}}, {1, 31, {C(0x26, 11)}}, {1, 32, {C(0x27, 11)}}, {1, 33, {C(0x58, 12)}},
    {1, 34, {C(0x59, 12)}}, {1, 35, {C(0x5a, 12)}}, {1, 36, {C(0x5b, 12)}}, {1, 37, {C(0x5c, 12)}},
    {1, 38, {C(0x5d, 12)}}, {1, 39, {C(0x5e, 12)}}, {1, 40, {C(0x5f, 12)}},
};

constexpr Code kTcoefEscapeCode = {0b0000011, 7, kTcoefEscape};

constexpr uint8_t kZigzag[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};
constexpr uint8_t kAltHorizontal[64] = {
    0, 1, 2, 3, 8, 9, 16, 17, 10, 11, 4, 5, 6, 7, 15, 14, 13, 12, 19, 18, 24, 25, 32, 33, 26, 27, 20, 21, 22, 23, 28,
    29, 30, 31, 34, 35, 40, 41, 48, 49, 42, 43, 36, 37, 38, 39, 44, 45, 46, 47, 50, 51, 56, 57, 58, 59, 52, 53, 54, 55,
    60, 61, 62, 63};
constexpr uint8_t kAltVertical[64] = {
    0, 8, 16, 24, 1, 9, 2, 10, 17, 25, 32, 40, 48, 56, 57, 49, 41, 33, 26, 18, 3, 11, 4, 12, 19, 27, 34, 42, 50, 58,
    35, 43, 51, 59, 20, 28, 5, 13, 6, 14, 21, 29, 36, 44, 52, 60, 37, 45, 53, 61, 22, 30, 7, 15, 23, 31, 38, 46, 54,
    62, 39, 47, 55, 63};

constexpr uint8_t kDefaultIntraMatrix[64] = {
    8, 17, 18, 19, 21, 23, 25, 27, 17, 18, 19, 21, 23, 25, 27, 28, 20, 21, 22, 23, 24, 26, 28, 30,
    21, 22, 23, 24, 26, 28, 30, 32, 22, 23, 24, 26, 28, 30, 32, 35, 23, 24, 26, 28, 30, 32, 35, 38,
    25, 26, 28, 30, 32, 35, 38, 41, 27, 28, 30, 32, 35, 38, 41, 45};
constexpr uint8_t kDefaultNonIntraMatrix[64] = {
    16, 17, 18, 19, 20, 21, 22, 23, 17, 18, 19, 20, 21, 22, 23, 24, 18, 19, 20, 21, 22, 23, 24, 25,
    19, 20, 21, 22, 23, 24, 26, 27, 20, 21, 22, 23, 25, 26, 27, 28, 21, 22, 23, 24, 26, 27, 28, 30,
    22, 23, 24, 26, 27, 28, 30, 31, 23, 24, 25, 27, 28, 30, 31, 33};

template <int N, size_t M>
bool Build(Vlc<N> &v, const Code (&codes)[M])
{
    return BuildVlc(&v.max_zeros, v.width, v.offset, v.entry, N, codes, int(M));
}

// Expands a run table into codes, and fills its LMAX and RMAX tables on the way.
template <int N, size_t M>
bool BuildTcoef(Vlc<N> &v, uint8_t (&lmax)[2][64], uint8_t (&rmax)[2][64], const RunCodes (&runs)[M])
{
    Code codes[103];
    int n = 0;
    std::memset(lmax, 0, sizeof lmax);
    std::memset(rmax, 0, sizeof rmax);
    for (const RunCodes &rc : runs) {
        for (int i = 0; i < 27 && rc.codes[i].length; ++i) {
            const int level = i + 1;
            codes[n++] = Code{rc.codes[i].bits, rc.codes[i].length, Ev(rc.last, rc.run, level)};
            if (level > lmax[rc.last][rc.run])
                lmax[rc.last][rc.run] = uint8_t(level);
            if (rc.run > rmax[rc.last][level])
                rmax[rc.last][level] = uint8_t(rc.run);
        }
    }
    codes[n++] = kTcoefEscapeCode;
    return BuildVlc(&v.max_zeros, v.width, v.offset, v.entry, N, codes, n);
}

} // namespace

bool BuildVlc(uint8_t *max_zeros, uint8_t *width, uint16_t *offset, VlcEntry *entry, int capacity,
              const Code *codes, int count)
{
    constexpr int kGroups = 15;
    int maxz = 0;
    for (int g = 0; g < kGroups; ++g)
        width[g] = 0;
    for (int i = 0; i < count; ++i) {
        const int z = codes[i].length - (32 - __builtin_clz(codes[i].bits));
        if (z >= kGroups)
            return false;
        maxz = z > maxz ? z : maxz;
        const int w = codes[i].length - z - 1;
        if (w > width[z])
            width[z] = uint8_t(w);
    }
    int total = 0;
    for (int g = 0; g < kGroups; ++g) {
        offset[g] = uint16_t(total);
        if (g <= maxz)
            total += 1 << width[g];
    }
    if (total > capacity)
        return false;
    std::memset(entry, 0, sizeof(VlcEntry) * size_t(capacity));
    for (int i = 0; i < count; ++i) {
        const Code &c = codes[i];
        const int z = c.length - (32 - __builtin_clz(c.bits));
        const int k = c.length - z - 1; // bits after the first 1
        const int w = width[z];
        const int suffix = c.bits & ((1 << k) - 1);
        const int first = offset[z] + (suffix << (w - k));
        for (int j = 0; j < 1 << (w - k); ++j)
            entry[first + j] = VlcEntry{c.value, c.length, 0};
    }
    *max_zeros = uint8_t(maxz);
    return true;
}

const VlcEntry *TcoefFast(bool inter)
{
    // Every coefficient code is at most 12 bits: one look serves all but the invalid ones.
    static const struct Fast {
        VlcEntry entry[2][1 << kTcoefFastBits];
        Fast()
        {
            static DecoderTables t; // the code lists' lookup form, built once
            BuildTables(t);
            for (int k = 0; k < 2; ++k) {
                const Vlc<256> &v = k ? t.tcoef_inter : t.tcoef_intra;
                for (int p = 0; p < 1 << kTcoefFastBits; ++p) {
                    BitReader r;
                    const uint8_t bytes[2] = {uint8_t(p >> (kTcoefFastBits - 8)),
                                              uint8_t(p << (16 - kTcoefFastBits))};
                    SetInput(r, bytes, 2);
                    const int value = ReadVlc(r, v);
                    const int length = int(r.pos * 8 + r.bit);
                    entry[k][p] = value != kVlcInvalid && length <= kTcoefFastBits
                                      ? VlcEntry{int16_t(value), uint8_t(length), 0}
                                      : VlcEntry{};
                }
            }
        }
    } fast;
    return fast.entry[inter ? 1 : 0];
}

const TcoefEvent *TcoefEvents(bool inter)
{
    static const struct Events {
        TcoefEvent entry[2][1 << kTcoefFastBits];
        Events()
        {
            for (int k = 0; k < 2; ++k) {
                const VlcEntry *fast = TcoefFast(k != 0);
                for (int p = 0; p < 1 << kTcoefFastBits; ++p) {
                    const VlcEntry e = fast[p];
                    const bool fits = e.length && e.length < kTcoefFastBits && e.value != kTcoefEscape;
                    const int sign = fits ? (p >> (kTcoefFastBits - 1 - e.length)) & 1 : 0;
                    entry[k][p] = fits ? TcoefEvent{uint8_t(e.length + 1),
                                                    uint8_t(((e.value >> 6) & 63) + 64 * (e.value >> 12)),
                                                    uint8_t(2 * (e.value & 63) + sign), 0}
                                       : TcoefEvent{};
                }
            }
        }
    } events;
    return events.entry[inter ? 1 : 0];
}

bool BuildTables(DecoderTables &t)
{
    std::memcpy(t.scan[0], kZigzag, 64);
    std::memcpy(t.scan[1], kAltHorizontal, 64);
    std::memcpy(t.scan[2], kAltVertical, 64);
    std::memcpy(t.intra_matrix, kDefaultIntraMatrix, 64);
    std::memcpy(t.nonintra_matrix, kDefaultNonIntraMatrix, 64);
    std::memcpy(t.chroma_round, kChromaRound, 16);
    const bool built = Build(t.mcbpc_i, kMcbpcI) && Build(t.mcbpc_p, kMcbpcP) && Build(t.cbpy, kCbpy) &&
              Build(t.dc_luma, kDcSizeLuma) && Build(t.dc_chroma, kDcSizeChroma) && Build(t.mvd, kMvd) &&
              BuildTcoef(t.tcoef_intra, t.lmax_intra, t.rmax_intra, kIntraRuns) &&
              BuildTcoef(t.tcoef_inter, t.lmax_inter, t.rmax_inter, kInterRuns);
    return built;
}

} // namespace strandel::lumaset
