// `.dvr` files: layouts the writer produces, round trips through the reader, and hostile files.
#include "storetestutil.h"

#include "platform/endian.h"
#include "platform/jpeg.h"
#include "viewer/protocol/framerecord.h"
#include "viewer/store/dvrstore.h"
#include "viewer/store/dvrstorewriter.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <fcntl.h>
#include <unistd.h>

namespace strandel {
namespace {

using test::RecordData;
using test::RecordHeader;
using test::TestRecord;
using test::TimeAt;

std::vector<uint8_t> ReadFile(const std::string &path)
{
    std::ifstream f(path, std::ios::binary | std::ios::ate);
    std::vector<uint8_t> bytes(size_t(f.tellg()));
    f.seekg(0);
    f.read(reinterpret_cast<char *>(bytes.data()), std::streamsize(bytes.size()));
    return bytes;
}

void WriteFile(const std::string &path, const std::vector<uint8_t> &bytes)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

// Channel 1 and 2 alternate, channel 3 every fifth record; one second apart.
TestRecord MakeRecord(int i, uint32_t size = 200)
{
    TestRecord r;
    r.ch1 = uint8_t(i % 5 == 4 ? 3 : 1 + i % 2);
    r.time = TimeAt(i);
    r.data = RecordData(i, size);
    return r;
}

bool Append(DvrStoreContext &w, const TestRecord &r)
{
    auto h = RecordHeader(r);
    return StoreAppendRecord(&w, h.data(), r.data.data());
}

std::string WriteRecording(const std::string &path, int count, uint32_t size = 200)
{
    DvrStoreContext w;
    w.channelCount = 16;
    w.videoStandard = 1;
    EXPECT_TRUE(StoreCreateFile(&w, path));
    for (int i = 0; i < count; ++i)
        EXPECT_TRUE(Append(w, MakeRecord(i, size)));
    EXPECT_TRUE(StoreCloseFile(&w));
    return path;
}

struct Played {
    int seconds;
    uint8_t channel;
    std::vector<uint8_t> data;
};

// Steps until the end or a failure; returns the records in play order.
std::vector<Played> PlayAll(DvrStoreContext &r, int *lastResult = nullptr, int maxCalls = 100000)
{
    std::vector<Played> out;
    uint8_t header[128];
    std::vector<uint8_t> data(kMaxRecordBytes);
    int result = StoreNothing;
    for (int calls = 0; calls < maxCalls; ++calls) {
        bool read = false;
        result = StoreNextRecord(&r, header, data.data(), &read);
        if (read) {
            const uint32_t total = GetLe32(header + 76) + GetLe32(header + 80) + GetLe32(header + 84);
            // Keep the 96 bytes after the data too: the padded kind ends there.
            out.push_back({test::SecondsOf(header + 37), header[0], {data.begin(), data.begin() + total + 96}});
            EXPECT_EQ(header[34], 1); // marked as playback
        }
        if (result == StoreFailed || result == StoreEnd)
            break;
    }
    if (lastResult)
        *lastResult = result;
    return out;
}

// A stream on a file whose writes of one size fail while armed: an injected "disk full" for the
// header that follows a unit's last record.
struct FailingFile {
    int fd = -1;
    size_t failSize = 0;
    bool armed = false;
    bool full = false;

    static ssize_t Write(void *c, const char *buf, size_t n)
    {
        auto *f = static_cast<FailingFile *>(c);
        if (f->armed && n == f->failSize)
            f->full = true; // from here on the disk is full
        if (f->armed && f->full) {
            errno = ENOSPC;
            return -1;
        }
        return ::write(f->fd, buf, n);
    }
    static int Seek(void *c, off64_t *pos, int whence)
    {
        const off_t at = ::lseek(static_cast<FailingFile *>(c)->fd, *pos, whence);
        if (at < 0)
            return -1;
        *pos = at;
        return 0;
    }
    static int Close(void *c) { return ::close(static_cast<FailingFile *>(c)->fd); }

