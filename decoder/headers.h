#pragma once
// MPEG-4 Visual stream headers: video object layer, group of VOPs, VOP; and the size probe.
#include "decoder/state.h"

namespace strandel::lumaset {

constexpr uint32_t kVopStartCode = 0x1B6;
constexpr uint32_t kGovStartCode = 0x1B3;
constexpr uint32_t kUserDataStartCode = 0x1B2;

// Bits of vop_time_increment for a resolution: ceil(log2(resolution)), at least 1.
int TimeIncrementBits(int32_t resolution);

// Moves to the first video object or VOP start code; false when the input has none.
bool FindFrameStart(BitReader &r);

// Each returns false when the header is present but cannot be served; fields are committed only
// when the header parses.
bool VolHeader(BitReader &r, DecoderState &s, DecoderTables &t);
void GovHeader(BitReader &r, DecoderState &s);
bool VopHeader(BitReader &r, DecoderState &s);

// Reads the picture size from the first headers of a stream (at most 256 bytes of it).
bool ProbeSize(const uint8_t *data, uint32_t length, int32_t *width, int32_t *height);

} // namespace strandel::lumaset
