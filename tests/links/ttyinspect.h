#pragma once
// Reads a terminal's line settings back with the kernel's own structure (any baud rate).
#include <cstdint>

namespace strandel::test {

struct TtyLine {
    bool ok = false;
    uint32_t baud = 0;
    bool rtsCts = false;
    uint8_t vtime = 0; // tenths of a second allowed between received bytes
};
TtyLine InspectTty(int fd);

} // namespace strandel::test
