#pragma once
// The about box and the hidden title form.
#include <QDialog>
#include <QWidget>

class QLabel;
class QPushButton;
class QFrame;

namespace strandel {

class TfrmAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAboutBox(QWidget *owner = nullptr);

    QFrame *Panel1;
    QLabel *ProgramIcon;
    QLabel *ProductName;
    QLabel *Version;
    QLabel *Copyright;
    QLabel *Comments;
    QPushButton *OKButton;
};

class TForm1 : public QWidget {
    Q_OBJECT
public:
    explicit TForm1(QWidget *owner = nullptr);
    QLabel *imgTitle;
};

} // namespace strandel
