#include "viewer/view/decoderhost.h"

#include <QImage>

namespace strandel {

int32_t RecordingDecoderHost::DecodeFrame(int32_t r, const uint8_t *, int32_t length, QImage *bitmap, uint8_t fixedBuffer)
{
    calls.push_back({r, length, bitmap ? bitmap->width() : 0, bitmap ? bitmap->height() : 0, fixedBuffer});
    return result;
}

} // namespace strandel
