#pragma once
// The program's long-lived forms, created once at start-up in a fixed order and owned by the application.
namespace strandel {

class TfrmMain;
class TfrmMsg;
class TfrmDebug;
class TfrmDvrList;
class TfrmPanTilt;
class TfrmDvrSearch;
class TfrmDvrStatus;
class TfrmDvrCtrl;
class TfrmAboutBox;
class TForm1;
class TfrmDvrEnv;

extern TfrmMain *frmMain;
extern TfrmMsg *frmMsg;
extern TfrmDebug *frmDebug;
extern TfrmDvrList *frmDvrList;
extern TfrmPanTilt *frmPanTilt;
extern TfrmDvrSearch *frmDvrSearch;
extern TfrmDvrStatus *frmDvrStatus;
extern TfrmDvrCtrl *frmDvrCtrl;
extern TfrmAboutBox *frmAboutBox;
extern TForm1 *Form1;
extern TfrmDvrEnv *frmDvrEnv;

} // namespace strandel