    std::FILE *Open(const std::string &path)
    {
        fd = ::open(path.c_str(), O_RDWR);
        std::FILE *f = fopencookie(this, "w", {nullptr, &Write, &Seek, &Close});
        std::setvbuf(f, nullptr, _IONBF, 0); // each header reaches Write in one piece
        return f;
    }
};

class StoreFile : public ::testing::Test {
protected:
    std::string Path(const char *name) { return dir.filePath(name).toStdString(); }
    // A writer of a new recording at path whose stream goes through file.
    void CreateOnFailingFile(DvrStoreContext &w, FailingFile &file, const std::string &path)
    {
        w.channelCount = 16;
        w.videoStandard = 1;
        ASSERT_TRUE(StoreCreateFile(&w, path));
        std::fclose(w.stream);
        w.stream = file.Open(path);
    }
    QTemporaryDir dir;
};

// The unit or block header after a unit's last record fails: the append fails and takes the
// record back, and appending it again gives the very file an undisturbed writer makes.
TEST_F(StoreFile, FailedHeaderAtAFullUnitTakesTheRecordBack)
{
    const auto clean = ReadFile(WriteRecording(Path("clean.dvr"), 300));
    for (size_t failSize : {size_t(UnitHeader::kSize), size_t(BlockHeader::kSize)}) {
        SCOPED_TRACE(failSize);
        const std::string path = Path("failing.dvr");
        DvrStoreContext w;
        FailingFile file;
        ASSERT_NO_FATAL_FAILURE(CreateOnFailingFile(w, file, path));
        file.failSize = failSize;
        for (int i = 0; i < kMaxRecordsPerUnit - 1; ++i)
            ASSERT_TRUE(Append(w, MakeRecord(i)));
        file.armed = true;
        EXPECT_FALSE(Append(w, MakeRecord(kMaxRecordsPerUnit - 1)));
        EXPECT_FALSE(Append(w, MakeRecord(kMaxRecordsPerUnit - 1)));
        file.armed = file.full = false;
        for (int i = kMaxRecordsPerUnit - 1; i < 300; ++i)
            ASSERT_TRUE(Append(w, MakeRecord(i))) << i;
        EXPECT_TRUE(StoreCloseFile(&w));
        EXPECT_EQ(ReadFile(path), clean);
    }
}

// The same where a record opens a new block: the unit header closing the old block is written
// but the block header after it fails. A retry must index that unit once, not twice.
TEST_F(StoreFile, FailedHeaderAtANewBlockIndexesTheUnitOnce)
{
    constexpr uint32_t kBig = 300000; // some 68 records to a block, far fewer than a unit holds
    constexpr int kCount = 80;
    const auto clean = ReadFile(WriteRecording(Path("clean.dvr"), kCount, kBig));
    for (size_t failSize : {size_t(UnitHeader::kSize), size_t(BlockHeader::kSize)}) {
        SCOPED_TRACE(failSize);
        const std::string path = Path("failing.dvr");
        DvrStoreContext w;
        FailingFile file;
        ASSERT_NO_FATAL_FAILURE(CreateOnFailingFile(w, file, path));
        file.failSize = failSize;
        file.armed = true;
        std::vector<int> failedAt; // the file's start too for a block header's size, then the new block
        for (int i = 0; i < kCount; ++i) {
            if (Append(w, MakeRecord(i, kBig)))
                continue;
            failedAt.push_back(i);
            EXPECT_FALSE(Append(w, MakeRecord(i, kBig)));
            file.armed = file.full = false;
            ASSERT_TRUE(Append(w, MakeRecord(i, kBig))) << i;
            file.armed = true;
        }
        ASSERT_FALSE(failedAt.empty());
        EXPECT_GT(failedAt.back(), 60);
        file.armed = false;
        EXPECT_TRUE(StoreCloseFile(&w));
        EXPECT_EQ(ReadFile(path), clean);
    }
}

TEST_F(StoreFile, LayoutOf129Records)
{
    const auto bytes = ReadFile(WriteRecording(Path("a.dvr"), 129, 200));
    const uint32_t rec = 128 + 200;
    ASSERT_EQ(bytes.size(), 888 + 129 * rec + 2 * 895);
    EXPECT_EQ(bytes[41], 16);
    EXPECT_EQ(bytes[42], 1);
    EXPECT_EQ(0, std::memcmp(&bytes[63], TimeAt(0).data(), 7));
    EXPECT_EQ(0, std::memcmp(&bytes[182], TimeAt(128).data(), 7));

    const uint8_t *block = &bytes[394];
    EXPECT_EQ(BlockUnitCount(block), 2);
    EXPECT_EQ(GetLe16(block + 2), 0x7);
    EXPECT_EQ(0, std::memcmp(block + BlockHeader::kTimes, TimeAt(128).data(), 7));
    const uint32_t unit1 = 888 + 128 * rec;
    EXPECT_EQ(BlockUnitPosition(block, 0), unit1);
    EXPECT_EQ(BlockUnitPosition(block, 1), unit1 + 895 + rec);

    const uint8_t *u = &bytes[unit1];
    EXPECT_EQ(UnitRecordCount(u), 128);
    EXPECT_EQ(UnitRecordPosition(u, 0), 888u);
    EXPECT_EQ(UnitRecordPosition(u, 127), 888u + 127 * rec);
    EXPECT_EQ(u[UnitHeader::kChannelPairs + 2 * 4], 3);
    EXPECT_EQ(0, std::memcmp(u + UnitHeader::kTimes, TimeAt(127).data(), 7));
    EXPECT_EQ(0, std::memcmp(u + UnitHeader::kTimes + 7 * 3, TimeAt(124).data(), 7));
    EXPECT_EQ(UnitRecordCount(&bytes[BlockUnitPosition(block, 1)]), 1);
    // The writer fills in the sector count of each record.
    EXPECT_EQ(GetLe32(&bytes[888 + 64]), ((200u + 127) >> 9) + 1);
}

TEST_F(StoreFile, EmptyRecordingIs895BytesAndPlaysNothing)
{
    const auto bytes = ReadFile(WriteRecording(Path("e.dvr"), 0));
    ASSERT_EQ(bytes.size(), 895u);
    for (size_t i = 0; i < bytes.size(); ++i)
        EXPECT_EQ(bytes[i], (i == 41 ? 16 : i == 42 ? 1 : 0)) << i;

    DvrStoreContext r;
    ASSERT_TRUE(StoreOpenFile(&r, Path("e.dvr")));
    StoreSeekTime(&r, 0, TimeAt(0).data());
    int result = 0;
    EXPECT_TRUE(PlayAll(r, &result).empty());
    EXPECT_EQ(result, StoreEnd);
    EXPECT_FALSE(StoreSeekTime(&r, 5, TimeAt(0).data()));
}

TEST_F(StoreFile, RoundTripBothDirections)
{
    const int n = 300;
    WriteRecording(Path("r.dvr"), n, 700);
    DvrStoreContext r;
    ASSERT_TRUE(StoreOpenFile(&r, Path("r.dvr")));
    EXPECT_EQ(r.channelCount, 16);
    EXPECT_EQ(r.videoStandard, 1);

    ASSERT_TRUE(StoreSeekTime(&r, 0, TimeAt(0).data()));
    JpegPlayControl(&r, 0, 0, 0);
    auto fwd = PlayAll(r);
    ASSERT_EQ(fwd.size(), size_t(n));
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(fwd[size_t(i)].seconds, i);
        EXPECT_TRUE(std::equal(fwd[size_t(i)].data.begin(), fwd[size_t(i)].data.begin() + 700,
                               RecordData(i, 700).begin())) << i;
    }

