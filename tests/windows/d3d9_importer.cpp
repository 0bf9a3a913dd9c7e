// A DLL that imports Direct3DCreate9 from d3d9.dll in the ordinary way, as
// the plug-in does. The proxy tests load it from the directory above their
// own to see which d3d9.dll its import binds to.
#include <windows.h>
#include <d3d9.h>

extern "C" __declspec(dllexport) IDirect3D9* CreateThroughImport()
{
    return Direct3DCreate9(D3D_SDK_VERSION);
}
