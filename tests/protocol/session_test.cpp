// Whole sessions: against an in-process recorder whose replies come from a reader thread, and
// against a recorder behind a loopback TCP socket reached through the real link.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <deque>

#include "recorder_stub.h"

using namespace strandel;
using namespace strandel::test;

namespace {

// Answers on its own reader thread, as a TCP link delivers packets (long replies segmented).
class ThreadRecorder : public CDvrBase {
public:
    explicit ThreadRecorder(DvrWinCore &core) : CDvrBase(nullptr), core_(core), reader_([this] { Read(); }) {}
    ~ThreadRecorder() override
    {
        stopping_ = true;
        {
            std::lock_guard l(mutex_);
            stop_ = true;
        }
        cond_.notify_all();
        reader_.join();
    }
    bool Send(uint8_t cmd, uint8_t flag, const uint8_t *data, int length) override
    {
        for (auto &p : stub.Answer(MakePacket(cmd, flag, {data, data + length}))) {
            std::vector<Packet> wire = p.payload.size() > size_t(kMaxPayload)
                                           ? SegmentedReply(p.header.cmd, p.payload)
                                           : std::vector<Packet>{p};
            std::lock_guard l(mutex_);
            queue_.insert(queue_.end(), wire.begin(), wire.end());
        }
        cond_.notify_all();
        return true;
    }
    RecorderStub stub;

private:
    void Read()
    {
        std::unique_lock l(mutex_);
        for (;;) {
            cond_.wait(l, [this] { return stop_ || !queue_.empty(); });
            if (stop_)
                return;
            Packet p = std::move(queue_.front());
            queue_.pop_front();
            l.unlock();
            core_.OnPacket(p.header, p.payload.data());
            l.lock();
        }
    }

    DvrWinCore &core_;
    std::mutex mutex_;
    std::condition_variable cond_;
    std::deque<Packet> queue_;
    bool stop_ = false;
    std::thread reader_;
};

// The part of the session both tests share, once the view is connected.
void RunSession(DvrWinCore &core, FakeView &view, FakeDialogs &dialogs, const std::vector<uint8_t> &envRecord)
{
    // The login answer sets the view up; live records follow.
    ASSERT_TRUE(Serve(view, [&] { return core.IsLoggedIn(); }));
    EXPECT_EQ(core.GetChannelCount(), 4);
    ASSERT_TRUE(Serve(view, [&] { return ShownCount(view) == 3; }));
    core.StartRecord("Save/session.dvr");

    core.Dialogs().setup = &dialogs;
    core.SendCommand(DvrCmdEnvGet, nullptr, 0);
    ASSERT_TRUE(Serve(view, [&] { return dialogs.calls.size() == 3; }));
    EXPECT_EQ(dialogs.calls[2], "env record 1 36");

    core.SendUpload(DvrCmdEnvSet, envRecord.data(), envRecord.size());
    ASSERT_TRUE(Serve(view, [&] { return ViewSaw(view, "msgwin Success !!"); }));

    core.SetModeState(DvrModePlayback);
    core.SendPlayTime(0, 0, {20, 26, 12, 10, 13, 0, 0});
    ASSERT_TRUE(Serve(view, [&] { return ShownCount(view) == 5; }));
    EXPECT_TRUE(ViewSaw(view, "range 0 50"));
    EXPECT_TRUE(ViewSaw(view, "times 2026/12/10  13:00:00 - 2026/12/10  13:00:00"));
    core.SendPlayControl(1, 4, 0, PlayDirForward);
    ASSERT_TRUE(Serve(view, [&] { return ViewSaw(view, "state >>4"); }));

    std::lock_guard l(view.mutex);
    EXPECT_EQ(view.shown[4].first.frameId, 11);
    EXPECT_EQ(view.shown[4].second, std::vector<uint8_t>(3000, 11));
}

} // namespace

