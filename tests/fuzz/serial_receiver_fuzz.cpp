// Any byte stream: the serial receiver stays bounded, hands over only packets whose CRC holds,
// and a frame that follows the stream arrives whole.
#include "platform/endian.h"
#include "viewer/link/crc32.h"
#include "viewer/link/dvrframing.h"

#include <cstdlib>
#include <vector>

using namespace strandel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    SerialReceiver rx;
    std::vector<uint8_t> last;
    bool any = false;
    const PacketSink sink = [&](const PacketHeader &h, const uint8_t *p) {
        if (h.length > kMaxPayload || !CheckCrc(p - 4, uint32_t(h.length) + 8))
            std::abort();
        last.assign(p, p + h.length);
        any = true;
    };
    rx.Feed(data, size, sink);
    if (rx.Have() > size_t(kPacketBufferSize))
        std::abort();

    // The input itself, up to 1024 bytes, as the payload of a frame sent after it.
    const int length = int(std::min<size_t>(size, kMaxPayload));
    std::vector<uint8_t> frame;
    if (!BuildSerialFrame(frame, 0x21, 0x80, data, length))
        std::abort();
    any = false;
    rx.Feed(frame.data(), frame.size(), sink);
    if (!any || last != std::vector<uint8_t>(data, data + length))
        std::abort();
    return 0;
}
