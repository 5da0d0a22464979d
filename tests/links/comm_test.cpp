#include "linktest.h"
#include "ttyinspect.h"

#include "platform/settings.h"
#include "viewer/link/comm.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

using namespace strandel;
using namespace strandel::comm;
using namespace strandel::test;

namespace {

// A pseudo-terminal reachable as "Com5"; the test is the device at the master end. Only the
// component holds the slave open once it has opened it, so closing it hangs the master up.
class CommPty : public ::testing::Test {
protected:
    void SetUp() override
    {
        App();
        char name[256] = {};
        ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
        path = name;
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        settings = testing::TempDir() + "comm_settings_" + std::to_string(::getpid()) + ".ini";
        SetSettingsFilePath(QString::fromStdString(settings));
        RegWriteString("Com5", QString::fromStdString(path));
        RegWriteString("Com6", "/nonexistent/ttyS55");
    }
    void TearDown() override
    {
        ::close(master);
        if (slave >= 0)
            ::close(slave);
        std::remove(settings.c_str());
        SetSettingsFilePath({});
    }
    void OpenOnPty(TThreadComm &port)
    {
        port.SetDeviceName("Com5");
        ASSERT_TRUE(port.Open()) << CommLastErrorText();
        ::close(slave);
        slave = -1;
    }
    std::string ReadMaster(size_t want)
    {
        std::string out;
        WaitUntil([&] {
            char buf[256];
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n > 0)
                out.append(buf, size_t(n));
            return out.size() >= want;
        });
        return out;
    }
    int master = -1, slave = -1;
    std::string path, settings;
};

} // namespace

TEST(Comm, DefaultsAndClosedPort)
{
    TComm port;
    EXPECT_EQ(port.DeviceName(), "Com2");
    EXPECT_EQ(port.MonitorEvents(), kAllCommEvents);
    EXPECT_EQ(EventMaskOf(port.MonitorEvents()), 0x1FFu);
    EXPECT_EQ(port.ReadTimeout(), 1000u);
    EXPECT_EQ(port.WriteTimeout(), 1000u);
    EXPECT_EQ(port.ReadBufSize(), 4096);
    EXPECT_EQ(port.WriteBufSize(), 2048);
    EXPECT_EQ(port.SuspendTime(), 5u);
    EXPECT_EQ(port.BaudRate(), br9600);
    EXPECT_EQ(port.FlowControl(), fcDefault);
    EXPECT_EQ(port.EventChars().XOnChar, 0x11);
    EXPECT_FALSE(port.Enabled());

    char b[4];
    EXPECT_EQ(port.Write("x", 1), -1);
    EXPECT_EQ(port.Read(b, 1), -1);
    EXPECT_EQ(port.InQueCount(), -1);
    EXPECT_EQ(port.OutQueCount(), -1);
    port.Close(); // nothing to do
    port.SetDTRState(true);
    EXPECT_EQ(CommLastError(), -1);
    EXPECT_EQ(CommLastErrorText(), "Port not open (Error: -1)");
}

TEST_F(CommPty, OpensSendsReceivesAndCloses)
{
    TComm port;
    const auto uiThread = std::this_thread::get_id();
    int txEmpty = 0;
    std::vector<uint32_t> rx;
    bool offThread = false;
    port.OnTxEmpty = [&](TThreadComm *) {
        offThread |= std::this_thread::get_id() != uiThread;
        ++txEmpty;
    };
    port.OnRxChar = [&](TThreadComm *, uint32_t n) {
        offThread |= std::this_thread::get_id() != uiThread;
        rx.push_back(n);
    };
    OpenOnPty(port);
    EXPECT_TRUE(port.Enabled());
    EXPECT_EQ(InspectTty(master).baud, 9600u);
    port.SetBaudRate(br230400); // rewritten on the open port
    EXPECT_EQ(InspectTty(master).baud, 230400u);
    EXPECT_FALSE(port.Open()); // already open
    EXPECT_EQ(CommLastErrorText(), "Port already assigned (open) (Error: -1)");
    port.SetDeviceName("Com6"); // ignored while open
    EXPECT_EQ(port.DeviceName(), "Com5");

    EXPECT_EQ(port.WriteStr("hello"), 5);
    EXPECT_EQ(ReadMaster(5), "hello");
    EXPECT_TRUE(WaitUntil([&] { return txEmpty > 0; }));

    ASSERT_EQ(::write(master, "abc", 3), 3);
    EXPECT_TRUE(WaitUntil([&] { return !rx.empty(); }));
    EXPECT_EQ(rx.front(), 3u);
    EXPECT_EQ(port.InQueCount(), 3);
    char buf[8] = {};
    EXPECT_EQ(port.Read(buf, 3), 3);
    EXPECT_STREQ(buf, "abc");
    EXPECT_FALSE(offThread); // events reach the UI thread

    // Nothing to read: the read gives up after its time-out with what it has.
    port.SetReadTimeout(100);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(port.Read(buf, 1), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(90));

    const auto t1 = std::chrono::steady_clock::now();
    port.Close();
    EXPECT_LT(std::chrono::steady_clock::now() - t1, std::chrono::milliseconds(500));
    EXPECT_FALSE(port.Enabled());
    pollfd p{master, POLLIN, 0};
    EXPECT_EQ(::poll(&p, 1, 1000), 1);
    EXPECT_TRUE(p.revents & POLLHUP); // the device is really closed
    EXPECT_EQ(port.Write("x", 1), -1);
    PumpFor(50); // deliveries queued before the close find it closed
}

TEST_F(CommPty, MissingDeviceAndSlowRates)
{
    TThreadComm port;
    port.SetDeviceName("Com6");
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(CommLastError(), ENOENT);
    EXPECT_FALSE(port.Enabled());

    // The slowest rate with no constant time-out still writes (and divides by nothing odd).
    port.SetBaudRate(br110);
    port.SetWriteTimeout(0);
    OpenOnPty(port);
    EXPECT_EQ(InspectTty(master).baud, 110u);
    EXPECT_EQ(port.WriteStr("ok"), 2);
    EXPECT_EQ(ReadMaster(2), "ok");
    port.SetDataBits(da4); // no terminal takes it: recorded, the port stays usable
    EXPECT_NE(CommLastErrorText().find("Error updating DataControlBlock"), std::string::npos);
    EXPECT_EQ(port.WriteStr("!"), 1);
}

TEST_F(CommPty, ClosingFromItsOwnHandlerDoesNotHang)
{
    TComm port;
    int calls = 0;
    port.OnRxChar = [&](TThreadComm *sender, uint32_t) {
        ++calls;
        sender->Close();
    };
    bool statusAfterClose = false;
    port.OnComStatEvent = [&](TThreadComm *, uint32_t, uint32_t, const TComStat &) { statusAfterClose = true; };
    OpenOnPty(port);
    ASSERT_EQ(::write(master, "z", 1), 1);
    EXPECT_TRUE(WaitUntil([&] { return calls == 1; }));
    EXPECT_FALSE(port.Enabled());
    EXPECT_FALSE(statusAfterClose); // handlers after the close are skipped
    PumpFor(50);
    EXPECT_EQ(calls, 1);
}
