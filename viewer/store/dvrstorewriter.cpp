// The `.dvr` writer: records are appended as they arrive; the file header is written with the
// first record, unit headers as units fill and block headers whenever a unit was added, so a
// recording cut short by a crash loses at most its last unit.
#include "viewer/store/dvrstorewriter.h"

#include "platform/debuglog.h"
#include "viewer/store/dvrstore.h"
#include "viewer/store/dvrstore_p.h"

#include <algorithm>
#include <cstring>

namespace strandel {

using namespace store;

namespace {

bool SeekTo(std::FILE *f, uint64_t pos) { return fseeko(f, off_t(pos), SEEK_SET) == 0; }
bool SeekEnd(DvrStoreContext *ctx) { return SeekTo(ctx->stream, ctx->byteCount); }

void ClearUnit(DvrStoreContext *ctx) { ctx->unitHdr.fill(0); }
void ClearBlock(DvrStoreContext *ctx) { ctx->blkHdr.fill(0); }

// Room that one more record needs in its block: itself, its header and the unit header that
// will follow it.
uint64_t RecordFootprint(uint64_t dataSize, bool padded)
{
    return (padded ? kRecordHeaderSize + kRecordPadSize : kRecordHeaderSize) + dataSize + UnitHeader::kSize;
}

// The multiple of the block span where the current block's data must end. Taken from the
// block's own position: data that end exactly on a multiple have filled their block.
uint64_t BlockDataEnd(const DvrStoreContext *ctx)
{
    return (uint64_t(ctx->blockPos) / kFileBlockSpan + 1) * kFileBlockSpan;
}

} // namespace

bool StoreCreateFile(DvrStoreContext *ctx, const std::string &path, bool exclusive)
{
    if (ctx->stream)
        std::fclose(ctx->stream);
    ctx->stream = std::fopen(path.c_str(), exclusive ? "wbx" : "wb");
    ctx->byteCount = 0;
    ctx->blockPos = 0;
    if (!ctx->stream) {
        DebugPrint("Cannot create %s\n", path.c_str());
        return false;
    }
    return true;
}

bool StoreWriteBytes(DvrStoreContext *ctx, const uint8_t *p, uint32_t n, bool counted)
{
    if (!ctx->stream)
        return false;
    if (n == 0)
        return true;
    // An unbuffered stream may count a failed write as done; its error flag tells.
    if (std::fwrite(p, 1, n, ctx->stream) != n || std::ferror(ctx->stream))
        return false;
    if (counted)
        ctx->byteCount += n;
    return true;
}

bool StoreWriteZeros(DvrStoreContext *ctx, uint32_t n)
{
    static const uint8_t zeros[512] = {};
    while (n > 0) {
        const uint32_t piece = n < sizeof zeros ? n : uint32_t(sizeof zeros);
        if (!StoreWriteBytes(ctx, zeros, piece, true))
            return false;
        n -= piece;
    }
    return true;
}

bool WriteHdrFile(DvrStoreContext *ctx, int mode)
{
    if (!ctx->stream)
        return false;
    uint8_t *unit = ctx->unitHdr.data();
    uint8_t *block = ctx->blkHdr.data();
    switch (mode) {
    case StoreUnitHeader: {
        const int units = block[BlockHeader::kUnitCount];
        if (units >= kMaxUnitsPerBlock) // the block has no slot for another unit
            return false;
        std::memcpy(unit + UnitHeader::kTimes, ctx->lastTime.data(), kStoreTimeSize);
        const uint16_t mask = GetLe16(unit + UnitHeader::kChannelMask);
        PutLe16(block + BlockHeader::kChannelMask, uint16_t(GetLe16(block + BlockHeader::kChannelMask) | mask));
        for (int ch = 1; ch <= kStoreChannels; ++ch) {
            if (mask & (1u << (ch - 1)))
                std::memcpy(block + BlockHeader::kTimes + ch * kStoreTimeSize,
                            unit + UnitHeader::kTimes + ch * kStoreTimeSize, kStoreTimeSize);
        }
        PutLe32(block + BlockHeader::kUnitPositions + 4 * units, ctx->byteCount);
        if (!StoreWriteBytes(ctx, unit, UnitHeader::kSize, true)) {
            std::clearerr(ctx->stream);
            SeekEnd(ctx);
            return false;
        }
        block[BlockHeader::kUnitCount] = uint8_t(units + 1);
        // Keep the block header current, so the file reads up to here whatever happens next.
        if (!WriteHdrFile(ctx, StoreBlockHeader))
            return false;
        return std::fflush(ctx->stream) == 0;
    }
    case StoreBlockHeader:
        std::memcpy(block + BlockHeader::kTimes, ctx->lastTime.data(), kStoreTimeSize);
        if (!SeekTo(ctx->stream, ctx->blockPos))
            return false;
        if (!StoreWriteBytes(ctx, block, BlockHeader::kSize, false)) {
            std::clearerr(ctx->stream);
            SeekEnd(ctx);
            return false;
        }
        return SeekEnd(ctx);
    case StoreFileHeader: {
        uint8_t *file = ctx->diskHdr.data();
        file[DiskHeader::kChannelCount] = ctx->channelCount;
        file[DiskHeader::kVideo] = ctx->videoStandard;
        if (!SeekTo(ctx->stream, 0))
            return false;
        // Counted only while it extends the file; rewriting it at close adds nothing.
        const bool counted = ctx->byteCount == 0;
        const bool ok = StoreWriteBytes(ctx, file, DiskHeader::kSize, counted);
        DebugPrint("Write File Hdr : %d, %d\n", ctx->channelCount, ctx->videoStandard);
        return SeekEnd(ctx) && ok;
    }
    default:
        return false;
    }
}

bool StoreAppendRecord(DvrStoreContext *ctx, uint8_t *header, const uint8_t *data)
{
    if (!ctx->stream || !header)
        return false;
    const uint64_t total = RecordDataSize(header);
    if (total >= kMaxRecordBytes || !SectorsFit(RecordSectors(total)))
        return false;
    const bool padded = IsPaddedKind(data, total);
    // Unit and record positions are 32-bit: refuse what could no longer be addressed.
    if (uint64_t(ctx->byteCount) + RecordFootprint(total, padded) + 2ull * kFileBlockSpan > UINT32_MAX)
        return false;

    if (header[kRecChannel1] > 0)
        std::memcpy(ctx->lastTime.data(), header + kRecTime, kStoreTimeSize);

    // An append that fails anywhere leaves unit, block and file end as they were before it, so
    // that a retry writes every header once and the block indexes every unit once.
    const UnitHeaderBuffer unitBefore = ctx->unitHdr;
    const BlockHeaderBuffer blockBefore = ctx->blkHdr;
    const uint32_t blockPosBefore = ctx->blockPos, end = ctx->byteCount;
    auto fail = [&] {
        ctx->unitHdr = unitBefore;
        ctx->blkHdr = blockBefore;
        ctx->blockPos = blockPosBefore;
        std::clearerr(ctx->stream);
        ctx->byteCount = end;
        SeekEnd(ctx);
        return false;
    };

    if (ctx->byteCount == 0) {
        if (!WriteHdrFile(ctx, StoreFileHeader))
            return fail();
        ctx->blockPos = kFileFirstBlock;
        if (!StoreWriteZeros(ctx, BlockHeader::kSize))
            return fail();
        ctx->firstTime = ctx->lastTime;
    }

    PutLe32(header + kRecSectors, RecordSectors(total));

    // A new block when this record and the unit header after it would not end before the next
    // multiple of the block span, or when the block has all its units.
    const uint64_t boundary = BlockDataEnd(ctx);
    const bool crosses = ctx->byteCount + RecordFootprint(total, padded) > boundary;
    if (crosses || ctx->blkHdr[BlockHeader::kUnitCount] >= kMaxUnitsPerBlock) {
        if (ctx->unitHdr[UnitHeader::kRecordCount] > 0 && !WriteHdrFile(ctx, StoreUnitHeader))
            return fail();
        ClearUnit(ctx);
        if (ctx->blkHdr[BlockHeader::kUnitCount] > 0 && !WriteHdrFile(ctx, StoreBlockHeader))
            return fail();
        ClearBlock(ctx);
        ctx->blockPos += kFileBlockSpan;
        const uint32_t dataStart = ctx->blockPos + BlockHeader::kSize;
        if (ctx->byteCount < dataStart && !StoreWriteZeros(ctx, dataStart - ctx->byteCount))
            return fail();
    }

    uint8_t *unit = ctx->unitHdr.data();
    const int count = unit[UnitHeader::kRecordCount];
    if (count >= kMaxRecordsPerUnit) // never left so; the unit has no slot for another record
        return fail();

    PutLe32(unit + UnitHeader::kRecordPositions + 4 * count, ctx->byteCount);
    for (int j = 0; j < 2; ++j) {
        const uint8_t c = header[kRecChannel1 + j];
        if (c == 0 || c > kStoreChannels) // no channel, or none a unit can index
            continue;
        PutLe16(unit + UnitHeader::kChannelMask, uint16_t(GetLe16(unit + UnitHeader::kChannelMask) | (1u << (c - 1))));
        unit[UnitHeader::kChannelPairs + 2 * count + j] = c;
        std::memcpy(unit + UnitHeader::kTimes + c * kStoreTimeSize, header + kRecTime, kStoreTimeSize);
    }

    if (!StoreWriteBytes(ctx, header, kRecordHeaderSize, true))
        return fail();
    // The extra header bytes of the padded kind are zeros: nothing of the caller's memory
    // beyond the header ends up in the file.
    if (padded && !StoreWriteZeros(ctx, kRecordPadSize))
        return fail();
    if (data && !StoreWriteBytes(ctx, data, uint32_t(total), true))
        return fail();

    unit[UnitHeader::kRecordCount] = uint8_t(count + 1);
    if (count + 1 == kMaxRecordsPerUnit) {
        // The unit is full: a unit or block header that did not reach the file takes the record
        // back with it, or the next append would index past the full unit.
        if (!WriteHdrFile(ctx, StoreUnitHeader))
            return fail();
        ClearUnit(ctx);
    }
    return true;
}

bool StoreCloseFile(DvrStoreContext *ctx)
{
    if (!ctx->stream)
        return false;
    bool ok = true;
    // The closing unit header is written even when empty, as long as the block has a slot and
    // room for it; readers step over an empty unit.
    const bool hasRecords = ctx->unitHdr[UnitHeader::kRecordCount] > 0;
    const bool fits = ctx->byteCount + uint64_t(UnitHeader::kSize) <= BlockDataEnd(ctx) + kFileFirstBlock;
    if (hasRecords || (fits && ctx->blkHdr[BlockHeader::kUnitCount] < kMaxUnitsPerBlock))
        ok = WriteHdrFile(ctx, StoreUnitHeader) && ok;
    ok = WriteHdrFile(ctx, StoreBlockHeader) && ok;
    std::memcpy(ctx->diskHdr.data() + DiskHeader::kFirstTime, ctx->firstTime.data(), kStoreTimeSize);
    std::memcpy(ctx->diskHdr.data() + DiskHeader::kLastTime, ctx->lastTime.data(), kStoreTimeSize);
    ok = WriteHdrFile(ctx, StoreFileHeader) && ok;
    ok = std::fclose(ctx->stream) == 0 && ok;
    ctx->stream = nullptr;
    DebugPrint("Stop Info.\n");
    return ok;
}

} // namespace strandel

