#pragma once
// Shows the report model's messages ("Error loading report", a preview that cannot show) in a
// message box.
class QWidget;

namespace strandel {

// From now on every message of the report model opens a modal box over parent, or, without
// one, over the window the user is working in. Messages from another thread wait for the
// window's thread.
void InstallReportMessageBox(QWidget *parent = nullptr);

} // namespace strandel
