// The module's d3d9 exports. Direct3DCreate9 and Direct3DCreate9Ex are hooked;
// every other export jumps straight to the same export of the system's
// d3d9.dll, whatever its arguments, so that any module importing d3d9.dll
// works with this one in its place.
#include "bookkeeping.h"
#include "vtables.h"

#include <cstdio>
#include <cstdlib>

namespace {

INIT_ONCE g_loadOnce = INIT_ONCE_STATIC_INIT;
HMODULE g_real = nullptr;

// Loads the system's d3d9.dll by its full path: by base name the loader
// would hand back this module. Under Wine that needs the load order
// d3d9=n,b; with native only, the builtin in the system directory is refused.
BOOL CALLBACK LoadRealModule(INIT_ONCE*, void*, void**)
{
    wchar_t path[MAX_PATH];
    const UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length + 10 > MAX_PATH) {
        std::fprintf(stderr, "d3d9 proxy: no system directory (%lu)\n", GetLastError());
        return TRUE;
    }
    lstrcpyW(path + length, L"\\d3d9.dll");
    HMODULE module = LoadLibraryW(path);
    if (!module) {
        std::fprintf(stderr, "d3d9 proxy: cannot load %ls: error %lu\n", path, GetLastError());
        return TRUE;
    }
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&LoadRealModule), &self);
    if (module == self) {
        std::fprintf(stderr, "d3d9 proxy: %ls is this proxy itself\n", path);
        FreeLibrary(module);
        return TRUE;
    }
    g_real = module;
    return TRUE;
}

HMODULE RealModule()
{
    InitOnceExecuteOnce(&g_loadOnce, LoadRealModule, nullptr, nullptr);
    return g_real;
}

template <typename Function>
Function RealExport(const char* name)
{
    HMODULE real = RealModule();
    FARPROC address = real ? GetProcAddress(real, name) : nullptr;
    if (!address)
        std::fprintf(stderr, "d3d9 proxy: the system's d3d9.dll has no %s\n", name);
    return reinterpret_cast<Function>(reinterpret_cast<void*>(address));
}

// The exports forwarded as they are, in the order of their thunks below.
const char* const kForwarded[] = {
    "Direct3DShaderValidatorCreate9",
    "PSGPError",
    "PSGPSampleTexture",
    "D3DPERF_BeginEvent",
    "D3DPERF_EndEvent",
    "D3DPERF_GetStatus",
    "D3DPERF_QueryRepeatFrame",
    "D3DPERF_SetMarker",
    "D3DPERF_SetOptions",
    "D3DPERF_SetRegion",
    "DebugSetLevel",
    "DebugSetMute",
};
constexpr int kForwardedCount = sizeof kForwarded / sizeof kForwarded[0];
void* volatile g_forwardTargets[kForwardedCount];

}  // namespace

// Called by the thunks: the real export's address. A missing export ends the
// process, as a missing import would have.
extern "C" __attribute__((used)) void* ProxyForwardTarget(int index)
{
    void* target = g_forwardTargets[index];
    if (!target) {
        target = RealExport<void*>(kForwarded[index]);
        if (!target)
            std::abort();
        g_forwardTargets[index] = target;
    }
    return target;
}

// Each thunk, named as the export's stdcall symbol, leaves the caller's
// stack as it found it (the call to the resolver is balanced) and jumps to
// the real export, which returns to the caller. Only eax, ecx and edx change,
// which no caller of these expects kept.
#define TOBREL_FORWARD(index, symbol)                                  \
    extern "C" __attribute__((naked)) void Forward##index() asm("_" symbol); \
    void Forward##index()                                               \
    {                                                                   \
        asm("pushl $" #index "\n\t"                                     \
            "call _ProxyForwardTarget\n\t"                             \
            "addl $4, %esp\n\t"                                        \
            "jmp *%eax");                                               \
    }

TOBREL_FORWARD(0, "Direct3DShaderValidatorCreate9@0")
TOBREL_FORWARD(1, "PSGPError")
TOBREL_FORWARD(2, "PSGPSampleTexture")
TOBREL_FORWARD(3, "D3DPERF_BeginEvent@8")
TOBREL_FORWARD(4, "D3DPERF_EndEvent@0")
TOBREL_FORWARD(5, "D3DPERF_GetStatus@0")
TOBREL_FORWARD(6, "D3DPERF_QueryRepeatFrame@0")
TOBREL_FORWARD(7, "D3DPERF_SetMarker@8")
TOBREL_FORWARD(8, "D3DPERF_SetOptions@4")
TOBREL_FORWARD(9, "D3DPERF_SetRegion@8")
TOBREL_FORWARD(10, "DebugSetLevel")
TOBREL_FORWARD(11, "DebugSetMute@0")

using proxy::AddLiveObject;
using proxy::Format;
using proxy::ObjectKind;

extern "C" IDirect3D9* WINAPI Direct3DCreate9(UINT sdkVersion)
{
    HRESULT fault;
    if (proxy::Enter(ProxyCall::Direct3DCreate9, nullptr, &fault))
        return nullptr;
    static const auto create = RealExport<IDirect3D9*(WINAPI*)(UINT)>("Direct3DCreate9");
    if (!create)
        return nullptr;
    IDirect3D9* d3d = create(sdkVersion);
    if (d3d) {
        proxy::HookDirect3D(d3d);
        AddLiveObject(d3d, ObjectKind::Direct3D, Format("Direct3DCreate9(sdk %u)", sdkVersion));
    }
    return d3d;
}

// Not counted and never failed, but its object is hooked and recorded like
// Direct3DCreate9's: an IDirect3D9Ex vtable starts with IDirect3D9's.
extern "C" HRESULT WINAPI Direct3DCreate9Ex(UINT sdkVersion, IDirect3D9Ex** out)
{
    static const auto create = RealExport<HRESULT(WINAPI*)(UINT, IDirect3D9Ex**)>("Direct3DCreate9Ex");
    if (!create) {
        if (out)
            *out = nullptr;
        return D3DERR_NOTAVAILABLE;
    }
    const HRESULT hr = create(sdkVersion, out);
    if (SUCCEEDED(hr) && out && *out) {
        proxy::HookDirect3D(reinterpret_cast<IDirect3D9*>(*out));
        AddLiveObject(*out, ObjectKind::Direct3D, Format("Direct3DCreate9Ex(sdk %u)", sdkVersion));
    }
    return hr;
}
