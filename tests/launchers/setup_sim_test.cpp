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
