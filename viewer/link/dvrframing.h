#pragma once
// Packet framing of the recorder link: TCP frames ("HEAD", header, payload, CRC) with
// segmentation of long payloads, and serial frames ('{', stuffed header/payload/CRC, '~').
// The receivers are byte-in, packet-out: they own one packet buffer and call a sink for
// every packet whose CRC holds.
#include "viewer/link/dvrviewlink.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace strandel {

constexpr uint8_t DvrFlagNone = 0x00;
constexpr uint8_t DvrFlagSegStart = 0xC0;
constexpr uint8_t DvrFlagSegData = 0x80;
constexpr uint8_t DvrFlagSegEnd = 0xA0;

constexpr int kMaxPayload = 1024;
constexpr int kPacketBufferSize = 4 + kMaxPayload + 4; // header, payload, CRC
constexpr int kTcpFrameOverhead = 12;                  // "HEAD", header, CRC
constexpr int kSerialStageSize = 2048;

// Called with an accepted packet: header.length in host order, payload of header.length bytes.
using PacketSink = std::function<void(const PacketHeader &header, const uint8_t *payload)>;

// CRC of a frame: over the 4 header bytes as sent (length big-endian), then the payload.
uint32_t FrameCrc(uint8_t cmd, uint8_t flag, const uint8_t *data, uint16_t length);

// Writes one TCP frame into out (room for kTcpFrameOverhead + length bytes); returns its size,
// or 0 when length is over kMaxPayload.
size_t BuildTcpFrame(uint8_t *out, uint8_t cmd, uint8_t flag, const uint8_t *data, uint32_t length);

// Cuts a payload the way the TCP link sends it: up to kMaxPayload bytes go as one packet with
// the caller's flag; a longer one as SegStart(total, LE32), SegData chunks of at most 1024 bytes
// and SegEnd(total, LE32), all under cmd. Stops at the first packet the sender refuses and
// returns false; a negative length (or data missing for a positive one) is refused at once.
using PacketSender = std::function<bool(uint8_t cmd, uint8_t flag, const uint8_t *data, uint32_t length)>;
bool SendSegmented(uint8_t cmd, uint8_t flag, const uint8_t *data, int length, const PacketSender &send);

// The TCP reader. The link reads straight into the buffer: at most Want() bytes at WritePtr(),
// then Commit() with the count read. In step it wants exactly the current field; out of step,
// as much as the buffer holds. Feed() does the same from any byte span.
class TcpReceiver {
public:
    enum State : uint8_t { RxMagic, RxHeader, RxBody };

    void Reset();
    size_t Want() const { return want_; }
    uint8_t *WritePtr() { return buffer_ + have_; }
    // Takes n (<= Want()) bytes that were written at WritePtr(); calls sink for each accepted packet.
    void Commit(size_t n, const PacketSink &sink);
    void Feed(const uint8_t *data, size_t size, const PacketSink &sink);

    State state() const { return state_; }
    size_t Have() const { return have_; }

private:
    void Consume(size_t n);
    void Resync();

    uint8_t buffer_[kPacketBufferSize] = {};
    size_t have_ = 0;
    size_t want_ = 4;
    State state_ = RxMagic;
    bool hunting_ = false; // out of step: looking for the next "HEAD"
};

// Serial byte stuffing: 0x0A, 0x0D, 0x7B, 0x7D, 0x7E, 0x7F, 0x80 go as 0x7D, byte ^ 0x20.
constexpr uint8_t kSerialStart = 0x7B; // '{'
constexpr uint8_t kSerialEnd = 0x7E;   // '~'
constexpr uint8_t kSerialEscape = 0x7D;
bool NeedsStuffing(uint8_t b);
// Writes the stuffed form of count bytes into out (room for 2 * count); returns its size.
size_t StuffBytes(const uint8_t *in, size_t count, uint8_t *out);

// Appends one whole serial frame to out; false (nothing appended) for a payload over kMaxPayload.
bool BuildSerialFrame(std::vector<uint8_t> &out, uint8_t cmd, uint8_t flag, const uint8_t *data, int length);

// The serial reader: one byte at a time.
class SerialReceiver {
public:
    void Reset();
    void Push(uint8_t b, const PacketSink &sink);
    void Feed(const uint8_t *data, size_t size, const PacketSink &sink);
    size_t Have() const { return have_; }

private:
    uint8_t buffer_[kPacketBufferSize] = {};
    size_t have_ = 0;
    bool escape_ = false;
};

} // namespace strandel
