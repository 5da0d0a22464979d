#pragma once
// The viewer options shared by the main window, the views, the panes and the address-server look-up.
#include <array>
#include <cstdint>

namespace strandel {

struct ViewerOptions {
    uint8_t showChannelTitle = 0;
    uint8_t showDateTime = 0;
    uint8_t showEvent = 0;
    uint8_t showFrameRate = 0;
    std::array<uint8_t, 4> ipServer{};
    uint8_t useIpServer = 0;
    std::array<char, 128> ipServerName{}; // NUL-terminated, at most 127 characters
};

// No public server is built in: the operator enters the address server of the installation.
constexpr std::array<uint8_t, 4> kBuiltInIpServer = {127, 0, 0, 1};

ViewerOptions &GetViewerOptions();
// Zero-fills and reads every value with its default; writes them back.
void ReadViewerOptions(ViewerOptions &o);
void WriteViewerOptions(ViewerOptions &o);

} // namespace strandel
