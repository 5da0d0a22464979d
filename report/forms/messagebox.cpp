#include "report/forms/messagebox.h"

#include <QPointer>
#include <QWidget>

#include "report/forms/pgxmessage.h"
#include "report/stored/extra.h"

namespace strandel {

void InstallReportMessageBox(QWidget *parent)
{
    // The model's messages go the way the report's dialogs tell the user things.
    QPointer<QWidget> owner(parent);
    RegisterReportMessageHook([owner](const QString &message) { PgxDialogMessage(owner.data(), message); });
}

} // namespace strandel
