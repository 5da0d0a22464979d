#pragma once
// CRC-32 of the recorder protocol, the recorder-disk headers and the firmware file:
// polynomial 0x04C11DB7, most significant bit first, initial value 0, no final XOR.
#include <cstdint>
#include <vector>

namespace strandel {

void BuildCrcTable();
const uint32_t *CrcTable();
uint32_t CrcUpdate(uint32_t crc, const uint8_t *data, int count);
// The same, one table lookup per byte: the reference the faster routines are checked against.
uint32_t CrcUpdatePlain(uint32_t crc, const uint8_t *data, int count);

// Every routine CrcUpdate may use on this CPU, the plain one first and the fastest last;
// all give the same results.
struct CrcRoutine {
    const char *name;
    uint32_t (*fn)(uint32_t crc, const uint8_t *data, int count);
};
const std::vector<CrcRoutine> &CrcRoutines();
// True when the CRC of the first size - 4 bytes equals the last 4 bytes (little-endian).
bool CheckCrc(const uint8_t *data, uint32_t size);

} // namespace strandel
