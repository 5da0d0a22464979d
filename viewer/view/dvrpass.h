#pragma once
// The modal prompt for a recorder password.
#include <QDialog>

class QLineEdit;
class QPushButton;

namespace strandel {

class TfrmDvrPass : public QDialog {
public:
    explicit TfrmDvrPass(QWidget *owner = nullptr);
    QString GetPassword() const;
    // As the recorder takes it, the same from every prompt: one byte a character (Latin-1),
    // at most 8.
    QByteArray GetPasswordBytes() const;

    QLineEdit *edtPass;
    QPushButton *btnOk;
    QPushButton *btnCancel;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

} // namespace strandel
