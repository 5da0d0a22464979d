#pragma once
// Codec type 0: baseline JPEG pictures, possibly in PES packets, checked MCU by MCU.
#include "decoder/state.h"

namespace strandel::lumaset {

// Verifies one picture; writes no pixels. False when no picture could be read (result 3).
bool DecodeJpegFrame(const Context &c, const DecoderFrame &f);

// The four typical tables, as (code, length) of a symbol; for the tests.
struct JpegCode {
    uint16_t code;
    uint8_t length; // 0: the table has no such symbol
};
JpegCode JpegStandardCode(int table, int symbol); // tables: 0 DC luma, 1 DC chroma, 2 AC luma, 3 AC chroma

} // namespace strandel::lumaset
