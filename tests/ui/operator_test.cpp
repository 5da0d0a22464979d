// The viewer as an operator drives it: whole sequences through the main window and real views.
#include "platform/settings.h"
#include "viewer/admin/shells.h"
#include "viewer/app/forms.h"
#include "viewer/app/mainform.h"
#include "viewer/app/startup.h"
#include "viewer/link/dvrlink.h"
#include "viewer/protocol/dvrwincore.h"
#include "viewer/base/vieweroptions.h"
#include "viewer/controls/mybutton.h"
#include "viewer/view/dvrwin.h"
#include "tests/common/modalscript.h"
#include "tools/dvrsim/simserver.h"
#include "viewer/protocol/dvrcommand.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMessageBox>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QMenu>
#include <QAction>
#include <QTest>
#include <QProcess>
#include <QThread>
#include <QPushButton>
#include <QLayout>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <csignal>
#include <functional>

using namespace strandel;
using test::ModalScript;

namespace {

template <typename Cond> bool Pump(Cond cond, int ms = 5000)
{
    QElapsedTimer t;
    t.start();
    while (!cond() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return cond();
}

// A view that counts as logged in, with a stand-in for the link.
class LoggedView : public TfrmDvrWin {
public:
    explicit LoggedView(const char *name = "dvr")
    {
        DvrListRecord r;
        r.kind = uint8_t(DvrKind::Network);
        SetField(r.name, name);
        SetRecord(r);
        SetCaptionText(name);
    }
    bool IsLoggedIn() const override { return true; }
    int GetChannelCount() const override { return 4; }
    void CloseConnection() override
    {
        ++closed;
        TfrmDvrWin::CloseConnection();
    }
    int closed = 0;
};

// A link that takes every send.
class QuietLink : public CDvrBase {
public:
    QuietLink() : CDvrBase(nullptr, false) {}
    bool Send(uint8_t, uint8_t, const uint8_t *, int) override { return true; }
};

// A real view logged in over a quiet link, in playback mode.
TfrmDvrWin *OpenLoggedIn()
{
    auto *view = new TfrmDvrWin;
    DvrListRecord r;
    r.kind = uint8_t(DvrKind::Network);
    SetField(r.name, "dvr");
    view->SetRecord(r);
    view->SetConnection(std::make_unique<QuietLink>());
    frmMain->AddDvrWin(view);
    const uint8_t answer[9] = {2, 4, 0x01, 0, 0, 0, 0, 0, 0};
    view->Core().HandleLoginAnswer(answer, sizeof answer);
    return view;
}

enum class Closer { StopSignal, MainWindow };

// A prompt a view shows, how it comes and how it is known.
struct PromptCase {
    const char *name;
    int8_t login;                          // the recorder's login answer
    bool frameMode;
    std::function<void(TfrmDvrWin *)> ask; // once logged in; null: the prompt comes by itself
    std::function<bool(QWidget *)> isPrompt;
};

bool Named(QWidget *w, const char *name) { return w && w->objectName() == name; }

class OperatorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetSettingsFilePath(dir.filePath("Strandel.ini"));
        oldCwd = QDir::currentPath();
        QDir::setCurrent(dir.path());
    }
    void TearDown() override
    {
        if (frmMain)
            DestroyApplicationForms();
        QApplication::processEvents();
        QDir::setCurrent(oldCwd);
        SetSettingsFilePath({});
    }
    void StartProgram(bool frameMode)
    {
        QSettings(SettingsFilePath(), QSettings::IniFormat).setValue("MainFrame", frameMode ? 1 : 0);
        CreateApplicationForms();
        frmMain->show();
    }
    LoggedView *Open(const char *name = "dvr")
    {
        auto *v = new LoggedView(name);
        if (!frmMain->AddDvrWin(v)) {
            delete v;
            return nullptr;
        }
        return v;
    }
    QTemporaryDir dir;
    QString oldCwd;
};

} // namespace

TEST_F(OperatorTest, CancelledFileSearchThenTimeSearchDoesNotCrash)
{
    for (bool frameMode : {false, true}) {
        StartProgram(frameMode);
        int modals = 0;
        std::function<void(QWidget *)> cancel = [&](QWidget *w) {
            ++modals;
            qobject_cast<QDialog *>(w)->done(2);
        };
        ModalScript modal(cancel);
        frmMain->btnFile->click(); // opens a file view and its time search, cancelled
        ASSERT_TRUE(Pump([&] { return frmMain->GetDvrWinCount() == 0; })) << frameMode;
        QApplication::processEvents();
        EXPECT_EQ(frmMain->GetCurrentDvrWin(), nullptr);
        EXPECT_FALSE(frmMain->btnTimeSearch->isEnabled());
        frmMain->btnTimeSearch->click(); // nothing to search: no view
        QApplication::processEvents();
        EXPECT_EQ(modals, 1);
        DestroyApplicationForms();
    }
}

