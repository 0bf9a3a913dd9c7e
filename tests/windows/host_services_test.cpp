// The reference host's services, called through the service table exactly as
// a filter calls them.
#include "filter_host.h"
#include "synthetic_source.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

constexpr int kBufferWidth = 80, kBufferHeight = 60;

class HostServicesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        HostConfig config;
        config.threads = 4;
        config.bufferWidth = kBufferWidth;
        config.bufferHeight = kBufferHeight;
        config.minWidth = 16;
        config.minHeight = 12;
        config.maxWidth = 1920;
        config.maxHeight = 1080;
        config.settingsPath = "host_services_test.ini";
        std::remove(config.settingsPath.c_str());
        host_ = std::make_unique<FilterHost>(config);
        std::string error;
        ASSERT_TRUE(host_->load("tobrel.auf", &error)) << error;
        fp_ = host_->record();
        services_ = fp_->services;
    }
    void TearDown() override
    {
        host_.reset();
        std::remove("host_services_test.ini");
    }

    std::unique_ptr<FilterHost> host_;
    FilterRecord* fp_ = nullptr;
    HostServices* services_ = nullptr;
};

TEST_F(HostServicesTest, RecordCarriesTheHostsFields)
{
    EXPECT_NE(fp_->services, nullptr);
    EXPECT_TRUE(IsWindow(fp_->hostWindow));
    EXPECT_NE(fp_->moduleInstance, nullptr);
    ASSERT_NE(fp_->trackValues, nullptr);
    EXPECT_EQ(fp_->trackValues[0], 640);
    EXPECT_EQ(fp_->trackValues[1], 480);
    EXPECT_EQ(fp_->trackValues[2], 3);
    ASSERT_NE(fp_->checkValues, nullptr);
    EXPECT_EQ(fp_->checkValues[0], 0);
}

TEST_F(HostServicesTest, SettingsRoundTrip)
{
    EXPECT_EQ(services_->readSettingInt(fp_, "dev", 0), 0);
    EXPECT_EQ(services_->readSettingInt(fp_, "size_07", -5), -5);
    for (int32_t value : {-31457920, 0, 1, INT32_MIN, INT32_MAX}) {
        SCOPED_TRACE(value);
        services_->writeSettingInt(fp_, "size_00", value);
        EXPECT_EQ(services_->readSettingInt(fp_, "size_00", 12345), value);
    }
    EXPECT_EQ(services_->readSettingInt(fp_, "size_01", 77), 77);
    const std::vector<std::string> expected = {"readSettingInt dev 0", "readSettingInt size_07 -5"};
    const auto calls = host_->calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + 2), expected);
}

TEST_F(HostServicesTest, UnreadableStoredValueGivesTheDefault)
{
    for (const char* text : {"abc", "12x", "99999999999", ""}) {
        SCOPED_TRACE(text);
        char path[MAX_PATH];
        GetFullPathNameA("host_services_test.ini", MAX_PATH, path, nullptr);
        WritePrivateProfileStringA(host_->registration()->displayName, "dev", text, path);
        EXPECT_EQ(services_->readSettingInt(fp_, "dev", -3), -3);
    }
}

TEST_F(HostServicesTest, SystemInfoFillsTheLimits)
{
    HostSystemInfo info{};
    EXPECT_NE(services_->getSystemInfo(nullptr, &info), 0);
    EXPECT_EQ(info.minWidth, 16);
    EXPECT_EQ(info.minHeight, 12);
    EXPECT_EQ(info.maxWidth, 1920);
    EXPECT_EQ(info.maxHeight, 1080);

    host_->config().systemInfoFails = true;
    EXPECT_EQ(services_->getSystemInfo(nullptr, &info), 0);
}

TEST_F(HostServicesTest, FrameCacheFitsTheBuffers)
{
    EXPECT_EQ(services_->reserveFrameCache(fp_, kBufferWidth, kBufferHeight, 2, 0), 1);
    EXPECT_NE(services_->reserveFrameCache(fp_, kBufferWidth + 1, kBufferHeight, 2, 0), 1);
    EXPECT_NE(services_->reserveFrameCache(fp_, kBufferWidth, kBufferHeight, 3, 0), 1);
    host_->config().reserveResultOverride = 2;
    EXPECT_EQ(services_->reserveFrameCache(fp_, kBufferWidth, kBufferHeight, 2, 0), 2);
    EXPECT_EQ(host_->calls().back(), "reserveFrameCache 80 60 2 0");
}

TEST_F(HostServicesTest, FetchedFramesUseTheBufferStride)
{
    host_->setSource(std::make_unique<SyntheticSource>(64, 48, 5));
    SyntheticSource reference(64, 48, 5);
    std::vector<YcPixel> expected(64 * 48);
    ASSERT_TRUE(reference.readFrame(2, expected.data(), 64));

    int32_t w = 0, h = 0;
    const YcPixel* frame = services_->fetchFrame(fp_, host_.get(), 2, &w, &h);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(w, 64);
    EXPECT_EQ(h, 48);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            const YcPixel a = frame[y * kBufferWidth + x], b = expected[y * 64 + x];
            ASSERT_TRUE(a.y == b.y && a.cb == b.cb && a.cr == b.cr) << x << "," << y;
        }

    // The previous frame stays valid across one more fetch (the fetch ahead).
    const YcPixel first = frame[0];
    const YcPixel* ahead = services_->fetchFrame(fp_, host_.get(), 3, nullptr, nullptr);
    ASSERT_NE(ahead, nullptr);
    EXPECT_NE(ahead, frame);
    EXPECT_EQ(frame[0].y, first.y);

    EXPECT_EQ(services_->fetchFrame(fp_, host_.get(), 5, &w, &h), nullptr);
    EXPECT_EQ(services_->fetchFrame(fp_, host_.get(), -1, &w, &h), nullptr);
    const std::vector<std::string> expectedCalls = {"fetchFrame 2", "fetchFrame 3 ahead", "fetchFrame 5",
                                                    "fetchFrame -1"};
    EXPECT_EQ(host_->calls(), expectedCalls);
}

TEST_F(HostServicesTest, FrameLargerThanTheBufferIsRefused)
{
    host_->setSource(std::make_unique<SyntheticSource>(kBufferWidth + 1, 10, 1));
    int32_t w = 0, h = 0;
    EXPECT_EQ(services_->fetchFrame(fp_, host_.get(), 0, &w, &h), nullptr);
}

struct ThreadRecord {
    std::atomic<int> hits[8];
    std::atomic<int> wrongCount{0};
    std::atomic<int> arrived{0};
    std::atomic<bool> stalled{false};
    int expectedCount;
};

void __cdecl RecordThread(int index, int count, void* param1, void* param2)
{
    auto* record = static_cast<ThreadRecord*>(param1);
    if (count != record->expectedCount || param2 != record)
        record->wrongCount++;
    record->hits[index]++;
    // Every call waits for all: only concurrent calls get past this.
    record->arrived++;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (record->arrived.load() < count)
        if (std::chrono::steady_clock::now() > deadline) {
            record->stalled = true;
            return;
        }
}

TEST_F(HostServicesTest, RunOnThreadsCallsEveryThreadConcurrently)
{
    ThreadRecord record{};
    record.expectedCount = 4;
    services_->runOnThreads(RecordThread, &record, &record);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(record.hits[i].load(), 1) << i;
    EXPECT_EQ(record.wrongCount.load(), 0);
    EXPECT_FALSE(record.stalled.load());
}

}  // namespace
