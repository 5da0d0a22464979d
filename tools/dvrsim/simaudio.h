#pragma once
// The simulated recorder's audio: the IMA ADPCM blocks it pushes to a viewer that has audio
// receive on (a WAVE file or a generated tone, looping), and the blocks a viewer sends it.
#include "simoptions.h"

#include <cstdint>
#include <string>
#include <vector>

namespace strandel::sim {

// 505 samples at 8000 Hz: one block every 63.125 ms.
constexpr int64_t kAudioBlockMicros = 63125;
// Received audio is kept up to this much (about an hour), the rest counted only.
constexpr size_t kMaxReceivedAudio = size_t(16) << 20;

// The blocks to push: --audio FILE (8000 Hz PCM of 8 or 16 bits, mono or the first channel, or
// IMA ADPCM in 256-byte blocks), else a tone of --audio-tone Hz. False with a message.
bool LoadSimAudio(const SimOptions &options, std::vector<uint8_t> &blocks, std::string &error);

// A tone of `hz` as `blockCount` blocks of one continuous stream.
std::vector<uint8_t> ToneBlocks(double hz, size_t blockCount);

} // namespace strandel::sim
