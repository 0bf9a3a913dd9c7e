// One frame on the device: the cooperative-level check with its reset, the
// draw of the plan's passes and the copy of the render target into system
// memory.
#include "gpu_resizer.h"

#include "resample_plan.h"
#include "show_error.h"

uint8_t rebuildPending = 1;

bool CheckDevice(GpuResizer* r)
{
    if (!r->device)
        return false;
    const HRESULT level = r->device->TestCooperativeLevel();
    switch (level) {
    case D3D_OK:
        return true;
    case D3DERR_DEVICELOST:
        // Not ready to be reset yet; asked again with the next frame.
        return false;
    case D3DERR_DEVICENOTRESET:
        if (FAILED(ResetDevice(r))) {
            ShowError(L"デバイスリセットに失敗しました");
            return false;
        }
        rebuildPending = 1;
        return true;
    default:
        ShowError(L"TestCooperativeLevel()がエラーを返しました");
        return false;
    }
}

HRESULT ResetDevice(GpuResizer* r)
{
    if (!r->device || !r->effect)
        return D3DERR_INVALIDCALL;
    // Default-pool objects must go before a reset; the system-memory
    // textures, the declaration and the effect survive it.
    ReleaseDeviceResources(r);
    r->effect->OnLostDevice();
    D3DPRESENT_PARAMETERS pp = DevicePresentParameters();
    const HRESULT hr = r->device->Reset(&pp);
    if (FAILED(hr))
        return hr;
    // The effect owns no default-pool objects, so an effect framework that
    // does not implement the call has nothing to restore: the device is
    // usable all the same.
    const HRESULT restored = r->effect->OnResetDevice();
    return restored == E_NOTIMPL ? D3D_OK : restored;
}

namespace {

void DrawQuad(GpuResizer* r, int32_t pass, UINT offset)
{
    r->effect->BeginPass(pass);
    r->device->SetStreamSource(0, r->vertexBuffer, offset, kQuadVertexFloats * 4);
    r->device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    r->effect->EndPass();
}

}  // namespace

bool RenderFrame(GpuResizer* r)
{
    if (!r->rtSurface || !r->effect || !r->device || r->pass1 < 0)
        return false;
    // Without a scene nothing is drawn; the read-back then copies whatever
    // the render target holds.
    if (FAILED(r->device->BeginScene()))
        return true;
    r->effect->SetTexture(r->hTxSrc, r->inputTexture);
    r->device->SetVertexDeclaration(r->vertexDecl);
    UINT passes = 0;
    r->effect->Begin(&passes, 0);
    if (r->pass2 < 0) {
        SetTargetSurface(r, r->rtSurface);
        DrawQuad(r, r->pass1, 0);
    } else {
        SetTargetTexture(r, r->midTexture);
        DrawQuad(r, r->pass1, 0);
        SetTargetSurface(r, r->rtSurface);
        // The second pass reads the intermediate image through the same parameter.
        r->effect->SetTexture(r->hTxSrc, r->midTexture);
        DrawQuad(r, r->pass2, kSecondQuadOffset);
    }
    r->effect->End();
    r->device->EndScene();
    return true;
}

HRESULT SetTargetTexture(GpuResizer* r, IDirect3DTexture9* texture)
{
    if (!texture || !r->device)
        return D3DERR_INVALIDCALL;
    IDirect3DSurface9* surface = nullptr;
    const HRESULT hr = texture->GetSurfaceLevel(0, &surface);
    if (FAILED(hr)) {
        ShowError(L"テクスチャサーフェスを取得できませんでした");
        return hr;
    }
    const HRESULT set = r->device->SetRenderTarget(0, surface);
    surface->Release();
    return set;
}

HRESULT SetTargetSurface(GpuResizer* r, IDirect3DSurface9* surface)
{
    if (!surface || !r->device)
        return D3DERR_INVALIDCALL;
    return r->device->SetRenderTarget(0, surface);
}

HRESULT ReadBack(GpuResizer* r)
{
    if (!r->device)
        return D3DERR_INVALIDCALL;
    // Reached only after a draw, so the system copy exists; checked all the same.
    if (!r->sysOutputTexture)
        return D3DERR_INVALIDCALL;
    IDirect3DSurface9* surface = nullptr;
    HRESULT hr = r->sysOutputTexture->GetSurfaceLevel(0, &surface);
    if (FAILED(hr)) {
        ShowError(L"システムサーフェスを取得できませんでした");
        return hr;
    }
    hr = r->device->GetRenderTargetData(r->rtSurface, surface);
    surface->Release();
    if (FAILED(hr))
        ShowError(L"デバイスからコピーできませんでした");
    return hr;
}
