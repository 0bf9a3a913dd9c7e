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
    for (const ObservedBox& box : watcher.take())
        ADD_FAILURE() << "message box not expected by the test: " << DescribeBox(box);
    if (window)
        DestroyWindow(window);
}

bool GpuResizerTest::Open(int32_t adapterSetting)
{
    return OpenDevice(r, &record, adapterSetting);
}

void GpuResizerTest::OpenWithPlan(int32_t srcWidth, int32_t srcHeight, int32_t dstWidth, int32_t dstHeight,
                                  int radius, int32_t rowStride)
{
    ASSERT_TRUE(Open()) << ::testing::PrintToString(Messages());
    if (rowStride < 0)
        rowStride = srcWidth > dstWidth ? srcWidth : dstWidth;
    ASSERT_TRUE(SetSizes(r, srcWidth, srcHeight, dstWidth, dstHeight, rowStride));
    ASSERT_TRUE(UpdateWeights(r, radius));
}

std::vector<std::string> GpuResizerTest::Messages(size_t expected)
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

void GpuResizerTest::Destroy()
{
    if (r) {
        DestroyGpuResizer(r);
        r = nullptr;
    }
}
