#include "viewer/controls/myvalueedit.h"

#include <QKeyEvent>
#include <QWheelEvent>

#include <algorithm>

namespace strandel {

TMyValueEdit::TMyValueEdit(QWidget *owner) : QLineEdit(owner)
{
    setText(QStringLiteral("0"));
    connect(this, &QLineEdit::textChanged, this, &TMyValueEdit::EditChange);
}

void TMyValueEdit::EditChange() { DoEditChange(); }

void TMyValueEdit::SetValue(int v)
{
    // A value outside the range would be shown although the checks reject its text.
    value_ = minValue_ <= maxValue_ ? std::clamp(v, minValue_, maxValue_) : v;
    WriteText(value_);
}

void TMyValueEdit::WriteText(qint64 v)
{
    setText(QString::number(v));
}

void TMyValueEdit::DoEditChange()
{
    const QString t = text();
    for (QChar c : t) {
        if (c < u'0' || c > u'9') {
            WriteText(value_);
            return;
        }
    }
    if (t.isEmpty()) {
        value_ = 0;
        WriteText(0);
        return;
    }
    bool ok = false;
    const int v = t.toInt(&ok);
    if (ok) {
        value_ = v;
        if (value_ < minValue_)
            value_ = minValue_;
        else if (value_ > maxValue_)
            value_ = maxValue_;
    }
    WriteText(value_);
}

void TMyValueEdit::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Left) {
        WriteText(qint64(value_) - 1);
        event->accept();
    } else if (event->key() == Qt::Key_Right) {
        WriteText(qint64(value_) + 1);
        event->accept();
    } else {
        QLineEdit::keyPressEvent(event);
    }
}

void TMyValueEdit::wheelEvent(QWheelEvent *event)
{
    const int delta = event->angleDelta().y();
    if (delta > 0)
        WriteText(qint64(value_) - 1);
    else if (delta < 0)
        WriteText(qint64(value_) + 1);
    event->accept();
}

} // namespace strandel
