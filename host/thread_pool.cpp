#include "thread_pool.h"

#include <algorithm>

HostThreadPool::HostThreadPool(int threadCount) : count_(std::max(1, threadCount))
{
    threads_.reserve(count_);
    for (int i = 0; i < count_; ++i)
        threads_.emplace_back([this, i] { workerLoop(i); });
}

HostThreadPool::~HostThreadPool()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    start_.notify_all();
    for (auto& t : threads_)
        t.join();
}

void HostThreadPool::run(const std::function<void(int, int)>& task)
{
    std::unique_lock<std::mutex> lock(mutex_);
    task_ = &task;
    pending_ = threadCount();
    ++generation_;
    start_.notify_all();
    done_.wait(lock, [this] { return pending_ == 0; });
    task_ = nullptr;
}

void HostThreadPool::workerLoop(int index)
{
    unsigned seen = 0;
    for (;;) {
        const std::function<void(int, int)>* task;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            start_.wait(lock, [&] { return stopping_ || generation_ != seen; });
            if (stopping_)
                return;
            seen = generation_;
            task = task_;
        }
        (*task)(index, threadCount());
        std::lock_guard<std::mutex> lock(mutex_);
        if (--pending_ == 0)
            done_.notify_one();
    }
}