    // Backward from the last record down to the first, which comes with the end result.
    ASSERT_TRUE(StoreSeekTime(&r, 0, TimeAt(n - 1).data()));
    r.direction = kPlayBackward;
    int result = 0;
    auto back = PlayAll(r, &result);
    EXPECT_EQ(result, StoreEnd);
    ASSERT_EQ(back.size(), size_t(n));
    for (int i = 0; i < n; ++i)
        EXPECT_EQ(back[size_t(i)].seconds, n - 1 - i);
}

TEST_F(StoreFile, SeekByTimeAndChannel)
{
    WriteRecording(Path("s.dvr"), 300);
    DvrStoreContext r;
    ASSERT_TRUE(StoreOpenFile(&r, Path("s.dvr")));
    struct Case {
        uint8_t channel;
        int seconds;
        bool found;
        int first; // first record played
    } cases[] = {
        {0, 0, true, 0},      {0, 150, true, 150}, {1, 151, true, 152}, {2, 151, true, 151},
        {3, 200, true, 204},  {0, 500, true, 299}, // past the end: the last records
        {7, 10, false, -1},   {17, 10, false, -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.channel) << " @" << c.seconds);
        EXPECT_EQ(StoreSeekTime(&r, c.channel, TimeAt(c.seconds).data()), c.found);
        if (!c.found)
            continue;
        r.direction = kPlayForward;
        uint8_t header[128];
        std::vector<uint8_t> data(kMaxRecordBytes);
        ASSERT_NE(StoreNextRecord(&r, header, data.data()), StoreFailed);
        EXPECT_EQ(test::SecondsOf(header + 37), c.first);
    }
}

