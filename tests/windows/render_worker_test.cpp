// The render worker's handshake with a job of the test's own: start, kick,
// wait, stop, and the worker's priority relative to the kicking thread.
#include "render_worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

namespace {

struct JobLog {
    std::atomic<int> runs{0};
    std::vector<int> order;  // written by the worker only, read after its signal
    int32_t status = 0;
    DWORD sleepMs = 0;
};

int32_t CountingJob(void* argument)
{
    auto* log = static_cast<JobLog*>(argument);
    if (log->sleepMs)
        Sleep(log->sleepMs);
    log->order.push_back(log->runs.fetch_add(1) + 1);
    return log->status;
}

class RenderWorkerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        worker = AllocRenderWorker();
        ASSERT_NE(worker, nullptr);
    }
    void TearDown() override
    {
        if (worker) {
            StopWorker(worker);
            FreeRenderWorker(worker);
        }
    }
    // The host's side of one frame: hand over, then wait for the job's end.
    void Finish()
    {
        ASSERT_EQ(worker->kicked, 1);
        worker->kicked = 0;
        ASSERT_EQ(WaitForSingleObject(worker->doneEvent, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
    }

    RenderWorker* worker = nullptr;
    JobLog log;
};

TEST_F(RenderWorkerTest, KickRunsOneJobAndItsEndReleasesOneWait)
{
    EXPECT_EQ(KickWorker(worker), -1);  // no thread yet
    EXPECT_EQ(worker->kicked, 0);
    ASSERT_EQ(StartWorker(worker, CountingJob, &log), 0);
    log.sleepMs = 50;
    for (int frame = 1; frame <= 3; ++frame) {
        ASSERT_EQ(KickWorker(worker), 0);
        Finish();
        // The wait returned only after this frame's job, not an earlier signal.
        EXPECT_EQ(log.runs.load(), frame);
        EXPECT_EQ(WaitForSingleObject(worker->doneEvent, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    }
    // The job's status is there for the waiting side.
    log.status = -5;
    ASSERT_EQ(KickWorker(worker), 0);
    Finish();
    EXPECT_EQ(worker->jobStatus, -5);
}

TEST_F(RenderWorkerTest, StartingARunningWorkerChangesNothing)
{
    ASSERT_EQ(StartWorker(worker, CountingJob, &log), 0);
    const HANDLE thread = worker->thread;
    JobLog other;
    EXPECT_EQ(StartWorker(worker, CountingJob, &other), 0);
    EXPECT_EQ(worker->thread, thread);
    EXPECT_EQ(worker->jobArgument, &log);
    ASSERT_EQ(KickWorker(worker), 0);
    Finish();
    EXPECT_EQ(log.runs.load(), 1);
    EXPECT_EQ(other.runs.load(), 0);
}

TEST_F(RenderWorkerTest, StopEndsAnIdleWorkerWithoutRunningTheJob)
{
    ASSERT_EQ(StartWorker(worker, CountingJob, &log), 0);
    HANDLE thread = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), worker->thread, GetCurrentProcess(), &thread, SYNCHRONIZE,
                                FALSE, 0));
    StopWorker(worker);
    EXPECT_EQ(WaitForSingleObject(thread, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    CloseHandle(thread);
    EXPECT_EQ(log.runs.load(), 0);
    EXPECT_EQ(worker->thread, nullptr);
    EXPECT_EQ(worker->kickEvent, nullptr);
    EXPECT_EQ(worker->doneEvent, nullptr);
    // A stopped worker takes no job.
    EXPECT_EQ(KickWorker(worker), -1);
    EXPECT_EQ(worker->kicked, 0);
    FreeRenderWorker(worker);
    worker = nullptr;
}

TEST_F(RenderWorkerTest, StopOfANeverStartedWorkerOnlyCleansUp)
{
    StopWorker(worker);
    EXPECT_EQ(worker->thread, nullptr);
    FreeRenderWorker(worker);
    worker = nullptr;
}

TEST_F(RenderWorkerTest, RunsOneLevelAboveTheKickingThread)
{
    const HANDLE self = GetCurrentThread();
    const int before = GetThreadPriority(self);
    ASSERT_TRUE(SetThreadPriority(self, THREAD_PRIORITY_NORMAL));
    ASSERT_EQ(StartWorker(worker, CountingJob, &log), 0);
    EXPECT_EQ(GetThreadPriority(worker->thread), THREAD_PRIORITY_ABOVE_NORMAL);
    EXPECT_EQ(worker->priority, THREAD_PRIORITY_ABOVE_NORMAL);

    // The kicking thread's level changes between frames: the next kick follows.
    ASSERT_TRUE(SetThreadPriority(self, THREAD_PRIORITY_BELOW_NORMAL));
    ASSERT_EQ(KickWorker(worker), 0);
    Finish();
    EXPECT_EQ(GetThreadPriority(worker->thread), THREAD_PRIORITY_NORMAL);
    EXPECT_EQ(worker->priority, THREAD_PRIORITY_NORMAL);
    SetThreadPriority(self, before);
}

}  // namespace
