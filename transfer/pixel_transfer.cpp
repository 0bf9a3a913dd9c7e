#include "pixel_transfer.h"

#include "gpu_resizer.h"
#include "render_worker.h"
#include "row_copy.h"
#include "show_error.h"

namespace {

// Locks level 0 of the texture, copies the rows on the host's threads (or on
// this one) and unlocks. The plain routine serves the signed texel format,
// the biased one the unsigned format.
HRESULT Transfer(GpuResizer* r, IDirect3DTexture9* texture, DWORD lockFlags, int32_t rows, int32_t rowPixels,
                 RowTaskFn plain, RowTaskFn biased, const YcPixel* pixels, RunOnThreadsFn threads)
{
    D3DLOCKED_RECT locked = {};
    const HRESULT hr = texture->LockRect(0, &locked, nullptr, lockFlags);
    if (hr != D3D_OK)
        return hr;
    RowCopyJob job = {rows, rowPixels, locked.Pitch, r->rowStride, locked.pBits, const_cast<YcPixel*>(pixels)};
    const RowTaskFn routine = r->texelFormat == kTexelSigned ? plain : biased;
    if (threads) {
        ResetRowCounter();
        threads(routine, &job, nullptr);
    } else {
        routine(0, 0, &job, nullptr);
    }
    return texture->UnlockRect(0);
}

// Takes the end of a job kicked to the worker, so that its signal cannot be
// mistaken later for the end of another job. False when no job of the worker
// can deliver a frame: none was kicked, or its thread has ended.
bool SettleKickedJob(RenderWorker* worker)
{
    if (!worker || !worker->kicked)
        return false;
    worker->kicked = 0;
    if (!worker->thread || worker->quit)
        return false;
    WaitForSingleObject(worker->doneEvent, INFINITE);
    return true;
}

}  // namespace

bool UploadFrame(GpuResizer* r, const YcPixel* pixels, RunOnThreadsFn threads)
{
    const HRESULT hr = r->inputTexture ? Transfer(r, r->inputTexture, D3DLOCK_DISCARD | D3DLOCK_NOSYSLOCK,
                                                  r->srcHeight, r->srcWidth, UploadRows, UploadRowsBiased, pixels,
                                                  threads)
                                       : D3DERR_INVALIDCALL;
    if (FAILED(hr)) {
        ShowError(L"サーフェスへコピーできませんでした");
        return false;
    }
    return true;
}

HRESULT DownloadFrame(GpuResizer* r, YcPixel* pixels, RunOnThreadsFn threads)
{
    if (!r->device || !r->sysOutputTexture)
        return D3DERR_INVALIDCALL;
    return Transfer(r, r->sysOutputTexture, D3DLOCK_READONLY | D3DLOCK_NOSYSLOCK, r->dstHeight, r->dstWidth,
                    DownloadRows, DownloadRowsBiased, pixels, threads);
}

bool FinishFrame(GpuResizer* r, YcPixel* output, RunOnThreadsFn threads)
{
    RenderWorker* worker = r->worker;
    if (!output) {
        // A job already handed over still runs; its end is taken here.
        SettleKickedJob(worker);
        return false;
    }
    if (!worker)
        return false;
    if (!worker->kicked) {
        // Drawn on this thread: copy the render target here.
        if (FAILED(ReadBack(r))) {
            ShowError(L"RTデータのコピーに失敗しました");
            return false;
        }
    } else {
        // Drawn by the worker: its result decides, as the read-back's would.
        if (!SettleKickedJob(worker) || worker->jobStatus == kRenderJobNotDrawn)
            return false;
        if (worker->jobStatus < 0) {
            ShowError(L"RTデータのコピーに失敗しました");
            return false;
        }
    }
    if (FAILED(DownloadFrame(r, output, threads))) {
        ShowError(L"サーフェスからコピーできませんでした");
        return false;
    }
    return true;
}
