// The control's About box. It is the only part with a user interface, so it lives in a small
// Qt-side module that the library loads when a host asks for the box; the decoder stays free of Qt.
#include "decoder/lumaset.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

extern "C" LUMASET_EXPORT void LumasetShowAbout(void)
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return; // a host without widgets has nowhere to show it
    QMessageBox box;
    box.setWindowTitle("About Lumaset Control");
    box.setText("Lumaset Control, Version 1.0");
    box.setStandardButtons(QMessageBox::Ok);
    box.button(QMessageBox::Ok)->setText("OK");
    box.exec();
}
