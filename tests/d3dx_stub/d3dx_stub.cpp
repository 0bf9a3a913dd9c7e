// A stand-in for a D3DX library that loads but lacks D3DXCreateEffect, for
// the test of that refusal. It exports one unrelated function.
#include <windows.h>

extern "C" __declspec(dllexport) HRESULT WINAPI D3DXStubUnrelated()
{
    return E_NOTIMPL;
}
