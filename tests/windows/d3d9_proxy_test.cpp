// The test-only d3d9.dll on the real device under Wine: it is the d3d9.dll
// every module of the process binds to, the system's d3d9 underneath works,
// and it counts, fails, fakes, logs and tracks objects the way the tests built
// on it expect.
#include "d3d9_proxy.h"
#include "d3d_fixture.h"
#include "lanczos_effect.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// Modules, and their export and import tables as loaded.

std::wstring ExeDirectory()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring full(path, length);
    return full.substr(0, full.find_last_of(L"\\/"));
}

std::wstring SystemD3d9Path()
{
    wchar_t path[MAX_PATH];
    const UINT length = GetSystemDirectoryW(path, MAX_PATH);
    return std::wstring(path, length) + L"\\d3d9.dll";
}

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

HMODULE ModuleOf(const void* address)
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       static_cast<LPCWSTR>(address), &module);
    return module;
}

std::string ModulePath(HMODULE module)
{
    wchar_t path[MAX_PATH] = L"?";
    GetModuleFileNameW(module, path, MAX_PATH);
    return Narrow(path);
}

// The module that answers to the name d3d9.dll: the proxy, loaded from
// beside this program as its import.
HMODULE LoadedProxy()
{
    return GetModuleHandleW(L"d3d9.dll");
}

// The system's d3d9.dll, which the proxy loads on first use.
HMODULE RealModule()
{
    D3DPERF_GetStatus();
    return GetModuleHandleW(SystemD3d9Path().c_str());
}

const BYTE* Base(HMODULE module)
{
    return reinterpret_cast<const BYTE*>(module);
}

const IMAGE_DATA_DIRECTORY& Directory(HMODULE module, int entry)
{
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(Base(module));
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(Base(module) + dos->e_lfanew);
    return nt->OptionalHeader.DataDirectory[entry];
}

struct Export {
    std::string name;
    WORD ordinal;
};

std::vector<Export> ExportsOf(HMODULE module)
{
    std::vector<Export> result;
    const IMAGE_DATA_DIRECTORY& directory = Directory(module, IMAGE_DIRECTORY_ENTRY_EXPORT);
    if (!directory.VirtualAddress)
        return result;
    const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(Base(module) + directory.VirtualAddress);
    const auto* names = reinterpret_cast<const DWORD*>(Base(module) + exports->AddressOfNames);
    const auto* ordinals = reinterpret_cast<const WORD*>(Base(module) + exports->AddressOfNameOrdinals);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
        result.push_back(Export{reinterpret_cast<const char*>(Base(module) + names[i]),
                                static_cast<WORD>(exports->Base + ordinals[i])});
    }
    return result;
}

struct Import {
    std::string function;
    const void* target;  // where the loader bound it
};

// Every function the module imports from `dll`, in all of its import
// descriptors for that name.
std::vector<Import> ImportsFrom(HMODULE module, const char* dll)
{
    std::vector<Import> result;
    const IMAGE_DATA_DIRECTORY& directory = Directory(module, IMAGE_DIRECTORY_ENTRY_IMPORT);
    if (!directory.VirtualAddress)
        return result;
    for (const auto* descriptor =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(Base(module) + directory.VirtualAddress);
         descriptor->Name; ++descriptor) {
        if (_stricmp(reinterpret_cast<const char*>(Base(module) + descriptor->Name), dll) != 0)
            continue;
        const DWORD lookup = descriptor->OriginalFirstThunk ? descriptor->OriginalFirstThunk : descriptor->FirstThunk;
        const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA32*>(Base(module) + lookup);
        const auto* bound = reinterpret_cast<const IMAGE_THUNK_DATA32*>(Base(module) + descriptor->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++bound) {
            std::string function;
            if (IMAGE_SNAP_BY_ORDINAL32(names->u1.Ordinal)) {
                function = "#" + std::to_string(IMAGE_ORDINAL32(names->u1.Ordinal));
            } else {
                function = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(Base(module) + names->u1.AddressOfData)->Name;
            }
            result.push_back(Import{function, reinterpret_cast<const void*>(bound->u1.Function)});
        }
    }
    return result;
}

const void* ImportedFunction(HMODULE module, const char* dll, const char* function)
{
    for (const Import& import : ImportsFrom(module, dll)) {
        if (import.function == function)
            return import.target;
    }
    return nullptr;
}

// ---------------------------------------------------------------------------
// The proxy's text outputs.

std::string ReadLog()
{
    std::vector<char> buffer(1 << 16);
    const int length = ProxyReadLog(buffer.data(), static_cast<int>(buffer.size()));
    EXPECT_LT(length, static_cast<int>(buffer.size())) << "log longer than the test's buffer";
    return buffer.data();
}

std::string LiveObjectText()
{
    std::vector<char> buffer(1 << 16);
    ProxyDescribeLiveObjects(buffer.data(), static_cast<int>(buffer.size()));
    return buffer.data();
}

std::string Pointer(const void* pointer)
{
    char text[32];
    std::snprintf(text, sizeof text, "%p", pointer);
    return text;
}

bool HasLine(const std::string& text, const std::string& line)
{
    return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

// ---------------------------------------------------------------------------
// A device made the way the plug-in makes it, through the proxy.

HWND CreateHiddenWindow()
{
    static const ATOM atom = [] {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"tobrel_proxy_test";
        return RegisterClassW(&wc);
    }();
    if (!atom)
        return nullptr;
    return CreateWindowExW(0, L"tobrel_proxy_test", L"tobrel proxy test", WS_OVERLAPPEDWINDOW, 0, 0, 160, 120, nullptr,
                           nullptr, GetModuleHandleW(nullptr), nullptr);
}

D3DPRESENT_PARAMETERS WindowedParameters()
{
    D3DPRESENT_PARAMETERS present = {};
    present.SwapEffect = D3DSWAPEFFECT_DISCARD;
    present.Windowed = TRUE;
    return present;
}

ULONG References(IUnknown* object)
{
    object->AddRef();
    return object->Release();
}

// One Direct3D object and one device, made the way the plug-in makes them,
// serve every test of the suite: making them costs seconds under the
// emulated renderer. The counts taken right after making them are kept for
// the test of the counts. Each test starts with the proxy reset and only
// those two objects alive, and ends with the proxy reset, the device's
// bindings undone and the objects and device references it found; at the
// end of the suite nothing made through the proxy is left.
class ProxyDevice : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ProxyReset();
        EXPECT_EQ(ProxyLiveObjects(), 0) << "left alive before the suite:\n" << LiveObjectText();
        window_ = CreateHiddenWindow();
        ASSERT_NE(window_, nullptr) << "CreateWindowExW failed: " << GetLastError();
        *d3d_.out() = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_TRUE(d3d_) << "Direct3DCreate9 returned null";
        D3DPRESENT_PARAMETERS present = WindowedParameters();
        const HRESULT hr =
            d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window_, kBehaviourFlags, &present, device_.out());
        ASSERT_EQ(hr, D3D_OK) << "CreateDevice failed with " << HresultText(hr);
        for (int call = 0; call < static_cast<int>(ProxyCall::Count); ++call)
            creationCounts_[call] = ProxyCallCount(static_cast<ProxyCall>(call));
        ProxyReset();
    }

    static void TearDownTestSuite()
    {
        device_.reset();
        d3d_.reset();
        if (window_)
            DestroyWindow(window_);
        window_ = nullptr;
        ProxyReset();
        EXPECT_EQ(ProxyLiveObjects(), 0) << "left alive at the end of the suite:\n" << LiveObjectText();
    }

    void SetUp() override
    {
        ASSERT_TRUE(device_) << "the suite has no device";
        ProxyReset();
        liveAtStart_ = ProxyLiveObjects();
        EXPECT_EQ(liveAtStart_, 2) << "more than the suite's Direct3D object and device:\n" << LiveObjectText();
        referencesAtStart_ = References(device_.get());
    }

    void TearDown() override
    {
        if (!device_)
            return;
        Unbind();
        ProxyReset();
        EXPECT_EQ(ProxyLiveObjects(), liveAtStart_) << "left alive:\n" << LiveObjectText();
        EXPECT_EQ(References(device_.get()), referencesAtStart_) << "references to the device left behind";
    }

    // What a test may have bound or changed goes back to the device's
    // defaults, so that nothing of it reaches the next test (a render
    // target of the default pool would also make Reset fail).
    static void Unbind()
    {
        ComRef<IDirect3DSurface9> backBuffer;
        EXPECT_EQ(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, backBuffer.out()), D3D_OK);
        if (backBuffer) {
            EXPECT_EQ(device_->SetRenderTarget(0, backBuffer.get()), D3D_OK);
        }
        device_->SetStreamSource(0, nullptr, 0, 0);
        device_->SetVertexDeclaration(nullptr);
        device_->SetVertexShader(nullptr);
        device_->SetPixelShader(nullptr);
        device_->SetTexture(0, nullptr);
        device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    }

    static IDirect3DDevice9* device() { return device_.get(); }

    static HRESULT CreateTexture(UINT width, UINT height, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                 IDirect3DTexture9** out)
    {
        return device_->CreateTexture(width, height, 1, usage, format, pool, out, nullptr);
    }

    static HWND window_;
    static ComRef<IDirect3D9> d3d_;
    static ComRef<IDirect3DDevice9> device_;
    static long creationCounts_[static_cast<int>(ProxyCall::Count)];
    int liveAtStart_ = 0;
    ULONG referencesAtStart_ = 0;
};

HWND ProxyDevice::window_ = nullptr;
ComRef<IDirect3D9> ProxyDevice::d3d_;
ComRef<IDirect3DDevice9> ProxyDevice::device_;
long ProxyDevice::creationCounts_[static_cast<int>(ProxyCall::Count)] = {};

