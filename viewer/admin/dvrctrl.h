#pragma once
// The recorder's key pad: a click on a key sends its code to the main window's current view.
#include <QWidget>

#include <array>
#include <cstdint>

class QFrame;
class QPushButton;

namespace strandel {

class TfrmDvrCtrl : public QWidget {
    Q_OBJECT
public:
    static constexpr int kKeyCount = 29;

    explicit TfrmDvrCtrl(QWidget *owner = nullptr);
    // Shared by every key: the key's code (its Tag, one bit) to the current view.
    void btnCh1Click(QPushButton *sender);
    // The key of the given bit (0..28).
    QPushButton *Key(int bit) const { return keys_[size_t(bit)]; }

    QFrame *Image1;

signals:
    void closed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *e) override;

private:
    std::array<QPushButton *, kKeyCount> keys_{};
};

} // namespace strandel
