// The view's dialog launchers: what each sends around its modal dialog and what it turns the
// dialog's result into; end to end, a recorded-file view plays the file picked in the time search.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QMessageBox>
#include <QWindow>

#include <chrono>
#include <cstring>
#include <functional>

#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include "tests/common/modalscript.h"
#include "tests/common/recordinglink.h"
#include "tests/launchers/launcherfixtures.h"
#include "decoder/classregistry.h"
#include "decoder/lumaset.h"
#include "platform/endian.h"
#include "platform/settings.h"
#include "viewer/admin/dvrupgrade.h"
#include "viewer/admin/searchdialogs.h"
#include "viewer/admin/shells.h"
#include "viewer/view/dvrch.h"
#include "viewer/view/dvrpass.h"
#include "viewer/link/dvrlink.h"
#include "viewer/view/dvrwin.h"
#include "viewer/protocol/dvrwincore.h"
#include "viewer/app/forms.h"
#include "tools/dvrsim/simrecorder.h"

// Fontconfig keeps its caches until the process ends; a sanitizer build must not count them.
extern "C" const char *__lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

using namespace strandel;

namespace {

using Bytes = std::vector<uint8_t>;
using test::EnvFor;
using test::ModalScript;
using test::SettingsFileFor;
using test::StartDirOnly;

struct TestView {
    TfrmDvrWin view;
    RecordingLink *link;
    explicit TestView(DvrKind kind = DvrKind::Network, uint8_t mode = 0, uint8_t channels = 4)
    {
        DvrListRecord r;
        r.kind = uint8_t(kind);
        SetField(r.name, "dvr");
        view.SetRecord(r);
        auto l = std::make_unique<RecordingLink>();
        link = l.get();
        view.SetConnection(std::move(l));
        // Master login, 4 channels, model 1, NTSC.
        const uint8_t answer[9] = {2, channels, 0x11, 0, 0, 0, 0, 0, 0};
        view.Core().HandleLoginAnswer(answer, sizeof answer);
        view.SetMode(mode);
        link->sent.clear();
    }
    void Reply(uint8_t cmd, const Bytes &payload) { view.Core().HandlePacket(cmd, payload.data(), payload.size()); }
};

Bytes DiskHeader(const uint8_t start[7], const uint8_t end[7])
{
    Bytes h(kDiskHeaderSize, 0);
    std::memcpy(h.data() + 63, start, 7);
    std::memcpy(h.data() + 182, end, 7);
    return h;
}

const uint8_t kTen[7] = {20, 26, 12, 10, 10, 0, 0};
const uint8_t kEleven[7] = {20, 26, 12, 10, 11, 0, 0};

Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes &p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

} // namespace