// ===========================================================================
// The module in use

// No device of its own; each test starts and ends with the proxy reset and
// nothing of it alive.
class ProxyModule : public ::testing::Test {
protected:
    void SetUp() override
    {
        ProxyReset();
        ASSERT_EQ(ProxyLiveObjects(), 0) << LiveObjectText();
    }

    void TearDown() override
    {
        ProxyReset();
        EXPECT_EQ(ProxyLiveObjects(), 0) << "left alive:\n" << LiveObjectText();
    }
};

TEST_F(ProxyModule, IsTheD3d9ThisProgramImportsAndLoadsTheSystemOneBeneath)
{
    const HMODULE proxy = LoadedProxy();
    ASSERT_NE(proxy, nullptr);
    EXPECT_NE(GetProcAddress(proxy, "ProxyReset"), nullptr) << "d3d9.dll in use is " << ModulePath(proxy);
    EXPECT_EQ(ModulePath(proxy), Narrow(ExeDirectory()) + "\\d3d9.dll");

    const HMODULE self = GetModuleHandleW(nullptr);
    const void* create = ImportedFunction(self, "d3d9.dll", "Direct3DCreate9");
    ASSERT_NE(create, nullptr) << "this program does not import Direct3DCreate9 from d3d9.dll";
    EXPECT_EQ(ModuleOf(create), proxy);
    EXPECT_EQ(ModuleOf(ImportedFunction(self, "d3d9.dll", "ProxyReset")), proxy);

    const HMODULE real = RealModule();
    ASSERT_NE(real, nullptr) << "the system's d3d9.dll is not loaded";
    EXPECT_NE(real, proxy);
    EXPECT_EQ(GetProcAddress(real, "ProxyReset"), nullptr);
    EXPECT_NE(GetProcAddress(real, "Direct3DCreate9"), nullptr);
}

TEST_F(ProxyModule, ExportsEveryExportOfTheSystemD3d9ByNameAndOrdinal)
{
    const HMODULE proxy = LoadedProxy();
    const HMODULE real = RealModule();
    ASSERT_NE(real, nullptr);
    const std::vector<Export> exports = ExportsOf(real);
    ASSERT_GE(exports.size(), 10u) << "the system's d3d9.dll exports too little to be it";
    for (const Export& e : exports) {
        const FARPROC byName = GetProcAddress(proxy, e.name.c_str());
        EXPECT_NE(byName, nullptr) << e.name << " is not exported";
        EXPECT_EQ(ModuleOf(reinterpret_cast<const void*>(byName)), proxy) << e.name;
        EXPECT_EQ(GetProcAddress(proxy, MAKEINTRESOURCEA(e.ordinal)), byName) << e.name << " @" << e.ordinal;
    }
}

using BeginEventFunction = int(WINAPI*)(D3DCOLOR, const WCHAR*);
using EndEventFunction = int(WINAPI*)();

// The forwarded exports reach the very functions of the system's d3d9: the
// event level goes up and down through either module alike, and the
// arguments of the stdcall functions are taken off the stack once.
TEST_F(ProxyModule, ForwardedExportsReachTheSystemD3d9)
{
    const HMODULE real = RealModule();
    ASSERT_NE(real, nullptr);
    const auto realBegin =
        reinterpret_cast<BeginEventFunction>(reinterpret_cast<void*>(GetProcAddress(real, "D3DPERF_BeginEvent")));
    const auto realEnd =
        reinterpret_cast<EndEventFunction>(reinterpret_cast<void*>(GetProcAddress(real, "D3DPERF_EndEvent")));
    ASSERT_NE(realBegin, nullptr);
    ASSERT_NE(realEnd, nullptr);

    const int level = D3DPERF_BeginEvent(0xff00ff00, L"proxy");
    EXPECT_EQ(realBegin(0xff0000ff, L"real"), level + 1);
    EXPECT_EQ(D3DPERF_EndEvent(), level + 1);
    EXPECT_EQ(realEnd(), level);
    EXPECT_EQ(D3DPERF_GetStatus(), 0u);
    EXPECT_FALSE(D3DPERF_QueryRepeatFrame());
    D3DPERF_SetMarker(0xffffffff, L"marker");
    D3DPERF_SetRegion(0xffffffff, L"region");
    D3DPERF_SetOptions(0);
}

using CreateThroughImportFunction = IDirect3D9* (*)();

// A DLL loaded from the directory above (where the plug-in lives) and the
// plug-in itself bind their d3d9 imports to the proxy too, as does every
// other module of the process.
TEST_F(ProxyModule, ModulesLoadedFromTheParentDirectoryBindToTheProxy)
{
    const std::wstring parent = ExeDirectory() + L"\\..\\";
    const HMODULE importer = LoadLibraryW((parent + L"tobrel_d3d9_importer.dll").c_str());
    ASSERT_NE(importer, nullptr) << "cannot load tobrel_d3d9_importer.dll: " << GetLastError();
    const HMODULE plugin = LoadLibraryW((parent + L"tobrel.auf").c_str());
    ASSERT_NE(plugin, nullptr) << "cannot load tobrel.auf: " << GetLastError();
    D3dxLibrary d3dx;
    std::string error;
    ASSERT_TRUE(LoadD3dx(&d3dx, &error)) << error;

    // The DLL's import is the very function this program's import is: the
    // proxy's export.
    const HMODULE proxy = LoadedProxy();
    const void* proxyCreate = reinterpret_cast<const void*>(GetProcAddress(proxy, "Direct3DCreate9"));
    ASSERT_NE(proxyCreate, nullptr);
    EXPECT_EQ(ImportedFunction(importer, "d3d9.dll", "Direct3DCreate9"), proxyCreate);
    EXPECT_EQ(ImportedFunction(GetModuleHandleW(nullptr), "d3d9.dll", "Direct3DCreate9"), proxyCreate);

    // Every module of the process that imports from d3d9.dll.
    std::vector<HMODULE> importers;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, 0);
    ASSERT_NE(snapshot, INVALID_HANDLE_VALUE);
    MODULEENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Module32FirstW(snapshot, &entry); more; more = Module32NextW(snapshot, &entry)) {
        const std::vector<Import> imports = ImportsFrom(entry.hModule, "d3d9.dll");
        if (imports.empty())
            continue;
        importers.push_back(entry.hModule);
        for (const Import& import : imports) {
            EXPECT_EQ(ModuleOf(import.target), proxy)
                << ModulePath(entry.hModule) << " binds " << import.function << " to " << ModulePath(ModuleOf(import.target));
        }
    }
    CloseHandle(snapshot);
    EXPECT_NE(std::find(importers.begin(), importers.end(), GetModuleHandleW(nullptr)), importers.end());
    EXPECT_NE(std::find(importers.begin(), importers.end(), importer), importers.end());

    // And a call through the DLL's import is the proxy's: it is counted,
    // and a fault of the proxy answers it (null, nothing made). What the
    // same function makes when it succeeds, the tests below check; making a
    // Direct3D object costs seconds here.
    const auto create = reinterpret_cast<CreateThroughImportFunction>(
        reinterpret_cast<void*>(GetProcAddress(importer, "CreateThroughImport")));
    ASSERT_NE(create, nullptr);
    ProxyReset();
    ProxyFault fault{ProxyCall::Direct3DCreate9, E_FAIL};
    fault.count = 1;
    ProxyAddFault(&fault);
    EXPECT_EQ(create(), nullptr);
    EXPECT_EQ(ProxyCallCount(ProxyCall::Direct3DCreate9), 1);
    EXPECT_EQ(ProxyLiveObjects(), 0) << LiveObjectText();

    FreeLibrary(d3dx.module);
    FreeLibrary(plugin);
    FreeLibrary(importer);
}

// ===========================================================================
// The real device underneath

TEST_F(ProxyDevice, HandsOutTheRealObjectsWithTheirVtablesPatched)
{
    const HMODULE proxy = LoadedProxy();
    const HMODULE real = RealModule();
    ComRef<IDirect3DTexture9> texture;
    ASSERT_EQ(CreateTexture(32, 16, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, texture.out()), D3D_OK);

    // No wrapper: each object's vtable is the system d3d9's own; Release
    // (slot 2) is hooked there, AddRef (slot 1) left alone.
    const std::pair<const char*, const void*> objects[] = {
        {"IDirect3D9", d3d_.get()}, {"IDirect3DDevice9", device()}, {"IDirect3DTexture9", texture.get()}};
    for (const auto& object : objects) {
        void* const* vtable = *static_cast<void* const* const*>(object.second);
        EXPECT_EQ(ModuleOf(vtable), real) << object.first;
        EXPECT_EQ(ModuleOf(vtable[1]), real) << object.first << "::AddRef";
        EXPECT_EQ(ModuleOf(vtable[2]), proxy) << object.first << "::Release";
    }
}

TEST_F(ProxyDevice, CreatesAndLocksATextureOnTheRealDevice)
{
    ComRef<IDirect3DTexture9> texture;
    ASSERT_EQ(CreateTexture(32, 16, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, texture.out()), D3D_OK);
    D3DLOCKED_RECT locked = {};
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    ASSERT_NE(locked.pBits, nullptr);
    for (int y = 0; y < 16; ++y) {
        auto* row = reinterpret_cast<DWORD*>(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch);
        for (int x = 0; x < 32; ++x)
            row[x] = 0xff000000u | static_cast<DWORD>(y << 8 | x);
    }
    ASSERT_EQ(texture->UnlockRect(0), D3D_OK);

    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    const auto* last = reinterpret_cast<const DWORD*>(static_cast<const BYTE*>(locked.pBits) + 15 * locked.Pitch);
    EXPECT_EQ(last[31], 0xff000f1fu);
    ASSERT_EQ(texture->UnlockRect(0), D3D_OK);

    // The suite's Direct3D object and device were made before the test's
    // reset: no creating call of theirs is counted here.
    EXPECT_EQ(ProxyCallCount(ProxyCall::Direct3DCreate9), 0);
    EXPECT_EQ(ProxyCallCount(ProxyCall::CreateDevice), 0);
    EXPECT_EQ(ProxyCallCount(ProxyCall::CreateTexture), 1);
    EXPECT_EQ(ProxyCallCount(ProxyCall::TextureLockRect), 2);
    EXPECT_EQ(ProxyCallCount(ProxyCall::TextureUnlockRect), 2);
}

