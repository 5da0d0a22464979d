#pragma once
// How far a report run has come, and who hears of it. The printer keeps one of these; the
// preview and the progress form attach as sinks, so every progress change reaches both.
#include <atomic>
#include <mutex>
#include <vector>

namespace strandel {

class TPgxProgressSink
{
public:
    virtual ~TPgxProgressSink() = default;
    // May be called on the run's thread; a window hands it to its own thread.
    virtual void ProgressUpdate(int percent) = 0;
};

class TPgxProgress
{
public:
    int Progress() const { return m_progress.load(); }
    // Stores the percentage and tells every attached sink.
    void SetProgress(int percent);
    // The progress form's Cancel button ends up here; the run polls Cancelled().
    void Cancel() { m_cancelled = true; }
    bool Cancelled() const { return m_cancelled.load(); }
    void ResetCancel() { m_cancelled = false; }

    void AddSink(TPgxProgressSink *sink);
    void RemoveSink(TPgxProgressSink *sink);

private:
    std::atomic<int> m_progress{0};
    std::atomic<bool> m_cancelled{false};
    std::recursive_mutex m_lock;
    std::vector<TPgxProgressSink *> m_sinks;
};

} // namespace strandel