TEST_F(StoreFile, FastFactorCountsEachChannel)
{
    WriteRecording(Path("f.dvr"), 100);
    DvrStoreContext r;
    ASSERT_TRUE(StoreOpenFile(&r, Path("f.dvr")));
    ASSERT_TRUE(StoreSeekTime(&r, 0, TimeAt(0).data()));
    JpegPlayControl(&r, 2, 0, kPlayForward);
    auto played = PlayAll(r);
    std::vector<int> expect;
    int seen[17] = {};
    for (int i = 0; i < 100; ++i)
        if (++seen[MakeRecord(i).ch1] % 2 == 0)
            expect.push_back(i);
    std::vector<int> got;
    for (auto &p : played)
        got.push_back(p.seconds);
    EXPECT_EQ(got, expect);
}

TEST_F(StoreFile, PaddedRecordKeepsItsWholeDataAndLeaksNothing)
{
    DvrStoreContext w;
    ASSERT_TRUE(StoreCreateFile(&w, Path("p.dvr")));
    TestRecord rec = MakeRecord(0, 1000);
    rec.data[0] = 0x00, rec.data[1] = 0x00, rec.data[2] = 0x01, rec.data[3] = 0xD6;
    std::array<uint8_t, 224> header{};
    std::memset(header.data() + 128, 0xAA, 96); // memory beyond the header must not be stored
    auto h = RecordHeader(rec);
    std::memcpy(header.data(), h.data(), 128);
    ASSERT_TRUE(StoreAppendRecord(&w, header.data(), rec.data.data()));
    ASSERT_TRUE(Append(w, MakeRecord(1, 50)));
    ASSERT_TRUE(StoreCloseFile(&w));

    const auto bytes = ReadFile(Path("p.dvr"));
    const uint8_t *unit = &bytes[888 + 224 + 1000 + 128 + 50];
    EXPECT_EQ(UnitRecordPosition(unit, 0), 888u);
    EXPECT_EQ(UnitRecordPosition(unit, 1), 888u + 224 + 1000);
    for (int i = 0; i < 96; ++i)
        ASSERT_EQ(bytes[888 + 128 + size_t(i)], 0);

    DvrStoreContext r;
    ASSERT_TRUE(StoreOpenFile(&r, Path("p.dvr")));
    ASSERT_TRUE(StoreSeekTime(&r, 0, TimeAt(0).data()));
    uint8_t hdr[128];
    std::vector<uint8_t> data(kMaxRecordBytes, 0x77);
    ASSERT_EQ(StoreNextRecord(&r, hdr, data.data()), StoreRecord);
    // The players skip 96 bytes of data that begin with eight zeros: what follows is the
    // whole record, tail included.
    EXPECT_TRUE(std::equal(rec.data.begin(), rec.data.end(), data.begin() + 96));
}

// A big record near the end of a block whose header would reach past the block boundary
// goes to the next block.
TEST_F(StoreFile, RecordThatWouldCrossTheBoundaryStartsANewBlock)
{
    DvrStoreContext w;
    ASSERT_TRUE(StoreCreateFile(&w, Path("b.dvr")));
    const int big = 68;
    for (int i = 0; i < big; ++i)
        ASSERT_TRUE(Append(w, MakeRecord(i, 300000)));
    ASSERT_EQ(w.byteCount, 888u + big * 300128u);
    // With 1023 bytes of reserve this record would still fit, but not with its 224-byte header
    // and the unit header behind it.
    TestRecord padded = MakeRecord(big, 69300);
    padded.data[0] = 0, padded.data[1] = 0, padded.data[2] = 1, padded.data[3] = 0xD0;
    ASSERT_TRUE(Append(w, padded));
    for (int i = big + 1; i < big + 4; ++i)
        ASSERT_TRUE(Append(w, MakeRecord(i, 1000)));
    ASSERT_TRUE(StoreCloseFile(&w));

    const auto bytes = ReadFile(Path("b.dvr"));
    const uint8_t *block1 = &bytes[394 + kFileBlockSpan];
    ASSERT_EQ(BlockUnitCount(block1), 1);
    const uint8_t *unit = &bytes[BlockUnitPosition(block1, 0)];
    EXPECT_EQ(UnitRecordPosition(unit, 0), 394 + kFileBlockSpan + 494);
    // Every unit header of block 0 ends before the boundary.
    const uint8_t *block0 = &bytes[394];
    for (int u = 0; u < BlockUnitCount(block0); ++u)
        EXPECT_LE(BlockUnitPosition(block0, u) + 895u, kFileBlockSpan);

    DvrStoreContext r;
    ASSERT_TRUE(StoreOpenFile(&r, Path("b.dvr")));
    ASSERT_TRUE(StoreSeekTime(&r, 0, TimeAt(0).data()));
    auto played = PlayAll(r);
    ASSERT_EQ(played.size(), size_t(big + 4));
    EXPECT_EQ(played[big].seconds, big);
    EXPECT_TRUE(std::equal(padded.data.begin(), padded.data.end(), played[big].data.begin() + 96));
    const auto last = RecordData(big + 3, 1000);
    EXPECT_TRUE(std::equal(last.begin(), last.end(), played[big + 3].data.begin()));
}