struct Vertex {
    float x, y, z, rhw;
};

const D3DVERTEXELEMENT9 kPositionT[] = {
    {0, 0, D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITIONT, 0},
    D3DDECL_END(),
};

// The draw-related calls in the order made, with their arguments. The count
// test below draws with the same pipeline, so that the shared device builds
// it once: building one costs seconds under the emulated renderer.
TEST_F(ProxyDevice, LogsASmallDrawInOrder)
{
    ComRef<IDirect3DTexture9> target, upload, sampled, readback;
    ASSERT_EQ(CreateTexture(16, 16, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, target.out()), D3D_OK);
    ASSERT_EQ(CreateTexture(16, 16, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, upload.out()), D3D_OK);
    ASSERT_EQ(CreateTexture(16, 16, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, sampled.out()), D3D_OK);
    ASSERT_EQ(CreateTexture(16, 16, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, readback.out()), D3D_OK);
    ComRef<IDirect3DSurface9> targetLevel, readbackLevel;
    ASSERT_EQ(target->GetSurfaceLevel(0, targetLevel.out()), D3D_OK);
    ASSERT_EQ(readback->GetSurfaceLevel(0, readbackLevel.out()), D3D_OK);
    ComRef<IDirect3DVertexBuffer9> vertices;
    ASSERT_EQ(device()->CreateVertexBuffer(4 * sizeof(Vertex), D3DUSAGE_WRITEONLY, 0, D3DPOOL_DEFAULT,
                                           vertices.out(), nullptr),
              D3D_OK);
    void* data = nullptr;
    ASSERT_EQ(vertices->Lock(0, 0, &data, 0), D3D_OK);
    const Vertex quad[4] = {{-0.5f, -0.5f, 0, 1}, {15.5f, -0.5f, 0, 1}, {-0.5f, 15.5f, 0, 1}, {15.5f, 15.5f, 0, 1}};
    std::memcpy(data, quad, sizeof quad);
    ASSERT_EQ(vertices->Unlock(), D3D_OK);
    ComRef<IDirect3DVertexDeclaration9> declaration;
    ASSERT_EQ(device()->CreateVertexDeclaration(kPositionT, declaration.out()), D3D_OK);

    // Off: nothing is logged.
    ASSERT_EQ(device()->BeginScene(), D3D_OK);
    ASSERT_EQ(device()->EndScene(), D3D_OK);
    EXPECT_EQ(ReadLog(), "");

    // Fixed function: the vertices' colour, which they do not have, so the
    // default diffuse white.
    ASSERT_EQ(device()->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1), D3D_OK);
    ASSERT_EQ(device()->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE), D3D_OK);

    ProxySetLogging(true);
    ASSERT_EQ(device()->UpdateTexture(upload.get(), sampled.get()), D3D_OK);
    ASSERT_EQ(device()->SetRenderTarget(0, targetLevel.get()), D3D_OK);
    ASSERT_EQ(device()->Clear(0, nullptr, D3DCLEAR_TARGET, 0xff000000, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device()->BeginScene(), D3D_OK);
    ASSERT_EQ(device()->SetVertexDeclaration(declaration.get()), D3D_OK);
    ASSERT_EQ(device()->SetStreamSource(0, vertices.get(), 0, sizeof(Vertex)), D3D_OK);
    ASSERT_EQ(device()->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
    ASSERT_EQ(device()->EndScene(), D3D_OK);
    ASSERT_EQ(device()->GetRenderTargetData(targetLevel.get(), readbackLevel.get()), D3D_OK);

    const std::string expected = "UpdateTexture " + Pointer(upload.get()) + " " + Pointer(sampled.get()) + "\n" +
                                 "SetRenderTarget 0 " + Pointer(targetLevel.get()) + "\n" + "BeginScene\n" +
                                 "SetVertexDeclaration " + Pointer(declaration.get()) + "\n" + "SetStreamSource 0 " +
                                 Pointer(vertices.get()) + " 0 16\n" +
                                 "DrawPrimitive " + std::to_string(D3DPT_TRIANGLESTRIP) + " 0 2\n" + "EndScene\n" +
                                 "GetRenderTargetData " + Pointer(targetLevel.get()) + " " +
                                 Pointer(readbackLevel.get()) + "\n";
    EXPECT_EQ(ReadLog(), expected);
    EXPECT_EQ(ReadLog(), "") << "reading clears the log";

    // The draw reached the device: the quad covers the target in the
    // default diffuse colour, white, over the black clear.
    D3DLOCKED_RECT locked;
    ASSERT_EQ(readback->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    const DWORD corner = static_cast<const DWORD*>(locked.pBits)[0];
    const DWORD centre = reinterpret_cast<const DWORD*>(static_cast<const BYTE*>(locked.pBits) + 8 * locked.Pitch)[8];
    ASSERT_EQ(readback->UnlockRect(0), D3D_OK);
    EXPECT_EQ(corner & 0xffffff, 0xffffffu);
    EXPECT_EQ(centre & 0xffffff, 0xffffffu);

    // A short buffer gets the start; the whole length comes back; the log
    // is cleared all the same.
    ASSERT_EQ(device()->BeginScene(), D3D_OK);
    ASSERT_EQ(device()->EndScene(), D3D_OK);
    char shortBuffer[6];
    EXPECT_EQ(ProxyReadLog(shortBuffer, sizeof shortBuffer), static_cast<int>(sizeof "BeginScene\nEndScene\n" - 1));
    EXPECT_STREQ(shortBuffer, "Begin");
    EXPECT_EQ(ReadLog(), "");
}

// Each hooked method called a known number of times, every count checked:
// Direct3DCreate9 and CreateDevice by the suite's set-up, which took the
// counts right after making its objects, the others by this test.
TEST_F(ProxyDevice, CountsEveryHookedCall)
{
    D3DCAPS9 caps;
    D3DDISPLAYMODE mode;
    ASSERT_GE(d3d_->GetAdapterCount(), 1u);
    ASSERT_EQ(d3d_->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8),
              D3D_OK);
    ASSERT_EQ(d3d_->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3D_OK);
    ASSERT_EQ(device()->GetDeviceCaps(&caps), D3D_OK);
    ASSERT_EQ(d3d_->GetAdapterDisplayMode(0, &mode), D3D_OK);
    ASSERT_EQ(device()->GetDisplayMode(0, &mode), D3D_OK);
    ASSERT_EQ(device()->TestCooperativeLevel(), D3D_OK);

    {
        ComRef<IDirect3DTexture9> target, upload, readback;
        ASSERT_EQ(CreateTexture(16, 16, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, target.out()), D3D_OK);
        ASSERT_EQ(CreateTexture(16, 16, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, upload.out()), D3D_OK);
        ASSERT_EQ(CreateTexture(16, 16, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, readback.out()), D3D_OK);
        D3DLOCKED_RECT locked;
        ASSERT_EQ(upload->LockRect(0, &locked, nullptr, 0), D3D_OK);
        ASSERT_EQ(upload->UnlockRect(0), D3D_OK);
        ComRef<IDirect3DSurface9> targetLevel, readbackLevel, standalone;
        ASSERT_EQ(target->GetSurfaceLevel(0, targetLevel.out()), D3D_OK);
        ASSERT_EQ(readback->GetSurfaceLevel(0, readbackLevel.out()), D3D_OK);
        ASSERT_EQ(device()->CreateRenderTarget(16, 16, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE,
                                               standalone.out(), nullptr),
                  D3D_OK);

        ComRef<IDirect3DVertexBuffer9> vertices;
        ASSERT_EQ(device()->CreateVertexBuffer(4 * sizeof(Vertex), D3DUSAGE_WRITEONLY, 0, D3DPOOL_DEFAULT,
                                               vertices.out(), nullptr),
                  D3D_OK);
        void* data = nullptr;
        ASSERT_EQ(vertices->Lock(0, 0, &data, 0), D3D_OK);
        const Vertex quad[4] = {{0, 0, 0, 1}, {16, 0, 0, 1}, {0, 16, 0, 1}, {16, 16, 0, 1}};
        std::memcpy(data, quad, sizeof quad);
        ASSERT_EQ(vertices->Unlock(), D3D_OK);
        ComRef<IDirect3DVertexDeclaration9> declaration;
        ASSERT_EQ(device()->CreateVertexDeclaration(kPositionT, declaration.out()), D3D_OK);

        // The log test's pipeline, which the device has built already.
        ASSERT_EQ(device()->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1), D3D_OK);
        ASSERT_EQ(device()->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE), D3D_OK);
        ASSERT_EQ(device()->UpdateTexture(upload.get(), target.get()), D3D_OK);
        ASSERT_EQ(device()->SetRenderTarget(0, targetLevel.get()), D3D_OK);
        ASSERT_EQ(device()->BeginScene(), D3D_OK);
        ASSERT_EQ(device()->SetVertexDeclaration(declaration.get()), D3D_OK);
        ASSERT_EQ(device()->SetStreamSource(0, vertices.get(), 0, sizeof(Vertex)), D3D_OK);
        ASSERT_EQ(device()->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
        ASSERT_EQ(device()->EndScene(), D3D_OK);
        ASSERT_EQ(device()->GetRenderTargetData(targetLevel.get(), readbackLevel.get()), D3D_OK);
    }
    // Nothing of the default pool is left, so the device can be reset.
    D3DPRESENT_PARAMETERS present = WindowedParameters();
    ASSERT_EQ(device()->Reset(&present), D3D_OK);

    const struct {
        ProxyCall call;
        long atCreation;  // counted while the suite made its Direct3D object and device
        long inTest;
    } kExpected[] = {
        {ProxyCall::Direct3DCreate9, 1, 0},
        {ProxyCall::GetAdapterCount, 0, 1},
        {ProxyCall::CheckDeviceFormat, 0, 1},
        {ProxyCall::CreateDevice, 1, 0},
        {ProxyCall::GetDeviceCaps, 0, 2},
        {ProxyCall::GetDisplayMode, 0, 2},
        {ProxyCall::TestCooperativeLevel, 0, 1},
        {ProxyCall::Reset, 0, 1},
        {ProxyCall::CreateTexture, 0, 3},
        {ProxyCall::CreateVertexBuffer, 0, 1},
        {ProxyCall::CreateRenderTarget, 0, 1},
        {ProxyCall::CreateVertexDeclaration, 0, 1},
        {ProxyCall::UpdateTexture, 0, 1},
        {ProxyCall::GetRenderTargetData, 0, 1},
        {ProxyCall::SetRenderTarget, 0, 1},
        {ProxyCall::BeginScene, 0, 1},
        {ProxyCall::EndScene, 0, 1},
        {ProxyCall::SetVertexDeclaration, 0, 1},
        {ProxyCall::SetStreamSource, 0, 1},
        {ProxyCall::DrawPrimitive, 0, 1},
        {ProxyCall::TextureLockRect, 0, 1},
        {ProxyCall::TextureUnlockRect, 0, 1},
        {ProxyCall::TextureGetSurfaceLevel, 0, 2},
        {ProxyCall::VertexBufferLock, 0, 1},
        {ProxyCall::VertexBufferUnlock, 0, 1},
    };
    static_assert(sizeof kExpected / sizeof kExpected[0] == static_cast<size_t>(ProxyCall::Count),
                  "every call has a row");
    for (const auto& row : kExpected) {
        const int call = static_cast<int>(row.call);
        EXPECT_EQ(creationCounts_[call], row.atCreation) << "call " << call << " while making the suite's objects";
        EXPECT_EQ(ProxyCallCount(row.call), row.inTest) << "call " << call;
    }
    EXPECT_EQ(ProxyCallCount(ProxyCall::Count), -1) << "not a call";
}

