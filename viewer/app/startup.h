#pragma once
// Program start-up: the forms in their fixed order, the start-up notice, the message loop.
#include <functional>

class QApplication;
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
int RunViewer(int argc, char **argv);

} // namespace strandel
