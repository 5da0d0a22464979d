#pragma once
// A viewer logged in to dvrsim on loopback, as the administration dialogs meet it: the
// protocol core behind the dialog services a view gives, over the viewer's own TCP link.
#include "tests/dvrsim/simtest.h"

#include "viewer/admin/dvrservices.h"
#include "viewer/link/dvrlink.h"

#include <QApplication>

#include <memory>

namespace strandel::test {

// The dialog services over a bare protocol core, as a view would give them.
class CoreServices : public DvrServices {
public:
    explicit CoreServices(DvrWinCore &core) : core_(core) {}
    bool SendCommandEx(uint8_t cmd, uint8_t flag, const uint8_t *data, int length) override
    {
        return core_.SendCommandEx(cmd, flag, data, length);
    }
    bool SendUpload(uint8_t cmd, const uint8_t *data, size_t length) override { return core_.SendUpload(cmd, data, length); }
    int GetChannelCount() const override { return core_.GetChannelCount(); }
    std::string GetRecordPath() const override { return "."; }
    bool IsLoggedIn() const override { return core_.IsLoggedIn(); }
    uint8_t GetModel() const override { return core_.GetModel(); }
    uint8_t GetVideoStandard() const override { return core_.GetVideoStandard(); }
    bool StartNetCopy(const std::string &name) override { return core_.StartNetCopy(name); }
    bool IsCopying() const override { return core_.IsCopying(); }
    void CancelNetCopy() override { core_.CancelNetCopy(); }
    void OpenUpgradeDialog() override {}

private:
    DvrWinCore &core_;
};

// Serves the UI thread (the QApplication of the test run) until cond holds; a hang guard.
inline bool Wait(SimView &view, const std::function<bool()> &cond, int boundMs = 20000)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        view.RunPending();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// A simulator with those options and a viewer connected to it; LoggedIn() waits for the login.
struct SimClient {
    explicit SimClient(sim::SimOptions options) : server(std::move(options)), core(view, FakeWriterFactory(writer))
    {
        std::string error;
        started = server.Start(error);
        EXPECT_TRUE(started) << error;
        view.core = &core;
        record.kind = uint8_t(DvrKind::Network);
        record.ip = {127, 0, 0, 1};
        record.port = uint16_t(server.TcpPort());
        link = std::make_unique<CDvrTcp>(&view);
        EXPECT_TRUE(link->Init(&record));
        core.SetConnection(link.get());
        EXPECT_TRUE(started && link->Connect());
    }
    ~SimClient()
    {
        link->Close();
        core.SetConnection(nullptr);
        server.Stop();
    }
    bool LoggedIn() { return started && Wait(view, [&] { return core.IsLoggedIn(); }); }
    std::vector<uint8_t> Env() { return server.WithRecorder([](sim::SimRecorder &r) { return r.Env(); }); }

    sim::DvrSimServer server;
    bool started = false;
    SimView view;
    FakeWriterState writer;
    DvrWinCore core;
    DvrListRecord record;
    std::unique_ptr<CDvrTcp> link;
    CoreServices services{core};
};

} // namespace strandel::test
