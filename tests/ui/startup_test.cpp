#include "platform/debuglog.h"
#include "platform/settings.h"
#include "viewer/admin/shells.h"
#include "viewer/admin/dvrctrl.h"
#include "viewer/admin/pantilt.h"
#include "viewer/app/debug.h"
#include "viewer/app/dvrlist.h"
#include "viewer/view/dvrwin.h"
#include "viewer/app/forms.h"
#include "viewer/controls/mybutton.h"
#include "viewer/app/mainform.h"
#include "viewer/app/msg.h"
#include "viewer/app/startup.h"
#include "viewer/app/uihelpers.h"
#include "viewer/view/title.h"
#include "viewer/admin/dvrservices.h"
#include "viewer/base/vieweroptions.h"
#include "report/bands/pagorra.h"
#include "report/base/message.h"
#include "report/forms/compedform.h"
#include "report/forms/pgxmessage.h"
#include "report/forms/standardpreview.h"
#include "report/stored/extra.h"
#include "tests/common/modalscript.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QTimer>
#include <QDir>
#include <QFrame>
#include <QGuiApplication>
#include <QScreen>
#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

using namespace strandel;

namespace {

QApplication &App() { return *static_cast<QApplication *>(QApplication::instance()); }

class UiTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        App();
        SetSettingsFilePath(dir.filePath("Strandel.ini"));
        oldCwd = QDir::currentPath();
        QDir::setCurrent(dir.path());
    }
    void TearDown() override
    {
        QDir::setCurrent(oldCwd);
        SetSettingsFilePath({});
    }
    void Setting(const char *name, const QVariant &v)
    {
        QSettings s(SettingsFilePath(), QSettings::IniFormat);
        s.setValue(name, v);
    }
    QTemporaryDir dir;
    QString oldCwd;
};

} // namespace

TEST_F(UiTest, StartUpCreatesTheFormsInOrderAndShowsTheNotice)
{
    std::vector<std::string> order;
    CreateApplicationForms([&](const char *name) { order.push_back(name); });
    const std::vector<std::string> expected = {"frmMain",      "frmMsg",      "frmDebug",    "frmDvrList",
                                               "frmPanTilt",   "frmDvrSearch", "frmDvrStatus", "frmDvrCtrl",
                                               "frmAboutBox",  "Form1",        "frmDvrEnv"};
    EXPECT_EQ(order, expected);
    ShowStartupNotice();
    EXPECT_EQ(frmMsg->Text(), " Initializing Application" + QString(40, '.') + "OK");
    EXPECT_FALSE(frmMsg->isVisible());
    EXPECT_EQ(frmMain->windowTitle(), "Strandel");
    DestroyApplicationForms();
    EXPECT_EQ(frmMain, nullptr);
}

TEST_F(UiTest, ClosingAToolWindowReleasesItsToolbarButton)
{
    CreateApplicationForms({});
    struct Case {
        TMyButton *button;
        QWidget *window;
        void (TfrmMain::*click)();
    } cases[] = {{frmMain->btnPanTilt, frmPanTilt, &TfrmMain::btnPanTiltClick},
                 {frmMain->btnDvrCtrl, frmDvrCtrl, &TfrmMain::btnDvrCtrlClick}};
    for (const Case &c : cases) {
        c.button->SetDown(true);
        (frmMain->*c.click)();
        EXPECT_TRUE(c.window->isVisible());
        c.window->close();
        EXPECT_FALSE(c.button->Down());
    }
    DestroyApplicationForms();
}

