// Which D3DX library the resizer loads. The test program runs several times
// with Wine's DLL overrides hiding some of the libraries (see CMakeLists);
// TOBREL_EXPECT_D3DX names the outcome that the run expects: the number of
// the library that must be loaded, "none", or "no-function" for a library
// that lacks D3DXCreateEffect.
#include "filter_abi.h"
#include "gpu_resizer.h"
#include "message_box_watcher.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

// A record on the real device (no proxy here: the test program sits in a
// directory of its own, beside a D3DX stand-in that lacks the function).
class GpuResizerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window = CreateWindowExW(0, L"STATIC", L"tobrel d3dx test", WS_OVERLAPPEDWINDOW, 0, 0, 64, 64, nullptr,
                                 nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(window, nullptr);
        record.hostWindow = window;
        r = new GpuResizer;
        InitGpuResizer(r);
    }
    void TearDown() override
    {
        DestroyGpuResizer(r);
        for (const ObservedBox& box : watcher.take())
            ADD_FAILURE() << "message box not expected by the test: " << DescribeBox(box);
        DestroyWindow(window);
    }
    bool Open() { return OpenDevice(r, &record, 0); }
    std::vector<std::string> Messages()
    {
        std::vector<std::string> texts;
        for (const ObservedBox& box : watcher.take())
            texts.push_back(ToUtf8(box.text));
        return texts;
    }

    GpuResizer* r = nullptr;
    FilterRecord record = {};
    HWND window = nullptr;
    MessageBoxWatcher watcher;
};

std::string Expectation()
{
    const char* value = std::getenv("TOBREL_EXPECT_D3DX");
    return value ? value : "";
}

TEST_F(GpuResizerTest, LoadsTheNewestAvailableLibrary)
{
    const std::string expected = Expectation();
    ASSERT_FALSE(expected.empty()) << "TOBREL_EXPECT_D3DX is not set";
    const HRESULT hr = LoadD3DX(r);
    if (expected == "none") {
        EXPECT_EQ(hr, E_FAIL);
        EXPECT_EQ(r->d3dxModule, nullptr);
        EXPECT_EQ(Messages(), std::vector<std::string>({"D3DXライブラリがロードできません。"
                                                        "最新のDirectXエンドユーザーランタイムを導入してください。"}));
        // OpenDevice stops there.
        EXPECT_FALSE(Open());
        EXPECT_EQ(Messages().size(), 1u);
        EXPECT_EQ(r->d3d, nullptr);
        return;
    }
    if (expected == "no-function") {
        EXPECT_EQ(hr, E_FAIL);
        EXPECT_EQ(r->d3dxModule, nullptr);
        EXPECT_EQ(r->createEffect, nullptr);
        // The library was let go again.
        EXPECT_EQ(GetModuleHandleW(L"d3dx9_42.dll"), nullptr);
        EXPECT_EQ(Messages(), std::vector<std::string>({"D3DX関数の取得に失敗しました。"
                                                        "最新のDirectXエンドユーザーランタイムを導入してみてください。"}));
        return;
    }
    ASSERT_EQ(hr, S_OK) << ::testing::PrintToString(Messages());
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(r->d3dxModule, path, MAX_PATH);
    EXPECT_NE(std::wstring(path).find(L"d3dx9_" + std::wstring(expected.begin(), expected.end()) + L".dll"),
              std::wstring::npos)
        << ToUtf8(path);
    EXPECT_NE(r->createEffect, nullptr);
    // A second look keeps the loaded library.
    const HMODULE module = r->d3dxModule;
    EXPECT_EQ(LoadD3DX(r), S_OK);
    EXPECT_EQ(r->d3dxModule, module);
    // And the whole bring-up works with it.
    EXPECT_TRUE(Open());
}

}  // namespace
