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
// VolHeader returns a DecodeError: 0 when the header is absent or served, else why not.
int32_t VolHeader(BitReader &r, DecoderState &s, DecoderTables &t);
bool GovHeader(BitReader &r, DecoderState &s);
bool VopHeader(BitReader &r, DecoderState &s);

// Video packets: whether a resync marker follows the stuffing at the current position, and the
// packet header after it (the aligned form starts at the marker itself). False on a header that
// cannot belong to this picture.
int MacroblockNumberBits(int32_t mb_count);
// Zeros before the 1 of a resync marker in this picture: 16 in I-pictures, more with larger f_codes.
int ResyncMarkerZeros(const VopFields &vop);
bool ResyncMarkerNext(const BitReader &r);
bool VideoPacketHeader(BitReader &r, const DecoderState &s, int32_t *mb_number, int32_t *quant);
bool VideoPacketHeaderAligned(BitReader &r, const DecoderState &s, int32_t *mb_number, int32_t *quant);

// Reads the picture size from the first headers of a stream (at most 256 bytes of it).
bool ProbeSize(const uint8_t *data, uint32_t length, int32_t *width, int32_t *height);

} // namespace strandel::lumaset