TEST(Launchers, SearchOpeningPausesOnlyInPlayback)
{
    struct Case {
        int kind;
        uint8_t mode;
        std::vector<Bytes> expect; // what goes out before the dialog's own first request
    } cases[] = {
        {1, 0, {{DvrCmdDiskMap}}},
        {1, 1, {{DvrCmdPlay, 30, 0, 0, 0, 0}, {DvrCmdDiskMap}}},
        {2, 1, {{DvrCmdPlay, 30, 0, 0, 0, 0}, {DvrCmdDiskMap}}},
        {3, 1, {{DvrCmdPlay, 30, 0, 0, 0, 0}, {DvrCmdDiskMap}}},
        {4, 1, {{DvrCmdDiskMap}}},
        {5, 1, {{DvrCmdDiskMap}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.kind * 10 + c.mode);
        TestView t(DvrKind::Network, c.mode);
        ModalScript modal([](QWidget *w) { static_cast<QDialog *>(w)->reject(); });
        t.view.OpenSearchDialog(c.kind);
        EXPECT_TRUE(modal.Ran());
        ASSERT_GE(t.link->sent.size(), c.expect.size() + 1);
        for (size_t i = 0; i < c.expect.size(); ++i)
            EXPECT_EQ(t.link->sent[i], c.expect[i]) << i;
        // The dialog's first request follows; cancelled, nothing plays, and the slots are empty again.
        EXPECT_NE(t.link->sent.back()[0], DvrCmdPlay);
        const DvrDialogRefs &d = t.view.Core().Dialogs();
        EXPECT_FALSE(d.timeSearch || d.eventSearch || d.blockSearch || d.logSearch || d.copy);
    }
}

TEST(Launchers, TimeSearchPlaysTheChosenAreaChannelAndTime)
{
    TestView t;
    ModalScript modal([&](QWidget *w) {
        auto *dlg = qobject_cast<TfrmTimeSearch *>(w);
        ASSERT_NE(dlg, nullptr);
        EXPECT_EQ(t.link->sent.back(), (Bytes{DvrCmdDiskIndex, 0, 0}));
        // The dispatcher fills the dialog while it is open: disk 9 alone, then one span.
        Bytes map(16, 0);
        map[1] = 0x40;
        t.Reply(DvrCmdDiskMap, map);
        ASSERT_EQ(dlg->edtHdd->count(), 3);
        dlg->edtHdd->setCurrentIndex(2);
        EXPECT_EQ(t.link->sent.back(), (Bytes{DvrCmdDiskIndex, 11, 0}));
        t.Reply(DvrCmdDiskIndex, DiskHeader(kTen, kEleven));
        ASSERT_EQ(dlg->lstResult->topLevelItemCount(), 1);
        dlg->edtCh->setCurrentIndex(3);
        dlg->btnPlay->click();
    });
    t.view.OpenSearchDialog(1);
    EXPECT_TRUE(modal.Ran());
    EXPECT_EQ(t.view.GetMode(), 1);
    EXPECT_EQ(t.link->sent.back(), (Bytes{DvrCmdPlay, PLAY_TIME, 11, 3, 20, 26, 12, 10, 10, 0, 0}));
    EXPECT_EQ(t.view.Core().Dialogs().timeSearch, nullptr);
}

TEST(Launchers, ALinkDropEndsTheTimeSearchAsCancelled)
{
    TestView t;
    ModalScript modal([&](QWidget *) {
        t.Reply(DvrCmdDiskIndex, DiskHeader(kTen, kEleven));
        t.view.Core().OnDisconnected();
    });
    t.view.OpenSearchDialog(1);
    EXPECT_TRUE(modal.Ran());
    EXPECT_NE(t.link->sent.back()[0], DvrCmdPlay);
    EXPECT_EQ(t.view.Core().Dialogs().timeSearch, nullptr);
}

TEST(Launchers, EventAndBlockPlayTheSelectedEntryOrNothing)
{
    Bytes event(kEventEntrySize);
    for (size_t i = 0; i < event.size(); ++i)
        event[i] = uint8_t(i + 1);
    Bytes block(kBlockEntrySize);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = uint8_t(0x80 + i);
    struct Case {
        int kind;
        uint8_t reply;
        Bytes entry;
        uint8_t sub;
    } cases[] = {{2, DvrCmdEventSearch, event, PLAY_EVENT}, {3, DvrCmdBlockSearch, block, PLAY_BLOCK}};
    for (const Case &c : cases) {
        for (bool withRow : {true, false}) {
            SCOPED_TRACE(c.kind * 10 + withRow);
            TestView t;
            ModalScript modal([&](QWidget *w) {
                auto *dlg = dynamic_cast<SearchDialogBase *>(w);
                ASSERT_NE(dlg, nullptr);
                if (withRow) {
                    // A reply carrying two entries adds one row.
                    t.Reply(c.reply, Cat({c.entry, c.entry}));
                    EXPECT_EQ(dlg->RowCount(), 1);
                }
                dlg->SetModalResult(1);
            });
            t.view.OpenSearchDialog(c.kind);
            EXPECT_TRUE(modal.Ran());
            EXPECT_EQ(t.view.GetMode(), 1);
            if (withRow) {
                EXPECT_EQ(t.link->sent.back(), Cat({{DvrCmdPlay, c.sub}, c.entry}));
            } else {
                for (const Bytes &p : t.link->sent)
                    EXPECT_FALSE(p.size() > 1 && p[0] == DvrCmdPlay && p[1] == c.sub);
            }
        }
    }
}

TEST(Launchers, RepliesAfterTheDialogClosedAreDropped)
{
    TestView t;
    t.view.resize(400, 300);
    QPointer<TfrmLogSearch> dialog;
    ModalScript modal([&](QWidget *w) {
        dialog = qobject_cast<TfrmLogSearch *>(w);
        ASSERT_NE(dialog, nullptr);
        dialog->reject();
    });
    t.view.OpenSearchDialog(4);
    ASSERT_TRUE(modal.Ran());
    const QImage shown = t.view.grab().toImage();
    const QString message = t.view.pnlMsg->text();
    const auto sent = t.link->sent;
    const Bytes log = {1, 20, 26, 12, 10, 10, 0, 0, 0};
    t.Reply(DvrCmdLogSearch, log);
    // The closed dialog, gone or not, gets no row; the view shows and sends what it did.
    EXPECT_TRUE(dialog.isNull() || dialog->RowCount() == 0);
    EXPECT_EQ(t.view.Core().Dialogs().logSearch, nullptr);
    EXPECT_EQ(t.view.pnlMsg->text(), message);
    EXPECT_EQ(t.view.grab().toImage(), shown);
    EXPECT_EQ(t.link->sent, sent);
}

TEST(Launchers, StatusDialogShowsTheReportOfItsReply)
{
    TestView t;
    t.view.SetCaptionText("Gate(10.0.0.7)");
    ModalScript modal([&](QWidget *w) {
        auto *dlg = qobject_cast<TfrmDvrStatus *>(w);
        ASSERT_NE(dlg, nullptr);
        EXPECT_EQ(dlg->windowTitle(), "Dvr Status - Gate(10.0.0.7)");
        EXPECT_EQ(t.link->sent.back(), Bytes{DvrCmdStatus});
        Bytes s(kDvrStatusRecordSize, 0);
        s[1] = 1;
        std::memcpy(s.data() + 10, "v1.2", 4);
        s[74] = 1;
        PutLe32(s.data() + 330, 4096);
        s[917] = 1;
        PutLe32(s.data() + 923, 0x6C000000u); // channels 0-3: 1, 2, 3, 0
        t.Reply(DvrCmdStatus, Bytes(s.begin(), s.end() - 1)); // short: dropped
        EXPECT_TRUE(dlg->Memo1->toPlainText().isEmpty());
        t.Reply(DvrCmdStatus, s);
        const QString text = dlg->Memo1->toPlainText();
        EXPECT_TRUE(text.contains("Video Type = NTSC"));
        EXPECT_TRUE(text.contains("Software Version = v1.2\n"));
        EXPECT_TRUE(text.contains("Hdd 0 = Record, 2 MBytes"));
        EXPECT_TRUE(dlg->Memo2->toPlainText().endsWith("[ N S E - ]"));
        dlg->btnOk->click();
    });
    t.view.OpenStatusDialog();
    EXPECT_TRUE(modal.Ran());
    EXPECT_EQ(t.view.Core().Dialogs().status, nullptr);
}

TEST(Launchers, SetupOpensAfterTheAcceptedPasswordAndGetsItsRecords)
{
    TestView t;
    frmDvrEnv = new TfrmDvrEnv;
    ModalScript modal([&](QWidget *w) {
        ASSERT_EQ(w, frmDvrEnv);
        EXPECT_EQ(frmDvrEnv->Dvr(), &t.view.Services());
        const std::vector<Bytes> expect = {{DvrCmdEnvGet}, {DvrCmdTitleGet}, {DvrCmdDiskMap}};
        // The keep-alive may go out in between on a slow machine; it is not part of the request.
        std::vector<Bytes> sent;
        for (const Bytes &packet : t.link->sent)
            if (packet != Bytes{DvrCmdAlive})
                sent.push_back(packet);
        ASSERT_GE(sent.size(), 3u);
        EXPECT_EQ(std::vector<Bytes>(sent.end() - 3, sent.end()), expect);
        Bytes record(kDvrEnvRecordSize, 0x5A);
        t.Reply(DvrCmdEnvGetEx, record);
        EXPECT_EQ(frmDvrEnv->Record(), record);
        EXPECT_EQ(frmDvrEnv->RecordVariant(), 1); // the model code
        t.Reply(DvrCmdDiskMap, Bytes(16, 0x80));
        EXPECT_EQ(frmDvrEnv->HddMap(), Bytes(16, 0x80));
        t.view.Core().OnDisconnected(); // ends it as cancelled
    });
    // The accepted password posts the opening.
    const uint8_t password[8] = {'1', '1', '1', '1', '1', '1', '1', '1'};
    t.view.SendCommand(DvrCmdEnvPassword, password, 8);
    t.Reply(DvrCmdEnvPassword, {2});
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!frmDvrEnv->IsLoaded() && std::chrono::steady_clock::now() < until)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_TRUE(frmDvrEnv->IsLoaded());
    EXPECT_TRUE(modal.Ran());
    EXPECT_EQ(frmDvrEnv->result(), kModalResultCancel);
    EXPECT_EQ(t.view.Core().Dialogs().setup, nullptr);
    delete frmDvrEnv;
    frmDvrEnv = nullptr;
}

