// The filter's own render thread: in parallel mode it draws and reads back
// the current frame while the host's thread prepares the next one. One kick
// releases one job, and each job's end releases one wait: both events reset
// themselves.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

struct GpuResizer;

// A job returns its status: 0 when it delivered its work, negative when not.
using RenderJobFn = int32_t (*)(void* argument);

// Status of a render job whose draw did not happen (nothing to read back).
constexpr int32_t kRenderJobNotDrawn = static_cast<int32_t>(0x80004004);  // E_ABORT

struct RenderWorker {
    CRITICAL_SECTION lock;  // taken by StartWorker and StopWorker only
    HANDLE kickEvent;       // auto-reset: one signal starts one job
    HANDLE doneEvent;       // auto-reset: signalled after every job
    HANDLE thread;          // null when no thread runs
    uint32_t threadId;
    int32_t priority;       // the priority last given to the thread
    std::atomic<uint8_t> quit;    // the thread's loop must end
    std::atomic<uint8_t> kicked;  // a job was handed over and its end not yet waited for; host thread only
    void* jobArgument;
    RenderJobFn job;
    // Status of the last job, written by the worker before it signals
    // doneEvent and read by the host after its wait for that signal.
    int32_t jobStatus;
};

// A record with every field cleared and its lock initialised, or null when
// it cannot be allocated. Free it with FreeRenderWorker after StopWorker.
RenderWorker* AllocRenderWorker();
void FreeRenderWorker(RenderWorker* worker);

// 0 when the thread runs (also when it already ran: nothing changes then),
// -1 when it could not be started.
int32_t StartWorker(RenderWorker* worker, RenderJobFn job, void* argument);
// 0 when the job was handed over, -1 when no running thread can take it.
int32_t KickWorker(RenderWorker* worker);
// Ends the thread, closes the handles and deletes the lock.
void StopWorker(RenderWorker* worker);
unsigned __stdcall WorkerMain(void* worker);
void WorkerLoop(RenderWorker* worker);

// The job of the filter's worker: draw the frame, and read it back when the
// draw went through. 0, kRenderJobNotDrawn, or the read-back's failure.
int32_t RenderJob(void* resizer);
// Hands the current frame to the worker. False without a render target,
// device or worker, or when the worker cannot take the job.
bool KickRender(GpuResizer* r);