// ===========================================================================
// Faults

// What a step of a fault case does; each is one call of the ProxyCall
// returned by CallOf.
enum class Op {
    CreatePlainTexture,         // 16x16 A8R8G8B8, no usage, default pool
    CreateRenderTargetTexture,  // the same with D3DUSAGE_RENDERTARGET
    CreateSystemMemoryTexture,  // the same in the system-memory pool
    CreateX8Texture,            // X8R8G8B8, otherwise plain
    LockTextureA,
    LockTextureB,
    GetLevelOfTextureA,
    CreateVertexBuffer,
    LockVertexBuffer,
    CreateRenderTargetA8,
    CreateRenderTargetX8,
    CreateVertexDeclaration,
    CheckX8RenderTarget,  // CheckDeviceFormat of an X8R8G8B8 render-target texture
    CheckA8RenderTarget,
    CheckX8Texture,
    BeginScene,
    Reset,
};

ProxyCall CallOf(Op op)
{
    switch (op) {
    case Op::CreatePlainTexture:
    case Op::CreateRenderTargetTexture:
    case Op::CreateSystemMemoryTexture:
    case Op::CreateX8Texture:
        return ProxyCall::CreateTexture;
    case Op::LockTextureA:
    case Op::LockTextureB:
        return ProxyCall::TextureLockRect;
    case Op::GetLevelOfTextureA:
        return ProxyCall::TextureGetSurfaceLevel;
    case Op::CreateVertexBuffer:
        return ProxyCall::CreateVertexBuffer;
    case Op::LockVertexBuffer:
        return ProxyCall::VertexBufferLock;
    case Op::CreateRenderTargetA8:
    case Op::CreateRenderTargetX8:
        return ProxyCall::CreateRenderTarget;
    case Op::CreateVertexDeclaration:
        return ProxyCall::CreateVertexDeclaration;
    case Op::CheckX8RenderTarget:
    case Op::CheckA8RenderTarget:
    case Op::CheckX8Texture:
        return ProxyCall::CheckDeviceFormat;
    case Op::BeginScene:
        return ProxyCall::BeginScene;
    case Op::Reset:
        return ProxyCall::Reset;
    }
    return ProxyCall::Count;
}

enum class Target { Any, TextureA };

struct FaultSetup {
    ProxyFault fault;  // its object is set from `target`
    Target target;
};

struct Step {
    Op op;
    HRESULT expected;  // D3D_OK: the real method ran and succeeded
};

struct FaultCase {
    const char* name;
    std::vector<FaultSetup> faults;
    std::vector<Step> steps;
};

constexpr HRESULT kOk = D3D_OK;

ProxyFault Fault(ProxyCall call, HRESULT result, int skip = 0, int count = -1)
{
    ProxyFault fault{call, result};
    fault.skip = skip;
    fault.count = count;
    return fault;
}

ProxyFault WithUsage(ProxyFault fault, DWORD usage)
{
    fault.matchUsage = true;
    fault.usage = usage;
    return fault;
}

ProxyFault WithPool(ProxyFault fault, D3DPOOL pool)
{
    fault.matchPool = true;
    fault.pool = pool;
    return fault;
}

ProxyFault WithFormat(ProxyFault fault, D3DFORMAT format)
{
    fault.format = format;
    return fault;
}

const HRESULT kNoMemory = E_OUTOFMEMORY;
const HRESULT kNoVideoMemory = D3DERR_OUTOFVIDEOMEMORY;
const HRESULT kInvalid = D3DERR_INVALIDCALL;
const HRESULT kNotAvailable = D3DERR_NOTAVAILABLE;
const HRESULT kLost = D3DERR_DEVICELOST;

const FaultCase kFaultCases[] = {
    {"SkipsThenFailsCountCalls",
     {{Fault(ProxyCall::CreateTexture, kNoMemory, 1, 2), Target::Any}},
     {{Op::CreatePlainTexture, kOk},
      {Op::CreatePlainTexture, kNoMemory},
      {Op::CreatePlainTexture, kNoMemory},
      {Op::CreatePlainTexture, kOk},
      {Op::CreatePlainTexture, kOk}}},
    {"FailsEveryCallAfterTheSkippedOnes",
     {{Fault(ProxyCall::CreateTexture, kNoVideoMemory, 2), Target::Any}},
     {{Op::CreatePlainTexture, kOk},
      {Op::CreatePlainTexture, kOk},
      {Op::CreatePlainTexture, kNoVideoMemory},
      {Op::CreateSystemMemoryTexture, kNoVideoMemory},
      {Op::CreatePlainTexture, kNoVideoMemory}}},
    {"MatchesTheUsageOfCreateTexture",
     {{WithUsage(Fault(ProxyCall::CreateTexture, kNoVideoMemory), D3DUSAGE_RENDERTARGET), Target::Any}},
     {{Op::CreatePlainTexture, kOk},
      {Op::CreateRenderTargetTexture, kNoVideoMemory},
      {Op::CreateSystemMemoryTexture, kOk},
      {Op::CreateRenderTargetTexture, kNoVideoMemory}}},
    {"MatchesThePoolOfCreateTexture",
     {{WithPool(Fault(ProxyCall::CreateTexture, kNoMemory), D3DPOOL_SYSTEMMEM), Target::Any}},
     {{Op::CreatePlainTexture, kOk},
      {Op::CreateSystemMemoryTexture, kNoMemory},
      {Op::CreateRenderTargetTexture, kOk},
      {Op::CreateSystemMemoryTexture, kNoMemory}}},
    {"MatchesUsageAndPoolTogether",
     {{WithPool(WithUsage(Fault(ProxyCall::CreateTexture, kNoMemory), 0), D3DPOOL_DEFAULT), Target::Any}},
     {{Op::CreateRenderTargetTexture, kOk},
      {Op::CreateSystemMemoryTexture, kOk},
      {Op::CreatePlainTexture, kNoMemory}}},
    {"MatchesTheFormatOfCreateTexture",
     {{WithFormat(Fault(ProxyCall::CreateTexture, kInvalid), D3DFMT_X8R8G8B8), Target::Any}},
     {{Op::CreatePlainTexture, kOk}, {Op::CreateX8Texture, kInvalid}, {Op::CreateRenderTargetTexture, kOk}}},
    {"CountsOnlyMatchingCallsTowardsSkip",
     {{WithUsage(Fault(ProxyCall::CreateTexture, kNoMemory, 1, 1), D3DUSAGE_RENDERTARGET), Target::Any}},
     {{Op::CreatePlainTexture, kOk},
      {Op::CreateRenderTargetTexture, kOk},
      {Op::CreatePlainTexture, kOk},
      {Op::CreateRenderTargetTexture, kNoMemory},
      {Op::CreateRenderTargetTexture, kOk}}},
    {"FailsOnlyCallsOnTheChosenObject",
     {{Fault(ProxyCall::TextureLockRect, kInvalid), Target::TextureA}},
     {{Op::LockTextureB, kOk}, {Op::LockTextureA, kInvalid}, {Op::LockTextureB, kOk}, {Op::LockTextureA, kInvalid}}},
    {"TheFirstFaultAddedGivesTheResult",
     {{Fault(ProxyCall::CreateTexture, kNoMemory, 1, 1), Target::Any},
      {Fault(ProxyCall::CreateTexture, kInvalid, 0, 2), Target::Any}},
     {{Op::CreatePlainTexture, kInvalid}, {Op::CreatePlainTexture, kNoMemory}, {Op::CreatePlainTexture, kOk}}},
    {"FailsGetSurfaceLevel",
     {{Fault(ProxyCall::TextureGetSurfaceLevel, kInvalid, 0, 1), Target::TextureA}},
     {{Op::GetLevelOfTextureA, kInvalid}, {Op::GetLevelOfTextureA, kOk}}},
    {"FailsCreateVertexBuffer",
     {{Fault(ProxyCall::CreateVertexBuffer, kNoVideoMemory, 0, 1), Target::Any}},
     {{Op::CreateVertexBuffer, kNoVideoMemory}, {Op::CreateVertexBuffer, kOk}}},
    {"FailsVertexBufferLock",
     {{Fault(ProxyCall::VertexBufferLock, kInvalid, 1, 1), Target::Any}},
     {{Op::LockVertexBuffer, kOk}, {Op::LockVertexBuffer, kInvalid}, {Op::LockVertexBuffer, kOk}}},
    {"MatchesTheFormatOfCreateRenderTarget",
     {{WithFormat(Fault(ProxyCall::CreateRenderTarget, kNoVideoMemory), D3DFMT_A8R8G8B8), Target::Any}},
     {{Op::CreateRenderTargetX8, kOk}, {Op::CreateRenderTargetA8, kNoVideoMemory}}},
    {"FailsCreateVertexDeclaration",
     {{Fault(ProxyCall::CreateVertexDeclaration, kNoMemory, 0, 1), Target::Any}},
     {{Op::CreateVertexDeclaration, kNoMemory}, {Op::CreateVertexDeclaration, kOk}}},
    {"MatchesUsageAndFormatOfCheckDeviceFormat",
     {{WithFormat(WithUsage(Fault(ProxyCall::CheckDeviceFormat, kNotAvailable), D3DUSAGE_RENDERTARGET),
                  D3DFMT_X8R8G8B8),
       Target::Any}},
     {{Op::CheckA8RenderTarget, kOk}, {Op::CheckX8Texture, kOk}, {Op::CheckX8RenderTarget, kNotAvailable}}},
    {"FailsBeginScene",
     {{Fault(ProxyCall::BeginScene, kInvalid, 0, 1), Target::Any}},
     {{Op::BeginScene, kInvalid}, {Op::BeginScene, kOk}}},
    {"FailsReset",
     {{Fault(ProxyCall::Reset, kLost, 0, 1), Target::Any}},
     {{Op::Reset, kLost}, {Op::Reset, kOk}}},
};

