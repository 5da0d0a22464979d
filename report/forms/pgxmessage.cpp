#include "report/forms/pgxmessage.h"

#include <QApplication>
#include <QMessageBox>

namespace strandel {

namespace {
PgxMessageHook &Hook()
{
    static PgxMessageHook hook;
    return hook;
}
} // namespace

void PgxShowMessage(QWidget *parent, const QString &text)
{
    if (Hook()) {
        Hook()(parent, text);
        return;
    }
    QMessageBox::information(parent, QApplication::applicationName(), text);
}

PgxMessageHook PgxSetMessageHook(PgxMessageHook hook)
{
    PgxMessageHook old = std::move(Hook());
    Hook() = std::move(hook);
    return old;
}

} // namespace strandel
