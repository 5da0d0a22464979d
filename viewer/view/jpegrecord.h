#pragma once
// Part 0 of a JPEG video record as the channel panes read it: a 32-byte prefix, the first JPEG
// area and, for two-field pictures, a second area. A recorder inserts one 32-byte block 65440
// bytes into each area; it is cut out once per record before decoding.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "viewer/protocol/framerecord.h"

namespace strandel {

constexpr size_t kJpegRecordPrefix = 32;
constexpr size_t kInsertedBlockAt = 65440;
constexpr size_t kInsertedBlockSize = 32;

// The memory of one record, shared by the panes of both its channels.
struct DvrRecordStream {
    std::vector<uint8_t> data;
    bool blocksCut = false;
};

// Whether the record carries a second (field) area.
inline bool HasSecondArea(const FrameRecordHeader &h) { return h.sizeCode == 0 && h.jpegLength < h.partSize[0]; }

// Checks the header's lengths against the data: the first length within part 0, part 0 within
// the data. On failure tells why.
bool CheckJpegRecord(const FrameRecordHeader &h, size_t dataSize, std::string *why);

// Removes the inserted blocks in place (the caller checked the record first).
void CutInsertedBlocks(const FrameRecordHeader &h, uint8_t *data);

} // namespace strandel