// The set-up prompt and the prompt after a refused login send what is typed alike: one byte
// a character, cut to 8 bytes; a password that works in one works in the other.
TEST(Launchers, BothPasswordPromptsSendTheSameEightBytes)
{
    struct Case {
        QString typed;
        Bytes bytes; // padded with NULs to 8
    } cases[] = {
        {"abc", {'a', 'b', 'c'}},
        {"123456789", {'1', '2', '3', '4', '5', '6', '7', '8'}},
        {QString::fromUtf8("p\u00e4ss"), {'p', 0xE4, 's', 's'}},
        {QString::fromUtf8("\u00e4\u00f6\u00fc\u00df\u00e4\u00f6\u00fc\u00df"), {0xE4, 0xF6, 0xFC, 0xDF, 0xE4, 0xF6, 0xFC, 0xDF}},
    };
    const auto type = [](const QString &text, bool ok) {
        return [text, ok](QWidget *w) {
            auto *dlg = dynamic_cast<TfrmDvrPass *>(w);
            ASSERT_NE(dlg, nullptr);
            dlg->edtPass->setText(text);
            if (ok)
                dlg->btnOk->click();
            else
                dlg->reject();
        };
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        Bytes password = c.bytes;
        password.resize(8, 0);
        {
            TestView t;
            ModalScript modal(type(c.typed, true));
            t.view.cmdDvrSetupClick();
            EXPECT_TRUE(modal.Ran());
            ASSERT_EQ(t.link->sent.size(), 1u);
            EXPECT_EQ(t.link->sent[0], Cat({{DvrCmdEnvPassword}, password}));
            EXPECT_EQ(t.view.pnlMsg->text(), "Checking Password...");
        }
        {
            TestView t;
            ASSERT_TRUE(t.view.Core().SendLogin("", "old"));
            t.link->sent.clear();
            ModalScript modal(type(c.typed, true));
            const uint8_t refused[9] = {DvrLoginDenied, 0, 0, 0, 0, 0, 0, 0, 0};
            t.view.Core().HandleLoginAnswer(refused, sizeof refused);
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (t.link->sent.empty() && std::chrono::steady_clock::now() < until)
                QApplication::processEvents(QEventLoop::AllEvents, 5);
            EXPECT_TRUE(modal.Ran());
            ASSERT_EQ(t.link->sent.size(), 1u);
            EXPECT_EQ(t.link->sent[0], Cat({{DvrCmdLogin}, Bytes(8, 0), password}));
        }
    }
    // A cancelled set-up prompt sends nothing.
    TestView t;
    ModalScript modal(type("abc", false));
    t.view.cmdDvrSetupClick();
    EXPECT_TRUE(modal.Ran());
    EXPECT_TRUE(t.link->sent.empty());
}

