#pragma once
// Reads a terminal's line settings back with the kernel's own structure (any baud rate).
#include <cstdint>

namespace strandel::test {

struct TtyLine {
    bool ok = false;
    uint32_t baud = 0;
    bool rtsCts = false;
};
TtyLine InspectTty(int fd);

} // namespace strandel::test
