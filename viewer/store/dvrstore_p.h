#pragma once
// Store internals shared by the writer and the two readers: the few record-header fields the
// store touches, and small helpers.
#include "platform/endian.h"
#include "viewer/store/dvrstore.h"
#include "viewer/protocol/framerecord.h"

#include <cstring>

namespace strandel::store {

// Offsets of the FrameRecordHeader fields that the store reads or fills in on raw bytes.
constexpr int kRecChannel1 = 0;
constexpr int kRecChannel2 = 1;
constexpr int kRecKind = 34;
constexpr int kRecTime = 37;
constexpr int kRecSectors = 64;
constexpr int kRecPartSizes = 76;
constexpr uint8_t kRecKindPlayback = FrameKindPlayback;
static_assert(kRecordHeaderSize == kFrameRecordHeaderSize);

// Sum of the three part sizes, without overflow.
inline uint64_t RecordDataSize(const uint8_t *header)
{
    return uint64_t(GetLe32(header + kRecPartSizes)) + GetLe32(header + kRecPartSizes + 4) +
           GetLe32(header + kRecPartSizes + 8);
}

inline uint32_t RecordSectors(uint64_t dataSize) { return uint32_t(((dataSize + 127) >> 9) + 1); }

// The one limit of writer and readers: a record's sectors stay within the record buffer.
inline bool SectorsFit(uint64_t sectors) { return sectors != 0 && sectors * kSectorSize < uint64_t(kMaxRecordBytes) + 1; }

// A record the readers accept: a sane sector count that also covers the header and all three
// parts, so no part can reach past the buffers.
inline bool RecordSane(const uint8_t *header)
{
    const uint64_t sectors = GetLe32(header + kRecSectors);
    if (!SectorsFit(sectors))
        return false;
    return RecordDataSize(header) + kRecordHeaderSize <= sectors * kSectorSize;
}

// Data that begin 00 00 01 Dx are stored with the 96 extra header bytes.
inline bool IsPaddedKind(const uint8_t *data, uint64_t size)
{
    return data && size >= 4 && (GetLe32(data) & 0xF0FFFFFFu) == 0xD0010000u;
}

inline bool TimeAtMost(const uint8_t *time, const uint8_t *limit)
{
    return std::memcmp(time, limit, kStoreTimeSize) <= 0;
}

inline uint32_t DiskField(const uint8_t *disk, int offset) { return GetLe32(disk + offset); }

} // namespace strandel::store
