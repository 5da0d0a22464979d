#pragma once
// Timed events used as locks: signalled means free. A wait that times out returns false and
// the caller goes on, as every lock of the program does.
#include <condition_variable>
#include <mutex>
#include <string>

namespace strandel {

class TimedEvent {
public:
    explicit TimedEvent(bool signalled = true, bool autoReset = true)
        : signalled_(signalled), autoReset_(autoReset) {}
    TimedEvent(const TimedEvent &) = delete;
    TimedEvent &operator=(const TimedEvent &) = delete;

    // Waits until signalled or until timeoutMs passed; an auto-reset event is reset by a
    // successful wait. A negative time-out waits for ever.
    bool Wait(int timeoutMs);
    void Set();
    void Reset();
    bool IsSet() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable cond_;
    bool signalled_;
    bool autoReset_;
};

// Holds an event for a scope and sets it again when the scope ends. A timed-out wait goes on
// without the lock and leaves it to its holder.
class EventGuard {
public:
    EventGuard(TimedEvent &event, int timeoutMs) : event_(event), acquired_(event.Wait(timeoutMs)) {}
    ~EventGuard()
    {
        if (acquired_)
            event_.Set();
    }
    bool Acquired() const { return acquired_; }
    EventGuard(const EventGuard &) = delete;
    EventGuard &operator=(const EventGuard &) = delete;

private:
    TimedEvent &event_;
    bool acquired_;
};

// Process-wide auto-reset events, created signalled on first use.
TimedEvent &NamedEvent(const std::string &name);

constexpr const char *kSendEventName = "SendEvent";
constexpr const char *kRecEventName = "RecEvent";
constexpr int kSendEventTimeoutMs = 5000;
constexpr int kRecEventTimeoutMs = 5000;
constexpr int kViewListTimeoutMs = 10000;

} // namespace strandel
