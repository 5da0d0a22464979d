#pragma once
// The thread a recorder view decodes its MPEG pictures on, so that views decode side by side and
// the UI thread only shows. Jobs run in the order they were posted; the thread sleeps while it
// has none.
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace strandel {

class PictureWorker {
public:
    PictureWorker();
    ~PictureWorker();
    PictureWorker(const PictureWorker &) = delete;
    PictureWorker &operator=(const PictureWorker &) = delete;

    void Post(std::function<void()> job);
    // Jobs posted and not yet finished.
    int Backlog() const { return backlog_.load(); }
    // Raised when the worker stops: a job waiting for the UI thread gives up.
    const std::atomic<bool> *Cancel() const { return &stop_; }
    // Drops the jobs not yet started and waits for the running one.
    void Stop();

private:
    void Run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    std::atomic<int> backlog_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace strandel