TEST_F(OperatorTest, AClosedViewNeverBecomesCurrentAgain)
{
    StartProgram(false);
    LoggedView *v = Open("a");
    QPointer<LoggedView> alive(v);
    frmMain->RemoveDvrWin(v);
    // Its frame window reports an activation after the close, before the view is freed.
    frmMain->SetCurrentDvrWin(v);
    emit v->GetFrame()->activated(v);
    EXPECT_EQ(frmMain->GetCurrentDvrWin(), nullptr);
    EXPECT_FALSE(frmMain->btnTimeSearch->isEnabled());
    ASSERT_TRUE(Pump([&] { return alive.isNull(); }));
    frmMain->btnTimeSearch->click();
    EXPECT_EQ(frmMain->GetCurrentDvrWin(), nullptr);
}

TEST_F(OperatorTest, ClosingTheMainWindowEndsTheLoopWithViewsOpen)
{
    for (bool frameMode : {false, true}) {
        StartProgram(frameMode);
        QPointer<LoggedView> a = Open("a"), b = Open("b");
        ASSERT_TRUE(a && b);
        QTimer::singleShot(50, frmMain, [] { frmMain->close(); });
        bool watchdog = false;
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [&] {
            watchdog = true;
            QCoreApplication::exit(3);
        });
        guard.start(3000);
        QElapsedTimer t;
        t.start();
        const int result = RunMessageLoop();
        EXPECT_FALSE(watchdog) << frameMode;
        EXPECT_EQ(result, 0);
        // Within the second; a sanitized build on a loaded machine is slow, not hung.
#if defined(__SANITIZE_ADDRESS__)
        EXPECT_LT(t.elapsed(), 2500);
#else
        EXPECT_LT(t.elapsed(), 1000 + 50);
#endif
        EXPECT_EQ(frmMain->GetDvrWinCount(), 0);
        // The links were closed before the loop ended.
        if (a) {
            EXPECT_EQ(a->closed, 1);
        }
        if (b) {
            EXPECT_EQ(b->closed, 1);
        }
        DestroyApplicationForms();
        EXPECT_TRUE(a.isNull() && b.isNull());
    }
}

TEST_F(OperatorTest, TheCaptionKeepsItsBaseTextAfterAThousandPictures)
{
    for (bool frameMode : {false, true}) {
        StartProgram(frameMode);
        LoggedView *v = Open("gate");
        FrameRecordHeader h;
        h.time = {20, 26, 12, 10, 13, 5, 7};
        for (int i = 0; i < 1000; ++i) {
            h.time.second = uint8_t(i % 60);
            v->UpdateCaption(h);
        }
        EXPECT_EQ(v->CaptionText(), "gate");
        EXPECT_EQ(v->GetFrame()->windowTitle(), "gate - 2026/12/10 13:05:39");
        if (frameMode) {
            EXPECT_EQ(frmMain->windowTitle(), "gate - 2026/12/10 13:05:39");
        }
        DestroyApplicationForms();
    }
}

TEST_F(OperatorTest, AfterACloseWithTheListShownTheTopViewIsCurrent)
{
    StartProgram(false);
    frmMain->lstDvrWin->show();
    LoggedView *a = Open("a");
    Open("b");
    LoggedView *c = Open("c");
    ASSERT_TRUE(frmMain->lstDvrWin->isVisible());
    ASSERT_EQ(frmMain->GetCurrentDvrWin(), c);
    frmMain->RemoveDvrWin(c);
    EXPECT_EQ(frmMain->GetCurrentDvrWin(), a);
    EXPECT_EQ(frmMain->lstDvrWin->currentRow(), 0);
    EXPECT_TRUE(a->IsSelected());
}