TEST_F(UiTest, ToolWindowsCloseWithTheLastView)
{
    // They act on the current view: while one is left they stay, with none they close.
    CreateApplicationForms({});
    TfrmDvrWin *views[2];
    for (TfrmDvrWin *&v : views) {
        v = new TfrmDvrWin;
        DvrListRecord r;
        r.kind = uint8_t(DvrKind::Network);
        v->SetRecord(r);
        ASSERT_TRUE(frmMain->AddDvrWin(v));
    }
    for (TMyButton *b : {frmMain->btnPanTilt, frmMain->btnDvrCtrl})
        b->SetDown(true);
    frmMain->btnPanTiltClick();
    frmMain->btnDvrCtrlClick();
    ASSERT_TRUE(frmPanTilt->isVisible());
    ASSERT_TRUE(frmDvrCtrl->isVisible());

    frmMain->RemoveDvrWin(views[1]);
    EXPECT_TRUE(frmPanTilt->isVisible());
    EXPECT_TRUE(frmDvrCtrl->isVisible());
    frmMain->RemoveDvrWin(views[0]);
    EXPECT_FALSE(frmPanTilt->isVisible());
    EXPECT_FALSE(frmDvrCtrl->isVisible());
    EXPECT_FALSE(frmMain->btnPanTilt->Down());
    EXPECT_FALSE(frmMain->btnDvrCtrl->Down());
    QApplication::processEvents(); // the views' queued frees
    DestroyApplicationForms();
}

TEST_F(UiTest, FirstStartOpensTheToolbarModeWithDefaults)
{
    TfrmMain main;
    EXPECT_FALSE(main.IsFrameMode());
    EXPECT_EQ(main.pos(), QPoint(100, 100));
    EXPECT_EQ(main.size(), QSize(357, 50 + 162));
    const ViewerOptions &o = GetViewerOptions();
    EXPECT_EQ(o.showChannelTitle, 1);
    EXPECT_EQ(o.showDateTime, 0);
    EXPECT_EQ(o.showEvent, 1);
    EXPECT_EQ(o.showFrameRate, 1);
    EXPECT_EQ(o.useIpServer, 1);
    main.show();
    EXPECT_FALSE(main.btnCh[0]->isEnabled());
    EXPECT_FALSE(main.btnPlay->isEnabled());
    EXPECT_FALSE(main.lblClock->text().isEmpty());
}

TEST_F(UiTest, ControllerStepsTheToolbarHeight)
{
    Setting("MainController", 2);
    TfrmMain main;
    EXPECT_EQ(main.height(), 50 + 262);
    const int imgLeft = main.imgLeft->height();
    std::vector<int> heights;
    for (int i = 0; i < 3; ++i) {
        main.btnControllerClick();
        heights.push_back(main.Controller());
        if (main.Controller() == 0) {
            EXPECT_EQ(main.height(), 50);
        } else if (main.Controller() == 1) {
            EXPECT_EQ(main.height(), 50 + imgLeft + 1);
        }
    }
    EXPECT_EQ(heights, (std::vector<int>{0, 1, 2}));
}

TEST_F(UiTest, FrameModeUsesItsOwnGeometryAndFitsThePictureAspect)
{
    Setting("MainFrame", 1);
    Setting("MainPosXF", 30);
    Setting("MainPosYF", 40);
    Setting("MainPosWF", 800);
    Setting("MainPosHF", 600);
    TfrmMain main;
    EXPECT_TRUE(main.IsFrameMode());
    EXPECT_EQ(main.pos(), QPoint(30, 40));
    EXPECT_EQ(main.width(), 800);
    main.show();
    QWidget *picture = main.GetFrameDvrWin()->pnlDvr;
    EXPECT_EQ(picture->height(), 480 * picture->width() / 720);
}

// A saved frame size too small for any window (zero, one pixel, one side only) takes the default.
TEST_F(UiTest, FrameSizeBelowTheMinimumTakesTheDefault)
{
    Setting("MainFrame", 1);
    for (const QSize saved : {QSize(0, 0), QSize(1, 1), QSize(100, 600), QSize(800, 100)}) {
        SCOPED_TRACE(saved.width());
        Setting("MainPosWF", saved.width());
        Setting("MainPosHF", saved.height());
        TfrmMain main;
        EXPECT_EQ(main.size(), QSize(640, 500));
        main.show();
        EXPECT_EQ(main.width(), 640);
        EXPECT_GT(main.GetFrameDvrWin()->pnlDvr->height(), 200);
    }
}

