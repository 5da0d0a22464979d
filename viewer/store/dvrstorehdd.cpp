// The recorder-disk reader: whole-sector reads (pread, read-only) on a block device or a disk
// image file, the play engine over the block ring, time search, and the event and block lists.
// Every LBA, count and ring index read from the disk is checked before it is followed.
#include "viewer/store/dvrstore.h"

#include "platform/debuglog.h"
#include "platform/settings.h"
#include "viewer/link/crc32.h"
#include "viewer/store/dvrstore_p.h"

#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace strandel {

using namespace store;

namespace {

constexpr int kPhysicalDrives = 20;
constexpr int kSataDrives = 16; // /dev/sda../dev/sdp; the rest are /dev/nvme0n1..

bool ReadCheckedHeader(int handle, uint64_t lba, uint8_t *buf, uint32_t size)
{
    if (ReadSectors(handle, lba, buf, size) != 0 && CheckCrc(buf, size))
        return true;
    std::memset(buf, 0, size);
    return false;
}

bool OnGrid(const uint8_t *d, uint64_t lba)
{
    const uint32_t first = DiskField(d, DiskHeader::kFirstBlockLba);
    const uint32_t last = DiskField(d, DiskHeader::kLastBlockLba);
    return lba >= first && lba <= last && (lba - first) % kDiskBlockSectors == 0;
}

bool HasChannel(uint16_t mask, uint8_t channel) { return channel == 0 || (mask & (1u << (channel - 1))); }

void Remember(DvrStoreContext *ctx, int handle, uint64_t first, uint64_t last)
{
    ctx->candidateDisk = handle;
    ctx->candidateFirst = uint32_t(first);
    ctx->candidateLast = uint32_t(std::min<uint64_t>(last, UINT32_MAX));
}

bool TimeSearchImage(DvrStoreContext *ctx, uint8_t channel, const uint8_t *time)
{
    const uint8_t *unit = ctx->unitHdr.data();
    const int count = UnitRecordCount(unit);
    uint8_t header[kRecordHeaderSize];
    ctx->recordIndex = 0;
    for (int r = 0; r < count; ++r) {
        if (ReadSectors(ctx->disk, UnitRecordPosition(unit, r), header, kRecordHeaderSize) == 0)
            continue;
        for (int j = 0; j < 2; ++j) {
            const uint8_t b = header[kRecChannel1 + j];
            if ((channel == 0 || b == channel) && TimeAtMost(time, header + kRecTime)) {
                ctx->recordIndex = uint8_t(r);
                DebugPrint("SEARCH: ---> Search Time Found..........\n");
                return true;
            }
            if (b > 0)
                ctx->recordIndex = uint8_t(r);
        }
    }
    return false;
}

bool TimeSearchUnit(DvrStoreContext *ctx, uint8_t channel, const uint8_t *time)
{
    const uint8_t *block = ctx->blkHdr.data();
    const int units = BlockUnitCount(block);
    for (int u = 0; u < units; ++u) {
        ctx->unitIndex = uint8_t(u);
        if (!ReadUnitHdr(ctx->disk, BlockUnitPosition(block, u), ctx->unitHdr.data())) {
            DebugPrint(">>---->>> ERROR : ReadUnitHdr()\n");
            continue;
        }
        if (TimeAtMost(time, ChannelTime(ctx->unitHdr.data() + UnitHeader::kTimes, channel))) {
            TimeSearchImage(ctx, channel, time);
            return true;
        }
    }
    ctx->unitIndex = uint8_t(units > 0 ? units - 1 : 0);
    if (units == 0 || !ReadUnitHdr(ctx->disk, BlockUnitPosition(block, ctx->unitIndex), ctx->unitHdr.data()))
        ctx->unitHdr.fill(0);
    TimeSearchImage(ctx, channel, time);
    return false;
}

bool TimeSearchBlock(DvrStoreContext *ctx, uint64_t from, uint64_t to, uint8_t channel, const uint8_t *time)
{
    for (uint64_t b = from; b <= to && b <= UINT32_MAX; b += kDiskBlockSectors) {
        if (!ReadBlkHdr(ctx->disk, uint32_t(b), ctx->blkHdr.data()))
            continue;
        const uint8_t *block = ctx->blkHdr.data();
        if (TimeAtMost(time, ChannelTime(block + BlockHeader::kTimes, channel))) {
            ctx->blockPos = uint32_t(b);
            TimeSearchUnit(ctx, channel, time);
            return true;
        }
        if (HasChannel(GetLe16(block + BlockHeader::kChannelMask), channel))
            Remember(ctx, ctx->disk, b, b);
    }
    return false;
}

bool TimeSearchLba(DvrStoreContext *ctx, uint32_t from, uint32_t to, uint8_t channel, const uint8_t *time)
{
    const uint8_t *d = ctx->diskHdr.data();
    const uint64_t first = DiskField(d, DiskHeader::kFirstBlockLba);
    if (from < first || to < from)
        return false;
    const uint64_t s = first + ((from - first) / kSubBlockSectors) * kSubBlockSectors;
    if (TimeSearchBlock(ctx, from, std::min<uint64_t>(to, s + kSubBlockSectors - 1), channel, time))
        return true;
    for (uint64_t l = s + kSubBlockSectors; l <= to; l += kSubBlockSectors) {
        const uint64_t index = (l - first) / kSubBlockSectors;
        if (!ReadSblkHdr(ctx->disk, uint32_t(kSubBlockLba + index), ctx->sblkHdr.data()))
            continue;
        const uint8_t *sb = ctx->sblkHdr.data();
        if (TimeAtMost(time, ChannelTime(sb + SubBlockHeader::kTimes, channel))) {
            DebugPrint("SEARCH: Search Block Found %u, %u\n", uint32_t(l), uint32_t(index));
            if (TimeSearchBlock(ctx, l, l + kSubBlockSectors - 1, channel, time))
                return true;
        } else if (HasChannel(GetLe16(sb + SubBlockHeader::kChannelMask), channel)) {
            Remember(ctx, ctx->disk, l, l + kSubBlockSectors - 1);
        }
    }
    return false;
}

enum class Move { Continue, End };

Move PlayMoveForward(DvrStoreContext *ctx, int units, int records)
{
    const uint8_t *d = ctx->diskHdr.data();
    if (ctx->recordIndex + 1 < records) {
        ++ctx->recordIndex;
        return Move::Continue;
    }
    ctx->recordIndex = 0;
    ctx->unitHdr.fill(0);
    if (ctx->unitIndex + 1 < units) {
        ++ctx->unitIndex;
        return Move::Continue;
    }
    if (ctx->blockPos == DiskField(d, DiskHeader::kEndLba))
        return Move::End;
    if (ctx->blockPos < DiskField(d, DiskHeader::kLastBlockLba)) {
        ctx->blockPos += kDiskBlockSectors;
    } else {
        ctx->blockPos = DiskField(d, DiskHeader::kWrapForwardLba);
        ctx->diskHdrStale = true;
        DebugPrint("PLAY: --------- Hdd End\n");
    }
    ctx->unitIndex = 0;
    ctx->blkHdr.fill(0);
    return Move::Continue;
}

Move PlayMoveBackward(DvrStoreContext *ctx)
{
    const uint8_t *d = ctx->diskHdr.data();
    if (ctx->recordIndex > 0) {
        --ctx->recordIndex;
        return Move::Continue;
    }
    ctx->unitHdr.fill(0);
    if (ctx->unitIndex > 0) {
        --ctx->unitIndex;
        ctx->recordIndex = kMaxRecordsPerUnit; // clamped once the unit is read
        return Move::Continue;
    }
    if (ctx->blockPos == DiskField(d, DiskHeader::kStartLba))
        return Move::End;
    if (ctx->blockPos > DiskField(d, DiskHeader::kFirstBlockLba)) {
        ctx->blockPos -= kDiskBlockSectors;
    } else {
        ctx->blockPos = DiskField(d, DiskHeader::kWrapBackwardLba);
        ctx->diskHdrStale = true;
        DebugPrint("PLAY: --------- Hdd End\n");
        DebugPrint("Play Hdd Changed to = %u\n", ctx->blockPos);
    }
    ctx->unitIndex = kMaxUnitsPerBlock;
    ctx->recordIndex = kMaxRecordsPerUnit;
    ctx->blkHdr.fill(0);
    return Move::Continue;
}

// Reads header and data of the current record into `record` when the fast factor lets it.
bool PlayReadRecord(DvrStoreContext *ctx, uint8_t *record)
{
    const uint8_t *unit = ctx->unitHdr.data();
    const uint8_t c = unit[UnitHeader::kChannelPairs + 2 * ctx->recordIndex];
    if (c > kStoreChannels)
        return false;
    if (++ctx->skip[c] < ctx->fastFactor)
        return false;
    ctx->skip[c] = 0;
    const uint64_t lba = UnitRecordPosition(unit, ctx->recordIndex);
    if (ReadSectors(ctx->disk, lba, record, kSectorSize) == 0) {
        DebugPrint(">>---->>> ERROR 2 = HddRead Error\n");
        return false;
    }
    if (!RecordSane(record)) {
        DebugPrint(">>---->>> ERROR 1 = %d, %u, %d, %d\n", c, GetLe32(record + kRecSectors), ctx->unitIndex,
                   ctx->recordIndex);
        return false;
    }
    record[kRecKind] = kRecKindPlayback;
    const uint32_t sectors = GetLe32(record + kRecSectors);
    if (sectors >= 2 && ReadSectors(ctx->disk, lba + 1, record + kSectorSize, (sectors - 1) * kSectorSize) == 0) {
        DebugPrint(">>---->>> ERROR 2 = HddRead Error\n");
        return false;
    }
    return true;
}

} // namespace

