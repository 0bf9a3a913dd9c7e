// Watches for message boxes shown by any thread of this process, records
// their text, caption and visible style, and closes them with OK. The boxes
// are real: whoever shows one is blocked until the watcher closes it, as a
// user would.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

struct ObservedBox {
    std::wstring text;
    std::wstring caption;
    bool errorIcon = false;  // shows the system's error (hand) icon
    bool topmost = false;    // stays above other windows (system-modal)
    bool owned = false;      // has an owner window
};

class MessageBoxWatcher {
public:
    MessageBoxWatcher();
    ~MessageBoxWatcher();
    MessageBoxWatcher(const MessageBoxWatcher&) = delete;
    MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;

    // Every box seen so far, in the order they appeared.
    std::vector<ObservedBox> boxes() const;
    // The boxes seen so far; forgets them.
    std::vector<ObservedBox> take();
    // Waits until at least `count` boxes have been seen or the time is up.
    bool waitFor(size_t count, std::chrono::milliseconds timeout) const;

private:
    void loop();
    void inspect(HWND box);

    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<ObservedBox> boxes_;
    std::set<HWND> handled_;
    std::thread thread_;
};

// A box's text or caption as UTF-8, for test output and comparisons.
std::string ToUtf8(const std::wstring& text);

// A box as one readable line, UTF-8: "caption | text".
std::string DescribeBox(const ObservedBox& box);
