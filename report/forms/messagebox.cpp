#include "report/forms/messagebox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>

#include "report/extra.h"

namespace strandel {

void InstallReportMessageBox(QWidget *parent)
{
    QPointer<QWidget> owner(parent);
    RegisterReportMessageHook([owner](const QString &message) {
        QMessageBox box(QMessageBox::Warning, QApplication::applicationDisplayName(), message, QMessageBox::Ok,
                        owner.data());
        box.exec();
    });
}

} // namespace strandel