std::string PhysicalDiskPath(int n)
{
    if (n < 0 || n >= kPhysicalDrives)
        return {};
    // At most one path for each drive, each a path the system can open.
    const QString list = RegReadString("HddDrives", QString(), kPhysicalDrives * (kMaxPathLength + 1));
    if (list.isEmpty()) // SATA and USB disks first, then NVMe disks
        return n < kSataDrives ? std::string("/dev/sd") + char('a' + n)
                               : "/dev/nvme" + std::to_string(n - kSataDrives) + "n1";
    const QStringList paths = list.split(';');
    if (n >= paths.size())
        return {};
    const QString path = paths[n].trimmed();
    if (path.size() > kMaxPathLength) {
        DebugPrint("Drive %d of HddDrives is no path: %lld characters\n", n, static_cast<long long>(path.size()));
        return {};
    }
    return path.toStdString();
}

int OpenDiskImage(const std::string &path)
{
    if (path.empty())
        return -1;
    // Read-only: the viewer never writes to a recorder disk.
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

int OpenPhysicalDisk(int n) { return OpenDiskImage(PhysicalDiskPath(n)); }

void ClosePhysicalDisk(int handle)
{
    if (handle >= 0)
        ::close(handle);
}

uint32_t ReadSectors(int handle, uint64_t lba, uint8_t *dst, uint32_t bytes)
{
    if (handle < 0 || lba < kFirstReadableLba || bytes == 0 || !dst)
        return 0;
    const uint32_t sectors = ((bytes - 1) >> 9) + 1;
    const uint64_t size = uint64_t(sectors) * kSectorSize;
    if (lba > (uint64_t(INT64_MAX) - size) / kSectorSize)
        return 0;
    thread_local std::vector<uint8_t> buffer;
    buffer.resize(size);
    uint64_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(handle, buffer.data() + done, size - done, off_t(lba * kSectorSize + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return 0;
        done += uint64_t(n);
    }
    std::memcpy(dst, buffer.data(), bytes);
    return sectors;
}

bool ReadHddHdr(int handle, uint8_t *d)
{
    bool ok = false;
    for (uint32_t lba : {kDiskHeaderLba, kDiskHeaderCopyLba}) {
        if (ReadSectors(handle, lba, d, DiskHeader::kSize) == 0) {
            DebugPrint("PLAY: ERR: ReadHdrHdd - HddRead(%d,%u,%d)\n", handle, lba, DiskHeader::kSize);
            continue;
        }
        if (!CheckCrc(d, DiskHeader::kSize)) {
            DebugPrint("PLAY: ERR: ReadHdrHdd - FCS(%d,%u,%d)\n", handle, lba, DiskHeader::kSize);
            continue;
        }
        ok = true;
        break;
    }
    if (!ok) {
        std::memset(d, 0, DiskHeader::kSize);
        StoreComputeLayout(d, 0);
        return false;
    }
    StoreComputeLayout(d, GetLe32(d + DiskHeader::kTotalSectors));
    if (StoreDiskWrapped(d)) {
        if (DiskField(d, DiskHeader::kWrapForwardLba) == 0)
            PutLe32(d + DiskHeader::kWrapForwardLba, DiskField(d, DiskHeader::kFirstBlockLba));
        if (DiskField(d, DiskHeader::kWrapBackwardLba) == 0)
            PutLe32(d + DiskHeader::kWrapBackwardLba, DiskField(d, DiskHeader::kLastBlockLba));
    }
    return true;
}

bool ReadBlkHdr(int handle, uint32_t lba, uint8_t *block)
{
    return ReadCheckedHeader(handle, lba, block, BlockHeader::kSize) && BlockUnitCount(block) > 0;
}

bool ReadUnitHdr(int handle, uint32_t lba, uint8_t *unit)
{
    return ReadCheckedHeader(handle, lba, unit, UnitHeader::kSize) && UnitRecordCount(unit) > 0;
}

bool ReadSblkHdr(int handle, uint32_t lba, uint8_t *subBlock)
{
    return ReadCheckedHeader(handle, lba, subBlock, SubBlockHeader::kSize);
}

bool StoreOpenDisk(DvrStoreContext *ctx)
{
    ctx->channelCount = kStoreChannels;
    ctx->videoStandard = 1;
    return ReadHddHdr(ctx->disk, ctx->diskHdr.data());
}

namespace {

// The header is taken only when it reads and is valid: what the commands answer from it never
// turns into "nothing recorded" because one read failed.
bool RefreshDiskHeader(DvrStoreContext *ctx)
{
    DiskHeaderBuffer fresh{};
    if (!ReadHddHdr(ctx->disk, fresh.data()) || !StoreIsValidDisk(fresh.data()))
        return false;
    ctx->diskHdr = fresh;
    ctx->diskHdrStale = false;
    return true;
}

} // namespace

int StorePlayStep(DvrStoreContext *ctx, uint8_t *record, bool *recordRead)
{
    if (recordRead)
        *recordRead = false;
    for (int step = 0; step < 32; ++step) {
        if ((ctx->diskHdrStale || DiskField(ctx->diskHdr.data(), DiskHeader::kEndLba) == 0) && !RefreshDiskHeader(ctx))
            return StoreFailed;
        const uint8_t *d = ctx->diskHdr.data();
        if (!OnGrid(d, ctx->blockPos)) {
            DebugPrint(">>--->>> ERROR : ReadBlkHdr() = %u, %d\n", ctx->blockPos, ctx->unitIndex);
            return StoreFailed;
        }
        if (BlockUnitCount(ctx->blkHdr.data()) == 0 && !ReadBlkHdr(ctx->disk, ctx->blockPos, ctx->blkHdr.data()))
            DebugPrint(">>--->>> ERROR : ReadBlkHdr() = %u, %d\n", ctx->blockPos, ctx->unitIndex);
        const int units = BlockUnitCount(ctx->blkHdr.data());
        ctx->unitIndex = uint8_t(std::min<int>(ctx->unitIndex, units > 0 ? units - 1 : 0));
        if (UnitRecordCount(ctx->unitHdr.data()) == 0 && units > 0 &&
            !ReadUnitHdr(ctx->disk, BlockUnitPosition(ctx->blkHdr.data(), ctx->unitIndex), ctx->unitHdr.data()))
            DebugPrint(">>--->>> ERROR : ReadUnitHdr() = %u, %d\n", ctx->blockPos, ctx->unitIndex);
        const int records = UnitRecordCount(ctx->unitHdr.data());
        ctx->recordIndex = uint8_t(std::min<int>(ctx->recordIndex, records > 0 ? records - 1 : 0));

        const bool read = records > 0 && PlayReadRecord(ctx, record);
        const Move move =
            ctx->direction == kPlayBackward ? PlayMoveBackward(ctx) : PlayMoveForward(ctx, units, records);
        if (recordRead)
            *recordRead = read;
        if (move == Move::End)
            return StoreEnd;
        if (read)
            return StoreRecord;
    }
    return StoreNothing;
}

bool StoreTimeSearch(DvrStoreContext *ctx, int handle, uint8_t channel, const uint8_t *time)
{
    DebugPrint("Time Search Start =================================\n");
    ctx->blockPos = 0;
    ctx->unitIndex = 0;
    ctx->recordIndex = 0;
    ctx->candidateDisk = -1;
    ctx->candidateFirst = 0;
    ctx->candidateLast = 0;
    ctx->disk = handle;
    uint8_t *d = ctx->diskHdr.data();
    if (channel <= kStoreChannels && ReadHddHdr(handle, d) && StoreIsValidDisk(d)) {
        const uint32_t start = DiskField(d, DiskHeader::kStartLba);
        const uint32_t end = DiskField(d, DiskHeader::kEndLba);
        bool found;
        if (start <= end)
            found = TimeSearchLba(ctx, start, end, channel, time);
        else
            found = TimeSearchLba(ctx, start, DiskField(d, DiskHeader::kWrapBackwardLba), channel, time) ||
                    TimeSearchLba(ctx, DiskField(d, DiskHeader::kWrapForwardLba), end, channel, time);
        if (found)
            return true;
        if (ctx->candidateDisk >= 0 && ReadHddHdr(handle, d) && StoreIsValidDisk(d)) {
            if (TimeSearchBlock(ctx, ctx->candidateFirst, ctx->candidateLast, channel, time))
                return true;
            // The time lies after everything of the channel: play from its last block.
            if (ctx->candidateFirst == ctx->candidateLast && ReadBlkHdr(handle, ctx->candidateFirst, ctx->blkHdr.data())) {
                ctx->blockPos = ctx->candidateFirst;
                TimeSearchUnit(ctx, channel, time);
                return true;
            }
        }
    }
    ctx->blkHdr.fill(0);
    ctx->unitHdr.fill(0);
    DebugPrint("SEARCH: No~~~~~~~~~~~~~~~~~~~~~~~~~~~~~ Data : %d\n", channel);
    return false;
}

int GetEventData(int handle, uint8_t channel, uint8_t mask, const uint8_t *time, uint8_t *out, int max)
{
    if (!out || max <= 0)
        return 0;
    DiskHeaderBuffer d{};
    if (!ReadHddHdr(handle, d.data()) || !StoreIsValidDisk(d.data()))
        return 0;
    const int64_t head = StoreHeadSequence(d.data());
    const uint8_t *ring = d.data() + DiskHeader::kEventRing;
    const uint32_t oldest = GetLe32(ring + 4 * kEventRingOldest);
    const uint32_t next = GetLe32(ring + 4 * kEventRingNext);
    const uint32_t split = GetLe32(ring + 4 * kEventRingSplit);
    if (oldest >= uint32_t(kEventSlots) || next >= uint32_t(kEventSlots) || split >= uint32_t(kEventSlots)) {
        DebugPrint("Event ring out of range: %u, %u, %u\n", oldest, next, split);
        return 0;
    }
    std::vector<uint8_t> chunk(kEventsPerChunk * EventEntry::kSize);
    int found = 0;
    // Walks back from slot `end` to slot `start`; both lie in the ring, so the walk ends
    // within one turn.
    auto scan = [&](int end, int start) {
        while (end != start && found < max) {
            const int c = end == 0 ? kEventChunks - 1 : (end - 1) / kEventsPerChunk;
            const int n = end % kEventsPerChunk == 0 ? kEventsPerChunk : end % kEventsPerChunk;
            const bool ok = ReadSectors(handle, kEventRingLba + kEventChunkSectors * uint32_t(c), chunk.data(),
                                        uint32_t(chunk.size())) != 0;
            for (int k = 0; k < n; ++k) {
                end = end == 0 ? kEventSlots - 1 : end - 1;
                const uint8_t *e = chunk.data() + (end % kEventsPerChunk) * EventEntry::kSize;
                if (ok && GetLe32(e + EventEntry::kBlockSequence) >= head &&
                    TimeAtMost(e + EventEntry::kTime, time) && (channel == 0 || e[EventEntry::kChannel] == channel) &&
                    (e[EventEntry::kEvents] & mask) != 0) {
                    std::memcpy(out + found * EventEntry::kSize, e, EventEntry::kSize);
                    if (++found == max)
                        return;
                }
                if (end == start)
                    return;
            }
        }
    };
    scan(int(next), int(split));
    if (found < max)
        scan(int(split), int(oldest));
    return found;
}

int GetBlockData(int handle, const uint8_t *time, uint8_t *out, int max)
{
    if (!out || max <= 0)
        return 0;
    DiskHeaderBuffer d{};
    if (!ReadHddHdr(handle, d.data()) || !StoreIsValidDisk(d.data()))
        return 0;
    const int64_t first = DiskField(d.data(), DiskHeader::kFirstBlockLba);
    int64_t from = DiskField(d.data(), DiskHeader::kStartLba);
    int64_t to = DiskField(d.data(), DiskHeader::kEndLba);
    if (StoreDiskWrapped(d.data())) {
        from = first;
        to = DiskField(d.data(), DiskHeader::kLastBlockLba);
    }
    SubBlockHeaderBuffer sb{};
    int found = 0;
    int failures = 0;
    // The sub-block of the newest block is still being filled and is left out.
    for (int64_t i = (to - first) / kSubBlockSectors - 1; i >= (from - first) / kSubBlockSectors && found < max; --i) {
        if (!ReadSblkHdr(handle, uint32_t(kSubBlockLba + i), sb.data())) {
            if (++failures > 100)
                break;
            continue;
        }
        // A sub-block that names no block of the area (never written) is no entry.
        if (!TimeAtMost(sb.data() + SubBlockHeader::kStartTime, time) ||
            !OnGrid(d.data(), GetLe32(sb.data() + SubBlockHeader::kPlayLba)))
            continue;
        uint8_t *e = out + found * BlockEntry::kSize;
        std::memset(e, 0, BlockEntry::kSize);
        std::memcpy(e + BlockEntry::kStartTime, sb.data() + SubBlockHeader::kStartTime, kStoreTimeSize);
        std::memcpy(e + BlockEntry::kChannelMask, sb.data() + SubBlockHeader::kChannelMask, 2);
        std::memcpy(e + BlockEntry::kPlayLba, sb.data() + SubBlockHeader::kPlayLba, 4);
        ++found;
    }
    return found;
}

} // namespace strandel
