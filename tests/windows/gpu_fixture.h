// A GpuResizer opened the way the filter opens it, on the device behind the
// test proxy, with every message box it shows observed and closed. Each test
// ends with the record destroyed, no box left unexamined and no Direct3D
// object of the proxy still alive.
#pragma once

#include "d3d9_proxy.h"
#include "filter_abi.h"
#include "gpu_resizer.h"
#include "message_box_watcher.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class GpuResizerTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // OpenDevice on the test's record; the record's window is the focus window.
    bool Open(int32_t adapterSetting = 0);
    // Open, then SetSizes and UpdateWeights for a plan; fails the test on error.
    void OpenWithPlan(int32_t srcWidth, int32_t srcHeight, int32_t dstWidth, int32_t dstHeight, int radius = 3,
                      int32_t rowStride = -1);
    // The texts of the boxes shown since the last call, UTF-8, in order.
    // Waits up to a few seconds for `expected` boxes when given.
    std::vector<std::string> Messages(size_t expected = 0);
    // Destroys the record now (the test checks what is left afterwards).
    void Destroy();

    GpuResizer* r = nullptr;
    FilterRecord record = {};
    HWND window = nullptr;
    MessageBoxWatcher watcher;
};

// The proxy's live objects, one per line, for failure output.
std::string LiveObjects();

// A run of the host's worker threads for the transfer (runOnThreads).
int32_t __cdecl RunOnFourThreads(RowTaskFn task, void* param1, void* param2);