// Saved positions and sizes beyond any screen (a damaged file) are brought back onto one.
TEST_F(UiTest, SavedGeometryIsFittedToTheScreens)
{
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    for (int frame : {0, 1}) {
        SCOPED_TRACE(frame);
        Setting("MainFrame", frame);
        for (const char *name : {"MainPosX", "MainPosY", "MainPosXF", "MainPosYF", "MainPosWF", "MainPosHF"})
            Setting(name, 2147483647);
        TfrmMain main;
        main.show();
        EXPECT_TRUE(screen.contains(main.pos())) << main.pos().x() << "," << main.pos().y();
        EXPECT_LE(main.width(), screen.width());
        EXPECT_LE(main.height(), screen.height());
    }
    // A window saved on a screen left of the primary one starts on the primary one.
    Setting("MainFrame", 0);
    Setting("MainPosX", -5000);
    Setting("MainPosY", 40);
    TfrmMain main;
    EXPECT_EQ(main.pos(), QGuiApplication::primaryScreen()->availableGeometry().topLeft());
}

TEST_F(UiTest, SwitchingModesRestoresEachModesPosition)
{
    TfrmMain main;
    main.show();
    main.move(120, 130);
    main.btnFrameClick();
    ASSERT_TRUE(main.IsFrameMode());
    EXPECT_EQ(main.pos(), QPoint(10, 10));
    main.move(50, 60);
    main.btnFrameClick();
    EXPECT_FALSE(main.IsFrameMode());
    // The toolbar has no frame: it is where its client area is (the platform may still
    // remember the frame margins of the mode before).
    EXPECT_EQ(main.geometry().topLeft(), QPoint(120, 130));
    main.btnFrameClick();
    EXPECT_EQ(main.pos(), QPoint(50, 60));
    main.btnFrameClick();
    EXPECT_EQ(main.geometry().topLeft(), QPoint(120, 130));
    EXPECT_TRUE(main.btnFrame->isEnabled());
    EXPECT_FALSE(main.IsSwitchingLayout());
}

TEST_F(UiTest, ClosingWritesTheSettings)
{
    {
        TfrmMain main;
        main.show();
        main.move(222, 111);
        main.close();
    }
    QSettings s(SettingsFilePath(), QSettings::IniFormat);
    EXPECT_EQ(s.value("MainPosX").toInt(), 222);
    EXPECT_EQ(s.value("MainPosY").toInt(), 111);
    EXPECT_EQ(s.value("MainFrame").toInt(), 0);
    EXPECT_EQ(s.value("MainPosWF").toInt(), 640);
}

TEST_F(UiTest, LongServerNameKeepsItsFirst127Characters)
{
    Setting("IpServerName", QString(200, 'a'));
    ViewerOptions o;
    ReadViewerOptions(o);
    EXPECT_EQ(std::string(o.ipServerName.data()), std::string(127, 'a'));
    // Longer than any host name: the built-in server.
    Setting("IpServerName", QString(1000000, 'a'));
    ReadViewerOptions(o);
    EXPECT_EQ(std::string(o.ipServerName.data()), "127.0.0.1");
}

TEST(FitFrameSizing, KeepsThePictureAt720ByV)
{
    struct Case {
        QRect proposed;
        SizingEdge edge;
        QSize picture;
    } cases[] = {
        {QRect(0, 0, 100 + 160, 100 + 120), SizingEdge::BottomRight, QSize(225, 150)},
        {QRect(5, 5, 900 + 160, 400 + 120), SizingEdge::Right, QSize(900, 600)},
        {QRect(5, 5, 900 + 160, 400 + 120), SizingEdge::Bottom, QSize(600, 400)},
        {QRect(-20, -30, 720 + 160, 480 + 120), SizingEdge::TopLeft, QSize(720, 480)},
    };
    for (const auto &c : cases) {
        const QRect r = FitFrameSizing(c.proposed, c.edge, 160, 120, 480);
        EXPECT_EQ(r.size(), c.picture + QSize(160, 120));
        EXPECT_GE(r.left(), 0);
        EXPECT_GE(r.top(), 0);
    }
}

