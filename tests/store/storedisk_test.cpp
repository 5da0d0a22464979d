// Recorder disks in sparse image files: layout arithmetic, header fallback, play over the
// wrapped ring, time search, event and block lists, and hostile images.
#include "storetestutil.h"

#include "platform/endian.h"
#include "platform/settings.h"
#include "viewer/store/dvrstore.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>

#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace strandel {
namespace {

using test::DiskImage;
using test::RecordData;
using test::TestRecord;
using test::TimeAt;

constexpr uint32_t kT = 1000000; // 24 blocks, 3 sub-blocks

uint32_t Field(const uint8_t *d, int offset) { return GetLe32(d + offset); }

// Record g: ten seconds apart, channel 1 and 2 alternating, channel 3 every seventh.
TestRecord RingRecord(int g)
{
    TestRecord r;
    r.ch1 = uint8_t(g % 7 == 6 ? 3 : 1 + g % 2);
    r.time = TimeAt(10 * g);
    r.data = RecordData(g, 300 + 97 * uint32_t(g % 5) * 10);
    return r;
}

// Writes `blocks` in ring order, two units of three records each; record numbers run on.
void WriteRing(DiskImage &img, const std::vector<int> &blocks, int recordsPerUnit = 3)
{
    int g = 0;
    for (int b : blocks) {
        std::vector<std::vector<TestRecord>> units(2);
        for (auto &u : units)
            for (int r = 0; r < recordsPerUnit; ++r)
                u.push_back(RingRecord(g++));
        img.WriteBlock(b, units);
    }
    img.FinishSubBlocks();
}

class StoreDisk : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Blocks 20..23 then 0..2: the ring has wrapped past the end of the block area.
        img = std::make_unique<DiskImage>(Path("ring.img"), kT);
        WriteRing(*img, {20, 21, 22, 23, 0, 1, 2});
        uint8_t *h = img->Header();
        PutLe32(h + DiskHeader::kStartLba, img->BlockLba(20));
        PutLe32(h + DiskHeader::kEndLba, img->BlockLba(2));
        PutLe32(h + DiskHeader::kNewestSequence, 106);
        std::memcpy(h + DiskHeader::kFirstTime, TimeAt(0).data(), 7);
        std::memcpy(h + DiskHeader::kLastTime, TimeAt(410).data(), 7);
        img->WriteHeader();
        fd = OpenDiskImage(img->Path());
        ASSERT_GE(fd, 0);
    }
    void TearDown() override { ClosePhysicalDisk(fd); }

    std::string Path(const char *name) { return dir.filePath(name).toStdString(); }

    // Plays until the end; returns the record numbers (time / 10) in play order.
    std::vector<int> Play(DvrStoreContext &ctx, int *last = nullptr, int maxCalls = 1000)
    {
        std::vector<int> out;
        std::vector<uint8_t> record(kDiskRecordBufferSize);
        int result = StoreNothing;
        for (int i = 0; i < maxCalls; ++i) {
            bool read = false;
            result = StorePlayStep(&ctx, record.data(), &read);
            if (read) {
                const int g = test::SecondsOf(record.data() + 37) / 10;
                out.push_back(g);
                EXPECT_EQ(record[34], 1);
                const auto expect = RingRecord(g).data;
                EXPECT_EQ(0, std::memcmp(record.data() + 128, expect.data(), expect.size())) << g;
            }
            if (result == StoreFailed || result == StoreEnd)
                break;
        }
        if (last)
            *last = result;
        return out;
    }

    QTemporaryDir dir;
    std::unique_ptr<DiskImage> img;
    int fd = -1;
};

std::vector<int> Range(int from, int to, int step = 1)
{
    std::vector<int> v;
    for (int i = from; step > 0 ? i <= to : i >= to; i += step)
        v.push_back(i);
    return v;
}

