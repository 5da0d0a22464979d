#pragma once
// The MPEG-4 decode path of one instance: macroblocks, pictures and output.
#include "decoder/dsp.h"
#include "decoder/integrity.h"
#include "decoder/state.h"

namespace strandel::lumaset {

constexpr int32_t kInitialisedMagic = 0x4C554D41; // marks a state block that went through DecOptInit

void InitInstance(const Context &c, const DecoderParams &p, int32_t fixed_buffer);
void SetPostProcessing(DecoderState &s, uint32_t level);
void SelectConverter(DecoderState &s, int32_t format);

// Decodes one frame; false when no VOP could be decoded.
bool DecodeMpeg4Frame(const Context &c, const DecoderFrame &f);

// Pieces, exposed for the tests.
struct McTable;
void DecodeMacroblockIP(const Context &c, const Dsp &dsp, const McTable &mc);
void DecodeMacroblockB(const Context &c, const Dsp &dsp, const McTable &mc);
// The macroblock at the current index could not be decoded: it takes the co-located macroblock
// of the forward reference, and the index advances.
void ConcealMacroblock(const Context &c, const McTable &mc);
void Pad(uint8_t *origin, int stride, int width, int height, int edge);
// Deblocks the shown picture into the display buffer with the quantisers it was decoded with.
void Deblock(const DecoderState &s, const Planes &shown, const uint16_t *quant);

// The largest quantiser of the layer: quant_precision bits.
inline int QuantMax(const DecoderState &s) { return (1 << s.vol.quant_precision) - 1; }
void Convert(const DecoderState &s, const uint8_t *y, int ystride, const uint8_t *u, const uint8_t *v,
             int cstride, uint8_t *out, int32_t pitch);

} // namespace strandel::lumaset
