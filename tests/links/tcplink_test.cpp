#include "linktest.h"

#include "platform/debuglog.h"
#include "platform/langtable.h"
#include "platform/uithread.h"
#include "viewer/link/dvrlink.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <cstring>

using namespace strandel;
using namespace strandel::test;

namespace {

// A recorder stand-in on 127.0.0.1 with a kernel-chosen port.
class LoopbackServer {
public:
    LoopbackServer()
    {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::bind(listen_, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
        EXPECT_EQ(::listen(listen_, 4), 0);
        socklen_t len = sizeof a;
        ::getsockname(listen_, reinterpret_cast<sockaddr *>(&a), &len);
        port = ntohs(a.sin_port);
    }
    ~LoopbackServer()
    {
        CloseClient();
        if (listen_ >= 0)
            ::close(listen_);
    }
    // Stops listening, so a connect to the port is refused.
    void StopListening()
    {
        ::close(listen_);
        listen_ = -1;
    }
    bool Accept()
    {
        pollfd p{listen_, POLLIN, 0};
        if (!WaitUntil([&] { return ::poll(&p, 1, 0) > 0; }))
            return false;
        client_ = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
        return client_ >= 0;
    }
    // False once the peer has gone.
    bool TryWrite(const std::vector<uint8_t> &bytes)
    {
        return ::send(client_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == ssize_t(bytes.size());
    }
    void Write(const std::vector<uint8_t> &bytes) { ASSERT_EQ(::send(client_, bytes.data(), bytes.size(), MSG_NOSIGNAL), ssize_t(bytes.size())); }
    // Reads until n bytes came or the peer closed.
    std::vector<uint8_t> Read(size_t n)
    {
        std::vector<uint8_t> out;
        WaitUntil([&] {
            uint8_t buf[4096];
            const ssize_t r = ::recv(client_, buf, std::min(sizeof buf, n - out.size()), MSG_DONTWAIT);
            if (r == 0)
                return true;
            if (r > 0)
                out.insert(out.end(), buf, buf + r);
            return out.size() >= n;
        });
        return out;
    }
    bool PeerClosed()
    {
        return WaitUntil([&] {
            uint8_t b;
            return ::recv(client_, &b, 1, MSG_DONTWAIT) == 0;
        });
    }
    void CloseClient(bool reset = false)
    {
        if (client_ < 0)
            return;
        if (reset) {
            linger l{1, 0};
            ::setsockopt(client_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        }
        ::close(client_);
        client_ = -1;
    }

    int port = 0;

private:
    int listen_ = -1;
    int client_ = -1;
};

DvrListRecord LoopbackRecord(int port)
{
    DvrListRecord r;
    r.kind = uint8_t(DvrKind::Network);
    r.ip = {127, 0, 0, 1};
    r.port = port;
    return r;
}

std::vector<uint8_t> Frame(uint8_t cmd, uint8_t flag, const std::vector<uint8_t> &payload)
{
    std::vector<uint8_t> f(kTcpFrameOverhead + payload.size());
    BuildTcpFrame(f.data(), cmd, flag, payload.data(), uint32_t(payload.size()));
    return f;
}

class TcpLink : public ::testing::Test {
protected:
    void SetUp() override { App(); }

    // Init and Connect, then the server takes the connection and the view hears of it.
    void ConnectLink()
    {
        ASSERT_TRUE(link.Init(&record));
        ASSERT_TRUE(link.Connect());
        ASSERT_TRUE(server.Accept());
        ASSERT_TRUE(WaitUntil([&] { return view.IsConnected(); }));
    }

    LoopbackServer server;
    DvrListRecord record = LoopbackRecord(server.port);
    RecordingView view;
    CDvrTcp link{&view};
};

} // namespace

TEST_F(TcpLink, ExchangesFramesBothWays)
{
    ConnectLink();
    EXPECT_EQ(link.Host(), "127.0.0.1");

    // Out: a short packet and a segmented one, byte-exact.
    std::vector<uint8_t> big(1500);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = uint8_t(i);
    ASSERT_TRUE(link.Send(0x21, 0x00, big.data(), 3));
    ASSERT_TRUE(link.Send(0x22, 0x05, big.data(), int(big.size())));
    std::vector<uint8_t> total{0xDC, 0x05, 0, 0};
    std::vector<uint8_t> want = Frame(0x21, 0x00, {0, 1, 2});
    for (auto part : {Frame(0x22, DvrFlagSegStart, total), Frame(0x22, DvrFlagSegData, {big.begin(), big.begin() + 1024}),
                      Frame(0x22, DvrFlagSegData, {big.begin() + 1024, big.end()}), Frame(0x22, DvrFlagSegEnd, total)})
        want.insert(want.end(), part.begin(), part.end());
    EXPECT_EQ(server.Read(want.size()), want);

    // In: two frames with noise between them, written in awkward pieces.
    auto stream = Frame(0x30, 0x00, {9, 8, 7});
    stream.insert(stream.end(), {'x', 'H', 'E'});
    auto second = Frame(0x31, 0x01, std::vector<uint8_t>(1024, 0x55));
    stream.insert(stream.end(), second.begin(), second.end());
    server.Write({stream.begin(), stream.begin() + 5});
    PumpFor(20);
    server.Write({stream.begin() + 5, stream.end()});
    ASSERT_TRUE(WaitUntil([&] { return view.Packets().size() == 2; }));
    EXPECT_EQ(view.Packets()[0], (ReceivedPacket{0x30, 0x00, {9, 8, 7}}));
    EXPECT_EQ(view.Packets()[1], (ReceivedPacket{0x31, 0x01, std::vector<uint8_t>(1024, 0x55)}));

    // The reader writes its last line from its own thread: it may end before or after the
    // closer says it waits, but always between the closer's first and last lines.
    std::mutex logLock;
    std::vector<std::string> log;
    SetDebugSink([&](const std::string &l) {
        std::lock_guard lock(logLock);
        log.push_back(l);
    });
    EXPECT_TRUE(link.Disconnect());
    SetDebugSink({});
    EXPECT_TRUE(server.PeerClosed());
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log.front(), "DvrTcp ReadThread Terminate....");
    EXPECT_EQ(log.back(), "DvrTcp ReadThread Terminateddddd....");
    EXPECT_TRUE(std::is_permutation(log.begin() + 1, log.end() - 1,
                                    std::vector<std::string>{"DvrTcp ReadThread Waiting....", "DvrTcp End Thread.............."}.begin()));
    EXPECT_EQ(view.Events().back(), "disconnected");
    EXPECT_FALSE(link.SocketActive());
    EXPECT_FALSE(link.Send(0x21, 0, nullptr, 0));
    link.Close();
    EXPECT_FALSE(link.SocketExists());
}

// A live stream comes in bursts much larger than one receive: frames that straddle two
// receives, and noise between them, still come out whole and in order.
TEST_F(TcpLink, BurstsLargerThanOneReceiveArriveWhole)
{
    ConnectLink();
    std::vector<uint8_t> burst;
    std::vector<ReceivedPacket> want;
    for (int i = 0; i < 300; ++i) {
        std::vector<uint8_t> payload(size_t(1 + i * 37 % 1024), uint8_t(i));
        auto f = Frame(0x40, uint8_t(i), payload);
        burst.insert(burst.end(), f.begin(), f.end());
        if (i % 50 == 7)
            burst.insert(burst.end(), {'H', 'E', 'x'});
        want.push_back(ReceivedPacket{0x40, uint8_t(i), payload});
    }
    ASSERT_GT(burst.size(), 128u * 1024);
    server.Write(burst);
    ASSERT_TRUE(WaitUntil([&] { return view.Packets().size() == want.size(); }));
    EXPECT_EQ(view.Packets(), want);
    EXPECT_TRUE(link.Disconnect());
}

TEST_F(TcpLink, RefusedConnectReportsAndLaterSendsFail)
{
    const std::string lang = testing::TempDir() + "links_lang_" + std::to_string(::getpid()) + ".txt";
    FILE *f = std::fopen(lang.c_str(), "w");
    std::fputs("Connecting to\nplease wait\nCannot reach the recorder\n", f);
    std::fclose(f);
    GetLangTable().Load(lang);

    server.StopListening();
    ASSERT_TRUE(link.Init(&record));
    ASSERT_TRUE(link.Connect());
    ASSERT_TRUE(WaitUntil([&] { return link.SocketError() != 0; }));
    EXPECT_EQ(link.SocketError(), uint32_t(ECONNREFUSED));
    EXPECT_EQ(view.Events(), std::vector<std::string>{"message:Cannot reach the recorder"});
    EXPECT_FALSE(link.Send(0x01, 0, nullptr, 0));
    link.Close();
    EXPECT_EQ(view.Events(), std::vector<std::string>{"message:Cannot reach the recorder"});
    GetLangTable().Clear();
    std::remove(lang.c_str());

    // Init sets the link up again: the error is forgotten.
    ASSERT_TRUE(link.Init(&record));
    EXPECT_EQ(link.SocketError(), 0u);

    // A port that does not fit 16 bits is an error too.
    record.port = 65536 + server.port;
    ASSERT_TRUE(link.Init(&record));
    ASSERT_TRUE(link.Connect());
    ASSERT_TRUE(WaitUntil([&] { return link.SocketError() != 0; }));
    EXPECT_EQ(link.SocketError(), uint32_t(EINVAL));
    EXPECT_FALSE(link.SocketActive());
    link.Close();
}

TEST_F(TcpLink, RemoteCloseReachesTheView)
{
    for (bool reset : {false, true}) {
        SCOPED_TRACE(reset ? "reset" : "orderly close");
        RecordingView v;
        CDvrTcp l{&v};
        ASSERT_TRUE(l.Init(&record));
        ASSERT_TRUE(l.Connect());
        ASSERT_TRUE(server.Accept());
        ASSERT_TRUE(WaitUntil([&] { return v.IsConnected(); }));
        server.Write(Frame(0x40, 0, {1}));
        server.CloseClient(reset);
        ASSERT_TRUE(WaitUntil([&] { return !v.IsConnected(); }));
        EXPECT_FALSE(l.Send(0x01, 0, nullptr, 0));
        l.Close();
        auto want = std::vector<std::string>{"connected", "packet", "disconnected"};
        if (reset) // a reset may arrive before the packet is read
            want = {"connected", "message:Disconnected from DVR", "disconnected"};
        auto got = v.Events();
        if (reset && got.size() == 4)
            got.erase(got.begin() + 1);
        EXPECT_EQ(got, want);
    }
}

TEST_F(TcpLink, CloseBeforeOrDuringConnect)
{
    // Never connected: no thread, an inactive socket, nothing reported.
    ASSERT_TRUE(link.Init(&record));
    EXPECT_TRUE(link.SocketExists());
    link.Close();
    EXPECT_FALSE(link.SocketExists());
    link.Close();

    // Closed while the connect is still on its way: the view hears nothing afterwards.
    CDvrTcp pending{&view};
    ASSERT_TRUE(pending.Init(&record));
    ASSERT_TRUE(pending.Connect());
    pending.Close();
    PumpFor(50);
    for (auto &e : view.Events())
        EXPECT_NE(e, "connected");
}

// The reader hands a packet to the UI thread and waits; the UI thread meanwhile stops the link.
TEST_F(TcpLink, DisconnectWhileAPacketIsHandedOver)
{
    ConnectLink();
    std::atomic<int> handOvers{0};
    std::atomic<bool> ran{false};
    view.onPacket = [&](const PacketHeader &) {
        ++handOvers;
        RunOnUiThreadBlocking([&] { ran = true; }, link.StopFlag());
    };
    server.Write(Frame(0x50, 0, {1, 2}));
    server.Write(Frame(0x51, 0, {3}));
    // Wait without pumping events: the hand-over stays pending.
    for (int i = 0; i < 500 && handOvers == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_EQ(handOvers, 1);
    EXPECT_TRUE(link.Disconnect());
    const size_t packets = view.Packets().size();
    PumpFor(50);
    EXPECT_FALSE(ran);
    EXPECT_EQ(view.Packets().size(), packets);
    EXPECT_EQ(view.Events().back(), "disconnected");
}

// A recorder that stays connected and keeps pushing its 16 channels but never reads: a send
// gives up after its time-out, the link drops and the view hears "disconnected".
TEST_F(TcpLink, ARecorderThatStopsReadingIsDropped)
{
    ConnectLink();
    view.onPacket = nullptr;
    std::atomic<bool> pushing{true};
    std::thread pusher([&] {
        std::vector<uint8_t> payload(256);
        for (uint8_t ch = 0; pushing; ch = uint8_t((ch + 1) % 16)) {
            payload[0] = ch;
            if (!server.TryWrite(Frame(0x40, ch, payload)))
                break;
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    });
    link.SetSendTimeoutMs(300);
    std::atomic<bool> done{false};
    std::atomic<int64_t> lastSendMs{0};
    std::thread sender([&] {
        std::vector<uint8_t> big(kMaxPayload, 0x5A);
        for (;;) {
            const auto t0 = std::chrono::steady_clock::now();
            const bool ok = link.Send(0x21, 0, big.data(), int(big.size()));
            lastSendMs = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
            if (!ok)
                break;
        }
        done = true;
    });
    const bool gaveUp = WaitUntil([&] { return done.load(); }, 10000);
    EXPECT_TRUE(gaveUp) << "the send never returned";
    if (!gaveUp)
        link.Close(); // stops the stuck sender so the test can end
    sender.join();
    EXPECT_LT(lastSendMs, 3000);
    EXPECT_TRUE(WaitUntil([&] { return view.Count("disconnected") == 1; }));
    EXPECT_EQ(view.Count("message:Disconnected from DVR"), 1u);
    EXPECT_FALSE(link.SocketActive());
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(link.Send(0x01, 0, nullptr, 0)); // fails at once
    link.Close();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(1000));
    pushing = false;
    pusher.join();
}

// Closing the link returns promptly while another thread's send waits on a full socket.
TEST_F(TcpLink, CloseReturnsWhileASendWaits)
{
    ConnectLink();
    std::atomic<bool> done{false};
    std::thread sender([&] {
        std::vector<uint8_t> big(kMaxPayload, 0x5A);
        while (link.Send(0x21, 0, big.data(), int(big.size()))) {
        }
        done = true;
    });
    // The socket's buffers fill within a moment; then the sender waits.
    PumpFor(300);
    EXPECT_FALSE(done);
    const auto t0 = std::chrono::steady_clock::now();
    link.Close();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(1000));
    EXPECT_TRUE(WaitUntil([&] { return done.load(); }, 1000));
    sender.join();
}
