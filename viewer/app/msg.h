#pragma once
// The message window for short notices.
#include <QDialog>

class QLabel;
class QPushButton;

namespace strandel {

class TfrmMsg : public QDialog {
    Q_OBJECT
public:
    explicit TfrmMsg(QWidget *owner = nullptr);
    void SetMsg(const QString &text);
    QString Text() const;

    QLabel *lblMsg;
    QPushButton *BitBtn1;

private:
    void BitBtn1Click();
};

} // namespace strandel
