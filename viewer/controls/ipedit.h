#pragma once
// An IPv4 address entry: four octet fields separated by dots.
#include "viewer/controls/memokeys.h"

#include <QFrame>

#include <cstdint>

class QLabel;
class QLineEdit;

namespace strandel {

class TIpEdit : public QFrame {
    Q_OBJECT
public:
    explicit TIpEdit(QWidget *owner = nullptr);

    uint8_t GetIp(int i) const;
    void GetIp(uint8_t *ip) const;
    void SetIp(int i, uint8_t v);
    void SetIp(const uint8_t *ip);
    void SetEnable(bool enable);

    QLineEdit *Field(int i) const { return memo_[i]; }
    // Bit i: octet i was typed or pasted since the program last set it; and of those, capped at
    // 255 from a larger number.
    uint8_t GivenOctets() const { return given_; }
    uint8_t CappedOctets() const { return capped_; }
    void SelectOctet(int i) { if (i >= 0 && i < 4) FocusOctet(i); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    int IndexOf(QObject *memo) const;
    KeyAction MemoKeyDown(int i, QKeyEvent *event);
    bool MemoKeyPress(QKeyEvent *event);
    void MemoChange(int i);
    void FocusOctet(int i);
    void IpEditResize();
    bool TypeDigitOrDot(int i, QKeyEvent *event);
    bool LayOutTypedAddress();
    void PasteInto(int i, const QString &text);
    // An octet the user gave: its digits, capped at 255.
    void Give(int i, const QString &digits);

    QLineEdit *memo_[4]{};
    QLabel *dot_[3]{};
    int32_t octet_[4] = {0, 0, 0, 0};
    uint8_t given_ = 0, capped_ = 0;
    bool rewriting_ = false;
    // The box moved to the next octet by itself; a '.' typed now only confirms that move.
    bool advanced_ = false;
    // Digits and dots typed in a row since the box got the focus or the cursor was moved.
    QString typed_;
    // The octet the last key of the run typed a digit into: a "0" there is the person's own
    // leading zero, not the placeholder to replace.
    int digitOctet_ = -1;
};

} // namespace strandel
