// The local players against a recording view: golden packet traces for scripted commands.
#include "storetestutil.h"

#include "platform/endian.h"
#include "platform/settings.h"
#include "viewer/store/dvrlocal.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace strandel {
namespace {

using test::TimeAt;

void EnsureApp()
{
    static int argc = 1;
    static char name[] = "store_tests";
    static char *argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}

std::string Hex(const uint8_t *p, int n)
{
    std::string s;
    char buf[4];
    for (int i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, i ? " %02x" : "%02x", p[i]);
        s += buf;
    }
    return s;
}

// Records what the player answers, one line per packet.
struct FakeView : DvrViewLink {
    void OnConnected() override { trace.push_back("connected"); }
    void OnDisconnected() override { trace.push_back("disconnected"); }
    void ShowMessageText(const std::string &text) override { trace.push_back("msg " + text); }
    bool IsConnected() const override { return true; }
    void OnPacket(const PacketHeader &h, const uint8_t *p) override
    {
        char head[32];
        std::snprintf(head, sizeof head, "%d/%02x", h.cmd, h.flag);
        if (h.cmd == 3 && h.flag == 0x80) {
            trace.push_back(std::string(head) + " ch" + std::to_string(p[0]) + " @" +
                            std::to_string(test::SecondsOf(p + 37)) + " kind" + std::to_string(p[34]));
        } else if ((h.cmd == 3 && (h.flag & 0x20) == 0) || h.length > 20) {
            trace.push_back(std::string(head) + " n=" + std::to_string(h.length));
        } else {
            std::string line = head;
            if (h.length) {
                line += ' ';
                line += Hex(p, h.length);
            }
            trace.push_back(line);
        }
        last.assign(p, p + h.length);
    }
    std::vector<std::string> Take() { return std::exchange(trace, {}); }

    std::vector<std::string> trace;
    std::vector<uint8_t> last;
};

void Command(CDvrLocal &player, uint8_t cmd, const std::vector<uint8_t> &payload)
{
    player.Send(cmd, 0, payload.data(), int(payload.size()));
    player.OnQueueTimer();
}

std::vector<uint8_t> PlayTime(uint8_t channel, int seconds)
{
    std::vector<uint8_t> p{2, 0, channel};
    const auto t = TimeAt(seconds);
    p.insert(p.end(), t.begin(), t.end());
    return p;
}

class LocalPlayer : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureApp();
        SetSettingsFilePath(dir.filePath("settings.ini"));
    }
    void TearDown() override { SetSettingsFilePath(QString()); }
    std::string Path(const char *name) { return dir.filePath(name).toStdString(); }

    // Three JPEG-like records of channel 1, 2, 1 at seconds 0, 1, 2 (5000 bytes, 10, 10).
    std::string Recording()
    {
        const std::string path = Path("rec.dvr");
        DvrStoreContext w;
        w.channelCount = 4;
        EXPECT_TRUE(StoreCreateFile(&w, path));
        for (int i = 0; i < 3; ++i) {
            test::TestRecord r;
            r.ch1 = uint8_t(1 + i % 2);
            r.time = TimeAt(i);
            r.data = test::RecordData(i, i == 0 ? 5000 : 10);
            auto h = test::RecordHeader(r);
            h[32] = uint8_t(0x40 + i); // frame id
            EXPECT_TRUE(StoreAppendRecord(&w, h.data(), r.data.data()));
        }
        EXPECT_TRUE(StoreCloseFile(&w));
        return path;
    }

    QTemporaryDir dir;
    FakeView view;
};

