#include "startup.h"

#include "admin/shells.h"
#include "debug.h"
#include "dvrlist.h"
#include "dvrsearch.h"
#include "forms.h"
#include "mainform.h"
#include "msg.h"
#include "title.h"
#include "vieweroptions.h"

#include <QApplication>
#include <QPushButton>

namespace strandel {

TfrmMain *frmMain = nullptr;
TfrmMsg *frmMsg = nullptr;
TfrmDebug *frmDebug = nullptr;
TfrmDvrList *frmDvrList = nullptr;
TfrmPanTilt *frmPanTilt = nullptr;
TfrmDvrSearch *frmDvrSearch = nullptr;
TfrmDvrStatus *frmDvrStatus = nullptr;
TfrmDvrCtrl *frmDvrCtrl = nullptr;
TfrmAboutBox *frmAboutBox = nullptr;
TForm1 *Form1 = nullptr;
TfrmDvrEnv *frmDvrEnv = nullptr;

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

    frmDvrList->SetIpServerNameSource([] { return QString::fromLatin1(GetViewerOptions().ipServerName.data()); });
    frmDvrSearch->SetDvrList(frmDvrList);
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

int RunViewer(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Strandel");
    QApplication::setApplicationDisplayName("Strandel");
    QApplication::setOrganizationName("Holvane");
    // The main form's close ends the program, whatever other windows are open.
    QApplication::setQuitOnLastWindowClosed(false);
    CreateApplicationForms();
    QObject::connect(frmMain, &QObject::destroyed, &app, &QApplication::quit);
    ShowStartupNotice();
    frmMain->show();
    if (app.arguments().contains("--debug"))
        frmDebug->show();
    struct CloseWatcher : QObject {
        bool eventFilter(QObject *, QEvent *e) override
        {
            if (e->type() == QEvent::Close)
                QMetaObject::invokeMethod(qApp, &QApplication::quit, Qt::QueuedConnection);
            return false;
        }
    } watcher;
    frmMain->installEventFilter(&watcher);
    const int result = app.exec();
    DestroyApplicationForms();
    return result == 0 ? 0 : result;
}

} // namespace strandel
