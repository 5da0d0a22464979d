#include "linktest.h"
#include "ttyinspect.h"

#include "platform/debuglog.h"
#include "platform/settings.h"
#include "viewer/link/xcomdrv.h"
#include "viewer/link/dvrlink.h"

#include <QThread>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <mutex>

#include <sys/ioctl.h>

using namespace strandel;
using namespace strandel::test;

namespace {

// A pseudo-terminal whose slave is reachable as "Com7"; the test plays the recorder on the master.
class PtyPort {
public:
    PtyPort()
    {
        char name[256] = {};
        EXPECT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
        path = name;
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        // One settings file per test process: tests run side by side.
        settings = testing::TempDir() + "links_settings_" + std::to_string(::getpid()) + ".ini";
        SetSettingsFilePath(QString::fromStdString(settings));
        RegWriteString("Com7", QString::fromStdString(path));
        RegWriteString("Com8", "/nonexistent/ttyS77");
    }
    ~PtyPort()
    {
        ::close(master);
        ::close(slave);
        std::remove(settings.c_str());
        SetSettingsFilePath({});
    }
    std::vector<uint8_t> ReadAll(int settleMs = 100)
    {
        std::vector<uint8_t> out;
        auto last = std::chrono::steady_clock::now();
        while (std::chrono::steady_clock::now() - last < std::chrono::milliseconds(settleMs)) {
            uint8_t buf[4096];
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n > 0) {
                out.insert(out.end(), buf, buf + n);
                last = std::chrono::steady_clock::now();
            } else {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
        return out;
    }
    void Write(const std::vector<uint8_t> &b) { ASSERT_EQ(::write(master, b.data(), b.size()), ssize_t(b.size())); }

    int master = -1, slave = -1;
    std::string path;
    std::string settings;
};

std::vector<uint8_t> SerialFrame(uint8_t cmd, uint8_t flag, const std::vector<uint8_t> &payload)
{
    std::vector<uint8_t> f;
    BuildSerialFrame(f, cmd, flag, payload.data(), int(payload.size()));
    return f;
}

class SerialPort : public ::testing::Test {
protected:
    void SetUp() override { App(); }
    PtyPort pty;
};

} // namespace

TEST_F(SerialPort, DeviceNamesMapToPaths)
{
    TXComm port;
    EXPECT_EQ(port.DeviceName(), "COM2");
    port.SetDeviceName("Com3");
    EXPECT_EQ(port.DevicePath(), "/dev/ttyS2");
    port.SetDeviceName("com7");
    EXPECT_EQ(port.DevicePath(), pty.path);
    port.SetDeviceName("/dev/ttyUSB0");
    EXPECT_EQ(port.DevicePath(), "/dev/ttyUSB0");
}

TEST_F(SerialPort, ErrorsCarryTheirCodes)
{
    auto code = [](const std::function<void()> &f) -> uint32_t {
        try {
            f();
        } catch (const EDeviceError &e) {
            return e.ErrorCode;
        }
        return 0;
    };
    TXComm port;
    port.SetDeviceName("Com8");
    try {
        port.Open();
        FAIL() << "opened a missing device";
    } catch (const EDeviceError &e) {
        EXPECT_EQ(e.ErrorCode, 65535u);
        EXPECT_STREQ(e.what(), "Cannot open device Com8");
    }
    uint8_t b = 0;
    EXPECT_EQ(code([&] { port.Close(); }), 1u);
    EXPECT_EQ(code([&] { port.ReadData(&b, 1); }), 1u);
    EXPECT_EQ(code([&] { port.SendByte(1); }), 1u);

    port.SetDeviceName("Com7");
    ASSERT_TRUE(port.Open());
    EXPECT_EQ(code([&] { port.Open(); }), 2u);
    port.SetDeviceName("Com8"); // ignored while open
    EXPECT_EQ(port.DeviceName(), "Com7");
    port.OnSend = [&](TXComm *p, const uint8_t *, uint32_t) { EXPECT_EQ(code([&] { p->SendByte(1); }), 4u); };
    port.OnRead = [&](TXComm *p, const uint8_t *, uint32_t) { EXPECT_EQ(code([&] { p->ReadData(&b, 1, 0); }), 5u); };
    EXPECT_TRUE(port.SendByte('x'));
    pty.Write({'y'});
    EXPECT_EQ(port.ReadData(&b, 1), 1u);
    EXPECT_EQ(b, 'y');
    TCommDataControl bad{db4, paNone, sb1};
    EXPECT_EQ(code([&] { port.SetDataControl(bad); }), 3u);
}

TEST_F(SerialPort, BaudRatesAndFlowControlReachTheDevice)
{
    TXComm port;
    port.SetDeviceName("Com7");
    port.SetBaudValue(115200); // not under brCustom: no change
    EXPECT_EQ(port.BaudValue(), 9600u);
    port.SetBaudRate(brCustom);
    port.SetBaudValue(115200);
    ASSERT_TRUE(port.Open());
    EXPECT_EQ(InspectTty(pty.master).baud, 115200u);
    port.SetBaudValue(250000);
    EXPECT_EQ(InspectTty(pty.master).baud, 250000u);
    port.SetBaudRate(br57600);
    EXPECT_EQ(port.BaudValue(), 57600u);
    EXPECT_EQ(InspectTty(pty.master).baud, 57600u);

    EXPECT_FALSE(InspectTty(pty.master).rtsCts);
    EXPECT_EQ(port.RTSSettings(), 0);
    port.SetFlowControl(fcRtsCts);
    EXPECT_TRUE(InspectTty(pty.master).rtsCts);
    EXPECT_EQ(port.RTSSettings(), fsCTSOut | fsRTSHandshake);
    EXPECT_EQ(port.DTRSettings(), fsDTREnabled);
    port.SetFlowControl(fcSoftware);
    EXPECT_FALSE(InspectTty(pty.master).rtsCts);
    EXPECT_EQ(port.XOnXOffSettings(), fsInX | fsOutX);
}

TEST_F(SerialPort, ReadOnAnEmptyQueueWaitsForTheTimeout)
{
    TXComm port;
    port.SetDeviceName("Com7");
    ASSERT_TRUE(port.Open());
    EXPECT_EQ(port.InQueCount(), 0u);
    uint8_t b = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(port.ReadData(&b, 1), 0u);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
}

TEST_F(SerialPort, SendOnAFullQueueGivesUp)
{
    TXComm port;
    port.SetDeviceName("Com7");
    ASSERT_TRUE(port.Open());
    std::vector<uint8_t> block(8192, 'z');
    for (int i = 0; i < 200 && port.SendData(block.data(), uint32_t(block.size()), 20) == block.size(); ++i) {
    }
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(port.SendByte('!'));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
}

TEST_F(SerialPort, DataArrivesOnTheUiThread)
{
    TXComm port;
    port.SetDeviceName("Com7");
    std::vector<uint8_t> got;
    bool onUiThread = true;
    port.OnData = [&](TXComm *p, uint32_t n) {
        onUiThread = onUiThread && QThread::currentThread() == App().thread();
        std::vector<uint8_t> buf(n);
        buf.resize(p->ReadData(buf.data(), n));
        got.insert(got.end(), buf.begin(), buf.end());
    };
    ASSERT_TRUE(port.Open());
    pty.Write({'a', 'b', 'c'});
    ASSERT_TRUE(WaitUntil([&] { return got.size() == 3; }));
    pty.Write({'d'});
    ASSERT_TRUE(WaitUntil([&] { return got.size() == 4; }));
    EXPECT_EQ(got, (std::vector<uint8_t>{'a', 'b', 'c', 'd'}));
    EXPECT_TRUE(onUiThread);
    EXPECT_EQ(port.TotalReceived(), 4u);
    port.Close();
    EXPECT_EQ(port.TotalReceived(), 0u);
}

// ---- the serial link ----

namespace {

DvrListRecord SerialRecord(DvrKind kind, int comPort)
{
    DvrListRecord r;
    r.kind = uint8_t(kind);
    r.serialPort = uint8_t(comPort);
    r.baudRate = 115200;
    return r;
}

} // namespace

TEST_F(SerialPort, LinkExchangesFramesAndSaysByeNineTimes)
{
    RecordingView view;
    CDvrSerial link{&view};
    DvrListRecord record = SerialRecord(DvrKind::Rs232c, 7);
    ASSERT_TRUE(link.Init(&record));
    EXPECT_EQ(link.Port()->DeviceName(), "Com7");
    EXPECT_EQ(InspectTty(pty.master).baud, 115200u);
    EXPECT_FALSE(InspectTty(pty.master).rtsCts);
    ASSERT_TRUE(link.Connect());
    EXPECT_EQ(view.Events(), std::vector<std::string>{"connected"});

    const std::vector<uint8_t> payload{'{', '~', 0x7D, 0x0A, 1, 2};
    ASSERT_TRUE(link.Send(0x20, 0x03, payload.data(), int(payload.size())));
    EXPECT_EQ(pty.ReadAll(), SerialFrame(0x20, 0x03, payload));
    std::vector<uint8_t> big(1025, 1);
    EXPECT_FALSE(link.Send(0x20, 0, big.data(), 1025));
    EXPECT_TRUE(link.Send(0x20, 0, big.data(), 1024));
    EXPECT_EQ(pty.ReadAll(), SerialFrame(0x20, 0, std::vector<uint8_t>(1024, 1)));

    auto in = SerialFrame(0x30, 0, {5, 6, 7});
    in.insert(in.end(), {'x', 'y'});
    auto second = SerialFrame(0x31, 1, std::vector<uint8_t>(300, 0x7E));
    in.insert(in.end(), second.begin(), second.end());
    pty.Write(in);
    ASSERT_TRUE(WaitUntil([&] { return view.Packets().size() == 2; }));
    EXPECT_EQ(view.Packets()[0], (ReceivedPacket{0x30, 0, {5, 6, 7}}));
    EXPECT_EQ(view.Packets()[1], (ReceivedPacket{0x31, 1, std::vector<uint8_t>(300, 0x7E)}));

    std::vector<std::string> log;
    SetDebugSink([&](const std::string &l) { log.push_back(l); });
    link.Close();
    SetDebugSink({});
    EXPECT_EQ(log, std::vector<std::string>{"DvrSerial Close........."});
    EXPECT_EQ(link.Port(), nullptr);
    EXPECT_EQ(view.Events().back(), "disconnected");

    std::vector<uint8_t> byes;
    for (int i = 0; i < 9; ++i) {
        auto f = SerialFrame(2, 0, {}); // DvrCmdBye
        byes.insert(byes.end(), f.begin(), f.end());
    }
    EXPECT_EQ(pty.ReadAll(), byes);
}

TEST_F(SerialPort, Rs485UsesRtsCts)
{
    RecordingView view;
    CDvrSerial link{&view};
    DvrListRecord record = SerialRecord(DvrKind::Rs485, 7);
    ASSERT_TRUE(link.Init(&record));
    EXPECT_TRUE(InspectTty(pty.master).rtsCts);
    EXPECT_EQ(link.Port()->FlowControl(), fcRtsCts);
}

TEST_F(SerialPort, MissingDeviceIsReported)
{
    RecordingView view;
    CDvrSerial link{&view};
    DvrListRecord record = SerialRecord(DvrKind::Rs232c, 8);
    EXPECT_FALSE(link.Init(&record));
    EXPECT_EQ(link.Port(), nullptr);
    EXPECT_EQ(view.Events(), std::vector<std::string>{"message:Cannot Open Device Com8"});
    link.Close(); // nothing to close, no bye frames, no call-backs
    EXPECT_EQ(view.Events().size(), 1u);
}

TEST_F(SerialPort, ClosingFromItsOwnDataHandler)
{
    TXComm port;
    port.SetDeviceName("Com7");
    int calls = 0;
    port.OnData = [&](TXComm *p, uint32_t) {
        ++calls;
        p->Close(); // waits for the event thread, which waits for this hand-over
    };
    ASSERT_TRUE(port.Open());
    pty.Write({'a'});
    ASSERT_TRUE(WaitUntil([&] { return !port.Opened(); }));
    pty.Write({'b'});
    PumpFor(30);
    EXPECT_EQ(calls, 1);
}

// ---- line events and a device that goes away ----

namespace {

// A pseudo-terminal has no modem lines: the test sets them.
class LinesPort : public TXComm {
public:
    bool ReadLineState(TLineState &s) const override
    {
        std::lock_guard l(mutex_);
        s = state_;
        return true;
    }
    void Change(const std::function<void(TLineState &)> &f)
    {
        std::lock_guard l(mutex_);
        f(state_);
    }

private:
    mutable std::mutex mutex_;
    TLineState state_;
};

} // namespace

TEST_F(SerialPort, LineEventsReachOnCommEventAsMonitored)
{
    LinesPort port;
    port.SetDeviceName("Com7");
    port.SetMonitorEvents(deChar | deCTS | deRLSD | deBreak | deError | deRing); // DSR left out
    std::vector<uint32_t> events;
    bool onUiThread = true;
    port.OnCommEvent = [&](TXComm *, uint32_t mask) {
        onUiThread = onUiThread && QThread::currentThread() == App().thread();
        events.push_back(mask);
    };
    port.OnData = [](TXComm *p, uint32_t n) {
        std::vector<uint8_t> buf(n);
        p->ReadData(buf.data(), n);
    };
    ASSERT_TRUE(port.Open());
    struct Step {
        const char *name;
        std::function<void(TLineState &)> change;
        uint32_t want;
    };
    const Step steps[] = {
        {"CTS up", [](TLineState &s) { s.Lines |= TIOCM_CTS; }, deCTS},
        {"DSR up, not monitored", [](TLineState &s) { s.Lines |= TIOCM_DSR; }, 0},
        {"carrier detected", [](TLineState &s) { s.Lines |= TIOCM_CD; }, deRLSD},
        {"ring", [](TLineState &s) { s.Lines |= TIOCM_RI, ++s.Rings; }, deRing},
        {"break", [](TLineState &s) { ++s.Breaks; }, deBreak},
        {"framing error", [](TLineState &s) { ++s.Errors; }, deError},
        {"CTS down and up between two looks", [](TLineState &s) { s.Cts += 2; }, deCTS},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.name);
        events.clear();
        port.Change(step.change);
        if (step.want) {
            ASSERT_TRUE(WaitUntil([&] { return !events.empty(); }));
            PumpFor(30);
            EXPECT_EQ(events, std::vector<uint32_t>{step.want});
        } else {
            PumpFor(60);
            EXPECT_TRUE(events.empty());
        }
    }
    // Received data is an event too.
    events.clear();
    pty.Write({'x'});
    ASSERT_TRUE(WaitUntil([&] { return !events.empty(); }));
    EXPECT_EQ(events[0], uint32_t(deChar));
    EXPECT_TRUE(onUiThread);
    port.Close();
}