TEST(Launchers, UpgradeKeepsTheModelAndEndsWithTheLink)
{
    TestView t;
    // The dialog asks for a file as it opens; the test declines and finds the dialog behind it.
    ModalScript modal([&](QWidget *w) {
        auto *dlg = qobject_cast<TfrmDvrUpgrade *>(w);
        if (!dlg && w->parentWidget()) {
            dlg = qobject_cast<TfrmDvrUpgrade *>(w->parentWidget());
            qobject_cast<QDialog *>(w)->reject();
        }
        ASSERT_NE(dlg, nullptr);
        EXPECT_EQ(dlg->Model(), 1);
        EXPECT_EQ(t.view.Core().Dialogs().upgrade, dlg);
        t.view.Core().OnDisconnected();
    });
    t.view.OpenUpgradeDialog();
    EXPECT_TRUE(modal.Ran());
    EXPECT_EQ(t.view.Core().Dialogs().upgrade, nullptr);
}

TEST(Launchers, UpgradeFromSetupOpensAboveSetupAndItsClosingMessageStaysThere)
{
    TestView t;
    QTemporaryDir dir;
    const QString image = dir.filePath("fw.bin");
    {
        const std::vector<uint8_t> bytes = sim::MakeFirmwareImage(1, 2500);
        QFile f(image);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size()));
    }
    QDialog setup;
    setup.setObjectName("frmDvrEnv");
    setup.resize(700, 500);
    ModalScript outer(
        [&](QWidget *) {
            ModalScript inner(
                [&](QWidget *w) {
                    auto *dlg = qobject_cast<TfrmDvrUpgrade *>(w);
                    if (!dlg && w->parentWidget()) {
                        dlg = qobject_cast<TfrmDvrUpgrade *>(w->parentWidget());
                        qobject_cast<QDialog *>(w)->reject(); // the file it asks for first
                    }
                    ASSERT_NE(dlg, nullptr);
                    ASSERT_NE(dlg->windowHandle(), nullptr);
                    // The window manager keeps a transient above its owner and does not lift
                    // the view's window for it.
                    EXPECT_EQ(dlg->windowHandle()->transientParent(), setup.windowHandle());
                    EXPECT_TRUE(setup.geometry().contains(dlg->geometry().center()));
                    // An image is on its way when the link goes: the dialog closes with a message.
                    ASSERT_TRUE(dlg->StartUpgrade(image));
                    t.view.Core().OnDisconnected();
                },
                [&](QWidget *w) { return w != &setup; });
            t.view.OpenUpgradeDialog();
            EXPECT_TRUE(inner.Ran());
            QApplication::processEvents();
            auto *box = setup.findChild<QMessageBox *>("msgUpgrade");
            ASSERT_NE(box, nullptr) << "the closing message is not over set-up";
            EXPECT_TRUE(box->isVisible());
            box->accept();
        },
        [&](QWidget *w) { return w == &setup; });
    setup.exec();
    EXPECT_TRUE(outer.Ran());
}

