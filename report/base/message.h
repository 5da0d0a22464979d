#pragma once
// Tells the user something from any area of the report engine. The engine has no windows: the
// forms register a message box here; without one (a test, a host without a screen) messages
// go nowhere.
#include <functional>

#include <QString>

namespace strandel {

using TPgxMessageHook = std::function<void(const QString &message)>;
void RegisterReportMessageHook(TPgxMessageHook hook);
void PgxShowMessage(const QString &message);

} // namespace strandel
