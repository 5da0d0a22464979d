#include "report/forms/messagebox.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>

#include "platform/uithread.h"
#include "report/base/message.h"
#include "report/forms/pgxmessage.h"

namespace strandel {

void InstallReportMessageBox(QWidget *parent)
{
    // The model's messages go the way the report's dialogs tell the user things.
    QPointer<QWidget> owner(parent);
    RegisterReportMessageHook([owner](const QString &message) {
        RunOnUiThreadQueued([owner, message] {
            QWidget *over = owner ? owner.data() : QApplication::activeWindow();
            PgxDialogMessage(over, message);
        });
    });
}

} // namespace strandel
