// The worker's job and the frame driver's hand-over to it.
#include "render_worker.h"

#include "gpu_resizer.h"

int32_t RenderJob(void* argument)
{
    GpuResizer* r = static_cast<GpuResizer*>(argument);
    if (!r || !RenderFrame(r))
        return kRenderJobNotDrawn;
    // A failed read-back has shown its message; its status goes to the
    // waiting side, which fails the frame.
    const HRESULT hr = ReadBack(r);
    return FAILED(hr) ? hr : 0;
}

bool KickRender(GpuResizer* r)
{
    if (!r->rtSurface || !r->device || !r->worker)
        return false;
    return KickWorker(r->worker) == 0;
}