TEST_F(OperatorTest, TheToolbarShowsWhatTheRecorderPlays)
{
    StartProgram(false);
    TfrmDvrWin *view = OpenLoggedIn();
    ASSERT_TRUE(view->IsLoggedIn());
    EXPECT_TRUE(frmMain->btnPlay->Down()) << "live pictures play";
    EXPECT_FALSE(frmMain->btnPause->Down());
    view->SetMode(1);
    struct Case {
        uint8_t state, fast, slow, direction;
        TMyButton *down;
    } cases[] = {
        {0, 0, 0, 31, frmMain->btnPause},    {1, 0, 0, 31, frmMain->btnPlay},
        {1, 0, 0, 32, frmMain->btnBack},     {1, 2, 0, 31, frmMain->btnFastPlay},
        {1, 4, 0, 32, frmMain->btnFastBack}, {1, 0, 2, 31, frmMain->btnSlowPlay},
        {1, 0, 2, 32, frmMain->btnSlowBack},
    };
    TMyButton *transport[] = {frmMain->btnFastBack, frmMain->btnSlowBack, frmMain->btnBack, frmMain->btnPause,
                              frmMain->btnPlay, frmMain->btnSlowPlay, frmMain->btnFastPlay};
    for (const Case &c : cases) {
        const uint8_t reply[5] = {30, c.state, c.fast, c.slow, c.direction};
        view->Core().HandlePacket(7, reply, sizeof reply);
        for (TMyButton *b : transport)
            EXPECT_EQ(b->Down(), b == c.down) << b->objectName().toStdString() << " for " << int(c.state) << "/"
                                              << int(c.fast) << "/" << int(c.slow) << "/" << int(c.direction);
    }
    const uint8_t end[1] = {9}; // the end of the recording
    view->Core().HandlePacket(7, end, sizeof end);
    EXPECT_TRUE(frmMain->btnPause->Down());
}

TEST_F(OperatorTest, OptionsReachOpenViews)
{
    StartProgram(false);
    TfrmDvrWin *view = OpenLoggedIn();
    ViewerOptions &o = GetViewerOptions();
    const ViewerOptions saved = o;
    o.showFrameRate = 1;
    frmMain->ApplyDisplayOptions();
    EXPECT_TRUE(view->pnlFrame->isVisibleTo(view));
    o.showFrameRate = 0;
    frmMain->ApplyDisplayOptions();
    EXPECT_FALSE(view->pnlFrame->isVisibleTo(view));
    // The frame-mode switch applies them too.
    o.showFrameRate = 1;
    frmMain->btnFrameClick();
    EXPECT_TRUE(view->pnlFrame->isVisibleTo(view));
    o = saved;
}

TEST_F(OperatorTest, ViewMessagesAreReadable)
{
    TfrmDvrWin view;
    view.resize(720, 520);
    view.show();
    view.SetVideoFormat(4, 0x01); // the video area turns black
    view.ShowMessageText("Incorrect Password...");
    QApplication::processEvents();
    ASSERT_TRUE(view.pnlMsg->isVisible());
    const QImage panel = view.pnlMsg->grab().toImage();
    const QRgb ground = panel.pixel(panel.width() - 4, panel.height() / 2);
    EXPECT_NE(QColor(ground), QColor(Qt::black)) << "the panel stands out of the video area";
    int text = 0, button = 0;
    for (int y = 3; y < panel.height() - 3; ++y) // inside the panel's edge
        for (int x = 3; x < panel.width() - 3; ++x) {
            const int contrast = std::abs(qGray(panel.pixel(x, y)) - qGray(ground));
            if (contrast > 100)
                ++(x < 22 ? button : text);
        }
    EXPECT_GT(text, 40) << "the message shows";
    EXPECT_GT(button, 5) << "the close button shows";
}

