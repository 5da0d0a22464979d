#include "viewer/view/jpegrecord.h"

#include <cstring>

namespace strandel {

bool CheckJpegRecord(const FrameRecordHeader &h, size_t dataSize, std::string *why)
{
    const uint64_t p = h.partSize[0], f = h.jpegLength;
    const char *problem = nullptr;
    if (p > dataSize)
        problem = "part 0 longer than the record";
    else if (p <= kJpegRecordPrefix)
        problem = "no JPEG data after the prefix";
    else if (f > p)
        problem = "first JPEG area longer than part 0";
    if (problem && why)
        *why = problem;
    return !problem;
}

void CutInsertedBlocks(const FrameRecordHeader &h, uint8_t *data)
{
    const size_t p = h.partSize[0], f = h.jpegLength;
    constexpr size_t from = kInsertedBlockAt + kInsertedBlockSize;
    if (HasSecondArea(h) && p - f >= from)
        std::memmove(data + f + kInsertedBlockAt, data + f + from, p - f - from);
    if (f >= from)
        std::memmove(data + kInsertedBlockAt, data + from, f - from);
}

} // namespace strandel
