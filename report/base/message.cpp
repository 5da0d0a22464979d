#include "report/base/message.h"

#include "report/base/hook.h"

namespace strandel {

namespace {

TPgxHook<TPgxMessageHook> g_messageHook;

} // namespace

void RegisterReportMessageHook(TPgxMessageHook hook)
{
    g_messageHook.Set(std::move(hook));
}

void PgxShowMessage(const QString &message)
{
    const TPgxMessageHook hook = g_messageHook.Get();
    if (hook)
        hook(message);
}

} // namespace strandel
