// The filter's one graphics context and the operations of the GPU resampler:
// the resampling plan and its resources, device bring-up, the weight upload
// and the render sequence. Every function takes the record it works on; the
// frame driver owns the only one.
#pragma once

#include <windows.h>
#include <d3d9.h>
#include <d3dx9effect.h>

#include <cstdint>

struct FilterRecord;
struct RenderWorker;

using CreateEffectFn = HRESULT(WINAPI*)(IDirect3DDevice9* device, const void* data, UINT size,
                                        const D3DXMACRO* defines, ID3DXInclude* include, DWORD flags,
                                        ID3DXEffectPool* pool, ID3DXEffect** effect, ID3DXBuffer** errors);

// Every field that holds a Direct3D or D3DX object owns one reference to it;
// null means the object does not exist. Sizes are pixels, -1 until set.
struct GpuResizer {
    IDirect3D9* d3d;
    IDirect3DDevice9* device;
    IDirect3DTexture9* weightTexture;     // 256 x 16 V16U16, default pool; txWgt
    IDirect3DTexture9* inputTexture;      // the source frame, dynamic; txSrc
    IDirect3DTexture9* midTexture;        // intermediate image of a two-pass plan
    IDirect3DSurface9* rtSurface;         // the destination render target
    IDirect3DTexture9* sysWeightTexture;  // system-memory copy of the weight table
    IDirect3DTexture9* sysOutputTexture;  // system-memory copy of the rendered image
    IDirect3DVertexBuffer9* vertexBuffer; // the two quads
    IDirect3DVertexDeclaration9* vertexDecl;
    ID3DXEffect* effect;
    D3DXHANDLE hRadius;
    D3DXHANDLE hRep;
    D3DXHANDLE hRszSrc;
    D3DXHANDLE hMinRt;
    D3DXHANDLE hTechnique;
    D3DXHANDLE hTxWgt;
    D3DXHANDLE hTxSrc;
    int32_t srcWidth;
    int32_t srcHeight;
    int32_t midWidth;   // equals dstWidth in a one-pass plan
    int32_t midHeight;  // equals dstHeight in a one-pass plan
    int32_t dstWidth;
    int32_t dstHeight;
    int32_t rowStride;  // pixels per row of the host's frame buffers
    int32_t maxTexWidth;
    int32_t maxTexHeight;
    int32_t texelFormat;  // kTexelSigned or kTexelUnsigned
    uint8_t signedTexelOk;
    uint8_t unsignedTexelOk;
    int32_t pass1;  // first pass drawn, -1 for none
    int32_t pass2;  // second pass, -1 in a one-pass plan
    RenderWorker* worker;
    HMODULE d3dxModule;
    CreateEffectFn createEffect;
};

// texelFormat values: the one four-channel 16-bit format of the image
// textures and the render target.
constexpr int32_t kTexelSigned = 0;    // D3DFMT_Q16W16V16U16
constexpr int32_t kTexelUnsigned = 1;  // D3DFMT_A16B16G16R16, sign bit inverted
D3DFORMAT TexelD3dFormat(int32_t texelFormat);

// The plan must be rebuilt before the next draw: set at load, by the frame
// driver when the sizes change, by CheckDevice after a reset and by the
// filter's deactivation; cleared by the frame driver after a rebuild.
extern uint8_t rebuildPending;

// Plan (one build per size pair).
bool SetSizes(GpuResizer* r, int32_t srcWidth, int32_t srcHeight, int32_t dstWidth, int32_t dstHeight,
              int32_t rowStride);
void ReleaseSizeResources(GpuResizer* r);
void ReleaseDeviceResources(GpuResizer* r);
void ChooseTexelFormat(GpuResizer* r);
HRESULT CreateSystemTextures(GpuResizer* r);
HRESULT CreateDeviceResources(GpuResizer* r);
HRESULT BuildQuads(GpuResizer* r);
HRESULT CreateTexelTexture(GpuResizer* r, IDirect3DTexture9** field, DWORD usage, D3DPOOL pool, int32_t width,
                           int32_t height);
HRESULT CreateTargetSurface(GpuResizer* r, IDirect3DSurface9** field, int32_t width, int32_t height);
HRESULT BindParameters(GpuResizer* r);
void ChoosePasses(GpuResizer* r);

// Device bring-up.
// The present parameters of creation and reset: windowed, no back buffer of
// its own, no depth buffer. The device never presents.
D3DPRESENT_PARAMETERS DevicePresentParameters();
void InitGpuResizer(GpuResizer* r);
bool OpenDevice(GpuResizer* r, FilterRecord* fp, int32_t adapterSetting);
bool ReleaseAll(GpuResizer* r);
void DestroyGpuResizer(GpuResizer* r);
HRESULT LoadD3DX(GpuResizer* r);
HRESULT CheckDeviceCaps(GpuResizer* r);
HRESULT CheckTexelFormat(GpuResizer* r, D3DFORMAT format, D3DFORMAT adapterFormat, UINT adapter,
                         D3DDEVTYPE deviceType);
HRESULT CreateEffect(GpuResizer* r);

// Weight table and tap counts for the given radius (clamped to 1..15).
bool UpdateWeights(GpuResizer* r, int radius);

// Render sequence.
bool CheckDevice(GpuResizer* r);
HRESULT ResetDevice(GpuResizer* r);
bool RenderFrame(GpuResizer* r);
HRESULT SetTargetTexture(GpuResizer* r, IDirect3DTexture9* texture);
HRESULT SetTargetSurface(GpuResizer* r, IDirect3DSurface9* surface);
HRESULT ReadBack(GpuResizer* r);

// Releases the object in a field if there is one and clears the field, so
// that a release may run any number of times.
template <typename T>
void ReleaseField(T*& field)
{
    if (field) {
        field->Release();
        field = nullptr;
    }
}
