#include "viewer/store/dvrstore.h"

#include "platform/debuglog.h"
#include "platform/events.h"
#include "viewer/store/dvrstore_p.h"

#include <algorithm>
#include <cstring>

namespace strandel {

using namespace store;

int BlockUnitCount(const uint8_t *block) { return std::min<int>(block[BlockHeader::kUnitCount], kMaxUnitsPerBlock); }

int UnitRecordCount(const uint8_t *unit) { return std::min<int>(unit[UnitHeader::kRecordCount], kMaxRecordsPerUnit); }

uint32_t BlockUnitPosition(const uint8_t *block, int unit)
{
    return (unit >= 0 && unit < kMaxUnitsPerBlock) ? GetLe32(block + BlockHeader::kUnitPositions + 4 * unit) : 0;
}

uint32_t UnitRecordPosition(const uint8_t *unit, int record)
{
    return (record >= 0 && record < kMaxRecordsPerUnit) ? GetLe32(unit + UnitHeader::kRecordPositions + 4 * record)
                                                        : 0;
}

int CompareStoreTime(const uint8_t *a, const uint8_t *b) { return std::memcmp(a, b, kStoreTimeSize); }

void StoreComputeLayout(uint8_t *d, uint32_t totalSectors)
{
    const int64_t t = totalSectors;
    const int64_t reserved = t / 400000 + kSubBlockLba + 10;
    const int64_t first = reserved + t / kDiskBlockSectors + 10;
    // Last block that still fits; a disk too small for one block gets 0, which no reader takes.
    const int64_t blocks = t > first ? (t - first) / kDiskBlockSectors : 0;
    const int64_t last = blocks >= 1 ? first + (blocks - 1) * kDiskBlockSectors : 0;
    PutLe32(d + DiskHeader::kTotalSectors, totalSectors);
    PutLe32(d + DiskHeader::kSubBlockLba, kSubBlockLba);
    PutLe32(d + DiskHeader::kReservedLba, uint32_t(reserved));
    PutLe32(d + DiskHeader::kFirstBlockLba, uint32_t(first));
    PutLe32(d + DiskHeader::kLastBlockLba, uint32_t(last));
}

bool StoreDiskWrapped(const uint8_t *d) { return DiskField(d, DiskHeader::kEndLba) < DiskField(d, DiskHeader::kStartLba); }

namespace {

bool OnBlockGrid(const uint8_t *d, uint32_t lba)
{
    const uint32_t first = DiskField(d, DiskHeader::kFirstBlockLba);
    const uint32_t last = DiskField(d, DiskHeader::kLastBlockLba);
    return lba >= first && lba <= last && (lba - first) % kDiskBlockSectors == 0;
}

} // namespace

bool StoreIsValidDisk(const uint8_t *d)
{
    const uint32_t start = DiskField(d, DiskHeader::kStartLba);
    const uint32_t end = DiskField(d, DiskHeader::kEndLba);
    if (start == 0 || end == 0)
        return false;
    const uint32_t first = DiskField(d, DiskHeader::kFirstBlockLba);
    const uint32_t last = DiskField(d, DiskHeader::kLastBlockLba);
    if (last == 0 || last < first || !OnBlockGrid(d, start) || !OnBlockGrid(d, end))
        return false;
    if (start <= end)
        return true;
    // A wrapped ring also walks through both wrap points.
    return OnBlockGrid(d, DiskField(d, DiskHeader::kWrapForwardLba)) &&
           OnBlockGrid(d, DiskField(d, DiskHeader::kWrapBackwardLba));
}

int64_t CalcBlkCnt(const uint8_t *d)
{
    if (!StoreIsValidDisk(d))
        return 0;
    const int64_t start = DiskField(d, DiskHeader::kStartLba);
    const int64_t end = DiskField(d, DiskHeader::kEndLba);
    if (start <= end)
        return (end - start) / kDiskBlockSectors + 1;
    const int64_t wrapFwd = DiskField(d, DiskHeader::kWrapForwardLba);
    const int64_t wrapBack = DiskField(d, DiskHeader::kWrapBackwardLba);
    return ((wrapBack - start) + (end - wrapFwd)) / kDiskBlockSectors + 2;
}

int64_t StoreHeadSequence(const uint8_t *d)
{
    return int64_t(DiskField(d, DiskHeader::kNewestSequence)) - (CalcBlkCnt(d) - 1);
}

uint32_t StoreSubBlockLba(const uint8_t *d, uint32_t blockLba)
{
    const uint32_t first = DiskField(d, DiskHeader::kFirstBlockLba);
    return kSubBlockLba + (blockLba > first ? (blockLba - first) / kSubBlockSectors : 0);
}

DvrStoreContext::~DvrStoreContext()
{
    if (stream)
        std::fclose(stream);
}

void StoreResetState(DvrStoreContext *ctx)
{
    ctx->byteCount = 0;
    ctx->channelCount = 0;
    ctx->videoStandard = 0;
    ctx->firstTime.fill(0);
    ctx->lastTime.fill(0);
    ctx->blockPos = 0;
    ctx->running = 0;
    ctx->direction = 0;
    ctx->fastFactor = 0;
    ctx->slowFactor = 0;
    ctx->recordIndex = 0;
    ctx->unitIndex = 0;
    ctx->candidateDisk = -1;
    ctx->candidateFirst = 0;
    ctx->candidateLast = 0;
    ctx->playState = 0;
    ctx->singleStep = 0;
    ctx->skip.fill(0);
    ctx->unitHdr.fill(0);
    ctx->blkHdr.fill(0);
    ctx->sblkHdr.fill(0);
    ctx->diskHdr.fill(0);
    ctx->diskHdrStale = false;
}

TimedEvent &StoreRecEvent() { return NamedEvent(kRecEventName); }

bool JpegPlayControl(DvrStoreContext *ctx, uint8_t fast, uint8_t slow, uint8_t direction)
{
    DebugPrint("JpegPlayControl = %d, %d, %d\n", fast, slow, direction);
    auto twice = [](uint8_t f) { return f == 0 ? uint8_t(2) : uint8_t(f * 2); }; // 8 bits, wraps past 128
    if (fast >= 2) {
        ctx->fastFactor = fast;
        ctx->direction = direction;
    } else if (direction > 0 && direction != ctx->direction) {
        if (direction == 1)
            ctx->direction = ctx->direction == kPlayForward ? kPlayBackward : kPlayForward;
        else
            ctx->direction = direction;
    } else if (fast == 1) {
        ctx->slowFactor = 0;
        ctx->fastFactor = twice(ctx->fastFactor);
    } else if (slow != 0) {
        ctx->fastFactor = 0;
        ctx->slowFactor = twice(ctx->slowFactor);
    } else {
        ctx->fastFactor = 0;
        ctx->slowFactor = 0;
        if (direction == 0)
            ctx->direction = kPlayForward;
    }
    DebugPrint("PlayControl() : %d, %d, %d, %d\n", ctx->playState, ctx->fastFactor, ctx->slowFactor, ctx->direction);
    return true;
}

void JpegPlayAt(DvrStoreContext *ctx, int handle, uint32_t block, uint8_t unit, uint8_t record)
{
    ctx->skip.fill(0);
    ctx->singleStep = 0;
    JpegPlayControl(ctx, 0, 0, 0);
    if (block != 0) {
        ctx->diskHdr.fill(0);
        ctx->blkHdr.fill(0);
        ctx->unitHdr.fill(0);
        ctx->disk = handle;
        ctx->blockPos = block;
        ctx->unitIndex = unit;
        ctx->recordIndex = record;
    }
    DebugPrint("JpegPlayAt(): %d, %u, %d, %d\n", handle, block, unit, record);
}

} // namespace strandel