TEST(Session, InProcessRecorderOnAReaderThread)
{
    TestApp();
    FakeView view;
    FakeWriterState writer;
    FakeDialogs dialogs;
    DvrWinCore core(view, FakeWriterFactory(writer));
    {
        ThreadRecorder recorder(core);
        core.SetConnection(&recorder);
        // Refused first: the password dialog's answer logs in.
        view.password = "1234";
        core.SendLogin("admin", "wrong");
        RunSession(core, view, dialogs, recorder.stub.envRecord);
        core.SetConnection(nullptr);
    }
    // Playback records are written as they come; the live ones came before the recording started.
    ASSERT_EQ(writer.records.size(), 2u);
    EXPECT_EQ(writer.records[0].second.size(), 3020u);
}

namespace {

// A recorder on 127.0.0.1 with a kernel-chosen port, answering on its own thread.
class LoopbackRecorder {
public:
    LoopbackRecorder()
    {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::bind(listen_, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
        EXPECT_EQ(::listen(listen_, 1), 0);
        socklen_t len = sizeof a;
        ::getsockname(listen_, reinterpret_cast<sockaddr *>(&a), &len);
        port = ntohs(a.sin_port);
        thread_ = std::thread([this] { Run(); });
    }
    ~LoopbackRecorder()
    {
        stop_ = true;
        thread_.join();
        ::close(listen_);
    }
    int port = 0;
    RecorderStub stub;

private:
    void Run()
    {
        int client = -1;
        TcpReceiver rx;
        while (!stop_) {
            pollfd p{client < 0 ? listen_ : client, POLLIN, 0};
            if (::poll(&p, 1, 10) <= 0)
                continue;
            if (client < 0) {
                client = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
                continue;
            }
            uint8_t buf[4096];
            const ssize_t n = ::recv(client, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            rx.Feed(buf, size_t(n), [&](const PacketHeader &h, const uint8_t *payload) {
                for (auto &reply : stub.Answer(MakePacket(h.cmd, h.flag, {payload, payload + h.length})))
                    SendSegmented(reply.header.cmd, reply.header.flag, reply.payload.data(), int(reply.payload.size()),
                                  [&](uint8_t c, uint8_t f, const uint8_t *d, uint32_t len) {
                                      std::vector<uint8_t> frame(kTcpFrameOverhead + len);
                                      BuildTcpFrame(frame.data(), c, f, d, len);
                                      return ::send(client, frame.data(), frame.size(), MSG_NOSIGNAL) ==
                                             ssize_t(frame.size());
                                  });
            });
        }
        if (client >= 0)
            ::close(client);
    }

    int listen_ = -1;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The view as a link sees it: it logs in when connected and hands packets to its core.
class LinkedView : public FakeView, public DvrViewLink {
public:
    void OnConnected() override
    {
        connected = true;
        if (core)
            core->SendLogin("", "1234");
    }
    void OnDisconnected() override { connected = false; }
    void ShowMessageText(const std::string &text) override { FakeView::ShowMessageText(text); }
    bool IsConnected() const override { return connected; }
    void OnPacket(const PacketHeader &header, const uint8_t *payload) override { core->OnPacket(header, payload); }

    DvrWinCore *core = nullptr;
    std::atomic<bool> connected{false};
};

} // namespace

TEST(Session, RecorderBehindALoopbackSocket)
{
    TestApp();
    LoopbackRecorder recorder;
    LinkedView view;
    FakeWriterState writer;
    FakeDialogs dialogs;
    DvrWinCore core(view, FakeWriterFactory(writer));
    view.core = &core;
    DvrListRecord record;
    record.kind = uint8_t(DvrKind::Network);
    record.ip = {127, 0, 0, 1};
    record.port = recorder.port;
    CDvrTcp link(&view);
    ASSERT_TRUE(link.Init(&record));
    core.SetConnection(&link);
    ASSERT_TRUE(link.Connect());
    RunSession(core, view, dialogs, recorder.stub.envRecord);
    link.Close();
    core.SetConnection(nullptr);
    EXPECT_EQ(writer.records.size(), 2u);
}
