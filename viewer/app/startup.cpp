#include "viewer/app/startup.h"

#include "platform/pages.h"
#include "report/forms/messagebox.h"
#include "report/forms/printdialogs.h"
#include "report/forms/progressform.h"
#include "report/forms/qtprinter.h"
#include "report/forms/standardpreview.h"
#include "report/printables/printables_shape.h"

#include "viewer/controls/selcal.h"
#include "viewer/app/uihelpers.h"

#include "viewer/admin/dvrservices.h"
#include "viewer/admin/shells.h"
#include "viewer/app/debug.h"
#include "viewer/app/dvrlist.h"
#include "viewer/app/dvrsearch.h"
#include "viewer/view/dvrwin.h"
#include "viewer/app/forms.h"
#include "viewer/app/mainform.h"
#include "viewer/app/msg.h"
#include "viewer/view/dvrwinhost.h"
#include "viewer/view/title.h"
#include "viewer/base/vieweroptions.h"
#include "viewer/controls/mybutton.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QPointer>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <unistd.h>

namespace strandel {

TfrmMain *frmMain = nullptr;
TfrmMsg *frmMsg = nullptr;
TfrmDebug *frmDebug = nullptr;
TfrmDvrList *frmDvrList = nullptr;
TfrmDvrSearch *frmDvrSearch = nullptr;
TfrmDvrStatus *frmDvrStatus = nullptr;
TfrmDvrCtrl *frmDvrCtrl = nullptr;
TfrmAboutBox *frmAboutBox = nullptr;
TForm1 *Form1 = nullptr;

namespace {

// The views reach the main window, the notice window and the address book through this host;
// each form may be missing (before start-up, after shut-down, in tests), and a view then keeps
// to itself.
class ProgramViewHost final : public DvrWinHost {
public:
    bool IsSwitchingLayout() override { return frmMain && frmMain->IsSwitchingLayout(); }
    int GetDvrWinCount() const override { return frmMain ? frmMain->GetDvrWinCount() : 1; }
    bool AddDvrWin(TfrmDvrWin *view) override { return !frmMain || frmMain->AddDvrWin(view); }
    void RemoveDvrWin(TfrmDvrWin *view) override
    {
        if (frmMain)
            frmMain->RemoveDvrWin(view);
    }
    void SetCurrentDvrWin(TfrmDvrWin *view) override
    {
        if (frmMain)
            frmMain->SetCurrentDvrWin(view);
    }
    void SetDvrCaption(TfrmDvrWin *view, const QString &text) override
    {
        if (frmMain)
            frmMain->SetDvrCaption(view, text);
    }
    void UpdateToolbar(TfrmDvrWin *view) override
    {
        if (frmMain)
            frmMain->UpdateToolbar(view);
    }
    void ShowPanTilt() override
    {
        if (frmMain)
            frmMain->ShowToolWindow(frmMain->btnPanTilt);
    }
    void ShowKeyPad() override
    {
        if (frmMain)
            frmMain->ShowToolWindow(frmMain->btnDvrCtrl);
    }
    void PlayAudio(TfrmDvrWin *view, const uint8_t *data, size_t length) override
    {
        if (frmMain)
            frmMain->PlayAudio(view, data, length);
    }
    void ShowNotice(const QString &text) override
    {
        if (frmMsg)
            frmMsg->SetMsg(text);
    }
    void UpdateListedMac(DvrListRecord *record, const uint8_t mac[6]) override
    {
        if (!frmDvrList)
            return;
        for (int i = 0; i < frmDvrList->RecordCount(); ++i)
            if (frmDvrList->Record(i) == record) {
                std::copy(mac, mac + 6, record->mac.begin());
                frmDvrList->UpdateMacText(record);
                break;
            }
    }
};

ProgramViewHost programViewHost;
[[maybe_unused]] const bool programViewHostInstalled = (SetDvrWinHost(&programViewHost), true);

// The main window as the administration windows see it; without a main window there is no
// current view.
class ProgramMainServices final : public MainServices {
public:
    DvrServices *GetCurrentDvrWin() const override
    {
        TfrmDvrWin *view = frmMain ? frmMain->GetCurrentDvrWin() : nullptr;
        return view ? &view->Services() : nullptr;
    }
    std::string GetStartDir() const override
    {
        return frmMain ? frmMain->GetStartDir().toStdString() : std::string(".");
    }
    std::optional<std::string> BrowseForFolder(const std::string &path, QWidget *owner) override
    {
        FolderBrowseParams params;
        params.SetPath(path.c_str());
        if (!strandel::BrowseForFolder(&params, owner, -1, -1))
            return std::nullopt;
        return std::string(params.GetPath());
    }
    std::optional<QDate> SelectDate(const QDate &date, QWidget *owner) override
    {
        TfrmSelCal dialog(owner);
        dialog.edtCal->setSelectedDate(date);
        if (dialog.exec() != 1)
            return std::nullopt;
        return dialog.edtCal->selectedDate();
    }
};

ProgramMainServices programMainServices;
[[maybe_unused]] const bool programMainServicesInstalled = (SetMainServices(&programMainServices), true);

} // namespace

QString InitializingText() { return " Initializing Application" + QString(40, '.') + "OK"; }

namespace {

template <typename T> void Create(T *&slot, const std::function<void(const char *)> &onCreated)
{
    slot = new T(nullptr);
    if (onCreated)
        onCreated(slot->objectName().toLatin1().constData());
}

} // namespace

void CreateApplicationForms(const std::function<void(const char *)> &onCreated)
{
    Create(frmMain, onCreated);
    Create(frmMsg, onCreated);
    Create(frmDebug, onCreated);
    Create(frmDvrList, onCreated);
    Create(frmPanTilt, onCreated);
    Create(frmDvrSearch, onCreated);
    Create(frmDvrStatus, onCreated);
    Create(frmDvrCtrl, onCreated);
    Create(frmAboutBox, onCreated);
    Create(Form1, onCreated);
    Create(frmDvrEnv, onCreated);

    // Closing a tool window releases its toolbar button.
    QObject::connect(frmPanTilt, &TfrmPanTilt::closed, frmMain, [] { frmMain->btnPanTilt->SetDown(false); });
    QObject::connect(frmDvrCtrl, &TfrmDvrCtrl::closed, frmMain, [] { frmMain->btnDvrCtrl->SetDown(false); });
    frmDvrList->SetIpServerNameSource([] { return QString::fromLatin1(GetViewerOptions().ipServerName.data()); });
    frmDvrSearch->SetDvrList(frmDvrList);
    // A recording from the book opens as the "FILE Search" button's does: with the time search,
    // once the book has closed, so that a file can be picked.
    frmDvrList->SetViewOpener([](DvrListRecord *entry) {
        if (!OpenRecorderView(entry))
            return false;
        if (entry && entry->kind == uint8_t(DvrKind::RecordedFile)) {
            QPointer<TfrmDvrWin> view = frmMain->GetCurrentDvrWin();
            QTimer::singleShot(0, frmMain, [view] {
                if (view && view == frmMain->GetCurrentDvrWin())
                    frmMain->btnSearchClick(1);
            });
        }
        return true;
    });
}

void ShowStartupNotice()
{
    frmMsg->SetMsg(InitializingText());
    frmMsg->repaint();
    frmMsg->BitBtn1->setVisible(true);
    frmMsg->hide();
}

void DestroyApplicationForms()
{
    // Reverse order of creation; the main window goes last.
    delete frmDvrEnv;
    frmDvrEnv = nullptr;
    delete Form1;
    Form1 = nullptr;
    delete frmAboutBox;
    frmAboutBox = nullptr;
    delete frmDvrCtrl;
    frmDvrCtrl = nullptr;
    delete frmDvrStatus;
    frmDvrStatus = nullptr;
    delete frmDvrSearch;
    frmDvrSearch = nullptr;
    delete frmPanTilt;
    frmPanTilt = nullptr;
    delete frmDvrList;
    frmDvrList = nullptr;
    delete frmDebug;
    frmDebug = nullptr;
    delete frmMsg;
    frmMsg = nullptr;
    delete frmMain;
    frmMain = nullptr;
}

namespace {

int signalPipe[2] = {-1, -1};

void OnStopSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

} // namespace

void CloseOnStopSignals(QObject *parent)
{
    if (signalPipe[0] < 0 && ::pipe(signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, parent);
    QObject::connect(notifier, &QSocketNotifier::activated, parent, [] {
        char byte;
        [[maybe_unused]] const ssize_t n = ::read(signalPipe[0], &byte, 1);
        if (frmMain)
            frmMain->close();
    });
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

namespace {

// Ends the message loop once the main window has closed. A plain quit would first ask every
// window to close, and a view's frame window refuses (it closes through the main window).
class QuitOnMainClose : public QObject {
public:
    bool eventFilter(QObject *watched, QEvent *e) override
    {
        if (watched == frmMain && e->type() == QEvent::Close)
            QMetaObject::invokeMethod(qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
        return false;
    }
};

} // namespace

int RunMessageLoop()
{
    QuitOnMainClose watcher;
    if (frmMain)
        frmMain->installEventFilter(&watcher);
    const int result = QApplication::exec();
    if (frmMain)
        frmMain->removeEventFilter(&watcher);
    return result;
}

void InstallReportWindows()
{
    // Reports previewed without a window of their own show the standard preview, and the
    // engine's messages ("Error loading report") reach the user.
    PgxRegisterStandardPreview();
    InstallReportMessageBox();
}

int RunViewer(int argc, char **argv)
{
    TuneHeapForPictures();
    QApplication app(argc, argv);
    // First: a stop request during start-up waits in the pipe until the loop runs.
    CloseOnStopSignals(&app);
    QApplication::setApplicationName("Strandel");
    QApplication::setApplicationDisplayName("Strandel");
    QApplication::setOrganizationName("Holvane");
    // The main form's close ends the program, whatever other windows are open.
    QApplication::setQuitOnLastWindowClosed(false);
    // Reports print through Qt's printers and ask for them in Qt's print dialog.
    PgxRegisterQtPrinter();
    PgxRegisterReportPrinterSetup();
    // Printing and exporting show how far they have come and can be cancelled.
    PgxRegisterProgressForm();
    InstallReportWindows();
    // Export filters receive band backgrounds as shape printables.
    PgxRegisterShapeExports();
    CreateApplicationForms();
    QObject::connect(frmMain, &QObject::destroyed, &app, [] { QCoreApplication::exit(0); });
    ShowStartupNotice();
    frmMain->show();
    if (app.arguments().contains("--debug"))
        frmDebug->show();
    const int result = RunMessageLoop();
    DestroyApplicationForms();
    return result;
}

} // namespace strandel
