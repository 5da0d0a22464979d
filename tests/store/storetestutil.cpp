#include "storetestutil.h"

#include "viewer/link/crc32.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace strandel::test {

Time TimeAt(int seconds)
{
    return {20, 26, 12, 10, uint8_t(12 + seconds / 3600), uint8_t(seconds / 60 % 60), uint8_t(seconds % 60)};
}

int SecondsOf(const uint8_t *t) { return (t[4] - 12) * 3600 + t[5] * 60 + t[6]; }

std::vector<uint8_t> RecordData(int id, uint32_t size)
{
    std::vector<uint8_t> d(size);
    for (uint32_t i = 0; i < size; ++i)
        d[i] = uint8_t(0x11 + id * 7 + i * 13);
    if (size > 0)
        d[0] = 0xFF; // never 00 00 01 xx
    return d;
}

std::array<uint8_t, 128> RecordHeader(const TestRecord &r, uint32_t sectors)
{
    std::array<uint8_t, 128> h{};
    h[0] = r.ch1;
    h[1] = r.ch2;
    std::memcpy(h.data() + 37, r.time.data(), 7);
    const uint32_t p0 = uint32_t(r.data.size()) - r.part1 - r.part2;
    PutLe32(h.data() + 64, sectors);
    PutLe32(h.data() + 76, p0);
    PutLe32(h.data() + 80, r.part1);
    PutLe32(h.data() + 84, r.part2);
    return h;
}

void SealCrc(uint8_t *p, size_t n) { PutLe32(p + n - 4, CrcUpdate(0, p, int(n - 4))); }

DiskImage::DiskImage(const std::string &path, uint32_t totalSectors) : path_(path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::ftruncate(fd, off_t(uint64_t(totalSectors) * 512)) != 0)
        throw std::runtime_error("cannot create image");
    ::close(fd);
    PutLe32(header_.data() + DiskHeader::kTotalSectors, totalSectors);
    StoreComputeLayout(header_.data(), totalSectors);
    const uint32_t blocks = (GetLe32(header_.data() + DiskHeader::kLastBlockLba) -
                             GetLe32(header_.data() + DiskHeader::kFirstBlockLba)) / kDiskBlockSectors + 1;
    subBlocks_.resize(blocks / 10 + 1);
}

uint32_t DiskImage::BlockLba(int b) const
{
    return GetLe32(header_.data() + DiskHeader::kFirstBlockLba) + uint32_t(b) * kDiskBlockSectors;
}

void DiskImage::WriteAt(uint64_t lba, const uint8_t *p, size_t n, bool seal)
{
    std::vector<uint8_t> buf(p, p + n);
    if (seal)
        SealCrc(buf.data(), n);
    const int fd = ::open(path_.c_str(), O_WRONLY);
    const bool ok = fd >= 0 && ::pwrite(fd, buf.data(), n, off_t(lba * 512)) == ssize_t(n);
    if (fd >= 0)
        ::close(fd);
    if (!ok)
        throw std::runtime_error("cannot write image");
}

std::vector<uint8_t> DiskImage::ReadAt(uint64_t lba, size_t n) const
{
    std::vector<uint8_t> buf(n);
    const int fd = ::open(path_.c_str(), O_RDONLY);
    const bool ok = fd >= 0 && ::pread(fd, buf.data(), n, off_t(lba * 512)) == ssize_t(n);
    if (fd >= 0)
        ::close(fd);
    if (!ok)
        throw std::runtime_error("cannot read image");
    return buf;
}