TEST_F(UiTest, DebugWindowKeepsTheNewest1024Lines)
{
    TfrmDebug debug;
    EXPECT_EQ(DebugPrint("hidden"), 0);
    debug.show();
    QApplication::processEvents();
    QStringList first = debug.Lines();
    ASSERT_EQ(first.size(), 2) << first.join("|").toStdString();
    EXPECT_EQ(first[1], "895, 494, 205, 394");
    for (int i = 1; i <= 1100; ++i)
        DebugPrint("%d", i);
    QApplication::processEvents();
    const QStringList lines = debug.Lines();
    ASSERT_EQ(lines.size(), 1024);
    EXPECT_EQ(lines.first(), "77");
    EXPECT_EQ(lines.last(), "1100");
    debug.hide();
    EXPECT_EQ(DebugPrint("hidden"), 0);
    debug.show();
    QApplication::processEvents();
    EXPECT_EQ(debug.Lines().size(), 2);
}

TEST_F(UiTest, TheAboutBoxAndTheToolbarShowOneVersion)
{
    CreateApplicationForms({});
    const QString toolbar = frmMain->lblInfo->text();
    ASSERT_TRUE(toolbar.startsWith(u'V')) << toolbar.toStdString();
    const QString version = toolbar.mid(1);
    EXPECT_FALSE(version.isEmpty());
    EXPECT_EQ(frmAboutBox->Version->text(), "Version " + version);
    QString shown;
    test::ModalScript modal([&](QWidget *) { shown = frmAboutBox->Version->text(); },
                            [](QWidget *w) { return w == frmAboutBox; });
    frmMain->Image1DblClick();
    EXPECT_TRUE(modal.Ran());
    EXPECT_EQ(shown, "Version " + version);
    DestroyApplicationForms();
}

TEST_F(UiTest, TheOptionsDialogOpensWithItsTitleBarOnTheScreen)
{
    TfrmMain main;
    main.move(100, 10); // the frameless toolbar window near the top of the screen
    main.show();
    const QRect avail = main.screen()->availableGeometry();
    QRect shown;
    test::ModalScript modal([&](QWidget *w) { shown = w->geometry(); },
                            [](QWidget *w) { return w->objectName() == "frmOption"; });
    main.btnOptionClick();
    ASSERT_TRUE(modal.Ran());
    EXPECT_GE(shown.top(), avail.top() + main.style()->pixelMetric(QStyle::PM_TitleBarHeight)) << "no room for the title bar";
    EXPECT_LE(shown.bottom(), avail.bottom());
}

TEST_F(UiTest, TheDebugWindowShowsNoEmptyPictureBand)
{
    TfrmDebug debug;
    debug.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&debug));
    // The lines fill the window: no grey band where a picture would be.
    EXPECT_EQ(debug.edtMsg->geometry(), debug.rect());
    const QImage shot = debug.grab().toImage();
    const QColor olive(0x80, 0x80, 0x00);
    EXPECT_EQ(shot.pixelColor(debug.width() / 3, 100), olive); // where the picture was
    EXPECT_EQ(shot.pixelColor(debug.width() / 3, debug.height() / 2), olive);
    debug.hide();
}

TEST_F(UiTest, MessageWindowReplacesItsText)
{
    TfrmMsg msg;
    msg.SetMsg("Success !!");
    msg.SetMsg("Fail !!");
    EXPECT_EQ(msg.Text(), "Fail !!");
    EXPECT_TRUE(msg.isVisible());
    msg.BitBtn1->click();
    EXPECT_FALSE(msg.isVisible());
}

TEST_F(UiTest, AMessageRaisedInsideAModalDialogIsAboveItAndTakesAClick)
{
    TfrmMsg msg;
    QDialog setup;
    setup.setObjectName("frmDvrEnv");
    setup.resize(400, 300);
    test::ModalScript modal(
        [&](QWidget *) {
            msg.SetMsg("Success !!");
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&msg));
            ASSERT_NE(msg.windowHandle(), nullptr);
            // Transient for the dialog: the window manager keeps it above, Qt does not block it.
            EXPECT_EQ(msg.windowHandle()->transientParent(), setup.windowHandle());
            EXPECT_TRUE(QTest::qWaitForWindowActive(&msg));
            // Through the window, as the window system delivers it: a blocked window drops it.
            QTest::mouseClick(msg.windowHandle(), Qt::LeftButton, {}, msg.BitBtn1->geometry().center());
            EXPECT_FALSE(msg.isVisible()) << "the click did not reach the message";
            EXPECT_TRUE(setup.isVisible());
        },
        [&](QWidget *w) { return w == &setup; });
    setup.exec();
    EXPECT_TRUE(modal.Ran());

    // Without a modal dialog it is a window of its own again; Enter acknowledges it.
    msg.SetMsg("Fail !!");
    EXPECT_EQ(msg.windowHandle()->transientParent(), nullptr);
    EXPECT_TRUE(msg.isVisible());
    ASSERT_TRUE(QTest::qWaitForWindowActive(&msg));
    QTest::keyClick(msg.windowHandle(), Qt::Key_Return);
    EXPECT_FALSE(msg.isVisible());
}

