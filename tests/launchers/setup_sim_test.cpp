// The set-up editor opened from a real recorder view connected to dvrsim on loopback: the
// record is fetched into the editor, one field is changed and sent, and dvrsim keeps exactly
// that change.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include <chrono>
#include <functional>

#include "tools/dvrsim/simserver.h"
#include "viewer/admin/dvrenv.h"
#include "viewer/protocol/dvrwincore.h"
#include "viewer/view/dvrwin.h"

using namespace strandel;

namespace {

bool Spin(const std::function<bool()> &cond)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

} // namespace

TEST(SetupFromAView, FetchEditSendAgainstTheSimulator)
{
    sim::SimOptions options;
    options.listenHost = "127.0.0.1";
    options.listenPort = 0;
    options.fps = 1;
    options.channels = 16;
    sim::DvrSimServer server(options);
    std::string error;
    ASSERT_TRUE(server.Start(error)) << error;

    auto *view = new TfrmDvrWin;
    QPointer<TfrmDvrWin> alive(view);
    DvrListRecord record;
    record.kind = uint8_t(DvrKind::Network);
    record.ip = {127, 0, 0, 1};
    record.port = server.TcpPort();
    SetField(record.name, "sim");
    ASSERT_TRUE(view->CreateConnection(&record));
    ASSERT_TRUE(view->StartConnection());
    ASSERT_TRUE(Spin([&] { return view->IsLoggedIn(); }));

    frmDvrEnv = new TfrmDvrEnv;
    const std::vector<uint8_t> before = server.WithRecorder([](sim::SimRecorder &r) { return r.Env(); });
    std::vector<uint8_t> after;
    bool ran = false;
    QTimer::singleShot(0, [&] {
        ran = true;
        EXPECT_TRUE(Spin([] { return frmDvrEnv->isVisible() && frmDvrEnv->IsLoaded(); }));
        EXPECT_EQ(frmDvrEnv->Record(), before);
        EXPECT_EQ(frmDvrEnv->ChannelCount(), 16);
        if (auto *seq = qobject_cast<QSpinBox *>(frmDvrEnv->Control("edtSeqTime16")))
            seq->setValue(33);
        frmDvrEnv->btnUpdate->click();
        EXPECT_TRUE(Spin([&] {
            after = server.WithRecorder([](sim::SimRecorder &r) { return r.Env(); });
            return after != before;
        }));
        frmDvrEnv->btnCancel->click();
    });
    view->OpenSetupDialog();
    EXPECT_TRUE(ran);
    EXPECT_EQ(frmDvrEnv->result(), kModalResultCancel);
    ASSERT_EQ(after.size(), before.size());
    std::vector<size_t> changed;
    for (size_t i = 0; i < after.size(); ++i)
        if (after[i] != before[i])
            changed.push_back(i);
    EXPECT_EQ(changed, std::vector<size_t>{48});
    EXPECT_EQ(after[48], 33);

    delete frmDvrEnv;
    frmDvrEnv = nullptr;
    if (alive) {
        view->CloseConnection();
        delete view;
    }
    server.Stop();
}

// The editor opened on one recorder and then on another whose titles have not come yet:
// Download refuses, and the second recorder keeps its own titles.
TEST(SetupFromAView, AnotherRecordersTitlesAreNeverSent)
{
    std::vector<std::unique_ptr<sim::DvrSimServer>> servers;
    std::vector<std::unique_ptr<TfrmDvrWin>> views;
    std::vector<DvrListRecord> records(2);
    for (int i = 0; i < 2; ++i) {
        sim::SimOptions options;
        options.listenHost = "127.0.0.1";
        options.listenPort = 0;
        options.fps = 1;
        servers.push_back(std::make_unique<sim::DvrSimServer>(options));
        std::string error;
        ASSERT_TRUE(servers[i]->Start(error)) << error;
        records[i].kind = uint8_t(DvrKind::Network);
        records[i].ip = {127, 0, 0, 1};
        records[i].port = servers[i]->TcpPort();
        SetField(records[i].name, i == 0 ? "a" : "b");
        views.push_back(std::make_unique<TfrmDvrWin>());
        ASSERT_TRUE(views[i]->CreateConnection(&records[i]));
        ASSERT_TRUE(views[i]->StartConnection());
    }
    ASSERT_TRUE(Spin([&] { return views[0]->IsLoggedIn() && views[1]->IsLoggedIn(); }));
    const std::vector<uint8_t> titlesA(size_t(kTitleBitmapsSize), 0xA5);
    servers[0]->WithRecorder([&](sim::SimRecorder &r) { return r.StoreTitles(titlesA); });
    const std::vector<uint8_t> titlesB = servers[1]->WithRecorder([](sim::SimRecorder &r) { return r.Titles(); });
    ASSERT_NE(titlesA, titlesB);

    frmDvrEnv = new TfrmDvrEnv;
    std::vector<QString> messages;
    frmDvrEnv->showMessage = [&](const QString &text) { messages.push_back(text); };
    // Recorder A: its titles arrive.
    QTimer::singleShot(0, [&] {
        EXPECT_TRUE(Spin([&] { return frmDvrEnv->TitleBitmaps() == titlesA; }));
        // Each recorder's set-up says whose it is.
        EXPECT_EQ(frmDvrEnv->windowTitle(), "Dvr Env - a(127.0.0.1)");
        frmDvrEnv->btnCancel->click();
    });
    views[0]->OpenSetupDialog();
    // Recorder B, held so that nothing of it arrives while the editor is open: Download waits.
    servers[1]->WithRecorder([&](sim::SimRecorder &) {
        QTimer::singleShot(0, [&] {
            EXPECT_TRUE(frmDvrEnv->HddMap().empty()); // nor A's disks
            EXPECT_EQ(frmDvrEnv->windowTitle(), "Dvr Env - b(127.0.0.1)");
            frmDvrEnv->btnDownClick();
            frmDvrEnv->btnCancel->click();
        });
        views[1]->OpenSetupDialog();
        return 0;
    });
    EXPECT_EQ(messages, std::vector<QString>{"The titles have not arrived from the DVR yet."});
    // What B was sent it has handled once its answers to the fetch have gone out.
    const int alive = servers[1]->AliveCount();
    views[1]->Services().SendCommand(DvrCmdAlive);
    ASSERT_TRUE(Spin([&] { return servers[1]->AliveCount() > alive; }));
    EXPECT_TRUE(servers[1]->WithRecorder([](sim::SimRecorder &r) { return r.Titles(); }) == titlesB);

    delete frmDvrEnv;
    frmDvrEnv = nullptr;
    for (auto &v : views)
        v->CloseConnection();
    for (auto &s : servers)
        s->Stop();
}