// Data that end exactly on a multiple of the block span: the block is full, and the next record
// opens the next block, whose header lies behind the data instead of over a record.
TEST_F(StoreFile, DataEndingExactlyAtTheBlockBoundaryOpenTheNextBlock)
{
    DvrStoreContext w;
    w.channelCount = 16;
    ASSERT_TRUE(StoreCreateFile(&w, Path("e.dvr")));
    std::vector<uint32_t> sizes(1279, 15864);
    sizes.push_back(16266); // the 128th record of the tenth unit: its unit header ends the span
    sizes.resize(sizes.size() + 6500, 100); // more than the first block's 50 free units take
    for (size_t i = 0; i < sizes.size(); ++i) {
        ASSERT_TRUE(Append(w, MakeRecord(int(i), sizes[i]))) << i;
        if (i == 1279)
            ASSERT_EQ(w.byteCount, kFileBlockSpan);
    }
    ASSERT_TRUE(StoreCloseFile(&w));

    const auto bytes = ReadFile(Path("e.dvr"));
    const uint8_t *block1 = &bytes[394 + kFileBlockSpan];
    ASSERT_GE(BlockUnitCount(block1), 1);
    EXPECT_EQ(UnitRecordPosition(&bytes[BlockUnitPosition(block1, 0)], 0), 394 + kFileBlockSpan + 494);

    DvrStoreContext r;
    ASSERT_TRUE(StoreOpenFile(&r, Path("e.dvr")));
    ASSERT_TRUE(StoreSeekTime(&r, 0, TimeAt(0).data()));
    int result = 0;
    const auto played = PlayAll(r, &result);
    EXPECT_EQ(result, StoreEnd);
    ASSERT_EQ(played.size(), sizes.size());
    for (size_t i = 0; i < sizes.size(); ++i) {
        const auto want = RecordData(int(i), sizes[i]);
        ASSERT_TRUE(std::equal(want.begin(), want.end(), played[i].data.begin())) << i;
    }
}

// A block takes 60 units; the next record opens a new block, and closing a full block adds
// no 61st unit.
TEST_F(StoreFile, FullBlockGetsNoSixtyFirstUnit)
{
    for (int extra : {0, 1}) {
        SCOPED_TRACE(extra);
        const int n = 60 * 128 + extra;
        const auto bytes = ReadFile(WriteRecording(Path("u.dvr"), n, 20));
        const uint8_t *block0 = &bytes[394];
        EXPECT_EQ(block0[BlockHeader::kUnitCount], 60);
        EXPECT_EQ(GetLe32(block0 + BlockHeader::kCrc), 0u);
        if (extra == 0) {
            EXPECT_EQ(bytes.size(), 888u + 60 * (128 * 148u + 895));
        } else {
            ASSERT_GT(bytes.size(), 394u + kFileBlockSpan + 494);
            const uint8_t *block1 = &bytes[394 + kFileBlockSpan];
            EXPECT_EQ(BlockUnitCount(block1), 1);
            EXPECT_EQ(UnitRecordCount(&bytes[BlockUnitPosition(block1, 0)]), 1);
        }
        DvrStoreContext r;
        ASSERT_TRUE(StoreOpenFile(&r, Path("u.dvr")));
        ASSERT_TRUE(StoreSeekTime(&r, 0, TimeAt(0).data()));
        EXPECT_EQ(PlayAll(r).size(), size_t(n));
    }
}

