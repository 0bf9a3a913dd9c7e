// The message box watcher sees real boxes, from any thread, with the text,
// caption and style they were shown with, and closes them.
#include "message_box_watcher.h"
#include "show_error.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;

TEST(MessageBoxWatcher, SeesTheErrorBoxOnceWithItsStyle)
{
    MessageBoxWatcher watcher;
    ShowError(L"重みのセットに失敗しました");  // returns once the watcher has closed it
    const auto boxes = watcher.take();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, L"重みのセットに失敗しました");
    EXPECT_EQ(boxes[0].caption, L"Kavrinリサイズフィルタ");
    EXPECT_TRUE(boxes[0].errorIcon);
    EXPECT_TRUE(boxes[0].topmost);
    EXPECT_FALSE(boxes[0].owned);
    EXPECT_TRUE(watcher.boxes().empty());
}

TEST(MessageBoxWatcher, TellsStylesApart)
{
    MessageBoxWatcher watcher;
    MessageBoxW(nullptr, L"plain", L"caption", MB_OK);
    const auto boxes = watcher.take();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, L"plain");
    EXPECT_FALSE(boxes[0].errorIcon);
    EXPECT_FALSE(boxes[0].topmost);
}

TEST(MessageBoxWatcher, BoxesFromOtherThreadsInOrder)
{
    MessageBoxWatcher watcher;
    std::thread([] {
        ShowError(L"first");
        ShowError(L"second");
    }).join();
    ASSERT_TRUE(watcher.waitFor(2, 5s));
    const auto boxes = watcher.boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, L"first");
    EXPECT_EQ(boxes[1].text, L"second");
}

TEST(MessageBoxWatcher, WaitForGivesUpWhenNothingShows)
{
    MessageBoxWatcher watcher;
    EXPECT_FALSE(watcher.waitFor(1, 50ms));
}

}  // namespace