TEST(StoreLayout, DiskNumbersFromTotalSectors)
{
    struct Case {
        uint32_t t, reserved, first, last;
    } cases[] = {
        {100000000, 5280, 7790, 99927790},
        {kT, 5032, 5067, 925067},
        {50000, 5030, 5041, 5041},   // room for exactly one block
        {40000, 5030, 5041, 0},      // no room for a block: nothing to read
        {0, 5030, 5040, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.t);
        DiskHeaderBuffer d{};
        StoreComputeLayout(d.data(), c.t);
        EXPECT_EQ(Field(d.data(), DiskHeader::kTotalSectors), c.t);
        EXPECT_EQ(Field(d.data(), DiskHeader::kSubBlockLba), 5020u);
        EXPECT_EQ(Field(d.data(), DiskHeader::kReservedLba), c.reserved);
        EXPECT_EQ(Field(d.data(), DiskHeader::kFirstBlockLba), c.first);
        EXPECT_EQ(Field(d.data(), DiskHeader::kLastBlockLba), c.last);
    }
}

TEST(StoreLayout, BlockCountAndValidity)
{
    DiskHeaderBuffer d{};
    StoreComputeLayout(d.data(), kT);
    auto set = [&](uint32_t start, uint32_t end, uint32_t fwd, uint32_t back) {
        PutLe32(d.data() + DiskHeader::kStartLba, start);
        PutLe32(d.data() + DiskHeader::kEndLba, end);
        PutLe32(d.data() + DiskHeader::kWrapForwardLba, fwd);
        PutLe32(d.data() + DiskHeader::kWrapBackwardLba, back);
    };
    const uint32_t b0 = 5067;
    auto B = [&](int b) { return b0 + uint32_t(b) * kDiskBlockSectors; };
    set(B(3), B(7), 0, 0);
    EXPECT_TRUE(StoreIsValidDisk(d.data()));
    EXPECT_EQ(CalcBlkCnt(d.data()), 5);
    set(B(20), B(2), B(0), B(23));
    EXPECT_TRUE(StoreDiskWrapped(d.data()));
    EXPECT_EQ(CalcBlkCnt(d.data()), 7);
    PutLe32(d.data() + DiskHeader::kNewestSequence, 106);
    EXPECT_EQ(StoreHeadSequence(d.data()), 100);
    EXPECT_EQ(StoreSubBlockLba(d.data(), B(21)), 5022u);

    set(0, B(2), 0, 0); // nothing recorded
    EXPECT_FALSE(StoreIsValidDisk(d.data()));
    set(B(1) + 5, B(2), 0, 0); // off the block grid
    EXPECT_FALSE(StoreIsValidDisk(d.data()));
    set(B(1), B(24), 0, 0); // past the block area
    EXPECT_FALSE(StoreIsValidDisk(d.data()));
    set(B(20), B(2), 0, B(23)); // wrapped without a wrap point
    EXPECT_FALSE(StoreIsValidDisk(d.data()));
}

TEST_F(StoreDisk, HeaderFallsBackToTheCopy)
{
    DiskHeaderBuffer d{};
    ASSERT_TRUE(ReadHddHdr(fd, d.data()));
    // Wrapped: the reader fills in the wrap points.
    EXPECT_EQ(Field(d.data(), DiskHeader::kWrapForwardLba), img->BlockLba(0));
    EXPECT_EQ(Field(d.data(), DiskHeader::kWrapBackwardLba), img->BlockLba(23));

    img->WriteHeader(false, true);
    d.fill(0xEE);
    EXPECT_TRUE(ReadHddHdr(fd, d.data()));
    EXPECT_EQ(Field(d.data(), DiskHeader::kEndLba), img->BlockLba(2));

    img->WriteHeader(false, false);
    EXPECT_FALSE(ReadHddHdr(fd, d.data()));
    EXPECT_EQ(Field(d.data(), DiskHeader::kEndLba), 0u);
    EXPECT_EQ(Field(d.data(), DiskHeader::kFirstBlockLba), 5040u);

    DvrStoreContext ctx;
    ctx.disk = fd;
    EXPECT_FALSE(StoreOpenDisk(&ctx));
    EXPECT_EQ(ctx.channelCount, 16);
    EXPECT_EQ(ctx.videoStandard, 1);
}

