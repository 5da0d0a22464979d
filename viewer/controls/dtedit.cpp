#include "viewer/controls/dtedit.h"

#include <QDate>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>

namespace strandel {

namespace {
const char *const kSeparators[TDateTimeEdit::kFields - 1] = {"/", "/", " ", ":", ":"};
}

TDateTimeEdit::TDateTimeEdit(QWidget *owner) : QFrame(owner)
{
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    for (int i = 0; i < kFields; ++i) {
        auto *m = new QLineEdit(this);
        m->setObjectName(QStringLiteral("memo%1").arg(i));
        m->setProperty("Tag", i);
        m->setFrame(false);
        m->setAlignment(Qt::AlignCenter);
        m->setMaxLength(MaxLength(i));
        m->setFixedWidth(i == 0 ? 40 : 20);
        m->setContextMenuPolicy(Qt::NoContextMenu);
        m->setAcceptDrops(false);
        m->installEventFilter(this);
        connect(m, &QLineEdit::textChanged, this, [this, i] { MemoChange(i); });
        memo_[i] = m;
        row->addWidget(m);
        if (i < kFields - 1) {
            auto *s = new QLabel(QString::fromLatin1(kSeparators[i]), this);
            s->setAlignment(Qt::AlignCenter);
            s->setFixedWidth(16);
            separator_[i] = s;
            row->addWidget(s);
        }
    }
    row->addStretch(1);
    for (int i = 0; i < kFields; ++i)
        ShowField(i);
}

void TDateTimeEdit::ShowField(int i)
{
    const QString text = QString::asprintf(i == 0 ? "%04d" : "%02d", int(value_[i]));
    rewriting_ = true;
    // Our own writes may be longer than what typing allows (a year above 9999).
    memo_[i]->setMaxLength(std::max<int>(MaxLength(i), int(text.size())));
    memo_[i]->setText(text);
    memo_[i]->setMaxLength(MaxLength(i));
    rewriting_ = false;
}

void TDateTimeEdit::GetDateTime(uint8_t *rt) const
{
    rt[0] = uint8_t(value_[0] / 100);
    rt[1] = uint8_t(value_[0] % 100);
    for (int i = 1; i < kFields; ++i)
        rt[i + 1] = uint8_t(value_[i]);
}

void TDateTimeEdit::SetValues(const int v[kFields])
{
    for (int i = 0; i < kFields; ++i) {
        value_[i] = uint16_t(v[i]);
        ShowField(i);
    }
}

void TDateTimeEdit::SetDateTime(const uint8_t *rt)
{
    const int v[kFields] = {int8_t(rt[0]) * 100 + int8_t(rt[1]), rt[2], rt[3], rt[4], rt[5], rt[6]};
    SetValues(v);
}

void TDateTimeEdit::SetDateTime(const QDateTime &t)
{
    const QDate d = t.date();
    const QTime tm = t.time();
    const int v[kFields] = {d.year(), d.month(), d.day(), tm.hour(), tm.minute(), tm.second()};
    SetValues(v);
}

QDateTime TDateTimeEdit::DateTime() const
{
    return QDateTime(QDate(value_[0], value_[1], value_[2]), QTime(value_[3], value_[4], value_[5]));
}

bool TDateTimeEdit::ValidDateTime() const
{
    return value_[0] >= 1 && value_[0] <= 9999 && QDate::isValid(value_[0], value_[1], value_[2]) &&
           value_[3] < 24 && value_[4] < 60 && value_[5] < 60;
}

int TDateTimeEdit::IndexOf(QObject *memo) const
{
    for (int i = 0; i < kFields; ++i)
        if (memo_[i] == memo)
            return i;
    return -1;
}

bool TDateTimeEdit::eventFilter(QObject *watched, QEvent *event)
{
    const int i = IndexOf(watched);
    if (i >= 0) {
        switch (event->type()) {
        case QEvent::KeyPress: {
            auto *key = static_cast<QKeyEvent *>(event);
            const KeyAction action = MemoKeyDown(i, key);
            return KeyEventHandled(action, key);
        }
        case QEvent::FocusIn:
            // After the line edit's own focus handling, which may place the caret.
            QMetaObject::invokeMethod(this, [this, i] { MemoEnter(i); }, Qt::QueuedConnection);
            break;
        case QEvent::FocusOut:
            MemoExit(i);
            break;
        default:
            break;
        }
    }
    return QFrame::eventFilter(watched, event);
}

KeyAction TDateTimeEdit::MemoKeyDown(int i, QKeyEvent *event)
{
    QLineEdit *m = memo_[i];
    switch (event->key()) {
    case Qt::Key_Left:
        if (m->cursorPosition() != 0 || m->hasSelectedText())
            return KeyAction::Pass;
        memo_[(i + kFields - 1) % kFields]->setFocus(Qt::OtherFocusReason);
        return KeyAction::Consumed;
    case Qt::Key_Right:
        if (m->cursorPosition() < m->text().size() || m->hasSelectedText())
            return KeyAction::Pass;
        memo_[(i + 1) % kFields]->setFocus(Qt::OtherFocusReason);
        return KeyAction::Consumed;
    case Qt::Key_Up:
    case Qt::Key_Down: {
        bool ok = false;
        const uint v = m->text().toUInt(&ok);
        if (!ok)
            return KeyAction::Consumed;
        const uint16_t stepped = uint16_t(event->key() == Qt::Key_Up ? v + 1 : v - 1);
        const QString text = QString::asprintf(i == 0 ? "%04d" : "%02d", int(stepped));
        m->setMaxLength(std::max<int>(MaxLength(i), int(text.size())));
        m->setText(text); // runs the change handling
        // A stepped text of the wrong length is not taken: show the value held instead.
        ShowField(i);
        return KeyAction::Consumed;
    }
    default:
        return CommonMemoKey(event->key());
    }
}

bool TDateTimeEdit::MemoKeyPress(QKeyEvent *event)
{
    return RefuseNonDigitKey(event);
}

void TDateTimeEdit::MemoChange(int i)
{
    if (rewriting_)
        return;
    const QString t = memo_[i]->text();
    if (t.size() != MaxLength(i))
        return;
    const uint16_t old = value_[i];
    bool ok = false;
    const uint v = t.toUInt(&ok);
    bool valid = false;
    if (ok) {
        value_[i] = uint16_t(v);
        valid = ValidDateTime();
    }
    if (!valid)
        value_[i] = old;
    ShowField(i);
    if (valid && i < kFields - 1 && !exiting_)
        memo_[i + 1]->setFocus(Qt::OtherFocusReason);
}

void TDateTimeEdit::MemoExit(int i)
{
    QString t = memo_[i]->text();
    if (t.size() >= MaxLength(i)) {
        if (t.size() > MaxLength(i))
            ShowField(i);
        return;
    }
    while (t.size() < MaxLength(i))
        t.prepend(u'0');
    exiting_ = true;
    memo_[i]->setText(t);
    exiting_ = false;
}

void TDateTimeEdit::MemoEnter(int i)
{
    if (memo_[i]->hasFocus())
        memo_[i]->selectAll();
}

} // namespace strandel
