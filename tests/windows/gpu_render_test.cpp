// Frames through the resizer on the real device behind the test proxy:
// upload, draw, read-back and download against the CPU model in both texel
// formats, serial and on the worker, on one thread and on the host's
// threads; the order of the draws; the weight upload; device loss and
// reset; and every failure of the road with its message.
#include "gpu_fixture.h"
#include "gpu_frame.h"
#include "pixel_transfer.h"
#include "render_worker.h"
#include "resample_plan.h"
#include "row_copy.h"
#include "weight_table.h"

#include <cstdio>
#include <cstring>
#include <sstream>

namespace {

using Texts = std::vector<std::string>;

enum class Mode { Serial, Parallel };

// One frame the way the frame driver runs it; false when a step failed.
bool RunFrame(GpuResizer* r, const HostFrame& source, HostFrame* output, Mode mode, RunOnThreadsFn threads)
{
    if (!UploadFrame(r, source.pixels.data(), threads))
        return false;
    if (mode == Mode::Serial) {
        if (!RenderFrame(r))
            return false;
    } else if (!KickRender(r)) {
        return false;
    }
    return FinishFrame(r, output->pixels.data(), threads);
}

// One unit after one pass. After two, a one-unit difference in the stored
// intermediate image reaches the output scaled by the kernel's absolute gain
// (about 1.3 for radius 3), so the output may differ by two.
double MaxDeviation(const HostFrame& source, const HostFrame& output)
{
    return source.width != output.width && source.height != output.height ? 2 : 1;
}

struct FrameCase {
    int srcWidth, srcHeight, dstWidth, dstHeight, radius;
};

// Both kinds of one-pass plan and three kinds of two-pass plan, small
// enough for a software device.
const FrameCase kFrameCases[] = {
    {96, 64, 64, 96, 3},   // width shrinks first, then the height grows
    {48, 40, 80, 64, 2},   // both grow: vertical first
    {100, 72, 40, 36, 4},  // both shrink
    {64, 48, 100, 48, 3},  // horizontal enlarge only
    {64, 90, 64, 40, 1},   // vertical reduce only
};

// Each case runs in one of the four ways (serial or on the worker, one
// thread or the host's threads); `shift` rotates the assignment, so that the
// two texel formats together run every case in two ways.
void ExpectFramesMatchTheModel(GpuResizer* r, int shift)
{
    unsigned seed = 1;
    int i = 0;
    for (const FrameCase& c : kFrameCases) {
        const int way = (i++ + shift) % 4;
        const Mode mode = way & 1 ? Mode::Parallel : Mode::Serial;
        const RunOnThreadsFn threads = way & 2 ? &RunOnFourThreads : nullptr;
        SCOPED_TRACE(::testing::Message() << c.srcWidth << "x" << c.srcHeight << " -> " << c.dstWidth << "x"
                                          << c.dstHeight << " radius " << c.radius
                                          << (mode == Mode::Serial ? " serial" : " parallel")
                                          << (threads ? " threaded" : " single"));
        // Rows a few pixels longer than either frame, as a host's buffer is.
        const int stride = std::max(c.srcWidth, c.dstWidth) + 3;
        ReleaseSizeResources(r);
        ASSERT_TRUE(SetSizes(r, c.srcWidth, c.srcHeight, c.dstWidth, c.dstHeight, stride));
        ASSERT_TRUE(UpdateWeights(r, c.radius));
        // Two frames in a row: the second must not show the first.
        for (int frame = 0; frame < 2; ++frame) {
            const HostFrame source = MakeSourceFrame(c.srcWidth, c.srcHeight, stride, seed++);
            HostFrame output = MakeOutputFrame(c.dstWidth, c.dstHeight, stride, c.dstHeight + 1);
            ASSERT_TRUE(RunFrame(r, source, &output, mode, threads));
            const FrameComparison cmp = CompareWithModel(source, output, c.radius, r->texelFormat);
            // Nearly every value exact: the device's float arithmetic differs
            // from the model's double sums in the last bit of a rounding now
            // and then.
            EXPECT_LE(cmp.maxDeviation, MaxDeviation(source, output)) << cmp.describe();
            EXPECT_LE(cmp.meanDeviation, 0.03) << cmp.describe();
            EXPECT_GE(cmp.exactShare, 0.97) << cmp.describe();
            EXPECT_TRUE(cmp.guardsIntact) << cmp.describe();
        }
    }
}

TEST_F(OpenedResizerTest, FramesMatchTheModelInTheSignedFormat)
{
    ASSERT_EQ(r->texelFormat, kTexelSigned);
    ExpectFramesMatchTheModel(r, 0);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(OpenedResizerTest, FramesMatchTheModelInTheUnsignedFormat)
{
    // A device without the signed format: the plans are made in the unsigned one.
    ProxySetFormatResult(D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE, D3DFMT_Q16W16V16U16, D3DERR_NOTAVAILABLE);
    ASSERT_EQ(CheckDeviceCaps(r), S_OK);
    ASSERT_EQ(r->texelFormat, kTexelUnsigned);
    ExpectFramesMatchTheModel(r, 2);
    EXPECT_TRUE(Messages().empty());
    ReleaseSizeResources(r);
    ProxyReset();
    ASSERT_EQ(CheckDeviceCaps(r), S_OK);
    EXPECT_EQ(r->texelFormat, kTexelSigned);
}

// The log's draw-related entries, in order.
std::vector<std::string> DrawLog()
{
    static char buffer[1 << 16];
    ProxyReadLog(buffer, sizeof buffer);
    std::vector<std::string> lines;
    std::istringstream in(buffer);
    std::string line;
    while (std::getline(in, line))
        for (const char* prefix : {"BeginScene", "EndScene", "SetRenderTarget", "SetStreamSource", "DrawPrimitive",
                                   "GetRenderTargetData"})
            if (line.rfind(prefix, 0) == 0)
                lines.push_back(line);
    return lines;
}

std::string Format(const char* format, const void* a = nullptr, const void* b = nullptr)
{
    char text[160];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

TEST_F(OpenedResizerTest, OnePassPlanDrawsOnceIntoTheRenderTarget)
{
    Plan(64, 48, 100, 48);
    ProxySetLogging(true);
    DrawLog();
    ASSERT_TRUE(RenderFrame(r));
    ASSERT_EQ(ReadBack(r), D3D_OK);
    // The read-back's destination is level 0 of the system copy.
    IDirect3DSurface9* level = nullptr;
    ASSERT_EQ(r->sysOutputTexture->GetSurfaceLevel(0, &level), D3D_OK);
    const std::vector<std::string> expected = {
        "BeginScene",
        Format("SetRenderTarget 0 %p", r->rtSurface),
        Format("SetStreamSource 0 %p 0 32", r->vertexBuffer),
        "DrawPrimitive 5 0 2",
        "EndScene",
        Format("GetRenderTargetData %p %p", r->rtSurface, level),
    };
    level->Release();
    EXPECT_EQ(DrawLog(), expected);
}

TEST_F(OpenedResizerTest, TwoPassPlanDrawsTheIntermediateFirst)
{
    Plan(96, 64, 64, 96);
    IDirect3DSurface9* middle = nullptr;
    ASSERT_EQ(r->midTexture->GetSurfaceLevel(0, &middle), D3D_OK);
    const std::string intoMiddle = Format("SetRenderTarget 0 %p", middle);
    middle->Release();
    ProxySetLogging(true);
    DrawLog();
    ASSERT_TRUE(RenderFrame(r));
    const std::vector<std::string> expected = {
        "BeginScene",
        intoMiddle,
        Format("SetStreamSource 0 %p 0 32", r->vertexBuffer),
        "DrawPrimitive 5 0 2",
        Format("SetRenderTarget 0 %p", r->rtSurface),
        Format("SetStreamSource 0 %p 128 32", r->vertexBuffer),
        "DrawPrimitive 5 0 2",
        "EndScene",
    };
    EXPECT_EQ(DrawLog(), expected);
    // The second pass read the intermediate image through txSrc.
    IDirect3DBaseTexture9* bound = nullptr;
    ASSERT_EQ(r->effect->GetTexture(r->hTxSrc, &bound), D3D_OK);
    EXPECT_EQ(bound, r->midTexture);
    if (bound)
        bound->Release();
}

TEST_F(OpenedResizerTest, NothingIsDrawnWithoutAPassOrAScene)
{
    // Equal sizes plan no pass: the frame driver copies such frames itself.
    Plan(64, 48, 64, 48);
    EXPECT_EQ(r->pass1, -1);
    ProxyReset();
    EXPECT_FALSE(RenderFrame(r));
    EXPECT_EQ(ProxyCallCount(ProxyCall::BeginScene), 0);

    // A scene that cannot begin draws nothing, yet the frame goes on.
    ReleaseSizeResources(r);
    ASSERT_TRUE(SetSizes(r, 64, 48, 100, 48, 100));
    ProxyFault scene{ProxyCall::BeginScene, D3DERR_INVALIDCALL};
    ProxyAddFault(&scene);
    EXPECT_TRUE(RenderFrame(r));
    EXPECT_EQ(ProxyCallCount(ProxyCall::DrawPrimitive), 0);
    EXPECT_EQ(ProxyCallCount(ProxyCall::EndScene), 0);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(OpenedResizerTest, WeightsFollowTheClampedRadius)
{
    Plan(1920, 1080, 1280, 720);
    struct Case {
        int radius, applied;
        INT repX, repY;
    } cases[] = {{3, 3, 5, 5}, {0, 1, 2, 2}, {-7, 1, 2, 2}, {16, 15, 23, 23}, {99, 15, 23, 23}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.radius);
        ProxyReset();
        ASSERT_TRUE(UpdateWeights(r, c.radius));
        INT radius = 0, rep[2] = {};
        ASSERT_EQ(r->effect->GetInt(r->hRadius, &radius), D3D_OK);
        EXPECT_EQ(radius, c.applied);
        ASSERT_EQ(r->effect->GetIntArray(r->hRep, rep, 2), D3D_OK);
        EXPECT_EQ(rep[0], c.repX);
        EXPECT_EQ(rep[1], c.repY);
        EXPECT_EQ(ProxyCallCount(ProxyCall::UpdateTexture), 1);
        // The system copy holds the table of the clamped radius.
        std::vector<unsigned char> table(kWeightTableRowBytes * kWeightTableRows);
        FillWeightTable(table.data(), kWeightTableRowBytes, c.applied);
        D3DLOCKED_RECT locked;
        ASSERT_EQ(r->sysWeightTexture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
        for (int row = 0; row < kWeightTableRows; ++row)
            EXPECT_EQ(std::memcmp(static_cast<unsigned char*>(locked.pBits) + row * locked.Pitch,
                                  table.data() + row * kWeightTableRowBytes, kWeightTableRowBytes),
                      0)
                << "row " << row;
        r->sysWeightTexture->UnlockRect(0);
    }
    // A strong reduction is capped at 255 pairs.
    ReleaseSizeResources(r);
    ASSERT_TRUE(SetSizes(r, 2048, 64, 32, 64, 2048));
    ASSERT_TRUE(UpdateWeights(r, 15));
    INT rep[2] = {};
    ASSERT_EQ(r->effect->GetIntArray(r->hRep, rep, 2), D3D_OK);
    EXPECT_EQ(rep[0], 255);
    EXPECT_EQ(rep[1], 15);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(OpenedResizerTest, WeightUploadFailures)
{
    Plan(96, 64, 64, 96);
    // Nothing to do without the effect or the system copy.
    ProxyReset();
    ID3DXEffect* effect = r->effect;
    r->effect = nullptr;
    EXPECT_FALSE(UpdateWeights(r, 3));
    r->effect = effect;
    IDirect3DTexture9* system = r->sysWeightTexture;
    r->sysWeightTexture = nullptr;
    EXPECT_FALSE(UpdateWeights(r, 3));
    r->sysWeightTexture = system;
    EXPECT_EQ(ProxyCallCount(ProxyCall::TextureLockRect), 0);

    struct Case {
        const char* name;
        ProxyCall call;
        HRESULT result;
        Texts messages;
        long uploads;
    } cases[] = {
        {"LockFails", ProxyCall::TextureLockRect, D3DERR_INVALIDCALL, {"重みのセットに失敗しました"}, 0},
        {"LockNotDone", ProxyCall::TextureLockRect, S_FALSE, {}, 0},
        {"UploadFails", ProxyCall::UpdateTexture, D3DERR_INVALIDCALL, {"重みのセットに失敗しました"}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProxyReset();
        ProxyFault fault{c.call, c.result};
        ProxyAddFault(&fault);
        EXPECT_TRUE(UpdateWeights(r, 5));
        EXPECT_EQ(Messages(), c.messages);
        EXPECT_EQ(ProxyCallCount(ProxyCall::UpdateTexture), c.uploads);
    }
    // Parameters without a handle are skipped; the table is still refreshed.
    ProxyReset();
    const D3DXHANDLE radiusHandle = r->hRadius, repHandle = r->hRep;
    r->hRadius = nullptr;
    r->hRep = nullptr;
    EXPECT_TRUE(UpdateWeights(r, 2));
    r->hRadius = radiusHandle;
    r->hRep = repHandle;
    EXPECT_EQ(ProxyCallCount(ProxyCall::UpdateTexture), 1);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(OpenedResizerTest, LostDeviceIsResetAndThePlanRebuilt)
{
    Plan(96, 64, 64, 96);
    // Lost: frames fail silently and nothing is reset.
    rebuildPending = 0;
    ProxyFault lost{ProxyCall::TestCooperativeLevel, D3DERR_DEVICELOST};
    lost.count = 2;
    ProxyAddFault(&lost);
    EXPECT_FALSE(CheckDevice(r));
    EXPECT_FALSE(CheckDevice(r));
    EXPECT_EQ(ProxyCallCount(ProxyCall::Reset), 0);
    EXPECT_EQ(rebuildPending, 0);
    EXPECT_NE(r->inputTexture, nullptr);

    // Ready to be reset: the default-pool objects go, the system copies stay,
    // and the plan must be rebuilt.
    ProxyFault notReset{ProxyCall::TestCooperativeLevel, D3DERR_DEVICENOTRESET};
    notReset.count = 1;
    ProxyAddFault(&notReset);
    EXPECT_TRUE(CheckDevice(r));
    EXPECT_EQ(ProxyCallCount(ProxyCall::Reset), 1);
    EXPECT_EQ(rebuildPending, 1);
    EXPECT_TRUE(!r->vertexBuffer && !r->weightTexture && !r->inputTexture && !r->midTexture && !r->rtSurface);
    EXPECT_TRUE(r->sysWeightTexture && r->sysOutputTexture && r->effect && r->vertexDecl);
    EXPECT_TRUE(Messages().empty());

    // The frame driver's rebuild, then the same frame goes through.
    ReleaseSizeResources(r);
    ASSERT_TRUE(SetSizes(r, 96, 64, 64, 96, 96));
    ASSERT_TRUE(UpdateWeights(r, 3));
    EXPECT_TRUE(CheckDevice(r));
    const HostFrame source = MakeSourceFrame(96, 64, 96, 7);
    HostFrame output = MakeOutputFrame(64, 96, 96, 96);
    ASSERT_TRUE(RunFrame(r, source, &output, Mode::Serial, nullptr));
    const FrameComparison cmp = CompareWithModel(source, output, 3, r->texelFormat);
    EXPECT_LE(cmp.maxDeviation, MaxDeviation(source, output)) << cmp.describe();
    EXPECT_TRUE(cmp.guardsIntact);
}

TEST_F(OpenedResizerTest, FailedResetIsReportedOncePerAttempt)
{
    Plan(96, 64, 64, 96);
    ProxyFault notReset{ProxyCall::TestCooperativeLevel, D3DERR_DEVICENOTRESET};
    ProxyAddFault(&notReset);
    ProxyFault reset{ProxyCall::Reset, D3DERR_INVALIDCALL};
    ProxyAddFault(&reset);
    rebuildPending = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_FALSE(CheckDevice(r));
        EXPECT_EQ(Messages(), Texts({"デバイスリセットに失敗しました"}));
    }
    EXPECT_EQ(ProxyCallCount(ProxyCall::Reset), 2);
    EXPECT_EQ(rebuildPending, 0);

    // Any other answer of the device is an error of its own.
    ProxyReset();
    ProxyFault odd{ProxyCall::TestCooperativeLevel, D3DERR_DRIVERINTERNALERROR};
    odd.count = 1;
    ProxyAddFault(&odd);
    EXPECT_FALSE(CheckDevice(r));
    EXPECT_EQ(Messages(), Texts({"TestCooperativeLevel()がエラーを返しました"}));

    // Without a device there is nothing to check, and nothing is shown.
    GpuResizer closed;
    InitGpuResizer(&closed);
    EXPECT_FALSE(CheckDevice(&closed));
    EXPECT_EQ(ResetDevice(&closed), D3DERR_INVALIDCALL);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(OpenedResizerTest, FailuresOnTheRoadOfASerialFrame)
{
    Plan(96, 64, 64, 96);
    const HostFrame source = MakeSourceFrame(96, 64, 96, 3);
    struct Case {
        const char* name;
        ProxyFault fault;
        Texts messages;
    } cases[] = {
        {"UploadLock", {ProxyCall::TextureLockRect, D3DERR_INVALIDCALL, r->inputTexture},
         {"サーフェスへコピーできませんでした"}},
        {"UploadUnlock", {ProxyCall::TextureUnlockRect, D3DERR_INVALIDCALL, r->inputTexture},
         {"サーフェスへコピーできませんでした"}},
        {"SystemLevel", {ProxyCall::TextureGetSurfaceLevel, D3DERR_INVALIDCALL, r->sysOutputTexture},
         {"システムサーフェスを取得できませんでした", "RTデータのコピーに失敗しました"}},
        {"ReadBack", {ProxyCall::GetRenderTargetData, D3DERR_DEVICELOST},
         {"デバイスからコピーできませんでした", "RTデータのコピーに失敗しました"}},
        {"DownloadLock", {ProxyCall::TextureLockRect, D3DERR_INVALIDCALL, r->sysOutputTexture},
         {"サーフェスからコピーできませんでした"}},
        {"DownloadUnlock", {ProxyCall::TextureUnlockRect, D3DERR_INVALIDCALL, r->sysOutputTexture},
         {"サーフェスからコピーできませんでした"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProxyReset();
        ProxyAddFault(&c.fault);
        HostFrame output = MakeOutputFrame(64, 96, 96, 96);
        EXPECT_FALSE(RunFrame(r, source, &output, Mode::Serial, nullptr));
        EXPECT_EQ(Messages(), c.messages);
        ProxyReset();
        // An unlock that failed left its texture locked.
        if (c.fault.call == ProxyCall::TextureUnlockRect)
            static_cast<IDirect3DTexture9*>(const_cast<void*>(c.fault.object))->UnlockRect(0);
    }
    // An intermediate level that cannot be had is reported; the frame goes on.
    ProxyReset();
    ProxyFault level{ProxyCall::TextureGetSurfaceLevel, D3DERR_INVALIDCALL, r->midTexture};
    ProxyAddFault(&level);
    EXPECT_TRUE(RenderFrame(r));
    EXPECT_EQ(Messages(), Texts({"テクスチャサーフェスを取得できませんでした"}));
    // Without an input texture nothing can be uploaded.
    ProxyReset();
    ReleaseDeviceResources(r);
    EXPECT_FALSE(UploadFrame(r, source.pixels.data(), nullptr));
    EXPECT_EQ(Messages(), Texts({"サーフェスへコピーできませんでした"}));
    // No output buffer, or no worker: the frame fails without a message.
    HostFrame output = MakeOutputFrame(64, 96, 96, 96);
    EXPECT_FALSE(FinishFrame(r, nullptr, nullptr));
    RenderWorker* worker = r->worker;
    r->worker = nullptr;
    EXPECT_FALSE(FinishFrame(r, output.pixels.data(), nullptr));
    r->worker = worker;
    EXPECT_TRUE(Messages().empty());
}

TEST_F(OpenedResizerTest, AFailedJobOfTheWorkerFailsItsFrame)
{
    Plan(96, 64, 64, 96);
    const HostFrame source = MakeSourceFrame(96, 64, 96, 5);
    HostFrame output = MakeOutputFrame(64, 96, 96, 96);

    // The worker's read-back fails: the frame fails as a serial one would,
    // and nothing is downloaded.
    ProxyFault readBack{ProxyCall::GetRenderTargetData, D3DERR_DEVICELOST};
    readBack.count = 1;
    ProxyAddFault(&readBack);
    EXPECT_FALSE(RunFrame(r, source, &output, Mode::Parallel, nullptr));
    EXPECT_EQ(Messages(2), Texts({"デバイスからコピーできませんでした", "RTデータのコピーに失敗しました"}));
    EXPECT_EQ(output.at(0, 0).y, kGuardPixel.y);

    // A job whose draw did not happen fails silently.
    const int32_t pass1 = r->pass1;
    r->pass1 = -1;
    EXPECT_FALSE(RunFrame(r, source, &output, Mode::Parallel, nullptr));
    r->pass1 = pass1;
    EXPECT_EQ(output.at(0, 0).y, kGuardPixel.y);

    // The next frame is good.
    ASSERT_TRUE(RunFrame(r, source, &output, Mode::Parallel, nullptr));
    EXPECT_LE(CompareWithModel(source, output, 3, r->texelFormat).maxDeviation, MaxDeviation(source, output));
    EXPECT_TRUE(Messages().empty());
}

TEST_F(OpenedResizerTest, AJobLeftWithoutAnOutputIsSettled)
{
    Plan(96, 64, 64, 96);
    const HostFrame first = MakeSourceFrame(96, 64, 96, 8);
    ASSERT_TRUE(UploadFrame(r, first.pixels.data(), nullptr));
    ASSERT_TRUE(KickRender(r));
    EXPECT_FALSE(FinishFrame(r, nullptr, nullptr));
    // The job's end was taken: no signal is left for a later wait.
    EXPECT_EQ(r->worker->kicked, 0);
    EXPECT_EQ(WaitForSingleObject(r->worker->doneEvent, 0), static_cast<DWORD>(WAIT_TIMEOUT));

    // So the next frame waits for its own job and gets its own picture.
    const HostFrame second = MakeSourceFrame(96, 64, 96, 9);
    HostFrame output = MakeOutputFrame(64, 96, 96, 96);
    ASSERT_TRUE(RunFrame(r, second, &output, Mode::Parallel, nullptr));
    EXPECT_LE(CompareWithModel(second, output, 3, r->texelFormat).maxDeviation, MaxDeviation(second, output));
    EXPECT_TRUE(Messages().empty());
}

TEST_F(OpenedResizerTest, AKickedFrameOfAnEndedWorkerFails)
{
    Plan(96, 64, 64, 96);
    const HostFrame source = MakeSourceFrame(96, 64, 96, 10);
    ASSERT_TRUE(UploadFrame(r, source.pixels.data(), nullptr));
    ASSERT_TRUE(RenderFrame(r));
    // A worker whose thread is gone, with a frame handed to it.
    StopWorker(r->worker);
    FreeRenderWorker(r->worker);
    r->worker = AllocRenderWorker();
    ASSERT_NE(r->worker, nullptr);
    EXPECT_FALSE(KickRender(r));
    r->worker->kicked = 1;
    HostFrame output = MakeOutputFrame(64, 96, 96, 96);
    EXPECT_FALSE(FinishFrame(r, output.pixels.data(), nullptr));
    EXPECT_EQ(r->worker->kicked, 0);
    EXPECT_EQ(output.at(0, 0).y, kGuardPixel.y);
    // Without a kick the frame drawn on this thread is still read back.
    EXPECT_TRUE(FinishFrame(r, output.pixels.data(), nullptr));
    EXPECT_TRUE(Messages().empty());
    // The suite's record gets a running worker again.
    StopWorker(r->worker);
    FreeRenderWorker(r->worker);
    r->worker = AllocRenderWorker();
    ASSERT_NE(r->worker, nullptr);
    ASSERT_EQ(StartWorker(r->worker, RenderJob, r), 0);
}

TEST_F(OpenedResizerTest, HostThreadsShareTheRowCounter)
{
    Plan(48, 1080, 32, 1080);
    const HostFrame source = MakeSourceFrame(48, 1080, 48, 11);
    ASSERT_TRUE(UploadFrame(r, source.pixels.data(), &RunOnFourThreads));
    // Every one of the four threads makes one last take that finds no row.
    EXPECT_EQ(rowCounter.load(), 1084);
    // Without the service the rows are copied here and the counter is left alone.
    rowCounter = 77;
    ASSERT_TRUE(UploadFrame(r, source.pixels.data(), nullptr));
    EXPECT_EQ(rowCounter.load(), 77);
}

}  // namespace
