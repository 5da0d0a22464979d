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

// The window a dialog or message opened now belongs over: the active modal dialog when there is
// one (anything else is blocked behind it), else fallback.
QWidget *ModalOwner(QWidget *fallback);

// Shows a top-level window above the active modal dialog, as the dialog's own transient, so that
// it is seen and can be answered there; without a modal dialog it goes over its parent.
void ShowAboveModal(QWidget *window);

// Prepares a dialog that is about to open modally while another modal dialog is active: it
// becomes that dialog's transient, centred on it, so that it opens above the window it was
// called from instead of over (and lifting) its Qt parent's window. Returns that window, or
// null when no other modal dialog is active (nothing is changed then).
QWidget *PlaceAboveModal(QWidget *dialog);

// Centres a dialog about to open over the window of over (null: on its screen), at the size it
// was given (else its natural size), keeping it and its
// title bar whole on the screen: Qt's own centring takes the frame of the first top-level window
// as every window's, and the frameless main window has none, so a dialog over it near the top
// of the screen opened with its title bar above the screen's edge.
void CentreOver(QWidget *dialog, QWidget *over);

} // namespace strandel
