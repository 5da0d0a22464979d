// The control's About box and its property page's window: the only parts with a user interface,
// so they live in a small Qt-side module that the library loads when a host asks; the decoder
// stays free of Qt.
#include "decoder/lumaset.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

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

// The "General" page: one static text, no controls (the control has no properties to set).
extern "C" LUMASET_EXPORT void *LumasetCreatePropertyPage(void *parent)
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return nullptr;
    auto *page = new QWidget(static_cast<QWidget *>(parent));
    page->setObjectName("LumasetPropPage");
    page->setWindowTitle("General");
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(new QLabel("Lumaset Control has no properties to set.", page));
    layout->addStretch();
    return page;
}
