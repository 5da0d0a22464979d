#pragma once
// A date and time entry: six small digit fields reading year/month/day hour:minute:second.
#include <QDateTime>
#include "viewer/controls/memokeys.h"

#include <QFrame>

#include <cstdint>

class QLabel;
class QLineEdit;

namespace strandel {

class TDateTimeEdit : public QFrame {
    Q_OBJECT
public:
    static constexpr int kFields = 6;

    explicit TDateTimeEdit(QWidget *owner = nullptr);

    // 7 bytes: century, year in century, month, day, hour, minute, second.
    void GetDateTime(uint8_t *rt) const;
    void SetDateTime(const uint8_t *rt);
    void SetDateTime(const QDateTime &t);
    QDateTime DateTime() const;

    QLineEdit *Field(int i) const { return memo_[i]; }
    uint16_t Value(int i) const { return value_[i]; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    int IndexOf(QObject *memo) const;
    KeyAction MemoKeyDown(int i, QKeyEvent *event);
    // True when the typed character is discarded.
    bool MemoKeyPress(QKeyEvent *event);
    void MemoChange(int i);
    void MemoExit(int i);
    void MemoEnter(int i);
    void ShowField(int i);
    void SetValues(const int v[kFields]);
    bool ValidDateTime() const;
    int MaxLength(int i) const { return i == 0 ? 4 : 2; }

    QLineEdit *memo_[kFields]{};
    QLabel *separator_[kFields - 1]{};
    uint16_t value_[kFields] = {2004, 10, 10, 0, 0, 0};
    bool rewriting_ = false; // our own text writes run no change handling
    bool exiting_ = false;   // a field being left keeps the focus where the user put it
};

} // namespace strandel
