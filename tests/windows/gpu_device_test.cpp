// Device bring-up on the real device behind the test proxy: what an opened
// record holds, the device that is asked for, each refusal of a device with
// its message, the texel-format probes and a second bring-up.
#include "gpu_fixture.h"
#include "render_worker.h"

#include <climits>

namespace {

using Texts = std::vector<std::string>;

TEST_F(GpuResizerTest, OpenedRecordHoldsEverythingButAPlan)
{
    ASSERT_TRUE(Open()) << ::testing::PrintToString(Messages());
    EXPECT_TRUE(r->d3d && r->device && r->effect && r->vertexDecl);
    for (D3DXHANDLE h : {r->hRadius, r->hRep, r->hRszSrc, r->hMinRt, r->hTechnique, r->hTxWgt, r->hTxSrc})
        EXPECT_NE(h, nullptr);
    EXPECT_GE(r->maxTexWidth, 2048);
    EXPECT_GE(r->maxTexHeight, 2048);
    // Both formats pass on this device; the signed one is preferred.
    EXPECT_EQ(r->signedTexelOk, 1);
    EXPECT_EQ(r->unsignedTexelOk, 1);
    EXPECT_EQ(r->texelFormat, kTexelSigned);
    ASSERT_NE(r->worker, nullptr);
    EXPECT_NE(r->worker->thread, nullptr);
    EXPECT_EQ(r->worker->jobArgument, r);
    EXPECT_NE(r->d3dxModule, nullptr);
    EXPECT_NE(r->createEffect, nullptr);
    // No plan yet.
    EXPECT_EQ(r->srcWidth, -1);
    EXPECT_EQ(r->pass1, -1);
    EXPECT_EQ(r->inputTexture, nullptr);
    EXPECT_EQ(r->sysOutputTexture, nullptr);

    ProxyDeviceRequest request;
    ASSERT_TRUE(ProxyLastCreateDevice(&request));
    EXPECT_EQ(request.adapter, 0u);
    EXPECT_EQ(request.type, D3DDEVTYPE_HAL);
    EXPECT_EQ(request.focus, window);
    EXPECT_EQ(request.flags, 0x824u);
    D3DPRESENT_PARAMETERS expected = {};
    expected.SwapEffect = D3DSWAPEFFECT_DISCARD;
    expected.Windowed = TRUE;
    EXPECT_EQ(memcmp(&request.params, &expected, sizeof expected), 0);

    D3DVERTEXELEMENT9 elements[MAXD3DDECLLENGTH];
    UINT count = MAXD3DDECLLENGTH;
    ASSERT_EQ(r->vertexDecl->GetDeclaration(elements, &count), D3D_OK);
    ASSERT_EQ(count, 3u);
    EXPECT_EQ(elements[0].Offset, 0);
    EXPECT_EQ(elements[0].Type, D3DDECLTYPE_FLOAT4);
    EXPECT_EQ(elements[0].Usage, D3DDECLUSAGE_POSITIONT);
    EXPECT_EQ(elements[1].Offset, 16);
    EXPECT_EQ(elements[1].Type, D3DDECLTYPE_FLOAT4);
    EXPECT_EQ(elements[1].Usage, D3DDECLUSAGE_TEXCOORD);
    EXPECT_EQ(elements[1].UsageIndex, 0);
    EXPECT_EQ(elements[2].Stream, 0xFF);  // the end marker
}

TEST_F(GpuResizerTest, AdapterSettingChoosesAdapterAndDeviceType)
{
    struct Case {
        int32_t setting;
        UINT adapter;
        D3DDEVTYPE type;
    } cases[] = {
        {1, 1, D3DDEVTYPE_HAL},
        {2, 0, D3DDEVTYPE_HAL},  // not below the adapter count
        {-1, 0, D3DDEVTYPE_REF},
    };
    for (const Case& c : cases) {
        // Two adapters, as far as the filter can tell; the proxy creates the
        // device on the real one.
        ProxySetAdapterCount(2);
        ProxySetDeviceMapping(true);
        ASSERT_TRUE(Open(c.setting)) << c.setting;
        ProxyDeviceRequest request;
        ASSERT_TRUE(ProxyLastCreateDevice(&request));
        EXPECT_EQ(request.adapter, c.adapter) << "setting " << c.setting;
        EXPECT_EQ(request.type, c.type) << "setting " << c.setting;
        EXPECT_TRUE(ReleaseAll(r));
    }
}

struct Refusal {
    const char* name;
    ProxyCaps caps;
    // Format probes answered with a failure: (usage, resource type, format).
    struct Probe {
        DWORD usage;
        D3DRESOURCETYPE type;
        D3DFORMAT format;
    };
    std::vector<Probe> failedProbes;
    const char* message;  // null: the device is accepted
};

std::vector<Refusal> Refusals()
{
    ProxyCaps squareOnly;
    squareOnly.textureCapsSet = D3DPTEXTURECAPS_SQUAREONLY;
    ProxyCaps pow2Only;
    pow2Only.textureCapsSet = D3DPTEXTURECAPS_POW2;
    pow2Only.textureCapsClear = D3DPTEXTURECAPS_NONPOW2CONDITIONAL;
    ProxyCaps pow2Conditional;
    pow2Conditional.textureCapsSet = D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_NONPOW2CONDITIONAL;
    ProxyCaps ps20;
    ps20.pixelShaderVersion = D3DPS_VERSION(2, 0);
    ps20.maxTextureWidth = 1234;
    ps20.maxTextureHeight = 567;
    const Refusal::Probe signedDynamic = {D3DUSAGE_DYNAMIC, D3DRTYPE_TEXTURE, D3DFMT_Q16W16V16U16};
    const Refusal::Probe unsignedTarget = {D3DUSAGE_RENDERTARGET, D3DRTYPE_SURFACE, D3DFMT_A16B16G16R16};
    const Refusal::Probe unsignedSystem = {0, D3DRTYPE_TEXTURE, D3DFMT_A16B16G16R16};
    const Refusal::Probe weights = {0, D3DRTYPE_TEXTURE, D3DFMT_V16U16};
    return {
        {"SquareOnly", squareOnly, {}, "非正方テクスチャを利用できません"},
        {"PowerOfTwoOnly", pow2Only, {}, "2の累乗サイズ以外のテクスチャは利用できません"},
        {"PowerOfTwoConditional", pow2Conditional, {}, nullptr},
        {"PixelShader20", ps20, {}, "PS3.0以降をサポートするGPUが必要です"},
        {"NoTexelFormat", {}, {signedDynamic, unsignedTarget}, "利用可能なピクセルフォーマットがひとつもありません"},
        {"NoTexelFormatLastProbe", {}, {signedDynamic, unsignedSystem},
         "利用可能なピクセルフォーマットがひとつもありません"},
        {"NoWeightFormat", {}, {weights}, "D3DFMT_V16U16 が利用できません"},
    };
}

TEST_F(GpuResizerTest, EachRefusedDeviceShowsItsMessage)
{
    ASSERT_TRUE(Open());
    for (const Refusal& c : Refusals()) {
        SCOPED_TRACE(c.name);
        ProxyReset();
        ProxySetCaps(&c.caps);
        for (const Refusal::Probe& p : c.failedProbes)
            ProxySetFormatResult(p.usage, p.type, p.format, D3DERR_NOTAVAILABLE);
        const HRESULT hr = CheckDeviceCaps(r);
        if (c.message) {
            EXPECT_EQ(hr, D3DERR_NOTAVAILABLE);
            EXPECT_EQ(Messages(), Texts({c.message}));
        } else {
            EXPECT_EQ(hr, S_OK);
            EXPECT_TRUE(Messages().empty());
        }
    }
}

TEST_F(GpuResizerTest, RefusedDeviceIsReleasedAndKeepsItsTextureLimits)
{
    ProxyCaps caps;
    caps.pixelShaderVersion = D3DPS_VERSION(2, 0);
    caps.maxTextureWidth = 1234;
    caps.maxTextureHeight = 567;
    ProxySetCaps(&caps);
    EXPECT_FALSE(Open());
    EXPECT_EQ(Messages(), Texts({"PS3.0以降をサポートするGPUが必要です"}));
    EXPECT_EQ(r->maxTexWidth, 1234);
    EXPECT_EQ(r->maxTexHeight, 567);
    EXPECT_EQ(r->d3d, nullptr);
    EXPECT_EQ(r->device, nullptr);
    EXPECT_EQ(r->effect, nullptr);
    EXPECT_EQ(ProxyLiveObjects(), 0) << LiveObjects();
}

TEST_F(GpuResizerTest, TexelFormatProbes)
{
    struct Case {
        const char* name;
        std::vector<Refusal::Probe> failed;
        int32_t texelFormat;
        uint8_t signedOk, unsignedOk;
    } cases[] = {
        {"BothPass", {}, kTexelSigned, 1, 1},
        {"OnlyUnsigned", {{D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE, D3DFMT_Q16W16V16U16}}, kTexelUnsigned, 0, 1},
        // Failing the dynamic-texture probe alone makes a format unusable.
        {"SignedWithoutDynamic", {{D3DUSAGE_DYNAMIC, D3DRTYPE_TEXTURE, D3DFMT_Q16W16V16U16}}, kTexelUnsigned, 0, 1},
        {"OnlySigned", {{0, D3DRTYPE_TEXTURE, D3DFMT_A16B16G16R16}}, kTexelSigned, 1, 0},
    };
    ASSERT_TRUE(Open());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProxyReset();
        for (const Refusal::Probe& p : c.failed)
            ProxySetFormatResult(p.usage, p.type, p.format, D3DERR_NOTAVAILABLE);
        ASSERT_EQ(CheckDeviceCaps(r), S_OK);
        EXPECT_EQ(r->texelFormat, c.texelFormat);
        EXPECT_EQ(r->signedTexelOk, c.signedOk);
        EXPECT_EQ(r->unsignedTexelOk, c.unsignedOk);
        // The plan is made in the chosen format.
        ASSERT_TRUE(SetSizes(r, 64, 48, 32, 48, 64));
        D3DSURFACE_DESC desc;
        ASSERT_EQ(r->inputTexture->GetLevelDesc(0, &desc), D3D_OK);
        EXPECT_EQ(desc.Format, TexelD3dFormat(c.texelFormat));
        ReleaseSizeResources(r);
    }
    // A positive probe result ends the probing and still counts as usable.
    ProxyReset();
    ProxySetFormatResult(D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE, D3DFMT_Q16W16V16U16, S_FALSE);
    ProxySetFormatResult(D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE, D3DFMT_A16B16G16R16, D3DERR_NOTAVAILABLE);
    ASSERT_EQ(CheckDeviceCaps(r), S_OK);
    EXPECT_EQ(r->texelFormat, kTexelSigned);
    EXPECT_EQ(r->unsignedTexelOk, 0);
}