TEST(Launchers, TheDialogServicesAreTheViewsOwn)
{
    TestView t;
    DvrServices &s = t.view.Services();
    EXPECT_TRUE(s.IsLoggedIn());
    EXPECT_EQ(s.GetChannelCount(), 4);
    EXPECT_EQ(s.GetModel(), 1);
    EXPECT_EQ(s.GetVideoStandard(), 0x11);
    EXPECT_TRUE(s.SendRemoteKey(0x01020304));
    const Bytes record(kDvrEnvRecordSize, 7);
    EXPECT_TRUE(s.SendUpload(DvrCmdEnvSet, record.data(), record.size()));
    // Key, then begin mark, ten parts, end mark.
    ASSERT_EQ(t.link->sent.size(), 13u);
    EXPECT_EQ(t.link->sent[0], (Bytes{DvrCmdRemoteKey, 4, 3, 2, 1}));
    EXPECT_EQ(t.link->sent[1], Bytes{DvrCmdEnvSet});
    EXPECT_EQ(t.link->sent[10].size(), 1u + 1000u);
    EXPECT_EQ(t.link->sent[11].size(), 1u + 638u);
    EXPECT_EQ(t.link->sent[12], Bytes{DvrCmdEnvSet});
}

TEST(Launchers, RemoteKeyAndAutoSequence)
{
    TestView t;
    t.view.SendRemoteKey(0x01020304);
    EXPECT_EQ(t.link->sent.back(), (Bytes{DvrCmdRemoteKey, 4, 3, 2, 1}));
    // On from off shows the next channel at once; off from on returns to the multi view.
    t.view.SetAutoSequence(true, 5);
    EXPECT_TRUE(t.view.IsAutoSequence());
    EXPECT_EQ(t.view.tmrAuto->interval(), 5000);
    EXPECT_EQ(t.view.GetCurrentChannel(), 1);
    t.view.SetAutoSequence(true, 7); // already on: only the interval changes
    EXPECT_EQ(t.view.GetCurrentChannel(), 1);
    EXPECT_EQ(t.view.tmrAuto->interval(), 7000);
    t.view.SetAutoSequence(false, 7);
    EXPECT_FALSE(t.view.IsAutoSequence());
    EXPECT_EQ(t.view.GetCurrentChannel(), 0);
}

