#pragma once
// The viewer options dialog: display flags, address server and the main window's font.
#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QLabel;

namespace strandel {

struct ViewerOptions;

class TfrmOption : public QDialog {
    Q_OBJECT
public:
    TfrmOption(QWidget *owner, ViewerOptions &options, const QFont &font);
    QFont SelectedFont() const { return font_; }

    QCheckBox *chkChTitle;
    QCheckBox *chkDateTime;
    QCheckBox *chkEvent;
    QCheckBox *chkFrameRate;
    QLineEdit *edtIpServer;
    QCheckBox *chkUseIpServer;
    QLineEdit *edtServerName;
    QPushButton *btnFont;
    QPushButton *btnOk;
    QPushButton *btnCancel;

protected:
    void showEvent(QShowEvent *e) override;

private:
    void btnOkClick();
    ViewerOptions &options_;
    QFont font_;
};

} // namespace strandel
