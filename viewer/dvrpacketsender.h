#pragma once
// What the view needs of its connection to send: CDvrBase implements it.
#include <cstdint>

namespace strandel {

class DvrPacketSender {
public:
    virtual ~DvrPacketSender() = default;
    // Sends one command (a link may split a long payload into segments). False on failure.
    virtual bool Send(uint8_t cmd, uint8_t flag, const uint8_t *data, int length) = 0;
};

} // namespace strandel
