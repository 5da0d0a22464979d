#pragma once
// The calendar dialog of the search dialogs: borderless, centred on its owner.
#include <QDialog>

class QCalendarWidget;
class QPushButton;

namespace strandel {

class TfrmSelCal : public QDialog {
    Q_OBJECT
public:
    explicit TfrmSelCal(QWidget *owner = nullptr);

    QCalendarWidget *edtCal;
    QPushButton *btnOk;
    QPushButton *btnCancel;

protected:
    void showEvent(QShowEvent *event) override;
};

} // namespace strandel
