// The resampling plan on the real device behind the test proxy: the
// resources of each kind of plan with their creation parameters, the bound
// per-size constants, the refusal of bad sizes, and each creation failure
// with its message.
#include "gpu_fixture.h"
#include "resample_plan.h"

#include <cstring>

namespace {

using Texts = std::vector<std::string>;

struct PlanCase {
    int32_t srcWidth, srcHeight, dstWidth, dstHeight;
    int32_t midWidth, midHeight;
    int32_t pass1, pass2;
};

void ExpectTexture(IDirect3DTexture9* texture, UINT width, UINT height, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                   const char* name)
{
    SCOPED_TRACE(name);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->GetLevelCount(), 1u);
    D3DSURFACE_DESC desc;
    ASSERT_EQ(texture->GetLevelDesc(0, &desc), D3D_OK);
    EXPECT_EQ(desc.Width, width);
    EXPECT_EQ(desc.Height, height);
    EXPECT_EQ(desc.Usage, usage);
    EXPECT_EQ(desc.Format, format);
    EXPECT_EQ(desc.Pool, pool);
}

TEST_F(OpenedResizerTest, EachKindOfPlanHasItsResources)
{
    const PlanCase cases[] = {
        {640, 480, 1280, 720, 640, 720, 3, 1},
        {1920, 1080, 1280, 720, 1280, 1080, 0, 2},
        {1920, 480, 1280, 720, 1280, 480, 0, 3},
        {640, 480, 1280, 360, 640, 360, 2, 1},
        {1280, 480, 1280, 720, 1280, 720, 3, -1},
        {1920, 720, 1280, 720, 1280, 720, 0, -1},
        {640, 480, 640, 480, 640, 480, -1, -1},
    };
    const D3DFORMAT texel = TexelD3dFormat(r->texelFormat);
    for (const PlanCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.srcWidth << "x" << c.srcHeight << " -> " << c.dstWidth << "x"
                                          << c.dstHeight);
        ASSERT_TRUE(SetSizes(r, c.srcWidth, c.srcHeight, c.dstWidth, c.dstHeight, 2000));
        EXPECT_EQ(r->midWidth, c.midWidth);
        EXPECT_EQ(r->midHeight, c.midHeight);
        EXPECT_EQ(r->pass1, c.pass1);
        EXPECT_EQ(r->pass2, c.pass2);
        EXPECT_EQ(r->rowStride, 2000);
        ExpectTexture(r->inputTexture, c.srcWidth, c.srcHeight, D3DUSAGE_DYNAMIC, texel, D3DPOOL_DEFAULT, "input");
        if (c.pass2 >= 0)
            ExpectTexture(r->midTexture, c.midWidth, c.midHeight, D3DUSAGE_RENDERTARGET, texel, D3DPOOL_DEFAULT,
                          "intermediate");
        else
            EXPECT_EQ(r->midTexture, nullptr);
        ExpectTexture(r->sysOutputTexture, c.dstWidth, c.dstHeight, 0, texel, D3DPOOL_SYSTEMMEM, "system output");
        ExpectTexture(r->weightTexture, 256, 16, 0, D3DFMT_V16U16, D3DPOOL_DEFAULT, "weights");
        ExpectTexture(r->sysWeightTexture, 256, 16, 0, D3DFMT_V16U16, D3DPOOL_SYSTEMMEM, "system weights");
        ASSERT_NE(r->rtSurface, nullptr);
        D3DSURFACE_DESC target;
        ASSERT_EQ(r->rtSurface->GetDesc(&target), D3D_OK);
        EXPECT_EQ(target.Width, static_cast<UINT>(c.dstWidth));
        EXPECT_EQ(target.Height, static_cast<UINT>(c.dstHeight));
        EXPECT_EQ(target.Format, texel);
        EXPECT_EQ(target.Usage, static_cast<DWORD>(D3DUSAGE_RENDERTARGET));
        EXPECT_EQ(target.MultiSampleType, D3DMULTISAMPLE_NONE);
        ASSERT_NE(r->vertexBuffer, nullptr);
        D3DVERTEXBUFFER_DESC buffer;
        ASSERT_EQ(r->vertexBuffer->GetDesc(&buffer), D3D_OK);
        EXPECT_EQ(buffer.Size, 256u);
        EXPECT_EQ(buffer.Usage, static_cast<DWORD>(D3DUSAGE_WRITEONLY));
        EXPECT_EQ(buffer.FVF, 0u);
        EXPECT_EQ(buffer.Pool, D3DPOOL_DEFAULT);
        // Everything the effect reads is bound to the plan's objects.
        IDirect3DBaseTexture9* bound = nullptr;
        ASSERT_EQ(r->effect->GetTexture(r->hTxSrc, &bound), D3D_OK);
        EXPECT_EQ(bound, r->inputTexture);
        if (bound)
            bound->Release();
        ASSERT_EQ(r->effect->GetTexture(r->hTxWgt, &bound), D3D_OK);
        EXPECT_EQ(bound, r->weightTexture);
        if (bound)
            bound->Release();
        EXPECT_EQ(r->effect->GetCurrentTechnique(), r->hTechnique);
    }
}

