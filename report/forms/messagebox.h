#pragma once
// Shows the report model's messages ("Error loading report") in a message box.
class QWidget;

namespace strandel {

// From now on every message of the report model opens a modal box over parent.
void InstallReportMessageBox(QWidget *parent = nullptr);

} // namespace strandel
