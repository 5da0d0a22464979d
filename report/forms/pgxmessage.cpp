#include "report/forms/pgxmessage.h"

#include <QApplication>
#include <QMessageBox>

namespace strandel {

namespace {
PgxDialogMessageHook &Hook()
{
    static PgxDialogMessageHook hook;
    return hook;
}
} // namespace

void PgxDialogMessage(QWidget *parent, const QString &text)
{
    if (Hook()) {
        Hook()(parent, text);
        return;
    }
    QMessageBox::information(parent, QApplication::applicationName(), text);
}

PgxDialogMessageHook PgxSetDialogMessageHook(PgxDialogMessageHook hook)
{
    PgxDialogMessageHook old = std::move(Hook());
    Hook() = std::move(hook);
    return old;
}

} // namespace strandel