TEST_F(OperatorTest, TheStatusBarKeepsEveryItemVisibleAtTheMinimumWidth)
{
    TfrmDvrWin view;
    view.resize(view.minimumWidth(), 360);
    view.show();
    view.SetVideoFormat(16, 0x01);
    view.pnlFrame->setText("30 fps");
    view.lblDiskFree->setText("/: 76.6 GBytes free");
    view.lblStart->setText("2026/12/10 12:00:00");
    view.lblEnd->setText("2026/12/10 12:01:00");
    ASSERT_EQ(view.width(), TfrmDvrWin::kMinimumWidth);
    for (uint8_t mode : {uint8_t(0), uint8_t(1)}) {
        view.SetMode(mode);
        QApplication::processEvents();
        view.layout()->activate();
        QApplication::processEvents();
        std::vector<QWidget *> items = {view.pnlCh, view.pnlFrame, view.pnlState, view.btnLive, view.btnPlay};
        if (mode == 0)
            items.insert(items.end(), {view.btnRelay, view.lblDiskFree});
        else
            items.insert(items.end(), {view.lblStart, view.TrackBar, view.lblEnd});
        const QRect bar = view.pnlStatus->rect();
        std::vector<QRect> rects;
        for (QWidget *w : items) {
            ASSERT_TRUE(w->isVisibleTo(&view)) << w->objectName().toStdString();
            const QRect r(w->mapTo(view.pnlStatus, QPoint(0, 0)), w->size());
            EXPECT_TRUE(bar.contains(r)) << w->objectName().toStdString() << " mode " << int(mode);
            if (auto *label = qobject_cast<QLabel *>(w)) { // no text cut
                EXPECT_GE(r.width(), label->fontMetrics().horizontalAdvance(label->text()))
                    << label->text().toStdString();
            }
            rects.push_back(r);
        }
        EXPECT_GE(view.TrackBar->width(), 40) << "the track bar keeps room to drag";
        for (size_t i = 0; i < rects.size(); ++i)
            for (size_t j = i + 1; j < rects.size(); ++j)
                EXPECT_FALSE(rects[i].intersects(rects[j]))
                    << items[i]->objectName().toStdString() << " covers " << items[j]->objectName().toStdString()
                    << " in mode " << int(mode);
        // The LEDs lie inside their panel.
        for (int i = 0; i < 16; ++i)
            EXPECT_TRUE(view.pnlCh->rect().contains(view.Led(i)->geometry())) << i;
    }
}

TEST_F(OperatorTest, TheSetupPasswordPromptCanBeCancelled)
{
    StartProgram(false);
    TfrmDvrWin *view = OpenLoggedIn();
    ModalScript modal([](QWidget *w) {
        auto *cancel = w->findChild<QPushButton *>("btnCancel");
        ASSERT_NE(cancel, nullptr);
        cancel->click();
    });
    view->cmdDvrSetupClick();
    EXPECT_TRUE(modal.Ran());
    EXPECT_NE(view->pnlMsg->text(), "Checking Password...");
}

// Whether the process has a handler for SIGTERM (the caught-signal mask of /proc/<pid>/status).
static bool CatchesSigterm(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1;
    return false;
}

TEST(Program, ClosingItsMainWindowEndsTheProcessInEitherMode)
{
    for (int frame : {0, 1}) {
        QTemporaryDir dir;
        QSettings(dir.filePath("Strandel.ini"), QSettings::IniFormat).setValue("MainFrame", frame);
        QProcess program;
        program.setWorkingDirectory(dir.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        program.setProcessEnvironment(env);
        program.start(STRANDEL_PROGRAM, {});
        ASSERT_TRUE(program.waitForStarted(5000));
        // Up once it catches stop requests (it does so after building its windows); a loaded
        // machine may take far longer than usual to get there.
        QElapsedTimer up;
        up.start();
        while (!CatchesSigterm(program.processId()) && up.elapsed() < 30000 && program.state() == QProcess::Running)
            QThread::msleep(50);
        QThread::msleep(300);
        ASSERT_EQ(program.state(), QProcess::Running) << program.readAllStandardError().toStdString();
        ASSERT_TRUE(CatchesSigterm(program.processId())) << "mode " << frame;
        QElapsedTimer t;
        t.start();
        program.terminate(); // a stop request closes the main window as the user would
        ASSERT_TRUE(program.waitForFinished(10000)) << "mode " << frame;
        EXPECT_LT(t.elapsed(), 3000) << "mode " << frame;
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0);
        // It closed orderly: the mode was written back.
        EXPECT_EQ(QSettings(dir.filePath("Strandel.ini"), QSettings::IniFormat).value("MainFrame").toInt(), frame);
    }
}

TEST_F(OperatorTest, TheViewMenuOpensOnTheEmptyVideoAreaAndReachesTheToolWindows)
{
    StartProgram(false);
    auto *view = new TfrmDvrWin; // never logged in
    DvrListRecord r;
    r.kind = uint8_t(DvrKind::Network);
    view->SetRecord(r);
    ASSERT_TRUE(frmMain->AddDvrWin(view));
    QTest::mouseClick(view->pnlDvr, Qt::RightButton, {}, QPoint(50, 50));
    ASSERT_TRUE(Pump([&] { return view->popDvrWin->isVisible(); }, 2000));
    EXPECT_TRUE(view->cmdConnect->isEnabled());
    view->popDvrWin->hide();
    view->cmdPanTilt->trigger();
    ASSERT_NE(frmPanTilt, nullptr);
    EXPECT_TRUE(frmPanTilt->isVisible());
    EXPECT_TRUE(frmMain->btnPanTilt->Down());
    view->cmdDvrControl->trigger();
    EXPECT_TRUE(frmDvrCtrl->isVisible());
    EXPECT_TRUE(frmMain->btnDvrCtrl->Down());
}

