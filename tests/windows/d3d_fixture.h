// A Direct3D 9 device on a hidden window and the embedded resampling effect
// created on it, for the Windows tests that talk to the real device.
//
// The device is made the way the plug-in makes it (windowed, no back buffer
// of its own, behaviour flags 0x824) and D3DX is resolved at run time, never
// linked. A machine without a device fails the test: it does not skip.
#pragma once

#include <windows.h>
#include <d3d9.h>
#include <d3dx9effect.h>

#include <gtest/gtest.h>

#include <string>

// Owns one reference; releases it when replaced or destroyed.
template <typename T>
class ComRef {
public:
    ComRef() = default;
    ~ComRef() { reset(); }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For functions that return a new reference through a T**.
    T** out()
    {
        reset();
        return &p_;
    }
    void reset()
    {
        if (p_) {
            p_->Release();
            p_ = nullptr;
        }
    }

private:
    T* p_ = nullptr;
};

// D3DCREATE_NOWINDOWCHANGES | D3DCREATE_SOFTWARE_VERTEXPROCESSING |
// D3DCREATE_MULTITHREADED, as the plug-in asks. Without FPU_PRESERVE the
// device leaves this thread's x87 unit at single precision; the Windows
// tree computes doubles with SSE2, so the weight table stays exact.
constexpr DWORD kBehaviourFlags =
    D3DCREATE_NOWINDOWCHANGES | D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_MULTITHREADED;
static_assert(kBehaviourFlags == 0x824, "the plug-in's behaviour flags");

constexpr DWORD kEffectFlags = D3DXFX_NOT_CLONEABLE | D3DXFX_LARGEADDRESSAWARE;
static_assert(kEffectFlags == 0x20800, "the plug-in's effect flags");

using CreateEffectFunction = HRESULT(WINAPI*)(IDirect3DDevice9*, const void*, UINT, const D3DXMACRO*, ID3DXInclude*,
                                              DWORD, ID3DXEffectPool*, ID3DXEffect**, ID3DXBuffer**);

// The first of d3dx9_42 .. d3dx9_38 that loads, and its D3DXCreateEffect.
struct D3dxLibrary {
    HMODULE module = nullptr;
    CreateEffectFunction createEffect = nullptr;
    std::wstring name;
};
bool LoadD3dx(D3dxLibrary* library, std::string* error);

// A hidden window, D3DX, a device made as the plug-in makes it and the
// embedded effect on it. Open and Close report through gtest: a failure to
// open is a fatal failure of the running test (or of the suite's set-up).
struct D3dSession {
    HWND window = nullptr;
    D3dxLibrary d3dx;
    ComRef<IDirect3D9> d3d;
    ComRef<IDirect3DDevice9> device;
    ComRef<ID3DXEffect> effect;

    void Open();
    // Releases the effect and checks that the device's last reference goes
    // with the session's own, so that anything left behind (a texture, a
    // surface, a state block of a Begin without End) fails the check.
    void Close();
    // The device's reference count as it stands.
    ULONG DeviceReferences() const;
    // Creates a D3DX effect from the embedded binary with the given flags.
    HRESULT CreateEffect(DWORD flags, ID3DXEffect** out, std::string* errors);
};

// A fresh device and effect for every test, released to zero at its end.
class D3dEffectTest : public ::testing::Test {
protected:
    void SetUp() override { session_.Open(); }
    void TearDown() override { session_.Close(); }

    IDirect3DDevice9* device() const { return session_.device.get(); }
    ID3DXEffect* effect() const { return session_.effect.get(); }

private:
    D3dSession session_;
};

// "0x8876086c" and the like, for failure messages.
std::string HresultText(HRESULT hr);
