#include "viewer/view/dvrpass.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

namespace strandel {

TfrmDvrPass::TfrmDvrPass(QWidget *owner) : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName("frmDvrPass");
    setWindowTitle("Enter Password");
    setFixedSize(220, 71);
    edtPass = new QLineEdit(this);
    edtPass->setObjectName("edtPass");
    edtPass->setMaxLength(8);
    edtPass->setEchoMode(QLineEdit::Password);
    edtPass->setGeometry(12, 10, 196, 22);
    edtPass->installEventFilter(this);
    btnOk = new QPushButton("Ok", this);
    btnOk->setObjectName("btnOk");
    btnOk->setGeometry(30, 40, 75, 25);
    btnOk->setDefault(true);
    connect(btnOk, &QPushButton::clicked, this, [this] { done(1); });
    btnCancel = new QPushButton("Cancel", this);
    btnCancel->setObjectName("btnCancel");
    btnCancel->setGeometry(115, 40, 75, 25);
    connect(btnCancel, &QPushButton::clicked, this, [this] { done(2); });
}

QString TfrmDvrPass::GetPassword() const { return edtPass->text(); }

QByteArray TfrmDvrPass::GetPasswordBytes() const { return edtPass->text().toLatin1().left(8); }

bool TfrmDvrPass::eventFilter(QObject *watched, QEvent *event)
{
    // edtPassKeyPress: Enter confirms, Escape cancels as the close button does.
    if (watched == edtPass && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            done(1);
            return true;
        }
        if (key == Qt::Key_Escape) {
            done(2);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace strandel