// A sentinel in every out pointer shows whether a failed call cleared it.
IUnknown* const kUntouched = reinterpret_cast<IUnknown*>(static_cast<uintptr_t>(0x5a5a5a5a));

// The steps of a fault case on a device, with two textures and a vertex
// buffer of the system-memory pool of their own.
class FaultRun {
public:
    FaultRun(IDirect3D9* d3d, IDirect3DDevice9* device) : d3d_(d3d), device_(device) {}

    void MakeObjects()
    {
        ASSERT_EQ(Texture(0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, textureA_.out()), D3D_OK);
        ASSERT_EQ(Texture(0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, textureB_.out()), D3D_OK);
        ASSERT_EQ(device_->CreateVertexBuffer(64, 0, 0, D3DPOOL_SYSTEMMEM, vertices_.out(), nullptr), D3D_OK);
    }

    IDirect3DTexture9* textureA() const { return textureA_.get(); }

    struct Outcome {
        HRESULT hr;
        bool handsOut;    // the call hands out an object or a pointer
        const void* out;  // what it left there
    };

    Outcome Run(Op op)
    {
        switch (op) {
        case Op::CreatePlainTexture:
            return CreatedTexture(0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT);
        case Op::CreateRenderTargetTexture:
            return CreatedTexture(D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT);
        case Op::CreateSystemMemoryTexture:
            return CreatedTexture(0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM);
        case Op::CreateX8Texture:
            return CreatedTexture(0, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT);
        case Op::LockTextureA:
        case Op::LockTextureB: {
            IDirect3DTexture9* target = op == Op::LockTextureA ? textureA_.get() : textureB_.get();
            D3DLOCKED_RECT locked;
            locked.pBits = kUntouched;
            locked.Pitch = -1;
            const HRESULT hr = target->LockRect(0, &locked, nullptr, 0);
            if (SUCCEEDED(hr))
                target->UnlockRect(0);
            return Outcome{hr, true, locked.pBits};
        }
        case Op::GetLevelOfTextureA:
            return Created<IDirect3DSurface9>(
                [&](IDirect3DSurface9** out) { return textureA_->GetSurfaceLevel(0, out); });
        case Op::CreateVertexBuffer:
            return Created<IDirect3DVertexBuffer9>([&](IDirect3DVertexBuffer9** out) {
                return device_->CreateVertexBuffer(64, 0, 0, D3DPOOL_SYSTEMMEM, out, nullptr);
            });
        case Op::LockVertexBuffer: {
            void* data = kUntouched;
            const HRESULT hr = vertices_->Lock(0, 0, &data, 0);
            if (SUCCEEDED(hr))
                vertices_->Unlock();
            return Outcome{hr, true, data};
        }
        case Op::CreateRenderTargetA8:
        case Op::CreateRenderTargetX8:
            return Created<IDirect3DSurface9>([&](IDirect3DSurface9** out) {
                const D3DFORMAT format = op == Op::CreateRenderTargetA8 ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
                return device_->CreateRenderTarget(16, 16, format, D3DMULTISAMPLE_NONE, 0, FALSE, out, nullptr);
            });
        case Op::CreateVertexDeclaration:
            return Created<IDirect3DVertexDeclaration9>(
                [&](IDirect3DVertexDeclaration9** out) { return device_->CreateVertexDeclaration(kPositionT, out); });
        case Op::CheckX8RenderTarget:
        case Op::CheckA8RenderTarget:
        case Op::CheckX8Texture: {
            const DWORD usage = op == Op::CheckX8Texture ? 0 : D3DUSAGE_RENDERTARGET;
            const D3DFORMAT format = op == Op::CheckA8RenderTarget ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
            return Outcome{
                d3d_->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, usage, D3DRTYPE_TEXTURE, format), false,
                nullptr};
        }
        case Op::BeginScene: {
            const HRESULT hr = device_->BeginScene();
            if (SUCCEEDED(hr))
                device_->EndScene();
            return Outcome{hr, false, nullptr};
        }
        case Op::Reset: {
            D3DPRESENT_PARAMETERS present = WindowedParameters();
            return Outcome{device_->Reset(&present), false, nullptr};
        }
        }
        ADD_FAILURE() << "unknown step";
        return Outcome{E_FAIL, false, nullptr};
    }

private:
    HRESULT Texture(DWORD usage, D3DFORMAT format, D3DPOOL pool, IDirect3DTexture9** out)
    {
        return device_->CreateTexture(16, 16, 1, usage, format, pool, out, nullptr);
    }

    // Runs a call that hands out an object through `make`, with the
    // sentinel in its out pointer, and releases what it made.
    template <typename T, typename Make>
    Outcome Created(Make make)
    {
        T* object = reinterpret_cast<T*>(kUntouched);
        const HRESULT hr = make(&object);
        const Outcome outcome{hr, true, object};
        if (SUCCEEDED(hr) && object && object != reinterpret_cast<T*>(kUntouched))
            object->Release();
        return outcome;
    }

    Outcome CreatedTexture(DWORD usage, D3DFORMAT format, D3DPOOL pool)
    {
        return Created<IDirect3DTexture9>(
            [&](IDirect3DTexture9** out) { return Texture(usage, format, pool, out); });
    }

    IDirect3D9* d3d_;
    IDirect3DDevice9* device_;
    ComRef<IDirect3DTexture9> textureA_, textureB_;
    ComRef<IDirect3DVertexBuffer9> vertices_;
};

// One fault case from a reset proxy: each step fails or succeeds as the
// case says, a failed call makes nothing and clears what it hands out, and
// every call is counted, failed or not.
void CheckFaultCase(IDirect3D9* d3d, IDirect3DDevice9* device, const FaultCase& c)
{
    FaultRun run(d3d, device);
    ASSERT_NO_FATAL_FAILURE(run.MakeObjects());
    ProxyReset();
    for (const FaultSetup& setup : c.faults) {
        ProxyFault fault = setup.fault;
        fault.object = setup.target == Target::TextureA ? run.textureA() : nullptr;
        ProxyAddFault(&fault);
    }
    const int liveBefore = ProxyLiveObjects();
    for (size_t i = 0; i < c.steps.size(); ++i) {
        const Step& step = c.steps[i];
        const FaultRun::Outcome outcome = run.Run(step.op);
        EXPECT_EQ(HresultText(outcome.hr), HresultText(step.expected)) << "step " << i;
        if (outcome.handsOut && step.expected != kOk) {
            EXPECT_EQ(outcome.out, nullptr) << "step " << i << ": a failed call leaves its out pointer null";
        }
        if (outcome.handsOut && step.expected == kOk) {
            EXPECT_NE(outcome.out, nullptr) << "step " << i;
            EXPECT_NE(outcome.out, kUntouched) << "step " << i;
        }
        EXPECT_EQ(ProxyLiveObjects(), liveBefore) << "step " << i << ": a failed call made an object\n"
                                                  << LiveObjectText();
    }
    // Failed calls count like the others.
    for (const FaultSetup& setup : c.faults) {
        long calls = 0;
        for (const Step& step : c.steps)
            calls += CallOf(step.op) == setup.fault.call ? 1 : 0;
        EXPECT_EQ(ProxyCallCount(setup.fault.call), calls) << "call " << static_cast<int>(setup.fault.call);
    }
}

