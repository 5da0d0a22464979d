#include "viewer/controls/myitemedit.h"

#include <QKeyEvent>
#include <QWheelEvent>

#include <algorithm>

namespace strandel {

TMyItemEdit::TMyItemEdit(QWidget *owner) : QLineEdit(owner)
{
    setReadOnly(true);
    const QString noYes[2] = {QStringLiteral("NO"), QStringLiteral("YES")};
    SetItem(2, noYes);
}

void TMyItemEdit::SetItem(int count, const QString *items)
{
    itemCount_ = std::clamp(count, 0, kMaxItems);
    for (int i = 0; i < kMaxItems; ++i)
        items_[i] = (i < itemCount_ && items) ? items[i] : QString();
    itemIndex_ = 0;
    ShowCurrent();
}

void TMyItemEdit::SetValue(int i)
{
    itemIndex_ = itemCount_ > 0 ? std::clamp(i, 0, itemCount_ - 1) : 0;
    ShowCurrent();
}

void TMyItemEdit::ShowCurrent()
{
    setText(itemCount_ > 0 ? items_[itemIndex_] : QString());
}

void TMyItemEdit::EditKeyDown(int key)
{
    if (itemCount_ > 0) {
        if (key == Qt::Key_Left)
            itemIndex_ = itemIndex_ > 0 ? itemIndex_ - 1 : itemCount_ - 1;
        else if (key == Qt::Key_Right)
            itemIndex_ = itemIndex_ < itemCount_ - 1 ? itemIndex_ + 1 : 0;
        else if (key >= Qt::Key_0 && key <= Qt::Key_9)
            itemIndex_ = std::min(key - Qt::Key_0, itemCount_ - 1);
    }
    ShowCurrent();
}

void TMyItemEdit::EditMouseWheelEvent(int delta)
{
    if (delta > 0)
        EditKeyDown(Qt::Key_Left);
    else if (delta < 0)
        EditKeyDown(Qt::Key_Right);
    else
        ShowCurrent();
}

void TMyItemEdit::keyPressEvent(QKeyEvent *event)
{
    // Tab and friends still move the focus; everything else only steps the item.
    if (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    EditKeyDown(event->key());
    event->accept();
}

void TMyItemEdit::wheelEvent(QWheelEvent *event)
{
    EditMouseWheelEvent(event->angleDelta().y());
    event->accept();
}

} // namespace strandel
