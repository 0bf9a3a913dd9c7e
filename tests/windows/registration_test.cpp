// The registration record as a host sees it: read through the DLL's export
// at the byte offsets the host expects, without the plug-in's own headers.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace {

using GetFilterTableFn = const uint8_t*(__cdecl*)();

class Registration : public ::testing::Test {
protected:
    void SetUp() override
    {
        module_ = LoadLibraryA("tobrel.auf");
        ASSERT_NE(module_, nullptr) << "tobrel.auf not found beside the test";
        getTable_ = reinterpret_cast<GetFilterTableFn>(reinterpret_cast<void*>(GetProcAddress(module_, "GetFilterTable")));
        ASSERT_NE(getTable_, nullptr);
        rec_ = getTable_();
        ASSERT_NE(rec_, nullptr);
    }
    void TearDown() override { FreeLibrary(module_); }

    uint32_t u32(int offset) const
    {
        uint32_t v;
        std::memcpy(&v, rec_ + offset, 4);
        return v;
    }
    int32_t i32(int offset) const { return static_cast<int32_t>(u32(offset)); }
    template <class T>
    const T* ptr(int offset) const { return reinterpret_cast<const T*>(static_cast<uintptr_t>(u32(offset))); }
    std::string str(int offset) const { return ptr<char>(offset); }
    int32_t arr(int offset, int i) const { return ptr<int32_t>(offset)[i]; }
    std::string strAt(int offset, int i) const { return ptr<const char*>(offset)[i]; }
    bool insideModule(uint32_t address) const
    {
        const auto base = reinterpret_cast<uintptr_t>(module_);
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
        return address >= base && address < base + nt->OptionalHeader.SizeOfImage;
    }

    HMODULE module_ = nullptr;
    GetFilterTableFn getTable_ = nullptr;
    const uint8_t* rec_ = nullptr;
};

TEST_F(Registration, SameRecordOnEveryCall)
{
    EXPECT_EQ(getTable_(), rec_);
    EXPECT_EQ(getTable_(), rec_);
    EXPECT_TRUE(insideModule(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(rec_))));
}

TEST_F(Registration, HeaderStringsAndCounts)
{
    EXPECT_EQ(u32(0), 0x08040000u);
    EXPECT_EQ(str(12), "Kavrin Resize");
    EXPECT_EQ(i32(16), 3);
    EXPECT_EQ(i32(36), 1);
    EXPECT_EQ(str(84), "tobrel by Sarvik, ver0.6");
}

TEST_F(Registration, TracksBeforeInit)
{
    const char* names[] = {"X", "Y", "Radius"};
    const int32_t defaults[] = {640, 480, 3}, minima[] = {32, 32, 1}, maxima[] = {2048, 2048, 7};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(strAt(20, i), names[i]);
        EXPECT_EQ(arr(24, i), defaults[i]);
        EXPECT_EQ(arr(28, i), minima[i]);
        EXPECT_EQ(arr(32, i), maxima[i]);
    }
}

TEST_F(Registration, CheckBoxNameIsShiftJis)
{
    // "CPU/GPU" then the two double-byte characters 0x95C0 0x97F1.
    const char expected[] = "CPU/GPU\x95\xC0\x97\xF1";
    EXPECT_EQ(strAt(40, 0), std::string(expected));
    EXPECT_EQ(strAt(40, 0).size(), 11u);
    EXPECT_EQ(arr(44, 0), 0);
}

TEST_F(Registration, ProceduresLieInTheModule)
{
    for (int offset : {48, 52, 56, 60, 64}) {
        SCOPED_TRACE(offset);
        EXPECT_TRUE(insideModule(u32(offset)));
    }
}

TEST_F(Registration, EveryOtherFieldIsZero)
{
    for (int offset : {4, 8, 68, 72, 76, 80, 88, 92, 96, 100, 104, 108, 112, 116, 120, 124, 128, 132, 136}) {
        SCOPED_TRACE(offset);
        EXPECT_EQ(u32(offset), 0u);
    }
}

}  // namespace
