// Any byte stream, cut anywhere: the TCP receiver stays bounded, hands over only packets whose
// CRC holds, gives the same packets however the stream is cut, and finds a good frame after it.
#include "platform/endian.h"
#include "viewer/link/dvrframing.h"

#include <cstdlib>
#include <cstring>
#include <vector>

using namespace strandel;

namespace {

struct Seen {
    uint8_t cmd, flag;
    std::vector<uint8_t> payload;
    bool operator==(const Seen &) const = default;
};

std::vector<Seen> Run(const uint8_t *data, size_t size, const uint8_t *cuts, size_t cutCount)
{
    TcpReceiver rx;
    std::vector<Seen> seen;
    const PacketSink sink = [&](const PacketHeader &h, const uint8_t *p) {
        if (h.length > kMaxPayload || FrameCrc(h.cmd, h.flag, p, h.length) != GetLe32(p + h.length))
            std::abort();
        seen.push_back({h.cmd, h.flag, {p, p + h.length}});
    };
    size_t at = 0, c = 0;
    while (at < size) {
        // Read like the link: at most Want() bytes, here cut shorter by the cut bytes.
        size_t n = std::min(rx.Want(), size - at);
        if (cutCount)
            n = std::min(n, size_t(cuts[c++ % cutCount] % 64) + 1);
        std::memcpy(rx.WritePtr(), data + at, n);
        rx.Commit(n, sink);
        at += n;
        if (rx.Want() == 0 || rx.Have() + rx.Want() > size_t(kPacketBufferSize))
            std::abort();
    }
    return seen;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const size_t cutCount = size ? data[0] % 16 : 0;
    if (size < 1 + cutCount)
        return 0;
    const uint8_t *cuts = data + 1;
    data += 1 + cutCount;
    size -= 1 + cutCount;

    if (Run(data, size, nullptr, 0) != Run(data, size, cuts, cutCount))
        std::abort();

    // The stream followed by enough copies of one good frame ends in step with them.
    const uint8_t payload[3] = {1, 2, 3};
    uint8_t frame[kTcpFrameOverhead + 3];
    BuildTcpFrame(frame, 0x42, 0x00, payload, 3);
    std::vector<uint8_t> s(data, data + size);
    for (size_t i = 0; i < kPacketBufferSize / sizeof frame + 2; ++i)
        s.insert(s.end(), frame, frame + sizeof frame);
    const auto seen = Run(s.data(), s.size(), nullptr, 0);
    if (seen.empty() || !(seen.back() == Seen{0x42, 0x00, {1, 2, 3}}))
        std::abort();
    return 0;
}
