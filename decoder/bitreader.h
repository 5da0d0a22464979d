#pragma once
// Big-endian bit reader over one caller-owned input. Bytes at or past the end read as zero,
// so a truncated or hostile frame can never make the reader touch memory it was not given.
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace strandel::lumaset {

struct BitReader {
    const uint8_t *data;
    uint32_t length;
    uint32_t pos; // byte index, never beyond length
    uint32_t bit; // 0..7 within data[pos]
    uint32_t overrun; // set once a read went past the end
};

inline void SetInput(BitReader &r, const uint8_t *data, uint32_t length)
{
    r.data = data;
    r.length = data ? length : 0;
    r.pos = 0;
    r.bit = 0;
    r.overrun = 0;
}

// The 32 bits starting at byte pos, zero-filled past the end.
inline uint32_t Load32(const BitReader &r, uint32_t pos)
{
    if (pos + 4 <= r.length && pos + 4 > pos) {
        const uint8_t *p = r.data + pos;
        return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
    }
    uint32_t w = 0;
    for (uint32_t i = 0; i < 4; ++i)
        w = w << 8 | (pos + i < r.length ? r.data[pos + i] : 0u);
    return w;
}

// Next n bits (1..32) without consuming them.
inline uint32_t ShowBits(const BitReader &r, int n)
{
    if (r.length - r.pos >= 8) { // fast path: eight bytes are there to read
        uint64_t v;
        std::memcpy(&v, r.data + r.pos, 8);
        return uint32_t((__builtin_bswap64(v) << r.bit) >> (64 - n));
    }
    uint64_t w = uint64_t(Load32(r, r.pos)) << 8;
    if (r.bit + n > 24)
        w |= r.pos + 4 < r.length ? r.data[r.pos + 4] : 0u;
    w <<= 24 + r.bit; // the wanted bits now lead the 64-bit word
    return uint32_t(w >> (64 - n));
}

inline void FlushBits(BitReader &r, int n)
{
    const uint32_t bits = r.bit + uint32_t(n);
    r.pos += bits >> 3;
    r.bit = bits & 7;
    if (r.pos >= r.length && (r.pos > r.length || r.bit)) { // past the end everything reads as zero
        r.pos = r.length;
        r.bit = 0;
        r.overrun = 1;
    }
}

inline uint32_t GetBits(BitReader &r, int n)
{
    const uint32_t v = ShowBits(r, n);
    FlushBits(r, n);
    return v;
}

inline uint32_t GetBit(BitReader &r) { return GetBits(r, 1); }

inline void ByteAlign(BitReader &r)
{
    if (r.bit)
        FlushBits(r, 8 - int(r.bit));
}

inline bool AtEnd(const BitReader &r) { return r.pos >= r.length; }

// The n bits after the stuffing at the current position (end-of-picture test of the macroblock
// loops). Stuffing is a 0 and then 1s up to the byte boundary, or a whole 0x7F byte when aligned.
// Where the bits up to the boundary are no stuffing, the picture goes on, and all n bits read as 1:
// a short last macroblock would otherwise pass for stuffing and be lost.
inline uint32_t ShowBitsByteAligned(const BitReader &r, int n)
{
    BitReader t = r;
    const int pad = t.bit ? 8 - int(t.bit) : 8;
    if (ShowBits(t, pad) != (1u << (pad - 1)) - 1)
        return t.bit ? ~0u >> (32 - n) : ShowBits(t, n);
    FlushBits(t, pad);
    return ShowBits(t, n);
}

// The bits after a reader's position held in a register, for the coefficient loops: each step
// of the loop is a shift of the register and a table look, not a load from memory. One Refill
// leaves at least 56 bits in the register (zeros past the end of the input), enough for the
// longest coefficient event (30 bits). Sync hands the position back to the reader, with the
// overrun flag set when the reading went past the end.
struct BitCache {
    const uint8_t *data;
    uint32_t length;
    uint32_t next; // byte of the input that enters the register next; past length only zeros
    int count;     // valid bits at the top of the register
    uint64_t bits;

    explicit BitCache(const BitReader &r) : data(r.data), length(r.length), next(r.pos), count(0), bits(0)
    {
        Refill();
        Skip(int(r.bit));
    }

    void Refill()
    {
        if (uint64_t(next) + 8 <= length) [[likely]] {
            uint64_t v;
            std::memcpy(&v, data + next, 8);
            // Whole bytes below the valid bits; any bits beyond them are the next bytes' own, so
            // the next refill writes the same bits over them.
            bits |= __builtin_bswap64(v) >> count;
            const int take = (63 - count) >> 3;
            next += uint32_t(take);
            count += 8 * take;
            return;
        }
        while (count <= 56) {
            const uint64_t b = next < length ? data[next] : 0u;
            bits |= b << (56 - count);
            ++next;
            count += 8;
        }
    }

    uint32_t Show(int n) const { return uint32_t(bits >> (64 - n)); } // 1 <= n <= 32, n <= count
    void Skip(int n)
    {
        bits <<= n;
        count -= n;
    }
    uint32_t Get(int n)
    {
        const uint32_t v = Show(n);
        Skip(n);
        return v;
    }

    void Sync(BitReader &r) const
    {
        const uint64_t consumed = uint64_t(next) * 8 - uint64_t(count);
        if (consumed > uint64_t(length) * 8) {
            r.pos = length;
            r.bit = 0;
            r.overrun = 1;
            return;
        }
        r.pos = uint32_t(consumed >> 3);
        r.bit = uint32_t(consumed & 7);
    }
};

// The reader's own calls on cached bits, so that code reads either the same way.
inline uint32_t ShowBits(BitCache &r, int n)
{
    if (r.count < n)
        r.Refill();
    return r.Show(n);
}

inline void FlushBits(BitCache &r, int n) { r.Skip(n); }

inline uint32_t GetBits(BitCache &r, int n)
{
    const uint32_t v = ShowBits(r, n);
    r.Skip(n);
    return v;
}

inline uint32_t GetBit(BitCache &r) { return GetBits(r, 1); }

// A macroblock header read from cached bits; the position goes back to the reader before the
// blocks (which read it themselves), or when the header ends early.
struct HeaderBits {
    BitCache bits;
    BitReader &reader;
    bool handed = false;

    explicit HeaderBits(BitReader &r) : bits(r), reader(r) {}
    HeaderBits(const HeaderBits &) = delete;
    HeaderBits &operator=(const HeaderBits &) = delete;
    ~HeaderBits()
    {
        if (!handed)
            bits.Sync(reader);
    }
    BitReader &Hand()
    {
        if (!handed) {
            bits.Sync(reader);
            handed = true;
        }
        return reader;
    }
};

} // namespace strandel::lumaset