TEST(Launchers, CopyOpensTheFileSendsTheSpanAndKeepsIt)
{
    QTemporaryDir dir;
    StartDirOnly main(dir.path().toStdString());
    TestView t;
    QString fileName;
    ModalScript modal([&](QWidget *w) {
        auto *dlg = qobject_cast<TfrmCopy *>(w);
        ASSERT_NE(dlg, nullptr);
        t.Reply(DvrCmdDiskIndex, DiskHeader(kTen, kEleven));
        ASSERT_EQ(dlg->RowCount(), 1);
        double start = 0, end = 0;
        dlg->GetCopySpan(&start, &end);
        const double tenOClock = *RecorderDateTime(ReadRecorderTime(kTen));
        EXPECT_DOUBLE_EQ(start, tenOClock);
        EXPECT_NEAR((end - start) * 86400, 60, 1e-6);
        dlg->GetCopySpan(nullptr, nullptr);
        fileName = TfrmCopy::CopyFileName(dir.path(), QDateTime::currentDateTime());
        dlg->btnCopy->click();
    });
    t.view.OpenSearchDialog(5);
    EXPECT_TRUE(modal.Ran());
    EXPECT_EQ(t.view.Core().Dialogs().copy, nullptr);
    EXPECT_EQ(t.link->sent.back(), (Bytes{DvrCmdCopy, 0, 0, 20, 26, 12, 10, 10, 0, 0, 20, 26, 12, 10, 10, 1, 0}));
    // The writer is open on a file in "Copy" under the start directory (the second may have turned).
    EXPECT_TRUE(t.view.IsCopying());
    const QStringList made = QDir(dir.filePath("Copy")).entryList({"Dvr-*.dvr"}, QDir::Files);
    ASSERT_EQ(made.size(), 1);
    EXPECT_EQ(made[0].size(), QFileInfo(fileName).fileName().size());
    // The view keeps the span chosen, for the copy's progress.
    const double tenOClock = *RecorderDateTime(ReadRecorderTime(kTen));
    EXPECT_DOUBLE_EQ(t.view.Core().CopyStart(), tenOClock);
    EXPECT_NEAR((t.view.Core().CopyEnd() - tenOClock) * 86400, 60, 1e-6);
    t.view.EndNetCopy();
}

// A copy whose request cannot go out: no writer stays open, no file stays behind, the view's
// copy panel hides again and the dialog says why.
TEST(Launchers, ACopyWhoseRequestCannotGoOutLeavesNothingBehind)
{
    // Takes every packet but the copy request.
    class NoCopyLink : public RecordingLink {
    public:
        bool Send(uint8_t cmd, uint8_t flag, const uint8_t *data, int length) override
        {
            return cmd != DvrCmdCopy && RecordingLink::Send(cmd, flag, data, length);
        }
    };
    QTemporaryDir dir;
    StartDirOnly main(dir.path().toStdString());
    TestView t;
    t.view.SetConnection(std::make_unique<NoCopyLink>());
    bool checked = false;
    ModalScript modal([&](QWidget *w) {
        auto *dlg = qobject_cast<TfrmCopy *>(w);
        ASSERT_NE(dlg, nullptr);
        t.Reply(DvrCmdDiskIndex, DiskHeader(kTen, kEleven));
        ASSERT_EQ(dlg->RowCount(), 1);
        EXPECT_FALSE(dlg->btnCopyClick());
        EXPECT_TRUE(dlg->isVisible());
        EXPECT_EQ(dlg->pnlMsg->text(), "The request could not be sent to the recorder.");
        EXPECT_FALSE(t.view.IsCopying());
        EXPECT_FALSE(t.view.pnlCopy->isVisibleTo(&t.view));
        EXPECT_TRUE(QDir(dir.filePath("Copy")).entryList(QDir::Files).isEmpty());
        checked = true;
    });
    t.view.OpenSearchDialog(5);
    EXPECT_TRUE(modal.Ran());
    EXPECT_TRUE(checked);
    // Record is not refused for a copy that never was.
    EXPECT_TRUE(t.view.StartRecord(dir.filePath("rec.dvr")));
    t.view.StopRecord();
}