// A recording cut short (the writer never closed) still plays every finished unit.
TEST_F(StoreFile, InterruptedRecordingKeepsFinishedUnits)
{
    DvrStoreContext w;
    ASSERT_TRUE(StoreCreateFile(&w, Path("c.dvr")));
    for (int i = 0; i < 128 * 2 + 50; ++i)
        ASSERT_TRUE(Append(w, MakeRecord(i)));
    std::filesystem::copy_file(Path("c.dvr"), Path("crash.dvr"));
    ASSERT_TRUE(StoreCloseFile(&w));

    DvrStoreContext r;
    ASSERT_TRUE(StoreOpenFile(&r, Path("crash.dvr")));
    ASSERT_TRUE(StoreSeekTime(&r, 0, TimeAt(0).data()));
    auto played = PlayAll(r);
    ASSERT_EQ(played.size(), 256u);
    for (size_t i = 0; i < played.size(); ++i)
        EXPECT_EQ(played[i].seconds, int(i));
}

TEST_F(StoreFile, WriterRefusesOversizedRecordsAndClosedFiles)
{
    DvrStoreContext w;
    TestRecord r = MakeRecord(0, 16);
    auto h = RecordHeader(r);
    EXPECT_FALSE(StoreAppendRecord(&w, h.data(), r.data.data())); // not open
    ASSERT_TRUE(StoreCreateFile(&w, Path("o.dvr")));
    PutLe32(h.data() + 76, kMaxRecordBytes);
    EXPECT_FALSE(StoreAppendRecord(&w, h.data(), r.data.data()));
    PutLe32(h.data() + 76, 0xFFFFFFF0u); // parts whose sum wraps in 32 bits
    PutLe32(h.data() + 80, 0x20);
    EXPECT_FALSE(StoreAppendRecord(&w, h.data(), r.data.data()));
    EXPECT_TRUE(StoreCloseFile(&w));
    EXPECT_FALSE(StoreCreateFile(&w, Path("no/such/dir.dvr")));
}

// Corrupt and truncated files: every walk ends, nothing is read past a buffer.
TEST_F(StoreFile, HostileFilesNeverReadPastBuffers)
{
    const auto good = ReadFile(WriteRecording(Path("g.dvr"), 140, 300));
    const uint32_t unit0 = BlockUnitPosition(&good[394], 0);
    struct Mutation {
        const char *name;
        size_t offset;
        std::vector<uint8_t> bytes;
    } mutations[] = {
        {"unit count 255", 394 + 1, {255}},
        {"record count 255", unit0 + 1, {255}},
        {"channel pair 200", unit0 + UnitHeader::kChannelPairs, {200}},
        {"unit position past end", 394 + BlockHeader::kUnitPositions, {0xF0, 0xFF, 0xFF, 0x7F}},
        {"record position past end", unit0 + UnitHeader::kRecordPositions + 4, {0xF0, 0xFF, 0xFF, 0x7F}},
        {"record position into a header", unit0 + UnitHeader::kRecordPositions + 8, {0x8A, 0x01, 0, 0}},
        {"zero sectors", 888 + 64, {0, 0, 0, 0}},
        {"huge part with sane sectors", 888 + 76, {0x00, 0x00, 0x10, 0x00}},
        {"parts summing past 32 bits", 888 + 76, {0xFF, 0xFF, 0xFF, 0xFF, 0x10, 0, 0, 0}},
        {"channel count 200", 41, {200}},
    };
    for (const auto &m : mutations) {
        SCOPED_TRACE(m.name);
        auto bytes = good;
        std::copy(m.bytes.begin(), m.bytes.end(), bytes.begin() + long(m.offset));
        WriteFile(Path("h.dvr"), bytes);
        DvrStoreContext r;
        ASSERT_TRUE(StoreOpenFile(&r, Path("h.dvr")));
        EXPECT_LE(r.channelCount, 16);
        for (uint8_t dir : {kPlayForward, kPlayBackward}) {
            StoreSeekTime(&r, 0, TimeAt(dir == kPlayForward ? 0 : 200).data());
            r.direction = dir;
            int result = 0;
            auto played = PlayAll(r, &result, 2000);
            EXPECT_TRUE(result == StoreEnd || result == StoreFailed);
            EXPECT_LE(played.size(), 140u);
        }
    }
    for (size_t cut : {size_t(0), size_t(100), size_t(394), size_t(600), size_t(888 + 50), good.size() - 1000}) {
        SCOPED_TRACE(cut);
        WriteFile(Path("t.dvr"), {good.begin(), good.begin() + long(cut)});
        DvrStoreContext r;
        if (!StoreOpenFile(&r, Path("t.dvr")))
            continue;
        StoreSeekTime(&r, 0, TimeAt(0).data());
        int result = 0;
        auto played = PlayAll(r, &result, 2000);
        EXPECT_TRUE(result == StoreEnd || result == StoreFailed);
    }
}

