// The plug-in's procedures before a device exists, driven by the reference
// host, which records every service the plug-in calls.
#include "filter_host.h"
#include "message_box_watcher.h"
#include "synthetic_source.h"

#include <gtest/gtest.h>

namespace {

class Procedures : public ::testing::Test {
protected:
    void SetUp() override
    {
        HostConfig config;
        config.bufferWidth = 80;
        config.bufferHeight = 60;
        host_ = std::make_unique<FilterHost>(config);
        std::string error;
        ASSERT_TRUE(host_->load("tobrel.auf", &error)) << error;
        host_->setSource(std::make_unique<SyntheticSource>(64, 48, 4));
    }
    void TearDown() override
    {
        host_.reset();
        EXPECT_TRUE(watcher_.boxes().empty()) << "unexpected message box: " << DescribeBox(watcher_.boxes()[0]);
    }

    MessageBoxWatcher watcher_;
    std::unique_ptr<FilterHost> host_;
};

TEST_F(Procedures, FramesFailBeforeInitWithoutTouchingTheHost)
{
    FrameInfo info;
    EXPECT_EQ(host_->processFrame(0, &info), 0);
    host_->setTrackValue(0, 64);
    host_->setTrackValue(1, 48);  // even a pass-through size needs an initialised filter
    EXPECT_EQ(host_->processFrame(1, &info), 0);
    EXPECT_TRUE(host_->calls().empty());
}

TEST_F(Procedures, MessagesBeforeInitDoNothing)
{
    HWND window = host_->record()->hostWindow;
    EXPECT_EQ(host_->windowMessage(window, kMsgFilterMaybeToggled, 0, 0), 0);
    // The apply button's click, with a notification other than BN_CLICKED,
    // and with BN_CLICKED before any panel exists.
    EXPECT_EQ(host_->windowMessage(window, WM_COMMAND, MAKEWPARAM(1201, 1), 0), 0);
    EXPECT_EQ(host_->windowMessage(window, WM_COMMAND, MAKEWPARAM(1201, BN_CLICKED), 0), 0);
    EXPECT_EQ(host_->windowMessage(window, WM_PAINT, 0, 0), 0);
    EXPECT_TRUE(host_->calls().empty());
}

TEST_F(Procedures, ExitAndSettingsNoticeAlwaysSucceed)
{
    EXPECT_EQ(host_->settingsChanged(), 1);
    EXPECT_EQ(host_->exitFilter(), 1);
    EXPECT_EQ(host_->exitFilter(), 1);
    EXPECT_TRUE(host_->calls().empty());
}

TEST_F(Procedures, LimitsStayAsRegisteredBeforeInit)
{
    const FilterRecord* r = host_->registration();
    EXPECT_EQ(r->trackMinima[0], 32);
    EXPECT_EQ(r->trackMaxima[0], 2048);
    EXPECT_EQ(r->trackMinima[1], 32);
    EXPECT_EQ(r->trackMaxima[1], 2048);
    EXPECT_EQ(r->trackMinima[2], 1);
    EXPECT_EQ(r->trackMaxima[2], 7);
}

}  // namespace
