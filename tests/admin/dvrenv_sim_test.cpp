// The set-up editor against dvrsim on loopback: fetch, change one field, send; the simulator
// keeps exactly what was sent and hands it back on the next fetch.
#include "tests/admin/simclient.h"

#include "viewer/admin/dvrenv.h"

#include <QApplication>
#include <QComboBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QSpinBox>

#include <fstream>
#include <set>
#include <sstream>
#include <unistd.h>

using namespace strandel;
using namespace strandel::test;

namespace {

int CountLines(const std::string &path, const std::string &prefix)
{
    std::ifstream in(path);
    std::string line;
    int n = 0;
    while (std::getline(in, line))
        n += line.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
}

} // namespace

TEST(DvrEnvSim, FetchChangeOneFieldSendAndOnlyItsBytesDiffer)
{
    auto options = LoopbackOptions();
    options.channels = 8;
    options.transcript = testing::TempDir() + "dvrenv_sim_" + std::to_string(::getpid()) + ".txt";
    sim::DvrSimServer server(options);
    std::string error;
    ASSERT_TRUE(server.Start(error)) << error;

    SimView view;
    FakeWriterState writer;
    DvrWinCore core(view, FakeWriterFactory(writer));
    view.core = &core;
    DvrListRecord record;
    record.kind = uint8_t(DvrKind::Network);
    record.ip = {127, 0, 0, 1};
    record.port = server.TcpPort();
    CDvrTcp link(&view);
    ASSERT_TRUE(link.Init(&record));
    core.SetConnection(&link);
    ASSERT_TRUE(link.Connect());
    ASSERT_TRUE(Wait(view, [&] { return core.IsLoggedIn(); }));

    CoreServices services(core);
    TfrmDvrEnv env;
    env.SetDvr(&services);
    core.Dialogs().setup = &env;
    env.btnLoadClick();
    ASSERT_TRUE(Wait(view, [&] { return env.IsLoaded() && env.HddMap().size() == 16 && env.TitleBitmaps().size() == 2304; }));
    const std::vector<uint8_t> before = server.WithRecorder([](sim::SimRecorder &r) { return r.Env(); });
    EXPECT_EQ(env.Record(), before);
    EXPECT_EQ(env.ChannelCount(), 8);

    auto *seq = qobject_cast<QSpinBox *>(env.Control("edtSeqTime16"));
    ASSERT_NE(seq, nullptr);
    seq->setValue(17);
    env.btnUpdateClick();
    ASSERT_TRUE(Wait(view, [&] { return view.Saw("msgwin Success !!"); }));
    const std::vector<uint8_t> after = server.WithRecorder([](sim::SimRecorder &r) { return r.Env(); });
    ASSERT_EQ(after.size(), before.size());
    std::vector<size_t> changed;
    for (size_t i = 0; i < after.size(); ++i)
        if (after[i] != before[i])
            changed.push_back(i);
    EXPECT_EQ(changed, std::vector<size_t>{48});
    EXPECT_EQ(after[48], 17);

    // The next fetch shows what was sent.
    seq->setValue(0);
    env.btnLoadClick();
    ASSERT_TRUE(Wait(view, [&] { return seq->value() == 17; }));

    // A record program's post-event time and the shared pre-event byte from another channel's
    // edit: only those two bytes of program 0 change.
    auto *post = qobject_cast<QSpinBox *>(env.Control("edtPostTime0"));
    auto *pre = qobject_cast<QSpinBox *>(env.Control("edtPreTime1"));
    ASSERT_TRUE(post && pre);
    const int postWas = post->value(), preWas = pre->value();
    post->setValue(postWas == 60 ? 59 : postWas + 1);
    pre->setValue(preWas == 5 ? 4 : preWas + 1);
    env.btnUpdateClick();
    ASSERT_TRUE(Wait(view, [&] {
        return server.WithRecorder([](sim::SimRecorder &r) { return r.Env(); }) != after;
    }));
    const std::vector<uint8_t> programs = server.WithRecorder([](sim::SimRecorder &r) { return r.Env(); });
    std::vector<size_t> moved;
    for (size_t i = 0; i < programs.size(); ++i)
        if (programs[i] != after[i])
            moved.push_back(i);
    EXPECT_EQ(moved, (std::vector<size_t>{size_t(kEnvProgramOffset + 194), size_t(kEnvProgramOffset + 195)}));
    EXPECT_EQ(programs[size_t(kEnvProgramOffset + 195)], post->value());
    EXPECT_EQ(programs[size_t(kEnvProgramOffset + 194)], pre->value());

    // A fixed bay the recorder has and the play mode of the recording-options page: only their
    // two bytes change; the external disks it lacks keep theirs.
    auto *bay = qobject_cast<QComboBox *>(env.Control("edtHddMode1"));
    auto *play = qobject_cast<QComboBox *>(env.Control("edtPlayMode"));
    ASSERT_TRUE(bay && play);
    EXPECT_TRUE(bay->isEnabled());
    EXPECT_FALSE(env.Control("edtExtHddMode0")->isEnabled());
    bay->setCurrentIndex(1 - bay->currentIndex());
    play->setCurrentIndex(play->currentIndex() == 0 ? 1 : 0);
    env.btnUpdateClick();
    ASSERT_TRUE(Wait(view, [&] {
        return server.WithRecorder([](sim::SimRecorder &r) { return r.Env(); }) != programs;
    }));
    const std::vector<uint8_t> disks = server.WithRecorder([](sim::SimRecorder &r) { return r.Env(); });
    std::vector<size_t> edited;
    for (size_t i = 0; i < disks.size(); ++i)
        if (disks[i] != programs[i])
            edited.push_back(i);
    EXPECT_EQ(edited, (std::vector<size_t>{5731, 7473}));
    EXPECT_EQ(disks[7473], bay->currentIndex());
    EXPECT_EQ(disks[5731], play->currentIndex());

    link.Close();
    core.SetConnection(nullptr);
    server.Stop();
    // Three sends of twelve packets each: begin mark, ten parts, end mark.
    EXPECT_EQ(CountLines(options.transcript, "RX tcp1 cmd=12 flag=80 len=0"), 3);
    EXPECT_EQ(CountLines(options.transcript, "RX tcp1 cmd=12 flag=00 len=1000 "), 27);
    EXPECT_EQ(CountLines(options.transcript, "RX tcp1 cmd=12 flag=00 len=638 "), 3);
    EXPECT_EQ(CountLines(options.transcript, "RX tcp1 cmd=12 flag=40 len=0"), 3);
    EXPECT_EQ(CountLines(options.transcript, "RX tcp1 cmd=12 "), 36);
    std::remove(options.transcript.c_str());
}