TEST(FolderDialog, PositionCentresOnTheOwnerOrUsesThePoint)
{
    FolderBrowseParams p;
    p.x = 10;
    p.y = 20;
    EXPECT_EQ(FolderDialogPosition(p, QSize(300, 200)), QPoint(10, 20));
    p.width = 401;
    p.height = 301;
    EXPECT_EQ(FolderDialogPosition(p, QSize(300, 200)), QPoint(60, 70));
    p.width = 100;
    p.height = 100;
    EXPECT_EQ(FolderDialogPosition(p, QSize(301, 301)), QPoint(10 - 100, 20 - 100));
}

TEST_F(UiTest, DecodeJpegRefusesBrokenPicturesAndKeepsTheBitmap)
{
    QImage bitmap(3, 3, QImage::Format_ARGB32);
    JpegPicture junk{{0xFF, 0xD8, 1, 2, 3}};
    EXPECT_EQ(DecodeJpeg(&junk, &bitmap), nullptr);
    EXPECT_EQ(bitmap.size(), QSize(3, 3));
    EXPECT_EQ(DecodeJpeg(nullptr, &bitmap), nullptr);
}

TEST_F(UiTest, TheMainWindowsServicesReachItsViewsAndHelpers)
{
    CreateApplicationForms({});
    ASSERT_NE(GetMainServices(), nullptr);
    EXPECT_EQ(GetCurrentDvrWin(), nullptr);
    EXPECT_EQ(QString::fromStdString(GetStartDir()), frmMain->GetStartDir());
    auto *view = new TfrmDvrWin;
    frmMain->AddDvrWin(view);
    frmMain->SetCurrentDvrWin(view);
    EXPECT_EQ(GetCurrentDvrWin(), &view->Services());
    // The calendar answers with the date picked in it; cancelled, with nothing.
    for (bool ok : {true, false}) {
        QTimer::singleShot(50, [ok] {
            if (auto *d = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
                if (auto *cal = d->findChild<QCalendarWidget *>())
                    cal->setSelectedDate(QDate(2026, 12, 24));
                d->done(ok ? 1 : 2);
            }
        });
        const auto date = SelectDate(QDate(2026, 12, 10), nullptr);
        EXPECT_EQ(date.has_value(), ok);
        if (ok) {
            EXPECT_EQ(*date, QDate(2026, 12, 24));
        }
    }
    // The main window frees the view it still holds when it goes.
    DestroyApplicationForms();
    EXPECT_EQ(GetCurrentDvrWin(), nullptr);
}

// What the program gives the report engine at start: a report with no preview of its own shows
// the standard preview (here from its settings form's Preview button), and the engine's
// messages open a message box.
TEST_F(UiTest, ReportsPreviewInTheStandardPreviewAndTellTheUser)
{
    InstallReportWindows();
    QStringList told;
    PgxSetDialogMessageHook([&](QWidget *, const QString &text) { told << text; });

    TPagorra report;
    report.CreateBand(TPgxBandType::rbTitle)->SetHeight(200);
    int pagesShown = -1;
    // Closes the window as a user would, once its page is there.
    QTimer closer;
    closer.setInterval(10);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *form = qobject_cast<TPgxStandardPreview *>(w); form && form->isVisible()) {
                if (!report.Available() || !report.Printer()
                    || report.Printer()->Status() != TPgxPrinterStatus::mpFinished)
                    return;
                pagesShown = report.Printer()->PageCount();
                closer.stop();
                form->close();
                return;
            }
    });
    closer.start();
    TPgxCompEd settings;
    settings.SetPagorra(&report);
    settings.Preview->click();
    EXPECT_EQ(pagesShown, 1);
    EXPECT_TRUE(told.isEmpty());

    EXPECT_EQ(PgxLoadReport(dir.filePath("missing.frm")), nullptr);
    EXPECT_EQ(told, QStringList{QStringLiteral("Error loading report")});

    RegisterPreviewClass(nullptr);
    RegisterReportMessageHook(nullptr);
    PgxSetDialogMessageHook({});
    for (QWidget *w : QApplication::topLevelWidgets())
        if (qobject_cast<TPgxStandardPreview *>(w))
            delete w;
}

