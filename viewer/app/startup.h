#pragma once
// Program start-up: the forms in their fixed order, the start-up notice, the message loop.
#include <functional>

class QApplication;
class QObject;
class QString;

namespace strandel {

// The notice shown while the application starts.
QString InitializingText();

// Creates the long-lived forms in their order; onCreated hears each form's object name.
void CreateApplicationForms(const std::function<void(const char *)> &onCreated = {});
// Shows and hides the start-up notice.
void ShowStartupNotice();
void DestroyApplicationForms();

// The message loop of the running program; it ends once the main window has closed, whatever
// else is open.
int RunMessageLoop();
// Ctrl+C (SIGINT) or a stop request from outside (SIGTERM) closes the main window as the user
// would; the signal only wakes the message loop, which does the closing.
void CloseOnStopSignals(QObject *parent);
// The report engine's windows that the program gives it: the standard preview and the box its
// messages open.
void InstallReportWindows();
int RunViewer(int argc, char **argv);

} // namespace strandel
