#pragma once
// The modal prompt for a recorder password.
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace strandel {

class TfrmDvrPass : public QDialog {
public:
    explicit TfrmDvrPass(QWidget *owner = nullptr);
    QString GetPassword() const;
    // Why the password is asked again, shown above the field; empty hides it.
    void SetReason(const QString &reason);

    QLineEdit *edtPass;
    QPushButton *btnOk;
    QPushButton *btnCancel;
    QLabel *lblReason;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    int width_ = 220;
};

} // namespace strandel
