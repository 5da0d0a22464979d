// The administration dialogs against dvrsim on loopback, each as a user drives it: every record
// variant's page set fetched, edited, checked against its budget and sent; a set-up change in
// the status report; an upgrade with a made image; the tool windows and control words as the
// recorder read them.
#include "tests/admin/simclient.h"

#include "platform/endian.h"
#include "viewer/admin/dvrctrl.h"
#include "viewer/admin/dvrenv.h"
#include "viewer/admin/dvrstatus.h"
#include "viewer/admin/dvrupgrade.h"
#include "viewer/admin/pantilt.h"
#include "viewer/base/global.h"
#include "viewer/link/crc32.h"
#include "viewer/protocol/recordprogram.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QFile>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include <fstream>
#include <sstream>
#include <unistd.h>

using namespace strandel;
using namespace strandel::test;

namespace {

std::vector<size_t> Changed(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b)
{
    std::vector<size_t> out;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (a[i] != b[i])
            out.push_back(i);
    return out;
}

std::string ReadText(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class FakeMain : public MainServices {
public:
    DvrServices *GetCurrentDvrWin() const override { return current; }
    std::string GetStartDir() const override { return "."; }
    std::optional<std::string> BrowseForFolder(const std::string &, QWidget *) override { return std::nullopt; }
    std::optional<QDate> SelectDate(const QDate &, QWidget *) override { return std::nullopt; }
    DvrServices *current = nullptr;
};

void CloseMessageBoxes()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *box = qobject_cast<QMessageBox *>(w))
            box->close();
    QApplication::processEvents();
}

constexpr size_t kProgram0 = size_t(kEnvProgramOffset);

} // namespace

TEST(AdminSim, EachRecordVariantsPageSetIsFetchedEditedCheckedAndSent)
{
    struct Kind {
        const char *name;
        int variant; // -1: a recorder that answers with reply 11
        int channels;
        int groupSize;
        const char *edit;    // the one field changed: a spin edit, or a rate list of variant 4
        size_t offset;       // its byte
        std::vector<const char *> rates; // rate edits (or lists) that, at their highest, go over the budget
    };
    const Kind kinds[] = {
        {"reply 11, 8 channels", -1, 8, 1, "edtSingleNormal0", kProgram0 + prg::kNormal, {"edtSingleNormal1"}},
        {"variant 1", 1, 16, 4, "edtNormal0", kProgram0 + prg::kNormal, {"edtNormal1"}},
        {"variant 2, 16 channels", 2, 16, 8, "edtNormal0Et", kProgram0 + prg::kNormal, {"edtNormal1Et"}},
        {"variant 4, 4 channels", 4, 4, 1, "edt4120Normal0", kProgram0 + prg::kNormal,
         {"edt4120Normal1", "edt4120Normal2"}},
        {"variant 7, 8 channels: six-cell layouts", 7, 8, 1, "edtMulti6B0", 9536, {"edtSingleNormal1"}},
    };
    for (const Kind &k : kinds) {
        SCOPED_TRACE(k.name);
        auto options = LoopbackOptions();
        options.variant = k.variant;
        options.model = uint8_t(k.variant < 0 ? 0 : k.variant);
        options.channels = k.channels;
        SimClient client(options);
        ASSERT_TRUE(client.LoggedIn());
        TfrmDvrEnv env;
        QString message;
        env.showMessage = [&](const QString &text) { message = text; };
        env.SetDvr(&client.services);
        client.core.Dialogs().setup = &env;
        env.btnLoadClick();
        ASSERT_TRUE(Wait(client.view, [&] { return env.IsLoaded() && env.HddMap().size() == 16; }));
        EXPECT_EQ(env.RecordVariant(), k.variant < 0 ? 0 : k.variant);
        EXPECT_EQ(env.ChannelCount(), k.channels);
        EXPECT_EQ(env.GroupSize(), k.groupSize);
        const std::vector<uint8_t> before = client.Env();
        EXPECT_EQ(env.Record(), before);

        // One field: only its byte changes at the recorder, and the next fetch shows it.
        QWidget *w = env.Control(k.edit);
        ASSERT_NE(w, nullptr);
        ASSERT_TRUE(w->isEnabled());
        int want = 0;
        if (auto *list = qobject_cast<QComboBox *>(w)) {
            list->setCurrentIndex(list->findText("5"));
            emit list->activated(list->currentIndex());
            want = 5;
        } else {
            auto *spin = qobject_cast<QSpinBox *>(w);
            ASSERT_NE(spin, nullptr);
            want = spin->value() > spin->minimum() ? spin->value() - 1 : spin->value() + 1;
            spin->setValue(want);
        }
        env.btnUpdateClick();
        ASSERT_TRUE(Wait(client.view, [&] { return client.view.Saw("msgwin Success !!"); })) << message.toStdString();
        const std::vector<uint8_t> after = client.Env();
        EXPECT_EQ(Changed(before, after), std::vector<size_t>{k.offset});
        EXPECT_EQ(after[k.offset], want);
        env.btnLoadClick();
        ASSERT_TRUE(Wait(client.view, [&] { return env.Record()[k.offset] == want; }));
        EXPECT_EQ(env.Record(), after);

        // Over the budget: "Frame Error", and nothing goes out.
        for (const char *name : k.rates) {
            if (auto *list = qobject_cast<QComboBox *>(env.Control(name))) {
                list->setCurrentIndex(list->count() - 1);
                emit list->activated(list->currentIndex());
            } else {
                auto *rate = qobject_cast<QSpinBox *>(env.Control(name));
                ASSERT_NE(rate, nullptr);
                rate->setValue(rate->maximum());
            }
        }
        env.btnUpdateClick();
        EXPECT_EQ(message, "Frame Error");
        Wait(client.view, [] { return false; }, 300);
        client.core.Dialogs().setup = nullptr;
        EXPECT_EQ(client.Env(), after);
    }
}

