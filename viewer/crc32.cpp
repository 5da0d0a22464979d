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

} // namespace

void BuildCrcTable() {}

const uint32_t *CrcTable() { return kTable.data(); }

uint32_t CrcUpdate(uint32_t crc, const uint8_t *data, int count)
{
    for (int i = 0; i < count; ++i)
        crc = (crc << 8) ^ kTable[(crc >> 24) ^ data[i]];
    return crc;
}

bool CheckCrc(const uint8_t *data, uint32_t size)
{
    if (size < 4)
        return false;
    return CrcUpdate(0, data, int(size - 4)) == GetLe32(data + size - 4);
}

} // namespace strandel
