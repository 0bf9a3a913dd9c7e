// The host's worker threads behind runOnThreads: a fixed set of threads that
// each run one call of a task and report back, for as many tasks as come.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class HostThreadPool {
public:
    explicit HostThreadPool(int threadCount);
    ~HostThreadPool();
    HostThreadPool(const HostThreadPool&) = delete;
    HostThreadPool& operator=(const HostThreadPool&) = delete;

    int threadCount() const { return count_; }

    // Calls task(index, count) once on every thread, concurrently, and
    // returns when every call has returned.
    void run(const std::function<void(int index, int count)>& task);

private:
    void workerLoop(int index);

    const int count_;
    std::mutex mutex_;
    std::condition_variable start_;
    std::condition_variable done_;
    const std::function<void(int, int)>* task_ = nullptr;
    unsigned generation_ = 0;
    int pending_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};