TEST(AdminSim, ASetupChangeShowsInTheStatusReport)
{
    SimClient client(LoopbackOptions());
    ASSERT_TRUE(client.LoggedIn());
    auto report = [&] {
        TfrmDvrStatus dlg(nullptr, &client.services);
        client.core.Dialogs().status = &dlg;
        client.core.SendCommand(DvrCmdStatus, nullptr, 0);
        Wait(client.view, [&] { return !dlg.Memo2->toPlainText().isEmpty(); });
        client.core.Dialogs().status = nullptr;
        return dlg.Memo2->toPlainText().toStdString() + dlg.Memo3->toPlainText().toStdString();
    };
    std::string text = report();
    // The built-in record: recording around the clock on program 2, overwriting.
    EXPECT_NE(text.find("Record Program : 2\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Record Repeat : On\n"), std::string::npos);
    EXPECT_NE(text.find("Port : 5400\n"), std::string::npos);

    TfrmDvrEnv env;
    env.SetDvr(&client.services);
    client.core.Dialogs().setup = &env;
    env.btnLoadClick();
    ASSERT_TRUE(Wait(client.view, [&] { return env.IsLoaded(); }));
    auto *repeat = qobject_cast<QComboBox *>(env.Control("edtRepeatRecord"));
    auto *port = qobject_cast<QSpinBox *>(env.Control("edtPort"));
    ASSERT_TRUE(repeat && port);
    EXPECT_EQ(repeat->currentText(), "ON");
    repeat->setCurrentIndex(0);
    port->setValue(5432);
    env.btnUpdateClick();
    ASSERT_TRUE(Wait(client.view, [&] { return client.view.Saw("msgwin Success !!"); }));
    client.core.Dialogs().setup = nullptr;
    text = report();
    EXPECT_NE(text.find("Record Repeat : Off\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Port : 5432\n"), std::string::npos);
}

// The program set-up opens on the hour that records now is the one the status report names,
// on every page set; six channels show on the default pages.
TEST(AdminSim, SetupAndStatusNameTheSameProgram)
{
    const std::pair<int, int> kinds[] = {{2, 6}, {2, 16}, {2, 8}, {1, 16}, {0, 4}}; // variant, channels
    for (const auto &[variant, channels] : kinds) {
        SCOPED_TRACE(testing::Message() << "variant " << variant << ", " << channels << " channels");
        SimClient client(LoopbackRecorder(variant, channels));
        ASSERT_TRUE(client.LoggedIn());
        TfrmDvrStatus status(nullptr, &client.services);
        client.core.Dialogs().status = &status;
        client.core.SendCommand(DvrCmdStatus, nullptr, 0);
        ASSERT_TRUE(Wait(client.view, [&] { return !status.Memo2->toPlainText().isEmpty(); }));
        client.core.Dialogs().status = nullptr;
        const QString text = status.Memo2->toPlainText() + status.Memo3->toPlainText();
        const auto at = text.indexOf("Record Program : ");
        ASSERT_GE(at, 0) << text.toStdString();
        const int reported = text.mid(at + 17).section('\n', 0, 0).toInt();

        TfrmDvrEnv env;
        env.SetDvr(&client.services);
        client.core.Dialogs().setup = &env;
        env.btnLoadClick();
        ASSERT_TRUE(Wait(client.view, [&] { return env.IsLoaded(); }));
        client.core.Dialogs().setup = nullptr;
        const RecorderTime now = sim::NowRecorderTime();
        env.edtMon0DblClick(env.Cell(DayOfWeek(&now) * 24 + now.hour));
        EXPECT_EQ(env.CurrentProgram(), reported);
    }
}

