#include "viewer/controls/placement.h"

#include <QApplication>
#include <QScreen>
#include <QWindow>
#include <QStyle>
#include <QWidget>

#include <algorithm>

namespace strandel {

QPoint KeepOnScreen(QPoint want, QSize size, const QRect &available, int titleRoom)
{
    const int left = available.left(), top = available.top() + titleRoom;
    const int right = std::max(left, available.left() + available.width() - size.width());
    const int bottom = std::max(top, available.top() + available.height() - size.height());
    return {std::clamp(want.x(), left, right), std::clamp(want.y(), top, bottom)};
}

void MoveFrameOnScreen(QWidget *window)
{
    if (!window || !window->isVisible() || window->isMaximized() || window->isFullScreen())
        return;
    const QScreen *screen = window->screen();
    if (!screen)
        return;
    // What the window system reports of its frame lags behind or misses the title bar, so the
    // client area is kept a title bar's height clear of both edges, and moved by the difference.
    const int room = window->style()->pixelMetric(QStyle::PM_TitleBarHeight) + 8;
    const QRect client = window->geometry();
    const QPoint place = KeepOnScreen(client.topLeft(), client.size() + QSize(0, room), screen->availableGeometry(), room);
    if (place != client.topLeft())
        window->move(window->pos() + (place - client.topLeft()));
}

QWidget *ModalOwner(QWidget *fallback)
{
    QWidget *modal = QApplication::activeModalWidget();
    return modal ? modal : fallback;
}

void ShowAboveModal(QWidget *window)
{
    if (!window)
        return;
    QWidget *modal = QApplication::activeModalWidget();
    if (modal && (modal == window || window->isAncestorOf(modal)))
        modal = nullptr;
    QWidget *over = modal ? modal->window() : (window->parentWidget() ? window->parentWidget()->window() : nullptr);
    QWindow *want = over ? over->windowHandle() : nullptr;
    (void)window->winId(); // the native window carries the transient link
    if (QWindow *handle = window->windowHandle(); handle && handle->transientParent() != want) {
        // The window system reads the link when the window is mapped.
        if (window->isVisible())
            window->hide();
        handle->setTransientParent(want);
    }
    window->show();
    window->raise();
    window->activateWindow();
}

QWidget *PlaceAboveModal(QWidget *dialog)
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!dialog || !modal || modal == dialog || dialog->isAncestorOf(modal))
        return nullptr;
    QWidget *over = modal->window();
    (void)dialog->winId();
    if (QWindow *handle = dialog->windowHandle())
        handle->setTransientParent(over->windowHandle());
    CentreOver(dialog, over);
    return over;
}

void CentreOver(QWidget *dialog, QWidget *over)
{
    if (!dialog)
        return;
    if (!dialog->testAttribute(Qt::WA_Resized))
        dialog->adjustSize();
    const QScreen *screen = over ? over->screen() : dialog->screen();
    if (!screen)
        return;
    QRect place(QPoint(), dialog->size());
    place.moveCenter(over ? over->window()->geometry().center() : screen->availableGeometry().center());
    const int room = dialog->style()->pixelMetric(QStyle::PM_TitleBarHeight) + 8;
    dialog->move(KeepOnScreen(place.topLeft(), place.size() + QSize(0, room), screen->availableGeometry(), room));
}

} // namespace strandel
