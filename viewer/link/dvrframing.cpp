#include "viewer/link/dvrframing.h"

#include "platform/debuglog.h"
#include "platform/endian.h"
#include "viewer/link/crc32.h"

#include <algorithm>
#include <cstring>

namespace strandel {
namespace {

constexpr uint8_t kMagic[4] = {'H', 'E', 'A', 'D'};

void PutHeader(uint8_t *p, uint8_t cmd, uint8_t flag, uint16_t length)
{
    p[0] = cmd;
    p[1] = flag;
    PutBe16(p + 2, length);
}

PacketHeader ReadHeader(const uint8_t *p) { return PacketHeader{p[0], p[1], GetBe16(p + 2)}; }

} // namespace

uint32_t FrameCrc(uint8_t cmd, uint8_t flag, const uint8_t *data, uint16_t length)
{
    uint8_t header[4];
    PutHeader(header, cmd, flag, length);
    uint32_t crc = CrcUpdate(0, header, 4);
    return data ? CrcUpdate(crc, data, length) : crc;
}

size_t BuildTcpFrame(uint8_t *out, uint8_t cmd, uint8_t flag, const uint8_t *data, uint32_t length)
{
    if (length > uint32_t(kMaxPayload) || (length && !data))
        return 0;
    std::memcpy(out, kMagic, 4);
    PutHeader(out + 4, cmd, flag, uint16_t(length));
    if (length)
        std::memcpy(out + 8, data, length);
    PutLe32(out + 8 + length, CrcUpdate(0, out + 4, int(4 + length)));
    return kTcpFrameOverhead + length;
}

bool SendSegmented(uint8_t cmd, uint8_t flag, const uint8_t *data, int length, const PacketSender &send)
{
    // A negative count would be read as a huge unsigned one.
    if (length < 0 || (length > 0 && !data))
        return false;
    if (length <= kMaxPayload)
        return send(cmd, flag, data, uint32_t(length));
    uint8_t total[4];
    PutLe32(total, uint32_t(length));
    if (!send(cmd, DvrFlagSegStart, total, 4))
        return false;
    for (int done = 0; done < length;) {
        const int chunk = std::min(kMaxPayload, length - done);
        if (!send(cmd, DvrFlagSegData, data + done, uint32_t(chunk)))
            return false;
        done += chunk;
    }
    return send(cmd, DvrFlagSegEnd, total, 4);
}

// ---- TCP receiver ----

void TcpReceiver::Reset()
{
    have_ = 0;
    want_ = 4;
    state_ = RxMagic;
    hunting_ = false;
}

void TcpReceiver::Consume(size_t n)
{
    if (n < have_)
        std::memmove(buffer_, buffer_ + n, have_ - n);
    have_ = n < have_ ? have_ - n : 0;
}

// Looks for "HEAD" one byte at a time through what the buffer holds: bytes of a refused
// header or of a frame with a bad CRC may hold the start of the real next frame.
void TcpReceiver::Resync()
{
    state_ = RxMagic;
    hunting_ = true;
    size_t p = 0;
    for (; p < have_; ++p) {
        const size_t n = std::min<size_t>(4, have_ - p);
        if (std::memcmp(buffer_ + p, kMagic, n) == 0)
            break;
    }
    Consume(p);
}

void TcpReceiver::Commit(size_t n, const PacketSink &sink)
{
    have_ += std::min(n, want_);
    for (;;) {
        const size_t need = state_ == RxBody ? 8 + size_t(GetBe16(buffer_ + 2)) : 4;
        if (have_ < need) {
            // In step, exactly the current field; while hunting for the marker, all the room
            // there is, so garbage costs one receive per buffer, not one per 4 bytes.
            want_ = hunting_ ? kPacketBufferSize - have_ : need - have_;
            return;
        }
        switch (state_) {
        case RxMagic:
            if (std::memcmp(buffer_, kMagic, 4) == 0) {
                Consume(4);
                state_ = RxHeader;
                hunting_ = false;
            } else {
                // Slide by one byte: the first byte cannot start a magic, the rest may.
                Consume(1);
                Resync();
            }
            break;
        case RxHeader:
            if (GetBe16(buffer_ + 2) > kMaxPayload)
                Resync();
            else
                state_ = RxBody;
            break;
        case RxBody:
            if (CheckCrc(buffer_, uint32_t(need))) {
                if (sink)
                    sink(ReadHeader(buffer_), buffer_ + 4);
                Consume(need);
                state_ = RxMagic;
            } else {
                Resync();
            }
            break;
        }
    }
}

void TcpReceiver::Feed(const uint8_t *data, size_t size, const PacketSink &sink)
{
    while (size > 0) {
        const size_t n = std::min(size, want_);
        std::memcpy(WritePtr(), data, n);
        Commit(n, sink);
        data += n;
        size -= n;
    }
}

// ---- serial framing ----

bool NeedsStuffing(uint8_t b)
{
    switch (b) {
    case 0x0A: case 0x0D: case 0x7B: case 0x7D: case 0x7E: case 0x7F: case 0x80:
        return true;
    default:
        return false;
    }
}

size_t StuffBytes(const uint8_t *in, size_t count, uint8_t *out)
{
    size_t n = 0;
    for (size_t i = 0; i < count; ++i) {
        if (NeedsStuffing(in[i])) {
            out[n++] = kSerialEscape;
            out[n++] = in[i] ^ 0x20;
        } else {
            out[n++] = in[i];
        }
    }
    return n;
}

bool BuildSerialFrame(std::vector<uint8_t> &out, uint8_t cmd, uint8_t flag, const uint8_t *data, int length)
{
    if (length < 0 || length > kMaxPayload || (length > 0 && !data))
        return false;
    uint8_t raw[kPacketBufferSize];
    PutHeader(raw, cmd, flag, uint16_t(length));
    if (length)
        std::memcpy(raw + 4, data, size_t(length));
    PutLe32(raw + 4 + length, CrcUpdate(0, raw, 4 + length));
    const size_t start = out.size();
    out.resize(start + 2 + 2 * size_t(length + 8));
    out[start] = kSerialStart;
    const size_t n = StuffBytes(raw, size_t(length + 8), out.data() + start + 1);
    out[start + 1 + n] = kSerialEnd;
    out.resize(start + 2 + n);
    return true;
}

void SerialReceiver::Reset()
{
    have_ = 0;
    escape_ = false;
}

void SerialReceiver::Push(uint8_t b, const PacketSink &sink)
{
    switch (b) {
    case kSerialStart:
        Reset();
        return;
    case kSerialEscape:
        escape_ = true;
        return;
    case kSerialEnd:
        if (have_ >= 8 && CheckCrc(buffer_, uint32_t(have_))) {
            // The length is what the frame held; the stated one is not compared.
            PacketHeader h{buffer_[0], buffer_[1], uint16_t(have_ - 8)};
            if (sink)
                sink(h, buffer_ + 4);
        } else {
            DebugPrint("DvrSerial Error = %d\n", int(have_));
        }
        Reset();
        return;
    default:
        if (escape_) {
            escape_ = false;
            b ^= 0x20;
        }
        if (have_ < sizeof buffer_)
            buffer_[have_++] = b;
        else
            DebugPrint("DvrSerial Length Error = %d\n", int(have_));
        return;
    }
}

void SerialReceiver::Feed(const uint8_t *data, size_t size, const PacketSink &sink)
{
    for (size_t i = 0; i < size; ++i)
        Push(data[i], sink);
}

} // namespace strandel