TEST(AdminSim, AMadeFirmwareImageUpgradesAndASpoiledOneIsRefused)
{
    auto options = LoopbackOptions();
    options.model = 1;
    SimClient client(options);
    ASSERT_TRUE(client.LoggedIn());
    QTemporaryDir dir;
    auto write = [&](const char *name, const std::vector<uint8_t> &bytes) {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size()));
        return path;
    };
    const std::vector<uint8_t> image = sim::MakeFirmwareImage(1, 200000);
    std::vector<uint8_t> spoiled = image;
    spoiled[1000] ^= 0x40;
    TfrmDvrUpgrade dlg(nullptr, &client.services);
    dlg.SetModel(client.services.GetModel());
    client.core.Dialogs().upgrade = &dlg;
    EXPECT_FALSE(dlg.StartUpgrade(write("spoiled.bin", spoiled)));
    EXPECT_EQ(dlg.LastMessage(), "FILE CRC ERROR");
    CloseMessageBoxes();
    EXPECT_FALSE(dlg.StartUpgrade(write("other.bin", sim::MakeFirmwareImage(0, 200000))));
    EXPECT_EQ(dlg.LastMessage(), "DVR MODEL ERROR");
    CloseMessageBoxes();
    ASSERT_TRUE(dlg.StartUpgrade(write("good.bin", image)));
    ASSERT_TRUE(Wait(client.view, [&] {
        return dlg.GetStage() == TfrmDvrUpgrade::Stage::Completed || dlg.GetStage() == TfrmDvrUpgrade::Stage::Failed;
    }));
    client.core.Dialogs().upgrade = nullptr;
    CloseMessageBoxes();
    EXPECT_EQ(dlg.GetStage(), TfrmDvrUpgrade::Stage::Completed);
    EXPECT_EQ(client.server.WithRecorder([](sim::SimRecorder &r) { return r.Firmware(); }), image);
    // The status report names the image now running.
    TfrmDvrStatus status(nullptr, &client.services);
    client.core.Dialogs().status = &status;
    client.core.SendCommand(DvrCmdStatus, nullptr, 0);
    ASSERT_TRUE(Wait(client.view, [&] { return !status.Memo1->toPlainText().isEmpty(); }));
    client.core.Dialogs().status = nullptr;
    // The whole line, all eight digits of the image's CRC.
    const QString version = QString::asprintf("Software Version = DVRSIM 1.0 UPG %08X", CrcUpdate(0, image.data(), int(image.size())));
    EXPECT_TRUE(status.Memo1->toPlainText().split('\n').contains(version)) << status.Memo1->toPlainText().toStdString();
}

TEST(AdminSim, ToolWindowsAndControlWordsReachTheRecorderAsMeant)
{
    auto options = LoopbackOptions();
    options.transcript = testing::TempDir() + "admin_tools_" + std::to_string(::getpid()) + ".txt";
    SimClient client(options);
    ASSERT_TRUE(client.LoggedIn());
    FakeMain main;
    main.current = &client.services;
    SetMainServices(&main);
    {
        TfrmPanTilt ptz;
        ptz.show();
        ptz.edtChannel->setCurrentIndex(2);
        ptz.selSpeedRows->button(1)->click();
        QTest::mouseClick(ptz.btnUp, Qt::LeftButton);
        ptz.btnSet[4]->click();
        TfrmDvrCtrl keys;
        keys.show();
        keys.Key(13)->click();
        keys.Key(28)->click();
        TfrmDvrEnv env;
        env.SetDvr(&client.services);
        env.confirm = [](const QString &) { return true; };
        env.SpeedButton1Click();
        env.btnDvrInitClick();
    }
    SetMainServices(nullptr);
    const std::vector<std::string> lines = {
        "EV tcp1 ptz channel 3 up speed 2X",     "EV tcp1 ptz channel 3 stop speed 2X",
        "EV tcp1 ptz channel 3 store preset 5 speed 2X", "EV tcp1 key Menu",
        "EV tcp1 key ALM",                        "EV tcp1 control 100 unassigned",
        "EV tcp1 control 0 initialise recorder",
    };
    ASSERT_TRUE(Wait(client.view, [&] { return ReadText(options.transcript).find(lines.back()) != std::string::npos; }));
    const std::string transcript = ReadText(options.transcript);
    size_t at = 0;
    for (const auto &line : lines) {
        const size_t found = transcript.find(line + "\n", at);
        EXPECT_NE(found, std::string::npos) << line;
        at = found == std::string::npos ? at : found;
    }
    // Only the word 0 initialised the recorder.
    const auto log = client.server.WithRecorder([](sim::SimRecorder &r) { return r.LogDownload(); });
    int inits = 0;
    for (size_t i = 0; i + kLogEntrySize <= log.size(); i += kLogEntrySize)
        inits += log[i] == 8 ? 1 : 0;
    EXPECT_EQ(inits, 1);
    std::remove(options.transcript.c_str());
}