TEST_F(SerialPort, ReadIntervalBecomesTheTerminalsByteGap)
{
    TXComm port;
    port.SetDeviceName("Com7");
    TCommTimeoutsEx t;
    t.ReadInterval = 250;
    port.SetTimeouts(t);
    ASSERT_TRUE(port.Open());
    EXPECT_EQ(InspectTty(pty.slave).vtime, 3);
    t.ReadInterval = 60000; // more than a terminal can hold
    port.SetTimeouts(t);
    EXPECT_EQ(InspectTty(pty.slave).vtime, 255);
    port.SetBaudRate(br38400); // a new control block keeps it
    EXPECT_EQ(InspectTty(pty.slave).vtime, 255);
    port.Close();
}

// The adapter is unplugged while the link is up: the view hears "disconnected", once.
TEST_F(SerialPort, AVanishedDeviceReachesTheViewAsADisconnect)
{
    RecordingView view;
    CDvrSerial link{&view};
    DvrListRecord record = SerialRecord(DvrKind::Rs232c, 7);
    ASSERT_TRUE(link.Init(&record));
    ASSERT_TRUE(link.Connect());
    ::close(pty.master); // the other end goes: the terminal hangs up
    pty.master = -1;
    ASSERT_TRUE(WaitUntil([&] { return view.Count("disconnected") == 1; }));
    EXPECT_EQ(view.Count("message:Disconnected from DVR"), 1u);
    link.Close();
    PumpFor(30);
    EXPECT_EQ(view.Count("disconnected"), 1u);
}