TEST_F(StoreFile, RecordPushWriter)
{
    auto writer = StoreWriterFactory()(4, true);
    ASSERT_TRUE(writer->Create(Path("w.dvr")));
    EXPECT_TRUE(writer->IsOpen());
    FrameRecordHeader h;
    h.channel = 2;
    h.time = ReadRecorderTime(TimeAt(7).data());
    h.partSize = {100, 20, 3};
    const auto data = RecordData(7, 123);
    EXPECT_FALSE(writer->Append(h, data.data(), 122)); // length and part sizes disagree
    ASSERT_TRUE(writer->Append(h, data.data(), 123));
    EXPECT_EQ(writer->BytesWritten(), 888u + 128 + 123);
    writer->Close();
    EXPECT_FALSE(writer->IsOpen());

    DvrStoreContext r;
    ASSERT_TRUE(StoreOpenFile(&r, Path("w.dvr")));
    EXPECT_EQ(r.channelCount, 4);
    EXPECT_EQ(r.videoStandard, 1);
    ASSERT_TRUE(StoreSeekTime(&r, 2, TimeAt(0).data()));
    auto played = PlayAll(r);
    ASSERT_EQ(played.size(), 1u);
    EXPECT_EQ(played[0].seconds, 7);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), played[0].data.begin()));
}

// The record push's writer keeps only records the readers take back (a sector count that keeps
// header and data within the record buffer); a bigger one is left out and the recording goes on.
TEST_F(StoreFile, RecordPushWriterKeepsOnlyRecordsThatPlayBack)
{
    const struct {
        uint32_t size;
        bool kept;
    } cases[] = {{314752, true}, {314753, false}, {315039, false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.size);
        auto writer = StoreWriterFactory()(4, true);
        ASSERT_TRUE(writer->Create(Path("k.dvr")));
        std::vector<uint32_t> kept;
        for (uint32_t size : {100u, c.size, 200u}) {
            FrameRecordHeader h;
            h.channel = 1;
            h.time = ReadRecorderTime(TimeAt(int(size % 60)).data());
            h.partSize = {size, 0, 0};
            const auto data = RecordData(int(size), size);
            EXPECT_TRUE(writer->Append(h, data.data(), data.size()));
            if (size != c.size || c.kept)
                kept.push_back(size);
        }
        writer->Close();
        // Every record the file indexes is one the readers take.
        const auto bytes = ReadFile(Path("k.dvr"));
        EXPECT_EQ(UnitRecordCount(&bytes[BlockUnitPosition(&bytes[394], 0)]), int(kept.size()));
        DvrStoreContext r;
        ASSERT_TRUE(StoreOpenFile(&r, Path("k.dvr")));
        ASSERT_TRUE(StoreSeekTime(&r, 0, TimeAt(0).data()));
        int result = 0;
        const auto played = PlayAll(r, &result);
        EXPECT_EQ(result, StoreEnd);
        ASSERT_EQ(played.size(), kept.size());
        for (size_t i = 0; i < kept.size(); ++i) {
            const auto want = RecordData(int(kept[i]), kept[i]);
            EXPECT_TRUE(std::equal(want.begin(), want.end(), played[i].data.begin())) << i;
        }
        std::filesystem::remove(Path("k.dvr"));
    }
}

