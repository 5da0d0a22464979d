#pragma once
// Codec type 2: MPEG-1 and MPEG-2 video pictures, parsed macroblock by macroblock for the check.
#include "decoder/state.h"

namespace strandel::lumaset {

// Verifies one picture; writes no pixels. False when no picture could be read (result 3).
bool DecodeMpeg12Frame(const Context &c, const DecoderFrame &f);

// The code tables fit their lookup forms (tests).
bool Mpeg12TablesBuilt();

} // namespace strandel::lumaset