// Copies started within one second (a clock set back, an hour repeated) never share a file:
// each gets its own name, and no file that is there is ever written over.
TEST(Launchers, CopiesOfOneSecondKeepEveryFile)
{
    QTemporaryDir dir;
    StartDirOnly main(dir.path().toStdString());
    ASSERT_TRUE(QDir(dir.path()).mkpath("Copy"));
    // Earlier copies with the names of the seconds around now.
    const QDateTime now = QDateTime::currentDateTime();
    QStringList earlier;
    for (int s = -1; s <= 2; ++s) {
        const QString name = TfrmCopy::CopyFileName(dir.path(), now.addSecs(s));
        QFile f(name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("earlier copy");
        earlier << name;
    }
    EXPECT_EQ(TfrmCopy::CopyFileName(dir.path(), now.addSecs(1)), QString(earlier[2]).replace(".dvr", "-1.dvr"));
    TestView t;
    for (int copy = 0; copy < 2; ++copy) {
        ModalScript modal([&](QWidget *w) {
            auto *dlg = qobject_cast<TfrmCopy *>(w);
            ASSERT_NE(dlg, nullptr);
            t.Reply(DvrCmdDiskIndex, DiskHeader(kTen, kEleven));
            EXPECT_TRUE(dlg->btnCopyClick());
        });
        t.view.OpenSearchDialog(5);
        EXPECT_TRUE(modal.Ran());
        EXPECT_TRUE(t.view.IsCopying());
        t.view.EndNetCopy();
    }
    for (const QString &name : earlier) {
        QFile f(name);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), "earlier copy") << name.toStdString();
    }
    // The two new copies, each in a file of its own.
    EXPECT_EQ(QDir(dir.filePath("Copy")).entryList(QDir::Files).size(), earlier.size() + 2);
    // The writer itself refuses a name that is taken.
    EXPECT_FALSE(t.view.Core().StartNetCopy(earlier[1].toStdString()));
    QFile kept(earlier[1]);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "earlier copy");
}

// The address book's "Demo recording" kind: a recorded-file view over the record folder.
TEST(Launchers, AFileViewPlaysTheRecordingPickedInTheTimeSearch)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QFile::copy(STRANDEL_TEST_DATA "/../../samples/demo.dvr", dir.filePath("demo.dvr")));
    SettingsFileFor settings(dir.filePath("Strandel.ini"));
    // The decoder, registered as the run script registers it.
    const std::string registry = dir.filePath("Classes.ini").toStdString();
    ASSERT_TRUE(WriteClassRegistry(registry, {{std::string("CLSID\\") + LUMASET_CLSID, {{"InprocServer32", LUMASET_LIBRARY_PATH}}}}));
    EnvFor classes("STRANDEL_CLASS_REGISTRY", QByteArray::fromStdString(registry));
    {
        DvrListRecord entry;
        entry.kind = uint8_t(DvrKind::RecordedFile);
        SetField(entry.name, "Demo recording");
        SetField(entry.folder, dir.path().toLocal8Bit().constData());
        TfrmDvrWin view;
        view.resize(720, 500);
        view.show();
        ASSERT_TRUE(view.CreateConnection(&entry));
        view.StartConnection();
        const auto serve = [](const std::function<bool()> &cond) {
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (!cond() && std::chrono::steady_clock::now() < until)
                QApplication::processEvents(QEventLoop::AllEvents, 5);
            return cond();
        };
        ASSERT_TRUE(serve([&] { return view.IsLoggedIn(); }));
        ModalScript modal([&](QWidget *w) {
            auto *dlg = qobject_cast<TfrmTimeSearch *>(w);
            ASSERT_NE(dlg, nullptr);
            EXPECT_FALSE(dlg->edtCh->isEnabled());
            EXPECT_FALSE(dlg->edtHdd->isEnabled());
            ASSERT_EQ(dlg->RowCount(), 1);
            EXPECT_EQ(dlg->lstResult->topLevelItem(0)->text(4), "demo.dvr");
            dlg->btnPlay->click();
        });
        view.OpenSearchDialog(1);
        EXPECT_TRUE(modal.Ran());
        EXPECT_EQ(RegReadString("FileSearchDir", QString()), QDir(dir.path()).absolutePath());
        // Every channel of the recording reaches its pane: JPEG pictures (1-8) at once, MPEG-4
        // frames (9-16) through the play rings and the decoder.
        EXPECT_TRUE(serve([&] {
            if (view.GetChannelCount() != 16)
                return false;
            for (int i = 0; i < 16; ++i)
                if (!view.Pane(i)->IsShowing())
                    return false;
            return true;
        }));
        view.CloseConnection();
    }
}

