// The resampling plan on the device: validation, the textures, surface and
// vertex buffer of a size pair, and the binding of the per-size parameters.
#include "gpu_resizer.h"

#include "resample_plan.h"
#include "show_error.h"

#include <cstring>

D3DFORMAT TexelD3dFormat(int32_t texelFormat)
{
    return texelFormat == kTexelSigned ? D3DFMT_Q16W16V16U16 : D3DFMT_A16B16G16R16;
}

bool SetSizes(GpuResizer* r, int32_t srcWidth, int32_t srcHeight, int32_t dstWidth, int32_t dstHeight,
              int32_t rowStride)
{
    if (!r->effect ||
        !PlanSizesValid(srcWidth, srcHeight, dstWidth, dstHeight, rowStride, r->maxTexWidth, r->maxTexHeight))
        return false;
    r->srcWidth = srcWidth;
    r->srcHeight = srcHeight;
    r->dstWidth = dstWidth;
    r->dstHeight = dstHeight;
    r->rowStride = rowStride;
    const PlanSize mid = PlanMiddleSize(srcWidth, srcHeight, dstWidth, dstHeight);
    r->midWidth = mid.width;
    r->midHeight = mid.height;
    ChooseTexelFormat(r);
    ReleaseSizeResources(r);
    if (FAILED(CreateSystemTextures(r)))
        return false;
    if (FAILED(CreateDeviceResources(r)))
        return false;
    return SUCCEEDED(BindParameters(r));
}

void ReleaseSizeResources(GpuResizer* r)
{
    ReleaseDeviceResources(r);
    ReleaseField(r->sysWeightTexture);
    ReleaseField(r->sysOutputTexture);
}

void ReleaseDeviceResources(GpuResizer* r)
{
    ReleaseField(r->vertexBuffer);
    ReleaseField(r->weightTexture);
    ReleaseField(r->inputTexture);
    ReleaseField(r->midTexture);
    ReleaseField(r->rtSurface);
}

void ChooseTexelFormat(GpuResizer* r)
{
    r->texelFormat = r->signedTexelOk ? kTexelSigned : kTexelUnsigned;
}

HRESULT CreateSystemTextures(GpuResizer* r)
{
    HRESULT hr = CreateTexelTexture(r, &r->sysOutputTexture, 0, D3DPOOL_SYSTEMMEM, r->dstWidth, r->dstHeight);
    if (FAILED(hr)) {
        ShowError(L"システムテクスチャ（出力）の作成に失敗しました");
        return hr;
    }
    if (!r->device) {
        ShowError(L"システムテクスチャ（重み）の作成に失敗しました");
        return D3DERR_INVALIDCALL;
    }
    ReleaseField(r->sysWeightTexture);
    hr = r->device->CreateTexture(256, 16, 1, 0, D3DFMT_V16U16, D3DPOOL_SYSTEMMEM, &r->sysWeightTexture, nullptr);
    if (FAILED(hr))
        ShowError(L"システムテクスチャ（重み）の作成に失敗しました");
    return hr;
}

HRESULT CreateDeviceResources(GpuResizer* r)
{
    HRESULT hr = BuildQuads(r);
    if (FAILED(hr)) {
        ShowError(L"頂点のセットに失敗しました");
        return hr;
    }
    hr = CreateTexelTexture(r, &r->inputTexture, D3DUSAGE_DYNAMIC, D3DPOOL_DEFAULT, r->srcWidth, r->srcHeight);
    if (FAILED(hr)) {
        ShowError(L"テクスチャ（入力）の作成に失敗しました");
        return hr;
    }
    if (PlanIsTwoPass(r->srcWidth, r->srcHeight, r->dstWidth, r->dstHeight)) {
        hr = CreateTexelTexture(r, &r->midTexture, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT, r->midWidth,
                                r->midHeight);
        if (FAILED(hr)) {
            ShowError(L"テクスチャ（中間）の作成に失敗しました");
            return hr;
        }
    }
    if (!r->device) {
        ShowError(L"テクスチャ（重み）の作成に失敗しました");
        return D3DERR_INVALIDCALL;
    }
    ReleaseField(r->weightTexture);
    hr = r->device->CreateTexture(256, 16, 1, 0, D3DFMT_V16U16, D3DPOOL_DEFAULT, &r->weightTexture, nullptr);
    if (FAILED(hr)) {
        ShowError(L"テクスチャ（重み）の作成に失敗しました");
        return hr;
    }
    hr = CreateTargetSurface(r, &r->rtSurface, r->dstWidth, r->dstHeight);
    if (FAILED(hr))
        ShowError(L"RTサーフェスの作成に失敗しました");
    return hr;
}

