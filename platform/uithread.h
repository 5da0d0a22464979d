#pragma once
// Runs work on the UI thread (the thread of the QCoreApplication) from any thread.
#include <atomic>
#include <functional>

namespace strandel {

bool IsUiThread();

// Queues fn on the UI thread; runs it at once when called there.
void RunOnUiThreadQueued(std::function<void()> fn);

// Runs fn on the UI thread and waits until it has run. On the UI thread it is a direct call.
// From another thread the wait gives up, and fn never runs, once *cancel becomes true: a UI thread
// that waits for this thread raises it first (RaiseCancel), so neither waits for ever. Returns
// whether fn ran.
bool RunOnUiThreadBlocking(const std::function<void()> &fn, const std::atomic<bool> *cancel = nullptr);

// Sets *cancel and wakes the threads waiting in RunOnUiThreadBlocking at once to see it.
void RaiseCancel(std::atomic<bool> &cancel);

} // namespace strandel