TEST_F(OpenedResizerTest, PlanConstantsAndQuadsReachTheDevice)
{
    ASSERT_TRUE(SetSizes(r, 640, 480, 1280, 720, 1280));
    D3DXVECTOR4 v;
    ASSERT_EQ(r->effect->GetVector(r->hRszSrc, &v), D3D_OK);
    EXPECT_EQ(v.x, static_cast<float>(1.0 / 640));
    EXPECT_EQ(v.y, static_cast<float>(1.0 / 480));
    EXPECT_EQ(v.z, 0.0f);
    EXPECT_EQ(v.w, 0.0f);
    ASSERT_EQ(r->effect->GetVector(r->hMinRt, &v), D3D_OK);
    EXPECT_EQ(v.x, 2.0f);
    EXPECT_EQ(v.y, 1.5f);
    EXPECT_EQ(v.z, 0.0f);
    EXPECT_EQ(v.w, 0.0f);

    // The buffer holds the two quads (read back through a lock; the device
    // keeps write-only buffers in memory it can return).
    ASSERT_TRUE(SetSizes(r, 1920, 1080, 1280, 720, 1920));
    float expected[kQuadBufferFloats];
    FillQuadVertices(expected, 1920, 1080, 1280, 1080, 1280, 720);
    void* data = nullptr;
    ASSERT_EQ(r->vertexBuffer->Lock(0, 0, &data, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(std::memcmp(data, expected, sizeof expected), 0);
    const float* vertex5 = static_cast<const float*>(data) + 5 * kQuadVertexFloats;
    const float vertex5Expected[] = {1279.5f, -0.5f, 1.0f, 1.0f, 1.0f, 0.0f, 1279.5f, -0.5f};
    EXPECT_EQ(std::memcmp(vertex5, vertex5Expected, sizeof vertex5Expected), 0);
    r->vertexBuffer->Unlock();
}

TEST_F(OpenedResizerTest, BadSizesChangeNothingAndShowNothing)
{
    GpuResizer fresh;
    InitGpuResizer(&fresh);
    EXPECT_FALSE(SetSizes(&fresh, 640, 480, 1280, 720, 1280));  // no effect, no limits yet

    ASSERT_TRUE(SetSizes(r, 640, 480, 1280, 720, 1280));
    const GpuResizer before = *r;
    const struct {
        int32_t sw, sh, dw, dh, stride;
    } bad[] = {
        {31, 480, 1280, 720, 1280},         {640, 31, 1280, 720, 1280},   {640, 480, 31, 720, 1280},
        {640, 480, 1280, 31, 1280},         {r->maxTexWidth + 1, 480, 1280, 720, r->maxTexWidth + 1},
        {640, r->maxTexHeight + 1, 1280, 720, 1280},
        {640, 480, 1280, 720, 1279},        {1280, 480, 640, 720, 1279},  {640, 480, 1280, 720, -1},
    };
    for (const auto& b : bad) {
        EXPECT_FALSE(SetSizes(r, b.sw, b.sh, b.dw, b.dh, b.stride)) << b.sw << "x" << b.sh << " " << b.dw << "x" << b.dh;
        EXPECT_EQ(std::memcmp(&before, r, sizeof before), 0);
    }
    EXPECT_TRUE(Messages().empty());
}

TEST_F(OpenedResizerTest, ReleasesMayRunAnyNumberOfTimes)
{
    Plan(96, 64, 64, 96);
    ReleaseDeviceResources(r);
    ReleaseDeviceResources(r);
    EXPECT_TRUE(!r->vertexBuffer && !r->weightTexture && !r->inputTexture && !r->midTexture && !r->rtSurface);
    // The system-memory textures outlive the default-pool objects.
    EXPECT_NE(r->sysWeightTexture, nullptr);
    EXPECT_NE(r->sysOutputTexture, nullptr);
    ReleaseSizeResources(r);
    ReleaseSizeResources(r);
    EXPECT_TRUE(!r->sysWeightTexture && !r->sysOutputTexture);
}

ProxyFault CreationFault(ProxyCall call, DWORD usage, D3DPOOL pool, D3DFORMAT format)
{
    ProxyFault f{call, E_OUTOFMEMORY};
    f.matchUsage = true;
    f.usage = usage;
    f.matchPool = true;
    f.pool = pool;
    f.format = format;
    return f;
}

TEST_F(OpenedResizerTest, EachFailedCreationShowsItsMessage)
{
    const D3DFORMAT texel = TexelD3dFormat(r->texelFormat);
    struct Case {
        const char* name;
        ProxyFault fault;
        const char* message;
    } cases[] = {
        {"SystemOutput", CreationFault(ProxyCall::CreateTexture, 0, D3DPOOL_SYSTEMMEM, texel),
         "システムテクスチャ（出力）の作成に失敗しました"},
        {"SystemWeights", CreationFault(ProxyCall::CreateTexture, 0, D3DPOOL_SYSTEMMEM, D3DFMT_V16U16),
         "システムテクスチャ（重み）の作成に失敗しました"},
        {"VertexBuffer", {ProxyCall::CreateVertexBuffer, E_OUTOFMEMORY}, "頂点のセットに失敗しました"},
        {"Input", CreationFault(ProxyCall::CreateTexture, D3DUSAGE_DYNAMIC, D3DPOOL_DEFAULT, texel),
         "テクスチャ（入力）の作成に失敗しました"},
        {"Intermediate", CreationFault(ProxyCall::CreateTexture, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT, texel),
         "テクスチャ（中間）の作成に失敗しました"},
        {"Weights", CreationFault(ProxyCall::CreateTexture, 0, D3DPOOL_DEFAULT, D3DFMT_V16U16),
         "テクスチャ（重み）の作成に失敗しました"},
        {"RenderTarget", {ProxyCall::CreateRenderTarget, E_OUTOFMEMORY}, "RTサーフェスの作成に失敗しました"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProxyReset();
        ProxyAddFault(&c.fault);
        EXPECT_FALSE(SetSizes(r, 96, 64, 64, 96, 96));
        EXPECT_EQ(Messages(), Texts({c.message}));
        // The new sizes are kept; the plan is not drawable.
        EXPECT_EQ(r->srcWidth, 96);
        EXPECT_EQ(r->rtSurface, nullptr);
        EXPECT_FALSE(RenderFrame(r));
        // Once the fault is gone the next rebuild makes the whole plan.
        ProxyReset();
        ReleaseSizeResources(r);
        EXPECT_TRUE(SetSizes(r, 96, 64, 64, 96, 96));
        EXPECT_NE(r->rtSurface, nullptr);
        EXPECT_TRUE(Messages().empty());
    }
}

TEST_F(OpenedResizerTest, UnlockableVertexBufferIsNotReported)
{
    ProxyFault lock{ProxyCall::VertexBufferLock, D3DERR_INVALIDCALL};
    ProxyAddFault(&lock);
    EXPECT_TRUE(SetSizes(r, 96, 64, 64, 96, 96));
    EXPECT_EQ(ProxyCallCount(ProxyCall::VertexBufferUnlock), 0);
    EXPECT_TRUE(Messages().empty());
}

}  // namespace