std::vector<uint32_t> DiskImage::WriteBlock(int b, const std::vector<std::vector<TestRecord>> &units)
{
    const uint32_t lba = BlockLba(b);
    BlockHeaderBuffer block{};
    uint32_t cur = lba + 1;
    std::vector<uint32_t> records;
    SubBlock &sb = subBlocks_[size_t(b / 10)];
    for (size_t u = 0; u < units.size(); ++u) {
        UnitHeaderBuffer unit{};
        for (size_t r = 0; r < units[u].size(); ++r) {
            const TestRecord &rec = units[u][r];
            const uint32_t sectors = uint32_t(((rec.data.size() + 127) >> 9) + 1);
            std::vector<uint8_t> bytes(size_t(sectors) * 512);
            const auto h = RecordHeader(rec, sectors);
            std::memcpy(bytes.data(), h.data(), 128);
            std::memcpy(bytes.data() + 128, rec.data.data(), rec.data.size());
            WriteAt(cur, bytes.data(), bytes.size(), false);
            records.push_back(cur);
            PutLe32(unit.data() + UnitHeader::kRecordPositions + 4 * r, cur);
            cur += sectors;
            uint8_t *pair = unit.data() + UnitHeader::kChannelPairs + 2 * r;
            pair[0] = rec.ch1;
            pair[1] = rec.ch2;
            std::memcpy(unit.data() + UnitHeader::kTimes, rec.time.data(), 7);
            std::memcpy(block.data() + BlockHeader::kTimes, rec.time.data(), 7);
            if (!sb.used) {
                sb.used = true;
                sb.playLba = lba;
                sb.start = rec.time;
            }
            sb.last[0] = rec.time;
            for (uint8_t c : {rec.ch1, rec.ch2}) {
                if (c == 0 || c > 16)
                    continue;
                PutLe16(unit.data() + 2, uint16_t(GetLe16(unit.data() + 2) | (1u << (c - 1))));
                PutLe16(block.data() + 2, uint16_t(GetLe16(block.data() + 2) | (1u << (c - 1))));
                sb.mask |= uint16_t(1u << (c - 1));
                std::memcpy(unit.data() + UnitHeader::kTimes + 7 * c, rec.time.data(), 7);
                std::memcpy(block.data() + BlockHeader::kTimes + 7 * c, rec.time.data(), 7);
                sb.last[c] = rec.time;
            }
        }
        unit[UnitHeader::kRecordCount] = uint8_t(units[u].size());
        WriteAt(cur, unit.data(), unit.size(), true);
        PutLe32(block.data() + BlockHeader::kUnitPositions + 4 * u, cur);
        cur += 2;
    }
    block[BlockHeader::kUnitCount] = uint8_t(units.size());
    WriteAt(lba, block.data(), block.size(), true);
    return records;
}

void DiskImage::FinishSubBlocks()
{
    for (size_t i = 0; i < subBlocks_.size(); ++i) {
        const SubBlock &sb = subBlocks_[i];
        if (!sb.used)
            continue;
        SubBlockHeaderBuffer h{};
        PutLe16(h.data() + SubBlockHeader::kChannelMask, sb.mask);
        PutLe32(h.data() + SubBlockHeader::kPlayLba, sb.playLba);
        std::memcpy(h.data() + SubBlockHeader::kStartTime, sb.start.data(), 7);
        for (int c = 0; c < 17; ++c)
            std::memcpy(h.data() + SubBlockHeader::kTimes + 7 * c, sb.last[size_t(c)].data(), 7);
        WriteAt(kSubBlockLba + i, h.data(), h.size(), true);
    }
}

void DiskImage::WriteEvent(int slot, uint8_t channel, uint8_t events, const Time &time, int block, uint8_t unit,
                           uint8_t record, uint32_t sequence)
{
    uint8_t e[EventEntry::kSize] = {};
    e[EventEntry::kChannel] = channel;
    e[EventEntry::kEvents] = events;
    std::memcpy(e + EventEntry::kTime, time.data(), 7);
    e[EventEntry::kUnitIndex] = unit;
    e[EventEntry::kRecordIndex] = record;
    PutLe32(e + EventEntry::kBlockLba, BlockLba(block));
    PutLe32(e + EventEntry::kBlockSequence, sequence);
    const int chunk = slot / kEventsPerChunk;
    const uint64_t byte = uint64_t(kEventRingLba + kEventChunkSectors * chunk) * 512 +
                          uint64_t(slot % kEventsPerChunk) * EventEntry::kSize;
    const int fd = ::open(path_.c_str(), O_WRONLY);
    const bool ok = fd >= 0 && ::pwrite(fd, e, sizeof e, off_t(byte)) == ssize_t(sizeof e);
    if (fd >= 0)
        ::close(fd);
    if (!ok)
        throw std::runtime_error("cannot write event");
}

void DiskImage::WriteHeader(bool goodAt10, bool goodAt11)
{
    DiskHeaderBuffer h = header_;
    SealCrc(h.data(), h.size());
    DiskHeaderBuffer bad = h;
    bad[0] ^= 0x5A;
    WriteAt(kDiskHeaderLba, (goodAt10 ? h : bad).data(), h.size(), false);
    WriteAt(kDiskHeaderCopyLba, (goodAt11 ? h : bad).data(), h.size(), false);
}

} // namespace strandel::test
