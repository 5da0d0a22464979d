#pragma once
// The one way the report's dialogs tell the user something: a message box, or whatever a caller
// (a test, a host without a screen) put in its place.
#include <functional>

#include <QString>

class QWidget;

namespace strandel {

// Modal results of the report's dialogs.
inline constexpr int PgxMrOk = 1;
inline constexpr int PgxMrCancel = 2;

void PgxDialogMessage(QWidget *parent, const QString &text);
// Replaces the message box; an empty function brings it back. Answers the previous hook.
using PgxDialogMessageHook = std::function<void(QWidget *parent, const QString &text)>;
PgxDialogMessageHook PgxSetDialogMessageHook(PgxDialogMessageHook hook);

} // namespace strandel
