#pragma once
// Codec type 2: MPEG-1 and MPEG-2 video pictures, parsed macroblock by macroblock for the check.
#include "decoder/state.h"

namespace strandel::lumaset {

// Verifies one picture; writes no pixels. False when no picture could be read (result 3).
bool DecodeMpeg12Frame(const Context &c, const DecoderFrame &f);

// The code tables, read one code at a time (tests).
enum class Mpeg12Table { AddressIncrement, TypeI, TypeP, Pattern, Coefficients0, Coefficients1 };
// The value of the code at the front of bits, kVlcInvalid when none starts there; *length gets the
// bits it took. Coefficients give run * 64 + level (the sign bit follows the code), end of block
// 0x7FFE and escape 0x7FFF; macroblock types their flags (1 intra, 2 pattern, 4 backward,
// 8 forward, 16 quantiser); address increments 34 for stuffing and 35 for escape.
int Mpeg12ReadCode(Mpeg12Table table, const uint8_t *bits, uint32_t size, int *length);

} // namespace strandel::lumaset
