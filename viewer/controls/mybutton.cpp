#include "viewer/controls/mybutton.h"

#include <QPainter>

namespace strandel {

TMyButton::TMyButton(QWidget *owner) : QAbstractButton(owner)
{
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::NoFocus);
    // Checkable only so that clicks reach nextCheckState(); the down state is our own.
    setCheckable(true);
}

void TMyButton::SetDown(bool down)
{
    if (down && groupIndex_ != 0 && parentWidget()) {
        for (TMyButton *b : parentWidget()->findChildren<TMyButton *>(Qt::FindDirectChildrenOnly)) {
            if (b != this && b->groupIndex_ == groupIndex_ && b->down_) {
                b->down_ = false;
                b->update();
            }
        }
    }
    if (down_ != down) {
        down_ = down;
        update();
    }
}

void TMyButton::nextCheckState()
{
    if (groupIndex_ == 0)
        return;
    if (!down_)
        SetDown(true);
    else if (allowAllUp_)
        SetDown(false);
}

int TMyButton::GlyphCell() const
{
    if (!isEnabled())
        return 1;
    if (down_)
        return 2;
    if (hot_) {
        if (isDown())
            return 2;
        return numGlyphs_ == 4 ? 3 : 0;
    }
    return 0;
}

void TMyButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    if (!glyph_.isNull()) {
        const QRect cell(GlyphCell() * width(), 0, width(), height());
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.drawImage(QPoint(0, 0), glyph_, cell);
    } else {
        p.setPen(Qt::black);
        p.setBrush(Qt::white);
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void TMyButton::enterEvent(QEnterEvent *event)
{
    hot_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void TMyButton::leaveEvent(QEvent *event)
{
    hot_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

} // namespace strandel
