#include "viewer/app/msg.h"

#include "viewer/controls/placement.h"

#include <QFont>
#include <QLabel>
#include <QPushButton>

namespace strandel {

TfrmMsg::TfrmMsg(QWidget *owner) : QDialog(owner, Qt::Dialog | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName("frmMsg");
    setWindowTitle("DVR Message");
    setFixedSize(454, 43);
    lblMsg = new QLabel(this);
    lblMsg->setObjectName("lblMsg");
    QFont f = lblMsg->font();
    f.setPixelSize(16);
    lblMsg->setFont(f);
    lblMsg->setGeometry(8, 4, 370, 35);
    BitBtn1 = new QPushButton("OK", this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setFocusPolicy(Qt::NoFocus);
    // Not a tab stop, so it never becomes the default by focus: made so, Enter acknowledges.
    BitBtn1->setDefault(true);
    BitBtn1->setGeometry(380, 8, 66, 27);
    connect(BitBtn1, &QPushButton::clicked, this, &TfrmMsg::BitBtn1Click);
}

void TfrmMsg::SetMsg(const QString &text)
{
    lblMsg->setText(text);
    // Raised from inside a modal dialog (set-up sending), it must be above that dialog and
    // answerable there, not blocked behind it.
    ShowAboveModal(this);
}

QString TfrmMsg::Text() const { return lblMsg->text(); }

void TfrmMsg::BitBtn1Click()
{
    setResult(QDialog::Accepted);
    hide();
}

} // namespace strandel