// Every case on the suite's device, one after the other; a failure names
// its case.
TEST_F(ProxyDevice, FaultsFailExactlyTheChosenCalls)
{
    for (const FaultCase& c : kFaultCases) {
        SCOPED_TRACE(c.name);
        CheckFaultCase(d3d_.get(), device(), c);
        ProxyReset();
        EXPECT_EQ(ProxyLiveObjects(), liveAtStart_) << "left alive:\n" << LiveObjectText();
    }
}

TEST_F(ProxyDevice, CreateDeviceFaultLeavesTheDeviceNull)
{
    ProxyFault fault = Fault(ProxyCall::CreateDevice, D3DERR_NOTAVAILABLE, 0, 1);
    fault.object = d3d_.get();
    ProxyAddFault(&fault);
    const int live = ProxyLiveObjects();
    D3DPRESENT_PARAMETERS present = WindowedParameters();
    IDirect3DDevice9* second = reinterpret_cast<IDirect3DDevice9*>(kUntouched);
    EXPECT_EQ(d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window_, kBehaviourFlags, &present, &second),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(ProxyLiveObjects(), live);
    // The request is recorded even so.
    ProxyDeviceRequest request;
    ASSERT_TRUE(ProxyLastCreateDevice(&request));
    EXPECT_EQ(request.flags, kBehaviourFlags);
}

// ===========================================================================
// Faked caps, format probes and adapters

struct CapsCase {
    const char* name;
    ProxyCaps caps;
};

ProxyCaps Caps(DWORD set, DWORD clear, DWORD pixelShader, DWORD maxWidth, DWORD maxHeight)
{
    ProxyCaps caps;
    caps.textureCapsSet = set;
    caps.textureCapsClear = clear;
    caps.pixelShaderVersion = pixelShader;
    caps.maxTextureWidth = maxWidth;
    caps.maxTextureHeight = maxHeight;
    return caps;
}

const CapsCase kCapsCases[] = {
    {"PowerOfTwoWithConditionalExceptions",
     Caps(D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_NONPOW2CONDITIONAL, 0, 0, 0, 0)},
    {"ClearingWinsOverSetting", Caps(D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_SQUAREONLY, D3DPTEXTURECAPS_POW2, 0, 0, 0)},
    {"PixelShader20", Caps(0, 0, D3DPS_VERSION(2, 0), 0, 0)},
    {"SmallTextures", Caps(0, 0, 0, 1024, 512)},
    {"Everything", Caps(D3DPTEXTURECAPS_POW2, D3DPTEXTURECAPS_MIPMAP, D3DPS_VERSION(1, 4), 2048, 2048)},
};

// Faked caps on top of the real ones, as Direct3D and the device report
// them, and the real caps again once the fake is gone.
void CheckFakedCaps(IDirect3D9* d3d, IDirect3DDevice9* device, const ProxyCaps& fake)
{
    D3DCAPS9 real;
    ASSERT_EQ(d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &real), D3D_OK);

    D3DCAPS9 expected = real;
    expected.TextureCaps = (real.TextureCaps | fake.textureCapsSet) & ~fake.textureCapsClear;
    if (fake.pixelShaderVersion)
        expected.PixelShaderVersion = fake.pixelShaderVersion;
    if (fake.maxTextureWidth)
        expected.MaxTextureWidth = fake.maxTextureWidth;
    if (fake.maxTextureHeight)
        expected.MaxTextureHeight = fake.maxTextureHeight;
    ASSERT_NE(std::memcmp(&expected, &real, sizeof real), 0) << "the case fakes nothing the real caps do not have";

    ProxySetCaps(&fake);
    D3DCAPS9 fromDirect3D, fromDevice;
    ASSERT_EQ(d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &fromDirect3D), D3D_OK);
    ASSERT_EQ(device->GetDeviceCaps(&fromDevice), D3D_OK);
    for (const D3DCAPS9* got : {&fromDirect3D, &fromDevice}) {
        const char* source = got == &fromDirect3D ? "IDirect3D9" : "device";
        EXPECT_EQ(got->TextureCaps, expected.TextureCaps) << source;
        EXPECT_EQ(got->PixelShaderVersion, expected.PixelShaderVersion) << source;
        EXPECT_EQ(got->MaxTextureWidth, expected.MaxTextureWidth) << source;
        EXPECT_EQ(got->MaxTextureHeight, expected.MaxTextureHeight) << source;
        EXPECT_EQ(std::memcmp(got, &expected, sizeof expected), 0) << source << ": other fields changed";
    }

    ProxySetCaps(nullptr);
    ASSERT_EQ(device->GetDeviceCaps(&fromDevice), D3D_OK);
    EXPECT_EQ(std::memcmp(&fromDevice, &real, sizeof real), 0) << "not the real caps again";
}

TEST_F(ProxyDevice, FakedCapsAreSeenThroughDirect3DAndTheDevice)
{
    for (const CapsCase& c : kCapsCases) {
        SCOPED_TRACE(c.name);
        CheckFakedCaps(d3d_.get(), device(), c.caps);
        ProxyReset();
    }
}

TEST_F(ProxyDevice, FakedFormatResultsAnswerTheirTripleOnly)
{
    const auto check = [this](UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, DWORD usage,
                              D3DRESOURCETYPE resource, D3DFORMAT format) {
        return d3d_->CheckDeviceFormat(adapter, type, adapterFormat, usage, resource, format);
    };
    const DWORD rt = D3DUSAGE_RENDERTARGET;
    // Real answers first.
    ASSERT_EQ(check(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, rt, D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8), D3D_OK);
    const HRESULT plain = check(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8);
    const HRESULT surface = check(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, rt, D3DRTYPE_SURFACE, D3DFMT_A8R8G8B8);
    const HRESULT x8 = check(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, rt, D3DRTYPE_TEXTURE, D3DFMT_X8R8G8B8);
    const HRESULT multi = check(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, rt, D3DRTYPE_TEXTURE, D3DFMT_MULTI2_ARGB8);
    ASSERT_TRUE(FAILED(multi)) << "the real device takes MULTI2_ARGB8 render targets";

    ProxySetFormatResult(rt, D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8, D3DERR_NOTAVAILABLE);
    ProxySetFormatResult(rt, D3DRTYPE_TEXTURE, D3DFMT_MULTI2_ARGB8, D3D_OK);

    // Any adapter, device type and adapter format.
    const struct {
        UINT adapter;
        D3DDEVTYPE type;
        D3DFORMAT adapterFormat;
    } kWhere[] = {
        {0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8},
        {0, D3DDEVTYPE_HAL, D3DFMT_R5G6B5},
        {0, D3DDEVTYPE_REF, D3DFMT_X8R8G8B8},
        {7, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8},
    };
    for (const auto& w : kWhere) {
        EXPECT_EQ(check(w.adapter, w.type, w.adapterFormat, rt, D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8),
                  D3DERR_NOTAVAILABLE)
            << "adapter " << w.adapter << ", type " << w.type << ", adapter format " << w.adapterFormat;
        EXPECT_EQ(check(w.adapter, w.type, w.adapterFormat, rt, D3DRTYPE_TEXTURE, D3DFMT_MULTI2_ARGB8), D3D_OK);
    }
    // Neighbouring triples keep their real answers.
    EXPECT_EQ(check(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8), plain);
    EXPECT_EQ(check(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, rt, D3DRTYPE_SURFACE, D3DFMT_A8R8G8B8), surface);
    EXPECT_EQ(check(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, rt, D3DRTYPE_TEXTURE, D3DFMT_X8R8G8B8), x8);

    // Setting a triple again replaces its answer; ProxyReset forgets it.
    ProxySetFormatResult(rt, D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8, E_FAIL);
    EXPECT_EQ(check(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, rt, D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8), E_FAIL);
    ProxyReset();
    EXPECT_EQ(check(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, rt, D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8), D3D_OK);
    EXPECT_EQ(check(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, rt, D3DRTYPE_TEXTURE, D3DFMT_MULTI2_ARGB8), multi);
}