// Closing the program while a recorder view shows one of its prompts (the password prompt of a
// refused login, the "Master is connected" box, the copy dialog, the log's save dialog): the
// prompt ends, the view goes after it, and the message loop ends as it does without a prompt.
TEST_F(OperatorTest, WithAPromptOfAViewOpenTheProgramEndsOrderly)
{
    // The stop signals get their default action back however the test ends.
    struct SignalDefaults {
        ~SignalDefaults()
        {
            std::signal(SIGINT, SIG_DFL);
            std::signal(SIGTERM, SIG_DFL);
        }
    } signalDefaults;
    const PromptCase cases[] = {
        {"password prompt", DvrLoginDenied, false, nullptr, [](QWidget *w) { return Named(w, "frmDvrPass"); }},
        {"password prompt, frame mode", DvrLoginDenied, true, nullptr,
         [](QWidget *w) { return Named(w, "frmDvrPass"); }},
        {"master box", DvrLoginMasterBusy, false, nullptr,
         [](QWidget *w) { return qobject_cast<QMessageBox *>(w) != nullptr; }},
        {"copy dialog", DvrLoginMaster, false, [](TfrmDvrWin *) { frmMain->btnCopy->click(); },
         [](QWidget *w) { return Named(w, "frmCopy"); }},
        {"log save dialog", DvrLoginMaster, false,
         [](TfrmDvrWin *view) { view->Services().SendCommand(DvrCmdLogDownload); },
         [](QWidget *w) { return qobject_cast<QFileDialog *>(w) != nullptr; }},
    };
    for (const PromptCase &c : cases) {
        for (Closer closer : {Closer::StopSignal, Closer::MainWindow}) {
            SCOPED_TRACE(std::string(c.name) + (closer == Closer::StopSignal ? ", SIGTERM" : ", main window closed"));
            sim::SimOptions options;
            options.listenPort = 0;
            options.fps = 1;
            options.loginResult = c.login;
            sim::DvrSimServer server(options);
            std::string error;
            ASSERT_TRUE(server.Start(error)) << error;

            StartProgram(c.frameMode);
            QObject stopHandler;
            CloseOnStopSignals(&stopHandler);

            DvrListRecord entry;
            entry.kind = uint8_t(DvrKind::Network);
            entry.ip = {127, 0, 0, 1};
            entry.port = uint16_t(server.TcpPort());
            SetField(entry.name, "sim");
            ASSERT_TRUE(OpenRecorderView(&entry));
            QPointer<TfrmDvrWin> view = frmMain->GetCurrentDvrWin();
            ASSERT_TRUE(view);

            bool asked = !c.ask, prompted = false, watchdog = false;
            QTimer step;
            QObject::connect(&step, &QTimer::timeout, [&] {
                if (!asked && view && view->IsLoggedIn()) {
                    asked = true;
                    // Outside this timer's handler, which does not run again until it returns.
                    QTimer::singleShot(0, view, [&] { c.ask(view); });
                    return;
                }
                QWidget *modal = QApplication::activeModalWidget();
                if (prompted || !c.isPrompt(modal))
                    return;
                prompted = true;
                if (closer == Closer::StopSignal)
                    std::raise(SIGTERM);
                else
                    frmMain->close();
            });
            step.start(10);
            QTimer guard;
            guard.setSingleShot(true);
            QObject::connect(&guard, &QTimer::timeout, [&] {
                watchdog = true;
                QCoreApplication::exit(3);
            });
            guard.start(20000);
            const int result = RunMessageLoop();
            step.stop();
            EXPECT_TRUE(prompted);
            EXPECT_FALSE(watchdog);
            EXPECT_EQ(result, 0);
            EXPECT_EQ(frmMain->GetDvrWinCount(), 0);
            // It closed orderly: the settings were written back.
            EXPECT_EQ(QSettings(SettingsFilePath(), QSettings::IniFormat).value("MainFrame").toInt(),
                      c.frameMode ? 1 : 0);
            DestroyApplicationForms();
            EXPECT_TRUE(view.isNull());
            EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
            server.Stop();
        }
    }
}
