// Records of the resizer on the device behind the test proxy, with every
// message box they show observed and closed, and the proxy's count of live
// Direct3D objects checked when they are done with.
//
// GpuResizerTest gives each test a fresh record, for the tests of bring-up.
// OpenedResizerTest opens one record for the whole suite (a bring-up costs
// seconds on a software device); each of its tests starts without a plan
// and with the proxy's faults and fakes cleared.
#pragma once

#include "d3d9_proxy.h"
#include "filter_abi.h"
#include "gpu_resizer.h"
#include "message_box_watcher.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// The texts of the boxes seen since the last call, UTF-8, in order; each box
// must be the plug-in's error box. Waits up to a few seconds for `expected`
// boxes when given (boxes shown by the worker's thread come late).
std::vector<std::string> TakeMessages(MessageBoxWatcher& watcher, size_t expected = 0);
// Fails the test for every box it did not take.
void ExpectNoMoreBoxes(MessageBoxWatcher& watcher);

// The proxy's live objects, one per line, for failure output.
std::string LiveObjects();

// A run of the host's worker threads for the transfer (runOnThreads).
int32_t __cdecl RunOnFourThreads(RowTaskFn task, void* param1, void* param2);

class GpuResizerTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // OpenDevice on the test's record; the record's window is the focus window.
    bool Open(int32_t adapterSetting = 0);
    std::vector<std::string> Messages(size_t expected = 0) { return TakeMessages(watcher, expected); }
    // Destroys the record now (the test checks what is left afterwards).
    void Destroy();

    GpuResizer* r = nullptr;
    FilterRecord record = {};
    HWND window = nullptr;
    MessageBoxWatcher watcher;
};

class OpenedResizerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;

    // SetSizes and UpdateWeights for a plan; fails the test on error.
    void Plan(int32_t srcWidth, int32_t srcHeight, int32_t dstWidth, int32_t dstHeight, int radius = 3,
              int32_t rowStride = -1);
    std::vector<std::string> Messages(size_t expected = 0) { return TakeMessages(watcher, expected); }

    static GpuResizer* r;
    // Live objects of the opened record without a plan: the Direct3D object,
    // the device and the vertex declaration.
    static constexpr int kOpenedObjects = 3;
    MessageBoxWatcher watcher;

private:
    static FilterRecord record;
    static HWND window;
};
