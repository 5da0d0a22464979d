#include "viewer/view/dvrpass.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

namespace strandel {

namespace {

// Room for the title as the window manager shows it: with the program's name after it, in a
// bold face, beside the title bar's icon and buttons.
int TitleBarWidth(const QString &title)
{
    QString shown = title;
    const QString name = QGuiApplication::applicationDisplayName();
    if (!name.isEmpty() && name != title)
        shown += QStringLiteral(" \u2014 ") + name;
    QFont bold = QApplication::font();
    bold.setBold(true);
    return QFontMetrics(bold).horizontalAdvance(shown) * 5 / 4 + 120;
}

} // namespace

TfrmDvrPass::TfrmDvrPass(QWidget *owner) : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName("frmDvrPass");
    setWindowTitle("Enter Password");
    width_ = std::max(220, TitleBarWidth(windowTitle()));
    setFixedSize(width_, 71);
    lblReason = new QLabel(this);
    lblReason->setObjectName("lblReason");
    lblReason->hide();
    edtPass = new QLineEdit(this);
    edtPass->setObjectName("edtPass");
    edtPass->setMaxLength(8);
    edtPass->setEchoMode(QLineEdit::Password);
    edtPass->setGeometry(12, 10, width_ - 24, 22);
    edtPass->installEventFilter(this);
    btnOk = new QPushButton("Ok", this);
    btnOk->setObjectName("btnOk");
    btnOk->setGeometry(width_ / 2 - 80, 40, 75, 25);
    btnOk->setDefault(true);
    connect(btnOk, &QPushButton::clicked, this, [this] { done(1); });
    btnCancel = new QPushButton("Cancel", this);
    btnCancel->setObjectName("btnCancel");
    btnCancel->setGeometry(width_ / 2 + 5, 40, 75, 25);
    connect(btnCancel, &QPushButton::clicked, this, [this] { done(2); });
}

QString TfrmDvrPass::GetPassword() const { return edtPass->text(); }

QByteArray TfrmDvrPass::GetPasswordBytes() const { return edtPass->text().toLatin1().left(8); }

void TfrmDvrPass::SetReason(const QString &reason)
{
    lblReason->setText(reason);
    lblReason->setVisible(!reason.isEmpty());
    const int top = reason.isEmpty() ? 0 : fontMetrics().height() + 8;
    lblReason->setGeometry(12, 6, width_ - 24, top - 6);
    edtPass->move(edtPass->x(), 10 + top);
    btnOk->move(btnOk->x(), 40 + top);
    btnCancel->move(btnCancel->x(), 40 + top);
    setFixedSize(width_, 71 + top);
}

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
