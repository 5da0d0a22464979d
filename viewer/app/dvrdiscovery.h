#pragma once
// LAN discovery: a 32-byte question to every host of a /24 network on UDP port 12323;
// recorders answer with exactly 128 bytes, the first six being their MAC address.
#include "viewer/base/dvrlistrecord.h"

#include <array>
#include <cstddef>
#include <cstdint>

class QUdpSocket;

namespace strandel {

constexpr uint16_t kDiscoveryPort = 12323;
constexpr int kDiscoveryRequestSize = 32;
constexpr int kDiscoveryAnswerSize = 128;

// "What's your name, DVR?" padded with zero bytes to 32.
std::array<uint8_t, kDiscoveryRequestSize> DiscoveryRequest();

// A network-kind record named after the sender; false for any datagram that is not exactly 128 bytes.
bool DiscoveryAnswerToRecord(const uint8_t *data, size_t size, const uint8_t senderIp[4], DvrListRecord *record);

// The first three octets of the first non-loopback IPv4 interface that is up; false when there is none.
bool LocalScanNetwork(uint8_t net[3]);

// Sends the question to net.0 .. net.254 (never .255) on port; returns how many went out.
int SendDiscoveryScan(QUdpSocket &socket, const uint8_t net[3], uint16_t port);

} // namespace strandel
