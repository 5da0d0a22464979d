#include "debuglog.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <mutex>

namespace strandel {
namespace {

std::mutex sinkLock;
std::shared_ptr<DebugSink> currentSink;
std::atomic<bool> sinkActive{false};

} // namespace

void SetDebugSink(DebugSink sink)
{
    std::lock_guard l(sinkLock);
    currentSink = sink ? std::make_shared<DebugSink>(std::move(sink)) : nullptr;
    sinkActive = bool(currentSink);
}

bool DebugSinkActive() { return sinkActive.load(std::memory_order_relaxed); }

int DebugPrint(const char *format, ...)
{
    if (!sinkActive.load(std::memory_order_relaxed) || !format || !*format)
        return 0;
    char buffer[10240];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n < 0)
        return 0;
    size_t len = std::min<size_t>(size_t(n), sizeof buffer - 1);
    while (len > 0 && (buffer[len - 1] == '\r' || buffer[len - 1] == '\n'))
        --len;
    std::shared_ptr<DebugSink> sink;
    {
        std::lock_guard l(sinkLock);
        sink = currentSink;
    }
    if (!sink)
        return 0;
    (*sink)(std::string(buffer, len));
    return int(len);
}

} // namespace strandel