TEST_F(GpuResizerTest, FailedStepsOfBringUpShowTheirMessage)
{
    struct Case {
        const char* name;
        ProxyFault fault;
        Texts messages;
    } cases[] = {
        {"Direct3DCreate9", {ProxyCall::Direct3DCreate9, E_FAIL}, {"Direct3DCreate9()が失敗しました"}},
        {"CreateDevice", {ProxyCall::CreateDevice, D3DERR_NOTAVAILABLE}, {"D3Dデバイスの作成に失敗しました"}},
        {"CreateVertexDeclaration", {ProxyCall::CreateVertexDeclaration, E_OUTOFMEMORY},
         {"頂点宣言の作成に失敗しました"}},
        // Both are silent: the caller only learns that the device cannot be used.
        {"GetDeviceCaps", {ProxyCall::GetDeviceCaps, D3DERR_INVALIDCALL}, {}},
        {"GetDisplayMode", {ProxyCall::GetDisplayMode, D3DERR_INVALIDCALL}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProxyReset();
        ProxyAddFault(&c.fault);
        EXPECT_FALSE(Open());
        EXPECT_EQ(Messages(), c.messages);
        EXPECT_EQ(r->device, nullptr);
        EXPECT_EQ(ProxyLiveObjects(), 0) << LiveObjects();
    }
    // The library survives a failed bring-up, and the next one succeeds.
    ProxyReset();
    EXPECT_NE(r->d3dxModule, nullptr);
    EXPECT_TRUE(Open());
}

TEST_F(GpuResizerTest, SecondOpenStartsFromACleanRecord)
{
    ASSERT_TRUE(Open());
    ASSERT_TRUE(SetSizes(r, 64, 48, 96, 72, 96));
    const HMODULE library = r->d3dxModule;
    const DWORD firstWorkerThread = r->worker->threadId;
    const long loads = ProxyCallCount(ProxyCall::CreateDevice);

    ASSERT_TRUE(Open());
    EXPECT_EQ(ProxyCallCount(ProxyCall::CreateDevice), loads + 1);
    EXPECT_EQ(r->d3dxModule, library);
    ASSERT_NE(r->worker, nullptr);
    EXPECT_NE(r->worker->threadId, firstWorkerThread);
    EXPECT_NE(r->worker->thread, nullptr);
    // The plan went with the old device; the objects of the first bring-up are gone.
    EXPECT_EQ(r->inputTexture, nullptr);
    EXPECT_EQ(r->sysOutputTexture, nullptr);
    EXPECT_EQ(ProxyLiveObjects(), 2 + 1) << LiveObjects();  // Direct3D object, device, declaration
    ASSERT_TRUE(SetSizes(r, 64, 48, 96, 72, 96));
    // Everything goes, however often it is asked.
    EXPECT_TRUE(ReleaseAll(r));
    EXPECT_TRUE(ReleaseAll(r));
    EXPECT_EQ(ProxyLiveObjects(), 0) << LiveObjects();
    EXPECT_EQ(r->d3dxModule, library);
}

}  // namespace
