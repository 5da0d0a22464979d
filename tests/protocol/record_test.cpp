#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>

#include "platform/debuglog.h"
#include "protocol_fakes.h"

using namespace strandel;
using namespace strandel::test;

namespace {

std::vector<uint8_t> Bytes(size_t n, uint8_t seed)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = uint8_t(seed + i * 7);
    return v;
}

FrameRecordHeader Header(uint8_t frameId, uint32_t p0, uint32_t p1 = 0, uint32_t p2 = 0, uint8_t kind = FrameKindLive)
{
    FrameRecordHeader h;
    h.channel = 2;
    h.frameId = frameId;
    h.kind = kind;
    h.time = {20, 26, 12, 10, 13, 14, 15};
    h.liveMask = 0x0F;
    h.playMask = 0x01;
    h.partSize = {p0, p1, p2};
    return h;
}

class Record : public ::testing::Test {
protected:
    void SetUp() override
    {
        core.SetConnection(&sender);
        Feed(core, {MakePacket(DvrCmdLogin, 0, {DvrLoginMaster, 16, 0x01, 0, 0, 0, 0, 0, 0})});
        view.Take();
        SetDebugSink([this](const std::string &line) {
            std::lock_guard l(logMutex);
            debug.push_back(line);
        });
    }
    void TearDown() override { SetDebugSink({}); }

    void Push(const FrameRecordHeader &h, std::vector<uint8_t> p0, std::vector<uint8_t> p1 = {},
              std::vector<uint8_t> p2 = {})
    {
        const std::vector<uint8_t> parts[3] = {std::move(p0), std::move(p1), std::move(p2)};
        Feed(core, RecordPackets(h, parts));
    }
    bool Logged(const std::string &text)
    {
        std::lock_guard l(logMutex);
        for (const auto &line : debug)
            if (line.find(text) != std::string::npos)
                return true;
        return false;
    }

    FakeView view;
    FakeSender sender;
    FakeWriterState writer;
    DvrWinCore core{view, FakeWriterFactory(writer)};
    std::mutex logMutex;
    std::vector<std::string> debug;
};

} // namespace

TEST_F(Record, RecordArrivesAsChunksAndIsShownAndWrittenOnce)
{
    const auto part0 = Bytes(5000, 3);
    const auto h = Header(9, 5000);
    const std::vector<uint8_t> parts[3] = {part0, {}, {}};
    const auto packets = RecordPackets(h, parts);
    const std::vector<std::pair<int, size_t>> want = {{0x40, 1024}, {0, 1024}, {0, 1024}, {0, 1024},
                                                      {0, 904},     {0x20, 5}, {0x80, 128}};
    ASSERT_EQ(packets.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(packets[i].header.flag, want[i].first) << i;
        EXPECT_EQ(packets[i].payload.size(), want[i].second) << i;
    }
    EXPECT_EQ(packets[5].payload, (std::vector<uint8_t>{0x88, 0x13, 0, 0, 9}));

    ASSERT_TRUE(core.StartRecord("Save/Dvr-20261210-131415.dvr"));
    EXPECT_EQ(writer.created, std::vector<std::string>{"Save/Dvr-20261210-131415.dvr"});
    EXPECT_EQ(writer.channelCount, 16);
    Feed(core, packets);
    ASSERT_EQ(view.shown.size(), 1u);
    EXPECT_EQ(view.shown[0].second, part0);
    ASSERT_EQ(writer.records.size(), 1u);
    EXPECT_EQ(writer.records[0].second, part0);
    // A header repeated on its own finds no part any more.
    Feed(core, {packets.back()});
    EXPECT_EQ(view.shown.size(), 1u);
    EXPECT_EQ(writer.records.size(), 1u);
}

TEST_F(Record, BadPartZeroIsDroppedWithItsMessage)
{
    core.StartRecord("Save/x.dvr");
    auto h = Header(5, 300);
    const std::vector<uint8_t> parts[3] = {Bytes(300, 1), {}, {}};
    auto packets = RecordPackets(h, parts);
    packets[1].payload[4] = 6; // the part end names another frame
    Feed(core, packets);
    EXPECT_TRUE(Logged("Jpeg Data error = 2, 300, 300"));

    Push(Header(5, 301), Bytes(300, 1)); // size differs from the header
    EXPECT_TRUE(Logged("Jpeg Data error = 2, 301, 300"));
    EXPECT_TRUE(view.shown.empty());
    EXPECT_TRUE(writer.records.empty());
}