// The demo recording in samples/: a minute long; every record plays, JPEG channels hold whole
// pictures and MPEG channels one group of pictures each, framed as the picture path cuts them
// and beginning with an intra picture, so that fast and backward play show whole pictures. The
// pauses its records ask for are ones a player keeps (10 to 99 ms) and add up to its minute.
TEST(StoreDemo, RecordingPlaysAndIsFramed)
{
    DvrStoreContext r;
    ASSERT_TRUE(StoreOpenFile(&r, STRANDEL_TEST_DATA "/../../samples/demo.dvr"));
    EXPECT_EQ(r.channelCount, 16);
    ASSERT_TRUE(StoreSeekTime(&r, 0, TimeAt(0).data()));
    int perChannel[17] = {};
    uint8_t header[128];
    std::vector<uint8_t> data(kMaxRecordBytes);
    uint32_t first = 0, last = 0, pausedMs = 0;
    bool any = false;
    for (int i = 0; i < 5000; ++i) {
        bool read = false;
        const int result = StoreNextRecord(&r, header, data.data(), &read);
        const bool done = result == StoreEnd || result == StoreFailed;
        if (read) {
            const FrameRecordHeader h = FrameRecordHeader::Read(header);
            const uint8_t ch = h.channel;
            ASSERT_TRUE(ch >= 1 && ch <= 16);
            ++perChannel[ch];
            EXPECT_GE(h.delay, 1u);
            EXPECT_LE(h.delay, 9u);
            pausedMs += h.delay * 10;
            const uint32_t time = h.time.hour * 3600u + h.time.minute * 60u + h.time.second;
            first = any ? std::min(first, time) : time;
            last = std::max(last, time);
            any = true;
            const uint32_t size = h.partSize[0];
            if (ch <= 8) {
                EXPECT_NE(GetLe64(data.data()), 0u); // no 96-byte skip in the players
                EXPECT_EQ(data[32], 0xFF);
                EXPECT_EQ(data[33], 0xD8);
                EXPECT_EQ(h.jpegLength + 32, size);
                int w = 0, h2 = 0;
                EXPECT_TRUE(JpegReadSize(data.data() + 32, h.jpegLength, &w, &h2));
                EXPECT_EQ(w, 352);
                EXPECT_EQ(h2, 240);
                if (done)
                    break;
                continue;
            }
            // Packets of L + 32 bytes filling the record; the first holds an intra VOP, the rest predicted ones.
            int packets = 0;
            for (uint32_t o = 0; o < size;) {
                const uint8_t *p = data.data() + o;
                ASSERT_EQ(GetLe32(p) & 0xF0FFFFFFu, 0xE0010000u) << int(ch) << " at " << o;
                const uint32_t l = ((p[24] & 0x7Fu) << 15) | (uint32_t(p[25] >> 4) << 11) | ((p[25] & 7u) << 8) | p[26];
                ASSERT_LE(o + l + 32, size);
                const uint8_t vop[4] = {0, 0, 1, 0xB6};
                const uint8_t *at = std::search(p + 32, p + l, vop, vop + 4);
                ASSERT_NE(at, p + l);
                EXPECT_EQ(at[4] >> 6, packets == 0 ? 0 : 1) << int(ch) << " packet " << packets;
                ++packets;
                o += l + 32;
            }
            EXPECT_GT(packets, 1);
        }
        if (result == StoreEnd || result == StoreFailed)
            break;
    }
    EXPECT_GE(last - first, 59u);
    EXPECT_EQ(pausedMs, 60000u);
    for (int ch = 1; ch <= 16; ++ch)
        EXPECT_EQ(perChannel[ch], 60) << ch; // a picture, or a group of four, a second
}

TEST(StorePlayControl, Requests)
{
    struct Case {
        uint8_t fast0, slow0, dir0;
        uint8_t fast, slow, dir;
        uint8_t fast1, slow1, dir1;
    } cases[] = {
        {0, 0, 31, 4, 0, 32, 4, 0, 32},     // fast factor taken with its direction
        {4, 0, 31, 0, 0, 1, 4, 0, 32},      // 1 toggles the direction, nothing else
        {4, 0, 32, 0, 0, 1, 4, 0, 31},
        {0, 0, 31, 1, 0, 0, 2, 0, 31},      // faster: 0 becomes 2
        {2, 4, 31, 1, 0, 31, 4, 0, 31},     // faster doubles and ends slow play
        {128, 0, 31, 1, 0, 0, 0, 0, 31},    // 8 bits: 128 doubles to 0
        {4, 0, 31, 0, 1, 0, 0, 2, 31},      // slower
        {0, 2, 31, 0, 1, 0, 0, 4, 31},
        {4, 2, 32, 0, 0, 0, 0, 0, 31},      // normal forward play
        {4, 2, 32, 0, 0, 32, 0, 0, 32},     // normal speed, same direction
    };
    for (const Case &c : cases) {
        DvrStoreContext ctx;
        ctx.fastFactor = c.fast0, ctx.slowFactor = c.slow0, ctx.direction = c.dir0;
        EXPECT_TRUE(JpegPlayControl(&ctx, c.fast, c.slow, c.dir));
        EXPECT_EQ(ctx.fastFactor, c.fast1);
        EXPECT_EQ(ctx.slowFactor, c.slow1);
        EXPECT_EQ(ctx.direction, c.dir1);
    }
}

} // namespace
} // namespace strandel