TEST_F(ProxyDevice, FakedAdapterWithMappingRecordsTheRequestAndMakesAWorkingDevice)
{
    const UINT realCount = d3d_->GetAdapterCount();
    ASSERT_GE(realCount, 1u);
    ProxySetAdapterCount(realCount + 1);
    EXPECT_EQ(d3d_->GetAdapterCount(), realCount + 1);
    const UINT extra = realCount;  // the faked adapter

    // Without mapping the real d3d9 refuses the adapter it does not have;
    // the request is recorded all the same.
    D3DPRESENT_PARAMETERS present = WindowedParameters();
    ComRef<IDirect3DDevice9> second;
    EXPECT_TRUE(FAILED(d3d_->CreateDevice(extra, D3DDEVTYPE_HAL, window_, kBehaviourFlags, &present, second.out())));
    EXPECT_FALSE(second);
    ProxyDeviceRequest request;
    ASSERT_TRUE(ProxyLastCreateDevice(&request));
    EXPECT_EQ(request.adapter, extra);

    ProxySetDeviceMapping(true);
    present = WindowedParameters();
    present.BackBufferWidth = 64;
    present.BackBufferHeight = 48;
    const HRESULT hr = d3d_->CreateDevice(extra, D3DDEVTYPE_REF, window_, kBehaviourFlags, &present, second.out());
    ASSERT_EQ(hr, D3D_OK) << HresultText(hr);
    ASSERT_TRUE(ProxyLastCreateDevice(&request));
    EXPECT_EQ(request.adapter, extra);
    EXPECT_EQ(request.type, D3DDEVTYPE_REF);
    EXPECT_EQ(request.focus, window_);
    EXPECT_EQ(request.flags, kBehaviourFlags);
    EXPECT_EQ(request.params.BackBufferWidth, 64u);
    EXPECT_EQ(request.params.BackBufferHeight, 48u);
    EXPECT_EQ(request.params.Windowed, TRUE);

    // Underneath it is the real adapter 0 as a HAL device, and it works.
    D3DDEVICE_CREATION_PARAMETERS created = {};
    ASSERT_EQ(second->GetCreationParameters(&created), D3D_OK);
    EXPECT_EQ(created.AdapterOrdinal, 0u);
    EXPECT_EQ(created.DeviceType, D3DDEVTYPE_HAL);
    ComRef<IDirect3DTexture9> texture;
    ASSERT_EQ(second->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, texture.out(), nullptr), D3D_OK);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    ASSERT_EQ(texture->UnlockRect(0), D3D_OK);
    ASSERT_EQ(second->BeginScene(), D3D_OK);
    ASSERT_EQ(second->EndScene(), D3D_OK);

    // The faked adapter answers for its caps too, named as asked.
    D3DCAPS9 caps;
    ASSERT_EQ(d3d_->GetDeviceCaps(extra, D3DDEVTYPE_REF, &caps), D3D_OK);
    EXPECT_EQ(caps.AdapterOrdinal, extra);
    EXPECT_EQ(caps.DeviceType, D3DDEVTYPE_REF);

    // ProxyReset forgets the fakes and the request.
    texture.reset();
    second.reset();
    ProxyReset();
    EXPECT_EQ(d3d_->GetAdapterCount(), realCount);
    EXPECT_FALSE(ProxyLastCreateDevice(&request));
}

// ===========================================================================
// A lost device

TEST_F(ProxyDevice, LostDeviceFakedByTestCooperativeLevelIsResetForReal)
{
    ProxyFault fault = Fault(ProxyCall::TestCooperativeLevel, D3DERR_DEVICENOTRESET, 0, 1);
    fault.object = device();
    ProxyAddFault(&fault);
    ProxySetLogging(true);

    ComRef<IDirect3DTexture9> before;
    ASSERT_EQ(CreateTexture(16, 16, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, before.out()), D3D_OK);
    EXPECT_EQ(device()->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    D3DPRESENT_PARAMETERS present = WindowedParameters();
    ASSERT_EQ(device()->Reset(&present), D3D_OK);
    EXPECT_EQ(device()->TestCooperativeLevel(), D3D_OK);
    EXPECT_EQ(ReadLog(), "TestCooperativeLevel 0x88760869\nReset\nTestCooperativeLevel 0x00000000\n");
    EXPECT_EQ(ProxyCallCount(ProxyCall::TestCooperativeLevel), 2);
    EXPECT_EQ(ProxyCallCount(ProxyCall::Reset), 1);

    // The device works after the reset.
    ComRef<IDirect3DTexture9> target;
    ASSERT_EQ(CreateTexture(16, 16, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, target.out()), D3D_OK);
    ComRef<IDirect3DSurface9> level;
    ASSERT_EQ(target->GetSurfaceLevel(0, level.out()), D3D_OK);
    ASSERT_EQ(device()->SetRenderTarget(0, level.get()), D3D_OK);
    ASSERT_EQ(device()->BeginScene(), D3D_OK);
    ASSERT_EQ(device()->EndScene(), D3D_OK);
}

// ===========================================================================
// Live objects

TEST_F(ProxyDevice, LevelSurfacesAreNoObjectsOfTheirOwn)
{
    const int live = liveAtStart_;  // the suite's Direct3D object and device
    ComRef<IDirect3DTexture9> texture;
    ASSERT_EQ(CreateTexture(16, 16, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, texture.out()), D3D_OK);
    ComRef<IDirect3DSurface9> level, again, standalone;
    ASSERT_EQ(texture->GetSurfaceLevel(0, level.out()), D3D_OK);
    ASSERT_EQ(texture->GetSurfaceLevel(0, again.out()), D3D_OK);
    ASSERT_EQ(device()->CreateRenderTarget(16, 16, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, standalone.out(),
                                           nullptr),
              D3D_OK);
    EXPECT_EQ(ProxyLiveObjects(), live + 2) << LiveObjectText();

    // The levels hold the texture: it outlives its own reference.
    texture.reset();
    EXPECT_EQ(ProxyLiveObjects(), live + 2) << LiveObjectText();
    again.reset();
    level.reset();
    EXPECT_EQ(ProxyLiveObjects(), live + 1) << LiveObjectText();
    standalone.reset();
    EXPECT_EQ(ProxyLiveObjects(), live) << LiveObjectText();
}

// The plug-in calls the device from two threads: the bookkeeping keeps
// up with both.
TEST_F(ProxyDevice, KeepsCountAcrossTwoThreads)
{
    constexpr int kRounds = 40;
    ProxyFault fault = Fault(ProxyCall::TextureLockRect, D3DERR_WASSTILLDRAWING, 10, 20);
    ProxyAddFault(&fault);
    std::atomic<int> failures{0};
    std::atomic<int> errors{0};
    const auto work = [&] {
        for (int i = 0; i < kRounds; ++i) {
            IDirect3DTexture9* texture = nullptr;
            if (FAILED(CreateTexture(8, 8, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &texture))) {
                ++errors;
                continue;
            }
            D3DLOCKED_RECT locked;
            const HRESULT hr = texture->LockRect(0, &locked, nullptr, 0);
            if (hr == D3DERR_WASSTILLDRAWING)
                ++failures;
            else if (FAILED(hr) || texture->UnlockRect(0) != D3D_OK)
                ++errors;
            texture->Release();
        }
    };
    std::thread other(work);
    work();
    other.join();

    EXPECT_EQ(errors.load(), 0);
    EXPECT_EQ(failures.load(), 20);
    EXPECT_EQ(ProxyCallCount(ProxyCall::CreateTexture), 2 * kRounds);
    EXPECT_EQ(ProxyCallCount(ProxyCall::TextureLockRect), 2 * kRounds);
    EXPECT_EQ(ProxyCallCount(ProxyCall::TextureUnlockRect), 2 * kRounds - 20);
    EXPECT_EQ(ProxyLiveObjects(), liveAtStart_) << LiveObjectText();
}

TEST_F(ProxyDevice, ResetForgetsSettingsButNotLiveObjects)
{
    ComRef<IDirect3DTexture9> texture;
    ASSERT_EQ(CreateTexture(8, 8, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, texture.out()), D3D_OK);
    ProxyFault fault = Fault(ProxyCall::CreateTexture, E_FAIL);
    ProxyAddFault(&fault);
    ProxyCaps caps = Caps(0, 0, D3DPS_VERSION(1, 1), 0, 0);
    ProxySetCaps(&caps);
    ProxySetFormatResult(0, D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8, D3DERR_NOTAVAILABLE);
    ProxySetAdapterCount(5);
    ProxySetDeviceMapping(true);
    ProxySetLogging(true);
    ASSERT_EQ(device()->BeginScene(), D3D_OK);
    ASSERT_EQ(device()->EndScene(), D3D_OK);

    ProxyReset();

    EXPECT_EQ(ProxyLiveObjects(), liveAtStart_ + 1) << LiveObjectText();
    for (int call = 0; call < static_cast<int>(ProxyCall::Count); ++call)
        EXPECT_EQ(ProxyCallCount(static_cast<ProxyCall>(call)), 0) << "call " << call;
    EXPECT_EQ(ReadLog(), "");
    EXPECT_FALSE(ProxyLastCreateDevice(nullptr));
    ComRef<IDirect3DTexture9> second;
    EXPECT_EQ(CreateTexture(8, 8, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, second.out()), D3D_OK);
    D3DCAPS9 got;
    ASSERT_EQ(device()->GetDeviceCaps(&got), D3D_OK);
    EXPECT_NE(got.PixelShaderVersion, static_cast<DWORD>(D3DPS_VERSION(1, 1)));
    EXPECT_EQ(d3d_->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8),
              D3D_OK);
    EXPECT_NE(d3d_->GetAdapterCount(), 5u);
    D3DPRESENT_PARAMETERS present = WindowedParameters();
    ComRef<IDirect3DDevice9> mapped;
    EXPECT_TRUE(FAILED(d3d_->CreateDevice(d3d_->GetAdapterCount() + 3, D3DDEVTYPE_HAL, window_, kBehaviourFlags,
                                          &present, mapped.out())))
        << "device mapping still on";
    ASSERT_EQ(device()->BeginScene(), D3D_OK);
    ASSERT_EQ(device()->EndScene(), D3D_OK);
    EXPECT_EQ(ReadLog(), "") << "logging still on";
}

// ===========================================================================
// D3DX on the proxied device

using CreateTextureFunction = HRESULT(WINAPI*)(IDirect3DDevice9*, UINT, UINT, UINT, DWORD, D3DFORMAT, D3DPOOL,
                                               IDirect3DTexture9**);

