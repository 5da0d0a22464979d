#pragma once
// The program's long-lived forms, created once at start-up in a fixed order and owned by the application.
// The pan/tilt window and the set-up editor are the administration area's own (viewer/admin/shells.h).
namespace strandel {

class TfrmMain;
class TfrmMsg;
class TfrmDebug;
class TfrmDvrList;
class TfrmDvrSearch;
class TfrmDvrStatus;
class TfrmDvrCtrl;
class TfrmAboutBox;
class TForm1;

extern TfrmMain *frmMain;
extern TfrmMsg *frmMsg;
extern TfrmDebug *frmDebug;
extern TfrmDvrList *frmDvrList;
extern TfrmDvrSearch *frmDvrSearch;
extern TfrmDvrStatus *frmDvrStatus;
extern TfrmDvrCtrl *frmDvrCtrl;
extern TfrmAboutBox *frmAboutBox;
extern TForm1 *Form1;

} // namespace strandel
