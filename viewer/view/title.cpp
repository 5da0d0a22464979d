#include "viewer/view/title.h"

#include "viewer/base/version.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

namespace strandel {

TfrmAboutBox::TfrmAboutBox(QWidget *owner) : QDialog(owner)
{
    setObjectName("frmAboutBox");
    setWindowTitle("About");
    setFixedSize(298, 213);
    Panel1 = new QFrame(this);
    Panel1->setObjectName("Panel1");
    Panel1->setFrameShape(QFrame::StyledPanel);
    Panel1->setGeometry(8, 8, 282, 161);
    ProgramIcon = new QLabel(Panel1);
    ProgramIcon->setObjectName("ProgramIcon");
    ProgramIcon->setGeometry(8, 8, 89, 89);
    ProductName = new QLabel("Pemberly for Kordan", Panel1);
    ProductName->setObjectName("ProductName");
    ProductName->setGeometry(104, 16, 170, 16);
    Version = new QLabel(QStringLiteral("Version ") + kProgramVersion, Panel1);
    Version->setObjectName("Version");
    Version->setGeometry(104, 40, 170, 16);
    Copyright = new QLabel(Panel1);
    Copyright->setObjectName("Copyright");
    Copyright->setGeometry(8, 104, 266, 16);
    Comments = new QLabel(Panel1);
    Comments->setObjectName("Comments");
    Comments->setWordWrap(true);
    Comments->setGeometry(8, 124, 266, 32);
    OKButton = new QPushButton("OK", this);
    OKButton->setObjectName("OKButton");
    OKButton->setDefault(true);
    OKButton->setGeometry(111, 178, 75, 25);
    connect(OKButton, &QPushButton::clicked, this, [this] { done(1); });
}

TForm1::TForm1(QWidget *owner) : QWidget(owner, Qt::Window)
{
    setObjectName("Form1");
    setWindowTitle("Strandel");
    resize(616, 305);
    imgTitle = new QLabel(this);
    imgTitle->setObjectName("imgTitle");
    imgTitle->setGeometry(16, 16, 576, 144);
    imgTitle->setVisible(false);
}

} // namespace strandel
