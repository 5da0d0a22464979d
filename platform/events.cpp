#include "events.h"

#include <chrono>
#include <map>
#include <memory>

namespace strandel {

bool TimedEvent::Wait(int timeoutMs)
{
    std::unique_lock l(mutex_);
    auto ready = [this] { return signalled_; };
    if (timeoutMs < 0)
        cond_.wait(l, ready);
    else if (!cond_.wait_for(l, std::chrono::milliseconds(timeoutMs), ready))
        return false;
    if (autoReset_)
        signalled_ = false;
    return true;
}

void TimedEvent::Set()
{
    {
        std::lock_guard l(mutex_);
        signalled_ = true;
    }
    if (autoReset_)
        cond_.notify_one();
    else
        cond_.notify_all();
}

void TimedEvent::Reset()
{
    std::lock_guard l(mutex_);
    signalled_ = false;
}

bool TimedEvent::IsSet() const
{
    std::lock_guard l(mutex_);
    return signalled_;
}

TimedEvent &NamedEvent(const std::string &name)
{
    static std::mutex registryLock;
    static std::map<std::string, std::unique_ptr<TimedEvent>> registry;
    std::lock_guard l(registryLock);
    auto &slot = registry[name];
    if (!slot)
        slot = std::make_unique<TimedEvent>(true, true);
    return *slot;
}

} // namespace strandel
