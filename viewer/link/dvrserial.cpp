// The serial link (RS-232C and RS-485): runs on the UI thread, where the port delivers its data.
#include "viewer/link/dvrlink.h"

#include "platform/debuglog.h"
#include "platform/endian.h"
#include "platform/events.h"
#include "viewer/link/xcomdrv.h"
#include "viewer/link/crc32.h"

#include <chrono>
#include <thread>

namespace strandel {
namespace {

constexpr uint8_t DvrCmdBye = 2; // sent when the serial link goes down

// Shared by every serial link: one 1 ms pause per 11 bytes written, across frames.
std::atomic<int> bytesSincePause{0};

} // namespace

CDvrSerial::CDvrSerial(DvrViewLink *owner) : CDvrRemote(owner) {}

CDvrSerial::~CDvrSerial() { Close(); }

bool CDvrSerial::Init(DvrListRecord *record)
{
    record_ = record;
    rx_.Reset();
    port_ = std::make_unique<TXComm>();
    port_->OnData = [this](TXComm *, uint32_t received) { OnData(received); };
    // An unplugged adapter: the view shows the link as gone, as for a recorder that hung up.
    lost_ = false;
    port_->OnDeviceLost = [this](TXComm *) {
        lost_ = true;
        if (owner_) {
            owner_->ShowMessageText("Disconnected from DVR");
            owner_->OnDisconnected();
        }
    };
    port_->SetBaudRate(brCustom);
    port_->SetBaudValue(record ? uint32_t(record->baudRate) : 9600);
    port_->SetDeviceName("Com" + std::to_string(record ? record->serialPort : 0));
    if (record && record->Kind() == DvrKind::Rs485)
        port_->SetFlowControl(fcRtsCts);
    try {
        return port_->Open();
    } catch (const EDeviceError &) {
        if (owner_)
            owner_->ShowMessageText("Cannot Open Device " + port_->DeviceName());
        port_.reset();
        return false;
    }
}

bool CDvrSerial::Connect()
{
    if (owner_)
        owner_->OnConnected();
    return true;
}

bool CDvrSerial::Disconnect()
{
    if (port_) {
        port_->OnData = nullptr;
        port_->OnDeviceLost = nullptr;
    }
    {
        // Under the send lock: a packet another thread is sending goes out whole first.
        EventGuard sending(NamedEvent(kSendEventName), kSendEventTimeoutMs);
        for (int i = 0; i < 9 && !lost_; ++i)
            Send(DvrCmdBye, DvrFlagNone, nullptr, 0);
    }
    if (owner_ && !lost_)
        owner_->OnDisconnected();
    return true;
}

void CDvrSerial::Close()
{
    if (!port_)
        return;
    CDvrSerial::Disconnect();
    // No sender may be inside the port while it goes.
    EventGuard sending(NamedEvent(kSendEventName), kSendEventTimeoutMs);
    try {
        port_->Close();
    } catch (const EDeviceError &) {
    }
    DebugPrint("DvrSerial Close.........\n");
    port_.reset();
}

bool CDvrSerial::PutByte(uint8_t b)
{
    if (++bytesSincePause > 10) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        bytesSincePause = 0;
    }
    if (!port_)
        return false;
    try {
        return port_->SendByte(b);
    } catch (const EDeviceError &) {
        DebugPrint("SendError\n");
        return false;
    }
}

bool CDvrSerial::PutStuffed(const uint8_t *data, int count)
{
    if (count < 0 || count > kMaxPayload)
        return false; // the staging buffer holds the stuffed form of at most 1024 bytes
    const size_t n = StuffBytes(data, size_t(count), stage_);
    for (size_t i = 0; i < n; ++i) {
        if (!port_ || !PutByte(stage_[i]))
            return false;
    }
    return true;
}

bool CDvrSerial::Send(uint8_t cmd, uint8_t flag, const uint8_t *data, int length)
{
    // No segmentation on a serial line: a longer payload would overrun the staging buffer.
    if (length < 0 || length > kMaxPayload || (length > 0 && !data))
        return false;
    uint8_t header[4] = {cmd, flag, 0, 0};
    PutBe16(header + 2, uint16_t(length));
    uint8_t crc[4];
    PutLe32(crc, CrcUpdate(CrcUpdate(0, header, 4), data, length));
    return PutByte(kSerialStart) && PutStuffed(header, 4) && PutStuffed(data, length) && PutStuffed(crc, 4) &&
           PutByte(kSerialEnd);
}

void CDvrSerial::OnData(uint32_t received)
{
    uint8_t chunk[256];
    uint32_t taken = 0;
    while (taken < received && port_) {
        uint32_t n = 0;
        try {
            n = port_->ReadData(chunk, std::min<uint32_t>(sizeof chunk, received - taken));
        } catch (const EDeviceError &e) {
            DebugPrint("DvrSerial Read Error = %u\n", unsigned(e.ErrorCode));
            return;
        }
        // Counted bytes that do not come within the time-out: the next event brings the rest,
        // rather than blocking the UI thread for ever.
        if (n == 0)
            return;
        taken += n;
        rx_.Feed(chunk, n, [this](const PacketHeader &h, const uint8_t *payload) {
            if (owner_)
                owner_->OnPacket(h, payload);
        });
    }
}

} // namespace strandel
