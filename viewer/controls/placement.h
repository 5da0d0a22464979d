#pragma once
// Keeping windows where the operator can see and grab them.
#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace strandel {

// Where a window of the given size whose top left should be at want goes so that it is whole on
// the available area, with titleRoom pixels above it left on screen for a title bar.
QPoint KeepOnScreen(QPoint want, QSize size, const QRect &available, int titleRoom);

// Moves a shown top-level window so that it and its title bar are whole on its screen's
// available area.
void MoveFrameOnScreen(QWidget *window);

} // namespace strandel
