#include "decoder/mpeg2parse.h"

namespace strandel::lumaset {
bool DecodeMpeg12Frame(const Context &, const DecoderFrame &) { return false; }
} // namespace strandel::lumaset
