#include <gtest/gtest.h>

#include <QCoreApplication>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/debuglog.h"
#include "platform/events.h"
#include "protocol_fakes.h"

using namespace strandel;
using namespace strandel::test;

namespace {

class Dispatch : public ::testing::Test {
protected:
    void SetUp() override { core.SetConnection(&sender); }

    void LogIn(uint8_t channels = 16, uint8_t video = 0x01)
    {
        Feed(core, {MakePacket(DvrCmdLogin, 0, {DvrLoginMaster, channels, video, 1, 2, 3, 4, 5, 0xAB})});
        view.Take();
    }
    void OpenAllDialogs()
    {
        auto &d = core.Dialogs();
        d = {&dialogs, &dialogs, &dialogs, &dialogs, &dialogs, &dialogs, &dialogs, &dialogs};
    }

    FakeView view;
    FakeSender sender;
    FakeWriterState writer;
    FakeDialogs dialogs;
    DvrWinCore core{view, FakeWriterFactory(writer)};
};

std::vector<uint8_t> Filled(size_t n, uint8_t last = 0x5A)
{
    std::vector<uint8_t> v(n, 0x11);
    if (n)
        v.back() = last;
    return v;
}

} // namespace

TEST_F(Dispatch, SendPathFramesUploadsAndRequests)
{
    const auto record = Filled(kDvrEnvRecordSize);
    ASSERT_TRUE(core.SendUpload(DvrCmdEnvSet, record.data(), record.size()));
    ASSERT_EQ(sender.sent.size(), 12u);
    EXPECT_EQ(sender.sent.front().header.flag, DvrFlagBlockBegin);
    EXPECT_TRUE(sender.sent.front().payload.empty());
    std::vector<uint8_t> joined;
    for (size_t i = 1; i <= 10; ++i) {
        const auto &p = sender.sent[i];
        EXPECT_EQ(p.header.flag, DvrFlagNone);
        EXPECT_EQ(p.payload.size(), i < 10 ? 1000u : 638u);
        joined.insert(joined.end(), p.payload.begin(), p.payload.end());
    }
    EXPECT_EQ(joined, record);
    EXPECT_EQ(sender.sent.back().header.flag, DvrFlagBlockEnd);
    EXPECT_TRUE(sender.sent.back().payload.empty());
    for (const auto &p : sender.sent)
        EXPECT_EQ(p.header.cmd, DvrCmdEnvSet);

    sender.sent.clear();
    core.SendLogin("", "secret");
    core.SendPlayPos(3, 77);
    ASSERT_EQ(sender.sent.size(), 2u);
    EXPECT_EQ(sender.sent[0].payload, BuildLogin("", "secret"));
    EXPECT_EQ(sender.sent[1].header.cmd, DvrCmdPlay);
    EXPECT_EQ(sender.sent[1].payload.size(), 9u);

    core.SetConnection(nullptr);
    EXPECT_FALSE(core.SendCommand(DvrCmdAlive, nullptr, 0));
    EXPECT_EQ(sender.sent.size(), 2u);
}

TEST_F(Dispatch, FailedUploadPartSendsNoEndMark)
{
    sender.failAfter = 3; // begin mark and two parts go out
    const auto record = Filled(kTitleBitmapsSize);
    EXPECT_FALSE(core.SendUpload(DvrCmdTitleSet, record.data(), record.size()));
    ASSERT_EQ(sender.sent.size(), 3u);
    EXPECT_NE(sender.sent.back().header.flag, DvrFlagBlockEnd);
}