TEST_F(StoreDisk, SectorReadsAreWholeAndNeverBelowLba10)
{
    uint8_t buf[600];
    EXPECT_EQ(ReadSectors(fd, 9, buf, 10), 0u);
    EXPECT_EQ(ReadSectors(fd, 10, buf, 0), 0u);
    EXPECT_EQ(ReadSectors(-1, 10, buf, 10), 0u);
    EXPECT_EQ(ReadSectors(fd, 10, buf, 513), 2u);
    EXPECT_EQ(ReadSectors(fd, kT - 1, buf, 512), 1u);
    std::memset(buf, 0x5C, sizeof buf);
    EXPECT_EQ(ReadSectors(fd, kT - 1, buf, 513), 0u); // the last sector is missing
    EXPECT_EQ(buf[0], 0x5C);                           // nothing copied
    EXPECT_EQ(ReadSectors(fd, uint64_t(1) << 60, buf, 512), 0u);
}

TEST_F(StoreDisk, DrivesComeFromTheSettingAndOpenReadOnly)
{
    SetSettingsFilePath(dir.filePath("settings.ini"));
    EXPECT_EQ(PhysicalDiskPath(0), "/dev/sda");
    EXPECT_EQ(PhysicalDiskPath(15), "/dev/sdp");
    EXPECT_EQ(PhysicalDiskPath(16), "/dev/nvme0n1");
    EXPECT_EQ(PhysicalDiskPath(19), "/dev/nvme3n1");
    EXPECT_EQ(PhysicalDiskPath(20), "");
    RegWriteString("HddDrives", QString::fromStdString(img->Path() + ";/nonexistent.img"));
    EXPECT_EQ(PhysicalDiskPath(0), img->Path());
    EXPECT_EQ(PhysicalDiskPath(2), "");
    const int h = OpenPhysicalDisk(0);
    ASSERT_GE(h, 0);
    EXPECT_EQ(fcntl(h, F_GETFL) & O_ACCMODE, O_RDONLY);
    ClosePhysicalDisk(h);
    EXPECT_LT(OpenPhysicalDisk(1), 0);
    EXPECT_LT(OpenPhysicalDisk(2), 0);
    // A drive that is no path opens nothing; a list longer than its drives is no list.
    RegWriteString("HddDrives", QString::fromStdString(img->Path()) + ";" + QString(kMaxPathLength + 1, u'x'));
    EXPECT_EQ(PhysicalDiskPath(0), img->Path());
    EXPECT_EQ(PhysicalDiskPath(1), "");
    RegWriteString("HddDrives", QString(200000, u';'));
    EXPECT_EQ(PhysicalDiskPath(0), "/dev/sda");
    SetSettingsFilePath(QString());
}

TEST_F(StoreDisk, PlaysTheWrappedRingBothWays)
{
    DvrStoreContext ctx;
    JpegPlayAt(&ctx, fd, img->BlockLba(20), 0, 0);
    int last = 0;
    EXPECT_EQ(Play(ctx, &last), Range(0, 41));
    EXPECT_EQ(last, StoreEnd);

    JpegPlayAt(&ctx, fd, img->BlockLba(2), 60, 128);
    ctx.direction = kPlayBackward;
    EXPECT_EQ(Play(ctx, &last), Range(41, 0, -1));
    EXPECT_EQ(last, StoreEnd);
}

// Stepping over the wrap point marks the header for a fresh read before the next step; until
// then, and when that read fails, the header the disk commands answer from stays as it was.
TEST_F(StoreDisk, SteppingOverTheWrapKeepsTheAnsweredHeader)
{
    for (int direction : {kPlayForward, kPlayBackward}) {
        SCOPED_TRACE(direction);
        DvrStoreContext ctx;
        const int from = direction == kPlayForward ? 23 : 0, to = direction == kPlayForward ? 0 : 23;
        JpegPlayAt(&ctx, fd, img->BlockLba(from), direction == kPlayForward ? 0 : 60, 128);
        ctx.direction = uint8_t(direction);
        std::vector<uint8_t> record(kDiskRecordBufferSize);
        for (int i = 0; i < 100 && ctx.blockPos != img->BlockLba(to); ++i)
            ASSERT_EQ(StorePlayStep(&ctx, record.data(), nullptr), StoreRecord);
        ASSERT_EQ(ctx.blockPos, img->BlockLba(to));
        const DiskHeaderBuffer answered = ctx.diskHdr;
        EXPECT_EQ(Field(answered.data(), DiskHeader::kEndLba), img->BlockLba(2));
        EXPECT_EQ(Field(answered.data(), DiskHeader::kStartLba), img->BlockLba(20));

        // Both copies of the header are damaged now: play stops, the answers stay.
        const std::vector<uint8_t> good = img->ReadAt(10, 1024);
        std::vector<uint8_t> bad = good;
        bad[100] ^= 0xFF, bad[612] ^= 0xFF;
        img->WriteAt(10, bad.data(), bad.size(), false);
        EXPECT_EQ(StorePlayStep(&ctx, record.data(), nullptr), StoreFailed);
        EXPECT_TRUE(ctx.diskHdr == answered);
        img->WriteAt(10, good.data(), good.size(), false);
        EXPECT_EQ(StorePlayStep(&ctx, record.data(), nullptr), StoreRecord);
    }
}

