#pragma once
// The 128-byte header of one video record. It travels as the last packet of a pushed record
// and is stored unchanged in .dvr files, so Read/Write keep every byte, also the ones the
// viewer does not interpret.
#include <array>
#include <cstdint>

#include "viewer/base/global.h"

namespace strandel {

constexpr int kFrameRecordHeaderSize = 128;
constexpr int kFrameTextSize = 10;
constexpr int kFramePartCount = 3;

// Record kinds (byte 34).
enum FrameKind : uint8_t {
    FrameKindLive = 0,
    FrameKindPlayback = 1,
    FrameKindCopy = 2,
};

// Bit 31 of timeValue marks the first frame of a record in the play rings.
constexpr uint32_t kFrameTimeFirstMark = 0x80000000u;

struct FrameRecordHeader {
    uint8_t channel = 0;            // 0: 1-based channel, 0 = none
    uint8_t channel2 = 0;           // 1: second channel of a two-channel record
    uint8_t event = 0;              // 2
    uint8_t event2 = 0;             // 3
    std::array<std::array<char, kFrameTextSize>, 2> text{}; // 4: channel texts
    std::array<uint8_t, 8> reserved24{};
    uint8_t frameId = 0;            // 32: repeated by the part-end packets
    uint8_t sizeCode = 0;           // 33: 0 = 704 x 480/576, 1 = 704 x 240/288, 2+ = 352 x 240/288
    uint8_t kind = 0;               // 34: FrameKind
    std::array<uint8_t, 2> reserved35{};
    RecorderTime time{};            // 37
    std::array<uint8_t, 12> reserved44{};
    uint32_t liveMask = 0;          // 56: bit n - 1 = channel n
    uint32_t playMask = 0;          // 60
    uint32_t sectors = 0;           // 64: filled in by the .dvr writer
    uint32_t delay = 0;             // 68: 10 ms units until the next record in playback
    uint32_t covert = 0;            // 72: bit 0 first channel, bit 1 second channel
    std::array<uint32_t, kFramePartCount> partSize{}; // 76, 80, 84
    uint32_t jpegLength = 0;        // 88: first JPEG picture in part 0
    std::array<uint8_t, 4> reserved92{};
    uint32_t timeValue = 0;         // 96
    uint8_t directShow = 0;         // 100: non-zero = shown at once, not through the rings
    std::array<uint8_t, 27> reserved101{};

    // Reads exactly kFrameRecordHeaderSize bytes.
    static FrameRecordHeader Read(const uint8_t *p);
    // Writes exactly kFrameRecordHeaderSize bytes.
    void Write(uint8_t *p) const;
    std::array<uint8_t, kFrameRecordHeaderSize> ToBytes() const;

    // Sum of the three part sizes, without 32-bit wrap.
    uint64_t TotalSize() const { return uint64_t(partSize[0]) + partSize[1] + partSize[2]; }
    // The .dvr size field: ((parts + 127) >> 9) + 1 sectors of 512 bytes.
    uint32_t SectorCount() const { return uint32_t(((TotalSize() + 127) >> 9) + 1); }
};

} // namespace strandel
