#include "render_worker.h"

#include <process.h>

#include <new>

namespace {

HANDLE NewAutoResetEvent()
{
    return CreateEventW(nullptr, FALSE, FALSE, nullptr);
}

void CloseField(HANDLE& handle)
{
    if (handle) {
        CloseHandle(handle);
        handle = nullptr;
    }
}

// One level above the calling thread, so the draw is not starved by the
// thread that waits for it.
int32_t PriorityAboveCaller()
{
    return GetThreadPriority(GetCurrentThread()) + 1;
}

}  // namespace

RenderWorker* AllocRenderWorker()
{
    RenderWorker* worker = new (std::nothrow) RenderWorker();
    if (worker)
        InitializeCriticalSection(&worker->lock);
    return worker;
}

void FreeRenderWorker(RenderWorker* worker)
{
    delete worker;
}

int32_t StartWorker(RenderWorker* worker, RenderJobFn job, void* argument)
{
    EnterCriticalSection(&worker->lock);
    if (worker->thread) {
        LeaveCriticalSection(&worker->lock);
        return 0;
    }
    worker->job = job;
    worker->jobArgument = argument;
    worker->quit = 0;
    if (!worker->kickEvent)
        worker->kickEvent = NewAutoResetEvent();
    if (!worker->doneEvent)
        worker->doneEvent = NewAutoResetEvent();
    if (worker->kickEvent && worker->doneEvent) {
        ResetEvent(worker->kickEvent);
        ResetEvent(worker->doneEvent);
        unsigned id = 0;
        worker->thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, WorkerMain, worker, 0, &id));
        worker->threadId = id;
        if (worker->thread) {
            worker->priority = PriorityAboveCaller();
            SetThreadPriority(worker->thread, worker->priority);
            LeaveCriticalSection(&worker->lock);
            return 0;
        }
    }
    // Events made so far stay; StopWorker closes them.
    LeaveCriticalSection(&worker->lock);
    return -1;
}

int32_t KickWorker(RenderWorker* worker)
{
    if (!worker->thread || worker->quit)
        return -1;
    const int32_t priority = PriorityAboveCaller();
    if (priority != worker->priority) {
        // A refused priority is remembered all the same, so it is not tried again.
        worker->priority = priority;
        SetThreadPriority(worker->thread, priority);
    }
    worker->kicked = 1;
    SetEvent(worker->kickEvent);
    return 0;
}

void WorkerLoop(RenderWorker* worker)
{
    while (!worker->quit) {
        if (WaitForSingleObject(worker->kickEvent, INFINITE) != WAIT_OBJECT_0)
            worker->quit = 1;
        // A wake-up that runs no job must not leave the last job's status
        // to the waiting side.
        worker->jobStatus = !worker->quit && worker->job ? worker->job(worker->jobArgument) : kRenderJobNotDrawn;
        SetEvent(worker->doneEvent);
    }
    SetEvent(worker->doneEvent);
}

unsigned __stdcall WorkerMain(void* worker)
{
    WorkerLoop(static_cast<RenderWorker*>(worker));
    _endthreadex(0);
    return 0;
}

void StopWorker(RenderWorker* worker)
{
    EnterCriticalSection(&worker->lock);
    HANDLE thread = InterlockedExchangePointer(&worker->thread, nullptr);
    if (thread) {
        worker->quit = 1;
        SetEvent(worker->kickEvent);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    LeaveCriticalSection(&worker->lock);
    EnterCriticalSection(&worker->lock);
    CloseField(worker->kickEvent);
    CloseField(worker->doneEvent);
    LeaveCriticalSection(&worker->lock);
    DeleteCriticalSection(&worker->lock);
}
