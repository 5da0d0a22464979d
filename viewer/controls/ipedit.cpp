#include "viewer/controls/ipedit.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QRegularExpression>

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
    given_ &= uint8_t(~(1u << i));
    capped_ &= uint8_t(~(1u << i));
    rewriting_ = true;
    memo_[i]->setText(QString::number(v));
    rewriting_ = false;
}

void TIpEdit::Give(int i, const QString &digits)
{
    const int v = digits.toInt();
    SetIp(i, uint8_t(std::min(v, 255)));
    given_ |= uint8_t(1u << i);
    if (v > 255)
        capped_ |= uint8_t(1u << i);
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
    digitOctet_ = -1;
    memo_[i]->setFocus(Qt::OtherFocusReason);
    memo_[i]->selectAll();
}

bool TIpEdit::eventFilter(QObject *watched, QEvent *event)
{
    const int i = IndexOf(watched);
    if (i >= 0) {
        switch (event->type()) {
        case QEvent::KeyPress: {
            auto *key = static_cast<QKeyEvent *>(event);
            if (key->matches(QKeySequence::Paste)) {
                PasteInto(i, QGuiApplication::clipboard()->text());
                return true;
            }
            if (TypeDigitOrDot(i, key))
                return true;
            const KeyAction action = MemoKeyDown(i, key);
            return KeyEventHandled(action, key);
        }
        case QEvent::MouseButtonPress:
            typed_.clear();
            advanced_ = false;
            digitOctet_ = -1;
            break;
        case QEvent::MouseButtonRelease:
            // The middle button pastes the selection on X11: it gets the same checks as Ctrl+V.
            if (static_cast<QMouseEvent *>(event)->button() == Qt::MiddleButton) {
                if (QGuiApplication::clipboard()->supportsSelection())
                    PasteInto(i, QGuiApplication::clipboard()->text(QClipboard::Selection));
                return true;
            }
            break;
        case QEvent::FocusOut:
            if (IndexOf(QApplication::focusWidget()) < 0) {
                typed_.clear();
                advanced_ = false;
                digitOctet_ = -1;
            }
            // An emptied octet would show nothing while it still holds its old value; one typed
            // with leading zeros shows its number.
            if (memo_[i]->text() != QString::number(octet_[i]))
                SetIp(i, uint8_t(octet_[i]));
            break;
        default:
            break;
        }
    }
    return QFrame::eventFilter(watched, event);
}

// Digits and dots, typed as a person types an address. Returns true when the key is done with.
bool TIpEdit::TypeDigitOrDot(int i, QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
        return false; // a digit may need Shift on some layouts: the run goes on
    default:
        break;
    }
    const QString t = event->text();
    const bool plain = !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    const bool digit = plain && t.size() == 1 && t[0] >= u'0' && t[0] <= u'9';
    const bool dot = plain && (event->key() == Qt::Key_Period || t == QStringLiteral("."));
    if (!digit && !dot) {
        typed_.clear();
        advanced_ = false;
        digitOctet_ = -1;
        return false;
    }
    typed_ += digit ? t[0] : QChar(u'.');
    if (LayOutTypedAddress()) {
        advanced_ = false;
        digitOctet_ = -1;
        return true;
    }
    if (dot) {
        digitOctet_ = -1;
        // Right after the box moved on by itself, the '.' only confirms that move.
        const bool confirms = advanced_;
        advanced_ = false;
        if (!confirms && i < 3)
            FocusOctet(i + 1);
        return true;
    }
    advanced_ = false;
    QLineEdit *m = memo_[i];
    // A new number replaces the placeholder "0" or an octet that has no room left, instead of
    // being dropped or glued onto it; a digit that follows one typed here joins it ("001").
    const bool joins = digitOctet_ == i;
    if (!joins && !m->hasSelectedText() && (m->text() == QStringLiteral("0") || m->text().size() >= m->maxLength()))
        m->selectAll();
    digitOctet_ = i;
    return false;
}

// Once three dots have been typed in one run, the run is a whole address whatever octet it
// began in: it is laid out over the four octets from the first.
bool TIpEdit::LayOutTypedAddress()
{
    static const QRegularExpression address(QStringLiteral(R"(^(\d{1,3})\.(\d{1,3})\.(\d{1,3})\.(\d{0,3})$)"));
    const QRegularExpressionMatch match = address.match(typed_);
    if (!match.hasMatch())
        return false;
    for (int k = 0; k < 3; ++k)
        Give(k, match.captured(k + 1));
    const QString last = match.captured(4);
    if (last.isEmpty()) {
        FocusOctet(3);
    } else {
        Give(3, last);
        memo_[3]->setFocus(Qt::OtherFocusReason);
        memo_[3]->deselect();
        memo_[3]->setCursorPosition(int(memo_[3]->text().size()));
    }
    return true;
}

// A pasted address fills the octets from the one pasted into; a plain number goes into it.
// Anything else is not pasted.
void TIpEdit::PasteInto(int i, const QString &text)
{
    typed_.clear();
    advanced_ = false;
    const QString t = text.trimmed();
    static const QRegularExpression whole(QStringLiteral(R"(^\d{1,3}\.\d{1,3}\.\d{1,3}\.\d{1,3}$)"));
    static const QRegularExpression dotted(QStringLiteral(R"(^\d{1,3}(\.\d{1,3})*\.?$)"));
    if (!dotted.match(t).hasMatch())
        return;
    const QStringList parts = t.split(u'.', Qt::SkipEmptyParts);
    if (parts.size() == 1 && !t.endsWith(u'.')) {
        if (!memo_[i]->hasSelectedText())
            memo_[i]->selectAll();
        memo_[i]->insert(parts[0]);
        return;
    }
    const int first = whole.match(t).hasMatch() ? 0 : i;
    int k = first;
    for (const QString &p : parts) {
        if (k > 3)
            break;
        Give(k++, p);
    }
    QLineEdit *m = memo_[k - 1];
    m->setFocus(Qt::OtherFocusReason);
    m->deselect();
    m->setCursorPosition(int(m->text().size()));
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
    given_ |= uint8_t(1u << i);
    if (v > 255)
        capped_ |= uint8_t(1u << i);
    else
        capped_ &= uint8_t(~(1u << i));
    if (v > 255) {
        octet_[i] = 255;
        rewriting_ = true;
        m->setText(QStringLiteral("255"));
        rewriting_ = false;
        if (i < 3) {
            FocusOctet(i + 1);
            advanced_ = true;
        }
        return;
    }
    octet_[i] = v;
    if (m->text().size() == 3) {
        // Three characters make a whole octet, "001" too: it shows its number and, but for
        // the last, the next octet takes over.
        if (m->text() != QString::number(v)) {
            rewriting_ = true;
            m->setText(QString::number(v));
            rewriting_ = false;
            digitOctet_ = -1;
        }
        if (i < 3) {
            FocusOctet(i + 1);
            advanced_ = true;
        }
    }
}

} // namespace strandel
