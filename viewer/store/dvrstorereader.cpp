// The `.dvr` reader: positions by time and steps record by record in either direction.
// Every count, position and size comes from the file and is checked before it is used.
#include "viewer/store/dvrstore.h"

#include "platform/debuglog.h"
#include "viewer/store/dvrstore_p.h"

#include <algorithm>
#include <cstring>

namespace strandel {

using namespace store;

namespace {

enum class Move { Continue, Failed, End };

bool ReadAt(DvrStoreContext *ctx, uint64_t pos, uint8_t *p, uint32_t n)
{
    if (!ctx->stream || fseeko(ctx->stream, off_t(pos), SEEK_SET) != 0)
        return false;
    return StoreReadBytes(ctx, p, n);
}

int LastIndex(int count) { return count > 0 ? count - 1 : 0; }

// Reads the unit at the context's unit index; an index past the block's units is an empty unit.
bool ReadCurrentUnit(DvrStoreContext *ctx) { return StoreReadHeader(ctx, StoreUnitHeader); }

// Reads the data of a record whose header passed the checks. Data that begin with eight zero
// bytes may be the padded kind: the 96 bytes after them are read too, so the players, which
// skip 96 bytes of such data, get the whole record.
bool ReadRecordData(DvrStoreContext *ctx, const uint8_t *header, uint8_t *data)
{
    const uint32_t total = uint32_t(RecordDataSize(header));
    if (!StoreReadBytes(ctx, data, total))
        return false;
    const uint32_t lead = std::min<uint32_t>(total, 8);
    if (total < 4 || std::any_of(data, data + lead, [](uint8_t b) { return b != 0; }))
        return true;
    const size_t got = std::fread(data + total, 1, kRecordPadSize, ctx->stream);
    std::memset(data + total + got, 0, kRecordPadSize - got);
    return true;
}

Move MoveBackward(DvrStoreContext *ctx)
{
    if (ctx->recordIndex > 0) {
        --ctx->recordIndex;
        return Move::Continue;
    }
    if (ctx->unitIndex > 0) {
        --ctx->unitIndex;
        if (!ReadCurrentUnit(ctx))
            return Move::Failed;
        ctx->recordIndex = uint8_t(LastIndex(UnitRecordCount(ctx->unitHdr.data())));
        return Move::Continue;
    }
    if (ctx->blockPos < kFileBlockSpan)
        return Move::End;
    ctx->blockPos -= kFileBlockSpan;
    if (!StoreReadHeader(ctx, StoreBlockHeader))
        return Move::Failed;
    ctx->unitIndex = uint8_t(LastIndex(BlockUnitCount(ctx->blkHdr.data())));
    if (!ReadCurrentUnit(ctx))
        return Move::Failed;
    ctx->recordIndex = uint8_t(LastIndex(UnitRecordCount(ctx->unitHdr.data())));
    return Move::Continue;
}

Move MoveForward(DvrStoreContext *ctx)
{
    if (ctx->recordIndex + 1 < UnitRecordCount(ctx->unitHdr.data())) {
        ++ctx->recordIndex;
        return Move::Continue;
    }
    ctx->recordIndex = 0;
    if (ctx->unitIndex + 1 < BlockUnitCount(ctx->blkHdr.data())) {
        ++ctx->unitIndex;
        return ReadCurrentUnit(ctx) ? Move::Continue : Move::Failed;
    }
    if (uint64_t(ctx->blockPos) + kFileBlockSpan > UINT32_MAX)
        return Move::End;
    const uint32_t previous = ctx->blockPos;
    ctx->blockPos += kFileBlockSpan;
    if (!StoreReadHeader(ctx, StoreBlockHeader)) {
        const bool atEnd = std::feof(ctx->stream);
        ctx->blockPos = previous;
        if (atEnd) {
            // Keep the last record current, so the next call does not read past it.
            ctx->recordIndex = uint8_t(LastIndex(UnitRecordCount(ctx->unitHdr.data())));
            return Move::End;
        }
        return Move::Failed;
    }
    ctx->unitIndex = 0;
    return ReadCurrentUnit(ctx) ? Move::Continue : Move::Failed;
}

} // namespace

bool StoreOpenFile(DvrStoreContext *ctx, const std::string &path)
{
    StoreCloseStream(ctx);
    ctx->stream = std::fopen(path.c_str(), "rb");
    if (!ctx->stream) {
        DebugPrint("Cannot open %s\n", path.c_str());
        return false;
    }
    if (!StoreReadFileHeader(ctx)) {
        StoreCloseStream(ctx);
        return false;
    }
    return true;
}

void StoreCloseStream(DvrStoreContext *ctx)
{
    if (ctx->stream)
        std::fclose(ctx->stream);
    ctx->stream = nullptr;
}

bool StoreReadBytes(DvrStoreContext *ctx, uint8_t *p, uint32_t n)
{
    if (!ctx->stream)
        return false;
    return n == 0 || std::fread(p, 1, n, ctx->stream) == n;
}

bool StoreReadFileHeader(DvrStoreContext *ctx)
{
    DebugPrint("Read File Header\n");
    if (!StoreReadHeader(ctx, StoreFileHeader))
        return false;
    ctx->channelCount = std::min<uint8_t>(ctx->diskHdr[DiskHeader::kChannelCount], kStoreChannels);
    ctx->videoStandard = ctx->diskHdr[DiskHeader::kVideo];
    return true;
}

bool StoreReadHeader(DvrStoreContext *ctx, int mode)
{
    uint8_t *buffer = nullptr;
    uint32_t size = 0;
    uint64_t pos = 0;
    switch (mode) {
    case StoreUnitHeader:
        buffer = ctx->unitHdr.data();
        size = UnitHeader::kSize;
        if (ctx->unitIndex >= BlockUnitCount(ctx->blkHdr.data())) {
            ctx->unitHdr.fill(0); // no such unit: nothing to read, nothing to play
            return true;
        }
        pos = BlockUnitPosition(ctx->blkHdr.data(), ctx->unitIndex);
        break;
    case StoreBlockHeader:
        buffer = ctx->blkHdr.data();
        size = BlockHeader::kSize;
        pos = ctx->blockPos;
        break;
    case StoreFileHeader:
        buffer = ctx->diskHdr.data();
        size = DiskHeader::kSize;
        break;
    default:
        return false;
    }
    if (ReadAt(ctx, pos, buffer, size))
        return true;
    std::memset(buffer, 0, size);
    return false;
}

bool StoreSeekImage(DvrStoreContext *ctx, uint8_t channel, const uint8_t *time)
{
    const uint8_t *unit = ctx->unitHdr.data();
    const int count = UnitRecordCount(unit);
    uint8_t header[kRecordHeaderSize];
    for (int r = 0; r < count; ++r) {
        if (!ReadAt(ctx, UnitRecordPosition(unit, r), header, kRecordHeaderSize))
            return false;
        for (int j = 0; j < 2; ++j) {
            if ((channel == 0 || header[kRecChannel1 + j] == channel) && TimeAtMost(time, header + kRecTime)) {
                ctx->recordIndex = uint8_t(r);
                DebugPrint("Search Time Found..........\n");
                return true;
            }
        }
    }
    ctx->recordIndex = uint8_t(LastIndex(count));
    return false;
}

bool StoreSeekUnit(DvrStoreContext *ctx, uint8_t channel, const uint8_t *time)
{
    const int units = BlockUnitCount(ctx->blkHdr.data());
    for (int u = 0; u < units; ++u) {
        ctx->unitIndex = uint8_t(u);
        if (!ReadCurrentUnit(ctx))
            return false;
        if (TimeAtMost(time, ChannelTime(ctx->unitHdr.data() + UnitHeader::kTimes, channel))) {
            StoreSeekImage(ctx, channel, time);
            return true;
        }
    }
    ctx->unitIndex = uint8_t(LastIndex(units));
    if (units == 0)
        ctx->unitHdr.fill(0);
    StoreSeekImage(ctx, channel, time);
    return false;
}

bool StoreSeekBlock(DvrStoreContext *ctx, uint8_t channel, const uint8_t *time)
{
    if (!ctx->stream || channel > kStoreChannels)
        return false;
    if (fseeko(ctx->stream, 0, SEEK_END) != 0)
        return false;
    const int64_t length = ftello(ctx->stream);
    int64_t remembered = -1;
    for (int64_t p = kFileFirstBlock; p <= length && p <= UINT32_MAX; p += kFileBlockSpan) {
        ctx->blockPos = uint32_t(p);
        if (!StoreReadHeader(ctx, StoreBlockHeader))
            break;
        const uint8_t *block = ctx->blkHdr.data();
        if (TimeAtMost(time, ChannelTime(block + BlockHeader::kTimes, channel))) {
            ctx->unitIndex = 0;
            ctx->recordIndex = 0;
            StoreSeekUnit(ctx, channel, time);
            return true;
        }
        if (channel == 0 || (GetLe16(block + BlockHeader::kChannelMask) & (1u << (channel - 1))))
            remembered = p;
    }
    if (remembered < 0) {
        ctx->blockPos = 0;
        ctx->blkHdr.fill(0);
        ctx->unitHdr.fill(0);
        DebugPrint("No Data : %d\n", channel);
        return false;
    }
    // Nothing reaches the time: play from the channel's last records.
    ctx->blockPos = uint32_t(remembered);
    if (!StoreReadHeader(ctx, StoreBlockHeader))
        return false;
    StoreSeekUnit(ctx, channel, time);
    return true;
}

bool StoreSeekTime(DvrStoreContext *ctx, uint8_t channel, const uint8_t *time)
{
    ctx->blockPos = 0;
    ctx->unitIndex = 0;
    ctx->recordIndex = 0;
    if (channel > kStoreChannels) {
        DebugPrint("No Data : %d\n", channel);
        return false;
    }
    return StoreSeekBlock(ctx, channel, time);
}

int StoreNextRecord(DvrStoreContext *ctx, uint8_t *header, uint8_t *data, bool *recordRead)
{
    bool read = false;
    if (recordRead)
        *recordRead = false;
    if (!ctx->stream)
        return StoreFailed;
    for (int step = 0; step < 32; ++step) {
        const uint8_t *unit = ctx->unitHdr.data();
        const int count = UnitRecordCount(unit);
        if (count > 0) {
            ctx->recordIndex = uint8_t(std::min<int>(ctx->recordIndex, count - 1));
            const uint8_t c = unit[UnitHeader::kChannelPairs + 2 * ctx->recordIndex];
            if (c > kStoreChannels) {
                DebugPrint(">>---->>> ERROR 1 = %d, %d, %d, %d\n", c, 0, ctx->unitIndex, ctx->recordIndex);
            } else if (++ctx->skip[c] >= ctx->fastFactor) {
                ctx->skip[c] = 0;
                if (!ReadAt(ctx, UnitRecordPosition(unit, ctx->recordIndex), header, kRecordHeaderSize))
                    return StoreFailed;
                if (RecordSane(header)) {
                    header[kRecKind] = kRecKindPlayback;
                    if (data && !ReadRecordData(ctx, header, data))
                        return StoreFailed;
                    read = true;
                } else {
                    DebugPrint(">>---->>> ERROR 1 = %d, %u, %d, %d\n", c, GetLe32(header + kRecSectors),
                               ctx->unitIndex, ctx->recordIndex);
                }
            }
        }
        const Move move = ctx->direction == kPlayBackward ? MoveBackward(ctx) : MoveForward(ctx);
        if (recordRead)
            *recordRead = read;
        if (move == Move::Failed)
            return StoreFailed;
        if (move == Move::End)
            return StoreEnd;
        if (read)
            return StoreRecord;
    }
    return StoreNothing;
}

} // namespace strandel
