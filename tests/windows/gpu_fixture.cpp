#include "gpu_fixture.h"

#include "thread_pool.h"

#include <chrono>

namespace {

HWND CreateHiddenWindow()
{
    return CreateWindowExW(0, L"STATIC", L"tobrel gpu test", WS_OVERLAPPEDWINDOW, 0, 0, 64, 64, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

}  // namespace

std::vector<std::string> TakeMessages(MessageBoxWatcher& watcher, size_t expected)
{
    if (expected)
        watcher.waitFor(expected, std::chrono::seconds(20));
    std::vector<std::string> texts;
    for (const ObservedBox& box : watcher.take()) {
        // Every message of the plug-in comes in the same box.
        EXPECT_EQ(box.caption, L"Kavrinリサイズフィルタ");
        EXPECT_TRUE(box.errorIcon && box.topmost && !box.owned) << DescribeBox(box);
        texts.push_back(ToUtf8(box.text));
    }
    return texts;
}

void ExpectNoMoreBoxes(MessageBoxWatcher& watcher)
{
    for (const ObservedBox& box : watcher.take())
        ADD_FAILURE() << "message box not expected by the test: " << DescribeBox(box);
}

std::string LiveObjects()
{
    char buffer[4096] = {};
    ProxyDescribeLiveObjects(buffer, sizeof buffer);
    return buffer;
}

int32_t __cdecl RunOnFourThreads(RowTaskFn task, void* param1, void* param2)
{
    static HostThreadPool pool(4);
    pool.run([&](int index, int count) { task(index, count, param1, param2); });
    return 1;
}

void GpuResizerTest::SetUp()
{
    ProxyReset();
    window = CreateHiddenWindow();
    ASSERT_NE(window, nullptr);
    record.hostWindow = window;
    r = new GpuResizer;
    InitGpuResizer(r);
}

void GpuResizerTest::TearDown()
{
    Destroy();
    ProxyReset();
    EXPECT_EQ(ProxyLiveObjects(), 0) << LiveObjects();
    ExpectNoMoreBoxes(watcher);
    if (window)
        DestroyWindow(window);
}

bool GpuResizerTest::Open(int32_t adapterSetting)
{
    return OpenDevice(r, &record, adapterSetting);
}

void GpuResizerTest::Destroy()
{
    if (r) {
        DestroyGpuResizer(r);
        r = nullptr;
    }
}

GpuResizer* OpenedResizerTest::r = nullptr;
FilterRecord OpenedResizerTest::record = {};
HWND OpenedResizerTest::window = nullptr;

void OpenedResizerTest::SetUpTestSuite()
{
    ProxyReset();
    window = CreateHiddenWindow();
    record.hostWindow = window;
    r = new GpuResizer;
    InitGpuResizer(r);
    MessageBoxWatcher watcher;
    if (!OpenDevice(r, &record, 0)) {
        for (const std::string& text : TakeMessages(watcher))
            ADD_FAILURE() << text;
        DestroyGpuResizer(r);
        r = nullptr;
    }
}

void OpenedResizerTest::TearDownTestSuite()
{
    if (r)
        DestroyGpuResizer(r);
    r = nullptr;
    ProxyReset();
    EXPECT_EQ(ProxyLiveObjects(), 0) << LiveObjects();
    if (window)
        DestroyWindow(window);
    window = nullptr;
}

void OpenedResizerTest::SetUp()
{
    ASSERT_NE(r, nullptr) << "the suite's device could not be opened";
    ProxyReset();
    ASSERT_EQ(ProxyLiveObjects(), kOpenedObjects) << LiveObjects();
}

void OpenedResizerTest::TearDown()
{
    if (!r)
        return;
    ProxyReset();
    ReleaseSizeResources(r);
    // The effect's bindings hold the last plan's textures until the next
    // plan is bound; the next test starts without them.
    r->effect->SetTexture(r->hTxWgt, nullptr);
    r->effect->SetTexture(r->hTxSrc, nullptr);
    EXPECT_EQ(ProxyLiveObjects(), kOpenedObjects) << LiveObjects();
    ExpectNoMoreBoxes(watcher);
}

void OpenedResizerTest::Plan(int32_t srcWidth, int32_t srcHeight, int32_t dstWidth, int32_t dstHeight, int radius,
                             int32_t rowStride)
{
    if (rowStride < 0)
        rowStride = srcWidth > dstWidth ? srcWidth : dstWidth;
    ASSERT_TRUE(SetSizes(r, srcWidth, srcHeight, dstWidth, dstHeight, rowStride));
    ASSERT_TRUE(UpdateWeights(r, radius));
}