TEST_F(StoreDisk, FastFactorTwoSkipsPerChannel)
{
    DvrStoreContext ctx;
    JpegPlayAt(&ctx, fd, img->BlockLba(20), 0, 0);
    JpegPlayControl(&ctx, 2, 0, kPlayForward);
    std::vector<int> expect;
    int seen[17] = {};
    for (int g = 0; g < 42; ++g)
        if (++seen[RingRecord(g).ch1] % 2 == 0)
            expect.push_back(g);
    EXPECT_EQ(Play(ctx), expect);
}

TEST_F(StoreDisk, TimeSearch)
{
    struct Case {
        uint8_t channel;
        int seconds;
        int first; // first record played, -1 = not found
    } cases[] = {
        {0, 0, 0},     {0, 95, 10},  {0, 300, 30}, {2, 241, 25}, {3, 100, 13},
        {0, 5000, 41}, // after everything: the channel's last records
        {5, 0, -1},    {17, 0, -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.channel) << " @" << c.seconds);
        DvrStoreContext ctx;
        const bool found = StoreTimeSearch(&ctx, fd, c.channel, TimeAt(c.seconds).data());
        EXPECT_EQ(found, c.first >= 0);
        if (!found)
            continue;
        JpegPlayControl(&ctx, 0, 0, 0);
        const auto played = Play(ctx, nullptr, 1);
        ASSERT_FALSE(played.empty());
        EXPECT_EQ(played[0], c.first);
    }
}

// A sub-block still being filled shows an older last time than its blocks: the search finds
// the record through the range it remembered.
TEST_F(StoreDisk, TimeSearchThroughAStaleSubBlock)
{
    DiskImage lin(Path("lin.img"), kT);
    WriteRing(lin, {8, 9, 10, 11, 12}, 1);
    SubBlockHeaderBuffer stale{};
    PutLe16(stale.data() + SubBlockHeader::kChannelMask, 0x3);
    PutLe32(stale.data() + SubBlockHeader::kPlayLba, lin.BlockLba(10));
    std::memcpy(stale.data() + SubBlockHeader::kStartTime, TimeAt(40).data(), 7);
    std::memcpy(stale.data() + SubBlockHeader::kTimes, TimeAt(50).data(), 7);
    lin.WriteAt(kSubBlockLba + 1, stale.data(), stale.size(), true);
    PutLe32(lin.Header() + DiskHeader::kStartLba, lin.BlockLba(8));
    PutLe32(lin.Header() + DiskHeader::kEndLba, lin.BlockLba(12));
    PutLe32(lin.Header() + DiskHeader::kNewestSequence, 5);
    lin.WriteHeader();
    const int h = OpenDiskImage(lin.Path());
    DvrStoreContext ctx;
    ASSERT_TRUE(StoreTimeSearch(&ctx, h, 0, TimeAt(85).data()));
    EXPECT_EQ(ctx.blockPos, lin.BlockLba(12));
    JpegPlayControl(&ctx, 0, 0, 0);
    EXPECT_EQ(Play(ctx, nullptr, 1), std::vector<int>{9});

    // Block list: the sub-block holding the newest block is left out.
    uint8_t out[10 * BlockEntry::kSize];
    ASSERT_EQ(GetBlockData(h, TimeAt(1000).data(), out, 10), 1);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(0, std::memcmp(out + BlockEntry::kStartTime, TimeAt(0).data(), 7));
    EXPECT_EQ(GetLe16(out + BlockEntry::kChannelMask), 0x3);
    EXPECT_EQ(GetLe32(out + BlockEntry::kPlayLba), lin.BlockLba(8));
    ClosePhysicalDisk(h);
}

