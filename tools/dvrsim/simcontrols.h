#pragma once
// What the viewer's tool windows and control buttons asked for, in words, so the transcript and
// the terminal show it: camera control (24), remote keys (25) and control words (28).
#include <cstdint>
#include <string>

namespace strandel::sim {

// [channel 0-based, action, argument, speed row], e.g. "ptz channel 3 up speed 2X".
std::string DescribePtz(const uint8_t payload[4]);
// The key bits of a remote key, e.g. "key Menu"; several bits are joined with '+'.
std::string DescribeKey(uint32_t bits);
// A control word, e.g. "control 0 initialise recorder".
std::string DescribeControl(uint16_t word);

} // namespace strandel::sim
