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

    QLineEdit *edtPass;
    QPushButton *btnOk;
    QPushButton *btnCancel;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

} // namespace strandel
