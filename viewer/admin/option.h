#pragma once
// The viewer options dialog: display flags, the dynamic address server and the main window's font.
#include <QDialog>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace strandel {

struct ViewerOptions;
class TIpEdit;

class TfrmOption : public QDialog {
    Q_OBJECT
public:
    // Names typed into edtIpServerName stop at this length; a longer stored name still shows.
    static constexpr int kTypedNameLength = 63;
    static constexpr int kNameLength = 127;

    // Works on the options record; the font is the main window's, the dialog's own until OK.
    TfrmOption(QWidget *owner, ViewerOptions &options, const QFont &font);
    QFont SelectedFont() const { return font_; }

    QGroupBox *grpDisplay;
    QCheckBox *chkChTitle;
    QCheckBox *chkChDateTime;
    QCheckBox *chkChEvent;
    QCheckBox *chkFrame;
    QGroupBox *grpIpServer;
    TIpEdit *edtIp;
    QCheckBox *chkIpServer;
    QLineEdit *edtIpServerName;
    QPushButton *btnFont;
    QPushButton *btnOk;
    QPushButton *btnCancel;

protected:
    void showEvent(QShowEvent *e) override;

private:
    void btnFontClick();
    void btnOkClick();
    ViewerOptions &options_;
    QFont font_;
    QString typedName_;
};

} // namespace strandel
