#include "viewer/link/crc32.h"

#include "platform/endian.h"

#include <array>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace strandel {
namespace {

constexpr uint32_t kPoly = 0x04C11DB7u;

constexpr std::array<uint32_t, 256> MakeTable()
{
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i << 24;
        for (int k = 0; k < 8; ++k)
            c = (c & 0x80000000u) ? (c << 1) ^ kPoly : c << 1;
        t[i] = c;
    }
    return t;
}

// Built at compile time, so every user sees a full table whenever it runs.
constexpr std::array<uint32_t, 256> kTable = MakeTable();

// Slice k holds the effect of a byte followed by k zero bytes, so eight bytes take one step.
constexpr std::array<std::array<uint32_t, 256>, 8> MakeSlices()
{
    std::array<std::array<uint32_t, 256>, 8> t{};
    t[0] = MakeTable();
    for (int k = 1; k < 8; ++k)
        for (int i = 0; i < 256; ++i)
            t[k][i] = (t[k - 1][i] << 8) ^ t[0][t[k - 1][i] >> 24];
    return t;
}
constexpr auto kSlices = MakeSlices();

uint32_t CrcUpdateSliced(uint32_t crc, const uint8_t *data, int count)
{
    const auto &t = kSlices;
    for (; count >= 8; count -= 8, data += 8) {
        const uint32_t a = crc ^ GetBe32(data);
        const uint32_t b = GetBe32(data + 4);
        crc = t[7][a >> 24] ^ t[6][(a >> 16) & 0xFF] ^ t[5][(a >> 8) & 0xFF] ^ t[4][a & 0xFF] ^
              t[3][b >> 24] ^ t[2][(b >> 16) & 0xFF] ^ t[1][(b >> 8) & 0xFF] ^ t[0][b & 0xFF];
    }
    return CrcUpdatePlain(crc, data, count);
}

#if defined(__x86_64__)

// x^n mod P, the factors that move a 64-bit half of a block n bits further down the message.
constexpr uint64_t XPowMod(int n)
{
    uint64_t r = 1;
    for (int i = 0; i < n; ++i) {
        r <<= 1;
        if (r & (uint64_t(1) << 32))
            r ^= (uint64_t(1) << 32) | kPoly;
    }
    return r;
}

// Carry-less multiplication folds 16-byte blocks: a block B followed by n bits is congruent
// (mod P) to hi(B) * (x^(n+64) mod P) + lo(B) * (x^n mod P), a value that fits 128 bits again.
// The folded remainder and the tail then go through the table routine.
#define STRANDEL_CLMUL __attribute__((target("pclmul,ssse3")))

// First message byte to the top of the register: bit i is the coefficient of x^i.
STRANDEL_CLMUL inline __m128i Reverse(__m128i v)
{
    return _mm_shuffle_epi8(v, _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15));
}
STRANDEL_CLMUL inline __m128i Load(const uint8_t *p)
{
    return Reverse(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p)));
}
STRANDEL_CLMUL inline __m128i Fold(__m128i x, __m128i k, __m128i next)
{
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x11), _mm_clmulepi64_si128(x, k, 0x00)), next);
}

STRANDEL_CLMUL uint32_t CrcUpdateClmul(uint32_t crc, const uint8_t *data, int count)
{
    if (count < 64)
        return CrcUpdateSliced(crc, data, count);
    constexpr uint64_t k576 = XPowMod(512 + 64), k512v = XPowMod(512), k192 = XPowMod(128 + 64), k128v = XPowMod(128);
    const __m128i k512 = _mm_set_epi64x(int64_t(k576), int64_t(k512v));
    const __m128i k128 = _mm_set_epi64x(int64_t(k192), int64_t(k128v));

    // The running CRC joins the first four bytes, as in the byte loop.
    __m128i x0 = _mm_xor_si128(Load(data), _mm_set_epi32(int(crc), 0, 0, 0));
    __m128i x1 = Load(data + 16), x2 = Load(data + 32), x3 = Load(data + 48);
    data += 64;
    count -= 64;
    for (; count >= 64; count -= 64, data += 64) {
        x0 = Fold(x0, k512, Load(data));
        x1 = Fold(x1, k512, Load(data + 16));
        x2 = Fold(x2, k512, Load(data + 32));
        x3 = Fold(x3, k512, Load(data + 48));
    }
    x1 = Fold(x0, k128, x1);
    x2 = Fold(x1, k128, x2);
    __m128i x = Fold(x2, k128, x3);
    for (; count >= 16; count -= 16, data += 16)
        x = Fold(x, k128, Load(data));

    uint8_t rest[16];
    _mm_storeu_si128(reinterpret_cast<__m128i *>(rest), Reverse(x));
    return CrcUpdateSliced(CrcUpdateSliced(0, rest, 16), data, count);
}

#endif

using CrcFn = uint32_t (*)(uint32_t, const uint8_t *, int);

std::vector<CrcRoutine> MakeRoutines()
{
    std::vector<CrcRoutine> r{{"plain", CrcUpdatePlain}, {"sliced", CrcUpdateSliced}};
#if defined(__x86_64__)
    __builtin_cpu_init(); // may run before the constructors that set it up
    if (__builtin_cpu_supports("pclmul") && __builtin_cpu_supports("ssse3"))
        r.push_back({"clmul", CrcUpdateClmul});
#endif
    return r;
}

// The fastest routine this CPU has, chosen once.
CrcFn BestRoutine() { return MakeRoutines().back().fn; }
const CrcFn crcUpdateBest = BestRoutine();

} // namespace

void BuildCrcTable() {}

const uint32_t *CrcTable() { return kTable.data(); }

uint32_t CrcUpdatePlain(uint32_t crc, const uint8_t *data, int count)
{
    for (int i = 0; i < count; ++i)
        crc = (crc << 8) ^ kTable[(crc >> 24) ^ data[i]];
    return crc;
}

uint32_t CrcUpdate(uint32_t crc, const uint8_t *data, int count)
{
    // Static initialisation may not have run yet when another static calls in.
    return crcUpdateBest ? crcUpdateBest(crc, data, count) : CrcUpdateSliced(crc, data, count);
}

const std::vector<CrcRoutine> &CrcRoutines()
{
    static const std::vector<CrcRoutine> routines = MakeRoutines();
    return routines;
}

bool CheckCrc(const uint8_t *data, uint32_t size)
{
    if (size < 4)
        return false;
    return CrcUpdate(0, data, int(size - 4)) == GetLe32(data + size - 4);
}

} // namespace strandel
