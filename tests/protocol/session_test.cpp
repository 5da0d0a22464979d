// A whole session against a small in-process recorder: its replies come from a reader thread
// as a TCP link delivers them, and the test thread serves as the UI thread.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <chrono>
#include <condition_variable>
#include <deque>

#include "protocol_fakes.h"

using namespace strandel;
using namespace strandel::test;

namespace {

class FakeRecorder : public CDvrBase {
public:
    explicit FakeRecorder(DvrWinCore &core) : CDvrBase(nullptr), core_(core), reader_([this] { Read(); }) {}
    void Stop() { stopping_ = true; }
    ~FakeRecorder() override
    {
        {
            std::lock_guard l(mutex_);
            stop_ = true;
        }
        cond_.notify_all();
        reader_.join();
    }

    // Requests arrive here; replies queue up for the reader thread.
    bool Send(uint8_t cmd, uint8_t flag, const uint8_t *data, int length) override
    {
        const std::vector<uint8_t> in(data, data + length);
        requests.push_back(MakePacket(cmd, flag, in));
        switch (cmd) {
        case DvrCmdLogin:
            if (std::string(in.begin() + 8, in.end()).c_str() == std::string("1234")) {
                Reply(MakePacket(DvrCmdLogin, 0, {DvrLoginMaster, 4, 0x01, 0, 1, 2, 3, 4, 5}));
                for (uint8_t id = 1; id <= 3; ++id)
                    PushRecord(id, FrameKindLive);
            } else {
                Reply(MakePacket(DvrCmdLogin, 0, {DvrLoginDenied, 0, 0, 0, 0, 0, 0, 0, 0}));
            }
            break;
        case DvrCmdEnvGet:
            Reply(SegmentedReply(DvrCmdEnvGet, envRecord));
            break;
        case DvrCmdEnvSet:
            if (flag == DvrFlagBlockBegin)
                upload.clear();
            else if (flag == DvrFlagBlockEnd)
                Reply(MakePacket(DvrCmdEnvSet, 0, {uint8_t(upload == envRecord ? 1 : 0)}));
            else
                upload.insert(upload.end(), in.begin(), in.end());
            break;
        case DvrCmdPlay:
            if (!in.empty() && in[0] == PT_PLAY && in.size() == 5) {
                Reply(MakePacket(DvrCmdPlay, 0, in));
            } else if (!in.empty() && in[0] == PLAY_TIME) {
                std::vector<uint8_t> info = {INFO_RECTIME, 0, 0, 0, 0, 50, 0, 0, 0};
                for (int k = 0; k < 2; ++k)
                    info.insert(info.end(), in.begin() + 3, in.end());
                Reply(MakePacket(DvrCmdPlayInfo, 0, info));
                PushRecord(10, FrameKindPlayback);
                PushRecord(11, FrameKindPlayback);
            }
            break;
        default:
            break;
        }
        return true;
    }

    std::vector<Packet> requests;
    std::vector<uint8_t> envRecord = std::vector<uint8_t>(kDvrEnvRecordSize, 0x24);
    std::vector<uint8_t> upload;

private:
    void Reply(Packet p) { Reply(std::vector<Packet>{std::move(p)}); }
    void Reply(const std::vector<Packet> &packets)
    {
        {
            std::lock_guard l(mutex_);
            queue_.insert(queue_.end(), packets.begin(), packets.end());
        }
        cond_.notify_all();
    }
    void PushRecord(uint8_t id, uint8_t kind)
    {
        FrameRecordHeader h;
        h.channel = 1;
        h.frameId = id;
        h.kind = kind;
        h.partSize = {3000, 20, 0};
        const std::vector<uint8_t> parts[3] = {std::vector<uint8_t>(3000, id), std::vector<uint8_t>(20, 0xEE), {}};
        Reply(RecordPackets(h, parts));
    }
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

// Serves the UI thread until the condition holds (a guard, not a timing check).
template <typename Cond> bool Serve(FakeView &view, Cond cond)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        view.RunPending();
    }
    return true;
}

} // namespace

TEST(Session, LogsInReceivesRecordsAndRepliesAndSendsRequests)
{
    int argc = 1;
    char name[] = "protocol_tests";
    char *argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    FakeView view;
    FakeWriterState writer;
    FakeDialogs dialogs;
    DvrWinCore core(view, FakeWriterFactory(writer));
    {
        FakeRecorder recorder(core);
        core.SetConnection(&recorder);

        // A refused login asks for the password, which logs in and starts the live records.
        view.password = "1234";
        core.SendLogin("admin", "wrong");
        ASSERT_TRUE(Serve(view, [&] { return core.IsLoggedIn(); }));
        EXPECT_EQ(core.GetChannelCount(), 4);
        ASSERT_TRUE(Serve(view, [&] {
            std::lock_guard l(view.mutex);
            return view.shown.size() == 3;
        }));
        core.StartRecord("Save/session.dvr");

        core.Dialogs().setup = &dialogs;
        core.SendCommand(DvrCmdEnvGet, nullptr, 0);
        ASSERT_TRUE(Serve(view, [&] { return dialogs.calls.size() == 3; }));
        EXPECT_EQ(dialogs.calls[2], "env record 1 36");

        core.SendUpload(DvrCmdEnvSet, recorder.envRecord.data(), recorder.envRecord.size());
        auto has = [&](const std::string &line) {
            std::lock_guard l(view.mutex);
            return std::find(view.calls.begin(), view.calls.end(), line) != view.calls.end();
        };
        ASSERT_TRUE(Serve(view, [&] { return has("msgwin Success !!"); }));

        core.SetModeState(DvrModePlayback);
        core.SendPlayTime(0, 0, {20, 26, 12, 10, 13, 0, 0});
        ASSERT_TRUE(Serve(view, [&] {
            std::lock_guard l(view.mutex);
            return view.shown.size() == 5;
        }));
        EXPECT_TRUE(has("range 0 50"));
        EXPECT_TRUE(has("times 2026/12/10  13:00:00 - 2026/12/10  13:00:00"));
        core.SendPlayControl(1, 4, 0, PlayDirForward);
        ASSERT_TRUE(Serve(view, [&] { return has("state >>4"); }));

        recorder.Stop();
        core.SetConnection(nullptr);
        std::lock_guard l(view.mutex);
        EXPECT_EQ(view.shown[4].first.frameId, 11);
        EXPECT_EQ(view.shown[4].second, std::vector<uint8_t>(3000, 11));
    }
    // Playback records are written as they come; the live ones came before the recording started.
    EXPECT_EQ(writer.records.size(), 2u);
    EXPECT_EQ(writer.records[0].second.size(), 3020u);
}