TEST_F(StoreDisk, BlockList)
{
    uint8_t out[10 * BlockEntry::kSize];
    // Wrapped: the whole area is scanned; the unwritten sub-block is no entry.
    ASSERT_EQ(GetBlockData(fd, TimeAt(5000).data(), out, 10), 1);
    EXPECT_EQ(GetLe32(out + BlockEntry::kPlayLba), img->BlockLba(0));
    EXPECT_EQ(0, std::memcmp(out + BlockEntry::kStartTime, TimeAt(240).data(), 7));
    EXPECT_EQ(GetBlockData(fd, TimeAt(239).data(), out, 10), 0);

    // A recorded range inside the first sub-block lists nothing.
    DiskImage small(Path("small.img"), kT);
    WriteRing(small, {0, 1, 2, 3});
    PutLe32(small.Header() + DiskHeader::kStartLba, small.BlockLba(0));
    PutLe32(small.Header() + DiskHeader::kEndLba, small.BlockLba(3));
    small.WriteHeader();
    const int h = OpenDiskImage(small.Path());
    EXPECT_EQ(GetBlockData(h, TimeAt(5000).data(), out, 10), 0);
    ClosePhysicalDisk(h);
}

TEST_F(StoreDisk, EventSearchNewestFirst)
{
    // Slots 49990..14 describe records 0..24; the ring's split mark is slot 5.
    for (int k = 0; k < 25; ++k) {
        const int slot = (49990 + k) % kEventSlots;
        const TestRecord r = RingRecord(k);
        const uint32_t seq = k == 0 ? 99 : 100 + uint32_t(k / 6); // record 0's block is overwritten
        const int block = std::vector<int>{20, 21, 22, 23, 0}[size_t(k / 6)];
        img->WriteEvent(slot, r.ch1, uint8_t(1u << (k % 3)), r.time, block, uint8_t(k % 6 / 3), uint8_t(k % 3), seq);
    }
    uint8_t *ring = img->Header() + DiskHeader::kEventRing;
    PutLe32(ring + 4 * kEventRingOldest, 49990);
    PutLe32(ring + 4 * kEventRingNext, 15);
    PutLe32(ring + 4 * kEventRingSplit, 5);
    img->WriteHeader();

    auto search = [&](uint8_t channel, uint8_t mask, int seconds, int max) {
        std::vector<uint8_t> out(size_t(max) * EventEntry::kSize);
        const int n = GetEventData(fd, channel, mask, TimeAt(seconds).data(), out.data(), max);
        std::vector<int> got;
        for (int i = 0; i < n; ++i)
            got.push_back(test::SecondsOf(out.data() + i * EventEntry::kSize + EventEntry::kTime) / 10);
        return got;
    };
    EXPECT_EQ(search(0, 0xFF, 5000, 100), Range(24, 1, -1));
    EXPECT_EQ(search(0, 0xFF, 120, 100), Range(12, 1, -1));
    EXPECT_EQ(search(0, 0xFF, 5000, 3), Range(24, 22, -1));
    EXPECT_EQ(search(0, 0x4, 5000, 100), (std::vector<int>{23, 20, 17, 14, 11, 8, 5, 2}));
    EXPECT_EQ(search(3, 0xFF, 5000, 100), (std::vector<int>{20, 13, 6}));
    EXPECT_TRUE(search(0, 0, 5000, 100).empty());

    // Ring indices outside the ring are refused, not walked.
    PutLe32(ring + 4 * kEventRingSplit, 60000);
    img->WriteHeader();
    EXPECT_TRUE(search(0, 0xFF, 5000, 100).empty());
}