// Frame id 0xFF is also the "no part ended" mark: a header with that id whose parts were all lost
// must not find the previous record's part 0 again.
TEST_F(Record, LostPartsOfFrameIdFFDoNotReplayThePreviousRecord)
{
    const auto h = Header(0xFF, 300);
    Push(h, Bytes(300, 1));
    ASSERT_EQ(view.shown.size(), 1u);
    const auto bytes = h.ToBytes();
    Feed(core, {MakePacket(DvrCmdRecord, DvrFlagRecordHeader, {bytes.begin(), bytes.end()})});
    EXPECT_EQ(view.shown.size(), 1u);
    EXPECT_TRUE(Logged("Jpeg Data error = 2, 300, 0"));
}

TEST_F(Record, LiveRecordOfModelOneIsWrittenWithLiveMaskAndShownDirectly)
{
    Push(Header(1, 200), Bytes(200, 1)); // not recording: the header stays as sent
    ASSERT_EQ(view.shown.size(), 1u);
    EXPECT_EQ(view.shown[0].first.playMask, 0x01u);
    EXPECT_EQ(view.shown[0].first.directShow, 0);

    Feed(core, {MakePacket(DvrCmdLogin, 0, {DvrLoginMaster, 16, 0x11, 0, 0, 0, 0, 0, 0})});
    core.StartRecord("Save/x.dvr");
    Push(Header(2, 200), Bytes(200, 1));
    ASSERT_EQ(writer.records.size(), 1u);
    EXPECT_EQ(writer.records[0].first.playMask, 0x0Fu);
    EXPECT_EQ(writer.records[0].first.directShow, 1);
    ASSERT_EQ(view.shown.size(), 2u);
    EXPECT_EQ(view.shown[1].first.directShow, 1);
    // Playback records keep their masks.
    Push(Header(3, 200, 0, 0, FrameKindPlayback), Bytes(200, 1));
    EXPECT_EQ(writer.records.at(1).first.playMask, 0x01u);
}

TEST_F(Record, RecordsTooSmallOrTooLargeAreShownButNotWritten)
{
    core.StartRecord("Save/x.dvr");
    Push(Header(1, 64), Bytes(64, 1));
    Push(Header(2, 200000, 115040), Bytes(200000, 1), Bytes(115040, 2));
    EXPECT_EQ(view.shown.size(), 2u);
    EXPECT_TRUE(writer.records.empty());
    Push(Header(3, 200000, 115039), Bytes(200000, 1), Bytes(115039, 2));
    EXPECT_EQ(writer.records.size(), 1u);
}

TEST_F(Record, MissingPartIsWrittenAsZeros)
{
    core.StartRecord("Save/x.dvr");
    const auto part0 = Bytes(100, 1);
    Push(Header(1, 100, 10, 4), part0, std::vector<uint8_t>(10, 0xAA), {1, 2, 3, 4});
    ASSERT_EQ(writer.records.size(), 1u);
    EXPECT_EQ(writer.records[0].second.size(), 114u);
    EXPECT_EQ(writer.records[0].second[100], 0xAA);

    // Part 1 of the next record is lost: its place holds zeros, not the previous record's bytes.
    auto h = Header(2, 100, 10, 4);
    const std::vector<uint8_t> parts[3] = {part0, std::vector<uint8_t>(10, 0xAA), {5, 6, 7, 8}};
    auto packets = RecordPackets(h, parts);
    packets.erase(packets.begin() + 2, packets.begin() + 4);
    Feed(core, packets);
    ASSERT_EQ(writer.records.size(), 2u);
    const auto &rec = writer.records[1].second;
    ASSERT_EQ(rec.size(), 114u);
    EXPECT_EQ(std::vector<uint8_t>(rec.begin() + 100, rec.begin() + 110), std::vector<uint8_t>(10, 0));
    EXPECT_EQ(std::vector<uint8_t>(rec.begin() + 110, rec.end()), (std::vector<uint8_t>{5, 6, 7, 8}));
}