// The one set-up editor of the program opened on each kind of recorder in turn: every tab
// the recorder has shows its caption where a click finds it.
TEST(DvrEnvSim, EachOpeningShowsEveryTabWithItsCaption)
{
    const std::pair<int, int> kinds[] = {{2, 6}, {1, 16}, {2, 16}, {0, 4}, {1, 16}, {4, 4}, {2, 6}, {7, 8}, {1, 16}};
    TfrmDvrEnv env;
    for (const auto &[variant, channels] : kinds) {
        SCOPED_TRACE(testing::Message() << "variant " << variant << ", " << channels << " channels");
        SimClient client(LoopbackRecorder(variant, channels));
        ASSERT_TRUE(client.LoggedIn());
        env.SetDvr(&client.services);
        client.core.Dialogs().setup = &env;
        env.show();
        env.btnLoadClick();
        // This recorder's record, not the one the editor held from the opening before.
        const std::vector<uint8_t> record = client.Env();
        ASSERT_TRUE(Wait(client.view, [&] {
            return env.IsLoaded() && env.RecordVariant() == variant && env.Record() == record;
        }));
        for (auto *tabs : env.findChildren<QTabWidget *>()) {
            QTabBar *bar = tabs->tabBar();
            for (int i = 0; i < tabs->count(); ++i) {
                if (!tabs->isTabVisible(i))
                    continue;
                SCOPED_TRACE(tabs->widget(i)->objectName().toStdString());
                EXPECT_FALSE(tabs->tabText(i).isEmpty());
                const QRect r = bar->tabRect(i);
                EXPECT_GE(r.width(), bar->fontMetrics().horizontalAdvance(tabs->tabText(i)));
                EXPECT_EQ(bar->tabAt(r.center()), i);
            }
        }
        // What an operator does with it: the record page's tabs one after another, each with
        // its caption drawn.
        env.PageMain->setCurrentWidget(env.PageRecord);
        QApplication::processEvents();
        QTabBar *bar = env.PageRecord->tabBar();
        const QImage shot = bar->grab().toImage();
        for (int i = 0; i < env.PageRecord->count(); ++i) {
            if (!env.PageRecord->isTabVisible(i))
                continue;
            SCOPED_TRACE(env.PageRecord->widget(i)->objectName().toStdString());
            const QRect r = bar->tabRect(i).adjusted(4, 4, -4, -4);
            std::set<QRgb> colours;
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x <= r.right(); ++x)
                    colours.insert(shot.pixel(x * shot.width() / bar->width(), y * shot.height() / bar->height()));
            EXPECT_GT(colours.size(), 2u);
            QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(i).center());
            EXPECT_EQ(env.PageRecord->currentIndex(), i);
        }
        client.core.Dialogs().setup = nullptr;
        env.hide();
        env.SetDvr(nullptr);
    }
}
