#include "viewer/protocol/framerecord.h"

#include <cstring>

#include "platform/endian.h"

namespace strandel {

namespace {
template <size_t N, typename T>
void ReadBytes(std::array<T, N> &to, const uint8_t *p)
{
    static_assert(sizeof(T) == 1);
    std::memcpy(to.data(), p, N);
}
template <size_t N, typename T>
void WriteBytes(uint8_t *p, const std::array<T, N> &from)
{
    static_assert(sizeof(T) == 1);
    std::memcpy(p, from.data(), N);
}
} // namespace

FrameRecordHeader FrameRecordHeader::Read(const uint8_t *p)
{
    FrameRecordHeader h;
    h.channel = p[0];
    h.channel2 = p[1];
    h.event = p[2];
    h.event2 = p[3];
    ReadBytes(h.text[0], p + 4);
    ReadBytes(h.text[1], p + 14);
    ReadBytes(h.reserved24, p + 24);
    h.frameId = p[32];
    h.sizeCode = p[33];
    h.kind = p[34];
    ReadBytes(h.reserved35, p + 35);
    h.time = ReadRecorderTime(p + 37);
    ReadBytes(h.reserved44, p + 44);
    h.liveMask = GetLe32(p + 56);
    h.playMask = GetLe32(p + 60);
    h.sectors = GetLe32(p + 64);
    h.delay = GetLe32(p + 68);
    h.covert = GetLe32(p + 72);
    for (int i = 0; i < kFramePartCount; ++i)
        h.partSize[i] = GetLe32(p + 76 + 4 * i);
    h.jpegLength = GetLe32(p + 88);
    ReadBytes(h.reserved92, p + 92);
    h.timeValue = GetLe32(p + 96);
    h.directShow = p[100];
    ReadBytes(h.reserved101, p + 101);
    return h;
}

void FrameRecordHeader::Write(uint8_t *p) const
{
    p[0] = channel;
    p[1] = channel2;
    p[2] = event;
    p[3] = event2;
    WriteBytes(p + 4, text[0]);
    WriteBytes(p + 14, text[1]);
    WriteBytes(p + 24, reserved24);
    p[32] = frameId;
    p[33] = sizeCode;
    p[34] = kind;
    WriteBytes(p + 35, reserved35);
    WriteRecorderTime(p + 37, time);
    WriteBytes(p + 44, reserved44);
    PutLe32(p + 56, liveMask);
    PutLe32(p + 60, playMask);
    PutLe32(p + 64, sectors);
    PutLe32(p + 68, delay);
    PutLe32(p + 72, covert);
    for (int i = 0; i < kFramePartCount; ++i)
        PutLe32(p + 76 + 4 * i, partSize[i]);
    PutLe32(p + 88, jpegLength);
    WriteBytes(p + 92, reserved92);
    PutLe32(p + 96, timeValue);
    p[100] = directShow;
    WriteBytes(p + 101, reserved101);
}

std::array<uint8_t, kFrameRecordHeaderSize> FrameRecordHeader::ToBytes() const
{
    std::array<uint8_t, kFrameRecordHeaderSize> out{};
    Write(out.data());
    return out;
}

} // namespace strandel