// A recording plays at the pace it was recorded: the local player pushes on the window's thread,
// which keeps the pause each record asks for with a timer. Channel 1 of the demo shows a picture
// a second; its record times are measured between two changes of its picture some seconds apart.
TEST(Launchers, AFileViewPlaysAtTheRecordedPaceAndFastPlayDoublesIt)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QFile::copy(STRANDEL_TEST_DATA "/../../samples/demo.dvr", dir.filePath("demo.dvr")));
    SettingsFileFor settings(dir.filePath("Strandel.ini"));
    EnvFor classes("STRANDEL_CLASS_REGISTRY", dir.filePath("none.ini").toLocal8Bit()); // no decoder: JPEG only
    DvrListRecord entry;
    entry.kind = uint8_t(DvrKind::RecordedFile);
    SetField(entry.name, "Demo recording");
    SetField(entry.folder, dir.filePath("demo.dvr").toLocal8Bit().constData());
    TfrmDvrWin view;
    view.resize(720, 500);
    view.show();
    ASSERT_TRUE(view.CreateConnection(&entry));
    view.StartConnection();
    const auto serve = [](const std::function<bool()> &cond, int ms) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!cond() && std::chrono::steady_clock::now() < until)
            QApplication::processEvents(QEventLoop::AllEvents, 1);
        return cond();
    };
    ASSERT_TRUE(serve([&] { return view.IsLoggedIn(); }, 20000));
    ModalScript modal([&](QWidget *w) { static_cast<TfrmTimeSearch *>(w)->btnPlay->click(); });
    view.OpenSearchDialog(1);
    ASSERT_TRUE(modal.Ran());
    const auto shown = [&] { return view.Pane(0)->ShownHeader().timeValue & 0x7FFFFFFF; };
    ASSERT_TRUE(serve([&] { return view.Pane(0)->IsShowing(); }, 10000));
    // Record time over wall time, from one new picture to the first one `spanMs` later.
    const auto pace = [&](int spanMs) {
        const uint32_t before = shown();
        if (!serve([&] { return shown() != before; }, 5000))
            return 0.0;
        const auto t0 = std::chrono::steady_clock::now();
        const uint32_t v0 = shown();
        serve([] { return false; }, spanMs - 500);
        const uint32_t late = shown();
        if (!serve([&] { return shown() != late; }, 5000))
            return 0.0;
        const double wall = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        return double(shown() - v0) / wall;
    };
    const double normal = pace(5000);
    EXPECT_NEAR(normal, 1.0, 0.1) << "record seconds per second at normal play";
    view.SendPlayControl(1, 1, 0, 31); // ">>": fast factor 2
    ASSERT_TRUE(serve([&] { return view.Core().GetPlayStatus().fast == 2; }, 2000));
    const double fast = pace(5000);
    EXPECT_NEAR(fast, 2.0, 0.2) << "record seconds per second at >>2";
    view.CloseConnection();
}

TEST(Launchers, CancelledTimeSearchClosesAFileViewThatNeverLoadedAFile)
{
    QTemporaryDir dir;
    SettingsFileFor settings(dir.filePath("Strandel.ini"));
    for (uint8_t channels : {0, 4}) {
        SCOPED_TRACE(channels);
        TestView t(DvrKind::RecordedFile, 1, channels);
        t.view.SetFrameMode(false, nullptr); // in a frame window of its own
        int closes = 0;
        QObject::connect(t.view.GetFrame(), &TfrmDvrFrame::closeRequested, [&] { ++closes; });
        ModalScript modal([](QWidget *w) { static_cast<QDialog *>(w)->reject(); });
        t.view.OpenSearchDialog(1);
        EXPECT_TRUE(modal.Ran());
        QApplication::processEvents();
        EXPECT_EQ(closes, channels == 0 ? 1 : 0);
        EXPECT_NE(t.link->sent.back()[0], DvrCmdPlay);
    }
}

TEST(Launchers, SetupFormCarriesTwoSerialComponents)
{
    int master = -1, slave = -1;
    char name[256] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    auto *form = new TfrmDvrEnv;
    for (comm::TComm *c : {form->Comm1.get(), form->Comm2.get()}) {
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->DeviceName(), "Com2");
        EXPECT_EQ(c->MonitorEvents(), comm::kAllCommEvents);
        EXPECT_FALSE(c->Enabled());
    }
    // Opened anyway, it goes with its form.
    form->Comm1->SetDeviceName(name);
    ASSERT_TRUE(form->Comm1->Open()) << comm::CommLastErrorText();
    ::close(slave);
    EXPECT_EQ(form->Comm1->WriteStr("up"), 2);
    // Read before the form goes: a pty may drop what it still holds when its last slave closes.
    pollfd p{master, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 5000), 1);
    char buf[8];
    EXPECT_EQ(::read(master, buf, sizeof buf), 2);
    delete form;
    p.revents = 0;
    EXPECT_EQ(::poll(&p, 1, 1000), 1);
    EXPECT_TRUE(p.revents & POLLHUP);
    ::close(master);
}
