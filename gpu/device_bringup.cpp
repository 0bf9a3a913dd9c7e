// Device bring-up and take-down: the D3DX library, the Direct3D object and
// device, the capability checks, the render worker, the effect and the
// vertex declaration.
#include "gpu_resizer.h"

#include "filter_abi.h"
#include "lanczos_effect.h"
#include "render_worker.h"
#include "show_error.h"

#include <cstdio>
#include <cstdlib>
#include <new>

namespace {

constexpr int kNewestD3dx = 42;
constexpr int kOldestD3dx = 38;

constexpr DWORD kBehaviourFlags =
    D3DCREATE_NOWINDOWCHANGES | D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_MULTITHREADED;
constexpr DWORD kEffectFlags = D3DXFX_NOT_CLONEABLE | D3DXFX_LARGEADDRESSAWARE;

const D3DVERTEXELEMENT9 kQuadVertexElements[] = {
    {0, 0, D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITIONT, 0},
    {0, 16, D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
    D3DDECL_END(),
};

// Shows the effect framework's own error text, converted from its narrow text.
void ShowEffectErrors(ID3DXBuffer* errors)
{
    if (!errors->GetBufferPointer())
        return;
    const size_t n = errors->GetBufferSize();
    if (n == 0)
        return;
    wchar_t* text = new (std::nothrow) wchar_t[n];
    if (!text)
        return;
    size_t converted = 0;
    mbstowcs_s(&converted, text, n, static_cast<const char*>(errors->GetBufferPointer()), n - 1);
    text[n - 1] = 0;
    ShowError(text);
    delete[] text;
}

}  // namespace

D3DPRESENT_PARAMETERS DevicePresentParameters()
{
    D3DPRESENT_PARAMETERS pp = {};
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.Windowed = TRUE;
    return pp;
}

void InitGpuResizer(GpuResizer* r)
{
    *r = GpuResizer{};
    r->srcWidth = r->srcHeight = -1;
    r->midWidth = r->midHeight = -1;
    r->dstWidth = r->dstHeight = -1;
    r->rowStride = -1;
    r->maxTexWidth = r->maxTexHeight = -1;
    r->texelFormat = kTexelUnsigned;
    r->pass1 = r->pass2 = -1;
}

bool OpenDevice(GpuResizer* r, FilterRecord* fp, int32_t adapterSetting)
{
    ReleaseAll(r);
    if (FAILED(LoadD3DX(r)))
        return false;
    r->d3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (!r->d3d) {
        ShowError(L"Direct3DCreate9()が失敗しました");
        return false;
    }
    const D3DDEVTYPE type = adapterSetting < 0 ? D3DDEVTYPE_REF : D3DDEVTYPE_HAL;
    UINT adapter = static_cast<UINT>(adapterSetting);
    if (adapterSetting < 0 || adapter >= r->d3d->GetAdapterCount())
        adapter = 0;
    D3DPRESENT_PARAMETERS pp = DevicePresentParameters();
    if (FAILED(r->d3d->CreateDevice(adapter, type, fp->hostWindow, kBehaviourFlags, &pp, &r->device))) {
        ShowError(L"D3Dデバイスの作成に失敗しました");
        ReleaseAll(r);
        return false;
    }
    if (FAILED(CheckDeviceCaps(r))) {
        ReleaseAll(r);
        return false;
    }
    if (r->worker) {
        StopWorker(r->worker);
        FreeRenderWorker(r->worker);
    }
    r->worker = AllocRenderWorker();
    if (!r->worker) {
        ShowError(L"スレッド作成に失敗しました");
        ReleaseAll(r);
        return false;
    }
    if (StartWorker(r->worker, RenderJob, r) != 0) {
        ShowError(L"スレッド初期化に失敗しました");
        ReleaseAll(r);
        return false;
    }
    // Anything but D3D_OK from the effect framework means no usable effect.
    if (CreateEffect(r) != D3D_OK) {
        ShowError(L"エフェクトの作成に失敗しました");
        ReleaseAll(r);
        return false;
    }
    ReleaseField(r->vertexDecl);
    if (FAILED(r->device->CreateVertexDeclaration(kQuadVertexElements, &r->vertexDecl))) {
        ShowError(L"頂点宣言の作成に失敗しました");
        ReleaseAll(r);
        return false;
    }
    return true;
}

HRESULT LoadD3DX(GpuResizer* r)
{
    r->createEffect = nullptr;
    for (int n = kNewestD3dx; !r->d3dxModule && n >= kOldestD3dx; --n) {
        wchar_t name[64];
        swprintf(name, 64, L"d3dx9_%02d.dll", n);
        r->d3dxModule = LoadLibraryW(name);
    }
    if (!r->d3dxModule) {
        ShowError(L"D3DXライブラリがロードできません。最新のDirectXエンドユーザーランタイムを導入してください。");
        return E_FAIL;
    }
    r->createEffect = reinterpret_cast<CreateEffectFn>(
        reinterpret_cast<void*>(GetProcAddress(r->d3dxModule, "D3DXCreateEffect")));
    if (r->createEffect)
        return S_OK;
    FreeLibrary(r->d3dxModule);
    r->d3dxModule = nullptr;
    r->createEffect = nullptr;
    ShowError(L"D3DX関数の取得に失敗しました。最新のDirectXエンドユーザーランタイムを導入してみてください。");
    return E_FAIL;
}

HRESULT CheckDeviceCaps(GpuResizer* r)
{
    if (!r->device || !r->d3d)
        return D3DERR_INVALIDCALL;
    D3DCAPS9 caps = {};
    HRESULT hr = r->device->GetDeviceCaps(&caps);
    if (hr != D3D_OK)
        return hr;
    if (caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) {
        ShowError(L"非正方テクスチャを利用できません");
        return D3DERR_NOTAVAILABLE;
    }
    if ((caps.TextureCaps & D3DPTEXTURECAPS_POW2) && !(caps.TextureCaps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL)) {
        ShowError(L"2の累乗サイズ以外のテクスチャは利用できません");
        return D3DERR_NOTAVAILABLE;
    }
    // Kept even when a later check refuses the device.
    r->maxTexWidth = static_cast<int32_t>(caps.MaxTextureWidth);
    r->maxTexHeight = static_cast<int32_t>(caps.MaxTextureHeight);
    if (caps.PixelShaderVersion < D3DPS_VERSION(3, 0)) {
        ShowError(L"PS3.0以降をサポートするGPUが必要です");
        return D3DERR_NOTAVAILABLE;
    }
    D3DDISPLAYMODE mode = {};
    hr = r->device->GetDisplayMode(0, &mode);
    if (hr != D3D_OK)
        return hr;
    const UINT adapter = caps.AdapterOrdinal;
    const D3DDEVTYPE type = caps.DeviceType;
    if (FAILED(CheckTexelFormat(r, D3DFMT_A16B16G16R16, mode.Format, adapter, type))) {
        r->unsignedTexelOk = 0;
    } else {
        r->unsignedTexelOk = 1;
        r->texelFormat = kTexelUnsigned;
    }
    if (FAILED(CheckTexelFormat(r, D3DFMT_Q16W16V16U16, mode.Format, adapter, type))) {
        r->signedTexelOk = 0;
        if (!r->unsignedTexelOk) {
            ShowError(L"利用可能なピクセルフォーマットがひとつもありません");
            return D3DERR_NOTAVAILABLE;
        }
    } else {
        r->signedTexelOk = 1;
        r->texelFormat = kTexelSigned;
    }
    if (FAILED(r->d3d->CheckDeviceFormat(adapter, type, mode.Format, 0, D3DRTYPE_TEXTURE, D3DFMT_V16U16))) {
        ShowError(L"D3DFMT_V16U16 が利用できません");
        return D3DERR_NOTAVAILABLE;
    }
    return S_OK;
}

HRESULT CheckTexelFormat(GpuResizer* r, D3DFORMAT format, D3DFORMAT adapterFormat, UINT adapter,
                         D3DDEVTYPE deviceType)
{
    if (!r->d3d)
        return D3DERR_INVALIDCALL;
    // One probe for each kind of plan resource made in this format.
    static const struct {
        DWORD usage;
        D3DRESOURCETYPE type;
    } probes[] = {
        {D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE},  // intermediate texture
        {D3DUSAGE_RENDERTARGET, D3DRTYPE_SURFACE},  // destination render target
        {D3DUSAGE_DYNAMIC, D3DRTYPE_TEXTURE},       // input texture
        {0, D3DRTYPE_TEXTURE},                      // system-memory output
    };
    for (const auto& probe : probes) {
        const HRESULT hr =
            r->d3d->CheckDeviceFormat(adapter, deviceType, adapterFormat, probe.usage, probe.type, format);
        if (hr != D3D_OK)
            return hr;
    }
    return D3D_OK;
}

HRESULT CreateEffect(GpuResizer* r)
{
    if (!r->device || !r->createEffect)
        return D3DERR_INVALIDCALL;
    ReleaseField(r->effect);
    ID3DXBuffer* errors = nullptr;
    const HRESULT hr = r->createEffect(r->device, kLanczosEffect, kLanczosEffectSize, nullptr, nullptr, kEffectFlags,
                                       nullptr, &r->effect, &errors);
    if (hr != D3D_OK) {
        if (errors) {
            ShowEffectErrors(errors);
            errors->Release();
        }
        // Whatever came back with a failure is not kept.
        ReleaseField(r->effect);
        return hr;
    }
    r->hRadius = r->effect->GetParameterByName(nullptr, "iRadius");
    r->hRep = r->effect->GetParameterByName(nullptr, "iRep");
    r->hRszSrc = r->effect->GetParameterByName(nullptr, "fRszSrc");
    r->hMinRt = r->effect->GetParameterByName(nullptr, "fMinRt");
    r->hTechnique = r->effect->GetTechniqueByName("LanczosResize");
    r->hTxWgt = r->effect->GetParameterByName(nullptr, "txWgt");
    r->hTxSrc = r->effect->GetParameterByName(nullptr, "txSrc");
    if (errors)
        errors->Release();
    return D3D_OK;
}

bool ReleaseAll(GpuResizer* r)
{
    ReleaseField(r->effect);
    ReleaseField(r->vertexDecl);
    ReleaseDeviceResources(r);
    ReleaseField(r->sysWeightTexture);
    ReleaseField(r->sysOutputTexture);
    ReleaseField(r->device);
    ReleaseField(r->d3d);
    return true;
}

void DestroyGpuResizer(GpuResizer* r)
{
    ReleaseAll(r);
    if (r->worker) {
        StopWorker(r->worker);
        FreeRenderWorker(r->worker);
        r->worker = nullptr;
    }
    if (r->d3dxModule) {
        FreeLibrary(r->d3dxModule);
        r->d3dxModule = nullptr;
    }
    delete r;
}