TEST_F(LocalPlayer, FilePlaysAScriptedSession)
{
    CDvrFile player(&view);
    int channels = -1, video = -1;
    player.SetHooks({[&](int c, uint8_t v) { channels = c, video = v; }, nullptr, nullptr});
    DvrListRecord record;
    ASSERT_TRUE(player.Init(&record));
    ASSERT_TRUE(player.Connect());
    Command(player, 1, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    const std::string path = Recording();
    std::vector<uint8_t> playFile{7};
    playFile.insert(playFile.end(), path.begin(), path.end());
    playFile.push_back(0);
    Command(player, 7, playFile);
    EXPECT_EQ(channels, 4);
    EXPECT_EQ(video, 0);
    Command(player, 7, PlayTime(0, 0));
    EXPECT_TRUE(player.PlayTimerActive());
    EXPECT_EQ(player.PlayInterval(), 20);
    for (int i = 0; i < 3 && player.PlayTimerActive(); ++i)
        player.OnPlayTimer();

    const std::vector<std::string> golden = {
        "connected",
        "1/00 01 00 00 00 00 00 00 00 00", // the full 9-byte login answer
        "7/00 1e 00 00 00 00 00 00 00",
        "7/00 1e 01 01 01 1f 00 00 00",
        "3/40 n=1024", "3/00 n=1024", "3/00 n=1024", "3/00 n=1024", "3/00 n=904",
        "3/20 88 13 00 00 40", "3/80 ch1 @0 kind1",
        "3/40 n=10", "3/20 0a 00 00 00 41", "3/80 ch2 @1 kind1",
        "3/40 n=10", "3/20 0a 00 00 00 42", "3/80 ch1 @2 kind1",
        "7/00 1e 00 01 01 1f 00 00 00",
        "7/00 09 00 01 01 1f 00 00 00",
    };
    EXPECT_EQ(view.Take(), golden);
    EXPECT_FALSE(player.PlayTimerActive());

    player.Close();
    EXPECT_FALSE(player.FileOpen());
}

TEST_F(LocalPlayer, FilePauseStepAndDirection)
{
    CDvrFile player(&view);
    ASSERT_TRUE(player.Init(nullptr));
    // A play request without a file still answers (paused, so only the direction is taken).
    Command(player, 7, {30, 1, 0, 0, 31});
    EXPECT_EQ(view.Take(), std::vector<std::string>{"7/00 1e 00 00 00 1f 00 00 00"});

    const std::string path = Recording();
    std::vector<uint8_t> playFile{7};
    playFile.insert(playFile.end(), path.begin(), path.end());
    Command(player, 7, playFile); // no NUL: the payload's end ends the path
    ASSERT_TRUE(player.FileOpen());
    Command(player, 7, PlayTime(0, 1));
    view.Take();
    Command(player, 7, {30, 0, 0, 0, 31}); // pause
    EXPECT_FALSE(player.PlayTimerActive());
    // Play with a new direction while paused: only the direction changes.
    Command(player, 7, {30, 1, 0, 0, 32});
    EXPECT_EQ(view.Take(), (std::vector<std::string>{"7/00 1e 00 00 00 1f 00 00 00", "7/00 1e 00 00 00 20 00 00 00"}));
    EXPECT_FALSE(player.PlayTimerActive());

    // Pause while paused plays exactly one record, answering the state twice.
    Command(player, 7, {30, 0, 0, 0, 32});
    EXPECT_TRUE(player.PlayTimerActive());
    player.OnPlayTimer();
    const std::vector<std::string> golden = {
        "7/00 1e 01 00 00 20 00 00 00",
        "3/40 n=10", "3/20 0a 00 00 00 41", "3/80 ch2 @1 kind1",
        "7/00 1e 00 00 00 20 00 00 00",
    };
    EXPECT_EQ(view.Take(), golden);
    EXPECT_FALSE(player.PlayTimerActive());
}

TEST_F(LocalPlayer, PlayAndBackReturnToNormalSpeedWhenTheyTurn)
{
    // A picture of channel 1 each second, 0..7: at normal speed every one is played, at twice
    // the rate every second one.
    const std::string path = Path("seconds.dvr");
    DvrStoreContext w;
    w.channelCount = 1;
    ASSERT_TRUE(StoreCreateFile(&w, path));
    for (int i = 0; i < 8; ++i) {
        test::TestRecord r;
        r.time = TimeAt(i);
        r.data = test::RecordData(i, 10);
        auto h = test::RecordHeader(r);
        ASSERT_TRUE(StoreAppendRecord(&w, h.data(), r.data.data()));
    }
    ASSERT_TRUE(StoreCloseFile(&w));

    // Each row: the buttons pressed while playing from second 5, the status the last one
    // answers, and the seconds of the next three records played; at normal speed one a tick.
    struct Case {
        const char *name;
        std::vector<std::vector<uint8_t>> presses;
        std::string status;
        std::vector<int> seconds;
    };
    const Case cases[] = {
        {"back after fast", {{30, 1, 1, 0, 31}, {30, 1, 0, 0, 32}}, "7/00 1e 01 00 00 20 00 00 00", {5, 4, 3}},
        {"back after slow", {{30, 1, 0, 1, 31}, {30, 1, 0, 0, 32}}, "7/00 1e 01 00 00 20 00 00 00", {5, 4, 3}},
        {"fast back turns only", {{30, 1, 1, 0, 31}, {30, 1, 1, 0, 32}}, "7/00 1e 01 02 00 20 00 00 00", {4, 2, 0}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CDvrFile player(&view);
        ASSERT_TRUE(player.Init(nullptr));
        std::vector<uint8_t> playFile{7};
        playFile.insert(playFile.end(), path.begin(), path.end());
        Command(player, 7, playFile);
        Command(player, 7, PlayTime(1, 5));
        for (const auto &p : c.presses)
            Command(player, 7, p);
        EXPECT_EQ(view.Take().back(), c.status);
        std::vector<int> seconds;
        for (int i = 0; i < 3; ++i) {
            player.OnPlayTimer();
            for (const std::string &line : view.Take())
                if (line.rfind("3/80 ", 0) == 0)
                    seconds.push_back(std::stoi(line.substr(line.find('@') + 1)));
        }
        EXPECT_EQ(seconds, c.seconds);
        EXPECT_EQ(player.PlayInterval(), 20); // slow play would stretch the tick
    }
}

TEST_F(LocalPlayer, FileThatCannotBeReadIsClosed)
{
    CDvrFile player(&view);
    ASSERT_TRUE(player.Init(nullptr));
    int calls = 0;
    player.SetHooks({[&](int, uint8_t) { ++calls; }, nullptr, nullptr});
    Command(player, 7, {7, '/', 'n', 'o', 0});
    EXPECT_FALSE(player.FileOpen());
    const std::string path = Recording();
    std::vector<uint8_t> playFile{7};
    playFile.insert(playFile.end(), path.begin(), path.end());
    Command(player, 7, playFile);
    Command(player, 7, PlayTime(9, 0)); // no such channel: the file closes, nothing plays
    EXPECT_FALSE(player.FileOpen());
    EXPECT_FALSE(player.PlayTimerActive());
    EXPECT_EQ(calls, 1);
}

class LocalDisk : public LocalPlayer {
protected:
    // Blocks 0 and 1 with two units of two records each, starting at `first` seconds.
    std::string Disk(const char *name, int first, bool recorded = true)
    {
        test::DiskImage img(Path(name), 1000000);
        int g = first;
        for (int b = 0; b < 2; ++b) {
            std::vector<std::vector<test::TestRecord>> units(2);
            for (auto &u : units) {
                for (int r = 0; r < 2; ++r, ++g) {
                    test::TestRecord rec;
                    rec.ch1 = uint8_t(1 + g % 2);
                    rec.time = TimeAt(g);
                    rec.data = test::RecordData(g, 100);
                    u.push_back(rec);
                }
            }
            img.WriteBlock(b, units);
        }
        img.FinishSubBlocks();
        if (recorded) {
            PutLe32(img.Header() + DiskHeader::kStartLba, img.BlockLba(0));
            PutLe32(img.Header() + DiskHeader::kEndLba, img.BlockLba(1));
            PutLe32(img.Header() + DiskHeader::kNewestSequence, 2);
            img.WriteEvent(0, 1, 1, TimeAt(first + 2), 1, 0, 0, 2);
            PutLe32(img.Header() + DiskHeader::kEventRing + 4, 1);
        }
        std::memcpy(img.Header() + DiskHeader::kFirstTime, TimeAt(first).data(), 7);
        std::memcpy(img.Header() + DiskHeader::kLastTime, TimeAt(g - 1).data(), 7);
        img.WriteHeader();
        return img.Path();
    }
};

TEST_F(LocalDisk, PicksAmongTheDisksFound)
{
    const std::string a = Disk("a.img", 0), b = Disk("b.img", 100);
    RegWriteString("HddDrives", QString::fromStdString(a + ";" + Path("none.img") + ";" + b));
    CDvrHdd player(&view);
    std::vector<std::string> shown;
    player.SetHooks({nullptr, nullptr, [&](const std::vector<std::string> &lines) {
                         shown = lines;
                         return 1;
                     }});
    DvrListRecord record;
    ASSERT_TRUE(player.Init(&record));
    EXPECT_EQ(shown, (std::vector<std::string>{"HDD 0 : 2026/12/10  12:00:00 - 2026/12/10  12:00:07",
                                               "HDD 2 : 2026/12/10  12:01:40 - 2026/12/10  12:01:47"}));
    EXPECT_EQ(record.driveNumber, 2);
    Command(player, 1, {});
    Command(player, 14, {0});
    EXPECT_EQ(view.Take(), (std::vector<std::string>{"1/00 01 10 01 00 00 00 00 00 00", "10/00 ff ff", "14/00 n=394"}));
    EXPECT_EQ(0, std::memcmp(view.last.data() + DiskHeader::kFirstTime, TimeAt(100).data(), 7));

    // Cancelled: no connection.
    CDvrHdd other(&view);
    other.SetHooks({nullptr, nullptr, [](const std::vector<std::string> &) { return -1; }});
    EXPECT_FALSE(other.Init(&record));
}

TEST_F(LocalDisk, NoDiskFound)
{
    RegWriteString("HddDrives", QString::fromStdString(Path("none.img")));
    CDvrHdd player(&view);
    EXPECT_FALSE(player.Init(nullptr));
    EXPECT_EQ(view.Take(), std::vector<std::string>{"msg Cannot Find DVR Hdd"});
}

// A disk that is there but may not be read is named in the message. The search runs in a child
// as an unprivileged user, since root reads any file.
TEST_F(LocalDisk, UnreadableDiskIsNamed)
{
    const std::string locked = Disk("locked.img", 0);
    ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
    ASSERT_EQ(::chmod(dir.path().toLocal8Bit().constData(), 0755), 0);
    RegWriteString("HddDrives", QString::fromStdString(Path("none.img") + ";" + locked));
    ::chmod(SettingsFilePath().toLocal8Bit().constData(), 0644);
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(out[0]);
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(2);
        CDvrHdd player(&view);
        const bool opened = player.Init(nullptr);
        const auto shown = view.Take();
        const std::string text = opened ? "opened" : shown.empty() ? "nothing" : shown[0];
        [[maybe_unused]] ssize_t n = ::write(out[1], text.data(), text.size());
        ::_exit(0);
    }
    ::close(out[1]);
    std::string text;
    char buf[512];
    for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;)
        text.append(buf, size_t(n));
    ::close(out[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(text, "msg Cannot Find DVR Hdd (no permission to read " + locked + ")");
}

TEST_F(LocalDisk, SearchesAndPlaysABlock)
{
    RegWriteString("HddDrives", QString::fromStdString(Disk("a.img", 0) + ";" + Disk("empty.img", 50, false)));
    CDvrHdd player(&view);
    ASSERT_TRUE(player.Init(nullptr)); // no picker: the first disk
    auto search = [&](uint8_t channel, uint8_t mask) {
        std::vector<uint8_t> p{0, channel, mask};
        const auto t = TimeAt(1000);
        p.insert(p.end(), t.begin(), t.end());
        Command(player, 15, p);
        return view.Take();
    };
    EXPECT_EQ(search(0, 0xFF), std::vector<std::string>{"15/00 01 01 14 1a 0c 0a 0c 00 02 00 00 00 0b b0 00 00 02 00 00 00"});
    EXPECT_TRUE(search(2, 0xFF).empty()); // nothing matches: no answer

    // Play from block 1: four records, then the end of the data.
    std::vector<uint8_t> block(19, 0);
    block[0] = 4;
    PutLe32(block.data() + 1 + BlockEntry::kPlayLba, 5067 + 40000);
    Command(player, 7, block);
    EXPECT_EQ(player.PlayInterval(), 5);
    for (int i = 0; i < 10 && player.PlayTimerActive(); ++i)
        player.OnPlayTimer();
    const std::vector<std::string> golden = {
        "7/00 1e 01 01 01 1f 00 00 00",
        "3/40 n=100", "3/20 64 00 00 00 00", "3/80 ch1 @4 kind1",
        "3/40 n=100", "3/20 64 00 00 00 00", "3/80 ch2 @5 kind1",
        "3/40 n=100", "3/20 64 00 00 00 00", "3/80 ch1 @6 kind1",
        "3/40 n=100", "3/20 64 00 00 00 00", "3/80 ch2 @7 kind1",
        "7/00 1e 00 01 01 1f 00 00 00",
        "7/00 09 00 01 01 1f 00 00 00",
    };
    EXPECT_EQ(view.Take(), golden);
    EXPECT_EQ(player.PlayInterval(), 20);

    // A disk on which nothing was ever recorded answers one empty event reply.
    RegWriteString("HddDrives", QString::fromStdString(Path("empty.img")));
    CDvrHdd empty(&view);
    ASSERT_TRUE(empty.Init(nullptr));
    std::vector<uint8_t> p{0, 0, 0xFF};
    const auto t = TimeAt(1000);
    p.insert(p.end(), t.begin(), t.end());
    Command(empty, 15, p);
    EXPECT_EQ(view.Take(), std::vector<std::string>{"15/00"});
}

// Random commands with short, long and garbage payloads: answered or ignored, never read past.
TEST_F(LocalDisk, RandomCommandsAreSafe)
{
    RegWriteString("HddDrives", QString::fromStdString(Disk("a.img", 0)));
    const std::string path = Recording();
    CDvrHdd disk(&view);
    CDvrFile file(&view);
    ASSERT_TRUE(disk.Init(nullptr));
    ASSERT_TRUE(file.Init(nullptr));
    std::vector<uint8_t> playFile{7};
    playFile.insert(playFile.end(), path.begin(), path.end());
    Command(file, 7, playFile);
    // The answer to a login before the noise; the same must come after it.
    auto login = [&](CDvrLocal &p) {
        view.Take();
        Command(p, 1, {});
        const auto replies = view.Take();
        return replies.empty() ? std::string() : replies[0];
    };
    const std::string diskLogin = login(disk), fileLogin = login(file);
    ASSERT_EQ(diskLogin.substr(0, 5), "1/00 ");
    ASSERT_EQ(fileLogin.substr(0, 5), "1/00 ");
    uint32_t seed = 99;
    auto next = [&] { return seed = seed * 1664525u + 1013904223u, seed >> 8; };
    for (int i = 0; i < 3000; ++i) {
        std::vector<uint8_t> payload(next() % 40);
        for (auto &b : payload)
            b = uint8_t(next());
        if (!payload.empty() && next() % 2)
            payload[0] = uint8_t(std::vector<int>{2, 3, 4, 7, 8, 30}[next() % 6]);
        const uint8_t cmd = uint8_t(next() % 20);
        if (cmd == 7 && !payload.empty() && payload[0] == 7)
            continue; // a random path could name any file
        CDvrLocal &player = next() % 2 ? static_cast<CDvrLocal &>(disk) : file;
        Command(player, cmd, payload);
        if (player.PlayTimerActive())
            player.OnPlayTimer();
        view.Take();
        // Whatever came before, both players still answer a login as on the first day.
        if (i % 500 == 499) {
            EXPECT_EQ(login(disk), diskLogin) << i;
            EXPECT_EQ(login(file), fileLogin) << i;
        }
    }
}

} // namespace
} // namespace strandel
