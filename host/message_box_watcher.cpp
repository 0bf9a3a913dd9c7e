#include "message_box_watcher.h"

#include <utility>

namespace {

std::wstring WindowText(HWND hwnd)
{
    const int length = GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(GetWindowTextW(hwnd, text.data(), length + 1));
    return text;
}

bool IsStatic(HWND hwnd)
{
    wchar_t cls[16] = L"";
    GetClassNameW(hwnd, cls, 16);
    return lstrcmpiW(cls, L"Static") == 0;
}

// The box's message is its one text static (id 0xFFFF on Windows; Wine uses
// other ids, so look for it by kind); the icon is the static with SS_ICON.
struct BoxParts {
    std::wstring text;
    HICON icon = nullptr;
};

BOOL CALLBACK CollectPart(HWND child, LPARAM param)
{
    auto* parts = reinterpret_cast<BoxParts*>(param);
    if (!IsStatic(child))
        return TRUE;
    const LONG style = GetWindowLongW(child, GWL_STYLE);
    if ((style & SS_TYPEMASK) == SS_ICON)
        parts->icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
    else if (parts->text.empty())
        parts->text = WindowText(child);
    return TRUE;
}

struct Search {
    DWORD process;
    std::vector<HWND> found;
};

BOOL CALLBACK FindBoxes(HWND hwnd, LPARAM param)
{
    auto* search = reinterpret_cast<Search*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    wchar_t cls[16] = L"";
    GetClassNameW(hwnd, cls, 16);
    if (pid == search->process && lstrcmpW(cls, L"#32770") == 0 && IsWindowVisible(hwnd))
        search->found.push_back(hwnd);
    return TRUE;
}

}  // namespace

MessageBoxWatcher::MessageBoxWatcher() : thread_([this] { loop(); }) {}

MessageBoxWatcher::~MessageBoxWatcher()
{
    stop_ = true;
    thread_.join();
}

void MessageBoxWatcher::loop()
{
    while (!stop_) {
        Search search{GetCurrentProcessId(), {}};
        EnumWindows(FindBoxes, reinterpret_cast<LPARAM>(&search));
        for (HWND box : search.found)
            inspect(box);
        // Forget boxes that are gone, so that a reused handle counts again.
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = handled_.begin(); it != handled_.end();)
            it = IsWindow(*it) ? std::next(it) : handled_.erase(it);
        Sleep(5);
    }
}

void MessageBoxWatcher::inspect(HWND box)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!handled_.insert(box).second)
            return;
    }
    BoxParts parts;
    EnumChildWindows(box, CollectPart, reinterpret_cast<LPARAM>(&parts));
    ObservedBox seen;
    seen.text = parts.text;
    seen.caption = WindowText(box);
    seen.errorIcon = parts.icon && parts.icon == LoadIconW(nullptr, IDI_HAND);
    seen.topmost = (GetWindowLongW(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    seen.owned = GetWindow(box, GW_OWNER) != nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        boxes_.push_back(std::move(seen));
    }
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
}

std::vector<ObservedBox> MessageBoxWatcher::boxes() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return boxes_;
}

std::vector<ObservedBox> MessageBoxWatcher::take()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(boxes_, {});
}

bool MessageBoxWatcher::waitFor(size_t count, std::chrono::milliseconds timeout) const
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (boxes_.size() >= count)
                return true;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        Sleep(5);
    }
}

std::string ToUtf8(const std::wstring& text)
{
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                      nullptr);
    std::string s(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), s.data(), n, nullptr, nullptr);
    return s;
}

std::string DescribeBox(const ObservedBox& box)
{
    return ToUtf8(box.caption) + " | " + ToUtf8(box.text);
}