// ---- the record push's writer ----------------------------------------------------------------

namespace strandel {

DvrStoreWriter::DvrStoreWriter(int channelCount, bool ntsc)
{
    ctx_.channelCount = uint8_t(std::clamp(channelCount, 0, kStoreChannels));
    ctx_.videoStandard = ntsc ? 1 : 0;
}

DvrStoreWriter::~DvrStoreWriter() { Close(); }

bool DvrStoreWriter::Create(const std::string &fileName) { return StoreCreateFile(&ctx_, fileName, true); }

bool DvrStoreWriter::IsOpen() const { return ctx_.stream != nullptr; }

bool DvrStoreWriter::Append(const FrameRecordHeader &header, const uint8_t *record, size_t length)
{
    if (length != header.TotalSize())
        return false;
    // No reader would take it back; refusing it here would end the whole recording.
    if (length >= kMaxRecordBytes || !SectorsFit(RecordSectors(length))) {
        DebugPrint("Record of %zu bytes left out of the recording: too big to play back\n", length);
        return true;
    }
    auto bytes = header.ToBytes();
    return StoreAppendRecord(&ctx_, bytes.data(), length ? record : nullptr);
}

void DvrStoreWriter::Close()
{
    if (ctx_.stream)
        StoreCloseFile(&ctx_);
}

void DvrStoreWriter::ClearHeaders()
{
    ctx_.unitHdr.fill(0);
    ctx_.blkHdr.fill(0);
    ctx_.sblkHdr.fill(0);
    ctx_.diskHdr.fill(0);
}

uint64_t DvrStoreWriter::BytesWritten() const { return ctx_.byteCount; }

DvrRecordWriterFactory StoreWriterFactory()
{
    return [](int channelCount, bool ntsc) -> std::unique_ptr<DvrRecordWriter> {
        return std::make_unique<DvrStoreWriter>(channelCount, ntsc);
    };
}

} // namespace strandel
