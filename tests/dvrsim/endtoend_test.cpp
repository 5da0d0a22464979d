// The viewer's own links and protocol core against dvrsim: over loopback TCP and over a
// pseudo-terminal, with live, playback and copy pushes, long replies, uploads and wire faults.
#include "simtest.h"

#include "platform/endian.h"
#include "platform/jpeg.h"
#include "platform/settings.h"
#include "viewer/link/dvrlink.h"

#include <QProcess>

#include <arpa/inet.h>
#include <fcntl.h>
#include <pty.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <random>
#include <sstream>

using namespace strandel;
using namespace strandel::test;
using sim::DvrSimServer;
using sim::FaultKind;

namespace {

// A viewer session over TCP: view, core and link, connected to the server.
struct TcpClient {
    explicit TcpClient(int port, std::string user = "", std::string password = "")
        : core(view, FakeWriterFactory(writer))
    {
        SimApp();
        view.core = &core;
        view.user = std::move(user);
        view.loginPassword = std::move(password);
        record.kind = uint8_t(DvrKind::Network);
        record.ip = {127, 0, 0, 1};
        record.port = port;
        link = std::make_unique<CDvrTcp>(&view);
        EXPECT_TRUE(link->Init(&record));
        core.SetConnection(link.get());
        EXPECT_TRUE(link->Connect());
    }
    ~TcpClient()
    {
        link->Close();
        core.SetConnection(nullptr);
    }
    bool LoggedIn() { return Serve(view, [&] { return core.IsLoggedIn(); }); }

