#include "viewer/view/pictureworker.h"

#include "platform/uithread.h"

namespace strandel {

PictureWorker::PictureWorker() : thread_([this] { Run(); }) {}

PictureWorker::~PictureWorker() { Stop(); }

void PictureWorker::Post(std::function<void()> job)
{
    {
        std::lock_guard l(mutex_);
        if (stop_)
            return;
        jobs_.push_back(std::move(job));
        ++backlog_;
    }
    wake_.notify_one();
}

void PictureWorker::Stop()
{
    {
        std::lock_guard l(mutex_);
        if (!thread_.joinable())
            return;
        // Wakes a job waiting in RunOnUiThreadBlocking, whose UI thread is the one stopping us.
        RaiseCancel(stop_);
    }
    wake_.notify_one();
    thread_.join();
    std::lock_guard l(mutex_);
    backlog_ -= int(jobs_.size());
    jobs_.clear();
}

void PictureWorker::Run()
{
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock l(mutex_);
            wake_.wait(l, [this] { return stop_ || !jobs_.empty(); });
            if (stop_)
                return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job();
        --backlog_;
    }
}

} // namespace strandel