TEST_F(Record, RecordingRollsOverPastOneGigabyte)
{
    core.StartRecord("Save/Dvr-20261210-131415.dvr");
    Push(Header(1, 100), Bytes(100, 1));
    EXPECT_EQ(writer.created.size(), 1u);
    writer.bytesWritten = DvrWinCore::kRollOverBytes - 100; // exactly the limit after the next record
    Push(Header(2, 100), Bytes(100, 1));
    EXPECT_EQ(writer.created.size(), 1u);
    Push(Header(3, 100), Bytes(100, 1));
    writer.bytesWritten = DvrWinCore::kRollOverBytes + 1;
    Push(Header(4, 100), Bytes(100, 1));
    EXPECT_EQ(writer.created, (std::vector<std::string>{"Save/Dvr-20261210-131415.dvr",
                                                        "Save/Dvr-20261210-131415-1.dvr",
                                                        "Save/Dvr-20261210-131415-2.dvr"}));
    EXPECT_EQ(writer.closes, 2);
    EXPECT_EQ(writer.clears, 2);
    EXPECT_EQ(writer.records.size(), 4u);
    EXPECT_TRUE(core.IsRecording());
}

TEST_F(Record, RollOverPassesNamesThatAreTaken)
{
    const std::string base = testing::TempDir() + "strandel_rollover_" + std::to_string(::getpid());
    std::ofstream(base + "-1.dvr") << "an earlier file";
    core.StartRecord(base + ".dvr");
    Push(Header(1, 100), Bytes(100, 1));
    writer.bytesWritten = DvrWinCore::kRollOverBytes + 1;
    Push(Header(2, 100), Bytes(100, 1));
    EXPECT_EQ(writer.created, (std::vector<std::string>{base + ".dvr", base + "-2.dvr"}));
    std::remove((base + "-1.dvr").c_str());
}

TEST_F(Record, FailedAppendStopsTheRecordingAndSaysSo)
{
    core.StartRecord("Save/x.dvr");
    writer.failAppend = true;
    Push(Header(1, 100), Bytes(100, 1));
    EXPECT_FALSE(core.IsRecording());
    EXPECT_EQ(writer.closes, 1);
    EXPECT_EQ(view.shown.size(), 1u); // still shown
    view.RunPending();
    EXPECT_EQ(view.Take(), (std::vector<std::string>{"msg Save File Error", "toolbar"}));

    // A roll-over whose new file cannot be created ends the recording the same way.
    writer.failAppend = false;
    core.StartRecord("Save/y.dvr");
    writer.bytesWritten = DvrWinCore::kRollOverBytes + 1;
    writer.failCreate = true;
    Push(Header(2, 100), Bytes(100, 1));
    EXPECT_FALSE(core.IsRecording());
    view.RunPending();
    EXPECT_EQ(view.Take(), (std::vector<std::string>{"msg Save File Error", "toolbar"}));
}

TEST_F(Record, CopyRecordsAreWrittenWithProgressAndNotShown)
{
    core.StartNetCopy("Copy/Dvr-20261210-131415.dvr");
    EXPECT_TRUE(core.IsCopying());
    EXPECT_EQ(view.Take(), (std::vector<std::string>{"copy panel shown", "copy 0000/00/00 00:00:00 COPYING(0%)"}));
    const auto start = RecorderDateTime({20, 26, 12, 10, 13, 0, 0});
    const auto end = RecorderDateTime({20, 26, 12, 10, 13, 5, 0});
    ASSERT_TRUE(start && end);
    core.SetCopySpan(*start, *end);

    auto h = Header(1, 40, 0, 0, FrameKindCopy); // copies have no 64-byte minimum
    h.time = {20, 26, 12, 10, 13, 1, 40};
    Push(h, Bytes(40, 1));
    view.RunPending();
    EXPECT_EQ(view.Take(), std::vector<std::string>{"copy 2026/12/10 13:01:40 COPYING(33%)"});

    h.frameId = 2;
    h.time = {0, 26, 12, 10, 13, 2, 0}; // zero date bytes: labels unchanged, still written
    Push(h, Bytes(40, 1));
    h.frameId = 3;
    h.time = {20, 26, 13, 10, 13, 2, 0}; // month 13: not a date, not written
    Push(h, Bytes(40, 1));
    view.RunPending();
    EXPECT_TRUE(view.Take().empty());
    EXPECT_TRUE(view.shown.empty());
    EXPECT_EQ(writer.records.size(), 2u);

    core.SetCopySpan(*start, *start);
    h.frameId = 4;
    h.time = {20, 26, 12, 10, 13, 0, 0};
    Push(h, Bytes(40, 1));
    view.RunPending();
    EXPECT_EQ(view.Take(), std::vector<std::string>{"copy 2026/12/10 13:00:00 COPYING(100%)"});

    Feed(core, {MakePacket(DvrCmdCopyEnd, 0, {})});
    EXPECT_EQ(view.Take(), (std::vector<std::string>{"msg Copy Completed...", "copy panel hidden", "toolbar"}));
    EXPECT_FALSE(core.IsCopying());
    EXPECT_EQ(writer.closes, 1);
}