HRESULT CreateTexelTexture(GpuResizer* r, IDirect3DTexture9** field, DWORD usage, D3DPOOL pool, int32_t width,
                           int32_t height)
{
    const D3DFORMAT format = TexelD3dFormat(r->texelFormat);
    if (!r->device)
        return D3DERR_INVALIDCALL;
    ReleaseField(*field);
    return r->device->CreateTexture(width, height, 1, usage, format, pool, field, nullptr);
}

HRESULT CreateTargetSurface(GpuResizer* r, IDirect3DSurface9** field, int32_t width, int32_t height)
{
    const D3DFORMAT format = TexelD3dFormat(r->texelFormat);
    if (!r->device)
        return D3DERR_INVALIDCALL;
    ReleaseField(*field);
    return r->device->CreateRenderTarget(width, height, format, D3DMULTISAMPLE_NONE, 0, FALSE, field, nullptr);
}

HRESULT BuildQuads(GpuResizer* r)
{
    if (!r->device)
        return D3DERR_INVALIDCALL;
    ReleaseField(r->vertexBuffer);
    float vertices[kQuadBufferFloats];
    FillQuadVertices(vertices, r->srcWidth, r->srcHeight, r->midWidth, r->midHeight, r->dstWidth, r->dstHeight);
    const HRESULT hr =
        r->device->CreateVertexBuffer(kQuadBufferBytes, D3DUSAGE_WRITEONLY, 0, D3DPOOL_DEFAULT, &r->vertexBuffer, nullptr);
    if (FAILED(hr))
        return hr;
    // A buffer that cannot be locked stays unfilled; the draw then shows it.
    void* data = nullptr;
    if (SUCCEEDED(r->vertexBuffer->Lock(0, 0, &data, D3DLOCK_NOSYSLOCK))) {
        std::memcpy(data, vertices, sizeof vertices);
        r->vertexBuffer->Unlock();
    }
    return hr;
}

HRESULT BindParameters(GpuResizer* r)
{
    if (!r->device || !r->effect)
        return D3DERR_INVALIDCALL;
    HRESULT hr = r->effect->SetTexture(r->hTxWgt, r->weightTexture);
    if (FAILED(hr)) {
        ShowError(L"重みテクスチャのセットに失敗しました");
        return hr;
    }
    hr = r->effect->SetTexture(r->hTxSrc, r->inputTexture);
    if (FAILED(hr)) {
        ShowError(L"ソーステクスチャのセットに失敗しました");
        return hr;
    }
    // The pixel transfer moves pixels with SSE2 only and leaves no MMX state
    // behind, so the floating-point work below needs no EMMS.
    const PlanConstants constants = ComputePlanConstants(r->srcWidth, r->srcHeight, r->dstWidth, r->dstHeight);
    const D3DXVECTOR4 texelSize(constants.texelSize);
    hr = r->effect->SetVector(r->hRszSrc, &texelSize);
    if (FAILED(hr)) {
        ShowError(L"入力ピッチのセットに失敗しました");
        return hr;
    }
    const D3DXVECTOR4 scale(constants.scale);
    hr = r->effect->SetVector(r->hMinRt, &scale);
    if (FAILED(hr)) {
        ShowError(L"リサイズ比のセットに失敗しました");
        return hr;
    }
    hr = r->effect->SetTechnique(r->hTechnique);
    if (FAILED(hr)) {
        ShowError(L"テクニックのセットに失敗しました");
        return hr;
    }
    ChoosePasses(r);
    return hr;
}

void ChoosePasses(GpuResizer* r)
{
    r->pass1 = kPassNone;
    r->pass2 = kPassNone;
    const PassPair passes = ChoosePassPair(r->srcWidth, r->srcHeight, r->dstWidth, r->dstHeight);
    r->pass1 = passes.first;
    r->pass2 = passes.second;
}