// Hostile images with valid CRCs: every walk ends and nothing is read past a buffer.
TEST_F(StoreDisk, HostileImages)
{
    const uint32_t b20 = img->BlockLba(20);
    const auto block20 = img->ReadAt(b20, BlockHeader::kSize);
    const uint32_t unitLba = GetLe32(block20.data() + BlockHeader::kUnitPositions);
    const auto unit = img->ReadAt(unitLba, UnitHeader::kSize);
    const uint32_t recLba = GetLe32(unit.data() + UnitHeader::kRecordPositions);
    struct Mutation {
        const char *name;
        uint64_t lba;
        int size;    // sealed header size, 0 = raw bytes
        int offset;
        std::vector<uint8_t> bytes;
    } mutations[] = {
        {"unit count 255", b20, BlockHeader::kSize, 1, {255}},
        {"unit position past the image", b20, BlockHeader::kSize, BlockHeader::kUnitPositions, {0xFF, 0xFF, 0xFF, 0xFF}},
        {"unit position below 10", b20, BlockHeader::kSize, BlockHeader::kUnitPositions, {3, 0, 0, 0}},
        {"record count 255", unitLba, UnitHeader::kSize, 1, {255}},
        {"record position past the image", unitLba, UnitHeader::kSize, UnitHeader::kRecordPositions, {0xFE, 0xFF, 0xFF, 0xFF}},
        {"channel pair 200", unitLba, UnitHeader::kSize, UnitHeader::kChannelPairs, {200, 200}},
        {"sectors huge", recLba, 0, 64, {0xFF, 0xFF, 0xFF, 0xFF}},
        {"parts larger than the sectors", recLba, 0, 76, {0x00, 0x00, 0x04, 0x00}},
        {"parts summing past 32 bits", recLba, 0, 76, {0xFF, 0xFF, 0xFF, 0xFF, 0x02, 0, 0, 0}},
        {"start off the grid", kDiskHeaderLba, -1, DiskHeader::kStartLba, {0x01, 0x00, 0x01, 0x00}},
        {"wrap point off the grid", kDiskHeaderLba, -1, DiskHeader::kWrapForwardLba, {0x07, 0, 0, 0}},
        {"total sectors huge", kDiskHeaderLba, -1, DiskHeader::kTotalSectors, {0xFF, 0xFF, 0xFF, 0xFF}},
        {"event ring indices huge", kDiskHeaderLba, -1, DiskHeader::kEventRing, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
    };
    for (const auto &m : mutations) {
        SCOPED_TRACE(m.name);
        TearDown();
        SetUp();
        if (m.size < 0) {
            std::copy(m.bytes.begin(), m.bytes.end(), img->Header() + m.offset);
            img->WriteHeader();
        } else {
            auto bytes = img->ReadAt(m.lba, size_t(m.size > 0 ? m.size : 128));
            std::copy(m.bytes.begin(), m.bytes.end(), bytes.begin() + m.offset);
            img->WriteAt(m.lba, bytes.data(), bytes.size(), m.size > 0);
        }
        for (uint8_t dir : {kPlayForward, kPlayBackward}) {
            DvrStoreContext ctx;
            JpegPlayAt(&ctx, fd, dir == kPlayForward ? img->BlockLba(20) : img->BlockLba(2), 60, 128);
            ctx.direction = dir;
            std::vector<uint8_t> record(kDiskRecordBufferSize);
            int result = StoreNothing;
            for (int i = 0; i < 300 && result != StoreEnd && result != StoreFailed; ++i)
                result = StorePlayStep(&ctx, record.data());
            EXPECT_TRUE(result == StoreEnd || result == StoreFailed);
        }
        DvrStoreContext ctx;
        StoreTimeSearch(&ctx, fd, 0, TimeAt(200).data());
        StoreTimeSearch(&ctx, fd, 1, TimeAt(9999).data());
        // Searches asked for at most 3 entries give 0..3 and write nothing past them.
        constexpr int kMax = 3;
        constexpr size_t kEntry = std::max<size_t>(EventEntry::kSize, 18);
        std::vector<uint8_t> out(100 * kEntry, 0xA5);
        const int events = GetEventData(fd, 0, 0xFF, TimeAt(9999).data(), out.data(), kMax);
        EXPECT_GE(events, 0);
        EXPECT_LE(events, kMax);
        EXPECT_TRUE(std::all_of(out.begin() + size_t(std::max(events, 0)) * EventEntry::kSize, out.end(),
                                [](uint8_t b) { return b == 0xA5; }));
        std::fill(out.begin(), out.end(), 0xA5);
        const int blocks = GetBlockData(fd, TimeAt(9999).data(), out.data(), kMax);
        EXPECT_GE(blocks, 0);
        EXPECT_LE(blocks, kMax);
        EXPECT_TRUE(std::all_of(out.begin() + size_t(std::max(blocks, 0)) * 18, out.end(),
                                [](uint8_t b) { return b == 0xA5; }));
    }
}

} // namespace
} // namespace strandel