TEST_F(Record, FailedCopyAppendEndsTheCopy)
{
    core.StartNetCopy("Copy/x.dvr");
    view.Take();
    writer.failAppend = true;
    Push(Header(1, 40, 0, 0, FrameKindCopy), Bytes(40, 1));
    view.RunPending();
    EXPECT_EQ(view.Take(), (std::vector<std::string>{"copy 2026/12/10 13:14:15 COPYING(100%)", "copy panel hidden",
                                                     "msg Save File Error", "toolbar"}));
    core.EndNetCopy();
    EXPECT_EQ(view.Take(), std::vector<std::string>{"copy panel hidden"}); // no "Copy Completed..."
}

TEST_F(Record, HostilePartsAreDropped)
{
    core.StartRecord("Save/x.dvr");
    const auto part0 = Bytes(100, 1);
    auto h = Header(1, 100);
    // Part numbers 3..7 name no stream.
    for (uint8_t p = 3; p < 8; ++p) {
        Feed(core, {MakePacket(DvrCmdRecord, uint8_t(DvrFlagPartFirst | p), Bytes(10, 0)),
                    MakePacket(DvrCmdRecord, uint8_t(DvrFlagPartEnd | p), {10, 0, 0, 0, 1})});
    }
    // A short part end and a short header carry nothing.
    Feed(core, {MakePacket(DvrCmdRecord, DvrFlagPartEnd, {1, 2}),
                MakePacket(DvrCmdRecord, DvrFlagRecordHeader, Bytes(127, 0))});
    Push(h, part0);
    EXPECT_EQ(view.shown.size(), 1u);

    // A part that grows past its limit is dropped until its next first chunk.
    const std::vector<uint8_t> chunk(kMaxPayload, 0x33);
    Feed(core, {MakePacket(DvrCmdRecord, DvrFlagPartFirst, chunk)});
    for (size_t n = chunk.size(); n <= DvrWinCore::kMaxPartSize; n += chunk.size())
        Feed(core, {MakePacket(DvrCmdRecord, DvrFlagPart, chunk)});
    h.frameId = 2;
    Feed(core, {MakePacket(DvrCmdRecord, DvrFlagPartEnd, {0, 0, 0, 0, 2})});
    Feed(core, {MakePacket(DvrCmdRecord, DvrFlagRecordHeader, [&] {
                    auto b = h.ToBytes();
                    return std::vector<uint8_t>(b.begin(), b.end());
                }())});
    EXPECT_EQ(view.shown.size(), 1u);
    h.frameId = 3;
    Push(h, part0);
    EXPECT_EQ(view.shown.size(), 2u);
    EXPECT_EQ(writer.records.size(), 2u);
}

TEST_F(Record, WriterWhoseFileCannotBeCreatedIsNotKept)
{
    writer.failCreate = true;
    EXPECT_FALSE(core.StartRecord("Save/x.dvr"));
    EXPECT_FALSE(core.IsRecording());
    EXPECT_FALSE(core.StartNetCopy("Copy/x.dvr"));
    EXPECT_EQ(view.Take(), (std::vector<std::string>{"msg Save File Error", "msg Save File Error"}));
    Push(Header(1, 100, 0, 0, FrameKindCopy), Bytes(100, 1));
    Feed(core, {MakePacket(DvrCmdCopyEnd, 0, {})});
    EXPECT_EQ(view.Take(), (std::vector<std::string>{"copy panel hidden", "toolbar"})); // no "Copy Completed..."
    EXPECT_TRUE(writer.records.empty());
}