// Frame mode and back, with each long-lived window open, at each toolbar height: every panel
// is where its mode puts it, shown, and the toolbar keeps the height its controller gives it.
TEST_F(UiTest, SwitchingModesKeepsEveryPanelWhateverIsOpen)
{
    CreateApplicationForms({});
    TfrmMain &main = *frmMain;
    main.show();
    const QList<QWidget *> windows = {nullptr, frmPanTilt, frmDvrCtrl, frmDvrList, frmDebug};
    const int imgLeft = main.imgLeft->height();
    const auto checkToolbar = [&](int controller) {
        const int top = main.pnlToolTop->height();
        const int extra = controller == 0 ? 0 : controller == 1 ? imgLeft + 1 : imgLeft + 101;
        EXPECT_EQ(main.size(), QSize(357, top + extra));
        EXPECT_TRUE(main.pnlLeft->isVisible());
        EXPECT_EQ(main.pnlLeft->geometry(), QRect(0, top, 357, extra));
        EXPECT_EQ(main.pnlToolPlay->parentWidget(), main.pnlLeft);
        for (QWidget *panel : {main.pnlToolCh, main.pnlToolControl, main.pnlToolSearch, main.pnlToolPlay,
                               main.pnlToolMulti, main.pnlToolClock}) {
            SCOPED_TRACE(panel->objectName().toStdString());
            EXPECT_TRUE(panel->isVisible());
            EXPECT_TRUE(QRect(0, 0, 357, imgLeft).contains(panel->geometry()));
        }
        EXPECT_FALSE(main.GetFrameDvrWin()->isVisible());
    };
    const auto checkFrame = [&] {
        const int top = main.pnlToolTop->height(), playH = main.pnlToolPlay->height();
        const int W = main.width(), H = main.height();
        EXPECT_EQ(main.pnlToolPlay->parentWidget(), &main);
        EXPECT_TRUE(main.pnlToolPlay->isVisible());
        EXPECT_EQ(main.pnlToolPlay->geometry(), QRect(0, H - playH, W, playH));
        EXPECT_TRUE(main.pnlLeft->isVisible());
        const int leftW = main.pnlToolCh->width() + 12;
        EXPECT_EQ(main.pnlLeft->geometry(), QRect(W - leftW, top, leftW, H - top - playH));
        EXPECT_TRUE(main.GetFrameDvrWin()->isVisible());
        EXPECT_EQ(main.GetFrameDvrWin()->geometry(), QRect(0, top, W - leftW, H - top - playH));
        for (QWidget *panel : {main.pnlToolCh, main.pnlToolControl, main.pnlToolSearch, main.pnlToolMulti,
                               main.pnlToolClock})
            EXPECT_TRUE(panel->isVisible()) << panel->objectName().toStdString();
    };
    for (int controller = 0; controller < 3; ++controller) {
        while (main.Controller() != controller)
            main.btnControllerClick();
        for (QWidget *w : windows) {
            SCOPED_TRACE(testing::Message() << "controller " << controller << ", "
                                            << (w ? w->objectName().toStdString() : "nothing open"));
            if (w)
                w->show();
            for (int round = 0; round < 2; ++round) {
                main.btnFrameClick();
                ASSERT_TRUE(main.IsFrameMode());
                checkFrame();
                main.btnFrameClick();
                ASSERT_FALSE(main.IsFrameMode());
                checkToolbar(controller);
            }
            if (w)
                w->hide();
        }
    }
    DestroyApplicationForms();
}