    SimView view;
    FakeWriterState writer;
    FakeDialogs dialogs;
    DvrWinCore core;
    DvrListRecord record;
    std::unique_ptr<CDvrTcp> link;
};

std::string ReadText(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void ExpectJpegRecord(const FrameRecordHeader &h, const std::vector<uint8_t> &part0, uint8_t kind)
{
    EXPECT_EQ(h.kind, kind);
    ASSERT_GE(h.channel, 1);
    ASSERT_LE(h.channel, 4);
    ASSERT_EQ(part0.size(), h.partSize[0]);
    ASSERT_GT(h.jpegLength, 32u);
    // The prefix marks a picture record of its channel; the picture follows it.
    EXPECT_EQ(part0[3], 0xD0 + h.channel - 1);
    JpegImage img;
    ASSERT_TRUE(JpegDecode(part0.data() + 32, h.jpegLength - 32, img));
    EXPECT_EQ(img.width, 352);
    EXPECT_EQ(img.height, 288);
}

} // namespace

TEST(SimEndToEnd, TcpLoginRetryLiveEnvAndTranscript)
{
    auto options = LoopbackOptions();
    options.user = "admin";
    options.password = "1234";
    options.checkLogin = true;
    options.transcript = testing::TempDir() + "dvrsim_tcp_" + std::to_string(::getpid()) + ".txt";
    DvrSimServer server(options);
    std::string error;
    ASSERT_TRUE(server.Start(error)) << error;

    TcpClient client(server.TcpPort(), "admin", "wrong");
    client.view.password = "1234"; // typed into the password dialog after the refusal
    ASSERT_TRUE(client.LoggedIn());
    EXPECT_TRUE(client.view.Saw("password dialog"));
    EXPECT_EQ(client.core.GetChannelCount(), 4);
    EXPECT_TRUE(Serve(client.view, [&] { return client.view.Saw("mask 15"); }));

    // Live records arrive whole and hold decodable pictures.
    ASSERT_TRUE(Serve(client.view, [&] { return client.view.Shown() >= 8; }));
    {
        std::lock_guard l(client.view.mutex);
        for (size_t i = 0; i < 8; ++i)
            ExpectJpegRecord(client.view.shown[i].first, client.view.shown[i].second, FrameKindLive);
    }

    // The configuration record comes segmented and reaches the dialog whole; an upload replaces it.
    client.core.Dialogs().setup = &client.dialogs;
    client.core.SendCommand(DvrCmdEnvGet, nullptr, 0);
    ASSERT_TRUE(Serve(client.view, [&] { return client.dialogs.calls.size() == 3; }));
    EXPECT_EQ(client.dialogs.calls[2], "env record 1 0");
    std::vector<uint8_t> env = server.WithRecorder([](sim::SimRecorder &r) { return r.Env(); });
    env[kDvrEnvRecordSize - 1] = 0x5A;
    client.core.SendUpload(DvrCmdEnvSet, env.data(), env.size());
    ASSERT_TRUE(Serve(client.view, [&] { return client.view.Saw("msgwin Success !!"); }));
    EXPECT_EQ(server.WithRecorder([](sim::SimRecorder &r) { return r.Env(); }), env);

    // Keep-alives are noted.
    client.core.SendCommand(DvrCmdAlive, nullptr, 0);
    ASSERT_TRUE(Serve(client.view, [&] { return server.AliveCount() == 1; }));

    server.Stop();
    const std::string transcript = ReadText(options.transcript);
    EXPECT_NE(transcript.find("RX tcp1 cmd=1 flag=00 len=16 61646d696e00000077726f6e67000000\n"), std::string::npos);
    EXPECT_NE(transcript.find("TX tcp1 cmd=1 flag=00 len=9 000400001c5a000001\n"), std::string::npos);
    EXPECT_NE(transcript.find("RX tcp1 cmd=1 flag=00 len=16 00000000000000003132333400000000\n"), std::string::npos);
    EXPECT_NE(transcript.find("TX tcp1 cmd=1 flag=00 len=9 020400001c5a000001\n"), std::string::npos);
    EXPECT_NE(transcript.find("TX tcp1 cmd=11 flag=c0 len=4 a6250000\n"), std::string::npos);
    std::remove(options.transcript.c_str());
}

TEST(SimEndToEnd, SerialLineOnAPseudoTerminal)
{
    auto options = LoopbackOptions();
    options.listenHost.clear();
    options.pty = true;
    options.fps = 2;
    DvrSimServer server(options);
    std::string error;
    ASSERT_TRUE(server.Start(error)) << error;

    SimApp();
    const std::string settings = testing::TempDir() + "dvrsim_settings_" + std::to_string(::getpid()) + ".ini";
    SetSettingsFilePath(QString::fromStdString(settings));
    RegWriteString("Com7", QString::fromStdString(server.SerialPath()));

    SimView view;
    FakeWriterState writer;
    FakeDialogs dialogs;
    DvrWinCore core(view, FakeWriterFactory(writer));
    view.core = &core;
    DvrListRecord record;
    record.kind = uint8_t(DvrKind::Rs232c);
    record.serialPort = 7;
    record.baudRate = 115200;
    CDvrSerial link(&view);
    ASSERT_TRUE(link.Init(&record));
    core.SetConnection(&link);
    ASSERT_TRUE(link.Connect());
    ASSERT_TRUE(Serve(view, [&] { return core.IsLoggedIn(); }));
    ASSERT_TRUE(Serve(view, [&] { return view.Shown() >= 4; }));
    {
        std::lock_guard l(view.mutex);
        ExpectJpegRecord(view.shown[0].first, view.shown[0].second, FrameKindLive);
    }
    // A reply longer than a serial frame travels segmented and arrives whole.
    core.Dialogs().setup = &dialogs;
    core.SendCommand(DvrCmdEnvGet, nullptr, 0);
    ASSERT_TRUE(Serve(view, [&] { return dialogs.calls.size() == 3; }));
    EXPECT_EQ(dialogs.calls[2], "env record 1 0");

    // Closing sends the nine byes: the recorder stops pushing.
    link.Close();
    core.SetConnection(nullptr);
    ASSERT_TRUE(Serve(view, [&] { return server.LoggedInSessions() == 0; }));
    server.Stop();
    std::remove(settings.c_str());
    SetSettingsFilePath({});
}

TEST(SimEndToEnd, ReceiversRecoverFromWireFaults)
{
    DvrSimServer server(LoopbackOptions());
    std::string error;
    ASSERT_TRUE(server.Start(error)) << error;
    TcpClient client(server.TcpPort());
    ASSERT_TRUE(client.LoggedIn());
    for (FaultKind kind : {FaultKind::BadCrc, FaultKind::Garbage, FaultKind::Oversize, FaultKind::WrongFrameId,
                           FaultKind::LostSegment}) {
        SCOPED_TRACE(sim::FaultName(kind));
        const size_t before = client.view.Shown();
        // Two lost pieces could fall into one record; one is enough to see.
        server.InjectFault(kind, kind == FaultKind::LostSegment ? 1 : 2);
        ASSERT_TRUE(Serve(client.view, [&] { return server.PendingFaults(kind) == 0; }));
        ASSERT_TRUE(Serve(client.view, [&] { return client.view.Shown() >= before + 8; }));
        if (kind != FaultKind::LostSegment)
            continue;
        // A live picture lost a piece: the view dropped exactly that record and showed the
        // others, which the recorder numbers one by one.
        std::lock_guard l(client.view.mutex);
        const auto &shown = client.view.shown;
        ASSERT_GT(before, 0u);
        const uint32_t first = shown[before - 1].first.timeValue, last = shown.back().first.timeValue;
        EXPECT_EQ(last - first + 1 - uint32_t(shown.size() - before + 1), 1u);
    }
    // A long reply missing one segment reaches nobody; the next one arrives whole. The live
    // pictures stop first, so that the lost piece is the reply's.
    client.core.SendCommand(DvrCmdMode, BuildMode(DvrModePlayback));
    client.core.Dialogs().setup = &client.dialogs;
    server.InjectFault(FaultKind::LostSegment);
    client.core.SendCommand(DvrCmdEnvGet, nullptr, 0);
    ASSERT_TRUE(Serve(client.view, [&] { return server.PendingFaults(FaultKind::LostSegment) == 0; }));
    client.core.SendCommand(DvrCmdEnvGet, nullptr, 0);
    ASSERT_TRUE(Serve(client.view, [&] { return client.dialogs.calls.size() >= 3; }));
    Serve(client.view, [] { return false; }, 300);
    EXPECT_EQ(client.dialogs.calls.size(), 3u);
}

// A log that lost a piece on the way is reported where the operator waits for it; asked
// again, it arrives whole.
TEST(SimEndToEnd, ADamagedLogIsReportedAndTheNextArrivesWhole)
{
    DvrSimServer server(LoopbackOptions());
    std::string error;
    ASSERT_TRUE(server.Start(error)) << error;
    TcpClient client(server.TcpPort());
    ASSERT_TRUE(client.LoggedIn());
    client.core.SendCommand(DvrCmdMode, BuildMode(DvrModePlayback)); // no live piece takes the fault
    // A log long enough to travel in pieces.
    server.WithRecorder([](sim::SimRecorder &r) {
        for (int i = 0; i < 120; ++i)
            r.AddLog(1, RecorderTime{20, 26, 12, 10, 8, 0, 0});
    });
    client.core.Dialogs().logSearch = &client.dialogs;
    const std::string logFile = testing::TempDir() + "dvrsim_damaged_log_" + std::to_string(::getpid()) + ".txt";
    client.view.logFileName = logFile;
    const std::string text = "The log did not arrive whole: press Save Log to ask for it again.";
    server.InjectFault(FaultKind::LostSegment);
    client.core.SendCommand(DvrCmdLogDownload, nullptr, 0);
    ASSERT_TRUE(Serve(client.view, [&] { return client.view.Saw("msg " + text); }));
    EXPECT_EQ(client.dialogs.Take(), std::vector<std::string>{"search msg " + text});
    EXPECT_TRUE(ReadText(logFile).empty());

    client.core.SendCommand(DvrCmdLogDownload, nullptr, 0);
    ASSERT_TRUE(Serve(client.view, [&] { return ReadText(logFile).find("POWER ON") != std::string::npos; }));
    std::remove(logFile.c_str());
}

TEST(SimEndToEnd, DropAfterReachesTheView)
{
    auto options = LoopbackOptions();
    options.dropAfter = 1;
    DvrSimServer server(options);
    std::string error;
    ASSERT_TRUE(server.Start(error)) << error;
    TcpClient client(server.TcpPort());
    ASSERT_TRUE(client.LoggedIn());
    ASSERT_TRUE(Serve(client.view, [&] { return client.view.disconnects > 0; }));
    EXPECT_EQ(server.Connections(), 0);
}

TEST(SimEndToEnd, PlaybackToTheEndAndCopy)
{
    DvrSimServer server(LoopbackOptions());
    std::string error;
    ASSERT_TRUE(server.Start(error)) << error;
    TcpClient client(server.TcpPort());
    ASSERT_TRUE(client.LoggedIn());
    const sim::RecordedSpan span = server.WithRecorder([](sim::SimRecorder &r) { return r.Span(); });

    client.core.SetModeState(DvrModePlayback);
    client.core.SendCommand(DvrCmdMode, BuildMode(DvrModePlayback));
    client.core.SendPlayTime(0, 1, span.At(span.seconds - 1));
    ASSERT_TRUE(Serve(client.view, [&] { return client.view.Saw("range 0 3600"); }));
    EXPECT_TRUE(client.view.Saw("times 2026/12/10  09:00:00 - 2026/12/10  10:00:00"));
    // Two presses of fast forward double the factor twice.
    client.core.SendPlayControl(1, 1, 0, PlayDirForward);
    client.core.SendPlayControl(1, 1, 0, PlayDirForward);
    ASSERT_TRUE(Serve(client.view, [&] { return client.view.Saw("state >>4"); }));
    ASSERT_TRUE(Serve(client.view, [&] { return client.view.Saw("track end"); }));
    EXPECT_TRUE(client.view.Saw("msg Completed"));
    {
        std::lock_guard l(client.view.mutex);
        const auto &last = client.view.shown.back();
        ExpectJpegRecord(last.first, last.second, FrameKindPlayback);
        EXPECT_EQ(last.first.channel, 1);
    }

    // A copy of three recorded seconds: a record per channel and second, then the end.
    ASSERT_TRUE(client.core.StartNetCopy("Copy/sim.dvr"));
    client.core.SendCommand(DvrCmdCopy, BuildCopy(0, 0, span.At(10), span.At(12)));
    ASSERT_TRUE(Serve(client.view, [&] { return client.view.Saw("copy panel hidden"); }));
    ASSERT_EQ(client.writer.records.size(), 12u);
    EXPECT_EQ(client.writer.records[0].first.kind, FrameKindCopy);
    EXPECT_EQ(TimeText(client.writer.records[11].first.time), "2026/12/10  09:00:12");
}

TEST(SimEndToEnd, BackPlayReturnsFallingTimesAndFastBackAtItsRate)
{
    DvrSimServer server(LoopbackOptions()); // a record every 100 ms
    std::string error;
    ASSERT_TRUE(server.Start(error)) << error;
    TcpClient client(server.TcpPort());
    ASSERT_TRUE(client.LoggedIn());
    const sim::RecordedSpan span = server.WithRecorder([](sim::SimRecorder &r) { return r.Span(); });
    client.core.SetModeState(DvrModePlayback);
    client.core.SendCommand(DvrCmdMode, BuildMode(DvrModePlayback));
    client.core.SendPlayTime(0, 1, span.At(1800));
    ASSERT_TRUE(Serve(client.view, [&] { return client.view.Saw("range 0 3600"); }));

    // The seconds into the span of the next twenty playback records shown after the view
    // showed that state.
    auto times = [&](const std::string &state) {
        std::vector<int64_t> out;
        size_t from = 0;
        Serve(client.view, [&] {
            std::lock_guard l(client.view.mutex);
            if (from == 0 && std::find(client.view.calls.begin(), client.view.calls.end(), state) != client.view.calls.end())
                from = client.view.shown.size() + 1;
            if (from == 0)
                return false;
            for (size_t i = from - 1 + out.size(); i < client.view.shown.size() && out.size() < 20; ++i)
                out.push_back(span.Offset(client.view.shown[i].first.time));
            return out.size() >= 20;
        });
        return out;
    };
    client.core.SendPlayControl(1, 0, 0, PlayDirBackward);
    const auto back = times("state <");
    ASSERT_EQ(back.size(), 20u);
    EXPECT_TRUE(std::is_sorted(back.rbegin(), back.rend()));
    EXPECT_GE(back.front() - back.back(), 1); // 19 x 0.1 s
    EXPECT_LE(back.front() - back.back(), 2);

    client.core.SendPlayControl(1, 1, 0, PlayDirBackward);
    client.core.SendPlayControl(1, 1, 0, PlayDirBackward);
    const auto fast = times("state <<4");
    ASSERT_EQ(fast.size(), 20u);
    EXPECT_TRUE(std::is_sorted(fast.rbegin(), fast.rend()));
    EXPECT_GE(fast.front() - fast.back(), 7); // 19 x 0.4 s
    EXPECT_LE(fast.front() - fast.back(), 8);
}

TEST(SimEndToEnd, HostileClientLeavesTheRecorderServing)
{
    DvrSimServer server(LoopbackOptions());
    std::string error;
    ASSERT_TRUE(server.Start(error)) << error;

    // Junk mixed with well-framed packets of every command, random flags and payloads.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(uint16_t(server.TcpPort()));
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
    std::mt19937 rng(7);
    std::vector<uint8_t> wire;
    auto frame = [&](uint8_t cmd, uint8_t flag, const std::vector<uint8_t> &p) {
        const size_t at = wire.size();
        wire.resize(at + kTcpFrameOverhead + p.size());
        BuildTcpFrame(wire.data() + at, cmd, flag, p.data(), uint32_t(p.size()));
    };
    frame(DvrCmdLogin, 0, BuildLogin("", ""));
    for (int i = 0; i < 3000; ++i) {
        std::vector<uint8_t> p(rng() % 8 == 0 ? rng() % 1025 : rng() % 24);
        for (auto &b : p)
            b = uint8_t(rng());
        if (rng() % 5 == 0)
            wire.insert(wire.end(), p.begin(), p.end());
        else
            frame(uint8_t(rng() % 40), uint8_t(rng() % 3 == 0 ? rng() : 0), p);
    }
    for (size_t at = 0; at < wire.size();) {
        const ssize_t n = ::send(fd, wire.data() + at, wire.size() - at, MSG_NOSIGNAL);
        ASSERT_GT(n, 0);
        at += size_t(n);
    }
    ::close(fd);
    SimView idle;
    ASSERT_TRUE(Serve(idle, [&] { return server.Connections() == 0; }));

    TcpClient client(server.TcpPort());
    ASSERT_TRUE(client.LoggedIn());
    ASSERT_TRUE(Serve(client.view, [&] { return client.view.Shown() >= 4; }));
}

TEST(SimEndToEnd, CommandLineProgramServesTcpAndAPty)
{
    SimApp();
    QProcess sim;
    sim.start(DVRSIM_PATH, {"--listen", "127.0.0.1:0", "--pty", "--channels", "8", "--fps", "2"});
    ASSERT_TRUE(sim.waitForStarted());
    int port = 0;
    std::string pty;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while ((port == 0 || pty.empty()) && std::chrono::steady_clock::now() < until) {
        if (!sim.canReadLine() && !sim.waitForReadyRead(100))
            continue;
        const std::string line = sim.readLine().trimmed().toStdString();
        if (line.rfind("dvrsim: listening on 127.0.0.1:", 0) == 0)
            port = std::stoi(line.substr(line.rfind(':') + 1));
        if (line.rfind("dvrsim: serial line on /dev/", 0) == 0)
            pty = line.substr(23);
    }
    ASSERT_GT(port, 0);
    EXPECT_EQ(::access(pty.c_str(), R_OK | W_OK), 0) << pty;
    {
        TcpClient client(port);
        ASSERT_TRUE(client.LoggedIn());
        EXPECT_EQ(client.core.GetChannelCount(), 8);
    }
    sim.terminate();
    ASSERT_TRUE(sim.waitForFinished(10000));
    EXPECT_EQ(sim.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.exitCode(), 0);
}

TEST(SimEndToEnd, CommandLineMakesAFirmwareImageForItsModel)
{
    SimApp();
    const std::string path = testing::TempDir() + "dvrsim_fw_" + std::to_string(::getpid()) + ".bin";
    QProcess sim;
    sim.start(DVRSIM_PATH, {"--make-firmware", QString::fromStdString(path), "--size", "2500", "--model", "1"});
    ASSERT_TRUE(sim.waitForFinished(20000));
    EXPECT_EQ(sim.exitCode(), 0) << sim.readAllStandardError().toStdString();
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> image{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(image, sim::MakeFirmwareImage(1, 2500));
    std::remove(path.c_str());
    // A file that cannot be written is said so.
    sim.start(DVRSIM_PATH, {"--make-firmware", QString::fromStdString(testing::TempDir() + "no/such/dir/fw.bin")});
    ASSERT_TRUE(sim.waitForFinished(20000));
    EXPECT_EQ(sim.exitCode(), 1);
    EXPECT_TRUE(sim.readAllStandardError().contains("cannot write"));
}

TEST(SimEndToEnd, DemoRecordingIsServedLive)
{
    auto options = LoopbackOptions();
    options.source = std::string(STRANDEL_TEST_DATA) + "/../../samples/demo.dvr";
    options.channels = 16;
    options.ntsc = true;
    DvrSimServer server(options);
    std::string error;
    ASSERT_TRUE(server.Start(error)) << error;
    TcpClient client(server.TcpPort());
    ASSERT_TRUE(client.LoggedIn());
    ASSERT_TRUE(Serve(client.view, [&] { return client.view.Shown() >= 32; }));
    std::lock_guard l(client.view.mutex);
    uint32_t seen = 0;
    for (const auto &[h, part0] : client.view.shown) {
        seen |= 1u << (h.channel - 1);
        ASSERT_GE(part0.size(), 4u);
        const bool mpeg = (GetLe32(part0.data()) & 0xF0FFFFFFu) == 0xE0010000u;
        // The recording has pictures on channels 1-8 and MPEG-4 on 9-16; its texts go along.
        EXPECT_EQ(mpeg, h.channel > 8);
        EXPECT_EQ(h.directShow, mpeg ? 0 : 1);
        EXPECT_EQ(h.kind, FrameKindLive);
        EXPECT_EQ(std::string(h.text[0].data(), 3), "CAM");
    }
    EXPECT_EQ(seen, 0xFFFFu);
}

TEST(SimEndToEnd, SixChannelRecorderLogsInAndPushesItsChannels)
{
    auto options = LoopbackOptions();
    options.channels = 6;
    DvrSimServer server(options);
    std::string error;
    ASSERT_TRUE(server.Start(error)) << error;
    TcpClient client(server.TcpPort());
    ASSERT_TRUE(client.LoggedIn());
    EXPECT_EQ(client.core.GetChannelCount(), 6);
    EXPECT_TRUE(Serve(client.view, [&] { return client.view.Saw("mask 63"); }));
    ASSERT_TRUE(Serve(client.view, [&] { return client.view.Shown() >= 24; }));
    std::lock_guard l(client.view.mutex);
    uint32_t seen = 0;
    for (const auto &[h, part0] : client.view.shown)
        seen |= 1u << (h.channel - 1);
    EXPECT_EQ(seen, 0x3Fu);
}

TEST(SimEndToEnd, RecordingWithAFarFutureTimeServesEveryChannel)
{
    auto options = LoopbackOptions();
    options.source = testing::TempDir() + "dvrsim_far_e2e_" + std::to_string(::getpid()) + ".dvr";
    ASSERT_TRUE(WriteRecording(options.source, 3, 4, {{1, 0}, {2, 1}}));
    options.channels = 3;
    DvrSimServer server(options);
    std::string error;
    ASSERT_TRUE(server.Start(error)) << error;
    std::remove(options.source.c_str());
    TcpClient client(server.TcpPort());
    ASSERT_TRUE(client.LoggedIn());
    // A record a second and channel: past the far-off records and round the recording again.
    int counts[3] = {};
    ASSERT_TRUE(Serve(client.view, [&] {
        std::lock_guard l(client.view.mutex);
        std::fill(std::begin(counts), std::end(counts), 0);
        for (const auto &[h, part0] : client.view.shown)
            if (h.channel >= 1 && h.channel <= 3)
                ++counts[h.channel - 1];
        return *std::min_element(std::begin(counts), std::end(counts)) >= 6;
    }));
}

TEST(SimEndToEnd, SerialDeviceGivenByPath)
{
    // The recorder takes a terminal it is given; the test speaks the serial framing on the other end.
    int master = -1, slave = -1;
    char name[256] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    auto options = LoopbackOptions();
    options.listenHost.clear();
    options.serialPath = name;
    DvrSimServer server(options);
    std::string error;
    ASSERT_TRUE(server.Start(error)) << error;
    EXPECT_EQ(server.SerialPath(), name);

    std::vector<uint8_t> login;
    const auto payload = BuildLogin("", "");
    BuildSerialFrame(login, DvrCmdLogin, 0, payload.data(), int(payload.size()));
    ASSERT_EQ(::write(master, login.data(), login.size()), ssize_t(login.size()));

    SerialReceiver rx;
    std::vector<std::pair<uint8_t, uint8_t>> got; // command, flag
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    while (got.size() < 12 && std::chrono::steady_clock::now() < until) {
        uint8_t buf[4096];
        const ssize_t n = ::read(master, buf, sizeof buf);
        if (n > 0)
            rx.Feed(buf, size_t(n), [&](const PacketHeader &h, const uint8_t *) { got.push_back({h.cmd, h.flag}); });
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_GE(got.size(), 12u);
    EXPECT_EQ(got[0], std::make_pair(uint8_t(DvrCmdLogin), uint8_t(0)));
    EXPECT_EQ(got[1], std::make_pair(uint8_t(DvrCmdChannelMask), uint8_t(0)));
    EXPECT_EQ(got[2], std::make_pair(uint8_t(DvrCmdRecord), uint8_t(DvrFlagPartFirst)));
    server.Stop();
    ::close(master);
    ::close(slave);
}

TEST(SimEndToEnd, PeerThatNeverReadsIsDropped)
{
    DvrSimServer server(LoopbackOptions());
    std::string error;
    ASSERT_TRUE(server.Start(error)) << error;
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(uint16_t(server.TcpPort()));
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
    // Asks for the configuration record again and again and reads none of it.
    std::vector<uint8_t> wire(kTcpFrameOverhead + 16);
    const auto login = BuildLogin("", "");
    BuildTcpFrame(wire.data(), DvrCmdLogin, 0, login.data(), uint32_t(login.size()));
    for (int i = 0; i < 8000; ++i) {
        const size_t at = wire.size();
        wire.resize(at + kTcpFrameOverhead);
        BuildTcpFrame(wire.data() + at, DvrCmdEnvGet, 0, nullptr, 0);
    }
    ASSERT_EQ(::send(fd, wire.data(), wire.size(), MSG_NOSIGNAL), ssize_t(wire.size()));
    SimView idle;
    EXPECT_TRUE(Serve(idle, [&] { return server.Connections() == 0; }));
    ::close(fd);
}

TEST(SimEndToEnd, SearchAndAdministrationRepliesReachTheirDialogs)
{
    DvrSimServer server(LoopbackOptions());
    std::string error;
    ASSERT_TRUE(server.Start(error)) << error;
    TcpClient client(server.TcpPort());
    ASSERT_TRUE(client.LoggedIn());
    auto &core = client.core;
    auto &dialogs = client.dialogs;
    auto served = [&](size_t n) { return Serve(client.view, [&] { return dialogs.calls.size() >= n; }); };

    core.Dialogs().timeSearch = &dialogs;
    core.SendCommand(DvrCmdDiskMap, nullptr, 0);
    core.SendCommand(DvrCmdDiskIndex, BuildDiskIndex(0));
    core.SendCommand(DvrCmdDiskIndex, BuildDiskIndex(1));
    ASSERT_TRUE(served(3));
    EXPECT_EQ(dialogs.Take(), (std::vector<std::string>{"hddmap 0", "index", "search msg No Data"}));
    core.Dialogs().timeSearch = nullptr;

    // The dialogs open with the unset time: the first page of events, a block list, the log.
    const RecorderTime unset{0xFF, 0xFF, 0, 0, 0, 0, 0};
    core.Dialogs().eventSearch = &dialogs;
    core.SendCommand(DvrCmdEventSearch, BuildEventSearch(0, 0, 7, unset));
    ASSERT_TRUE(served(20));
    EXPECT_EQ(dialogs.Take(), std::vector<std::string>(20, "event 20"));
    core.Dialogs().blockSearch = &dialogs;
    core.SendCommand(DvrCmdBlockSearch, BuildBlockSearch(3, unset));
    ASSERT_TRUE(served(20));
    EXPECT_EQ(dialogs.Take(), std::vector<std::string>(20, "block 18"));

    core.Dialogs().status = &dialogs;
    core.SendCommand(DvrCmdStatus, nullptr, 0);
    ASSERT_TRUE(served(1));
    EXPECT_EQ(dialogs.Take(), std::vector<std::string>{"status"});

    core.SendCommand(DvrCmdEnvPassword, BuildEnvPassword("11111111"));
    ASSERT_TRUE(Serve(client.view, [&] { return client.view.Saw("open setup"); }));

    // The whole log into a text file, newest entry first: this login's NET CONNECT.
    const std::string logFile = testing::TempDir() + "dvrsim_log_" + std::to_string(::getpid()) + ".txt";
    client.view.logFileName = logFile;
    core.SendCommand(DvrCmdLogDownload, nullptr, 0);
    ASSERT_TRUE(Serve(client.view, [&] { return ReadText(logFile).find("POWER ON") != std::string::npos; }));
    const std::string log = ReadText(logFile);
    EXPECT_EQ(log.substr(0, 2), "1 ");
    EXPECT_NE(log.find("NET CONNECT \r\n"), std::string::npos);
    EXPECT_NE(log.find(" 2026/12/10 09:00:00 RECORD START\r\n"), std::string::npos) << log;
    std::remove(logFile.c_str());
    // A file that cannot be created is reported.
    const std::string nowhere = testing::TempDir() + "no_such_dir_" + std::to_string(::getpid()) + "/log.txt";
    client.view.logFileName = nowhere;
    core.SendCommand(DvrCmdLogDownload, nullptr, 0);
    ASSERT_TRUE(Serve(client.view, [&] { return client.view.Saw("msg Cannot create the log file " + nowhere); }));
}
