#pragma once
// An edit that holds an integer between a minimum and a maximum.
#include <QLineEdit>

namespace strandel {

class TMyValueEdit : public QLineEdit {
    Q_OBJECT
    Q_PROPERTY(int Value READ GetValue WRITE SetValue)
    Q_PROPERTY(int MaxValue READ GetMaxValue WRITE SetMaxValue)
    Q_PROPERTY(int MinValue READ GetMinValue WRITE SetMinValue)
public:
    explicit TMyValueEdit(QWidget *owner = nullptr);

    // The value is brought into min..max before it is shown.
    void SetValue(int v);
    int GetValue() const { return value_; }
    void SetMinValue(int v) { minValue_ = v; }
    void SetMaxValue(int v) { maxValue_ = v; }
    int GetMinValue() const { return minValue_; }
    int GetMaxValue() const { return maxValue_; }

    // The checks run on every text change; a form that hooks the text change itself may call it again.
    void DoEditChange();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    void EditChange();
    void WriteText(qint64 v);

    int value_ = 0;
    int maxValue_ = 30;
    int minValue_ = 0;
};

} // namespace strandel