// A connection being replaced waits for the send that is using it.
TEST_F(Dispatch, ReplacingConnectionWaitsForSendInProgress)
{
    struct SlowSender : CDvrBase {
        SlowSender() : CDvrBase(nullptr) {}
        std::atomic<bool> entered{false}, release{false};
        bool Send(uint8_t, uint8_t, const uint8_t *, int) override
        {
            entered = true;
            while (!release)
                std::this_thread::yield();
            return true;
        }
    } slow;
    core.SetConnection(&slow);
    std::thread sending([&] { core.SendCommand(DvrCmdAlive, nullptr, 0); });
    while (!slow.entered)
        std::this_thread::yield();
    std::atomic<bool> replaced{false};
    std::thread closing([&] {
        core.SetConnection(nullptr);
        replaced = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(replaced);
    slow.release = true;
    sending.join();
    closing.join();
    EXPECT_TRUE(replaced);
}

TEST_F(Dispatch, PacketsBeforeLoginOrWithoutConnectionAreDropped)
{
    OpenAllDialogs();
    Feed(core, {MakePacket(DvrCmdStatus, 0, Filled(kDvrStatusRecordSize))});
    EXPECT_TRUE(dialogs.Take().empty());
    Feed(core, {MakePacket(DvrCmdLogin, 0, {1, 4, 0})}); // short login answer
    EXPECT_FALSE(core.IsLoggedIn());
    LogIn(4, 0x21);
    EXPECT_TRUE(core.IsLoggedIn());
    EXPECT_TRUE(core.IsMasterLogin());
    EXPECT_EQ(core.GetChannelCount(), 4);
    EXPECT_EQ(core.GetModel(), 2);
    EXPECT_TRUE(core.IsNtsc());
    core.SetConnection(nullptr);
    Feed(core, {MakePacket(DvrCmdStatus, 0, Filled(kDvrStatusRecordSize))});
    EXPECT_TRUE(dialogs.Take().empty());
}

TEST_F(Dispatch, RefusedLoginAsksForPasswordAfterHandOver)
{
    view.password = "1234";
    core.SendLogin("admin", "");
    Feed(core, {MakePacket(DvrCmdLogin, 0, {0, 0, 0, 0, 0, 0, 0, 0, 0})});
    EXPECT_TRUE(view.Take().empty()); // no modal dialog inside the hand-over
    view.RunPending();
    EXPECT_EQ(view.Take(), std::vector<std::string>{"password dialog"});
    ASSERT_EQ(sender.sent.size(), 2u);
    EXPECT_EQ(sender.sent[1].payload, BuildLogin("", "1234"));

    // The typed password refused: the prompt says so.
    view.password.reset();
    Feed(core, {MakePacket(DvrCmdLogin, 0, {0xFF, 0, 0, 0, 0, 0, 0, 0, 0})});
    view.RunPending();
    EXPECT_EQ(view.Take(), (std::vector<std::string>{"password dialog: Password is incorrect", "close"}));

    core.SendLogin("admin", "");
    Feed(core, {MakePacket(DvrCmdLogin, 0, {DvrLoginMasterBusy, 4, 0, 0, 0, 0, 0, 0, 0})});
    view.RunPending();
    EXPECT_EQ(view.Take(), (std::vector<std::string>{"box Master is connected", "close"}));
    EXPECT_FALSE(core.IsLoggedIn());
}

// A recorder that sends answers nobody asked for, as fast as it likes: no dialog and no queued
// call comes of them; an answer to a request opens one dialog, and never one over another.
TEST_F(Dispatch, RepliesThatOpenDialogsCountOnlyAsTheAnswerToTheirRequest)
{
    const Packet refused = MakePacket(DvrCmdLogin, 0, {DvrLoginDenied, 0, 0, 0, 0, 0, 0, 0, 0});
    const Packet busy = MakePacket(DvrCmdLogin, 0, {DvrLoginMasterBusy, 4, 0, 0, 0, 0, 0, 0, 0});
    const Packet log = MakePacket(DvrCmdLogDownload, 0, Filled(kLogEntrySize));
    const Packet setup = MakePacket(DvrCmdEnvPassword, 0, {2});
    const Packet envSet = MakePacket(DvrCmdEnvSet, 0, {0});
    const Packet titleSet = MakePacket(DvrCmdTitleSet, 0, {1});
    LogIn();
    std::vector<std::string> lines;
    SetDebugSink([&](const std::string &l) { lines.push_back(l); });
    for (int i = 0; i < 1000; ++i)
        Feed(core, {refused, busy, log, setup, envSet, titleSet});
    EXPECT_TRUE(view.pending.empty());
    EXPECT_TRUE(view.Take().empty());
    EXPECT_EQ(lines.size(), 6000u); // each said in the debug log
    EXPECT_NE(lines.back().find("nobody asked for"), std::string::npos);

    // One request, one dialog, however many answers come.
    view.logFileName.reset();
    core.SendCommand(DvrCmdLogDownload, nullptr, 0);
    for (int i = 0; i < 1000; ++i)
        Feed(core, {log});
    EXPECT_EQ(view.pending.size(), 1u);
    // While it waits to run (or runs), an asked-for refusal opens no second dialog over it.
    core.SendLogin("", "x");
    Feed(core, {refused});
    EXPECT_EQ(view.pending.size(), 1u);
    view.RunPending();
    EXPECT_EQ(view.Take(), std::vector<std::string>{"save dialog"});
    // Once it is over, the next request opens its dialog again.
    core.SendLogin("", "x");
    Feed(core, {refused, refused});
    view.RunPending();
    EXPECT_EQ(view.Take(), (std::vector<std::string>{"password dialog", "close"}));

    // A request that did not go out leaves nothing outstanding.
    sender.failAfter = 0;
    EXPECT_FALSE(core.SendCommand(DvrCmdLogDownload, nullptr, 0));
    Feed(core, {log});
    EXPECT_TRUE(view.pending.empty());
    // Nor does a lost link.
    sender.failAfter = -1;
    core.SendCommand(DvrCmdLogDownload, nullptr, 0);
    core.OnDisconnected();
    Feed(core, {log});
    EXPECT_TRUE(view.pending.empty());
    SetDebugSink({});
}

TEST_F(Dispatch, RepliesReachTheirHandlers)
{
    LogIn();
    OpenAllDialogs();
    std::vector<uint8_t> recTime = {INFO_RECTIME, 7, 0, 0, 0, 100, 0, 0, 0};
    for (uint8_t b : {20, 26, 12, 10, 13, 14, 15, 20, 26, 12, 10, 14, 0, 0})
        recTime.push_back(b);
    using V = std::vector<std::string>;
    const std::vector<uint8_t> hdd = Filled(kHddMapSize, 0x0F);
    struct Case {
        const char *name;
        uint8_t cmd;
        std::vector<uint8_t> payload;
        V view;
        V dialogs;
        bool asked = false; // the request this reply answers was sent first
    } cases[] = {
        {"audio while receive is off", DvrCmdAudio, Filled(256), {}, {}},
        {"no data", DvrCmdPlay, {PLAY_NODATA}, {"msg No Data"}, {}},
        {"play end", DvrCmdPlay, {PLAY_END}, {"track end", "state ||", "msg Completed", "toolbar"}, {}},
        {"play state", DvrCmdPlay, {PT_PLAY, 1, 4, 0, 31}, {"state >", "toolbar", "panel hidden"}, {}},
        {"short play state", DvrCmdPlay, {PT_PLAY, 1, 4}, {}, {}},
        {"other play code", DvrCmdPlay, {5}, {"panel hidden"}, {}},
        {"empty play", DvrCmdPlay, {}, {}, {}},
        {"record time", DvrCmdPlayInfo, recTime, {"range 7 100", "times 2026/12/10  13:14:15 - 2026/12/10  14:00:00"}, {}},
        {"short record time", DvrCmdPlayInfo, {recTime.begin(), recTime.end() - 1}, {}, {}},
        {"play position", DvrCmdPlayInfo, {INFO_PLAYPOS, 7, 0, 0, 0, 42, 0, 0, 0}, {"pos 7 42"}, {}},
        {"short play position", DvrCmdPlayInfo, {INFO_PLAYPOS, 7, 0, 0, 0, 42, 0, 0}, {}, {}},
        {"channel mask", DvrCmdChannelMask, {0x01, 0x0F}, {"mask 271"}, {}},
        {"short channel mask", DvrCmdChannelMask, {0x01}, {}, {}},
        {"set-up record", DvrCmdEnvGet, Filled(kDvrEnvRecordSize), {"panel hidden"},
         {"env variant 0", "env model 1 16", "env record 1 90"}},
        {"set-up record short", DvrCmdEnvGet, Filled(kDvrEnvRecordSize - 1), {}, {}},
        {"set-up record ex", DvrCmdEnvGetEx, Filled(kDvrEnvRecordSize), {"panel hidden"},
         {"env variant 0", "env model 1 16", "env record 1 90"}},
        {"set-up sent", DvrCmdEnvSet, {1}, {"msgwin Success !!"}, {}, true},
        {"set-up refused", DvrCmdEnvSet, {0}, {"msgwin Fail !!"}, {}, true},
        {"set-up answer nobody asked for", DvrCmdEnvSet, {0}, {}, {}},
        {"set-up empty answer", DvrCmdEnvSet, {}, {}, {}},
        {"titles sent", DvrCmdTitleSet, {1}, {"msgwin Success !!"}, {}, true},
        {"titles refused", DvrCmdTitleSet, {7}, {"msgwin Fail !!"}, {}, true},
        {"titles answer nobody asked for", DvrCmdTitleSet, {0}, {}, {}},
        {"titles empty answer", DvrCmdTitleSet, {}, {}, {}},
        {"status", DvrCmdStatus, Filled(kDvrStatusRecordSize), {}, {"status"}},
        {"status short", DvrCmdStatus, Filled(kDvrStatusRecordSize - 1), {}, {}},
        {"disk index", DvrCmdDiskIndex, Filled(kDiskHeaderSize), {}, {"index"}},
        {"disk index empty", DvrCmdDiskIndex, {}, {}, {"search msg No Data"}},
        {"disk index short", DvrCmdDiskIndex, Filled(100), {}, {}},
        {"event", DvrCmdEventSearch, Filled(kEventEntrySize), {}, {"event 20"}},
        {"event short", DvrCmdEventSearch, Filled(kEventEntrySize - 1), {}, {}},
        {"block", DvrCmdBlockSearch, Filled(kBlockEntrySize), {}, {"block 18"}},
        {"block short", DvrCmdBlockSearch, Filled(kBlockEntrySize - 1), {}, {}},
        {"log", DvrCmdLogSearch, Filled(kLogEntrySize), {}, {"log 9"}},
        {"log short", DvrCmdLogSearch, Filled(kLogEntrySize - 1), {}, {}},
        {"upgrade", DvrCmdUpgrade, {3, 1}, {}, {"upgrade 3 2"}},
        {"upgrade empty", DvrCmdUpgrade, {}, {}, {}},
        {"disk map", DvrCmdDiskMap, hdd, {}, {"hddmap 15", "hddmap 15", "hddmap 15", "hddmap 15", "hddmap 15"}},
        {"disk map short", DvrCmdDiskMap, Filled(kHddMapSize - 1), {}, {}},
        {"copy end", DvrCmdCopyEnd, {}, {"copy panel hidden", "toolbar"}, {}},
        {"layouts", DvrCmdScreenLayouts, Filled(kScreenLayoutInfoSize, 0x3F), {"layouts 63"}, {}},
        {"layouts short", DvrCmdScreenLayouts, Filled(kScreenLayoutInfoSize - 1), {}, {}},
        {"password accepted", DvrCmdEnvPassword, {2},
         {"msg Waiting for DVR Environment Data...", "open setup"}, {}, true},
        {"password refused", DvrCmdEnvPassword, {1}, {"msg Incorrect Password..."}, {}, true},
        {"password answer nobody asked for", DvrCmdEnvPassword, {2}, {}, {}},
        {"password empty answer", DvrCmdEnvPassword, {}, {}, {}, true},
        {"log download nobody asked for", DvrCmdLogDownload, Filled(kLogEntrySize), {}, {}},
        {"unused number", 8, {1, 2, 3}, {}, {}},
        {"number above the table", 39, {1, 2, 3}, {}, {}},
        {"keep-alive echo", DvrCmdAlive, {}, {}, {}},
    };
    size_t asked = 0;
    for (const auto &c : cases) {
        if (c.asked) {
            ASSERT_TRUE(core.SendCommand(c.cmd, nullptr, 0));
            ++asked;
        }
        Feed(core, {MakePacket(c.cmd, 0, c.payload)});
        EXPECT_EQ(view.Take(), c.view) << c.name;
        EXPECT_EQ(dialogs.Take(), c.dialogs) << c.name;
        EXPECT_TRUE(view.pending.empty()) << c.name;
    }
    EXPECT_EQ(sender.sent.size(), asked);
}

// Set-up learns the standard from the view's own decision, so both show the same lines.
TEST_F(Dispatch, SetupTakesTheViewsNtscDecision)
{
    const struct {
        uint8_t video;
        bool ntsc;
    } cases[] = {{0x00, false}, {0x01, true}, {0x02, true}, {0x13, true}, {0x30, false}, {0x2F, true}};
    core.Dialogs().setup = &dialogs;
    for (const auto &c : cases) {
        SCOPED_TRACE(int(c.video));
        LogIn(16, c.video);
        EXPECT_EQ(core.IsNtsc(), c.ntsc);
        Feed(core, {MakePacket(DvrCmdEnvGet, 0, Filled(kDvrEnvRecordSize))});
        const auto calls = dialogs.Take();
        ASSERT_EQ(calls.size(), 3u);
        EXPECT_EQ(calls[1], std::string("env model ") + (c.ntsc ? "1" : "0") + " 16");
        view.Take();
    }
}

TEST_F(Dispatch, RepliesFollowModeModelAndOpenDialogs)
{
    LogIn(8, 0x30); // PAL, model 3
    core.SetModeState(DvrModePlayback);
    Feed(core, {MakePacket(DvrCmdPlay, 0, {PT_PLAY, 1, 4, 0, 31})});
    EXPECT_EQ(view.Take(), (std::vector<std::string>{"state >>4", "toolbar", "panel hidden"}));
    EXPECT_EQ(core.GetPlayStatus().fast, 4);

    core.Dialogs().setup = &dialogs;
    Feed(core, {MakePacket(DvrCmdEnvGetEx, 0, Filled(kDvrEnvRecordSize))});
    EXPECT_EQ(dialogs.Take(), (std::vector<std::string>{"env variant 3", "env model 0 8", "env record 1 90"}));
    view.Take();

    // Replies for closed dialogs are dropped; a disk index goes to the copy dialog when no
    // time search is open.
    core.Dialogs() = {};
    for (uint8_t cmd : {DvrCmdEnvGet, DvrCmdStatus, DvrCmdEventSearch, DvrCmdUpgrade, DvrCmdDiskMap})
        Feed(core, {MakePacket(cmd, 0, Filled(kDvrEnvRecordSize))});
    EXPECT_TRUE(dialogs.Take().empty());
    core.Dialogs().copy = &dialogs;
    Feed(core, {MakePacket(DvrCmdDiskIndex, 0, Filled(kDiskHeaderSize))});
    Feed(core, {MakePacket(DvrCmdDiskIndex, 0, {})});
    EXPECT_EQ(dialogs.Take(), std::vector<std::string>{"index"});

    core.SetAudioReceive(true);
    Feed(core, {MakePacket(DvrCmdAudio, 0, Filled(kAudioBlockSize))});
    EXPECT_EQ(view.Take(), std::vector<std::string>{"audio 256"});

    // Titles: one byte is the mode for all 16 panes, 2304 bytes are the bitmaps.
    Feed(core, {MakePacket(DvrCmdTitleGet, 0, {3})});
    EXPECT_EQ(view.titles, 16);
    EXPECT_EQ(view.lastTitle, std::make_tuple(15, -1, 3));
    core.Dialogs().setup = &dialogs;
    std::vector<uint8_t> titles(kTitleBitmapsSize);
    titles[15 * kTitleBitmapSize] = 0x77;
    core.HandlePacket(DvrCmdTitleGet, titles.data(), titles.size());
    EXPECT_EQ(view.titles, 32);
    EXPECT_EQ(view.lastTitle, std::make_tuple(15, 0x77, 0));
    EXPECT_EQ(dialogs.Take(), std::vector<std::string>{"env titles"});
    core.HandlePacket(DvrCmdTitleGet, titles.data(), 2);
    EXPECT_EQ(view.titles, 32);
}

TEST_F(Dispatch, DisconnectCancelsTheWaitingDialogs)
{
    struct Named : FakeDialogs {
        explicit Named(std::string n, std::vector<std::string> &log) : name(std::move(n)), out(log) {}
        void SetModalResult(int r) override { out.push_back(name + " " + std::to_string(r)); }
        std::string name;
        std::vector<std::string> &out;
    };
    std::vector<std::string> log;
    Named time("time", log), event("event", log), block("block", log), logs("logs", log), copy("copy", log),
        upgrade("upgrade", log), setup("setup", log), status("status", log);
    LogIn();
    core.Dialogs() = {&time, &event, &block, &logs, &copy, &upgrade, &setup, &status};
    core.OnDisconnected();
    EXPECT_FALSE(core.IsLoggedIn());
    EXPECT_EQ(log, (std::vector<std::string>{"time 2", "block 2", "upgrade 2", "setup 2"}));
}

TEST_F(Dispatch, SegmentedReplyIsDeliveredOnceAndOnlyWhole)
{
    LogIn();
    core.Dialogs().setup = &dialogs;
    const auto record = Filled(kDvrEnvRecordSize, 0x42);
    auto packets = SegmentedReply(DvrCmdEnvGet, record);
    ASSERT_EQ(packets.size(), 12u); // start, ten chunks, end
    Feed(core, packets);
    EXPECT_EQ(dialogs.Take(), (std::vector<std::string>{"env variant 0", "env model 1 16", "env record 1 66"}));

    auto lost = packets;
    lost.erase(lost.begin() + 4);
    Feed(core, lost);
    EXPECT_TRUE(dialogs.Take().empty());
    // The stream starts afresh after a bad transfer.
    Feed(core, packets);
    EXPECT_EQ(dialogs.Take().size(), 3u);
    // An end mark without its total drops the transfer.
    auto noTotal = packets;
    noTotal.back().payload.resize(3);
    noTotal.back().header.length = 3;
    Feed(core, noTotal);
    EXPECT_TRUE(dialogs.Take().empty());
}

TEST_F(Dispatch, SegmentedReplyKeepsLengthsAbove16BitsAndDropsOversize)
{
    LogIn();
    core.Dialogs().logSearch = &dialogs;
    Feed(core, SegmentedReply(DvrCmdLogSearch, Filled(8000 * kLogEntrySize)));
    EXPECT_EQ(dialogs.Take(), std::vector<std::string>{"log 72000"});

    const auto huge = Filled(DvrWinCore::kMaxSegmentedSize + kLogEntrySize);
    auto packets = SegmentedReply(DvrCmdLogSearch, huge);
    packets.pop_back();
    Feed(core, packets);
    EXPECT_TRUE(dialogs.Take().empty());
    // Data after an overflow is ignored until the next start mark, even if the total fits.
    Feed(core, {MakePacket(DvrCmdLogSearch, DvrFlagSegData, Filled(kLogEntrySize)),
                MakePacket(DvrCmdLogSearch, DvrFlagSegEnd, Le32Bytes(kLogEntrySize))});
    EXPECT_TRUE(dialogs.Take().empty());
    Feed(core, SegmentedReply(DvrCmdLogSearch, Filled(kLogEntrySize)));
    EXPECT_EQ(dialogs.Take(), std::vector<std::string>{"log 9"});
}

TEST_F(Dispatch, LogDownloadWritesTheNumberedLogFileAfterTheHandOver)
{
    LogIn();
    const uint8_t entries[27] = {
        5, 20, 26, 1, 2, 3, 4, 5, 0,     //
        12, 20, 26, 1, 2, 3, 4, 6, 0,    //
        13, 20, 26, 1, 2, 3, 4, 7, 0x99, //
    };
    const std::string path = testing::TempDir() + "strandel_log_download.txt";
    std::remove(path.c_str());
    view.logFileName = path;
    core.SendCommand(DvrCmdLogDownload, nullptr, 0);
    Feed(core, SegmentedReply(DvrCmdLogDownload, {entries, entries + 27}));
    EXPECT_TRUE(view.Take().empty()); // the save dialog waits for the hand-over to return
    view.RunPending();
    EXPECT_EQ(view.Take(), (std::vector<std::string>{"save dialog", "msg Log saved to " + path}));
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "1 2026/01/02 03:04:07 NET DISCONN \r\n"
                          "2 2026/01/02 03:04:06 NET CONNECT \r\n"
                          "3 2026/01/02 03:04:05 POWER ON    \r\n");

    std::remove(path.c_str());
    view.logFileName.reset();
    core.SendCommand(DvrCmdLogDownload, nullptr, 0);
    Feed(core, {MakePacket(DvrCmdLogDownload, 0, {entries, entries + 9})});
    view.RunPending();
    EXPECT_FALSE(std::ifstream(path).good());
}

// The TCP reader thread hands complete replies to the UI thread and waits for them.
TEST_F(Dispatch, ReaderThreadHandsRepliesToTheUiThread)
{
    TestApp();
    core.Dialogs().setup = &dialogs;
    std::atomic<bool> done{false};
    std::thread reader([&] {
        Feed(core, {MakePacket(DvrCmdLogin, 0, {DvrLoginSlave, 16, 0, 0, 0, 0, 0, 0, 0})});
        Feed(core, SegmentedReply(DvrCmdEnvGet, Filled(kDvrEnvRecordSize)));
        done = true;
    });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    reader.join();
    EXPECT_EQ(dialogs.Take().size(), 3u);
    EXPECT_EQ(dialogs.uiThread, std::this_thread::get_id());

    // Once the view stops its link, a waiting hand-over gives up instead of blocking.
    sender.Stop();
    std::thread stopped([&] { Feed(core, {MakePacket(DvrCmdStatus, 0, Filled(kDvrStatusRecordSize))}); });
    stopped.join();
    QCoreApplication::processEvents();
    EXPECT_TRUE(dialogs.Take().empty());
}

TEST(DispatchLifetime, QueuedWorkOfAClosedViewIsDropped)
{
    FakeView view;
    FakeSender sender;
    FakeWriterState writer;
    {
        DvrWinCore core(view, FakeWriterFactory(writer));
        core.SetConnection(&sender);
        core.SendLogin("", "");
        Feed(core, {MakePacket(DvrCmdLogin, 0, {0, 0, 0, 0, 0, 0, 0, 0, 0})});
        EXPECT_EQ(view.pending.size(), 1u);
    }
    view.RunPending();
    EXPECT_TRUE(view.Take().empty());
}

// A held send lock is reported when the wait runs long, and the sender keeps waiting for it.
TEST_F(Dispatch, SendWaitsForTheSendLockPastItsTimeOut)
{
    std::vector<std::string> log;
    std::mutex logMutex;
    SetDebugSink([&](const std::string &line) {
        std::lock_guard l(logMutex);
        log.push_back(line);
    });
    SetSharedLockReportInterval(10);
    TimedEvent &sendEvent = NamedEvent(kSendEventName);
    ASSERT_TRUE(sendEvent.Wait(0));
    std::atomic<bool> sent{false};
    std::thread sending([&] {
        core.SendCommand(DvrCmdAlive, nullptr, 0);
        sent = true;
    });
    auto reported = [&] {
        std::lock_guard l(logMutex);
        return std::any_of(log.begin(), log.end(),
                           [](const std::string &s) { return s.find("SendEvent not free") != std::string::npos; });
    };
    while (!reported())
        std::this_thread::yield();
    EXPECT_FALSE(sent);
    EXPECT_TRUE(sender.sent.empty());
    sendEvent.Set();
    sending.join();
    EXPECT_EQ(sender.sent.size(), 1u);
    SetSharedLockReportInterval(0);
    SetDebugSink({});
}