// D3DX creates the embedded effect on the proxied device and runs a pass,
// and its calls go through the patched vtables: a texture it creates obeys
// the faked caps and is counted and recorded. D3DX makes no Direct3D object
// or device of its own, and the effect and texture leave no reference to the
// device behind (checked as every test of the suite ends).
TEST_F(ProxyDevice, D3dxCreatesTheEmbeddedEffectAndTexturesThroughTheProxy)
{
    D3dxLibrary d3dx;
    std::string error;
    ASSERT_TRUE(LoadD3dx(&d3dx, &error)) << error;
    {
        ComRef<ID3DXEffect> effect;
        ComRef<ID3DXBuffer> messages;
        const HRESULT created = d3dx.createEffect(device(), kLanczosEffect, kLanczosEffectSize, nullptr, nullptr,
                                                  kEffectFlags, nullptr, effect.out(), messages.out());
        ASSERT_EQ(created, D3D_OK) << "D3DXCreateEffect failed with " << HresultText(created) << ": "
                                   << (messages ? std::string(static_cast<const char*>(messages->GetBufferPointer()),
                                                              messages->GetBufferSize())
                                                : std::string());

        UINT passes = 0;
        ASSERT_EQ(effect->Begin(&passes, 0), D3D_OK);
        EXPECT_EQ(passes, 4u);
        ASSERT_EQ(effect->BeginPass(0), D3D_OK);
        ASSERT_EQ(effect->EndPass(), D3D_OK);
        ASSERT_EQ(effect->End(), D3D_OK);

        const auto createTexture = reinterpret_cast<CreateTextureFunction>(
            reinterpret_cast<void*>(GetProcAddress(d3dx.module, "D3DXCreateTexture")));
        ASSERT_NE(createTexture, nullptr);
        ProxyCaps caps = Caps(0, 0, 0, 64, 32);
        ProxySetCaps(&caps);
        const long createdTextures = ProxyCallCount(ProxyCall::CreateTexture);
        const long asked = ProxyCallCount(ProxyCall::GetDeviceCaps);
        ComRef<IDirect3DTexture9> texture;
        ASSERT_EQ(createTexture(device(), 256, 256, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.out()), D3D_OK);
        ProxySetCaps(nullptr);
        EXPECT_EQ(ProxyCallCount(ProxyCall::CreateTexture), createdTextures + 1);
        EXPECT_GT(ProxyCallCount(ProxyCall::GetDeviceCaps), asked);
        D3DSURFACE_DESC desc;
        ASSERT_EQ(texture->GetLevelDesc(0, &desc), D3D_OK);
        EXPECT_EQ(desc.Width, 64u);
        EXPECT_EQ(desc.Height, 32u);
        const std::string text = LiveObjectText();
        EXPECT_NE(text.find("Texture " + Pointer(texture.get()) + " CreateTexture(64x32"), std::string::npos) << text;

        EXPECT_EQ(ProxyCallCount(ProxyCall::Direct3DCreate9), 0);
        EXPECT_EQ(ProxyCallCount(ProxyCall::CreateDevice), 0);
    }
    FreeLibrary(d3dx.module);
}

// ===========================================================================
// Objects kept past their device

struct LeakCase {
    const char* kind;
    // Makes the object and the creating call's text as described.
    std::function<IUnknown*(IDirect3DDevice9*, std::string*)> make;
    // The device the object holds, through the object's own GetDevice.
    std::function<HRESULT(IUnknown*, IDirect3DDevice9**)> deviceOf;
};

const LeakCase kLeakCases[] = {
    {"Texture",
     [](IDirect3DDevice9* device, std::string* creation) -> IUnknown* {
         IDirect3DTexture9* texture = nullptr;
         EXPECT_EQ(device->CreateTexture(32, 16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                         &texture, nullptr),
                   D3D_OK);
         *creation = "CreateTexture(32x16, levels 1, usage 0x00000001, format 21, pool 0)";
         return texture;
     },
     [](IUnknown* object, IDirect3DDevice9** out) {
         return static_cast<IDirect3DTexture9*>(object)->GetDevice(out);
     }},
    {"VertexBuffer",
     [](IDirect3DDevice9* device, std::string* creation) -> IUnknown* {
         IDirect3DVertexBuffer9* buffer = nullptr;
         EXPECT_EQ(device->CreateVertexBuffer(96, D3DUSAGE_WRITEONLY, 0, D3DPOOL_SYSTEMMEM, &buffer, nullptr), D3D_OK);
         *creation = "CreateVertexBuffer(96 bytes, usage 0x00000008, fvf 0x00000000, pool 2)";
         return buffer;
     },
     [](IUnknown* object, IDirect3DDevice9** out) {
         return static_cast<IDirect3DVertexBuffer9*>(object)->GetDevice(out);
     }},
    {"Surface",
     [](IDirect3DDevice9* device, std::string* creation) -> IUnknown* {
         IDirect3DSurface9* surface = nullptr;
         EXPECT_EQ(
             device->CreateRenderTarget(24, 8, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, TRUE, &surface, nullptr),
             D3D_OK);
         *creation = "CreateRenderTarget(24x8, format 22, lockable 1)";
         return surface;
     },
     [](IUnknown* object, IDirect3DDevice9** out) {
         return static_cast<IDirect3DSurface9*>(object)->GetDevice(out);
     }},
    {"VertexDeclaration",
     [](IDirect3DDevice9* device, std::string* creation) -> IUnknown* {
         IDirect3DVertexDeclaration9* declaration = nullptr;
         EXPECT_EQ(device->CreateVertexDeclaration(kPositionT, &declaration), D3D_OK);
         *creation = "CreateVertexDeclaration";
         return declaration;
     },
     [](IUnknown* object, IDirect3DDevice9** out) {
         return static_cast<IDirect3DVertexDeclaration9*>(object)->GetDevice(out);
     }},
};

// Direct3D objects and devices of the test's own, for what needs them to
// end: the suite's shared ones stay alive throughout. Each test starts and
// ends with the proxy reset and nothing of it alive.
class ProxyLifetime : public ::testing::Test {
protected:
    void SetUp() override
    {
        ProxyReset();
        ASSERT_EQ(ProxyLiveObjects(), 0) << LiveObjectText();
        window_ = CreateHiddenWindow();
        ASSERT_NE(window_, nullptr) << "CreateWindowExW failed: " << GetLastError();
    }

    void TearDown() override
    {
        if (window_)
            DestroyWindow(window_);
        ProxyReset();
        EXPECT_EQ(ProxyLiveObjects(), 0) << "left alive:\n" << LiveObjectText();
    }

    HWND window_ = nullptr;
};

// A faulted Direct3DCreate9 returns null and makes nothing, for its one call
// only: the next call makes the Direct3D object of this test. Then, for each
// kind, a device of its own makes an object that is kept past the release of
// the device and of Direct3D: it keeps both alive, the description names all
// three, and its last release takes the device with it. The test takes
// Direct3D back (through the object's device) before each release but the
// last, whose release ends all three.
TEST_F(ProxyLifetime, ObjectsKeptPastTheirDeviceKeepItAliveUntilTheirLastRelease)
{
    ProxyFault fault = Fault(ProxyCall::Direct3DCreate9, E_FAIL, 0, 1);
    ProxyAddFault(&fault);
    EXPECT_EQ(Direct3DCreate9(D3D_SDK_VERSION), nullptr);
    EXPECT_EQ(ProxyLiveObjects(), 0) << LiveObjectText();
    ComRef<IDirect3D9> d3d;
    *d3d.out() = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_TRUE(d3d) << "the fault failed more than its one call";
    EXPECT_EQ(ProxyCallCount(ProxyCall::Direct3DCreate9), 2);
    EXPECT_EQ(ProxyLiveObjects(), 1) << LiveObjectText();
    IDirect3D9* const d3dAddress = d3d.get();
    const std::string d3dLine = "Direct3D9 " + Pointer(d3dAddress) + " Direct3DCreate9(sdk 32)";

    const size_t count = sizeof kLeakCases / sizeof kLeakCases[0];
    for (size_t i = 0; i < count; ++i) {
        const LeakCase& c = kLeakCases[i];
        const bool last = i + 1 == count;
        SCOPED_TRACE(c.kind);
        ComRef<IDirect3DDevice9> device;
        D3DPRESENT_PARAMETERS present = WindowedParameters();
        const HRESULT hr =
            d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window_, kBehaviourFlags, &present, device.out());
        ASSERT_EQ(hr, D3D_OK) << "CreateDevice failed with " << HresultText(hr);
        std::string creation;
        IUnknown* kept = c.make(device.get(), &creation);
        ASSERT_NE(kept, nullptr);
        IDirect3DDevice9* const deviceAddress = device.get();
        const std::string deviceLine =
            "Device " + Pointer(deviceAddress) + " CreateDevice(adapter 0, type 1, flags 0x00000824)";
        device.reset();
        d3d.reset();

        EXPECT_EQ(ProxyLiveObjects(), 3);
        const std::string text = LiveObjectText();
        EXPECT_TRUE(HasLine(text, std::string(c.kind) + " " + Pointer(kept) + " " + creation)) << text;
        EXPECT_TRUE(HasLine(text, deviceLine)) << text;
        EXPECT_TRUE(HasLine(text, d3dLine)) << text;

        if (!last) {
            ComRef<IDirect3DDevice9> held;
            ASSERT_EQ(c.deviceOf(kept, held.out()), D3D_OK);
            EXPECT_EQ(held.get(), deviceAddress);
            ASSERT_EQ(held->GetDirect3D(d3d.out()), D3D_OK);
            EXPECT_EQ(d3d.get(), d3dAddress);
        }
        EXPECT_EQ(kept->Release(), 0u);
        if (last) {
            EXPECT_EQ(ProxyLiveObjects(), 0) << LiveObjectText();
        } else {
            EXPECT_EQ(ProxyLiveObjects(), 1) << "the object and its device are gone, Direct3D is not:\n"
                                             << LiveObjectText();
            EXPECT_TRUE(HasLine(LiveObjectText(), d3dLine)) << LiveObjectText();
        }
    }
}

}  // namespace
