#pragma once
// A function the report engine calls and an upper area (its windows, the program) registers. It
// is set and read under a lock, since a worker's run may reach it while the window thread
// replaces it; a caller gets a copy and calls it outside the lock.
#include <mutex>
#include <utility>

namespace strandel {

template <class F>
class TPgxHook {
public:
    void Set(F f)
    {
        std::lock_guard lock(m_lock);
        m_f = std::move(f);
    }
    F Get() const
    {
        std::lock_guard lock(m_lock);
        return m_f;
    }

private:
    mutable std::mutex m_lock;
    F m_f;
};

} // namespace strandel
