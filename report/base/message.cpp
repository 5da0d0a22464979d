#include "report/base/message.h"

#include <mutex>

namespace strandel {

namespace {

std::mutex g_hookLock;
TPgxMessageHook g_messageHook;

} // namespace

void RegisterReportMessageHook(TPgxMessageHook hook)
{
    std::lock_guard lock(g_hookLock);
    g_messageHook = std::move(hook);
}

void PgxShowMessage(const QString &message)
{
    TPgxMessageHook hook;
    {
        std::lock_guard lock(g_hookLock);
        hook = g_messageHook;
    }
    if (hook)
        hook(message);
}

} // namespace strandel
