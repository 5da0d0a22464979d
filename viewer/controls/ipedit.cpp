#include "viewer/controls/ipedit.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>

namespace strandel {

TIpEdit::TIpEdit(QWidget *owner) : QFrame(owner)
{
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    for (int i = 0; i < 4; ++i) {
        auto *m = new QLineEdit(QStringLiteral("0"), this);
        m->setObjectName(QStringLiteral("memo%1").arg(i));
        m->setProperty("Tag", i);
        m->setMaxLength(3);
        m->setFrame(false);
        m->setAlignment(Qt::AlignCenter);
        m->setContextMenuPolicy(Qt::NoContextMenu);
        m->setAcceptDrops(false);
        m->installEventFilter(this);
        connect(m, &QLineEdit::textChanged, this, [this, i] { MemoChange(i); });
        memo_[i] = m;
    }
    for (int i = 0; i < 3; ++i) {
        auto *l = new QLabel(QStringLiteral("."), this);
        l->setAlignment(Qt::AlignCenter);
        l->setAttribute(Qt::WA_TranslucentBackground);
        dot_[i] = l;
    }
    resize(120, 21);
    IpEditResize();
}

uint8_t TIpEdit::GetIp(int i) const { return i >= 0 && i < 4 ? uint8_t(octet_[i]) : 0; }

void TIpEdit::GetIp(uint8_t *ip) const
{
    for (int i = 0; i < 4; ++i)
        ip[i] = uint8_t(octet_[i]);
}

void TIpEdit::SetIp(int i, uint8_t v)
{
    if (i < 0 || i >= 4)
        return;
    octet_[i] = v;
    rewriting_ = true;
    memo_[i]->setText(QString::number(v));
    rewriting_ = false;
}

void TIpEdit::SetIp(const uint8_t *ip)
{
    for (int i = 0; i < 4; ++i)
        SetIp(i, ip[i]);
}

void TIpEdit::SetEnable(bool enable)
{
    for (QLineEdit *m : memo_)
        m->setEnabled(enable);
    setEnabled(enable);
}

void TIpEdit::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    IpEditResize();
}

void TIpEdit::IpEditResize()
{
    const QRect c = contentsRect();
    const int w = c.width() / 4, h = c.height();
    for (int i = 0; i < 4; ++i)
        memo_[i]->setGeometry(c.left() + w * i + 5, c.top(), std::max(w - 10, 0), h);
    for (int i = 0; i < 3; ++i)
        dot_[i]->setGeometry(c.left() + w * i + (w - 10) + 5, c.top(), 10, h);
}

int TIpEdit::IndexOf(QObject *memo) const
{
    for (int i = 0; i < 4; ++i)
        if (memo_[i] == memo)
            return i;
    return -1;
}

void TIpEdit::FocusOctet(int i)
{
    memo_[i]->setFocus(Qt::OtherFocusReason);
    memo_[i]->selectAll();
}

bool TIpEdit::eventFilter(QObject *watched, QEvent *event)
{
    const int i = IndexOf(watched);
    if (i >= 0) {
        if (event->type() == QEvent::KeyPress) {
            auto *key = static_cast<QKeyEvent *>(event);
            const KeyAction action = MemoKeyDown(i, key);
            return KeyEventHandled(action, key);
        }
        if (event->type() == QEvent::FocusOut && memo_[i]->text().isEmpty()) {
            // An emptied octet would show nothing while it still holds its old value.
            SetIp(i, uint8_t(octet_[i]));
        }
    }
    return QFrame::eventFilter(watched, event);
}

KeyAction TIpEdit::MemoKeyDown(int i, QKeyEvent *event)
{
    QLineEdit *m = memo_[i];
    switch (event->key()) {
    case Qt::Key_Left:
        if (m->cursorPosition() != 0 || m->hasSelectedText())
            return KeyAction::Pass;
        FocusOctet((i + 3) % 4);
        return KeyAction::Consumed;
    case Qt::Key_Right:
        if (m->cursorPosition() < m->text().size() || m->hasSelectedText())
            return KeyAction::Pass;
        FocusOctet((i + 1) % 4);
        return KeyAction::Consumed;
    case Qt::Key_Period:
        if (i < 3)
            FocusOctet(i + 1);
        return KeyAction::Consumed;
    default:
        return CommonMemoKey(event->key());
    }
}

bool TIpEdit::MemoKeyPress(QKeyEvent *event)
{
    return RefuseNonDigitKey(event);
}

void TIpEdit::MemoChange(int i)
{
    QLineEdit *m = memo_[i];
    if (rewriting_ || !m->isVisible() || m->text().isEmpty())
        return;
    bool ok = false;
    const int v = m->text().toInt(&ok);
    if (!ok)
        return;
    if (v > 255) {
        octet_[i] = 255;
        rewriting_ = true;
        m->setText(QStringLiteral("255"));
        rewriting_ = false;
        if (i < 3)
            FocusOctet(i + 1);
        return;
    }
    octet_[i] = v;
    if (m->text().size() == 3 && i < 3)
        FocusOctet(i + 1);
}

} // namespace strandel
