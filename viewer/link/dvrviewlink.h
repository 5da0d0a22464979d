#pragma once
// What a connection calls back on its recorder view. TfrmDvrWin implements it; tests use small fakes.
#include <cstdint>
#include <string>

namespace strandel {

// The 4-byte packet header: command, flag, payload length (big-endian on the wire, host order here).
struct PacketHeader {
    uint8_t cmd = 0;
    uint8_t flag = 0;
    uint16_t length = 0;
};

class DvrViewLink {
public:
    virtual ~DvrViewLink() = default;
    // Link up / down; on the UI thread.
    virtual void OnConnected() = 0;
    virtual void OnDisconnected() = 0;
    // A text for the view's message panel; on the UI thread.
    virtual void ShowMessageText(const std::string &text) = 0;
    virtual bool IsConnected() const = 0;
    // An accepted packet: payload holds header.length bytes. TCP calls it on the reader thread,
    // serial and the local players on the UI thread. Work handed from the reader thread to the
    // UI thread goes through RunOnUiThreadBlocking(fn, link->StopFlag()): a link being stopped
    // then cancels the hand-over instead of deadlocking.
    virtual void OnPacket(const PacketHeader &header, const uint8_t *payload) = 0;
};

} // namespace strandel
