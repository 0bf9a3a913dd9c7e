// Control interface of the test-only d3d9.dll stand-in.
//
// Tests put the stand-in (bin/proxy/d3d9.dll) beside the test program and
// run it with WINEDLLOVERRIDES=d3d9=n,b. It loads the system's d3d9.dll and
// forwards every export to it; the objects it hands out are the real ones,
// whose vtables it patches once each, so that D3DX and the plug-in talk to
// the real objects while the calls below are counted, failed on request,
// faked and logged.
//
// Calls made by D3DX or from inside the real d3d9 through an object's
// vtable are seen like the test's own.
#pragma once

#include <windows.h>
#include <d3d9.h>

enum class ProxyCall : int {
    Direct3DCreate9,
    GetAdapterCount,
    CheckDeviceFormat,
    CreateDevice,
    GetDeviceCaps,  // IDirect3D9::GetDeviceCaps and IDirect3DDevice9::GetDeviceCaps
    GetDisplayMode,  // IDirect3D9::GetAdapterDisplayMode and IDirect3DDevice9::GetDisplayMode
    TestCooperativeLevel,
    Reset,
    CreateTexture,
    CreateVertexBuffer,
    CreateRenderTarget,
    CreateVertexDeclaration,
    UpdateTexture,
    GetRenderTargetData,
    SetRenderTarget,
    BeginScene,
    EndScene,
    SetVertexDeclaration,
    SetStreamSource,
    DrawPrimitive,
    TextureLockRect,
    TextureUnlockRect,
    TextureGetSurfaceLevel,
    VertexBufferLock,
    VertexBufferUnlock,
    Count
};

// Fails matching calls with `result` instead of calling the real method. A
// failed call that hands out an object (Create*, GetSurfaceLevel, Lock)
// leaves it null; a failed Direct3DCreate9 returns null and a failed
// GetAdapterCount returns `result` as the count. Every matching call
// counts towards skip and count, whether it fails or not; when several faults
// fail one call, the one added first gives the result.
struct ProxyFault {
    ProxyCall call;
    HRESULT result;                // returned instead of calling the real method (Direct3DCreate9: returns null)
    const void* object = nullptr;  // only calls on this object (the texture, vertex buffer...); null: any object
                                   // (Direct3DCreate9 has none: a fault with an object never matches it)
    int skip = 0;                  // let this many matching calls through first
    int count = -1;                // then fail this many; -1: every later matching call
    // Filters on what the call asks for; a filter the call has nothing to
    // compare with is ignored. CreateTexture and CreateVertexBuffer carry
    // usage and pool, CreateRenderTarget usage D3DUSAGE_RENDERTARGET, pool
    // D3DPOOL_DEFAULT and its format, CheckDeviceFormat usage and the format
    // checked, CreateTexture its format.
    bool matchUsage = false;
    DWORD usage = 0;
    bool matchPool = false;
    D3DPOOL pool = D3DPOOL_DEFAULT;
    D3DFORMAT format = D3DFMT_UNKNOWN;  // D3DFMT_UNKNOWN: any format
};

// Applied on top of the real GetDeviceCaps result (of IDirect3D9 and of the
// device): TextureCaps becomes (real | textureCapsSet) & ~textureCapsClear.
struct ProxyCaps {
    DWORD textureCapsSet = 0, textureCapsClear = 0;
    DWORD pixelShaderVersion = 0;                     // 0: keep the real one
    DWORD maxTextureWidth = 0, maxTextureHeight = 0;  // 0: keep
};

// A CreateDevice call as the caller made it (the parameters before the real
// method filled anything in).
struct ProxyDeviceRequest {
    UINT adapter;
    D3DDEVTYPE type;
    HWND focus;
    DWORD flags;
    D3DPRESENT_PARAMETERS params;
};

extern "C" {
// Forgets faults, fakes (caps, format results, adapter count, device
// mapping), counts, the log and its switch, and the last device request; the
// record of live objects stays.
void ProxyReset();
long ProxyCallCount(ProxyCall call);
void ProxyAddFault(const ProxyFault* fault);
void ProxySetCaps(const ProxyCaps* caps);  // null: real caps again
// CheckDeviceFormat answer for that triple, on any adapter, device type and
// adapter format; setting a triple again replaces its answer.
void ProxySetFormatResult(DWORD usage, D3DRESOURCETYPE type, D3DFORMAT format, HRESULT result);
void ProxySetAdapterCount(UINT count);  // 0: real count
// On: CreateDevice forwards REF as HAL and an adapter beyond the real count
// as 0 (the request is still recorded as asked). GetDeviceCaps,
// CheckDeviceFormat and GetAdapterDisplayMode of IDirect3D9 map the same way,
// and the caps then name the adapter and device type that were asked for.
void ProxySetDeviceMapping(bool on);
// The last CreateDevice since ProxyReset; false when there was none.
bool ProxyLastCreateDevice(ProxyDeviceRequest* out);

// The log of draw-related calls, one line each, pointers as %p prints the
// real object's pointer, every call logged whether a fault fails it or not:
//   BeginScene
//   EndScene
//   SetRenderTarget <index> <surface>
//   SetStreamSource <stream> <vb> <offset> <stride>
//   DrawPrimitive <type> <start> <count>
//   SetVertexDeclaration <decl>
//   GetRenderTargetData <src> <dst>
//   UpdateTexture <src> <dst>
//   Reset
//   TestCooperativeLevel <result as 0x%08lx, the one returned>
void ProxySetLogging(bool on);
// Copies as much of the log as fits, null-terminated; returns the whole
// log's length (like snprintf) and clears the log.
int ProxyReadLog(char* buffer, int size);

// Objects made through Direct3DCreate9(Ex), CreateDevice, CreateTexture,
// CreateVertexBuffer, CreateRenderTarget and CreateVertexDeclaration whose
// last reference has not gone yet.
int ProxyLiveObjects();
// One line each: kind, pointer (%p) and the creating call with its
// arguments, e.g. "Texture 0x3f2a40 CreateTexture(64x64, levels 1, usage
// 0x00000001, format 21, pool 0)". Copies what fits, null-terminated; returns
// the whole text's length.
int ProxyDescribeLiveObjects(char* buffer, int size);
}
