// The hooks written into the real objects' vtables. Each one counts the call,
// logs it when it is one of the draw-related calls, fails it when a fault
// says so and otherwise forwards to the original method; hooks of creating
// calls patch the new object's vtable and record it as live, hooks of
// Release forget an object whose last reference went.
#include "bookkeeping.h"
#include "vtables.h"

namespace proxy {
namespace {

VtableSet<IDirect3D9, IDirect3D9Vtbl> g_direct3d;
VtableSet<IDirect3DDevice9, IDirect3DDevice9Vtbl> g_devices;
VtableSet<IDirect3DTexture9, IDirect3DTexture9Vtbl> g_textures;
VtableSet<IDirect3DVertexBuffer9, IDirect3DVertexBuffer9Vtbl> g_vertexBuffers;
VtableSet<IDirect3DSurface9, IDirect3DSurface9Vtbl> g_surfaces;
VtableSet<IDirect3DVertexDeclaration9, IDirect3DVertexDeclaration9Vtbl> g_declarations;

const IDirect3D9Vtbl& Real(const IDirect3D9* object)
{
    return g_direct3d.Original(object);
}
const IDirect3DDevice9Vtbl& Real(const IDirect3DDevice9* object)
{
    return g_devices.Original(object);
}
const IDirect3DTexture9Vtbl& Real(const IDirect3DTexture9* object)
{
    return g_textures.Original(object);
}
const IDirect3DVertexBuffer9Vtbl& Real(const IDirect3DVertexBuffer9* object)
{
    return g_vertexBuffers.Original(object);
}
const IDirect3DSurface9Vtbl& Real(const IDirect3DSurface9* object)
{
    return g_surfaces.Original(object);
}
const IDirect3DVertexDeclaration9Vtbl& Real(const IDirect3DVertexDeclaration9* object)
{
    return g_declarations.Original(object);
}

// Release of any hooked interface: the object is gone when nothing is left.
template <typename Object>
ULONG STDMETHODCALLTYPE Release(Object* self)
{
    const auto release = Real(self).Release;
    const ULONG left = release(self);
    if (left == 0)
        RemoveLiveObject(self);
    return left;
}

// --- IDirect3D9 ---------------------------------------------------------

// With device mapping on, an adapter the system does not have is adapter 0
// and REF is HAL.
void Map(IDirect3D9* self, UINT* adapter, D3DDEVTYPE* type)
{
    if (!DeviceMapping())
        return;
    if (*adapter >= Real(self).GetAdapterCount(self))
        *adapter = 0;
    if (type && *type == D3DDEVTYPE_REF)
        *type = D3DDEVTYPE_HAL;
}

UINT STDMETHODCALLTYPE GetAdapterCount(IDirect3D9* self)
{
    HRESULT fault;
    if (Enter(ProxyCall::GetAdapterCount, self, &fault))
        return static_cast<UINT>(fault);
    return AdapterCount(Real(self).GetAdapterCount(self));
}

HRESULT STDMETHODCALLTYPE GetAdapterDisplayMode(IDirect3D9* self, UINT adapter, D3DDISPLAYMODE* mode)
{
    HRESULT fault;
    if (Enter(ProxyCall::GetDisplayMode, self, &fault))
        return fault;
    Map(self, &adapter, nullptr);
    return Real(self).GetAdapterDisplayMode(self, adapter, mode);
}

HRESULT STDMETHODCALLTYPE CheckDeviceFormat(IDirect3D9* self, UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                            DWORD usage, D3DRESOURCETYPE resourceType, D3DFORMAT checkFormat)
{
    CallTraits traits;
    traits.hasUsage = true;
    traits.usage = usage;
    traits.hasFormat = true;
    traits.format = checkFormat;
    HRESULT result;
    if (Enter(ProxyCall::CheckDeviceFormat, self, traits, &result))
        return result;
    if (FakedFormatResult(usage, resourceType, checkFormat, &result))
        return result;
    Map(self, &adapter, &type);
    return Real(self).CheckDeviceFormat(self, adapter, type, adapterFormat, usage, resourceType, checkFormat);
}

HRESULT STDMETHODCALLTYPE Direct3DGetDeviceCaps(IDirect3D9* self, UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps)
{
    HRESULT fault;
    if (Enter(ProxyCall::GetDeviceCaps, self, &fault))
        return fault;
    UINT realAdapter = adapter;
    D3DDEVTYPE realType = type;
    Map(self, &realAdapter, &realType);
    const HRESULT hr = Real(self).GetDeviceCaps(self, realAdapter, realType, caps);
    if (SUCCEEDED(hr) && caps) {
        if (realAdapter != adapter || realType != type) {
            caps->AdapterOrdinal = adapter;
            caps->DeviceType = type;
        }
        ApplyCaps(caps);
    }
    return hr;
}

HRESULT STDMETHODCALLTYPE CreateDevice(IDirect3D9* self, UINT adapter, D3DDEVTYPE type, HWND focus, DWORD flags,
                                       D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** out)
{
    ProxyDeviceRequest request = {};
    request.adapter = adapter;
    request.type = type;
    request.focus = focus;
    request.flags = flags;
    if (params)
        request.params = *params;
    RecordDeviceRequest(request);

    HRESULT fault;
    if (Enter(ProxyCall::CreateDevice, self, &fault)) {
        if (out)
            *out = nullptr;
        return fault;
    }
    UINT realAdapter = adapter;
    D3DDEVTYPE realType = type;
    Map(self, &realAdapter, &realType);
    const HRESULT hr = Real(self).CreateDevice(self, realAdapter, realType, focus, flags, params, out);
    if (SUCCEEDED(hr) && out && *out) {
        HookDevice(*out);
        AddLiveObject(*out, ObjectKind::Device,
                      Format("CreateDevice(adapter %u, type %d, flags 0x%08lx)", adapter, static_cast<int>(type), flags));
    }
    return hr;
}

// --- IDirect3DDevice9 ---------------------------------------------------

HRESULT STDMETHODCALLTYPE TestCooperativeLevel(IDirect3DDevice9* self)
{
    HRESULT hr;
    if (!Enter(ProxyCall::TestCooperativeLevel, self, &hr))
        hr = Real(self).TestCooperativeLevel(self);
    Log("TestCooperativeLevel 0x%08lx", static_cast<unsigned long>(hr));
    return hr;
}

HRESULT STDMETHODCALLTYPE DeviceGetDeviceCaps(IDirect3DDevice9* self, D3DCAPS9* caps)
{
    HRESULT fault;
    if (Enter(ProxyCall::GetDeviceCaps, self, &fault))
        return fault;
    const HRESULT hr = Real(self).GetDeviceCaps(self, caps);
    if (SUCCEEDED(hr) && caps)
        ApplyCaps(caps);
    return hr;
}

HRESULT STDMETHODCALLTYPE GetDisplayMode(IDirect3DDevice9* self, UINT swapChain, D3DDISPLAYMODE* mode)
{
    HRESULT fault;
    if (Enter(ProxyCall::GetDisplayMode, self, &fault))
        return fault;
    return Real(self).GetDisplayMode(self, swapChain, mode);
}

HRESULT STDMETHODCALLTYPE Reset(IDirect3DDevice9* self, D3DPRESENT_PARAMETERS* params)
{
    Log("Reset");
    HRESULT fault;
    if (Enter(ProxyCall::Reset, self, &fault))
        return fault;
    return Real(self).Reset(self, params);
}

HRESULT STDMETHODCALLTYPE CreateTexture(IDirect3DDevice9* self, UINT width, UINT height, UINT levels, DWORD usage,
                                        D3DFORMAT format, D3DPOOL pool, IDirect3DTexture9** out, HANDLE* shared)
{
    CallTraits traits;
    traits.hasUsage = true;
    traits.usage = usage;
    traits.hasPool = true;
    traits.pool = pool;
    traits.hasFormat = true;
    traits.format = format;
    HRESULT fault;
    if (Enter(ProxyCall::CreateTexture, self, traits, &fault)) {
        if (out)
            *out = nullptr;
        return fault;
    }
    const HRESULT hr = Real(self).CreateTexture(self, width, height, levels, usage, format, pool, out, shared);
    if (SUCCEEDED(hr) && out && *out) {
        HookTexture(*out);
        AddLiveObject(*out, ObjectKind::Texture,
                      Format("CreateTexture(%ux%u, levels %u, usage 0x%08lx, format %d, pool %d)", width, height,
                             levels, usage, static_cast<int>(format), static_cast<int>(pool)));
    }
    return hr;
}

HRESULT STDMETHODCALLTYPE CreateVertexBuffer(IDirect3DDevice9* self, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                             IDirect3DVertexBuffer9** out, HANDLE* shared)
{
    CallTraits traits;
    traits.hasUsage = true;
    traits.usage = usage;
    traits.hasPool = true;
    traits.pool = pool;
    HRESULT fault;
    if (Enter(ProxyCall::CreateVertexBuffer, self, traits, &fault)) {
        if (out)
            *out = nullptr;
        return fault;
    }
    const HRESULT hr = Real(self).CreateVertexBuffer(self, length, usage, fvf, pool, out, shared);
    if (SUCCEEDED(hr) && out && *out) {
        HookVertexBuffer(*out);
        AddLiveObject(*out, ObjectKind::VertexBuffer,
                      Format("CreateVertexBuffer(%u bytes, usage 0x%08lx, fvf 0x%08lx, pool %d)", length, usage, fvf,
                             static_cast<int>(pool)));
    }
    return hr;
}

HRESULT STDMETHODCALLTYPE CreateRenderTarget(IDirect3DDevice9* self, UINT width, UINT height, D3DFORMAT format,
                                             D3DMULTISAMPLE_TYPE multiSample, DWORD quality, WINBOOL lockable,
                                             IDirect3DSurface9** out, HANDLE* shared)
{
    CallTraits traits;
    traits.hasUsage = true;
    traits.usage = D3DUSAGE_RENDERTARGET;
    traits.hasPool = true;
    traits.pool = D3DPOOL_DEFAULT;
    traits.hasFormat = true;
    traits.format = format;
    HRESULT fault;
    if (Enter(ProxyCall::CreateRenderTarget, self, traits, &fault)) {
        if (out)
            *out = nullptr;
        return fault;
    }
    const HRESULT hr =
        Real(self).CreateRenderTarget(self, width, height, format, multiSample, quality, lockable, out, shared);
    if (SUCCEEDED(hr) && out && *out) {
        HookSurface(*out);
        AddLiveObject(*out, ObjectKind::Surface,
                      Format("CreateRenderTarget(%ux%u, format %d, lockable %d)", width, height,
                             static_cast<int>(format), lockable ? 1 : 0));
    }
    return hr;
}

HRESULT STDMETHODCALLTYPE CreateVertexDeclaration(IDirect3DDevice9* self, const D3DVERTEXELEMENT9* elements,
                                                  IDirect3DVertexDeclaration9** out)
{
    HRESULT fault;
    if (Enter(ProxyCall::CreateVertexDeclaration, self, &fault)) {
        if (out)
            *out = nullptr;
        return fault;
    }
    const HRESULT hr = Real(self).CreateVertexDeclaration(self, elements, out);
    if (SUCCEEDED(hr) && out && *out) {
        HookVertexDeclaration(*out);
        AddLiveObject(*out, ObjectKind::VertexDeclaration, "CreateVertexDeclaration");
    }
    return hr;
}

HRESULT STDMETHODCALLTYPE UpdateTexture(IDirect3DDevice9* self, IDirect3DBaseTexture9* source,
                                        IDirect3DBaseTexture9* destination)
{
    Log("UpdateTexture %p %p", static_cast<void*>(source), static_cast<void*>(destination));
    HRESULT fault;
    if (Enter(ProxyCall::UpdateTexture, self, &fault))
        return fault;
    return Real(self).UpdateTexture(self, source, destination);
}

HRESULT STDMETHODCALLTYPE GetRenderTargetData(IDirect3DDevice9* self, IDirect3DSurface9* source,
                                              IDirect3DSurface9* destination)
{
    Log("GetRenderTargetData %p %p", static_cast<void*>(source), static_cast<void*>(destination));
    HRESULT fault;
    if (Enter(ProxyCall::GetRenderTargetData, self, &fault))
        return fault;
    return Real(self).GetRenderTargetData(self, source, destination);
}

HRESULT STDMETHODCALLTYPE SetRenderTarget(IDirect3DDevice9* self, DWORD index, IDirect3DSurface9* surface)
{
    Log("SetRenderTarget %lu %p", index, static_cast<void*>(surface));
    HRESULT fault;
    if (Enter(ProxyCall::SetRenderTarget, self, &fault))
        return fault;
    return Real(self).SetRenderTarget(self, index, surface);
}

HRESULT STDMETHODCALLTYPE BeginScene(IDirect3DDevice9* self)
{
    Log("BeginScene");
    HRESULT fault;
    if (Enter(ProxyCall::BeginScene, self, &fault))
        return fault;
    return Real(self).BeginScene(self);
}

HRESULT STDMETHODCALLTYPE EndScene(IDirect3DDevice9* self)
{
    Log("EndScene");
    HRESULT fault;
    if (Enter(ProxyCall::EndScene, self, &fault))
        return fault;
    return Real(self).EndScene(self);
}

HRESULT STDMETHODCALLTYPE SetVertexDeclaration(IDirect3DDevice9* self, IDirect3DVertexDeclaration9* declaration)
{
    Log("SetVertexDeclaration %p", static_cast<void*>(declaration));
    HRESULT fault;
    if (Enter(ProxyCall::SetVertexDeclaration, self, &fault))
        return fault;
    return Real(self).SetVertexDeclaration(self, declaration);
}

HRESULT STDMETHODCALLTYPE SetStreamSource(IDirect3DDevice9* self, UINT stream, IDirect3DVertexBuffer9* buffer,
                                          UINT offset, UINT stride)
{
    Log("SetStreamSource %u %p %u %u", stream, static_cast<void*>(buffer), offset, stride);
    HRESULT fault;
    if (Enter(ProxyCall::SetStreamSource, self, &fault))
        return fault;
    return Real(self).SetStreamSource(self, stream, buffer, offset, stride);
}

HRESULT STDMETHODCALLTYPE DrawPrimitive(IDirect3DDevice9* self, D3DPRIMITIVETYPE type, UINT start, UINT count)
{
    Log("DrawPrimitive %d %u %u", static_cast<int>(type), start, count);
    HRESULT fault;
    if (Enter(ProxyCall::DrawPrimitive, self, &fault))
        return fault;
    return Real(self).DrawPrimitive(self, type, start, count);
}

// --- IDirect3DTexture9 --------------------------------------------------

HRESULT STDMETHODCALLTYPE TextureLockRect(IDirect3DTexture9* self, UINT level, D3DLOCKED_RECT* locked,
                                          const RECT* rect, DWORD flags)
{
    HRESULT fault;
    if (Enter(ProxyCall::TextureLockRect, self, &fault)) {
        if (locked) {
            locked->pBits = nullptr;
            locked->Pitch = 0;
        }
        return fault;
    }
    return Real(self).LockRect(self, level, locked, rect, flags);
}

HRESULT STDMETHODCALLTYPE TextureUnlockRect(IDirect3DTexture9* self, UINT level)
{
    HRESULT fault;
    if (Enter(ProxyCall::TextureUnlockRect, self, &fault))
        return fault;
    return Real(self).UnlockRect(self, level);
}

// A level's surface belongs to its texture: it is not recorded, but its
// vtable (shared with stand-alone surfaces) gets the Release hook.
HRESULT STDMETHODCALLTYPE TextureGetSurfaceLevel(IDirect3DTexture9* self, UINT level, IDirect3DSurface9** out)
{
    HRESULT fault;
    if (Enter(ProxyCall::TextureGetSurfaceLevel, self, &fault)) {
        if (out)
            *out = nullptr;
        return fault;
    }
    const HRESULT hr = Real(self).GetSurfaceLevel(self, level, out);
    if (SUCCEEDED(hr) && out && *out)
        HookSurface(*out);
    return hr;
}

// --- IDirect3DVertexBuffer9 ---------------------------------------------

HRESULT STDMETHODCALLTYPE VertexBufferLock(IDirect3DVertexBuffer9* self, UINT offset, UINT size, void** data,
                                           DWORD flags)
{
    HRESULT fault;
    if (Enter(ProxyCall::VertexBufferLock, self, &fault)) {
        if (data)
            *data = nullptr;
        return fault;
    }
    return Real(self).Lock(self, offset, size, data, flags);
}

HRESULT STDMETHODCALLTYPE VertexBufferUnlock(IDirect3DVertexBuffer9* self)
{
    HRESULT fault;
    if (Enter(ProxyCall::VertexBufferUnlock, self, &fault))
        return fault;
    return Real(self).Unlock(self);
}

}  // namespace

void HookDirect3D(IDirect3D9* d3d)
{
    g_direct3d.Patch(d3d, [](IDirect3D9Vtbl* table) {
        WriteSlot(&table->Release, &Release<IDirect3D9>);
        WriteSlot(&table->GetAdapterCount, &GetAdapterCount);
        WriteSlot(&table->GetAdapterDisplayMode, &GetAdapterDisplayMode);
        WriteSlot(&table->CheckDeviceFormat, &CheckDeviceFormat);
        WriteSlot(&table->GetDeviceCaps, &Direct3DGetDeviceCaps);
        WriteSlot(&table->CreateDevice, &CreateDevice);
    });
}

void HookDevice(IDirect3DDevice9* device)
{
    g_devices.Patch(device, [](IDirect3DDevice9Vtbl* table) {
        WriteSlot(&table->Release, &Release<IDirect3DDevice9>);
        WriteSlot(&table->TestCooperativeLevel, &TestCooperativeLevel);
        WriteSlot(&table->GetDeviceCaps, &DeviceGetDeviceCaps);
        WriteSlot(&table->GetDisplayMode, &GetDisplayMode);
        WriteSlot(&table->Reset, &Reset);
        WriteSlot(&table->CreateTexture, &CreateTexture);
        WriteSlot(&table->CreateVertexBuffer, &CreateVertexBuffer);
        WriteSlot(&table->CreateRenderTarget, &CreateRenderTarget);
        WriteSlot(&table->CreateVertexDeclaration, &CreateVertexDeclaration);
        WriteSlot(&table->UpdateTexture, &UpdateTexture);
        WriteSlot(&table->GetRenderTargetData, &GetRenderTargetData);
        WriteSlot(&table->SetRenderTarget, &SetRenderTarget);
        WriteSlot(&table->BeginScene, &BeginScene);
        WriteSlot(&table->EndScene, &EndScene);
        WriteSlot(&table->SetVertexDeclaration, &SetVertexDeclaration);
        WriteSlot(&table->SetStreamSource, &SetStreamSource);
        WriteSlot(&table->DrawPrimitive, &DrawPrimitive);
    });
}

void HookTexture(IDirect3DTexture9* texture)
{
    g_textures.Patch(texture, [](IDirect3DTexture9Vtbl* table) {
        WriteSlot(&table->Release, &Release<IDirect3DTexture9>);
        WriteSlot(&table->LockRect, &TextureLockRect);
        WriteSlot(&table->UnlockRect, &TextureUnlockRect);
        WriteSlot(&table->GetSurfaceLevel, &TextureGetSurfaceLevel);
    });
}

void HookVertexBuffer(IDirect3DVertexBuffer9* buffer)
{
    g_vertexBuffers.Patch(buffer, [](IDirect3DVertexBuffer9Vtbl* table) {
        WriteSlot(&table->Release, &Release<IDirect3DVertexBuffer9>);
        WriteSlot(&table->Lock, &VertexBufferLock);
        WriteSlot(&table->Unlock, &VertexBufferUnlock);
    });
}

void HookSurface(IDirect3DSurface9* surface)
{
    g_surfaces.Patch(surface, [](IDirect3DSurface9Vtbl* table) {
        WriteSlot(&table->Release, &Release<IDirect3DSurface9>);
    });
}

void HookVertexDeclaration(IDirect3DVertexDeclaration9* declaration)
{
    g_declarations.Patch(declaration, [](IDirect3DVertexDeclaration9Vtbl* table) {
        WriteSlot(&table->Release, &Release<IDirect3DVertexDeclaration9>);
    });
}

}  // namespace proxy
