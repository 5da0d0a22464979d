#pragma once
// A read-only edit that cycles through a short list of item texts.
#include <QLineEdit>
#include <QString>

namespace strandel {

class TMyItemEdit : public QLineEdit {
    Q_OBJECT
public:
    static constexpr int kMaxItems = 20;

    explicit TMyItemEdit(QWidget *owner = nullptr);

    // Takes count texts (at most kMaxItems) and shows item 0.
    void SetItem(int count, const QString *items);
    int GetValue() const { return itemIndex_; }
    // Out-of-range indexes are clamped to the item list.
    void SetValue(int i);
    int ItemCount() const { return itemCount_; }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    void EditKeyDown(int key);
    void EditMouseWheelEvent(int delta);
    void ShowCurrent();

    int itemIndex_ = 0;
    int itemCount_ = 0;
    QString items_[kMaxItems];
};

} // namespace strandel
