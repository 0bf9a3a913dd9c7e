#include "thread_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <vector>

namespace {

TEST(HostThreadPool, EveryIndexOnceWithTheCount)
{
    for (int threads : {1, 3, 8}) {
        SCOPED_TRACE(threads);
        HostThreadPool pool(threads);
        for (int round = 0; round < 50; ++round) {
            std::vector<std::atomic<int>> hits(threads);
            std::atomic<int> badCount{0};
            pool.run([&](int index, int count) {
                hits[index]++;
                if (count != threads)
                    badCount++;
            });
            for (int i = 0; i < threads; ++i)
                ASSERT_EQ(hits[i].load(), 1);
            ASSERT_EQ(badCount.load(), 0);
        }
    }
}

TEST(HostThreadPool, CallsRunConcurrently)
{
    // Every call waits until all have started: only concurrent calls finish.
    constexpr int kThreads = 4;
    HostThreadPool pool(kThreads);
    std::atomic<int> arrived{0};
    std::atomic<bool> timedOut{false};
    pool.run([&](int, int) {
        arrived++;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (arrived.load() < kThreads)
            if (std::chrono::steady_clock::now() > deadline) {
                timedOut = true;
                return;
            }
    });
    EXPECT_FALSE(timedOut.load());
}

TEST(HostThreadPool, AtLeastOneThread)
{
    HostThreadPool pool(0);
    EXPECT_EQ(pool.threadCount(), 1);
    int calls = 0;
    pool.run([&](int index, int count) {
        EXPECT_EQ(index, 0);
        EXPECT_EQ(count, 1);
        ++calls;
    });
    EXPECT_EQ(calls, 1);
}

}  // namespace
