#include "crc32.h"

#include "platform/endian.h"

#include <array>

namespace strandel {
namespace {

constexpr std::array<uint32_t, 256> MakeTable()
{
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i << 24;
        for (int k = 0; k < 8; ++k)
            c = (c & 0x80000000u) ? (c << 1) ^ 0x04C11DB7u : c << 1;
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
    const auto &t = kSlices;
    for (; count >= 8; count -= 8, data += 8) {
        const uint32_t a = crc ^ GetBe32(data);
        const uint32_t b = GetBe32(data + 4);
        crc = t[7][a >> 24] ^ t[6][(a >> 16) & 0xFF] ^ t[5][(a >> 8) & 0xFF] ^ t[4][a & 0xFF] ^
              t[3][b >> 24] ^ t[2][(b >> 16) & 0xFF] ^ t[1][(b >> 8) & 0xFF] ^ t[0][b & 0xFF];
    }
    return CrcUpdatePlain(crc, data, count);
}

bool CheckCrc(const uint8_t *data, uint32_t size)
{
    if (size < 4)
        return false;
    return CrcUpdate(0, data, int(size - 4)) == GetLe32(data + size - 4);
}

} // namespace strandel
