#include "d3d_fixture.h"

#include "lanczos_effect.h"

#include <cstdio>

namespace {

const wchar_t kWindowClass[] = L"tobrel_d3d_test";

HWND CreateHiddenWindow()
{
    static const ATOM atom = [] {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kWindowClass;
        return RegisterClassW(&wc);
    }();
    if (!atom)
        return nullptr;
    // Never shown; its client area only sizes the implicit back buffer.
    return CreateWindowExW(0, kWindowClass, L"tobrel test", WS_OVERLAPPEDWINDOW, 0, 0, 160, 120, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

}  // namespace

std::string HresultText(HRESULT hr)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(hr));
    return text;
}

bool LoadD3dx(D3dxLibrary* library, std::string* error)
{
    for (int n = 42; n >= 38; --n) {
        wchar_t name[64];
        swprintf(name, 64, L"d3dx9_%02d.dll", n);
        HMODULE module = LoadLibraryW(name);
        if (!module)
            continue;
        auto create = reinterpret_cast<CreateEffectFunction>(
            reinterpret_cast<void*>(GetProcAddress(module, "D3DXCreateEffect")));
        if (!create) {
            FreeLibrary(module);
            continue;
        }
        library->module = module;
        library->createEffect = create;
        library->name = name;
        return true;
    }
    *error = "no d3dx9_42 .. d3dx9_38 with D3DXCreateEffect";
    return false;
}

void D3dSession::Open()
{
    std::string error;
    ASSERT_TRUE(LoadD3dx(&d3dx, &error)) << error;

    window = CreateHiddenWindow();
    ASSERT_NE(window, nullptr) << "CreateWindowExW failed: " << GetLastError();

    *d3d.out() = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_TRUE(d3d) << "Direct3DCreate9 returned null";

    D3DPRESENT_PARAMETERS present = {};
    present.SwapEffect = D3DSWAPEFFECT_DISCARD;
    present.Windowed = TRUE;
    const HRESULT hr =
        d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, kBehaviourFlags, &present, device.out());
    ASSERT_EQ(hr, D3D_OK) << "CreateDevice failed with " << HresultText(hr);

    std::string errors;
    const HRESULT created = CreateEffect(kEffectFlags, effect.out(), &errors);
    ASSERT_EQ(created, D3D_OK) << "D3DXCreateEffect failed with " << HresultText(created) << ": " << errors;
}

HRESULT D3dSession::CreateEffect(DWORD flags, ID3DXEffect** out, std::string* errors)
{
    ComRef<ID3DXBuffer> messages;
    const HRESULT hr = d3dx.createEffect(device.get(), kLanczosEffect, kLanczosEffectSize, nullptr, nullptr, flags,
                                         nullptr, out, messages.out());
    if (messages && messages->GetBufferPointer())
        errors->assign(static_cast<const char*>(messages->GetBufferPointer()), messages->GetBufferSize());
    return hr;
}

ULONG D3dSession::DeviceReferences() const
{
    if (!device)
        return 0;
    device->AddRef();
    return device->Release();
}

void D3dSession::Close()
{
    effect.reset();
    if (device) {
        IDirect3DDevice9* last = device.get();
        last->AddRef();
        device.reset();
        EXPECT_EQ(last->Release(), 0u) << "objects of the device outlive their test";
    }
    d3d.reset();
    if (window) {
        DestroyWindow(window);
        window = nullptr;
    }
}
