#include "tools/dvrsim/videosource.h"

#include "simtest.h"

#include "platform/endian.h"
#include "platform/jpeg.h"
#include "viewer/store/dvrstore.h"
#include "viewer/protocol/framerecord.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

using namespace strandel;
using namespace strandel::sim;

namespace {

// The viewer's reading of a packet header.
uint32_t Pts(const uint8_t *b)
{
    return (uint32_t(b[9] >> 1) << 30) | (uint32_t(b[10]) << 22) | (uint32_t(b[11] & 0xFE) << 14) |
           (uint32_t(b[12]) << 7) | (b[13] >> 1);
}
uint32_t Delay(const uint8_t *b) { return (uint32_t(b[17]) << 7) | (b[18] >> 1); }
uint32_t Length(const uint8_t *b)
{
    return (uint32_t(b[24] & 0x7F) << 15) | (uint32_t(b[25] >> 4) << 11) | (uint32_t(b[25] & 7) << 8) | b[26];
}

std::vector<uint8_t> Fixture(const char *name)
{
    std::ifstream in(std::string(STRANDEL_TEST_DATA) + "/data/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

} // namespace

TEST(SimVideoSource, MpegPacketHeaderReadsBackAsTheViewerReadsIt)
{
    struct Case {
        size_t size;
        uint32_t pts;
        uint16_t delay;
    };
    for (const Case c : {Case{0, 0, 0}, Case{65, 18000, 12}, Case{70000, 0xFFFFFFFFu, 0x7FFF},
                         Case{kMpegMaxFrame, 0x80000001u, 1}}) {
        std::vector<uint8_t> frame(c.size, 0xA5), part;
        ASSERT_TRUE(AppendMpegPacket(part, frame.data(), frame.size(), 3, c.pts, c.delay));
        ASSERT_EQ(part.size(), c.size + kMpegHeaderSize);
        EXPECT_EQ(GetLe32(part.data()) & 0xF0FFFFFFu, 0xE0010000u);
        EXPECT_EQ(part[3], 0xE2);
        EXPECT_EQ(Pts(part.data()), c.pts);
        EXPECT_EQ(Delay(part.data()), c.delay);
        EXPECT_EQ(Length(part.data()), c.size);
    }
    std::vector<uint8_t> part;
    std::vector<uint8_t> tooLong(kMpegMaxFrame + 1);
    EXPECT_FALSE(AppendMpegPacket(part, tooLong.data(), tooLong.size(), 1, 0, 0));
    EXPECT_TRUE(part.empty());
}

TEST(SimVideoSource, LongJpegAreasCarryTheBlockTheViewerCutsOut)
{
    // Areas up to 65440 bytes stay as they are; longer ones get 32 bytes at offset 65440.
    for (size_t size : {size_t(100), size_t(65408), size_t(65409), size_t(70000)}) {
        std::vector<uint8_t> jpeg(size);
        for (size_t i = 0; i < size; ++i)
            jpeg[i] = uint8_t(i * 7);
        std::vector<uint8_t> part;
        const uint32_t f = AppendJpegArea(part, jpeg.data(), jpeg.size(), 5);
        ASSERT_EQ(f, part.size());
        EXPECT_EQ(GetLe32(part.data()) & 0xF0FFFFFFu, 0xD0010000u);
        const bool block = size + kJpegPrefixSize > kJpegBlockOffset;
        EXPECT_EQ(f, size + kJpegPrefixSize + (block ? kJpegBlockSize : 0)) << size;
        // The viewer's cut: an area of 65472 bytes or more loses the bytes at 65440..65471.
        if (f >= 65472)
            part.erase(part.begin() + 65440, part.begin() + 65472);
        EXPECT_TRUE(std::equal(jpeg.begin(), jpeg.end(), part.begin() + kJpegPrefixSize)) << size;
    }
}

TEST(SimVideoSource, Mpeg4StreamSplitsAtPictures)
{
    const auto stream = Fixture("ch02.m4v");
    ASSERT_FALSE(stream.empty());
    const auto frames = SplitMpeg4Frames(stream.data(), stream.size());
    ASSERT_EQ(frames.size(), 10u);
    // The stream headers ride with the first picture; every later frame starts with its picture.
    EXPECT_EQ(frames[0][3], 0xB0);
    for (size_t i = 1; i < frames.size(); ++i)
        EXPECT_EQ(GetLe32(frames[i].data()), 0xB6010000u);
    std::vector<uint8_t> joined;
    for (const auto &f : frames)
        joined.insert(joined.end(), f.begin(), f.end());
    EXPECT_EQ(joined, stream);
    const uint8_t noPicture[] = {0, 0, 1, 0xB0, 1, 2};
    EXPECT_TRUE(SplitMpeg4Frames(noPicture, sizeof noPicture).empty());
}

TEST(SimVideoSource, StreamHeaderGivesThePictureSize)
{
    struct Case {
        const char *file;
        int width, height;
        uint8_t sizeCode;
    };
    for (const Case c : {Case{"ch02.m4v", 352, 288, 2}, Case{"full/ch01.m4v", 704, 576, 0}}) {
        const auto stream = Fixture(c.file);
        int w = 0, h = 0;
        ASSERT_TRUE(Mpeg4PictureSize(stream.data(), stream.size(), &w, &h)) << c.file;
        EXPECT_EQ(w, c.width);
        EXPECT_EQ(h, c.height);
        EXPECT_EQ(SizeCodeFor(w, h), c.sizeCode);
        // A header cut short is refused, never read past.
        for (size_t n = 0; n < 28; ++n) {
            const std::vector<uint8_t> cut(stream.begin(), stream.begin() + std::ptrdiff_t(n));
            EXPECT_FALSE(Mpeg4PictureSize(cut.data(), cut.size(), &w, &h)) << n;
        }
    }
    std::string error;
    auto src = DirectorySource::Open(std::string(STRANDEL_TEST_DATA) + "/data/full", 5, false, error);
    ASSERT_TRUE(src) << error;
    SimVideo v;
    ASSERT_TRUE(src->Get(1, 0, v));
    EXPECT_EQ(v.sizeCode, 0);
}

TEST(SimVideoSource, DirectoryServesEachChannelItsFileAndLoops)
{
    std::string error;
    auto src = DirectorySource::Open(std::string(STRANDEL_TEST_DATA) + "/data", 5, false, error);
    ASSERT_TRUE(src) << error;
    EXPECT_EQ(src->KindOf(1), "generated");
    EXPECT_EQ(src->KindOf(2), "mpeg");
    EXPECT_EQ(src->KindOf(3), "jpeg");

    SimVideo v;
    std::vector<uint32_t> pts;
    for (int i = 0; i < 11; ++i) {
        ASSERT_TRUE(src->Get(2, uint64_t(i), v));
        EXPECT_TRUE(v.mpeg);
        EXPECT_EQ(Length(v.part0.data()) + kMpegHeaderSize, v.part0.size());
        EXPECT_EQ(Delay(v.part0.data()), 10u); // 50 fields a second at 5 frames a second
        pts.push_back(Pts(v.part0.data()));
    }
    EXPECT_EQ(pts[1] - pts[0], 18000u);
    // After ten frames the stream starts over, stream headers included.
    EXPECT_EQ(v.part0[kMpegHeaderSize + 3], 0xB0);
    // The stream has an intra picture every five: a step other than the next one forward
    // lands on one of them.
    const std::pair<int64_t, int64_t> keys[] = {{0, 0}, {4, 0}, {5, 5}, {7, 5}, {13, 10}};
    for (const auto &[k, key] : keys)
        EXPECT_EQ(src->KeyAtOrBefore(2, k), key) << k;
    EXPECT_EQ(src->KeyAtOrBefore(3, 7), 7);
    EXPECT_EQ(src->IndexAt(2, 999), 4);
    EXPECT_EQ(src->TimeOf(2, 5), 1000);

    ASSERT_TRUE(src->Get(3, 0, v));
    EXPECT_FALSE(v.mpeg);
    EXPECT_EQ(v.sizeCode, 2);
    EXPECT_EQ(v.jpegLength, v.part0.size());
    EXPECT_EQ(std::vector<uint8_t>(v.part0.begin() + 32, v.part0.end()), Fixture("ch03.jpg"));

    ASSERT_TRUE(src->Get(1, 0, v));
    JpegImage img;
    ASSERT_TRUE(JpegDecode(v.part0.data() + 32, v.part0.size() - 32, img));
    EXPECT_EQ(img.height, 288);
    EXPECT_FALSE(src->Get(17, 0, v));
    EXPECT_FALSE(DirectorySource::Open("/nonexistent/pics", 5, false, error));
}

TEST(SimVideoSource, RecordingServesItsRecordsPerChannelAndLoops)
{
    // Three records written by the viewer's own writer: MPEG with a second part on channel 1,
    // a picture record (which the writer stores with 96 extra header bytes) on channel 2.
    const std::string path = testing::TempDir() + "dvrsim_source_" + std::to_string(::getpid()) + ".dvr";
    std::vector<std::vector<uint8_t>> part0s, part1s;
    {
        DvrStoreContext ctx;
        ctx.channelCount = 4;
        ctx.videoStandard = 1;
        ASSERT_TRUE(StoreCreateFile(&ctx, path));
        for (int i = 0; i < 3; ++i) {
            const int channel = i == 1 ? 2 : 1;
            std::vector<uint8_t> body(300 + size_t(i), uint8_t(0x10 + i)), part0;
            if (channel == 1)
                ASSERT_TRUE(AppendMpegPacket(part0, body.data(), body.size(), channel, uint32_t(i) * 18000, 10));
            else
                AppendJpegArea(part0, body.data(), body.size(), channel);
            const std::vector<uint8_t> part1(channel == 1 ? 10 : 0, uint8_t(0xC0 + i));
            FrameRecordHeader h;
            h.channel = uint8_t(channel);
            h.time = {20, 26, 12, 10, 9, 0, uint8_t(i)};
            h.partSize = {uint32_t(part0.size()), uint32_t(part1.size()), 0};
            auto bytes = h.ToBytes();
            std::vector<uint8_t> data = part0;
            data.insert(data.end(), part1.begin(), part1.end());
            ASSERT_TRUE(StoreAppendRecord(&ctx, bytes.data(), data.data()));
            part0s.push_back(part0);
            part1s.push_back(part1);
        }
        ASSERT_TRUE(StoreCloseFile(&ctx));
    }
    std::string error;
    auto src = DvrFileSource::Open(path, error);
    ASSERT_TRUE(src) << error;
    EXPECT_EQ(src->FileChannels(), 4);
    EXPECT_EQ(src->RecordCount(1), 2u);
    EXPECT_EQ(src->RecordCount(2), 1u);
    SimVideo v;
    for (int j = 0; j < 3; ++j) {
        const int k = j == 1 ? 2 : 0;
        ASSERT_TRUE(src->Get(1, uint64_t(j), v));
        EXPECT_TRUE(v.mpeg);
        EXPECT_EQ(v.part0, part0s[size_t(k)]);
        EXPECT_EQ(v.part1, part1s[size_t(k)]);
    }
    ASSERT_TRUE(src->Get(2, 0, v));
    EXPECT_FALSE(v.mpeg);
    EXPECT_EQ(v.part0, part0s[1]);
    EXPECT_FALSE(src->Get(3, 0, v));
    std::remove(path.c_str());
    EXPECT_FALSE(DvrFileSource::Open(path, error));
}

TEST(SimVideoSource, FullSizePicturesComeAsTwoFields)
{
    for (bool ntsc : {false, true}) {
        GeneratedSource src(ntsc, true);
        SimVideo v;
        ASSERT_TRUE(src.Get(4, 0, v));
        EXPECT_EQ(v.sizeCode, 0);
        const size_t f = v.jpegLength, p = v.part0.size();
        ASSERT_LT(f, p);
        // As the pane reads them: the first picture after the prefix, the second at F + 32.
        for (const auto &[from, to] : {std::pair{size_t(32), f}, std::pair{f + 32, p}}) {
            JpegImage img;
            ASSERT_TRUE(JpegDecode(v.part0.data() + from, to - from, img));
            EXPECT_EQ(img.width, 704);
            EXPECT_EQ(img.height, ntsc ? 240 : 288);
        }
        EXPECT_EQ(v.part0[f + 3], 0xD3);
    }
}

TEST(SimVideoSource, ChannelsOfARecordingKeepToOneClock)
{
    // The demo recording: JPEG channels with a picture a second, MPEG-4 channels with a record
    // (a group of four pictures) a second.
    std::string error;
    auto src = sim::DvrFileSource::Open(std::string(STRANDEL_TEST_DATA) + "/../../samples/demo.dvr", error);
    ASSERT_TRUE(src) << error;
    EXPECT_EQ(src->SpanMs(), 60000);
    for (int ch : {1, 9})
        EXPECT_EQ(src->TimeOf(ch, 0), 0);
    EXPECT_EQ(src->TimeOf(1, 1), 1000);
    EXPECT_EQ(src->TimeOf(9, 1), 1000);
    EXPECT_EQ(src->TimeOf(9, 61), 61000); // the second time round
    // Played back: the record that shows at a position, forward and backward alike.
    EXPECT_EQ(src->IndexAt(1, 999), 0);
    EXPECT_EQ(src->IndexAt(1, 59999), 59);
    EXPECT_EQ(src->IndexAt(9, 3999), 3);
    EXPECT_EQ(src->IndexAt(9, 60000), 60);
    EXPECT_EQ(src->IndexAt(9, -1), -1);
}

TEST(SimVideoSource, RecordTimesOutOfStepAreTakenFromTheirNeighbours)
{
    // Three channels, ten seconds; the file's first record and one in the middle dated 2099, so
    // the file header's first time is damaged too.
    const std::string path = testing::TempDir() + "dvrsim_far_" + std::to_string(::getpid()) + ".dvr";
    ASSERT_TRUE(strandel::test::WriteRecording(path, 3, 10, {{1, 0}, {2, 4}}));
    {
        std::ifstream in(path, std::ios::binary);
        uint8_t head[DiskHeader::kSize];
        in.read(reinterpret_cast<char *>(head), sizeof head);
        ASSERT_EQ(head[DiskHeader::kFirstTime + 1], 99);
    }
    std::string error;
    auto src = DvrFileSource::Open(path, error);
    std::remove(path.c_str());
    ASSERT_TRUE(src) << error;
    EXPECT_EQ(src->SpanMs(), 10000);
    for (int ch = 1; ch <= 3; ++ch) {
        SCOPED_TRACE(ch);
        ASSERT_EQ(src->RecordCount(ch), 10u);
        for (uint64_t k = 0; k < 20; ++k)
            EXPECT_EQ(src->TimeOf(ch, k), int64_t(k) * 1000) << k;
    }
    // A file header whose first time alone is damaged still starts every channel at its first.
    ASSERT_TRUE(strandel::test::WriteRecording(path, 3, 10));
    {
        std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
        const uint8_t far[7] = {20, 99, 12, 31, 23, 59, 59};
        f.seekp(DiskHeader::kFirstTime);
        f.write(reinterpret_cast<const char *>(far), sizeof far);
    }
    src = DvrFileSource::Open(path, error);
    std::remove(path.c_str());
    ASSERT_TRUE(src) << error;
    for (int ch = 1; ch <= 3; ++ch)
        EXPECT_EQ(src->RecordCount(ch), 10u) << ch;
    // A jump in the recording that its next records confirm goes on a second later.
    // (Its last two records share their second.)
    ASSERT_TRUE(strandel::test::WriteRecording(path, 1, 5, {{1, 3}, {1, 4}}));
    src = DvrFileSource::Open(path, error);
    std::remove(path.c_str());
    ASSERT_TRUE(src) << error;
    EXPECT_EQ(src->SpanMs(), 4000);
    const int64_t times[5] = {0, 1000, 2000, 3000, 3500};
    for (uint64_t k = 0; k < 5; ++k)
        EXPECT_EQ(src->TimeOf(1, k), times[k]) << k;
}
