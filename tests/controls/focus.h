#pragma once
// Keyboard focus needs an active window, also offscreen.
#include <QApplication>
#include <QTest>
#include <QWidget>

inline bool ShowActive(QWidget &w)
{
    w.show();
    w.activateWindow();
    return QTest::qWaitForWindowActive(&w);
}

inline void FocusOn(QWidget *field)
{
    field->setFocus(Qt::OtherFocusReason);
    QApplication::processEvents();
}
