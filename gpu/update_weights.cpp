// Refreshes the weight table and the tap counts of the effect for a radius.
#include "gpu_resizer.h"

#include "show_error.h"
#include "weight_table.h"

bool UpdateWeights(GpuResizer* r, int radius)
{
    if (!r->effect || !r->sysWeightTexture)
        return false;
    // The pixel transfer uses no MMX registers, so no EMMS is needed before
    // the floating-point work of the table.
    radius = ClampRadius(radius);
    if (r->hRadius && FAILED(r->effect->SetInt(r->hRadius, radius)))
        ShowError(L"範囲パラメータのセットに失敗しました");
    if (r->hRep) {
        const TapCountPair taps = TapCounts(radius, r->srcWidth, r->srcHeight, r->dstWidth, r->dstHeight);
        const INT rep[2] = {taps.repX, taps.repY};
        if (FAILED(r->effect->SetIntArray(r->hRep, rep, 2)))
            ShowError(L"繰り返しパラメータのセットに失敗しました");
    }
    D3DLOCKED_RECT locked = {};
    const HRESULT hr = r->sysWeightTexture->LockRect(0, &locked, nullptr, D3DLOCK_NOSYSLOCK);
    if (hr == D3D_OK) {
        FillWeightTable(locked.pBits, locked.Pitch, radius);
        r->sysWeightTexture->UnlockRect(0);
        if (FAILED(r->device->UpdateTexture(r->sysWeightTexture, r->weightTexture)))
            ShowError(L"重みのセットに失敗しました");
    } else if (FAILED(hr)) {
        ShowError(L"重みのセットに失敗しました");
    }
    return true;
}
